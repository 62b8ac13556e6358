// The main window as it starts, with nothing loaded: where the create step puts the window
// and its children, what the idle menu allows, and what Escape, About, Help Topics and
// closing do. One window for the whole suite; the last test closes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "windows/program/commands_win32.h"
#include "windows/program/main_window_win32.h"
#include "windows/base/handles_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/layout/view_layout.h"
#include "core/layout/window_layout.h"
#include "harrowlight_version.h"
#include "resources/resource.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl {
// How GoogleTest shows a rectangle in a failure.
void PrintTo(const Rect& r, std::ostream* out) {
  *out << "{x " << r.x << ", y " << r.y << ", " << r.width << " x " << r.height << "}";
}
}  // namespace hl

namespace hl::e2e {
namespace {

// The font metrics of the window's screen DC and the system metrics, read by the test.
ScreenMetrics MeasureMetrics(HWND window) {
  HDC dc = GetDC(window);
  TEXTMETRICA text{};
  GetTextMetricsA(dc, &text);
  ReleaseDC(window, dc);
  return {GetSystemMetrics(SM_CYCAPTION), GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
          static_cast<int>(text.tmHeight), static_cast<int>(text.tmAveCharWidth)};
}

// A child's rectangle in the client coordinates of its parent.
Rect ClientRectOf(HWND child, HWND parent) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// How an item of the menu reads back.
enum class Shown { Enabled, Grey };

enum class Where { Command, FilePopup, SystemMenu };

struct MenuRow {
  const char* text;  // as in the resource; empty for the system menu's Close
  Where where;
  UINT idOrPosition;  // command id, or position in the File menu or the system menu
  Shown idle;
};

// The idle state: the menu-state table's idle column, and the items it does not touch
// (the two bitmap exports, the log items, Help) as the resource loads them: enabled.
const MenuRow kIdleMenu[] = {
    {"&Analyze File", Where::Command, IDM_ANALYZE_FILE, Shown::Enabled},
    {"&Record Audio", Where::Command, IDM_RECORD_AUDIO, Shown::Enabled},
    {"&Parameters", Where::FilePopup, 2, Shown::Grey},
    {"&Change", Where::Command, IDM_PARAMETERS_CHANGE, Shown::Grey},
    {"&Restore", Where::Command, IDM_PARAMETERS_RESTORE, Shown::Grey},
    {"&Log Data", Where::FilePopup, 3, Shown::Grey},
    {"&Points", Where::Command, IDM_LOG_POINTS, Shown::Enabled},
    {"&Spectrum", Where::Command, IDM_LOG_SPECTRUM, Shown::Enabled},
    {"&Scan File", Where::Command, IDM_SCAN_FILE, Shown::Enabled},
    {"S&can Audio", Where::Command, IDM_SCAN_AUDIO, Shown::Enabled},
    {"Save &Wave", Where::Command, IDM_SAVE_WAVE, Shown::Grey},
    {"Save &Bitmap", Where::FilePopup, 9, Shown::Grey},
    {"&Window Bitmap", Where::Command, IDM_SAVE_WINDOW_BITMAP, Shown::Enabled},
    {"&Entire Bitmap", Where::Command, IDM_SAVE_ENTIRE_BITMAP, Shown::Enabled},
    {"&Exit", Where::Command, IDM_EXIT, Shown::Enabled},
    {"&Change", Where::Command, IDM_COLORS_CHANGE, Shown::Grey},
    {"&Help Topics", Where::Command, IDM_HELP_TOPICS, Shown::Enabled},
    {"&About Harrowlight", Where::Command, IDM_ABOUT, Shown::Enabled},
    {"", Where::SystemMenu, 6, Shown::Enabled},
};

// The menu an item lives in, and how it is addressed there.
struct MenuAddress {
  HMENU menu;
  UINT item;
  UINT by;
};

MenuAddress Locate(HWND window, const MenuRow& row) {
  HMENU bar = GetMenu(window);
  switch (row.where) {
    case Where::Command:
      return {bar, row.idOrPosition, MF_BYCOMMAND};
    case Where::FilePopup:
      return {GetSubMenu(bar, 0), row.idOrPosition, MF_BYPOSITION};
    case Where::SystemMenu:
      return {GetSystemMenu(window, FALSE), row.idOrPosition, MF_BYPOSITION};
  }
  return {nullptr, 0, 0};
}

// GetMenuState's flags (the low byte; a popup has its item count in the high byte), or
// 0xFFFFFFFF for an item that does not exist.
UINT MenuFlags(HWND window, const MenuRow& row) {
  const MenuAddress a = Locate(window, row);
  const UINT state = GetMenuState(a.menu, a.item, a.by);
  return state == static_cast<UINT>(-1) ? state : state & 0xFF;
}

std::string MenuText(HWND window, const MenuRow& row) {
  const MenuAddress a = Locate(window, row);
  char text[64] = {};
  GetMenuStringA(a.menu, a.item, text, sizeof text, a.by);
  return text;
}

// Everything a user can see change: every listed menu item's flags, the enable state of
// each child, the caption.
struct Snapshot {
  std::vector<UINT> menuFlags;
  std::vector<bool> childEnabled;
  std::string caption;
  bool operator==(const Snapshot& o) const {
    return menuFlags == o.menuFlags && childEnabled == o.childEnabled && caption == o.caption;
  }
};

std::vector<HWND> ChildrenInOrder(HWND window) {
  std::vector<HWND> children;
  for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) children.push_back(c);
  return children;
}

Snapshot Take(HWND window) {
  Snapshot s;
  for (const MenuRow& row : kIdleMenu) s.menuFlags.push_back(MenuFlags(window, row));
  for (HWND child : ChildrenInOrder(window)) s.childEnabled.push_back(IsWindowEnabled(child) != 0);
  ReadWindowText(window, s.caption);
  return s;
}

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of("\\/") + 1); }

std::string ThisProgram() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

class IdleMainWindow : public MainWindowSuite {
 protected:
  void SetUp() override {
    MainWindowSuite::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(ui_->Flush()) << "timed out waiting for the main window's thread to take a posted message";
    ASSERT_TRUE(OpenDialogs().empty()) << "a dialog is open before the test starts";
  }
};


TEST_F(IdleMainWindow, ReadTheFontAndScreenMetricsOfItsWindowDc) {
  const ScreenMetrics measured = MeasureMetrics(window());
  const ScreenMetrics& read = MainWindow().metrics;
  EXPECT_EQ(read.captionHeight, measured.captionHeight);
  EXPECT_EQ(read.screenWidth, measured.screenWidth);
  EXPECT_EQ(read.screenHeight, measured.screenHeight);
  EXPECT_EQ(read.charHeight, measured.charHeight);
  EXPECT_EQ(read.charWidth, measured.charWidth);
  EXPECT_GT(measured.charWidth, 0);
  EXPECT_GT(measured.charHeight, 0);
}

// Regression: with the system font the labels are wider than the character cells the
// layout gave them: "Frequency (Hz)3219", "Audio Recordin", the time's "+ - 6" under the
// information panel.
TEST_F(IdleMainWindow, TextsUnderTheImageFitTheirPlaces) { EXPECT_TRUE(TextsUnderTheImageFit()); }

TEST_F(IdleMainWindow, HasTheDefaultSizeCentredOnTheScreen) {
  const ScreenMetrics m = MeasureMetrics(window());
  // Default width 82 C, or the width the texts under the image need; default height 5
  // character heights + 2 captions + 308 + 2 C; centred, but never at a negative position.
  const int width = std::max(82 * m.charWidth, MainWindow().textMinimumWidth);
  const int height = 5 * m.charHeight + 2 * m.captionHeight + 308 + 2 * m.charWidth;
  const Rect expected{std::max(0, (m.screenWidth - width) / 2), std::max(0, (m.screenHeight - height) / 2), width,
                      height};
  RECT r;
  ASSERT_TRUE(GetWindowRect(window(), &r));
  const Rect actual{r.left, r.top, r.right - r.left, r.bottom - r.top};
  EXPECT_EQ(actual, expected) << "C " << m.charWidth << ", character height " << m.charHeight << ", caption "
                              << m.captionHeight << ", screen " << m.screenWidth << " x " << m.screenHeight;
  std::string caption;
  ASSERT_TRUE(ReadWindowText(window(), caption));
  EXPECT_EQ(caption, "Harrowlight");
  EXPECT_TRUE(IsWindowVisible(window()));
}

TEST_F(IdleMainWindow, ChildrenAreCreatedInOrderWhereTheResizeLayoutPutsThem) {
  const ScreenMetrics m = MeasureMetrics(window());
  RECT client;
  ASSERT_TRUE(GetClientRect(window(), &client));
  RECT outer;
  ASSERT_TRUE(GetWindowRect(window(), &outer));
  // Created where the create step puts them, the children are moved again by the first
  // WM_SIZE, which places all six as every later resize does.
  const ChildLayout l =
      ResizedChildLayout(m, outer.right - outer.left, outer.bottom - outer.top, client.right);

  struct Expected {
    const char* className;
    const char* text;
    int id;  // 0 for the scroll bars, which have none
    DWORD kind;  // SBS_HORZ or SBS_VERT for a scroll bar, BS_PUSHBUTTON for a button
    bool enabled;
    Rect rect;
  };
  // Children in the order they are created (each new child goes below its elder siblings).
  const Expected expected[] = {
      {"ScrollBar", "", 0, SBS_HORZ, true, l.horizontalScrollBar},
      {"ScrollBar", "", 0, SBS_VERT, true, l.verticalScrollBar},
      {"Button", "Play", IDB_PLAY, BS_PUSHBUTTON, false, l.play},
      {"Button", "Play Wdw", IDB_PLAY_WINDOW, BS_PUSHBUTTON, false, l.playWindow},
      {"Button", "Toggle Grid", IDB_TOGGLE_GRID, BS_PUSHBUTTON, false, l.toggleGrid},
      {"Button", "Stop", IDB_STOP, BS_PUSHBUTTON, false, l.stop},
  };
  const std::vector<HWND> children = ChildrenInOrder(window());
  ASSERT_EQ(children.size(), std::size(expected));
  for (size_t i = 0; i < children.size(); ++i) {
    const Expected& e = expected[i];
    HWND child = children[i];
    SCOPED_TRACE(std::string("child ") + std::to_string(i) + " (" + e.className + " \"" + e.text + "\")");
    EXPECT_EQ(_stricmp(ClassOf(child).c_str(), e.className), 0) << ClassOf(child);
    std::string text;
    ASSERT_TRUE(ReadWindowText(child, text));
    EXPECT_EQ(text, e.text);
    EXPECT_EQ(GetDlgCtrlID(child), e.id);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_VISIBLE);
    const DWORD kindMask = ClassOf(child) == "Button" ? BS_TYPEMASK : SBS_VERT;
    EXPECT_EQ(static_cast<DWORD>(style) & kindMask, e.kind);
    EXPECT_EQ(IsWindowEnabled(child) != 0, e.enabled);
    const Rect actual = ClientRectOf(child, window());
    EXPECT_EQ(actual, e.rect);
  }
  // The scroll bars start with nothing to scroll.
  for (HWND bar : {MainWindow().horizontalScrollBar, MainWindow().verticalScrollBar}) {
    int low = -1, high = -1;
    ASSERT_TRUE(GetScrollRange(bar, SB_CTL, &low, &high));
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 0);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 0);
  }
  // The image area and the vertical scroll bar fill the client area's width.
  const Rect vertical = ClientRectOf(MainWindow().verticalScrollBar, window());
  EXPECT_EQ(vertical.x + vertical.width, client.right);
}

TEST_F(IdleMainWindow, MenuHasTheIdleStateOfTheTable) {
  HMENU bar = GetMenu(window());
  ASSERT_NE(bar, nullptr) << "the class menu \"HARROWLIGHT\" was not loaded";
  ASSERT_EQ(GetMenuItemCount(bar), 3);
  ASSERT_EQ(GetMenuItemCount(GetSubMenu(bar, 0)), 12) << "the File menu's popups are greyed by position";
  // Help sits at the right end of the bar.
  MENUITEMINFOA help{};
  help.cbSize = sizeof help;
  help.fMask = MIIM_FTYPE;
  ASSERT_TRUE(GetMenuItemInfoA(bar, 2, TRUE, &help));
  EXPECT_TRUE(help.fType & MFT_RIGHTJUSTIFY);
  EXPECT_EQ(GetMenuItemID(GetSystemMenu(window(), FALSE), 6), static_cast<UINT>(SC_CLOSE))
      << "position 6 of the system menu is not Close";

  for (const MenuRow& row : kIdleMenu) {
    SCOPED_TRACE(std::string(row.text[0] ? row.text : "system Close") + " (" +
                 (row.where == Where::Command ? "id " : "position ") + std::to_string(row.idOrPosition) + ")");
    const UINT flags = MenuFlags(window(), row);
    ASSERT_NE(flags, static_cast<UINT>(-1)) << "no such item";
    if (row.text[0]) {
      EXPECT_EQ(MenuText(window(), row), row.text);
    }
    if (row.idle == Shown::Grey) {
      EXPECT_TRUE((flags & MF_GRAYED) && (flags & MF_DISABLED)) << "flags 0x" << std::hex << flags;
    } else {
      EXPECT_FALSE(flags & (MF_GRAYED | MF_DISABLED)) << "flags 0x" << std::hex << flags;
    }
  }
}

TEST_F(IdleMainWindow, EscapeWhileIdleChangesNothing) {
  const Snapshot before = Take(window());
  ASSERT_EQ(before.caption, "Harrowlight");
  ASSERT_EQ(before.childEnabled.size(), 6u);
  // A key as the window receives it: virtual key 27, repeat count 1.
  ASSERT_TRUE(ui_->Post(WM_KEYDOWN, VK_ESCAPE, 0x00010001));
  ASSERT_TRUE(ui_->Flush()) << "timed out waiting for the window to take the Escape key";
  EXPECT_TRUE(ui_->running());
  EXPECT_TRUE(OpenDialogs().empty()) << "Escape opened a dialog";
  const Snapshot after = Take(window());
  EXPECT_EQ(after.menuFlags, before.menuFlags);
  EXPECT_EQ(after.childEnabled, before.childEnabled);
  EXPECT_EQ(after.caption, before.caption);
}

TEST_F(IdleMainWindow, AboutShowsTheVersionNotice) {
  ASSERT_TRUE(ui_->PostCommand(IDM_ABOUT));
  // The version is the project's, as harrowlight-cli --version prints it.
  const std::string caption = std::string("Harrowlight Version ") + HL_VERSION;
  HWND box = WaitForDialog(caption);
  ASSERT_NE(box, nullptr) << "timed out waiting for the About box \"" << caption << "\"";
  EXPECT_EQ(GetWindow(box, GW_OWNER), window());
  const std::string text = MessageBoxText(box);
  EXPECT_NE(text.find(std::string("Harrowlight ") + HL_VERSION + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("2026"), std::string::npos) << text;
  EXPECT_NE(text.find("free of charge"), std::string::npos) << text;
  EXPECT_NE(text.find("FFT"), std::string::npos) << text;
  ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK)) << "the About box did not close on OK";
  EXPECT_TRUE(ui_->Flush());
  EXPECT_TRUE(ui_->running());
}

// The guide's opener, recording what it was asked to open instead of starting a browser.
std::string openedDocument;
int documentsOpened = 0;
bool RecordOpen(HWND, const char* path) {
  openedDocument = path;
  ++documentsOpened;
  return true;
}
bool FailToOpen(HWND, const char* path) {
  openedDocument = path;
  ++documentsOpened;
  return false;
}

// Puts ShellExecute back however the test ends.
struct OpenerInPlace {
  explicit OpenerInPlace(DocumentOpener opener) {
    openedDocument.clear();
    documentsOpened = 0;
    OnWindowThread([opener] { SetDocumentOpener(opener); });
  }
  ~OpenerInPlace() { OnWindowThread([] { SetDocumentOpener(nullptr); }); }
};

TEST_F(IdleMainWindow, HelpTopicsWithoutTheHelpFileOpensTheGuideBesideTheProgram) {
  const std::string folder = Folder(ThisProgram());
  ASSERT_EQ(GetFileAttributesA((folder + "Tulm32.hlp").c_str()), INVALID_FILE_ATTRIBUTES)
      << folder << "Tulm32.hlp exists; this test needs it absent";
  const std::string guide = folder + "Harrowlight.html";
  ASSERT_NE(GetFileAttributesA(guide.c_str()), INVALID_FILE_ATTRIBUTES) << "the build did not put " << guide;
  OpenerInPlace recorder(RecordOpen);
  ASSERT_TRUE(ui_->PostCommand(IDM_HELP_TOPICS));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(documentsOpened, 1);
  EXPECT_EQ(_stricmp(openedDocument.c_str(), guide.c_str()), 0) << openedDocument;
  EXPECT_TRUE(OpenDialogs().empty()) << "Help showed a message although the guide opened";
}

TEST_F(IdleMainWindow, HelpTopicsWhenNeitherHelpNorTheGuideOpensSaysSo) {
  const std::string helpFile = Folder(ThisProgram()) + "Tulm32.hlp";
  ASSERT_EQ(GetFileAttributesA(helpFile.c_str()), INVALID_FILE_ATTRIBUTES)
      << helpFile << " exists; this test needs it absent";
  OpenerInPlace failing(FailToOpen);
  ASSERT_TRUE(ui_->PostCommand(IDM_HELP_TOPICS));
  HWND box = WaitForDialog("Harrowlight");
  ASSERT_NE(box, nullptr) << "timed out waiting for a message box captioned \"Harrowlight\"";
  EXPECT_EQ(documentsOpened, 1) << "the guide was not tried before giving up";
  EXPECT_EQ(GetWindow(box, GW_OWNER), window());
  EXPECT_EQ(MessageBoxText(box), "Cannot Access Help");
  ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK)) << "the message box did not close on OK";
  EXPECT_TRUE(ui_->Flush());
  EXPECT_TRUE(ui_->running());
}

// Saves what the window looks like for a person to check (converted to PNG after the run),
// and checks that the capture is the window as laid out: an image area of one colour and
// four buttons drawn in it.
TEST_F(IdleMainWindow, ScreenshotShowsTheWindowAsLaidOut) {
  // Let every pending paint of the window and its children happen first.
  ASSERT_TRUE(RedrawWindow(window(), nullptr, nullptr,
                           RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW));
  ASSERT_TRUE(WaitUntil([&] {
    if (GetUpdateRect(window(), nullptr, FALSE)) return false;
    for (HWND child : ChildrenInOrder(window())) {
      if (GetUpdateRect(child, nullptr, FALSE)) return false;
    }
    return true;
  })) << "timed out waiting for the window to finish painting";
  ASSERT_TRUE(ui_->Flush());
  GdiFlush();

  RECT outer;
  ASSERT_TRUE(GetWindowRect(window(), &outer));
  Capture shot;
  ASSERT_TRUE(CaptureScreen(outer, shot)) << "could not copy the screen";
  const std::string path = ArtifactFolder() + "\\main_window.bmp";
  ASSERT_TRUE(WriteBmp(shot, path)) << "could not write " << path;

  // Where the client area starts inside the capture.
  POINT origin{0, 0};
  ClientToScreen(window(), &origin);
  const int dx = origin.x - outer.left, dy = origin.y - outer.top;
  const MainWindowState& s = MainWindow();
  const uint32_t imageColour = shot.at(dx + 1, dy + 1);
  for (int y = 0; y < s.layout.imageAreaHeight; y += 7) {
    for (int x = 0; x < s.layout.imageAreaWidth; x += 7) {
      ASSERT_EQ(shot.at(dx + x, dy + y), imageColour) << "image area pixel " << x << ", " << y;
    }
  }
  for (HWND button : {s.playButton, s.playWindowButton, s.toggleGridButton, s.stopButton}) {
    const Rect r = ClientRectOf(button, window());
    // Just inside the frame: the button's face, away from its label.
    EXPECT_NE(shot.at(dx + r.x + 3, dy + r.y + 3), imageColour) << "no button drawn at " << ::testing::PrintToString(r);
  }
}

// Closing ends the window's life: a suite, and so a process, of its own, so that the tests
// above run on the open window in any order.
class IdleMainWindowClosing : public IdleMainWindow {};

TEST_F(IdleMainWindowClosing, ClosingEndsTheLoopWithZeroAndFreesEveryBlock) {
  ASSERT_TRUE(ui_->Post(WM_CLOSE));
  int loopResult = -1;
  ASSERT_TRUE(ui_->WaitForExit(loopResult)) << "timed out waiting for the message loop to end after WM_CLOSE";
  EXPECT_EQ(loopResult, 0);
  EXPECT_FALSE(IsWindow(window()));
  EXPECT_EQ(AllocationCount(), 0);
  EXPECT_TRUE(OpenDialogs().empty());
}

}  // namespace
}  // namespace hl::e2e
