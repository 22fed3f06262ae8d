// Night pages of text and line art in greys (most pages) are rendered straight
// in their night colours through PDFium's forced colours. On greys the night
// transform is affine, so it commutes with antialiasing: the result is what
// the per-pixel pass would give, without a second pass over the pixels. A few
// objects in colours of their own (coloured links, a highlighted word) are
// then drawn again by day over their boxes only and turned by the pass. Any
// other page (an image, a shading, a form, many coloured objects, an
// annotation that draws) is rendered by day and turned by the pass whole.
#include "viewer/viewer.h"
#include "viewer/night.h"

#include <string.h>
#include <algorithm>

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

struct PixelBox {
  int left, top, right, bottom;
};

// An object the scheme cannot paint keeps its colours: its box is drawn again by day.
static bool keepOwnColours(CacheSlot* slot, FPDF_PAGEOBJECT object) {
  if (slot->nightBoxCount >= MAX_NIGHT_BOXES) return false;
  float* box = slot->nightBoxes[slot->nightBoxCount];
  if (!FPDFPageObj_GetBounds(object, &box[0], &box[1], &box[2], &box[3])) return false;
  slot->nightBoxCount++;
  return true;
}

static bool findNightColours(FPDF_PAGE page, CacheSlot* slot) {
  int count = FPDFPage_CountObjects(page);
  if (count < 0 || count > MAX_SCANNED_OBJECTS || !onlyLinkAnnotations(page)) return false;
  int greys[COLOUR_USES] = {-1, -1, -1, -1};
  slot->nightBoxCount = 0;
  for (int i = 0; i < count; i++) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(page, i);
    int type = object ? FPDFPageObj_GetType(object) : 0;
    if (type != FPDF_PAGEOBJ_TEXT && type != FPDF_PAGEOBJ_PATH) return false;
    bool inGreys = !FPDFPageObj_HasTransparency(object) &&
                   (type == FPDF_PAGEOBJ_TEXT ? textInGreys(object, greys) : pathInGreys(object, greys));
    if (!inGreys && !keepOwnColours(slot, object)) return false;
  }
  slot->nightColours = FPDF_COLORSCHEME{nightOfGrey(greys[PATH_FILL]), nightOfGrey(greys[PATH_STROKE]),
                                        nightOfGrey(greys[TEXT_FILL]), nightOfGrey(greys[TEXT_STROKE])};
  return true;
}

// The slot of a cached page, its night kind found once per load of the page.
static const CacheSlot* nightSlotOf(FPDF_PAGE page) {
  PageCache& cache = documentState.pageCache;
  for (int i = 0; i < PAGE_CACHE_SLOTS; i++) {
    CacheSlot& slot = cache.slots[i];
    if (slot.page != page) continue;
    if (slot.nightKind == NIGHT_UNKNOWN)
      slot.nightKind = findNightColours(page, &slot) ? NIGHT_IN_COLOURS : NIGHT_BY_PASS;
    return slot.nightKind == NIGHT_IN_COLOURS ? &slot : NULL;
  }
  return NULL;
}

// A box's pixels on the bitmap (2 more each way for antialiasing), clipped to
// the page's rectangle and the bitmap; false when nothing is left.
static bool boxOnBitmap(FPDF_PAGE page, const float* box, int x, int y, int w, int h, int width, int height,
                        PixelBox* on) {
  int x0, y0, x1, y1;
  FPDF_PageToDevice(page, x, y, w, h, viewState.quarterTurns, box[0], box[1], &x0, &y0);
  FPDF_PageToDevice(page, x, y, w, h, viewState.quarterTurns, box[2], box[3], &x1, &y1);
  on->left = std::max(std::max(std::min(x0, x1) - 2, x), 0);
  on->top = std::max(std::max(std::min(y0, y1) - 2, y), 0);
  on->right = std::min(std::min(std::max(x0, x1) + 3, x + w), width);
  on->bottom = std::min(std::min(std::max(y0, y1) + 3, y + h), height);
  return on->left < on->right && on->top < on->bottom;
}

// The page by day inside the box, turned by the pass, over what the scheme drew there.
static bool redrawBoxByDay(FPDF_PAGE page, const PixelBox& on, int x, int y, int w, int h, int flags,
                           unsigned char* bits, int width) {
  int boxWidth = on.right - on.left, boxHeight = on.bottom - on.top;
  FPDF_BITMAP piece = FPDFBitmap_Create(boxWidth, boxHeight, 0);
  unsigned char* pixels = piece ? (unsigned char*)FPDFBitmap_GetBuffer(piece) : NULL;
  if (!pixels || FPDFBitmap_GetStride(piece) != boxWidth * 4) {
    if (piece) FPDFBitmap_Destroy(piece);
    return false;
  }
  FPDFBitmap_FillRect(piece, 0, 0, boxWidth, boxHeight, 0xFFFFFFFF);
  FPDF_RenderPageBitmap(piece, page, x - on.left, y - on.top, w, h, viewState.quarterTurns, flags);
  turnToNight(pixels, boxWidth, boxHeight, 0, 0, boxWidth, boxHeight);
  for (int row = 0; row < boxHeight; row++)
    memcpy(bits + ((size_t)(on.top + row) * width + on.left) * 4, pixels + (size_t)row * boxWidth * 4,
           (size_t)boxWidth * 4);
  FPDFBitmap_Destroy(piece);
  return true;
}

static FPDF_BOOL neverPause(IFSDK_PAUSE*) {
  return 0;
}
static IFSDK_PAUSE noPause = {1, neverPause, NULL};

static bool renderInNightColours(FPDF_BITMAP bitmap, unsigned char* bits, int width, int height, FPDF_PAGE page, int x,
                                 int y, int w, int h, int flags) {
  const CacheSlot* slot = nightSlotOf(page);
  if (!slot) return false;
  PixelBox boxes[MAX_NIGHT_BOXES];
  int64_t area = 0;
  for (int i = 0; i < slot->nightBoxCount; i++) {
    if (!boxOnBitmap(page, slot->nightBoxes[i], x, y, w, h, width, height, &boxes[i])) boxes[i] = PixelBox();
    area += (int64_t)(boxes[i].right - boxes[i].left) * (boxes[i].bottom - boxes[i].top);
  }
  if (area > (int64_t)w * h / 4) return false;   // drawn twice, that much costs more than the pass
  FPDFBitmap_FillRect(bitmap, x, y, w, h, nightOfGrey(255));
  int status = FPDF_RenderPageBitmapWithColorScheme_Start(bitmap, page, x, y, w, h, viewState.quarterTurns, flags,
                                                          &slot->nightColours, &noPause);
  while (status == FPDF_RENDER_TOBECONTINUED) status = FPDF_RenderPage_Continue(page, &noPause);
  FPDF_RenderPage_Close(page);
  if (status != FPDF_RENDER_DONE) return false;
  for (int i = 0; i < slot->nightBoxCount; i++)
    if (boxes[i].right > boxes[i].left && !redrawBoxByDay(page, boxes[i], x, y, w, h, flags, bits, width)) return false;
  return true;
}

// Renders a cached page at (x, y, w, h) of the bitmap, by night; the bitmap's
// pixels there are the page's own afterwards.
void renderNightPdfPage(FPDF_BITMAP bitmap, unsigned char* bits, int width, int height, FPDF_PAGE page, int x, int y,
                        int w, int h, int flags) {
  if (renderInNightColours(bitmap, bits, width, height, page, x, y, w, h, flags)) return;
  FPDFBitmap_FillRect(bitmap, x, y, w, h, 0xFFFFFFFF);
  FPDF_RenderPageBitmap(bitmap, page, x, y, w, h, viewState.quarterTurns, flags);
  turnToNight(bits, width, height, x, y, x + w, y + h);
}
