// Where the program's dialogs open: centred on the screen, 30 pixels above the middle,
// never off its top or left edge (DialogPlaceOnScreen).
#pragma once

#include <windows.h>

namespace hl {

// Moves `dialog` there on a screen of `screenWidth` x `screenHeight`, keeping its size and
// z-order; `flags` adds SetWindowPos flags (SWP_NOACTIVATE for a modeless dialog).
void PlaceDialog(HWND dialog, int screenWidth, int screenHeight, UINT flags = 0);

// The same on the screen the system reports.
inline void PlaceDialogOnScreen(HWND dialog, UINT flags = 0) {
  PlaceDialog(dialog, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), flags);
}

}  // namespace hl
