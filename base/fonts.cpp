// The fonts PDFium draws text with when a document names a font it does not
// embed. On Linux, PDFium opens every font file of the system to list them the
// first time a page needs such a font, the standard 14 (Helvetica, Times,
// Courier...) included: 10 ms with the 140 fonts of a bare machine, far more
// on a desktop with thousands, all of it before the first page shows. The
// Linux build draws the standard 14 with PDFium's built-in faces, made for
// them, and lists the system's fonts only when a document names another font.
// The Windows library finds fonts through the system and keeps its own way.
#include "base/base.h"
#include "base/pdfium.h"

#include <string.h>

#ifdef __WINE__

static FPDF_SYSFONTINFO* systemLister;   // PDFium's own, which does the listing
static void* fontMapper;                 // what PDFium gave EnumFonts, for the late listing
static bool systemFontsListed;

static const char* const STANDARD_FONTS[] = {
    "Courier",     "Courier-Bold",   "Courier-BoldOblique",   "Courier-Oblique",
    "Helvetica",   "Helvetica-Bold", "Helvetica-BoldOblique", "Helvetica-Oblique",
    "Times-Roman", "Times-Bold",     "Times-BoldItalic",      "Times-Italic",
    "Symbol",      "ZapfDingbats",
};

static bool isStandardFont(const char* face) {
  for (const char* name : STANDARD_FONTS)
    if (strcmp(face, name) == 0) return true;   // PDFium's names, byte for byte
  return false;
}

static void listSystemFonts() {
  if (systemFontsListed || !fontMapper) return;
  systemFontsListed = true;
  systemLister->EnumFonts(systemLister, fontMapper);
}

static void enumFonts(FPDF_SYSFONTINFO*, void* mapper) {
  fontMapper = mapper;   // listed at the first font that is not a standard one
}

// Null for a standard font: PDFium then takes its built-in face.
static void* mapFont(FPDF_SYSFONTINFO*, int weight, FPDF_BOOL italic, int charset, int pitchFamily, const char* face,
                     FPDF_BOOL* exact) {
  if (!face || isStandardFont(face)) return 0;
  listSystemFonts();
  return systemLister->MapFont(systemLister, weight, italic, charset, pitchFamily, face, exact);
}

static void* getFont(FPDF_SYSFONTINFO*, const char* face) {
  if (!face || isStandardFont(face)) return 0;
  listSystemFonts();
  return systemLister->GetFont(systemLister, face);
}

static unsigned long getFontData(FPDF_SYSFONTINFO*, void* font, unsigned int table, unsigned char* buffer,
                                 unsigned long size) {
  return systemLister->GetFontData(systemLister, font, table, buffer, size);
}

static unsigned long getFaceName(FPDF_SYSFONTINFO*, void* font, char* buffer, unsigned long size) {
  return systemLister->GetFaceName(systemLister, font, buffer, size);
}

static int getFontCharset(FPDF_SYSFONTINFO*, void* font) {
  return systemLister->GetFontCharset(systemLister, font);
}

static void deleteFont(FPDF_SYSFONTINFO*, void* font) {
  systemLister->DeleteFont(systemLister, font);
}

// PDFium lets the record go when the library shuts down.
static void release(FPDF_SYSFONTINFO*) {
  FPDF_FreeDefaultSystemFontInfo(systemLister);
  systemLister = 0;
  fontMapper = 0;
  systemFontsListed = false;
}

static FPDF_SYSFONTINFO lateLister = {
    1, release, enumFonts, mapFont, getFont, getFontData, getFaceName, getFontCharset, deleteFont,
};

void useBuiltInStandardFonts() {
  if (systemLister) return;
  systemLister = FPDF_GetDefaultSystemFontInfo();
  if (!systemLister) return;   // PDFium keeps its own lister
  FPDF_SetSystemFontInfo(&lateLister);
}

bool systemFontsWereListed() {
  return systemFontsListed;
}

#else

void useBuiltInStandardFonts() {}

bool systemFontsWereListed() {
  return false;
}

#endif
