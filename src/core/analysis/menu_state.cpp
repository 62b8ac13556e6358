#include "core/analysis/menu_state.h"

namespace hl {

namespace {

// One row per item; the data-loaded column depends on conditions for two items and is
// filled in by MenuStateTable.
struct Row {
  MenuItemRef item;
  MenuAction idle, busy, dataLoaded;
};

constexpr MenuAction E = MenuAction::Enable;
constexpr MenuAction G = MenuAction::Grey;
constexpr MenuAction U = MenuAction::Untouched;

constexpr MenuItemRef Popup(int position) { return {MenuItemKind::FilePopup, position}; }

const Row kRows[] = {
    {CommandItem(MenuCommand::AnalyzeFile), E, G, E},
    {CommandItem(MenuCommand::RecordAudio), E, G, E},
    {Popup(kParametersPopup), G, G, E},
    {CommandItem(MenuCommand::ParametersChange), G, G, E},
    {CommandItem(MenuCommand::ParametersRestore), G, G, E},  // data loaded: see below
    {Popup(kLogDataPopup), G, G, E},
    {CommandItem(MenuCommand::ScanFile), E, G, E},
    {CommandItem(MenuCommand::ScanAudio), E, G, E},
    {CommandItem(MenuCommand::SaveWave), G, G, E},
    {Popup(kSaveBitmapPopup), G, G, E},
    {CommandItem(MenuCommand::SaveWindowBitmap), U, U, E},
    {CommandItem(MenuCommand::SaveEntireBitmap), U, U, E},  // data loaded: see below
    {CommandItem(MenuCommand::Exit), E, G, E},
    // The image keeps palette indices and its colour table is rewritten on any display, so
    // recolouring works without a hardware palette too.
    {CommandItem(MenuCommand::ColorsChange), G, G, E},
    {{MenuItemKind::SystemClose, kSystemClosePosition}, E, G, E},
};

}  // namespace

std::vector<MenuItemAction> MenuStateTable(MenuState state, const MenuConditions& conditions) {
  std::vector<MenuItemAction> table;
  table.reserve(sizeof kRows / sizeof kRows[0]);
  for (const Row& row : kRows) {
    MenuAction action = state == MenuState::Idle ? row.idle : state == MenuState::Busy ? row.busy : row.dataLoaded;
    if (state == MenuState::DataLoaded && row.item.kind == MenuItemKind::Command) {
      switch (row.item.command()) {
        case MenuCommand::ParametersRestore:
          // Only an analysis set aside by "&Change" can be restored, and the low-memory
          // path keeps none.
          action = conditions.fullResolutionBitmap && !conditions.lowMemory ? E : G;
          break;
        case MenuCommand::SaveEntireBitmap:
          // The entire image differs from the window only when it is wider than it.
          action = conditions.columnCount > conditions.imageAreaWidth ? E : G;
          break;
        default:
          break;
      }
    }
    table.push_back({row.item, action});
  }
  return table;
}

ButtonStates ButtonTable(ButtonsState state, const ButtonConditions& conditions) {
  ButtonStates b;
  switch (state) {
    case ButtonsState::Off:
      break;
    case ButtonsState::Running:
      b.stop = true;
      break;
    case ButtonsState::Sounding:
      b.stop = true;
      b.toggleGrid = conditions.scopeDisplay;
      break;
    case ButtonsState::Shown:
      b.play = conditions.columnCount > conditions.imageAreaWidth;
      b.playWindow = true;
      b.toggleGrid = true;
      break;
  }
  return b;
}

}  // namespace hl
