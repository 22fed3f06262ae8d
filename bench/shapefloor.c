/* The Wine floor in Brisa's shape: the trivial striped window of the shared
 * floor program, but at Brisa's frame size (900 x 1000 at 96 dpi, scaled like
 * Brisa's) and painted by a child that fills the client area and carries both
 * scroll bars, as Brisa's view does: the vertical one in use, the horizontal one
 * hidden because the page fits. It opens no document. Against the plain
 * floor it shows what the window's size and its scroll bars cost under Wine
 * before any work of Brisa's own.
 * Build: x86_64-w64-mingw32-gcc -O2 -mwindows -o shapefloor.exe shapefloor.c
 */
#include <windows.h>

static HWND view;

static void paintStripes(HWND window) {
  PAINTSTRUCT ps;
  RECT rc;
  HDC dc = BeginPaint(window, &ps);
  GetClientRect(window, &rc);
  FillRect(dc, &rc, (HBRUSH)GetStockObject(WHITE_BRUSH));
  HBRUSH ink = (HBRUSH)GetStockObject(BLACK_BRUSH);
  for (int y = 20; y < rc.bottom - 20; y += 14)
    for (int x = 20; x < rc.right - 20; x += 37) {
      RECT r = {x, y, x + 20 + (x * 7 + y * 3) % 14, y + 8};
      FillRect(dc, &r, ink);
    }
  EndPaint(window, &ps);
}

static LRESULT CALLBACK viewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    paintStripes(window);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

static LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      MoveWindow(view, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)previous;
  (void)commandLine;
  HDC screen = GetDC(NULL);
  int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(NULL, screen);

  WNDCLASSW windowClass = {0};
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
  windowClass.lpfnWndProc = frameProc;
  windowClass.lpszClassName = L"shapefloor";
  RegisterClassW(&windowClass);
  windowClass.lpfnWndProc = viewProc;
  windowClass.lpszClassName = L"shapefloorview";
  RegisterClassW(&windowClass);

  HWND frame = CreateWindowW(L"shapefloor", L"shapefloor", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, 0,
                             MulDiv(900, dpiY, 96), MulDiv(1000, dpiY, 96), NULL, NULL, instance, NULL);
  view = CreateWindowW(L"shapefloorview", NULL, WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0, 0, 0, frame,
                       NULL, instance, NULL);
  SCROLLINFO bar = {sizeof(bar), SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL, 0, 2000, 900, 0, 0};
  SetScrollInfo(view, SB_VERT, &bar, FALSE);
  SCROLLINFO fits = {sizeof(fits), SIF_RANGE | SIF_PAGE, 0, 0, 0, 0, 0}; /* hidden: the page fits the width */
  SetScrollInfo(view, SB_HORZ, &fits, FALSE);
  ShowWindow(frame, show);
  UpdateWindow(frame);
  MSG msg;
  while (GetMessageW(&msg, NULL, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
