#include "core/analysis/menu_state.h"

#include <gtest/gtest.h>

namespace hl {
namespace {

MenuAction ActionOf(const std::vector<MenuItemAction>& table, MenuItemRef item) {
  int found = 0;
  MenuAction action = MenuAction::Untouched;
  for (const MenuItemAction& row : table) {
    if (row.item == item) {
      action = row.action;
      ++found;
    }
  }
  EXPECT_EQ(found, 1) << "item " << item.id << " appears " << found << " times";
  return action;
}

constexpr MenuAction E = MenuAction::Enable;
constexpr MenuAction G = MenuAction::Grey;
constexpr MenuAction U = MenuAction::Untouched;

struct Expected {
  MenuItemRef item;
  MenuAction idle, busy, dataLoaded;  // data loaded with a restorable analysis, a wide image
};

// The window's menu states, item by item.
const Expected kExpected[] = {
    {CommandItem(MenuCommand::AnalyzeFile), E, G, E},
    {CommandItem(MenuCommand::RecordAudio), E, G, E},
    {{MenuItemKind::FilePopup, 2}, G, G, E},
    {CommandItem(MenuCommand::ParametersChange), G, G, E},
    {CommandItem(MenuCommand::ParametersRestore), G, G, E},
    {{MenuItemKind::FilePopup, 3}, G, G, E},
    {CommandItem(MenuCommand::ScanFile), E, G, E},
    {CommandItem(MenuCommand::ScanAudio), E, G, E},
    {CommandItem(MenuCommand::SaveWave), G, G, E},
    {{MenuItemKind::FilePopup, 9}, G, G, E},
    {CommandItem(MenuCommand::SaveWindowBitmap), U, U, E},
    {CommandItem(MenuCommand::SaveEntireBitmap), U, U, E},
    {CommandItem(MenuCommand::Exit), E, G, E},
    {CommandItem(MenuCommand::ColorsChange), G, G, E},
    {{MenuItemKind::SystemClose, 6}, E, G, E},
};

TEST(MenuState, EveryItemInEveryState) {
  MenuConditions conditions;
  conditions.fullResolutionBitmap = true;
  conditions.columnCount = 2000;
  conditions.imageAreaWidth = 640;
  auto idle = MenuStateTable(MenuState::Idle, conditions);
  auto busy = MenuStateTable(MenuState::Busy, conditions);
  auto loaded = MenuStateTable(MenuState::DataLoaded, conditions);
  const size_t items = sizeof kExpected / sizeof kExpected[0];
  EXPECT_EQ(idle.size(), items);
  EXPECT_EQ(busy.size(), items);
  EXPECT_EQ(loaded.size(), items);
  for (const Expected& e : kExpected) {
    EXPECT_EQ(ActionOf(idle, e.item), e.idle) << e.item.id;
    EXPECT_EQ(ActionOf(busy, e.item), e.busy) << e.item.id;
    EXPECT_EQ(ActionOf(loaded, e.item), e.dataLoaded) << e.item.id;
  }
}

TEST(MenuState, EntireBitmapOnlyForAnImageWiderThanTheWindow) {
  MenuConditions conditions;
  conditions.imageAreaWidth = 640;
  const MenuItemRef entire{CommandItem(MenuCommand::SaveEntireBitmap)};
  const MenuItemRef window{CommandItem(MenuCommand::SaveWindowBitmap)};
  for (int columns : {100, 639, 640}) {
    conditions.columnCount = columns;
    auto loaded = MenuStateTable(MenuState::DataLoaded, conditions);
    EXPECT_EQ(ActionOf(loaded, entire), G) << columns;
    EXPECT_EQ(ActionOf(loaded, window), E) << columns;
  }
  conditions.columnCount = 641;
  EXPECT_EQ(ActionOf(MenuStateTable(MenuState::DataLoaded, conditions), entire), E);
}

TEST(MenuState, RestoreNeedsAHeldAnalysisAndEnoughMemory) {
  const MenuItemRef restore{CommandItem(MenuCommand::ParametersRestore)};
  struct Case {
    bool held, lowMemory;
    MenuAction expected;
  } cases[] = {{true, false, E}, {false, false, G}, {true, true, G}, {false, true, G}};
  for (const Case& c : cases) {
    MenuConditions conditions;
    conditions.fullResolutionBitmap = c.held;
    conditions.lowMemory = c.lowMemory;
    EXPECT_EQ(ActionOf(MenuStateTable(MenuState::DataLoaded, conditions), restore), c.expected)
        << c.held << c.lowMemory;
  }
}

// Regression: Colors "&Change" was grey on every display without a hardware palette (every
// display of today), so the colour dialog could never be opened from the menu.
TEST(MenuState, ColorsChangeOfferedWithDataOnANonPaletteDisplay) {
  const MenuItemRef colors{CommandItem(MenuCommand::ColorsChange)};
  for (bool nonPalette : {true, false}) {
    MenuConditions conditions;
    conditions.nonPaletteDisplay = nonPalette;
    EXPECT_EQ(ActionOf(MenuStateTable(MenuState::DataLoaded, conditions), colors), E) << nonPalette;
    EXPECT_EQ(ActionOf(MenuStateTable(MenuState::Idle, conditions), colors), G) << nonPalette;
    EXPECT_EQ(ActionOf(MenuStateTable(MenuState::Busy, conditions), colors), G) << nonPalette;
  }
}

// Play needs more columns than the image area shows; Toggle Grid runs beside a sounding
// device only in the Scope; Stop only while something runs.
TEST(ButtonTableTest, EachStateEnablesWhatItCanUse) {
  ButtonConditions wide{800, 700, false};
  ButtonConditions narrow{700, 700, true};
  const ButtonStates shown = ButtonTable(ButtonsState::Shown, wide);
  EXPECT_TRUE(shown.play && shown.playWindow && shown.toggleGrid && !shown.stop);
  EXPECT_FALSE(ButtonTable(ButtonsState::Shown, narrow).play);
  const ButtonStates running = ButtonTable(ButtonsState::Running, wide);
  EXPECT_TRUE(running.stop && !running.play && !running.playWindow && !running.toggleGrid);
  EXPECT_TRUE(ButtonTable(ButtonsState::Sounding, narrow).toggleGrid);
  EXPECT_FALSE(ButtonTable(ButtonsState::Sounding, wide).toggleGrid);
  const ButtonStates off = ButtonTable(ButtonsState::Off, wide);
  EXPECT_FALSE(off.play || off.playWindow || off.toggleGrid || off.stop);
}

}  // namespace
}  // namespace hl
