// Keyboard commands shared by the page view and the search box, the view's
// navigation keys, and the open dialog.
#include "app/app.h"
#include "about/about.h"
#include "app/commands.h"
#include "print/print.h"
#include "search/search.h"
#include "thumbs/thumbs.h"
#include "viewer/viewer.h"

#include <commdlg.h>

static bool keyIsDown(int key) {
  return GetKeyState(key) < 0;
}

// A page step leaves one line step of overlap, and always moves.
static int pageStep(int extent) {
  int step = extent - lineStep();
  return step > 1 ? step : 1;
}

// The keys that work wherever the focus is. True when the key was a command.
bool handleCommandKey(WPARAM key) {
  if (isPresenting() && handlePresentationKey(key)) return true;
  switch (key) {
    case VK_F3:
      findText(keyIsDown(VK_SHIFT) ? -1 : +1);
      return true;
    case VK_F1:
      showAboutWindow();
      return true;
    case VK_F4:
      toggleThumbnails();
      relayoutFrame();
      return true;
    case VK_F9:
      toggleOutline();
      relayoutFrame();
      return true;
    case VK_F11:
      toggleFullScreen();
      return true;
    case VK_F5:
      togglePresentation();
      return true;
    case VK_BROWSER_BACK:
      stepThroughPlaces(-1);
      return true;
    case VK_BROWSER_FORWARD:
      stepThroughPlaces(+1);
      return true;
  }
  if (!keyIsDown(VK_CONTROL)) return false;
  switch (key) {
    case 'O':
      showOpenDialog();
      return true;
    case 'P':   // Shift makes no difference
      printDocument();
      return true;
    case 'F':
      showSearchBar(true);
      return true;
    case 'G':
      showGoToPageWindow();
      return true;
    case 'R':
      reloadDocument(false);
      return true;
    case 'W':
      DestroyWindow(frameWindow);
      return true;
    case VK_ADD:
    case VK_OEM_PLUS:
      zoomBy(1.25);
      return true;
    case VK_SUBTRACT:
    case VK_OEM_MINUS:
      zoomBy(1 / 1.25);
      return true;
    case '0':
    case VK_NUMPAD0:
      fitToWidth();
      return true;
    case '1':
    case VK_NUMPAD1:
      zoomToActualSize();
      return true;
    case '2':
    case VK_NUMPAD2:
      fitToPage();
      return true;
    case 'I':
      setNightMode(!viewState.nightMode, true);
      return true;
  }
  return false;
}

void handleAltKey(WPARAM key) {
  if (!keyIsDown(VK_MENU) || keyIsDown(VK_CONTROL)) return;   // Ctrl+Alt is AltGr
  if (key == VK_LEFT) stepThroughPlaces(-1);
  if (key == VK_RIGHT) stepThroughPlaces(+1);
}

// The view's own keys, after handleCommandKey declined them.
void handleViewKey(WPARAM key) {
  const ViewState& v = viewState;
  switch (key) {
    case VK_ESCAPE:
      if (IsWindowVisible(searchBox))
        showSearchBar(false);
      else if (isFullScreen())
        toggleFullScreen();
      break;
    case VK_SPACE:
    case VK_NEXT:
      scrollTo(v.scrollX, v.scrollY + (keyIsDown(VK_SHIFT) ? -1 : 1) * pageStep(v.viewHeight));
      break;
    case VK_PRIOR:
      scrollTo(v.scrollX, v.scrollY - pageStep(v.viewHeight));
      break;
    case VK_HOME:
      recordJumpPlace();
      scrollTo(v.scrollX, 0);
      break;
    case VK_END:
      recordJumpPlace();
      scrollTo(v.scrollX, v.layoutHeight);
      break;
    case VK_LEFT:
      scrollTo(v.scrollX - lineStep(), v.scrollY);
      break;
    case VK_RIGHT:
      scrollTo(v.scrollX + lineStep(), v.scrollY);
      break;
    case VK_UP:
      scrollTo(v.scrollX, v.scrollY - lineStep());
      break;
    case VK_DOWN:
      scrollTo(v.scrollX, v.scrollY + lineStep());
      break;
    case 'D':
      if (keyIsDown(VK_CONTROL)) break;
      if (keyIsDown(VK_SHIFT))
        setPageMode(true, !v.coverPaired, true);
      else
        setPageMode(!v.doublePage, v.coverPaired, true);
      break;
    case 'R':
      if (!keyIsDown(VK_CONTROL)) rotatePages(keyIsDown(VK_SHIFT) ? -1 : 1);
      break;
  }
}

// Pairs of description and pattern, ending with an empty string.
static const wchar_t FRENCH_FILTERS[] =
    L"PDF et bandes dessin\u00e9es\0*.pdf;*.cbz;*.cbr\0"
    L"Documents PDF\0*.pdf\0"
    L"Bandes dessin\u00e9es\0*.cbz;*.cbr;*.zip;*.rar\0"
    L"Tous les fichiers\0*.*\0";
static const wchar_t ENGLISH_FILTERS[] =
    L"PDF and comics\0*.pdf;*.cbz;*.cbr\0"
    L"PDF documents\0*.pdf\0"
    L"Comics\0*.cbz;*.cbr;*.zip;*.rar\0"
    L"All files\0*.*\0";

// The system's open dialog; the content of the chosen file decides how it opens.
void showOpenDialog() {
  typedef BOOL(WINAPI * GetOpenFileNameProc)(OPENFILENAMEW*);
  GetOpenFileNameProc getOpenFileName = (GetOpenFileNameProc)loadProc("comdlg32", "GetOpenFileNameW");
  if (!getOpenFileName) return;
  wchar_t path[MAX_PATH_UNITS] = {0};
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = frameWindow;
  dialog.lpstrFilter = pickText(FRENCH_FILTERS, ENGLISH_FILTERS);
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH_UNITS;
  dialog.Flags = OFN_FILEMUSTEXIST;
  if (getOpenFileName(&dialog)) openDocument(path);
}
