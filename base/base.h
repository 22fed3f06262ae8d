// The ground every part of the program stands on: the globals of the one UI
// thread, the language, settings, and the few helpers every part uses. It
// includes nothing of the parts above it; the frame (app/) fills the globals
// at start-up and defines the keyboard commands declared here.
#ifndef BRISA_BASE_H
#define BRISA_BASE_H

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include "base/portable.h"

// System-menu commands (multiples of 16: the low four bits belong to the system).
enum {
  IDM_ABOUT = 16,
  IDM_DEFAULT_READER = 32,
  IDM_THUMBNAILS = 48,
  IDM_DOUBLE_PAGE = 64,
  IDM_COVER_ALONE = 80,
  IDM_RESUME_POSITION = 96,
  IDM_RIGHT_TO_LEFT = 112,
  IDM_OUTLINE = 128,
  IDM_AUTO_RELOAD = 144,
  IDM_NIGHT_MODE = 160,
  IDM_WIDE_PAGES_ALONE = 176,
};

enum {
  WM_APP_ASK_DEFAULT = WM_APP + 1,
  WM_APP_IMAGE_READY = WM_APP + 2,
};

enum UiLanguageKind { UI_ENGLISH = 0, UI_FRENCH = 1 };

// base.cpp
extern HWND frameWindow;
extern HWND viewWindow;
extern HWND searchBox;
extern HWND thumbnailWindow;
extern HWND outlineWindow;   // null until a PDF with an outline is open and idle, or it first shows
extern HWND aboutWindow;
extern HWND goToPageWindow;
extern HFONT uiFont;
extern int dpiY;
extern int searchBarHeight;
extern UiLanguageKind UiLanguage;

// The text of a French/English pair in the language chosen at start-up.
inline const wchar_t* pickText(const wchar_t* french, const wchar_t* english) {
  return UiLanguage == UI_FRENCH ? french : english;
}

// settings.cpp
DWORD readSetting(const wchar_t* name);
void writeSetting(const wchar_t* name, DWORD value);
UiLanguageKind chooseUiLanguage();

// base.cpp
FARPROC loadProc(const char* library, const char* function);
void openInShell(HWND owner, const wchar_t* verb, const wchar_t* target);
BITMAPINFO topDownBitmapInfo(int width, int height);
void relayoutFrame();
void placeOverFrame(HWND window, int width, int height);
int lineStep();

// The keyboard commands (app/commands.cpp). The focused window offers each key
// to handleCommandKey first, true when it was a command; the view then
// handles the keys left to it with handleViewKey.
bool handleCommandKey(WPARAM key);
void handleViewKey(WPARAM key);
// The Alt keys among the commands (Alt+Left, Alt+Right), offered every
// WM_SYSKEYDOWN; the key then goes on to DefWindowProcW all the same, which
// must see that Alt was not pressed alone (and keeps Alt+F4 and Alt+Space).
void handleAltKey(WPARAM key);

// fonts.cpp: called once PDFium is set up. The Linux build draws the standard
// 14 fonts with PDFium's built-in faces and lists the system's fonts only when
// a document names another font that it does not embed; whether it did so yet
// is for the tests.
void useBuiltInStandardFonts();
bool systemFontsWereListed();

// commandline.cpp (portable)
Utf16* findDocumentPath(Utf16* commandLine);

#endif
