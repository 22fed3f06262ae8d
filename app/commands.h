// Commands reached from the keyboard.
#ifndef BRISA_COMMANDS_H
#define BRISA_COMMANDS_H

#include <windows.h>

// handleCommandKey and handleViewKey are declared in base/base.h, for the
// windows that offer them their keys.
void showOpenDialog();

// Subsystems the keys call into.
void findText(int direction);
void showSearchBar(bool show);

#endif
