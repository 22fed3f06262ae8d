// Small definitions shared by the portable cores and the Windows code.
#ifndef BRISA_PORTABLE_H
#define BRISA_PORTABLE_H

// A UTF-16 code unit. In both Windows builds wchar_t is 2 bytes (Winelib compiles
// with -fshort-wchar), so Windows code passes its strings without casts; the
// native build, where wchar_t is 4 bytes, uses char16_t.
#ifdef _WIN32
typedef wchar_t Utf16;
#else
typedef char16_t Utf16;
#endif

static_assert(sizeof(Utf16) == 2, "UTF-16 units are two bytes");

// A path buffer's size in UTF-16 units, terminator included: the system's
// classic path limit (MAX_PATH).
enum { MAX_PATH_UNITS = 260 };

#endif
