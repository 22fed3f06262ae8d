// Names: the file name of an archive's next volume, and entry names as UTF-16.
#include "comics/unrar/rarstate.h"

#include <string.h>

// ------------------------------------------------------- volume names ---

static bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Where the extension starts (its '.'), or the end when the name has none.
static size_t extensionStart(const char* path, size_t length) {
  for (size_t i = length; i > 0; i--) {
    if (path[i - 1] == '/') break;
    if (path[i - 1] == '.') return i - 1;
  }
  return length;
}

// partN numbering: add one to the last run of digits before the extension,
// growing the run when it overflows (part9 -> part10).
static bool nextNewNumber(char* name, size_t length, size_t capacity) {
  size_t ext = extensionStart(name, length);
  size_t last = ext;
  while (last > 0 && !isDigit(name[last - 1]) && name[last - 1] != '/') last--;
  if (last == 0 || !isDigit(name[last - 1])) return false;
  size_t i = last;
  while (i > 0 && isDigit(name[i - 1])) {
    if (name[i - 1] != '9') {
      name[i - 1]++;
      return true;
    }
    name[i - 1] = '0';
    i--;
  }
  if (length + 2 > capacity) return false;
  memmove(name + i + 1, name + i, length - i + 1);
  name[i] = '1';
  return true;
}

// Old numbering: x.rar, x.r00, x.r01 ... x.r99, x.s00.
static bool nextOldNumber(char* name, size_t length) {
  size_t ext = extensionStart(name, length);
  if (length - ext != 4) return false;
  char* e = name + ext;
  if (!isDigit(e[2]) || !isDigit(e[3])) {
    e[2] = '0';
    e[3] = '0';
    return true;
  }
  if (++e[3] <= '9') return true;
  e[3] = '0';
  if (++e[2] <= '9') return true;
  e[2] = '0';
  return ++e[1] != 0 && e[1] != '.' && e[1] != '/';
}

bool rarNextVolumeName(const char* path, bool newNumbering, char* out, size_t capacity) {
  size_t length = strlen(path);
  if (length + 1 > capacity) return false;
  memcpy(out, path, length + 1);
  return newNumbering ? nextNewNumber(out, length, capacity) : nextOldNumber(out, length);
}

// ------------------------------------------------------------- UTF-16 ---

// Decodes one UTF-8 sequence; returns its length (1 for an invalid byte,
// which becomes U+FFFD).
static size_t decodeUtf8(const unsigned char* p, uint32_t* codePoint) {
  static const uint32_t minimum[4] = {0, 0x80, 0x800, 0x10000};
  size_t extra = p[0] >= 0xF0 ? 3 : p[0] >= 0xE0 ? 2 : p[0] >= 0xC0 ? 1 : 0;
  *codePoint = 0xFFFD;
  if (p[0] < 0x80) {
    *codePoint = p[0];
    return 1;
  }
  if ((p[0] & 0xC0) == 0x80 || p[0] >= 0xF8) return 1;
  uint32_t value = p[0] & (0x3F >> extra);
  for (size_t i = 1; i <= extra; i++) {
    if ((p[i] & 0xC0) != 0x80) return 1;   // stops at the terminating zero too
    value = (value << 6) | (p[i] & 0x3F);
  }
  if (value < minimum[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 1;
  *codePoint = value;
  return extra + 1;
}

// Appends one code point as UTF-16 at out[*units], leaving room for the
// terminating zero; false when it does not fit.
bool appendUtf16(uint32_t c, char16_t* out, size_t capacity, size_t* units) {
  size_t need = c >= 0x10000 ? 2 : 1;
  if (*units + need + 1 > capacity) return false;
  if (need == 2) {
    out[(*units)++] = (char16_t)(0xD800 + ((c - 0x10000) >> 10));
    out[(*units)++] = (char16_t)(0xDC00 + ((c - 0x10000) & 0x3FF));
  } else {
    out[(*units)++] = (char16_t)c;
  }
  return true;
}

size_t rarUtf8ToUtf16(const char* text, char16_t* out, size_t capacity) {
  const unsigned char* p = (const unsigned char*)text;
  size_t units = 0;
  while (*p) {
    uint32_t c = 0;
    p += decodeUtf8(p, &c);
    if (!appendUtf16(c, out, capacity, &units)) break;
  }
  out[units] = 0;
  return units;
}
