// The search box: a plain EDIT control with a cue banner, whose window
// procedure we replace to take Enter, Esc and the command keys.
#include "base/base.h"
#include "search/search.h"
#include "viewer/viewer.h"

#include <commctrl.h>

static WNDPROC editWindowProc;

LRESULT CALLBACK viewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Control characters of the keys we act on (Ctrl+F, Ctrl+G, Enter, Ctrl+O,
// Ctrl+P, Ctrl+R, Ctrl+W, Esc): swallowed so the box neither inserts them nor beeps.
static bool isSwallowedCharacter(WPARAM c) {
  if (c == 9 && GetKeyState(VK_CONTROL) < 0) return true;   // Ctrl+I, not the Tab key
  return c == 6 || c == 7 || c == 13 || c == 15 || c == 16 || c == 18 || c == 23 || c == 27;
}

static LRESULT CALLBACK searchBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN) {
    switch (wParam) {
      case VK_RETURN:
        findText(GetKeyState(VK_SHIFT) < 0 ? -1 : +1);
        return 0;
      case VK_ESCAPE:
        showSearchBar(false);
        return 0;
      case VK_PRIOR:
      case VK_NEXT:
        return viewWindowProc(viewWindow, message, wParam, lParam);
    }
    if (handleCommandKey(wParam)) return 0;
  } else if (message == WM_SYSKEYDOWN) {
    handleAltKey(wParam);
  } else if (message == WM_CHAR) {
    if (wParam == 1) {   // Ctrl+A
      SendMessageW(window, EM_SETSEL, 0, -1);
      return 0;
    }
    if (isSwallowedCharacter(wParam)) return 0;
  }
  return CallWindowProcW(editWindowProc, window, message, wParam, lParam);
}

// Cue banner (shown also while the empty box has the focus) and our procedure.
void installSearchBox() {
  SendMessageW(searchBox, EM_SETCUEBANNER, 1,
               (LPARAM)pickText(
                   L"Rechercher  (Entr\u00e9e : suivant, Maj+Entr\u00e9e : pr\u00e9c\u00e9dent, \u00c9chap : fermer)",
                   L"Search  (Enter: next, Shift+Enter: previous, Esc: close)"));
  editWindowProc = (WNDPROC)SetWindowLongPtrW(searchBox, GWLP_WNDPROC, (LONG_PTR)searchBoxProc);
}

// Shows the strip above the view (typing then replaces the last search), or
// hides it and the highlight. A comic has no text: only a message then.
void showSearchBar(bool show) {
  if (show && documentState.comicArchive) {
    MessageBoxW(frameWindow,
                pickText(L"Une bande dessin\u00e9e n'est faite que d'images : il n'y a pas de texte \u00e0 chercher.",
                         L"A comic is made of images only: there is no text to search."),
                L"Brisa", MB_ICONINFORMATION | MB_OK);
    return;
  }
  ShowWindow(searchBox, show ? SW_SHOW : SW_HIDE);
  relayoutFrame();
  if (show) {
    SetFocus(searchBox);
    SendMessageW(searchBox, EM_SETSEL, 0, -1);
  } else {
    SetFocus(viewWindow);
    searchState.matchPage = -1;
    InvalidateRect(viewWindow, NULL, FALSE);
  }
}

// Searches for the box's text (also while the box is hidden) and brings the
// match into view; nothing found clears the highlight and beeps.
void findText(int direction) {
  if (!documentState.pdfDocument) return;
  wchar_t text[SEARCH_TEXT_UNITS];
  if (GetWindowTextW(searchBox, text, SEARCH_TEXT_UNITS) <= 0 || !text[0]) return;
  SetCursor(LoadCursorW(NULL, (LPCWSTR)IDC_WAIT));
  if (!findMatch(text, direction)) {
    InvalidateRect(viewWindow, NULL, FALSE);
    MessageBeep(MB_ICONEXCLAMATION);
    return;
  }
  if (searchState.matchPage != viewState.currentPage) recordJumpPlace();
  int x, y;
  matchScrollTarget(&x, &y);
  scrollTo(x, y);
  InvalidateRect(viewWindow, NULL, FALSE);
}
