// The status block and the mouse over an analysed image, in the running window: a file with a
// 2 kHz tone from 1 s to 2 s is analysed, the pointer is moved over the tone and over the
// margin, and the values and the texts the status block shows are checked; a left drag opens
// the parameters dialog with the dragged span, a click opens nothing, and a right drag leaves
// the image as it was. One window for the suite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "windows/program/main_window_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/layout/grid_layout.h"
#include "windows/view/palette_win32.h"
#include "core/layout/readout.h"
#include "windows/view/readout_win32.h"
#include "windows/view/scope_axes_win32.h"
#include "windows/view/view_win32.h"
#include "core/dsp/column_renderer.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl::e2e {
namespace {

constexpr char kParametersCaption[] = "Choose Analysis Parameters";
constexpr uint32_t kRate = 11025;
constexpr double kToneHz = 2000.0;
constexpr double kToneStartS = 1.0, kToneEndS = 2.0, kFileS = 3.0;

// ---------------------------------------------------------------------------
// The test file: 16-bit mono, silence, the tone at half of full scale, silence.

void PutU16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(std::vector<uint8_t>& b, uint32_t v) {
  PutU16(b, v & 0xFFFF);
  PutU16(b, v >> 16);
}
void PutTag(std::vector<uint8_t>& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

std::vector<uint8_t> ToneBurstWave() {
  const uint32_t frames = static_cast<uint32_t>(kFileS * kRate);
  std::vector<uint8_t> b;
  PutTag(b, "RIFF");
  PutU32(b, 36 + frames * 2);
  PutTag(b, "WAVE");
  PutTag(b, "fmt ");
  PutU32(b, 16);
  PutU16(b, 1);
  PutU16(b, 1);
  PutU32(b, kRate);
  PutU32(b, kRate * 2);
  PutU16(b, 2);
  PutU16(b, 16);
  PutTag(b, "data");
  PutU32(b, frames * 2);
  const double pi = std::acos(-1.0);
  for (uint32_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double v = (t >= kToneStartS && t < kToneEndS) ? 0.5 * std::sin(2 * pi * kToneHz * t) : 0.0;
    PutU16(b, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767))));
  }
  return b;
}

std::string ToneBurstFile() {
  char base[MAX_PATH] = {};
  GetTempPathA(sizeof base, base);
  const std::string path = std::string(base) + "hl-readout-e2e-" + std::to_string(GetCurrentProcessId()) + ".wav";
  const std::vector<uint8_t> bytes = ToneBurstWave();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  DWORD wrote = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
                  wrote == bytes.size();
  CloseHandle(file);
  return ok ? path : std::string();
}

// ---------------------------------------------------------------------------
// The screen.

// The client area of `window` as it is on the screen now.
bool CaptureClient(HWND window, Capture& capture) {
  RECT client;
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  const RECT area{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  return CaptureScreen(area, capture);
}

// The format of a 32-bit bitmap of `width` x `height` whose rows run top to bottom.
BITMAPINFO TopDownRgb32(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// `text` as the status block draws it into a field of `width` x `height`, through the window's
// own field drawing into a bitmap compatible with the window: rows top to bottom, 0x00RRGGBB.
// The same font, colours and clipping as on the screen, whatever fonts the machine has.
std::vector<uint32_t> RenderedField(HWND window, const std::string& text, int width, int height) {
  std::vector<uint32_t> pixels;
  HDC windowDc = GetDC(window);
  HBITMAP bitmap = CreateCompatibleBitmap(windowDc, width, height);
  HDC dc = CreateCompatibleDC(windowDc);
  if (bitmap && dc) {
    HGDIOBJ old = SelectObject(dc, bitmap);
    DrawStatusField(dc, RECT{0, 0, width, height}, text);
    GdiFlush();
    SelectObject(dc, old);
    BITMAPINFO info = TopDownRgb32(width, height);
    pixels.resize(static_cast<size_t>(width) * height);
    if (GetDIBits(windowDc, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS) != height) pixels.clear();
    for (uint32_t& v : pixels) v &= 0x00FFFFFF;
  }
  if (dc) DeleteDC(dc);
  if (bitmap) DeleteObject(bitmap);
  ReleaseDC(window, windowDc);
  return pixels;
}

// The information panel's box where the window draws it, client coordinates.
RECT PanelBox() {
  InfoPanelLayout p{};
  OnWindowThread([&] { p = CurrentInfoPanel(0, 0, 0); });
  return RECT{p.x, p.y, p.x + p.width + 1, p.y + p.height + 1};
}

// The pixels of `area` in a capture of the client area.
std::vector<uint32_t> Pixels(const Capture& shot, const RECT& area) {
  std::vector<uint32_t> pixels;
  for (int y = area.top; y < area.bottom && y < shot.height; ++y) {
    for (int x = area.left; x < area.right && x < shot.width; ++x) pixels.push_back(shot.at(x, y));
  }
  return pixels;
}

enum class Row { Title, Time, Frequency };

StatusField FieldOf(Row row, bool label) {
  if (row == Row::Title) return StatusField::Title;
  if (row == Row::Time) return label ? StatusField::TimeLabel : StatusField::TimeValue;
  return label ? StatusField::FrequencyLabel : StatusField::FrequencyValue;
}

// Whether the status block's field of `row` (the title: its whole line) shows `text`: the
// window last wrote `text` there, and the screen over the field holds the pixels of the
// window's own drawing of it.
::testing::AssertionResult ShowsNow(HWND window, Row row, bool label, const std::string& text) {
  const MainWindowThread* ui = MainWindowThread::Current();
  ShownField shown{};
  if (!ui || !ui->RunHere([&] { shown = ShownStatusField(FieldOf(row, label)); })) {
    return ::testing::AssertionFailure() << "the window's thread did not answer";
  }
  if (shown.text != text) {
    return ::testing::AssertionFailure() << "the field holds \"" << shown.text << "\", not \"" << text << "\"";
  }
  const int width = shown.box.right - shown.box.left, height = shown.box.bottom - shown.box.top;
  if (width < MainWindow().metrics.charWidth) return ::testing::AssertionFailure() << "the field is hidden by the panel";
  const std::vector<uint32_t> expected = RenderedField(window, text, width, height);
  Capture shot;
  if (!CaptureClient(window, shot) || expected.empty()) return ::testing::AssertionFailure() << "no capture";
  int wrong = 0;
  for (int dy = 0; dy < height; ++dy) {
    for (int dx = 0; dx < width; ++dx) {
      if (shot.at(shown.box.left + dx, shown.box.top + dy) != expected[static_cast<size_t>(dy) * width + dx]) ++wrong;
    }
  }
  if (wrong) return ::testing::AssertionFailure() << wrong << " pixels differ from \"" << text << "\"";
  return ::testing::AssertionSuccess();
}

// Whether the window's thread has taken every message posted to it and has no paint pending.
// Its drawing reaches the screen only when the thread next waits for a message, a moment after
// that, so a check of the screen still polls.
bool WindowIdle(HWND window) {
  const MainWindowThread* ui = MainWindowThread::Current();
  if (!ui || !ui->Flush()) return false;
  bool pending = true;
  return ui->RunHere([&] { pending = GetUpdateRect(window, nullptr, FALSE) != 0; }) && !pending;
}

// The pointer itself moves with the posted input (see PostMouse), and the system reports its
// moves a little later than the posted messages arrive; both end at the same point. What the
// window shows is checked once its thread is idle, and polled until the screen has it: a loaded
// machine may take seconds, so only a text that stays wrong for the whole wait fails.
::testing::AssertionResult Shows(HWND window, Row row, bool label, const std::string& text) {
  ::testing::AssertionResult last = ::testing::AssertionFailure() << "the window did not become idle";
  WaitUntil([&] { return WindowIdle(window) && static_cast<bool>(last = ShowsNow(window, row, label, text)); });
  return last;
}

// A capture of the client area once `settled` holds for it (the last one after the wait).
bool CaptureWhen(HWND window, Capture& shot, const std::function<bool(const Capture&)>& settled) {
  bool captured = false;
  WaitUntil([&] { return (captured = CaptureClient(window, shot)) && settled(shot); });
  return captured;
}

// The client pixels once the window has settled: its thread idle and the screen unchanged over
// three captures in a row, at least 150 ms apart from first to last.
bool SettledCapture(HWND window, Capture& shot) {
  std::vector<uint32_t> previous;
  int alike = 0;
  DWORD firstAlike = 0;
  return WaitUntil([&] {
    if (!WindowIdle(window) || !CaptureClient(window, shot)) {
      alike = 0;
      return false;
    }
    if (alike > 0 && shot.pixels == previous) {
      ++alike;
    } else {
      alike = 1;
      firstAlike = GetTickCount();
      previous = shot.pixels;
    }
    return alike >= 3 && GetTickCount() - firstAlike >= 150;
  });
}

uint32_t Inverse(uint32_t rgb) { return ~rgb & 0x00FFFFFF; }

// ---------------------------------------------------------------------------
// Work on the window's own thread, where its GDI objects and state belong.

bool RunOnWindowThread(HWND, const std::function<void()>& work) { return OnWindowThread(work); }

// What the readout last read, taken on the window's thread.
ReadoutValues Readout() {
  ReadoutValues values;
  OnWindowThread([&] { values = CurrentReadout(); });
  return values;
}

// Sets the playback flag on the window's thread, as the transport does, and clears it again
// when the test ends however it ends.
class PlaybackFlag {
 public:
  PlaybackFlag() { ok_ = OnWindowThread([] { Mode().playbackActive = 1; }); }
  ~PlaybackFlag() { Clear(); }
  bool Clear() { return OnWindowThread([] { Mode().playbackActive = 0; }); }
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// A 32-bit drawing surface, filled with kPaper, of the window's thread, read back as 0x00RRGGBB.
struct Surface {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  uint32_t* bits = nullptr;
  int width = 0, height = 0;
  Surface(HWND window, int w, int h) : width(w), height(h) {
    BITMAPINFO info = TopDownRgb32(w, h);
    HDC windowDc = GetDC(window);
    void* p = nullptr;
    bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &p, nullptr, 0);
    dc = CreateCompatibleDC(windowDc);
    ReleaseDC(window, windowDc);
    bits = static_cast<uint32_t*>(p);
    if (!dc || !bitmap) return;
    old = SelectObject(dc, bitmap);
    SelectPalette(dc, Drawing().palette, FALSE);
    RealizePalette(dc);
    RECT all{0, 0, w, h};
    HBRUSH paper = CreateSolidBrush(RGB(1, 2, 3));
    FillRect(dc, &all, paper);
    DeleteObject(paper);
  }
  ~Surface() {
    if (dc) {
      SelectObject(dc, old);
      DeleteDC(dc);
    }
    if (bitmap) DeleteObject(bitmap);
  }
  bool ok() const { return dc && bitmap && bits; }
  uint32_t at(int x, int y) {
    GdiFlush();
    return bits[static_cast<size_t>(y) * width + x] & 0x00FFFFFF;
  }
};

constexpr uint32_t kPaper = 0x010203;

uint32_t Rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// ---------------------------------------------------------------------------

class ReadoutWindow : public MainWindowSuite {
 protected:
  static void SetUpTestSuite() {
    MainWindowSuite::SetUpTestSuite();
    if (started_) path_ = ToneBurstFile();
  }
  static void TearDownTestSuite() {
    MainWindowSuite::TearDownTestSuite();
    if (!path_.empty()) DeleteFileA(path_.c_str());
  }
  // Every test starts on the analysed tone burst, whichever ran before it.
  void SetUp() override {
    MainWindowSuite::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_FALSE(path_.empty()) << "the test file could not be written";
    ASSERT_TRUE(WaitForIdle());
    if (!ReadOnWindowThread([] { return Display().exists() && Analysis().columnCount == 246; })) {
      ASSERT_TRUE(AnalyseToneBurst());
    }
  }
  void TearDown() override {
    MainWindowSuite::TearDown();
    WaitForIdle();
  }

  // "&Analyze File" on the tone burst with the dialog's defaults, to the end of the render.
  static ::testing::AssertionResult AnalyseToneBurst() {
    if (!ui_->PostCommand(IDM_ANALYZE_FILE)) return ::testing::AssertionFailure() << "post failed";
    const std::string problem = Choose("Open WAV File", path_);
    if (!problem.empty()) return ::testing::AssertionFailure() << problem;
    HWND dialog = WaitForDialog(kParametersCaption);
    if (!dialog) return ::testing::AssertionFailure() << "no parameters dialog";
    if (!PressAndWaitUntilClosed(dialog, IDOK)) return ::testing::AssertionFailure() << "OK did not close it";
    if (!WaitForIdle()) return ::testing::AssertionFailure() << "the analysis did not end";
    return ::testing::AssertionSuccess();
  }
  static bool WaitForIdle() {
    return WaitUntil([] {
      return ReadOnWindowThread([] {
               const OperatingMode& m = Mode();
               return !m.fileAnalysisInProgress && !m.rendering;
             }) &&
             OpenDialogs().empty();
    }) && ui_->Flush();
  }
  static LPARAM At(int x, int y) { return MAKELPARAM(x, y); }
  // Posts a mouse message at client (x, y) with the pointer put there too, so that whatever
  // the system reports of the pointer itself (on capture, say) agrees with the posted input.
  static bool PostMouse(UINT message, int x, int y, WPARAM keys = 0) {
    POINT p{x, y};
    ClientToScreen(window(), &p);
    SetCursorPos(p.x, p.y);
    WaitUntil([&] {
      POINT now{};
      return GetCursorPos(&now) && now.x == p.x && now.y == p.y;
    });
    return ui_->Post(message, keys, At(x, y));
  }
  // Posts a mouse message and waits until the window has handled it.
  static bool Mouse(UINT message, int x, int y) {
    const WPARAM keys = message == WM_LBUTTONDOWN ? MK_LBUTTON : (message == WM_RBUTTONDOWN ? MK_RBUTTON : 0);
    return PostMouse(message, x, y, keys) && ui_->Flush();
  }
  // Drags the left button from x `from` to `to` on row 150 and returns the parameters dialog
  // (nullptr when none opened).
  static HWND LeftDrag(int from, int to) {
    PostMouse(WM_LBUTTONDOWN, from, 150, MK_LBUTTON);
    PostMouse(WM_MOUSEMOVE, (from + to) / 2, 150, MK_LBUTTON);
    PostMouse(WM_MOUSEMOVE, to, 150, MK_LBUTTON);
    PostMouse(WM_LBUTTONUP, to, 150);
    return WaitForDialog(kParametersCaption);
  }
  // The client pixels once the window has painted everything it was asked to.
  static bool Settled(Capture& shot) { return SettledCapture(window(), shot); }

  static inline std::string path_;
};

// The tone's row in a column: the frequency row holding the highest palette index.
int BrightestRow(int column) {
  const DisplayBitmap& d = Display();
  int best = -1, row = -1;
  for (int y = kMarginRows; y < d.height; ++y) {
    const int v = d.bits[static_cast<size_t>(y) * d.stride + column];
    if (v > best) {
      best = v;
      row = y;
    }
  }
  return row;
}

TEST_F(ReadoutWindow, AnalysedToneReadsItsTimeAndFrequency) {
  ASSERT_TRUE(AnalyseToneBurst());
  ASSERT_TRUE(Display().exists());
  // 33075 samples, 132 per column: (33075 - 512) / 132 = 246 columns, all in view.
  ASSERT_EQ(Analysis().columnCount, 246);
  ASSERT_EQ(View().horizontalOffset, 0);
  ASSERT_EQ(Settings().timeScaleMs, 12.0f);

  // The first column whose 512-sample frame (46.4 ms) reaches into the tone, found in the image.
  const int silentLevel = Display().bits[static_cast<size_t>(200) * Display().stride + 10];
  int onset = -1;
  for (int c = 0; c < 246 && onset < 0; ++c) {
    if (Display().bits[static_cast<size_t>(BrightestRow(c)) * Display().stride + c] > silentLevel + 40) onset = c;
  }
  ASSERT_GT(onset, 0) << "no tone in the image";
  const int column = onset + 20;  // well inside the tone
  const int row = BrightestRow(column);

  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, column, row));
  const ReadoutValues values = Readout();
  EXPECT_EQ(values.column, column);
  // The pointer on the tone reads the tone: within a bin (21.5 Hz) and the "+ -" (11 Hz).
  EXPECT_NEAR(static_cast<double>(values.frequencyHz), kToneHz, 21.6 + 11) << "row " << row;
  // The column's middle: 12 ms per column plus half a column.
  EXPECT_EQ(values.timeMs, static_cast<unsigned>(column * 12 + 6));
  // The onset column's frame ends inside the tone's first column: its middle is within a frame
  // length (46.4 ms) of the tone's start.
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, onset, row));
  EXPECT_NEAR(static_cast<double>(Readout().timeMs), kToneStartS * 1000, 46.4 + 6) << "onset " << onset;

  // The status block shows what was read, in the program's words.
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, column, row));
  const int r = FrequencyResolution(kRate, 9);
  ASSERT_EQ(r, 11);
  EXPECT_TRUE(Shows(window(), Row::Title, false, "Audio Analysis "));
  EXPECT_TRUE(Shows(window(), Row::Time, true, "Time (msec) :"));
  EXPECT_TRUE(Shows(window(), Row::Frequency, true, "Frequency (Hz) :"));
  EXPECT_TRUE(Shows(window(), Row::Time, false, TimeField(column * 12 + 6, 6)));
  EXPECT_TRUE(Shows(window(), Row::Frequency, false, FrequencyField(static_cast<int>(values.frequencyHz), r)));

  // Painting the window again draws the same status block.
  RedrawWindow(window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  ASSERT_TRUE(ui_->Flush());
  EXPECT_TRUE(Shows(window(), Row::Time, false, TimeField(column * 12 + 6, 6)));

  Capture shot;
  ASSERT_TRUE(Settled(shot));
  WriteBmp(shot, ArtifactFolder() + "\\readout-tone.bmp");
}

TEST_F(ReadoutWindow, MarginAndLeavingTheClientAreaBlankTheValues) {
  ASSERT_TRUE(Display().exists());
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 100, 150));
  ASSERT_TRUE(Shows(window(), Row::Time, false, TimeField(100 * 12 + 6, 6)));
  // Row 43 is the margin's last row, 44 the top frequency row.
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 100, 43));
  EXPECT_TRUE(Shows(window(), Row::Time, false, "00000 + - 00"));
  EXPECT_TRUE(Shows(window(), Row::Frequency, false, "00000 + - 00"));
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 101, 44));
  EXPECT_TRUE(Shows(window(), Row::Time, false, TimeField(101 * 12 + 6, 6)));
  EXPECT_TRUE(Shows(window(), Row::Frequency, false, FrequencyField(RowFrequency(kRate, 9, 44), 11)));
  EXPECT_EQ(Readout().frequencyHz, 5502u);  // bin 255: 5491 + 11
  // Onto the frame: the non-client handler blanks the values.
  RECT frame;
  GetWindowRect(window(), &frame);
  const POINT caption{(frame.left + frame.right) / 2, frame.top + GetSystemMetrics(SM_CYCAPTION) / 2};
  SetCursorPos(caption.x, caption.y);
  ASSERT_TRUE(ui_->Post(WM_NCMOUSEMOVE, HTCAPTION, MAKELPARAM(caption.x, caption.y)));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_TRUE(Shows(window(), Row::Time, false, "00000 + - 00"));
  EXPECT_TRUE(Shows(window(), Row::Frequency, false, "00000 + - 00"));
  // Below the image area (over the panel).
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 100, 150));
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 100, View().imageHeight + 30));
  EXPECT_TRUE(Shows(window(), Row::Frequency, false, "00000 + - 00"));
}

TEST_F(ReadoutWindow, ValuesNeverDrawOverTheInformationPanel) {
  ASSERT_TRUE(Display().exists());
  RedrawWindow(window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  Capture painted;
  ASSERT_TRUE(Settled(painted));
  const RECT panel = PanelBox();
  const std::vector<uint32_t> expected = Pixels(painted, panel);
  // The longest values: five-digit times and frequencies, and the blank patterns.
  for (const POINT p : {POINT{240, 44}, POINT{10, 20}, POINT{240, 299}, POINT{120, 150}}) {
    ASSERT_TRUE(Mouse(WM_MOUSEMOVE, p.x, p.y));
    Capture moved;
    ASSERT_TRUE(Settled(moved));
    EXPECT_EQ(Pixels(moved, panel), expected) << "the panel changed with the pointer at " << p.x << ", " << p.y;
  }
}

TEST_F(ReadoutWindow, LeftDragOffersTheSelectedSpanAndEitherDirectionAgrees) {
  ASSERT_TRUE(Display().exists());
  // To the right: the middles of columns 50 and 100, 12 ms each.
  HWND dialog = LeftDrag(50, 100);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_BEGIN)), "606");   // 50.5 x 12
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "1206");    // 100.5 x 12
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDCANCEL));
  ASSERT_TRUE(WaitForIdle());
  // To the left over the same columns: half a column earlier at each end.
  dialog = LeftDrag(100, 50);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_BEGIN)), "600");
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "1200");
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDCANCEL));
  ASSERT_TRUE(WaitForIdle());
  EXPECT_TRUE(Display().exists()) << "Cancel kept the image";
}

TEST_F(ReadoutWindow, LeftDragInvertsTheBandWhileHeld) {
  Capture before;
  ASSERT_TRUE(Settled(before));
  ASSERT_TRUE(Mouse(WM_LBUTTONDOWN, 60, 150));
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 90, 150));
  Capture during;
  ASSERT_TRUE(CaptureWhen(window(), during, [&](const Capture& c) { return c.at(75, 100) == Inverse(before.at(75, 100)); }));
  // Inside the band every pixel of the image area is inverted, from the top row down; outside
  // it nothing changed.
  for (int y : {0, 30, 100, View().imageHeight - 1}) {
    EXPECT_EQ(during.at(75, y), Inverse(before.at(75, y))) << "y " << y;
    EXPECT_EQ(during.at(100, y), before.at(100, y)) << "y " << y;
  }
  // Back over part of the band: that part is shown plainly again.
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 70, 150));
  Capture back;
  ASSERT_TRUE(CaptureWhen(window(), back, [&](const Capture& c) { return c.at(80, 100) == before.at(80, 100); }));
  EXPECT_EQ(back.at(80, 100), before.at(80, 100));
  EXPECT_EQ(back.at(65, 100), Inverse(before.at(65, 100)));
  PostMouse(WM_LBUTTONUP, 70, 150);
  HWND dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDCANCEL));
}

TEST_F(ReadoutWindow, ClickWithoutMovementOpensNothing) {
  ASSERT_TRUE(Mouse(WM_LBUTTONDOWN, 120, 150));
  ASSERT_TRUE(Mouse(WM_LBUTTONUP, 120, 150));
  EXPECT_TRUE(OpenDialogs().empty());
  EXPECT_TRUE(Display().exists());
  EXPECT_FALSE(Mode().fileAnalysisInProgress);
}

TEST_F(ReadoutWindow, RightDragMeasuresAndLeavesTheImageAsItWas) {
  Capture before;
  ASSERT_TRUE(Settled(before));
  ASSERT_TRUE(Mouse(WM_RBUTTONDOWN, 100, 100));
  EXPECT_TRUE(Mode().rightButtonHeld);
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 150, 150));
  Capture first;
  ASSERT_TRUE(CaptureWhen(window(), first, [&](const Capture& c) { return c.at(140, 140) == Inverse(before.at(140, 140)); }));
  EXPECT_EQ(first.at(140, 140), Inverse(before.at(140, 140)));  // inside the rectangle
  EXPECT_EQ(first.at(160, 140), before.at(160, 140));                // outside it
  // The spans from the anchor: 50 columns of 12 ms; 50 rows down, trunc(-50 x 21.533) Hz.
  EXPECT_TRUE(Shows(window(), Row::Time, false, TimeField(600, 6)));
  EXPECT_TRUE(Shows(window(), Row::Frequency, false, FrequencyField(-1076, 11)));

  // A smaller rectangle: the part left behind is the image again.
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 120, 120));
  Capture second;
  ASSERT_TRUE(CaptureWhen(window(), second, [&](const Capture& c) { return c.at(140, 140) == before.at(140, 140); }));
  EXPECT_EQ(second.at(140, 140), before.at(140, 140));
  EXPECT_EQ(second.at(110, 110), Inverse(before.at(110, 110)));
  // Dragged past the image area's bottom, the rectangle stops at its last row.
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 120, View().imageHeight + 40));
  Capture clamped;
  ASSERT_TRUE(CaptureWhen(window(), clamped,
                          [&](const Capture& c) { return c.at(110, View().imageHeight - 1) != second.at(110, View().imageHeight - 1); }));
  const int below = View().imageHeight + 5;
  EXPECT_EQ(clamped.at(110, below), before.at(110, below)) << "drawn below the image area";

  ASSERT_TRUE(Mouse(WM_RBUTTONUP, 120, 120));
  EXPECT_FALSE(Mode().rightButtonHeld);
  const RECT image{0, 0, View().imageWidth, View().imageHeight};
  Capture after;
  ASSERT_TRUE(WaitUntil([&] { return Settled(after) && Pixels(after, image) == Pixels(before, image); }))
      << "the image area differs after the right button was released";
  EXPECT_TRUE(OpenDialogs().empty());
}

TEST_F(ReadoutWindow, NoGesturesAndAClockRowWhilePlaybackRuns) {
  ASSERT_TRUE(Display().exists());
  Capture before;
  ASSERT_TRUE(Settled(before));
  PlaybackFlag playback;
  ASSERT_TRUE(playback.ok());
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 100, 150));
  EXPECT_TRUE(Shows(window(), Row::Time, true, "Time Now (sec) : "));
  EXPECT_TRUE(Shows(window(), Row::Time, false, "0   "));
  ASSERT_TRUE(RunOnWindowThread(window(), [this] { DrawReadoutElapsed(window(), 2500.0f); }));
  EXPECT_TRUE(Shows(window(), Row::Time, false, "3   "));  // 2.5 s rounds up
  // The frequency still follows the pointer.
  EXPECT_TRUE(Shows(window(), Row::Frequency, false, FrequencyField(RowFrequency(kRate, 9, 150), 11)));
  ASSERT_TRUE(Mouse(WM_LBUTTONDOWN, 60, 150));
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 90, 150));
  Capture during;
  ASSERT_TRUE(Settled(during));
  EXPECT_EQ(during.at(75, 100), before.at(75, 100)) << "a band was drawn during playback";
  ASSERT_TRUE(Mouse(WM_LBUTTONUP, 90, 150));
  ASSERT_TRUE(Mouse(WM_RBUTTONDOWN, 60, 100));
  EXPECT_FALSE(Mode().rightButtonHeld);
  ASSERT_TRUE(Mouse(WM_RBUTTONUP, 60, 100));
  EXPECT_TRUE(OpenDialogs().empty());
  ASSERT_TRUE(playback.Clear());
  ASSERT_TRUE(Mouse(WM_MOUSEMOVE, 100, 150));
  EXPECT_TRUE(Shows(window(), Row::Time, true, "Time (msec) :"));
}

// Regression: "Time Now (sec)" stayed in the status block after the playback had ended, until
// something repainted the window.
TEST_F(ReadoutWindow, PlaybackEndClearsTheClockRow) {
  ASSERT_TRUE(Display().exists());
  ASSERT_TRUE(ui_->Post(WM_COMMAND, IDB_PLAY, 0));
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return Mode().playbackActive != 0; }); }));
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return !Mode().playbackActive; }); }));
  ASSERT_TRUE(WaitForIdle());
  EXPECT_TRUE(Shows(window(), Row::Time, true, "Time (msec) :"));
  EXPECT_TRUE(Shows(window(), Row::Time, false, "00000 + - 00"));
}

TEST_F(ReadoutWindow, ScopeGridCopiesTheMarkersBarsToTheLabelColumns) {
  const int x0 = 64, baseline = 268;
  const uint32_t rate = 11025;
  bool drawn = false;
  std::vector<uint32_t> pixels;
  int width = 700, height = 300;
  ASSERT_TRUE(RunOnWindowThread(window(), [&] {
    Surface surface(window(), width, height);
    if (!surface.ok()) return;
    AnalysisSettings& settings = Settings();
    const DisplayType shownType = settings.displayType;
    const uint8_t shownGrid = Mode().gridOn;
    // Nothing in the "Scroll" display, nor with the grid off.
    Mode().gridOn = 1;
    DrawScopeGrid(surface.dc, x0, baseline, rate);
    settings.displayType = DisplayType::Scope;
    Mode().gridOn = 0;
    DrawScopeGrid(surface.dc, x0, baseline, rate);
    bool blank = true;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) blank = blank && surface.at(x, y) == kPaper;
    }
    Mode().gridOn = 1;
    if (blank) DrawScopeGrid(surface.dc, x0, baseline, rate);
    settings.displayType = shownType;
    Mode().gridOn = shownGrid;
    drawn = blank;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) pixels.push_back(surface.at(x, y));
    }
  }));
  ASSERT_TRUE(drawn) << "the grid was drawn in the Scroll display or with the grid off";
  uint32_t cross = 0;
  ASSERT_TRUE(RunOnWindowThread(window(), [&] { cross = Rgb(GetPixel(Drawing().markerDc, 5, 5)); }));
  ASSERT_NE(cross, kPaper);
  // Crosses every 93 pixels (1024000 / 11025 = 92.88 rounded) in six columns, on the baseline
  // and every 60 pixels above it; the baseline's and the first column's bars are halves.
  auto expectedCross = [&](int x, int y) {
    for (int j = 0; j < 6; ++j) {
      const int cx = x0 + 93 * j;
      for (int n = 0; n < 5; ++n) {
        const int cy = baseline - 60 * n;
        const bool vertical = x == cx && y >= cy - 5 && y <= (n == 0 ? cy : cy + 5);
        const bool horizontal = y == cy && x >= (j == 0 ? cx : cx - 5) && x <= cx + 5;
        if (vertical || horizontal) return true;
      }
    }
    return false;
  };
  int wrong = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool marked = pixels[static_cast<size_t>(y) * width + x] == cross;
      if (marked != expectedCross(x, y) && ++wrong <= 5) ADD_FAILURE() << "pixel " << x << ", " << y;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(ReadoutWindow, ScopeAxesLabelTheKilohertzAndTheLevels) {
  const int x0 = 100, baseline = 268;
  const int cw = MainWindow().metrics.charWidth, ch = MainWindow().metrics.charHeight;
  std::vector<uint32_t> pixels;
  const int width = 700, height = 320;
  ASSERT_TRUE(RunOnWindowThread(window(), [&] {
    Surface surface(window(), width, height);
    if (!surface.ok()) return;
    DrawScopeAxes(surface.dc, x0, baseline, 22050, cw, ch);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) pixels.push_back(surface.at(x, y));
    }
  }));
  ASSERT_EQ(pixels.size(), static_cast<size_t>(width) * height);
  // The drawn area: from the level labels 4.5 C left of the origin to "kHz" ending near the
  // scope's right end, from the -15 dB label's top (240 pixels above the -75 one, whose top is
  // half a character above the baseline) to one text line below the kHz labels.
  int left = width, right = -1, top = height, bottom = -1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (pixels[static_cast<size_t>(y) * width + x] == kPaper) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  EXPECT_EQ(left, static_cast<int>(x0 - 4.5 * cw));
  EXPECT_EQ(top, baseline - ch / 2 - 240);
  EXPECT_EQ(bottom, baseline + ch / 2 + ch - 1);
  EXPECT_GT(right, x0 + 512 - 3 * cw);
  EXPECT_LT(right, x0 + 512 + 2 * cw);
  // Between the level labels and the first kHz label nothing is drawn above the baseline.
  for (int y = 0; y < baseline; ++y) {
    for (int x = x0 + cw; x < x0 + 512 - 3 * cw; ++x) {
      ASSERT_EQ(pixels[static_cast<size_t>(y) * width + x], kPaper) << x << ", " << y;
    }
  }
  EXPECT_TRUE(ShownScope().known);
  EXPECT_EQ(ShownScope().xOrigin, x0);
  EXPECT_EQ(ShownScope().baselineY, baseline);
}

}  // namespace
}  // namespace hl::e2e
