// The view's commands: the grid and the colour scheme.
#pragma once

#include <windows.h>

namespace hl {

void OnToggleGrid(HWND window, LPARAM lParam);
void OnColorsChange(HWND window, LPARAM lParam);

}  // namespace hl
