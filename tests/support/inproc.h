// Helpers for the in-process tests, which drive the program's own windows:
// wide and narrow text, writing a file, and running the queued messages.
#ifndef BRISA_TEST_INPROC_H
#define BRISA_TEST_INPROC_H

#include <windows.h>
#include <stdio.h>
#include <string>

// Wide text without std::wstring, whose library code assumes 4-byte wchar_t.
struct Wide {
  wchar_t text[1024];
  const wchar_t* c_str() const {
    return text;
  }
};

inline Wide wide(const std::string& text) {
  Wide out;
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.text, 1024);
  return out;
}

inline std::string narrow(const wchar_t* text) {
  char buffer[2048];
  WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
  return buffer;
}

inline std::string writeFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  return path;
}

// Three rounds of whatever is queued, 10 ms apart, as the main loop would run
// them; when dialog names a modeless dialog's window, that window (read at each
// message, since handling one may open or close it) gets its keys first.
inline void pumpMessages(HWND* dialog = NULL) {
  MSG msg;
  for (int round = 0; round < 3; round++) {
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return;
      if (dialog && *dialog && IsDialogMessageW(*dialog, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  }
}

#endif
