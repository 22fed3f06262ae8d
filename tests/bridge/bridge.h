// The test bridge: a Winelib DLL named pdfium.dll that lets the real Brisa.exe
// run under Wine with Linux's libpdfium.so. Its exports take Windows' calling
// convention and types; they call the .so with its own (the declarations of
// base/pdfium.h carry no attribute, so they are the SysV ones here).
// Never shipped: on Windows, Brisa.exe needs a real pdfium.dll.
#ifndef BRISA_PDFIUM_BRIDGE_H
#define BRISA_PDFIUM_BRIDGE_H

#define BRISA_PDFIUM_BRIDGE
#include <windows.h>

#include "base/pdfium.h"

#endif
