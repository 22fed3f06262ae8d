// Names: the file name of an archive's next volume, and entry names as UTF-16.
#include "comics/unrar/rarstate.h"
#include "comics/archive/utf8.h"

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
  const uint8_t* p = (const uint8_t*)text;
  size_t left = strlen(text), units = 0;
  while (left > 0) {
    size_t used = 1;
    uint32_t c = decodeUtf8(p, left, &used);
    if (!appendUtf16(c, out, capacity, &units)) break;
    p += used;
    left -= used;
  }
  out[units] = 0;
  return units;
}
