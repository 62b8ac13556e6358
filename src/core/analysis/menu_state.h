// The three menu states of the main window (idle, busy, data loaded) as a table: for each
// state, what happens to each menu item. The window's menu-state routines only apply it.
#pragma once

#include <vector>

namespace hl {

enum class MenuState { Idle, Busy, DataLoaded };

enum class MenuAction { Enable, Grey, Untouched };

// The menu commands whose state the table sets; the shell knows their resource ids.
enum class MenuCommand {
  AnalyzeFile,
  RecordAudio,
  ParametersChange,
  ParametersRestore,
  ScanFile,
  ScanAudio,
  SaveWave,
  SaveWindowBitmap,
  SaveEntireBitmap,
  Exit,
  ColorsChange,
};

enum class MenuItemKind {
  Command,      // an item addressed by its command
  FilePopup,    // a popup addressed by its position in the File menu
  SystemClose,  // the system menu's Close item (position 6)
};

struct MenuItemRef {
  MenuItemKind kind;
  int id;  // a MenuCommand, or position in the File menu, or 6 for the system Close item
  bool operator==(const MenuItemRef& other) const { return kind == other.kind && id == other.id; }
  MenuCommand command() const { return static_cast<MenuCommand>(id); }
};

constexpr MenuItemRef CommandItem(MenuCommand command) { return {MenuItemKind::Command, static_cast<int>(command)}; }

// What the data-loaded state depends on.
struct MenuConditions {
  bool fullResolutionBitmap = false;  // "&Change" has set an analysis aside to restore
  bool lowMemory = false;
  bool nonPaletteDisplay = false;  // no longer greys Colors "&Change": recolouring works anywhere
  int columnCount = 0;
  int imageAreaWidth = 0;
};

struct MenuItemAction {
  MenuItemRef item;
  MenuAction action;
};

// Every item of the table for a state, in the order the routines set them.
std::vector<MenuItemAction> MenuStateTable(MenuState state, const MenuConditions& conditions);

// The four buttons under the image (Play, Play Wdw, Toggle Grid, Stop) in the window's states.
enum class ButtonsState {
  Off,       // nothing to play or stop
  Running,   // a render or a playback runs: only Stop
  Sounding,  // a recording, live scan or file scan runs: Stop, and Toggle Grid in the Scope
  Shown,     // an analysis is shown and nothing runs
};

struct ButtonConditions {
  int columnCount = 0;  // of the image shown: Play needs more columns than the image area
  int imageAreaWidth = 0;
  bool scopeDisplay = false;
};

struct ButtonStates {
  bool play = false, playWindow = false, toggleGrid = false, stop = false;
};

ButtonStates ButtonTable(ButtonsState state, const ButtonConditions& conditions);

// The File menu positions of its popups, and the system menu's Close position.
constexpr int kParametersPopup = 2;
constexpr int kLogDataPopup = 3;
constexpr int kSaveBitmapPopup = 9;
constexpr int kSystemClosePosition = 6;

}  // namespace hl
