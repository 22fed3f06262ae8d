// Night pages drawn in greys only (text and line art, most pages) are rendered
// straight in their night colours through PDFium's forced colours. On greys
// the night transform is affine, so it commutes with antialiasing: the result
// is what the per-pixel pass would give, without a second pass over the
// pixels. Any other page (a colour, an image, a shading, a form, transparency,
// an annotation that draws) is rendered as by day and turned by the pass.
#include "viewer/viewer.h"
#include "viewer/night.h"

enum { MAX_SCANNED_OBJECTS = 20000 };   // beyond, the scan would cost more than the pass
enum { PATH_FILL, PATH_STROKE, TEXT_FILL, TEXT_STROKE, COLOUR_USES };

// Each use of colour (path fill, path stroke, glyph fill, glyph stroke) may
// hold one opaque grey over the whole page: the scheme has one colour for it.
static bool sameGreyAs(int* grey, unsigned r, unsigned g, unsigned b, unsigned a) {
  if (a != 255 || r != g || g != b || r > 255) return false;
  if (*grey >= 0 && *grey != (int)r) return false;
  *grey = (int)r;
  return true;
}

static bool fillsInGrey(FPDF_PAGEOBJECT object, int* grey) {
  unsigned r, g, b, a;
  return FPDFPageObj_GetFillColor(object, &r, &g, &b, &a) && sameGreyAs(grey, r, g, b, a);
}

static bool strokesInGrey(FPDF_PAGEOBJECT object, int* grey) {
  unsigned r, g, b, a;
  return FPDFPageObj_GetStrokeColor(object, &r, &g, &b, &a) && sameGreyAs(grey, r, g, b, a);
}

static bool textInGreys(FPDF_PAGEOBJECT text, int* greys) {
  int mode = FPDFTextObj_GetTextRenderMode(text);
  if (mode < 0 || mode > 7) return false;
  bool fills = mode == 0 || mode == 2 || mode == 4 || mode == 6;
  bool strokes = mode == 1 || mode == 2 || mode == 5 || mode == 6;
  return (!fills || fillsInGrey(text, &greys[TEXT_FILL])) && (!strokes || strokesInGrey(text, &greys[TEXT_STROKE]));
}

static bool pathInGreys(FPDF_PAGEOBJECT path, int* greys) {
  int fillMode = FPDF_FILLMODE_NONE;
  FPDF_BOOL stroke = 0;
  if (!FPDFPath_GetDrawMode(path, &fillMode, &stroke)) return false;
  return (fillMode == FPDF_FILLMODE_NONE || fillsInGrey(path, &greys[PATH_FILL])) &&
         (!stroke || strokesInGrey(path, &greys[PATH_STROKE]));
}

// Links draw nothing of their own; any other annotation may, in its colours.
static bool onlyLinkAnnotations(FPDF_PAGE page) {
  int count = FPDFPage_GetAnnotCount(page);
  for (int i = 0; i < count; i++) {
    FPDF_ANNOTATION annotation = FPDFPage_GetAnnot(page, i);
    int subtype = annotation ? FPDFAnnot_GetSubtype(annotation) : -1;
    if (annotation) FPDFPage_CloseAnnot(annotation);
    if (subtype != FPDF_ANNOT_LINK) return false;
  }
  return true;
}

static FPDF_DWORD nightOfGrey(int grey) {
  if (grey < 0) grey = 0;   // that use never occurs on the page
  return 0xFF000000u | nightColour((uint32_t)grey * 0x010101u);
}

static bool findNightColours(FPDF_PAGE page, FPDF_COLORSCHEME* scheme) {
  int count = FPDFPage_CountObjects(page);
  if (count < 0 || count > MAX_SCANNED_OBJECTS || !onlyLinkAnnotations(page)) return false;
  int greys[COLOUR_USES] = {-1, -1, -1, -1};
  for (int i = 0; i < count; i++) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(page, i);
    int type = object ? FPDFPageObj_GetType(object) : 0;
    if (!object || FPDFPageObj_HasTransparency(object)) return false;
    if (type == FPDF_PAGEOBJ_TEXT ? !textInGreys(object, greys)
                                  : type != FPDF_PAGEOBJ_PATH || !pathInGreys(object, greys))
      return false;
  }
  *scheme = FPDF_COLORSCHEME{nightOfGrey(greys[PATH_FILL]), nightOfGrey(greys[PATH_STROKE]),
                             nightOfGrey(greys[TEXT_FILL]), nightOfGrey(greys[TEXT_STROKE])};
  return true;
}

// The answer for a cached page, found once per load of the page.
static const FPDF_COLORSCHEME* nightColoursOf(FPDF_PAGE page) {
  PageCache& cache = documentState.pageCache;
  for (int i = 0; i < PAGE_CACHE_SLOTS; i++) {
    CacheSlot& slot = cache.slots[i];
    if (slot.page != page) continue;
    if (slot.nightKind == NIGHT_UNKNOWN)
      slot.nightKind = findNightColours(page, &slot.nightColours) ? NIGHT_IN_COLOURS : NIGHT_BY_PASS;
    return slot.nightKind == NIGHT_IN_COLOURS ? &slot.nightColours : NULL;
  }
  return NULL;
}

static FPDF_BOOL neverPause(IFSDK_PAUSE*) {
  return 0;
}
static IFSDK_PAUSE noPause = {1, neverPause, NULL};

// Renders a cached page at (x, y, w, h) of the bitmap, by night; the bitmap's
// pixels there are the page's own afterwards.
void renderNightPdfPage(FPDF_BITMAP bitmap, unsigned char* bits, int width, int height, FPDF_PAGE page, int x, int y,
                        int w, int h, int flags) {
  const FPDF_COLORSCHEME* scheme = nightColoursOf(page);
  if (scheme) {
    FPDFBitmap_FillRect(bitmap, x, y, w, h, nightOfGrey(255));
    int status = FPDF_RenderPageBitmapWithColorScheme_Start(bitmap, page, x, y, w, h, viewState.quarterTurns, flags,
                                                            scheme, &noPause);
    while (status == FPDF_RENDER_TOBECONTINUED) status = FPDF_RenderPage_Continue(page, &noPause);
    FPDF_RenderPage_Close(page);
    if (status == FPDF_RENDER_DONE) return;
  }
  FPDFBitmap_FillRect(bitmap, x, y, w, h, 0xFFFFFFFF);
  FPDF_RenderPageBitmap(bitmap, page, x, y, w, h, viewState.quarterTurns, flags);
  turnToNight(bits, width, height, x, y, x + w, y + h);
}
