#include "app/menu_state.h"

#include "resources/resource.h"

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

constexpr MenuItemRef Command(int id) { return {MenuItemKind::Command, id}; }
constexpr MenuItemRef Popup(int position) { return {MenuItemKind::FilePopup, position}; }

const Row kRows[] = {
    {Command(IDM_ANALYZE_FILE), E, G, E},
    {Command(IDM_RECORD_AUDIO), E, G, E},
    {Popup(kParametersPopup), G, G, E},
    {Command(IDM_PARAMETERS_CHANGE), G, G, E},
    {Command(IDM_PARAMETERS_RESTORE), G, G, E},  // data loaded: see below
    {Popup(kLogDataPopup), G, G, E},
    {Command(IDM_SCAN_FILE), E, G, E},
    {Command(IDM_SCAN_AUDIO), E, G, E},
    {Command(IDM_SAVE_WAVE), G, G, E},
    {Popup(kSaveBitmapPopup), G, G, E},
    {Command(IDM_SAVE_WINDOW_BITMAP), U, U, E},
    {Command(IDM_SAVE_ENTIRE_BITMAP), U, U, E},  // data loaded: see below
    {Command(IDM_EXIT), E, G, E},
    // The image keeps palette indices and its colour table is rewritten on any display, so
    // recolouring works without a hardware palette too.
    {Command(IDM_COLORS_CHANGE), G, G, E},
    {{MenuItemKind::SystemClose, kSystemClosePosition}, E, G, E},
};

}  // namespace

std::vector<MenuItemAction> MenuStateTable(MenuState state, const MenuConditions& conditions) {
  std::vector<MenuItemAction> table;
  table.reserve(sizeof kRows / sizeof kRows[0]);
  for (const Row& row : kRows) {
    MenuAction action = state == MenuState::Idle ? row.idle : state == MenuState::Busy ? row.busy : row.dataLoaded;
    if (state == MenuState::DataLoaded && row.item.kind == MenuItemKind::Command) {
      switch (row.item.id) {
        case IDM_PARAMETERS_RESTORE:
          // Only an analysis set aside by "&Change" can be restored, and the low-memory
          // path keeps none.
          action = conditions.fullResolutionBitmap && !conditions.lowMemory ? E : G;
          break;
        case IDM_SAVE_ENTIRE_BITMAP:
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

}  // namespace hl
