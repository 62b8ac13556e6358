// The main window: class registration, the window procedure, the create and close steps.
#pragma once

#include <windows.h>

#include "windows/base/window_state_win32.h"

namespace hl {

// Registers the class; false on failure.
bool RegisterMainWindowClass(HINSTANCE instance);
// Creates and shows the main window; nullptr on failure.
HWND CreateMainWindow(HINSTANCE instance, int showCommand);
// GetMessage loop until WM_QUIT; returns its wParam.
int RunMessageLoop();

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace hl
