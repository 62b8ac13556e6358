// The main window's own state (its sizes, children and font), the modeless dialogs it hands
// keyboard messages to, and the loop that drains waiting messages while a long step runs.
#pragma once

#include <windows.h>

#include "core/analysis/memory_budget.h"
#include "core/layout/window_layout.h"

namespace hl {

constexpr char kWindowClass[] = "Harrowlight";
constexpr char kCaption[] = "Harrowlight";

// Values the create step computes and the children it makes; they live as long as the window.
struct MainWindowState {
  HWND window = nullptr;
  HINSTANCE instance = nullptr;
  bool createDone = false;
  ScreenMetrics metrics{};
  WindowSizes sizes{};
  // The widest texts under the image in the window's font, and the narrowest window in which
  // they fit beside each other (measured at creation and at each DPI change).
  TextWidths textWidths{};
  int textMinimumWidth = 0;
  int windowWidth = 0, windowHeight = 0;
  ChildLayout layout{};
  MemoryBudget memory{};
  HWND horizontalScrollBar = nullptr, verticalScrollBar = nullptr;
  HWND modelessDialogs[4] = {};  // open modeless dialogs, handed their keyboard messages
  HWND playButton = nullptr, playWindowButton = nullptr, toggleGridButton = nullptr, stopButton = nullptr;
  // The DPI the system font is made for (the screen's at start), and the font the window's
  // texts and buttons use after a move to a screen of another DPI: the system font scaled
  // to it. nullptr while the DC's own system font serves.
  int systemDpi = 96;
  HFONT font = nullptr;
  // Set while a DPI change places the window: the resize step then keeps the position the
  // system suggested (on the screen the window moved to) instead of centring it.
  bool keepPosition = false;
};

MainWindowState& MainWindow();

// Peeks, translates and dispatches every waiting message of any window.
void DrainMessageQueue();

// Modeless dialogs owned by the main window (at most four at once). The message loops hand
// each message to IsModelessDialogMessage first, so that the dialogs get their keyboard
// handling (Tab, Escape, Enter); true when a dialog took the message.
void AddModelessDialog(HWND dialog);
void RemoveModelessDialog(HWND dialog);
bool IsModelessDialogMessage(MSG* message);

// Selects the window's font into `dc` for as long as it lives, when there is one (see
// MainWindowState::font), so that texts follow the screen's DPI as the layout does.
class WindowFontIn {
 public:
  explicit WindowFontIn(HDC dc);
  ~WindowFontIn();
  WindowFontIn(const WindowFontIn&) = delete;
  WindowFontIn& operator=(const WindowFontIn&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_ = nullptr;
};

}  // namespace hl
