// Finding the link under a point of the view and following web and mail links.
// Jumps inside the document and every other scheme are ignored.
#include "base/base.h"
#include "viewer/links.h"
#include "viewer/viewer.h"

static char uriBuffer[URI_BUFFER_BYTES];
static wchar_t wideUri[URI_BUFFER_BYTES];

// The link under (x, y), view client coordinates, or null. Both pages of a
// spread share their top, so both are looked at before the walk stops.
FPDF_LINK hitTestLink(int x, int y) {
  const DocumentState& d = documentState;
  const ViewState& v = viewState;
  if (!d.pdfDocument || d.pageCount <= 0) return NULL;
  int centring = centringOffset();
  for (int i = 0; i < d.pageCount; i++) {
    int top = d.pageTops[i] - v.scrollY;
    if (y < top) return NULL;
    int left = d.pageLefts[i] + centring - v.scrollX;
    int w = pagePixels(d.pageWidths[i]), h = pagePixels(d.pageHeights[i]);
    if (x < left || x >= left + w || y >= top + h) continue;
    FPDF_PAGE page = getCachedPage(i);
    if (!page) return NULL;
    double pageX, pageY;
    FPDF_DeviceToPage(page, left, top, w, h, v.quarterTurns, x, y, &pageX, &pageY);
    return FPDFLink_GetLinkAtPoint(page, pageX, pageY);
  }
  return NULL;
}

// Hands an http, https or mailto address to the shell; anything else, or an
// address of 2,048 bytes or more, is silently ignored.
void followLink(FPDF_LINK link) {
  FPDF_ACTION action = FPDFLink_GetAction(link);
  if (!action || FPDFAction_GetType(action) != PDFACTION_URI) return;
  FPDF_DWORD length = FPDFAction_GetURIPath(documentState.pdfDocument, action, uriBuffer, URI_BUFFER_BYTES);
  if (length == 0 || length > URI_BUFFER_BYTES) return;
  uriBuffer[URI_BUFFER_BYTES - 1] = 0;
  if (!isFollowableUri(uriBuffer)) return;
  if (!MultiByteToWideChar(CP_UTF8, 0, uriBuffer, -1, wideUri, URI_BUFFER_BYTES)) return;
  openInShell(frameWindow, L"open", wideUri);
}
