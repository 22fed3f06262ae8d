// Entry names: the natural page order and the filter that decides which entries
// are pages.
#include "comics/archive/archive.h"

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef _WIN32
char16_t lowerNameUnit(char16_t unit) {
  // CharLowerW's single-character form: the unit travels in the pointer's low word.
  return (char16_t)(uintptr_t)CharLowerW((LPWSTR)(uintptr_t)unit);
}
#else
// Case pairs of the scripts comic names are written in, as ranges of UTF-16 units.
// Like Wine's CharLowerW, capital I with dot above and capital sharp s stay as
// they are (their lower cases are not one-to-one).
// CASE_OFFSET: every unit of the range lowers to unit + delta. CASE_ALTERNATE: upper and
// lower case alternate, the upper case on the range's even positions.
enum CaseRule { CASE_OFFSET, CASE_ALTERNATE };
struct CaseRange {
  char16_t first, last;
  CaseRule rule;
  int delta;
};
static const CaseRange CASE_RANGES[] = {
    {0x0041, 0x005A, CASE_OFFSET, 32},   // Basic Latin A-Z
    {0x00C0, 0x00D6, CASE_OFFSET, 32},   // Latin-1 letters before the multiplication sign
    {0x00D8, 0x00DE, CASE_OFFSET, 32},   {0x0100, 0x012F, CASE_ALTERNATE, 0},   // Latin Extended-A
    {0x0132, 0x0137, CASE_ALTERNATE, 0}, {0x0139, 0x0148, CASE_ALTERNATE, 0}, {0x014A, 0x0177, CASE_ALTERNATE, 0},
    {0x0178, 0x0178, CASE_OFFSET, -121},                                      // Y with diaeresis -> 0xFF
    {0x0179, 0x017E, CASE_ALTERNATE, 0}, {0x0386, 0x0386, CASE_OFFSET, 38},   // Greek with tonos
    {0x0388, 0x038A, CASE_OFFSET, 37},   {0x038C, 0x038C, CASE_OFFSET, 64},   {0x038E, 0x038F, CASE_OFFSET, 63},
    {0x0391, 0x03A1, CASE_OFFSET, 32},                                        // Greek capitals
    {0x03A3, 0x03AB, CASE_OFFSET, 32},   {0x0400, 0x040F, CASE_OFFSET, 80},   // Cyrillic
    {0x0410, 0x042F, CASE_OFFSET, 32},   {0x0460, 0x0481, CASE_ALTERNATE, 0}, {0x048A, 0x04BF, CASE_ALTERNATE, 0},
    {0x04C0, 0x04C0, CASE_OFFSET, 15},   {0x04C1, 0x04CE, CASE_ALTERNATE, 0}, {0x04D0, 0x052F, CASE_ALTERNATE, 0},
    {0x0531, 0x0556, CASE_OFFSET, 48},                                        // Armenian
    {0x1E00, 0x1E95, CASE_ALTERNATE, 0},                                      // Latin Extended Additional (Vietnamese)
    {0x1EA0, 0x1EFF, CASE_ALTERNATE, 0}, {0xFF21, 0xFF3A, CASE_OFFSET, 32},   // fullwidth A-Z
};

char16_t lowerNameUnit(char16_t unit) {
  for (const CaseRange& range : CASE_RANGES) {
    if (unit < range.first || unit > range.last) continue;
    if (range.rule == CASE_OFFSET) return (char16_t)(unit + range.delta);
    return (unit - range.first) % 2 == 0 ? (char16_t)(unit + 1) : unit;
  }
  return unit;
}
#endif

static bool isDigitUnit(char16_t unit) {
  return unit >= u'0' && unit <= u'9';
}

// Skips the leading zeros of a digit run, keeping one "0" when the run is all zeros.
static const char16_t* skipLeadingZeros(const char16_t* s) {
  while (*s == u'0' && isDigitUnit(s[1])) s++;
  return s;
}

static size_t digitRunLength(const char16_t* s) {
  size_t length = 0;
  while (isDigitUnit(s[length])) length++;
  return length;
}

// Natural order: runs of digits compare by numeric value (a longer run without its
// leading zeros is larger), other units by their lower case. Names differing only
// in case or in leading zeros compare equal; a name that is a prefix of the other
// sorts first.
int compareEntryNames(const char16_t* a, const char16_t* b) {
  while (*a != 0) {
    if (*b == 0) break;
    if (isDigitUnit(*a) && isDigitUnit(*b)) {
      a = skipLeadingZeros(a);
      b = skipLeadingZeros(b);
      size_t lengthA = digitRunLength(a);
      size_t lengthB = digitRunLength(b);
      if (lengthA != lengthB) return (int)((int64_t)lengthA - (int64_t)lengthB);
      for (size_t i = 0; i < lengthA; i++) {
        if (a[i] != b[i]) return (int)a[i] - (int)b[i];
      }
      a += lengthA;
      b += lengthB;
      continue;
    }
    char16_t lowerA = lowerNameUnit(*a);
    char16_t lowerB = lowerNameUnit(*b);
    if (lowerA != lowerB) return (int)lowerA - (int)lowerB;
    a++;
    b++;
  }
  return (int)*a - (int)*b;
}

// The extensions that make an entry a page, in the order they are tried.
static const char16_t* const imageExtensions[] = {
    u"jpg", u"jpeg", u"jpe",  u"jfif", u"png",  u"gif", u"bmp", u"webp",
    u"tif", u"tiff", u"avif", u"heic", u"heif", u"jxr", u"wdp",
};
static_assert(sizeof(imageExtensions) / sizeof(imageExtensions[0]) == 15, "15 image types");

static bool isSeparator(char16_t unit) {
  return unit == u'/' || unit == u'\\';
}

// Do the units at s, lowered, start with `lowerPrefix`? Stops at the name's end.
static bool startsWithLowered(const char16_t* s, const char16_t* lowerPrefix) {
  for (; *lowerPrefix != 0; s++, lowerPrefix++) {
    if (*s == 0 || lowerNameUnit(*s) != *lowerPrefix) return false;
  }
  return true;
}

// Equal without regard to case, whole strings.
static bool equalsIgnoringCase(const char16_t* s, const char16_t* lowerWord) {
  while (*s != 0 && *lowerWord != 0) {
    if (lowerNameUnit(*s) != *lowerWord) return false;
    s++;
    lowerWord++;
  }
  return *s == 0 && *lowerWord == 0;
}

// Does any path component start with "__macosx" (the resource forks macOS zips add)?
static bool isInMacMetadata(const char16_t* name) {
  if (startsWithLowered(name, u"__macosx")) return true;
  for (const char16_t* s = name; *s != 0; s++) {
    if (isSeparator(*s) && startsWithLowered(s + 1, u"__macosx")) return true;
  }
  return false;
}

bool isImageEntryName(const char16_t* name) {
  if (name == NULL) return false;
  const char16_t* lastComponent = name;
  const char16_t* extension = NULL;
  for (const char16_t* s = name; *s != 0; s++) {
    if (isSeparator(*s)) {
      lastComponent = s + 1;
      extension = NULL;   // a separator after a dot cancels the extension
    } else if (*s == u'.') {
      extension = s + 1;
    }
  }
  if (isInMacMetadata(name)) return false;
  if (*lastComponent == u'.' || extension == NULL) return false;   // hidden file, no type
  for (const char16_t* known : imageExtensions) {
    if (equalsIgnoringCase(extension, known)) return true;
  }
  return false;
}
