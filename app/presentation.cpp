// Presentation (F5): full screen on black, one page or spread at a time, and
// on leaving everything as it was. Nothing of it is stored.
#include "app/app.h"
#include "thumbs/thumbs.h"
#include "viewer/viewer.h"

// What leaving puts back.
struct KeptView {
  bool fullScreen;
  double zoom;
  bool fitWidth, fitPage;
  int scrollX, scrollY;
  int page;   // the current page then: the presentation starts there
  bool searching, searchFocused;
};

static KeptView kept;

enum PresentationMove { NEXT_ROW, PREVIOUS_ROW, FIRST_ROW, LAST_ROW, LEAVE };

struct PresentationKey {
  WPARAM key;
  PresentationMove move;
};

static const PresentationKey PRESENTATION_KEYS[] = {
    {VK_SPACE, NEXT_ROW},     {VK_NEXT, NEXT_ROW},     {VK_RIGHT, NEXT_ROW},  {VK_DOWN, NEXT_ROW},
    {VK_PRIOR, PREVIOUS_ROW}, {VK_LEFT, PREVIOUS_ROW}, {VK_UP, PREVIOUS_ROW}, {VK_HOME, FIRST_ROW},
    {VK_END, LAST_ROW},       {VK_ESCAPE, LEAVE},      {VK_F5, LEAVE},
};

// The commands that keep their keys while presenting: they change neither
// the layout nor the panels.
static bool keepsItsKey(WPARAM key) {
  if (key == VK_F1) return true;
  return GetKeyState(VK_CONTROL) < 0 && (key == 'I' || key == 'P' || key == 'W');
}

bool isPresenting() {
  return viewState.presenting;
}

// The search strip and the thumbnails go (the panel's width is 0 while
// presenting), then the frame fills the screen and the row is fitted to it.
static void enterPresentation() {
  ViewState& v = viewState;
  if (!documentIsOpen() || documentState.pageCount <= 0) return;
  kept = {isFullScreen(),
          v.zoom,
          v.fitWidth,
          v.fitPage,
          v.scrollX,
          v.scrollY,
          pageAtReadingLine(),
          IsWindowVisible(searchBox) != 0,
          GetFocus() == searchBox};
  v.presenting = true;
  v.presentedPage = kept.page;
  ShowWindow(searchBox, SW_HIDE);
  SetFocus(viewWindow);
  showThumbnailWindow();
  ShowScrollBar(viewWindow, SB_BOTH, FALSE);
  if (kept.fullScreen)
    relayoutFrame();
  else
    toggleFullScreen();
  presentPage(v.presentedPage);
  wakeCursor();
}

// The zoom mode, the panels and the window as they were; the place exactly
// as it was when the page shown last is the page current then, else that
// page at the top, as Go to page leaves it.
static void leavePresentation() {
  ViewState& v = viewState;
  v.presenting = false;
  v.zoom = kept.zoom;
  v.fitWidth = kept.fitWidth;
  v.fitPage = kept.fitPage;
  wakeCursor();
  showThumbnailWindow();
  if (kept.searching) ShowWindow(searchBox, SW_SHOWNA);
  ShowScrollBar(viewWindow, SB_VERT, TRUE);
  if (kept.fullScreen)
    relayoutFrame();
  else
    toggleFullScreen();
  showPlace(kept.scrollX, kept.scrollY);   // the place left, whatever page the presentation ended on
  if (kept.searchFocused) SetFocus(searchBox);
}

void togglePresentation() {
  if (viewState.presenting)
    leavePresentation();
  else
    enterPresentation();
}

static void movePresentation(PresentationMove move) {
  int page = viewState.presentedPage;
  switch (move) {
    case NEXT_ROW:
      presentPage(neighbourRow(page, +1));
      break;
    case PREVIOUS_ROW:
      presentPage(neighbourRow(page, -1));
      break;
    case FIRST_ROW:
      presentPage(0);
      break;
    case LAST_ROW:
      presentPage(documentState.pageCount - 1);
      break;
    case LEAVE:
      leavePresentation();
      break;
  }
}

// Every key while presenting: its own keys turn the pages or leave, a few
// commands keep theirs, the rest do nothing. False for those few.
bool handlePresentationKey(WPARAM key) {
  if (keepsItsKey(key)) return false;
  for (const PresentationKey& entry : PRESENTATION_KEYS) {
    if (entry.key != key) continue;
    bool back = key == VK_SPACE && GetKeyState(VK_SHIFT) < 0;
    movePresentation(back ? PREVIOUS_ROW : entry.move);
    break;
  }
  return true;
}
