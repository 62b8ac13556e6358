// Applies the menu-state table to the main window's menu.
#pragma once

#include <windows.h>

#include "app/menu_state.h"

namespace hl {

void SetMenuState(HWND window, MenuState state);

}  // namespace hl
