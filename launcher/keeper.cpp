// brisa-keeper: holds its Wine prefix's desktop open, so that every start of
// Brisa finds the server, the services and the desktop already up (Wine
// closes the desktop about a second after its last window goes, and the next
// program then pays for opening it again). It shows nothing and does nothing:
// it only waits for messages. The launcher starts it, records its pid in the
// prefix, and stops it with a signal.
#include <windows.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  GetDesktopWindow();
  HWND holder = CreateWindowExW(0, L"STATIC", L"brisa-keeper", WS_POPUP, 0, 0, 1, 1, NULL, NULL, instance, NULL);
  if (!holder) return 1;
  // From here on the desktop has a window of ours and stays up: the launcher
  // waits for this mark before it lets Brisa ask for the desktop.
  const char* ready = getenv("BRISA_KEEPER_READY");
  if (ready) {
    int mark = open(ready, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (mark >= 0) close(mark);
  }
  MSG msg;
  while (GetMessageW(&msg, NULL, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}
