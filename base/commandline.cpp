// The document path in the command line: the program name is skipped, the rest
// up to a double quote is the path, spaces included, quoted or not.
#include "base/portable.h"

// Returns a pointer into the (modified) command line: the path, possibly empty.
// A closing double quote after the path is overwritten with the terminator;
// whatever follows it is ignored.
Utf16* findDocumentPath(Utf16* commandLine) {
  Utf16* p = commandLine;
  if (*p == '"') {
    p++;
    while (*p && *p != '"') p++;
    if (*p == '"') p++;
  } else {
    while (*p > ' ') p++;
  }
  while (*p == ' ' || *p == '\t') p++;
  if (*p == '"') p++;
  Utf16* path = p;
  while (*p && *p != '"') p++;
  *p = 0;
  return path;
}
