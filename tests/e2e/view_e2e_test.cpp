// The window's view of the time–frequency image, driven in the running window: a display
// bitmap filled with a known pattern of palette indices is painted, scrolled both ways,
// gridded and recoloured, and what reaches the screen is compared pixel by pixel with the
// colour table's colours for the indices at the view's offsets. One window for the suite;
// the last test closes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "windows/program/main_window_win32.h"
#include "windows/base/handles_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/layout/grid_layout.h"
#include "core/image/palette.h"
#include "windows/view/palette_win32.h"
#include "core/layout/view_layout.h"
#include "windows/view/view_win32.h"
#include "core/dsp/column_renderer.h"
#include "resources/resource.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl::e2e {
namespace {

constexpr int kColumns = 2000;          // wider than any image area: scrolls horizontally
constexpr int kFftOrder = 10;           // 512 frequency rows: scrolls vertically in the default window
constexpr int kRows = 512 + kMarginRows;
constexpr UINT kRunOnWindowThread = WM_APP + 0x4C;

// The pattern: every pixel's index depends on its column and row, so a view shown at the
// wrong offset, or a margin that moved, has the wrong colours. The margin uses indices of
// its own range.
uint8_t PatternIndex(int x, int y) {
  if (y < kMarginRows) return static_cast<uint8_t>(4 + (x / 3 + 7 * y) % 50);
  return static_cast<uint8_t>(4 + (x + 2 * y) % 232);
}

// ---------------------------------------------------------------------------
// Work on the window's own thread: the view's state and GDI objects belong to it.

WNDPROC originalProc = nullptr;

LRESULT CALLBACK RunnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunOnWindowThread) {
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 1;
  }
  return CallWindowProcA(originalProc, window, message, wParam, lParam);
}

bool InstallRunner(HWND window) {
  originalProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RunnerProc)));
  return originalProc != nullptr;
}

// Runs `work` on the window's thread and waits for it to finish.
bool OnWindowThread(HWND window, const std::function<void()>& work) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, kRunOnWindowThread, 0, reinterpret_cast<LPARAM>(&work), SMTO_NORMAL,
                             kWaitMs, &result) != 0 &&
         result == 1;
}

uint32_t Rgb(const RGBQUAD& q) {
  return (static_cast<uint32_t>(q.rgbRed) << 16) | (static_cast<uint32_t>(q.rgbGreen) << 8) | q.rgbBlue;
}
uint32_t Rgb(const PaletteEntry& e) {
  return (static_cast<uint32_t>(e.red) << 16) | (static_cast<uint32_t>(e.green) << 8) | e.blue;
}

// What the view shows: offsets, sizes and the bitmap's colour table, read on its thread.
struct ViewSnapshot {
  int imageWidth = 0, imageHeight = 0;
  int horizontalOffset = 0, horizontalRange = 0;
  int verticalOffset = 0, verticalRange = 0;
  std::vector<uint32_t> colours;  // the DIB's colour table, 0x00RRGGBB
};

class DisplayView : public MainWindowSuite {
 protected:
  static void SetUpTestSuite() {
    MainWindowSuite::SetUpTestSuite();
    if (started_) started_ = InstallRunner(ui_->window());
  }
  void SetUp() override {
    MainWindowSuite::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(ui_->Flush());
  }

  // Repaints the whole window now, as WM_PAINT would.
  static bool Repaint() {
    return OnWindowThread(window(), [] {
      RedrawWindow(window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    });
  }

  static bool Snapshot(ViewSnapshot& s) {
    return OnWindowThread(window(), [&s] {
      const ViewState& v = View();
      s.imageWidth = v.imageWidth;
      s.imageHeight = v.imageHeight;
      s.horizontalOffset = v.horizontalOffset;
      s.horizontalRange = v.horizontalRange;
      s.verticalOffset = v.verticalOffset;
      s.verticalRange = v.verticalRange;
      RGBQUAD table[256] = {};
      const UINT got = Display().exists() ? GetDIBColorTable(Display().dc, 0, 256, table) : 0;
      s.colours.clear();
      for (UINT i = 0; i < got; ++i) s.colours.push_back(Rgb(table[i]));
    });
  }

  // The image area as it is on the screen now.
  static bool CaptureImageArea(const ViewSnapshot& s, Capture& shot) {
    POINT origin{0, 0};
    ClientToScreen(window(), &origin);
    GdiFlush();
    const RECT area{origin.x, origin.y, origin.x + s.imageWidth, origin.y + s.imageHeight};
    return CaptureScreen(area, shot);
  }

  // Every pixel of the image area against the colour of the pattern's index at the view's
  // offsets: margin rows from bitmap row y, frequency rows from vertical offset + y. Rows 21
  // and 43 may also carry the margin's lines (index 2 and 1), which a redraw of the view
  // for other commands puts across the image area.
  static ::testing::AssertionResult ShowsPattern(const ViewSnapshot& s, const Capture& shot) {
    if (shot.width != s.imageWidth || shot.height != s.imageHeight || s.colours.size() != 256u) {
      return ::testing::AssertionFailure() << "capture " << shot.width << " x " << shot.height << ", image area "
                                           << s.imageWidth << " x " << s.imageHeight << ", colour table of "
                                           << s.colours.size();
    }
    int wrong = 0;
    std::ostringstream first;
    for (int y = 0; y < s.imageHeight; ++y) {
      const int row = y < kMarginRows ? y : s.verticalOffset + y;
      for (int x = 0; x < s.imageWidth; ++x) {
        const uint8_t index = PatternIndex(s.horizontalOffset + x, row);
        const uint32_t want = s.colours[index];
        const bool line = (y == kEnvelopeCentreRow && shot.at(x, y) == s.colours[kIndexEnvelope]) ||
                          (y == kSeparatorRow && shot.at(x, y) == s.colours[kIndexSeparator]);
        if (shot.at(x, y) != want && !line && wrong++ == 0) {
          first << "first at (" << x << ", " << y << "): 0x" << std::hex << shot.at(x, y) << ", want 0x" << want
                << " (index " << std::dec << int(index) << ")";
        }
      }
    }
    if (wrong == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " pixels differ; " << first.str() << "; offsets "
                                         << s.horizontalOffset << ", " << s.verticalOffset;
  }

  // Waits for the screen to show the pattern at the present offsets (Wine hands a window's
  // drawing to the X server a moment after it is made).
  static ::testing::AssertionResult ScreenShowsPattern() {
    ViewSnapshot s;
    if (!Snapshot(s)) return ::testing::AssertionFailure() << "could not read the view";
    Capture shot;
    ::testing::AssertionResult last = ::testing::AssertionFailure() << "no capture";
    WaitUntil([&] {
      if (!CaptureImageArea(s, shot)) return false;
      last = ShowsPattern(s, shot);
      return static_cast<bool>(last);
    });
    return last;
  }

  static void SaveScreenshot(const std::string& name) {
    RECT outer;
    GetWindowRect(window(), &outer);
    Capture shot;
    if (CaptureScreen(outer, shot)) WriteBmp(shot, ArtifactFolder() + "\\" + name + ".bmp");
  }

  static bool BitmapHoldsPattern() {
    const DisplayBitmap& d = Display();
    if (!d.exists() || d.width != kColumns || d.height != kRows) return false;
    for (int y = 0; y < d.height; ++y) {
      for (int x = 0; x < d.width; ++x) {
        if (d.bits[static_cast<size_t>(y) * d.stride + x] != PatternIndex(x, y)) return false;
      }
    }
    return true;
  }

  // The 236 colours palette indices stand for with `scheme` at `attenuation`.
  static std::vector<uint32_t> Expected(PaletteScheme scheme, int attenuation) {
    const auto entries = PaletteEntries(BuildSourceTable(scheme), PaletteOffset(attenuation));
    std::vector<uint32_t> colours;
    for (const PaletteEntry& e : entries) colours.push_back(Rgb(e));
    return colours;
  }

  static inline int allocationsBefore_ = 0;
};

// Posts a scroll-bar action to the main window as the bar itself would send it.
bool PostScroll(HWND window, bool horizontal, WORD code, int position = 0) {
  HWND bar = horizontal ? MainWindow().horizontalScrollBar : MainWindow().verticalScrollBar;
  return PostMessageA(window, horizontal ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(code, position),
                      reinterpret_cast<LPARAM>(bar)) != 0;
}

TEST_F(DisplayView, DisplayBitmapIsAnEightBitTopDownDibCountedOnce) {
  DIBSECTION section{};
  int objectBytes = 0, countWhileHeld = 0, countAfter = 0, stride = 0;
  COLORREF topLeft = 0, bottomLeft = 0, secondRow = 0;
  RGBQUAD table[256] = {};
  allocationsBefore_ = AllocationCount();
  ASSERT_TRUE(OnWindowThread(window(), [&] {
    if (!CreateDisplayBitmap(window(), 1283, 300)) return;
    DisplayBitmap& d = Display();
    countWhileHeld = AllocationCount();
    stride = d.stride;
    objectBytes = GetObjectA(d.bitmap, sizeof section, &section);
    GetDIBColorTable(d.dc, 0, 256, table);
    // The first bytes are the top row, and row y starts at y x stride.
    d.bits[0] = 5;
    d.bits[d.stride] = 6;
    d.bits[static_cast<size_t>(299) * d.stride] = 7;
    GdiFlush();
    topLeft = GetPixel(d.dc, 0, 0);
    secondRow = GetPixel(d.dc, 0, 1);
    bottomLeft = GetPixel(d.dc, 0, 299);
    DestroyDisplayBitmap();
    countAfter = AllocationCount();
  }));
  ASSERT_EQ(objectBytes, static_cast<int>(sizeof section)) << "not a DIB section";
  EXPECT_EQ(section.dsBm.bmBitsPixel, 8);
  EXPECT_EQ(section.dsBmih.biWidth, 1283);
  EXPECT_EQ(stride, 1284);
  EXPECT_EQ(section.dsBm.bmWidthBytes, 1284);
  auto colourRef = [&](int index) { return RGB(table[index].rgbRed, table[index].rgbGreen, table[index].rgbBlue); };
  EXPECT_EQ(topLeft, colourRef(5));
  EXPECT_EQ(secondRow, colourRef(6));
  EXPECT_EQ(bottomLeft, colourRef(7));
  const std::vector<uint32_t> cb = Expected(PaletteScheme::CB, 0);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(Rgb(table[i]), i < kPaletteSize ? cb[i] : 0u) << "colour table entry " << i;
  }
  EXPECT_EQ(countWhileHeld, allocationsBefore_ + 1);
  EXPECT_EQ(countAfter, allocationsBefore_);
  EXPECT_FALSE(Display().exists());
}

TEST_F(DisplayView, PaintShowsTheBitmapThroughItsColourTable) {
  bool created = false;
  ASSERT_TRUE(OnWindowThread(window(), [&] {
    AnalysisSettings& settings = Settings();
    settings.fftSize = FftSize::Fft1024;
    settings.timeScaleMs = 12.0f;
    settings.displayType = DisplayType::Scroll;
    AnalysisState& a = Analysis();
    a.format.sampleRate = 11025;
    a.format.bitsPerSample = 16;
    a.columnCount = kColumns;
    a.imageStartMs = 0.0f;
    created = CreateDisplayBitmap(window(), kColumns, kRows);
    if (!created) return;
    DisplayBitmap& d = Display();
    for (int y = 0; y < d.height; ++y) {
      for (int x = 0; x < d.width; ++x) d.bits[static_cast<size_t>(y) * d.stride + x] = PatternIndex(x, y);
    }
    GdiFlush();
  }));
  ASSERT_TRUE(created) << "CreateDisplayBitmap failed";
  ASSERT_TRUE(Repaint());

  ViewSnapshot s;
  ASSERT_TRUE(Snapshot(s));
  // The colour table is the palette as loaded: CB at 0 dB, 236..255 unused and black.
  const std::vector<uint32_t> cb = Expected(PaletteScheme::CB, 0);
  ASSERT_EQ(s.colours.size(), 256u);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(s.colours[i], i < kPaletteSize ? cb[i] : 0u) << "colour table entry " << i;
  }
  // A wide image starts at its first column; the frequency view, which could not scroll
  // before, starts at the bottom rows.
  EXPECT_EQ(s.horizontalRange, kColumns - s.imageWidth);
  EXPECT_EQ(s.horizontalOffset, 0);
  EXPECT_EQ(s.verticalRange, 512 - s.imageHeight + kMarginRows);
  EXPECT_EQ(s.verticalOffset, s.verticalRange);
  EXPECT_TRUE(ScreenShowsPattern());
  SaveScreenshot("view_pattern");
}

TEST_F(DisplayView, HorizontalThumbAndLineStepsMoveTheViewAtOnce) {
  ASSERT_TRUE(PostScroll(window(), true, SB_THUMBPOSITION, 700));
  ASSERT_TRUE(ui_->Flush());
  ViewSnapshot s;
  ASSERT_TRUE(Snapshot(s));
  EXPECT_EQ(s.horizontalOffset, 700);
  EXPECT_EQ(GetScrollPos(MainWindow().horizontalScrollBar, SB_CTL), 700);
  EXPECT_TRUE(ScreenShowsPattern());

  ASSERT_TRUE(PostScroll(window(), true, SB_LINEDOWN));
  ASSERT_TRUE(PostScroll(window(), true, SB_PAGEDOWN));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(Snapshot(s));
  EXPECT_EQ(s.horizontalOffset, 804);
  EXPECT_TRUE(ScreenShowsPattern());

  // Past the end: clamped to the range.
  ASSERT_TRUE(PostScroll(window(), true, SB_THUMBPOSITION, 60000));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(Snapshot(s));
  EXPECT_EQ(s.horizontalOffset, s.horizontalRange);
  EXPECT_TRUE(ScreenShowsPattern());
}

TEST_F(DisplayView, VerticalScrollingMovesTheFrequencyRowsAndKeepsTheMargin) {
  ASSERT_TRUE(PostScroll(window(), true, SB_THUMBPOSITION, 300));
  ASSERT_TRUE(ui_->Flush());
  ViewSnapshot before;
  ASSERT_TRUE(Snapshot(before));
  ASSERT_TRUE(ScreenShowsPattern());
  Capture first;
  ASSERT_TRUE(CaptureImageArea(before, first));

  ASSERT_TRUE(PostScroll(window(), false, SB_PAGEUP));
  ASSERT_TRUE(ui_->Flush());
  ViewSnapshot after;
  ASSERT_TRUE(Snapshot(after));
  EXPECT_EQ(after.verticalOffset, before.verticalOffset - 100);
  EXPECT_EQ(GetScrollPos(MainWindow().verticalScrollBar, SB_CTL), after.verticalOffset);
  EXPECT_TRUE(ScreenShowsPattern());
  Capture second;
  ASSERT_TRUE(CaptureImageArea(after, second));
  for (int y = 0; y < kMarginRows; ++y) {
    for (int x = 0; x < after.imageWidth; ++x) {
      ASSERT_EQ(second.at(x, y), first.at(x, y)) << "margin pixel (" << x << ", " << y << ") changed";
    }
  }
  // The frequency rows did move: row 44 now shows what was 100 rows higher up the image.
  int moved = 0;
  for (int x = 0; x < after.imageWidth; ++x) moved += second.at(x, kMarginRows) != first.at(x, kMarginRows);
  EXPECT_GT(moved, after.imageWidth / 2);

  ASSERT_TRUE(PostScroll(window(), false, SB_LINEDOWN));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(Snapshot(after));
  EXPECT_EQ(after.verticalOffset, before.verticalOffset - 96);
  EXPECT_TRUE(ScreenShowsPattern());
}

TEST_F(DisplayView, PageUpAtOffset50LandsAt0) {
  ASSERT_TRUE(PostScroll(window(), false, SB_THUMBPOSITION, 50));
  ASSERT_TRUE(ui_->Flush());
  ViewSnapshot s;
  ASSERT_TRUE(Snapshot(s));
  ASSERT_EQ(s.verticalOffset, 50);
  ASSERT_TRUE(PostScroll(window(), false, SB_PAGEUP));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(Snapshot(s));
  EXPECT_EQ(s.verticalOffset, 0);
  EXPECT_EQ(GetScrollPos(MainWindow().verticalScrollBar, SB_CTL), 0);
  EXPECT_TRUE(ScreenShowsPattern());
  // A further step up stays at 0.
  ASSERT_TRUE(PostScroll(window(), false, SB_LINEUP));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(Snapshot(s));
  EXPECT_EQ(s.verticalOffset, 0);
}

TEST_F(DisplayView, GridOnDrawsCrossesWhereTheArithmeticPutsThemAndGridOffTakesThemAway) {
  ASSERT_TRUE(PostScroll(window(), false, SB_THUMBPOSITION, 120));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_EQ(Mode().gridOn, 0);
  ASSERT_TRUE(ScreenShowsPattern());

  ASSERT_TRUE(ui_->PostCommand(IDB_TOGGLE_GRID));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_EQ(Mode().gridOn, 1);
  ViewSnapshot s;
  ASSERT_TRUE(Snapshot(s));
  GridInputs in;
  in.bitmapExists = true;
  in.timeScaleMs = 12.0f;
  in.horizontalPosition = s.horizontalOffset;
  in.sampleRate = 11025;
  in.fftOrder = kFftOrder;
  in.verticalOffset = s.verticalOffset;
  in.verticalScrollOn = true;
  in.width = s.imageWidth;
  in.height = s.imageHeight;
  in.charWidth = MainWindow().metrics.charWidth;
  in.charHeight = MainWindow().metrics.charHeight;
  const GridLayout grid = ComputeGrid(in);
  ASSERT_GE(grid.crosses.size(), 4u);

  const uint32_t cross = s.colours[kIndexMarker];
  Capture shot;
  bool drawn = WaitUntil([&] {
    if (!CaptureImageArea(s, shot)) return false;
    for (const GridPoint& p : grid.crosses) {
      for (int d = -5; d <= 5; ++d) {
        if (shot.at(p.x, p.y + d) != cross || shot.at(p.x + d, p.y) != cross) return false;
      }
    }
    return true;
  });
  SaveScreenshot("view_grid");
  ASSERT_TRUE(drawn) << "no 11-pixel cross in the marker colour at every computed position";
  // Only the crosses (and labels) changed: a pixel just off a cross's arm is the image's.
  for (const GridPoint& p : grid.crosses) {
    const int x = p.x + 1, y = p.y + 2;
    EXPECT_EQ(shot.at(x, y), s.colours[PatternIndex(s.horizontalOffset + x, s.verticalOffset + y)])
        << "beside the cross at (" << p.x << ", " << p.y << ")";
  }
  // Each label leaves some pixels in the marker colour inside its text.
  const int ch = in.charHeight;
  for (const GridLabel& label : grid.labels) {
    int marked = 0;
    for (int y = label.y; y < label.y + ch && y < s.imageHeight; ++y) {
      for (int x = label.x < 0 ? 0 : label.x; x < label.x + 3 * in.charWidth && x < s.imageWidth; ++x) {
        marked += shot.at(x, y) == cross;
      }
    }
    EXPECT_GT(marked, 0) << "label \"" << label.text << "\" at (" << label.x << ", " << label.y << ")";
  }

  // Scrolling with the grid on redraws the grid over the new view.
  ASSERT_TRUE(PostScroll(window(), true, SB_LINEDOWN));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(Snapshot(s));
  in.horizontalPosition = s.horizontalOffset;
  const GridLayout moved = ComputeGrid(in);
  ASSERT_FALSE(moved.crosses.empty());
  EXPECT_TRUE(WaitUntil([&] {
    if (!CaptureImageArea(s, shot)) return false;
    const GridPoint& p = moved.crosses.front();
    return shot.at(p.x, p.y) == cross && shot.at(p.x, p.y - 5) == cross && shot.at(p.x + 5, p.y) == cross;
  }));

  ASSERT_TRUE(ui_->PostCommand(IDB_TOGGLE_GRID));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(Mode().gridOn, 0);
  EXPECT_TRUE(ScreenShowsPattern()) << "the grid is still on screen after it was turned off";
}

// Over the whole bitmap (as the entire-image export draws it) the crosses and labels land in
// the bitmap itself, as palette index 0, from its first column and bottom row.
TEST_F(DisplayView, GridOverTheWholeBitmapWritesTheMarkerIndex) {
  std::vector<uint8_t> marked;
  bool drawn = false;
  ASSERT_TRUE(OnWindowThread(window(), [&] {
    DisplayBitmap& d = Display();
    if (!d.exists()) return;
    const std::vector<uint8_t> kept(d.bits, d.bits + static_cast<size_t>(d.stride) * d.height);
    Mode().gridOn = 1;
    DrawGrid(d.dc, true);
    Mode().gridOn = 0;
    GdiFlush();
    marked.assign(d.bits, d.bits + static_cast<size_t>(d.stride) * d.height);
    std::copy(kept.begin(), kept.end(), d.bits);
    drawn = true;
  }));
  ASSERT_TRUE(drawn);
  GridInputs in;
  in.bitmapExists = true;
  in.wholeBitmap = true;
  in.timeScaleMs = 12.0f;
  in.horizontalPosition = 500;  // ignored over the whole bitmap
  in.verticalOffset = 77;       // likewise
  in.sampleRate = 11025;
  in.fftOrder = kFftOrder;
  in.verticalScrollOn = true;
  in.width = kColumns;
  in.height = kRows;
  in.charWidth = MainWindow().metrics.charWidth;
  in.charHeight = MainWindow().metrics.charHeight;
  const GridLayout grid = ComputeGrid(in);
  ASSERT_GT(grid.crosses.size(), 20u);
  const int stride = Display().stride;
  auto at = [&](int x, int y) { return marked[static_cast<size_t>(y) * stride + x]; };
  for (const GridPoint& p : grid.crosses) {
    for (int d = -5; d <= 5; ++d) {
      ASSERT_EQ(at(p.x, p.y + d), kIndexMarker) << "cross at (" << p.x << ", " << p.y << ")";
      ASSERT_EQ(at(p.x + d, p.y), kIndexMarker) << "cross at (" << p.x << ", " << p.y << ")";
    }
    EXPECT_EQ(at(p.x + 1, p.y + 1), PatternIndex(p.x + 1, p.y + 1)) << "beside (" << p.x << ", " << p.y << ")";
  }
  // Nothing but crosses and label text changed, and only to index 0.
  size_t changed = 0;
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kColumns; ++x) {
      if (at(x, y) != PatternIndex(x, y)) {
        ++changed;
        ASSERT_EQ(at(x, y), kIndexMarker) << "pixel (" << x << ", " << y << ")";
      }
    }
  }
  EXPECT_GT(changed, grid.crosses.size() * 21) << "no label text was drawn";
  EXPECT_TRUE(BitmapHoldsPattern());
}

TEST_F(DisplayView, ColorsTryItRecoloursTheImageAndCancelRestoresIt) {
  ASSERT_TRUE(ScreenShowsPattern());
  ASSERT_TRUE(ui_->PostCommand(IDM_COLORS_CHANGE));
  HWND dialog = WaitForDialog("Modify Colors");
  ASSERT_NE(dialog, nullptr) << "the Colors dialog did not open";
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), window());
  // Centred on the screen, 30 pixels above the middle.
  RECT r;
  ASSERT_TRUE(GetWindowRect(dialog, &r));
  const int width = r.right - r.left, height = r.bottom - r.top;
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2 - 30);
  std::string text;
  ASSERT_TRUE(ReadWindowText(GetDlgItem(dialog, IDC_ATTENUATION), text));
  EXPECT_EQ(text, "0");
  EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IDC_PALETTE_CB), BM_GETCHECK, 0, 0), BST_CHECKED);
  // Out of the way of the image area, so that the screen shows the image.
  ASSERT_TRUE(SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));

  // BW and three steps of attenuation: stored, shown in the dialog, not yet on the image.
  ASSERT_TRUE(PostMessageA(GetDlgItem(dialog, IDC_PALETTE_BW), BM_CLICK, 0, 0));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(PostMessageA(dialog, WM_HSCROLL, SB_LINERIGHT,
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_ATTENUATION_BAR))));
  }
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(ReadWindowText(GetDlgItem(dialog, IDC_ATTENUATION), text));
  EXPECT_EQ(text, "3");
  EXPECT_EQ(GetScrollPos(GetDlgItem(dialog, IDC_ATTENUATION_BAR), SB_CTL), 3);
  EXPECT_EQ(Settings().attenuation, 3);
  EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IDC_PALETTE_BW), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IDC_PALETTE_CB), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  ViewSnapshot s;
  ASSERT_TRUE(Snapshot(s));
  EXPECT_EQ(s.colours[100], Expected(PaletteScheme::CB, 0)[100]) << "recoloured before Try It";

  // Try It: the colour table is BW at 3 dB, the screen follows, the indices stay.
  ASSERT_TRUE(PostMessageA(GetDlgItem(dialog, IDC_TRY_IT), BM_CLICK, 0, 0));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(IsWindow(dialog)) << "Try It closed the dialog";
  ASSERT_TRUE(Snapshot(s));
  const std::vector<uint32_t> bw = Expected(PaletteScheme::BW, 3);
  for (int i = 0; i < kPaletteSize; ++i) ASSERT_EQ(s.colours[i], bw[i]) << "colour table entry " << i;
  EXPECT_TRUE(ScreenShowsPattern());
  SaveScreenshot("view_colors_bw");
  EXPECT_TRUE(BitmapHoldsPattern()) << "a palette index changed";

  // Cancel: the scheme and attenuation the dialog opened with, and their colours.
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_CANCEL));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(Settings().attenuation, 0);
  EXPECT_EQ(Settings().palette, PaletteScheme::CB);
  EXPECT_EQ(Drawing().scheme, PaletteScheme::CB);
  ASSERT_TRUE(Snapshot(s));
  const std::vector<uint32_t> cb = Expected(PaletteScheme::CB, 0);
  for (int i = 0; i < kPaletteSize; ++i) ASSERT_EQ(s.colours[i], cb[i]) << "colour table entry " << i;
  EXPECT_TRUE(ScreenShowsPattern());
  EXPECT_TRUE(BitmapHoldsPattern());
}

TEST_F(DisplayView, ColorsOkKeepsTheChoiceAndEscapeCancels) {
  ASSERT_TRUE(ui_->PostCommand(IDM_COLORS_CHANGE));
  HWND dialog = WaitForDialog("Modify Colors");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  ASSERT_TRUE(PostMessageA(GetDlgItem(dialog, IDC_PALETTE_WB), BM_CLICK, 0, 0));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(Drawing().scheme, PaletteScheme::WB);
  ViewSnapshot s;
  ASSERT_TRUE(Snapshot(s));
  EXPECT_EQ(s.colours[kIndexFloor], Expected(PaletteScheme::WB, 0)[kIndexFloor]);
  EXPECT_TRUE(ScreenShowsPattern());

  // Escape reaches the modeless dialog through the window's message loop and cancels it.
  ASSERT_TRUE(ui_->PostCommand(IDM_COLORS_CHANGE));
  dialog = WaitForDialog("Modify Colors");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PostMessageA(GetDlgItem(dialog, IDC_PALETTE_CG), BM_CLICK, 0, 0));
  ASSERT_TRUE(PostMessageA(GetDlgItem(dialog, IDC_TRY_IT), BM_CLICK, 0, 0));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(Drawing().scheme, PaletteScheme::CG);
  HWND focus = GetDlgItem(dialog, IDC_PALETTE_CG);
  ASSERT_TRUE(PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); })) << "Escape did not close the dialog";
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(Drawing().scheme, PaletteScheme::WB);

  // Back to the start-up colours for the tests that follow.
  ASSERT_TRUE(OnWindowThread(window(), [] {
    Settings().palette = PaletteScheme::CB;
    Drawing().scheme = PaletteScheme::CB;
    LoadPalette(window(), PaletteOffset(0));
  }));
  ASSERT_TRUE(Snapshot(s));
  EXPECT_EQ(s.colours[kIndexFloor], Expected(PaletteScheme::CB, 0)[kIndexFloor]);
}

TEST_F(DisplayView, ResizingKeepsTheWindowWithinTheFftSizesLimitsAndLaysOutTheChildren) {
  const WindowSizes sizes = MainWindow().sizes;
  const ScreenMetrics metrics = MainWindow().metrics;
  RECT r;
  ASSERT_TRUE(GetWindowRect(window(), &r));
  const int width = r.right - r.left;
  ViewSnapshot before;
  ASSERT_TRUE(Snapshot(before));
  ASSERT_GT(before.verticalRange, 0);

  // 128 rows taller: the image area grows with the window, the frequency view keeps the
  // fraction of the way it was scrolled, and the window is centred on the screen.
  ASSERT_TRUE(SetWindowPos(window(), nullptr, 0, 0, width, sizes.defaultHeight + 128, SWP_NOMOVE | SWP_NOZORDER));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(Repaint());
  ASSERT_TRUE(GetWindowRect(window(), &r));
  EXPECT_EQ(r.bottom - r.top, sizes.defaultHeight + 128);
  EXPECT_EQ(r.top, std::max(0, (metrics.screenHeight - (sizes.defaultHeight + 128)) / 2));
  EXPECT_EQ(r.left, std::max(0, (metrics.screenWidth - width) / 2));
  RECT client;
  ASSERT_TRUE(GetClientRect(window(), &client));
  const ChildLayout l = ResizedChildLayout(metrics, r.right - r.left, r.bottom - r.top, client.right);
  ViewSnapshot after;
  ASSERT_TRUE(Snapshot(after));
  EXPECT_EQ(after.imageHeight, 300 + 128);
  EXPECT_EQ(after.imageHeight, l.imageAreaHeight);
  EXPECT_EQ(after.verticalRange, 512 - l.imageAreaHeight + kMarginRows);
  EXPECT_EQ(after.verticalOffset, KeepFraction(before.verticalOffset, before.verticalRange, after.verticalRange));
  const Rect children[] = {l.horizontalScrollBar, l.verticalScrollBar, l.stop};
  const HWND handles[] = {MainWindow().horizontalScrollBar, MainWindow().verticalScrollBar, MainWindow().stopButton};
  for (int i = 0; i < 3; ++i) {
    RECT c;
    ASSERT_TRUE(GetWindowRect(handles[i], &c));
    MapWindowPoints(nullptr, window(), reinterpret_cast<POINT*>(&c), 2);
    EXPECT_EQ((Rect{c.left, c.top, c.right - c.left, c.bottom - c.top}), children[i]) << "child " << i;
  }
  EXPECT_TRUE(ScreenShowsPattern());
  SaveScreenshot("view_taller");

  // Much taller than 1024 points can use: held at the default height + 256.
  ASSERT_TRUE(SetWindowPos(window(), nullptr, 0, 0, width, sizes.defaultHeight + 1000, SWP_NOMOVE | SWP_NOZORDER));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(Repaint());
  ASSERT_TRUE(GetWindowRect(window(), &r));
  EXPECT_EQ(r.bottom - r.top, WindowHeightLimit(sizes.defaultHeight, metrics.screenHeight, kFftOrder));
  ASSERT_TRUE(Snapshot(after));
  EXPECT_EQ(after.verticalRange, std::max(0, 512 - after.imageHeight + kMarginRows));
  EXPECT_TRUE(ScreenShowsPattern());

  // Narrower than 82 C and as low as the default: raised to 82 C, or to the width the texts
  // under the image need.
  ASSERT_TRUE(SetWindowPos(window(), nullptr, 0, 0, 300, sizes.defaultHeight, SWP_NOMOVE | SWP_NOZORDER));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(Repaint());
  ASSERT_TRUE(GetWindowRect(window(), &r));
  EXPECT_EQ(r.right - r.left, std::max(sizes.defaultWidth, MainWindow().textMinimumWidth));
  EXPECT_EQ(r.bottom - r.top, sizes.defaultHeight);
  EXPECT_TRUE(ScreenShowsPattern());
}

// Last: the bitmap goes, its block is uncounted, and the window closes cleanly.
TEST_F(DisplayView, ReleasingTheBitmapAndClosing) {
  ASSERT_TRUE(OnWindowThread(window(), [] {
    DestroyDisplayBitmap();
    Analysis().columnCount = 0;
  }));
  EXPECT_EQ(AllocationCount(), allocationsBefore_);
  ASSERT_TRUE(Repaint());
  // Without a bitmap the image area is palette index 3 all over.
  ViewSnapshot s;
  ASSERT_TRUE(Snapshot(s));
  const uint32_t floor = Expected(PaletteScheme::CB, 0)[kIndexFloor];
  Capture shot;
  EXPECT_TRUE(WaitUntil([&] {
    if (!CaptureImageArea(s, shot)) return false;
    for (uint32_t p : shot.pixels) {
      if (p != floor) return false;
    }
    return true;
  }));

  ASSERT_TRUE(ui_->Post(WM_CLOSE));
  int loopResult = -1;
  ASSERT_TRUE(ui_->WaitForExit(loopResult));
  EXPECT_EQ(loopResult, 0);
  EXPECT_EQ(AllocationCount(), 0);
}

}  // namespace
}  // namespace hl::e2e
