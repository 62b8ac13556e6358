// The main window on a screen of 144 DPI: scripts/e2e-run.sh sets Wine's LogPixels to 144 for
// the suites named HighDpi* (Wine reads it when a process starts), so this process starts
// at 144 DPI. The layout comes from the font metrics the test measures itself, through the
// same core functions; a WM_DPICHANGED to 192 DPI and back re-lays the window for a font
// made for that DPI.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "windows/base/analysis_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/program/main_window_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "cli/example_signals.h"
#include "core/layout/view_layout.h"
#include "resources/resource.h"
#include "core/layout/window_layout.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl {
void PrintTo(const Rect& r, std::ostream* out);
}  // namespace hl

namespace hl::e2e {
namespace {

constexpr int kSuiteDpi = 144;
constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED

// Text metrics of `font` (nullptr: the DC's own system font) in a DC of `window`.
TEXTMETRICA MetricsOf(HWND window, HFONT font) {
  HDC dc = GetDC(window);
  HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
  TEXTMETRICA text{};
  GetTextMetricsA(dc, &text);
  if (previous) SelectObject(dc, previous);
  ReleaseDC(window, dc);
  return text;
}

int CaptionHeightAt(int dpi) {
  using ForDpi = int(WINAPI*)(int, UINT);
  const auto forDpi = reinterpret_cast<ForDpi>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetSystemMetricsForDpi")));
  return forDpi ? forDpi(SM_CYCAPTION, static_cast<UINT>(dpi)) : GetSystemMetrics(SM_CYCAPTION) * dpi / kSuiteDpi;
}

Rect ClientRectOf(HWND child, HWND parent) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// Every child where the resize layout puts it for metrics `m` and the window's present size.
void ExpectLaidOutFor(HWND window, const ScreenMetrics& m) {
  RECT outer, client;
  ASSERT_TRUE(GetWindowRect(window, &outer));
  ASSERT_TRUE(GetClientRect(window, &client));
  const ChildLayout l = ResizedChildLayout(m, outer.right - outer.left, outer.bottom - outer.top, client.right);
  const MainWindowState& s = MainWindow();
  EXPECT_EQ(ClientRectOf(s.horizontalScrollBar, window), l.horizontalScrollBar);
  EXPECT_EQ(ClientRectOf(s.verticalScrollBar, window), l.verticalScrollBar);
  EXPECT_EQ(ClientRectOf(s.playButton, window), l.play);
  EXPECT_EQ(ClientRectOf(s.playWindowButton, window), l.playWindow);
  EXPECT_EQ(ClientRectOf(s.toggleGridButton, window), l.toggleGrid);
  EXPECT_EQ(ClientRectOf(s.stopButton, window), l.stop);
}

class HighDpiMainWindow : public MainWindowSuite {
 protected:
  void SetUp() override {
    MainWindowSuite::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(ui_->Flush());
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(dpi, kSuiteDpi) << "this suite needs Wine's LogPixels at 144 (scripts/e2e-run.sh sets it)";
  }
};

// The manifest linked into the program (and into this test program) makes the process
// per-monitor DPI aware, so that no system scaling stretches the image.
TEST_F(HighDpiMainWindow, ManifestMakesTheProcessPerMonitorAware) {
  using GetContext = HANDLE(WINAPI*)();
  using AwarenessOf = int(WINAPI*)(HANDLE);
  HMODULE user = GetModuleHandleA("user32.dll");
  const auto context = reinterpret_cast<GetContext>(
      reinterpret_cast<void*>(GetProcAddress(user, "GetThreadDpiAwarenessContext")));
  const auto awareness = reinterpret_cast<AwarenessOf>(
      reinterpret_cast<void*>(GetProcAddress(user, "GetAwarenessFromDpiAwarenessContext")));
  ASSERT_NE(context, nullptr);
  ASSERT_NE(awareness, nullptr);
  HANDLE windowContext = nullptr;
  ASSERT_TRUE(OnWindowThread([&] { windowContext = context(); }));
  EXPECT_EQ(awareness(windowContext), 2) << "not DPI_AWARENESS_PER_MONITOR_AWARE";
}

TEST_F(HighDpiMainWindow, ChildrenFollowTheLayoutOfTheFontAt144Dpi) {
  const TEXTMETRICA text = MetricsOf(window(), nullptr);
  const ScreenMetrics m{GetSystemMetrics(SM_CYCAPTION), GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                        static_cast<int>(text.tmHeight), static_cast<int>(text.tmAveCharWidth)};
  // The system font is made for the screen's DPI: taller than the 16 pixels of 96 DPI.
  EXPECT_GT(m.charHeight, 16);
  const WindowSizes sizes = ComputeWindowSizes(m);
  RECT outer;
  ASSERT_TRUE(GetWindowRect(window(), &outer));
  EXPECT_EQ(outer.right - outer.left, std::max(sizes.defaultWidth, MainWindow().textMinimumWidth));
  EXPECT_EQ(outer.bottom - outer.top, sizes.defaultHeight);
  ExpectLaidOutFor(window(), m);
  // The image area keeps its 300 device pixels at the default height: one row per bin,
  // never scaled with the text.
  EXPECT_EQ(MainWindow().layout.imageAreaHeight, kInitialImageAreaHeight);
}

TEST_F(HighDpiMainWindow, DpiChangeRelaysTheWindowForAFontOfTheNewDpi) {
  RECT before;
  ASSERT_TRUE(GetWindowRect(window(), &before));
  for (int dpi : {192, kSuiteDpi}) {
    SCOPED_TRACE("to " + std::to_string(dpi) + " DPI");
    // The system's suggestion: the window scaled, a little off the centre, as when it was
    // dragged onto another screen.
    const int left = before.left + 37, top = before.top + 23;
    RECT suggested{left, top, left + (before.right - before.left) * dpi / kSuiteDpi,
                   top + (before.bottom - before.top) * dpi / kSuiteDpi};
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(window(), kDpiChanged, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested),
                                    SMTO_NORMAL, kWaitMs, &result));
    ASSERT_TRUE(ui_->Flush());
    const HFONT font = reinterpret_cast<HFONT>(SendMessageA(MainWindow().playButton, WM_GETFONT, 0, 0));
    // Back at the DPI the system font is made for, the buttons use it again.
    EXPECT_EQ(font == nullptr, dpi == kSuiteDpi);
    const TEXTMETRICA text = MetricsOf(window(), font);
    const ScreenMetrics m{CaptionHeightAt(dpi), GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                          static_cast<int>(text.tmHeight), static_cast<int>(text.tmAveCharWidth)};
    // The system font's height scaled to the DPI, give or take the rounding of a font size.
    const double scaled = static_cast<double>(MetricsOf(window(), nullptr).tmHeight) * dpi / kSuiteDpi;
    EXPECT_NEAR(m.charHeight, scaled, 2.0) << "the font is not made for " << dpi << " DPI";
    for (HWND button : {MainWindow().playWindowButton, MainWindow().toggleGridButton, MainWindow().stopButton}) {
      EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(button, WM_GETFONT, 0, 0)), font);
    }
    RECT now;
    ASSERT_TRUE(GetWindowRect(window(), &now));
    // Where the system put it, not centred on the primary screen.
    EXPECT_EQ(now.left, suggested.left);
    EXPECT_EQ(now.top, suggested.top);
    EXPECT_GE(now.bottom - now.top, ComputeWindowSizes(m).defaultHeight);
    EXPECT_GE(now.right - now.left, MinimumWindowWidth(m.charWidth, true));
    ExpectLaidOutFor(window(), m);
  }
}

// Regression: at 144 DPI too the texts ran together or were cut ("Sample Length176 kb",
// "Time from one column to the next" cut after "the").
TEST_F(HighDpiMainWindow, TextsUnderTheImageAndTheParametersDialogsLabelsFit) {
  EXPECT_TRUE(TextsUnderTheImageFit());
  ExampleSignal tone;
  const std::string path = ScratchFolder() + "labels.wav";
  ASSERT_TRUE(WriteWholeFile(path, MakeExampleWave(tone)));
  ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
  ASSERT_TRUE(ChooseFile("Open WAV File", path));
  HWND dialog = WaitForDialog("Choose Analysis Parameters");
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(DialogTextsFit(dialog));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDCANCEL));
  ASSERT_TRUE(WaitForAnalysisEnd());
}

// Regression: at 144 DPI the view the render had followed stopped four columns short of the
// end (offset 110 of a range of 114); a finished analysis is shown from its first column.
TEST_F(HighDpiMainWindow, AnalysisEndsWithTheViewAtItsFirstColumn) {
  ExampleSignal tone;
  tone.kind = ExampleKind::Tone;
  tone.seconds = 20.0;
  const std::string path = ScratchFolder() + "wide.wav";
  ASSERT_TRUE(WriteWholeFile(path, MakeExampleWave(tone)));
  ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
  ASSERT_TRUE(ChooseFile("Open WAV File", path));
  HWND dialog = WaitForDialog("Choose Analysis Parameters");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  ASSERT_TRUE(WaitForAnalysisEnd());
  ASSERT_TRUE(ui_->Flush());
  ASSERT_GT(Analysis().columnCount, ImageAreaWidth());
  EXPECT_EQ(View().horizontalRange, Analysis().columnCount - ImageAreaWidth());
  EXPECT_EQ(View().horizontalOffset, 0);
  EXPECT_EQ(GetScrollPos(MainWindow().horizontalScrollBar, SB_CTL), 0);
}

}  // namespace
}  // namespace hl::e2e
