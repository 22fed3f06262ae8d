// The search box: a plain EDIT control with a cue banner, whose window
// procedure we replace to take Enter, Esc and the command keys.
#include "app/app.h"
#include "search/search.h"

#include <commctrl.h>

SearchState searchState = {{0}, -1, 0, {}, 0};
static WNDPROC editWindowProc;

static LRESULT CALLBACK searchBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(editWindowProc, window, message, wParam, lParam);
}

// Cue banner (shown also while the empty box has the focus) and our procedure.
void installSearchBox() {
  SendMessageW(searchBox, EM_SETCUEBANNER, 1,
               (LPARAM)pickText(L"Rechercher  (Entr\u00e9e : suivant, Maj+Entr\u00e9e : pr\u00e9c\u00e9dent, \u00c9chap : fermer)",
                                L"Search  (Enter: next, Shift+Enter: previous, Esc: close)"));
  editWindowProc = (WNDPROC)SetWindowLongPtrW(searchBox, GWLP_WNDPROC, (LONG_PTR)searchBoxProc);
}

void clearSearchMatch() {
  searchState.matchPage = -1;
  searchState.matchRectCount = 0;
}
