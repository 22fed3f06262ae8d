// The entry point. Its arguments are not used: the instance and the command
// line are asked for as the start-up order needs them.
#include "app/app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  startBrisa(GetModuleHandleW(NULL), GetCommandLineW());
  runMainLoop();
  stopBrisa();
  ExitProcess(0);
}
