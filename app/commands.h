// Commands reached from the keyboard.
#ifndef BRISA_COMMANDS_H
#define BRISA_COMMANDS_H

#include <windows.h>

bool handleCommandKey(WPARAM key);
void handleViewKey(WPARAM key);
void showOpenDialog();
int lineStep();

// Subsystems the keys call into.
void findText(int direction);
void showSearchBar(bool show);

#endif
