#include "windows/base/menu_state_win32.h"

#include "windows/base/analysis_win32.h"
#include "windows/base/dialog_choices_win32.h"
#include "windows/base/display_state_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/operating_mode_win32.h"

namespace hl {

namespace {

UINT Flags(MenuAction action) { return action == MenuAction::Enable ? MF_ENABLED : MF_DISABLED | MF_GRAYED; }

MenuConditions CurrentConditions() {
  MenuConditions c;
  const OperatingMode& mode = Mode();
  c.fullResolutionBitmap = AnalysisSetAside();
  c.lowMemory = mode.lowMemory != 0;
  c.nonPaletteDisplay = mode.nonPaletteDisplay != 0;
  c.columnCount = Analysis().columnCount;
  c.imageAreaWidth = MainWindow().layout.imageAreaWidth;
  return c;
}

}  // namespace

void SetMenuState(HWND window, MenuState state) {
  HMENU menu = GetMenu(window);
  HMENU file = GetSubMenu(menu, 0);
  HMENU system = GetSystemMenu(window, FALSE);
  for (const MenuItemAction& row : MenuStateTable(state, CurrentConditions())) {
    if (row.action == MenuAction::Untouched) continue;
    switch (row.item.kind) {
      case MenuItemKind::Command:
        EnableMenuItem(menu, MenuCommandId(row.item.command()), MF_BYCOMMAND | Flags(row.action));
        break;
      case MenuItemKind::FilePopup:
        EnableMenuItem(file, row.item.id, MF_BYPOSITION | Flags(row.action));
        break;
      case MenuItemKind::SystemClose:
        EnableMenuItem(system, row.item.id, MF_BYPOSITION | Flags(row.action));
        break;
    }
  }
  DrawMenuBar(window);
}

void EnableButton(HWND button, bool on) {
  if (button) EnableWindow(button, on ? TRUE : FALSE);
}

void SetButtons(ButtonsState state, bool scopeDisplay) {
  ButtonConditions c;
  c.columnCount = Analysis().columnCount;
  c.imageAreaWidth = ImageAreaWidth();
  c.scopeDisplay = scopeDisplay;
  const ButtonStates b = ButtonTable(state, c);
  const MainWindowState& w = MainWindow();
  EnableButton(w.playButton, b.play);
  EnableButton(w.playWindowButton, b.playWindow);
  EnableButton(w.toggleGridButton, b.toggleGrid);
  EnableButton(w.stopButton, b.stop);
}

}  // namespace hl
