// The top floor: start-up, the frame window, the main loop and the commands
// that drive every part below. Nothing outside app/ includes this.
#ifndef BRISA_APP_H
#define BRISA_APP_H

#include "base/base.h"

// frame.cpp
bool isFullScreen();
void toggleFullScreen();
LRESULT CALLBACK frameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void startBrisa(HINSTANCE instance, wchar_t* commandLine);
void runMainLoop();
void stopBrisa();

// gotopage.cpp
void showGoToPageWindow();

// presentation.cpp
bool isPresenting();
void togglePresentation();
bool handlePresentationKey(WPARAM key);
// autoreload.cpp
bool autoReloadIsOn();
void setAutoReload(bool on, bool persist);
HANDLE watchedFolderChange();
void onWatchedFolderChanged();
void onSettleTimer(UINT_PTR id);
void stopWatchingFile();

#endif
