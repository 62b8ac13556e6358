// Applies the menu-state table to the main window's menu, and switches the four buttons
// ("Play", "Play Wdw", the grid toggle, "Stop") the commands enable and disable.
#pragma once

#include <windows.h>

#include "core/analysis/menu_state.h"

namespace hl {

void SetMenuState(HWND window, MenuState state);

// Enables or disables `button`; nothing for a button not yet created.
void EnableButton(HWND button, bool on);
// The four buttons as the button table has them in `state`.
void SetButtons(ButtonsState state, bool scopeDisplay = false);

}  // namespace hl
