// The Go to page window (Ctrl+G): a small popup that behaves as a modal dialog
// in the About window's manner (the frame is disabled while it is open, and
// the main loop hands its keys to IsDialogMessageW, which gives Enter as OK,
// Esc as Cancel and Tab between the controls).
#include "app/app.h"
#include "viewer/viewer.h"

static const wchar_t GO_TO_PAGE_CLASS[] = L"BrisaGoToPage";
static const DWORD GO_TO_PAGE_STYLE = WS_POPUP | WS_CAPTION | WS_SYSMENU;
static const DWORD GO_TO_PAGE_EX_STYLE = WS_EX_DLGMODALFRAME;

enum { PAGE_NUMBER_ID = 100, PAGE_NUMBER_UNITS = 10 };   // nine digits cannot overflow an int

// Lengths at 96 dpi.
static const int MARGIN = 16;
static const int CONTENT_WIDTH = 240;
static const int LABEL_HEIGHT = 20;
static const int EDIT_HEIGHT = 24;
static const int ROW_GAP = 4;
static const int BUTTON_ROW_ABOVE = 16;
static const int BUTTON_WIDTH = 88, BUTTON_HEIGHT = 28, BUTTON_GAP = 8;

static bool classRegistered;

static LRESULT CALLBACK goToPageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

static int scaled(int length) {
  return MulDiv(length, dpiY, 96);
}

static void registerGoToPageClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = goToPageWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = GO_TO_PAGE_CLASS;
  classRegistered = RegisterClassExW(&windowClass) != 0;
}

static HWND createControl(const wchar_t* className, const wchar_t* text, DWORD exStyle, DWORD style, int id, int x,
                          int y, int width, int height) {
  HWND control = CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                                 goToPageWindow, (HMENU)(INT_PTR)id, GetModuleHandleW(NULL), NULL);
  SendMessageW(control, WM_SETFONT, (WPARAM)uiFont, 0);
  return control;
}

// The page number typed, from 1 to the page count; 0 for anything else (empty,
// not only digits, out of range).
static int typedPageNumber(HWND window) {
  wchar_t text[PAGE_NUMBER_UNITS + 1];
  int length = GetDlgItemTextW(window, PAGE_NUMBER_ID, text, PAGE_NUMBER_UNITS + 1);
  if (length <= 0 || length >= PAGE_NUMBER_UNITS) return 0;
  int number = 0;
  for (int i = 0; i < length; i++) {
    if (text[i] < '0' || text[i] > '9') return 0;
    number = number * 10 + (text[i] - '0');
  }
  return number <= documentState.pageCount ? number : 0;
}

static void selectPageNumber(HWND window) {
  HWND edit = GetDlgItem(window, PAGE_NUMBER_ID);
  SetFocus(edit);
  SendMessageW(edit, EM_SETSEL, 0, -1);
}

// The frame first, so that it can take the activation back.
static void closeGoToPageWindow(HWND window) {
  EnableWindow(frameWindow, TRUE);
  DestroyWindow(window);
}

// A page of the document: close and jump. Anything else: a beep, and the
// box stays with its text selected for another try.
static void jumpToTypedPage(HWND window) {
  int number = typedPageNumber(window);
  if (number < 1) {
    MessageBeep(MB_ICONEXCLAMATION);
    selectPageNumber(window);
    return;
  }
  closeGoToPageWindow(window);
  recordJumpPlace();
  goToPage(number - 1);
}

static LRESULT CALLBACK goToPageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) jumpToTypedPage(window);
      if (LOWORD(wParam) == IDCANCEL) closeGoToPageWindow(window);
      return 0;
    case WM_CLOSE:
      closeGoToPageWindow(window);
      return 0;
    case WM_DESTROY:
      goToPageWindow = NULL;
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Label, number box (the current page, selected) and the two buttons, in a
// window centred on the frame. Nothing without a page to go to.
void showGoToPageWindow() {
  if (goToPageWindow || !documentIsOpen() || documentState.pageCount <= 0) return;
  HINSTANCE instance = GetModuleHandleW(NULL);
  if (!classRegistered) registerGoToPageClass(instance);
  goToPageWindow = CreateWindowExW(GO_TO_PAGE_EX_STYLE, GO_TO_PAGE_CLASS, L"Brisa", GO_TO_PAGE_STYLE, 0, 0, 0, 0,
                                   frameWindow, NULL, instance, NULL);
  if (!goToPageWindow) return;

  int margin = scaled(MARGIN), width = scaled(CONTENT_WIDTH);
  wchar_t text[80];
  wsprintfW(text, pickText(L"Aller \u00e0 la page (1\u2013%d) :", L"Go to page (1\u2013%d):"), documentState.pageCount);
  createControl(L"STATIC", text, 0, SS_LEFT | SS_NOPREFIX, -1, margin, margin, width, scaled(LABEL_HEIGHT));
  int editTop = margin + scaled(LABEL_HEIGHT) + scaled(ROW_GAP);
  int current = viewState.currentPage >= 0 ? viewState.currentPage : 0;
  wsprintfW(text, L"%d", current + 1);
  HWND edit = createControl(L"EDIT", text, WS_EX_CLIENTEDGE, WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, PAGE_NUMBER_ID,
                            margin, editTop, width, scaled(EDIT_HEIGHT));
  SendMessageW(edit, EM_LIMITTEXT, PAGE_NUMBER_UNITS - 1, 0);
  int buttonTop = editTop + scaled(EDIT_HEIGHT) + scaled(BUTTON_ROW_ABOVE);
  int cancelLeft = margin + width - scaled(BUTTON_WIDTH);
  int okLeft = cancelLeft - scaled(BUTTON_GAP) - scaled(BUTTON_WIDTH);
  createControl(L"BUTTON", L"OK", 0, WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, okLeft, buttonTop, scaled(BUTTON_WIDTH),
                scaled(BUTTON_HEIGHT));
  createControl(L"BUTTON", pickText(L"Annuler", L"Cancel"), 0, WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, cancelLeft,
                buttonTop, scaled(BUTTON_WIDTH), scaled(BUTTON_HEIGHT));

  RECT outer = {0, 0, width + 2 * margin, buttonTop + scaled(BUTTON_HEIGHT) + margin};
  AdjustWindowRectEx(&outer, GO_TO_PAGE_STYLE, FALSE, GO_TO_PAGE_EX_STYLE);
  placeOverFrame(goToPageWindow, outer.right - outer.left, outer.bottom - outer.top);
  EnableWindow(frameWindow, FALSE);
  ShowWindow(goToPageWindow, SW_SHOW);
  selectPageNumber(goToPageWindow);
}
