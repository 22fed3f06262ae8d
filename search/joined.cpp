// Words hyphenated across a line break, found as if they were written whole:
// "dis-" at the end of one line and "covered" at the start of the next match
// "discovered" (and "dis-covered"). A hyphen inside a line is never dropped.
// Portable: the page's characters come through a reader, one at a time.
#include "search/search.h"

static unsigned charAt(const PageChars* page, int index) {
  return page->charAt(page->page, index);
}

// Hyphen-minus, soft hyphen, hyphen, and the hyphen PDFium joined itself.
static bool isHyphen(unsigned c) {
  return c == 0x2D || c == 0xAD || c == 0x2010 || c == JOINED_HYPHEN;
}

// Lower case for the scripts hyphenated text is mostly written in: ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic, as the search ignores case.
static unsigned foldCase(unsigned c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x178) return 0xFF;
    bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);   // pairs from an odd code
    if (c != 0x138 && c != 0x149 && c != 0x17F && (c % 2 == 1) == oddUpper) return c + 1;
    return c;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

// Where the next line's text starts after the hyphen at index h, or -1 when
// the hyphen does not end a line: spaces, one line break (CR, LF or both),
// spaces. PDFium's own joined hyphen is followed by the next line at once.
static int nextLineStart(const PageChars* page, int h) {
  if (charAt(page, h) == JOINED_HYPHEN) return h + 1 < page->count ? h + 1 : -1;
  int i = h + 1;
  while (i < page->count && charAt(page, i) == ' ') i++;
  int lineBreak = i;
  if (i < page->count && charAt(page, i) == '\r') i++;
  if (i < page->count && charAt(page, i) == '\n') i++;
  if (i == lineBreak) return -1;   // the hyphen is inside its line
  while (i < page->count && charAt(page, i) == ' ') i++;
  return i < page->count ? i : -1;
}

// True when the n units of text equal the page's characters from index at,
// ignoring case.
static bool sameAt(const PageChars* page, int at, const Utf16* text, int n) {
  if (at < 0 || n > page->count - at) return false;
  for (int i = 0; i < n; i++)
    if (foldCase(charAt(page, at + i)) != foldCase(text[i])) return false;
  return true;
}

// One search of a page: what is looked for, and the best match so far.
struct JoinedSearch {
  const PageChars* page;
  const Utf16* text;
  int length;
  int direction;
  int threshold;
  JoinedMatch best;
  bool found;
};

// Keeps the candidate when it is the first after the threshold (forward) or
// the last before it (backward) seen so far.
static void consider(JoinedSearch* search, int start, int hyphen, int resume, int end) {
  bool forward = search->direction > 0;
  if (forward ? start <= search->threshold : start >= search->threshold) return;
  if (search->found && (forward ? start >= search->best.start : start <= search->best.start)) return;
  search->best = JoinedMatch{start, hyphen, resume, end};
  search->found = true;
}

static bool isTypedHyphen(Utf16 c) {
  return c == 0x2D || c == 0xAD || c == 0x2010;
}

// Tries every cut of the text at the hyphen h: its first k units end the
// line, the rest starts the next one (after the hyphen, when typed there).
static void matchAcross(JoinedSearch* search, int h, int resume) {
  const PageChars* page = search->page;
  const Utf16* text = search->text;
  int length = search->length;
  for (int k = 1; k < length && k <= h; k++) {
    if (!sameAt(page, h - k, text, k)) continue;
    if (sameAt(page, resume, text + k, length - k)) consider(search, h - k, h, resume, resume + length - k);
    if (isTypedHyphen(text[k]) && k + 1 < length && sameAt(page, resume, text + k + 1, length - k - 1))
      consider(search, h - k, h, resume, resume + length - k - 1);
  }
}

// The first joined occurrence starting after the threshold (direction +1) or
// the last one starting before it (-1), as the plain search walks its own.
bool findJoinedMatch(const PageChars* page, const Utf16* text, int direction, int threshold, JoinedMatch* match) {
  JoinedSearch search = {page, text, 0, direction, threshold, {}, false};
  while (text[search.length]) search.length++;
  if (search.length < 2) return false;   // one character never spans two lines
  for (int h = 1; h < page->count; h++) {
    if (!isHyphen(charAt(page, h))) continue;
    int resume = nextLineStart(page, h);
    if (resume >= 0) matchAcross(&search, h, resume);
  }
  if (search.found) *match = search.best;
  return search.found;
}
