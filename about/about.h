// The About window and the prompt that offers the system's default-apps page.
#ifndef BRISA_ABOUT_H
#define BRISA_ABOUT_H

#include "base/base.h"

// A piece of the About window that opens a web page when clicked.
struct AboutLinkArea {
  RECT rect;   // client coordinates, as the text was measured
  const wchar_t* url;
};

enum { ABOUT_LINK_CAPACITY = 2 };

enum AboutFont { titleFont, bodyFont, boldFont, smallFont, monoFont, linkFont, ABOUT_FONT_COUNT };

// The About window's state. The class, brush and picture live as long as the
// process; the fonts and link areas as long as one opening.
struct AboutState {
  bool classRegistered;
  HBRUSH backgroundBrush;
  HBITMAP picture;   // null until it could be made; tried again at each opening
  HFONT fonts[ABOUT_FONT_COUNT];
  int aboutMargin;   // device pixels
  int contentWidth;
  int layoutY;     // the running top during a layout pass
  bool painting;   // false while measuring
  AboutLinkArea linkAreas[ABOUT_LINK_CAPACITY];
  int linkCount;
};

extern AboutState aboutState;

// Control ids of the About window (1 and 2 are what Enter and Esc send).
enum { ABOUT_CLOSE_ID = IDOK, ABOUT_CANCEL_ID = IDCANCEL, ABOUT_HIDE_AT_START_ID = 100 };

// about.cpp
void showAboutWindow();
void layoutAboutContent(HDC dc, bool painting);
LRESULT CALLBACK aboutWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HBITMAP loadPromoPicture();

// defaultreader.cpp
extern bool defaultPromptShown;   // the question was asked during this run
void checkDefaultReader();
const wchar_t* registrationScope();
void openDefaultAppsSettings();

#endif
