// "Play", "Play Wdw" and "Stop" in the real window, with the sound going into the test
// desktop's null sink: what the program plays is heard back by recording the sink's
// monitor (the default capture device) from the test thread.
#include <gtest/gtest.h>

#include <windows.h>

#include <mmsystem.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/program/main_window_win32.h"
#include "windows/base/handles_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/sound/capture_state_win32.h"
#include "windows/sound/file_scan_win32.h"
#include "cli/example_signals.h"
#include "core/dsp/column_renderer.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl::e2e {
namespace {

constexpr char kParametersCaption[] = "Choose Analysis Parameters";
constexpr char kNoSoundChildVariable[] = "HL_E2E_TRANSPORT_NO_SOUND";

// A 1 kHz tone at 11025 Hz, 16-bit mono.
std::string ToneFile(const std::string& name, double seconds) {
  ExampleSignal example;
  example.kind = ExampleKind::Tone;
  example.sampleRate = 11025;
  example.bitsPerSample = 16;
  example.channels = 1;
  example.seconds = seconds;
  example.frequency = 1000.0;
  example.amplitude = 0.3;
  const std::string path = ScratchFolder() + name;
  EXPECT_TRUE(WriteWholeFile(path, MakeExampleWave(example))) << path;
  return path;
}

struct Buttons {
  bool play, playWindow, toggleGrid, stop;
  bool operator==(const Buttons& o) const {
    return play == o.play && playWindow == o.playWindow && toggleGrid == o.toggleGrid && stop == o.stop;
  }
};
Buttons ButtonStates() {
  const MainWindowState& w = MainWindow();
  return {IsWindowEnabled(w.playButton) != 0, IsWindowEnabled(w.playWindowButton) != 0,
          IsWindowEnabled(w.toggleGridButton) != 0, IsWindowEnabled(w.stopButton) != 0};
}
std::ostream& operator<<(std::ostream& out, const Buttons& b) {
  return out << "Play " << b.play << ", Play Wdw " << b.playWindow << ", Toggle Grid " << b.toggleGrid
             << ", Stop " << b.stop;
}

// The image area on screen against the display bitmap at the view's offsets, through the
// bitmap's colour table: the count of pixels that differ (every third row, every column).
int ImageAreaDifferences(HWND window) {
  RECT outer;
  GetWindowRect(window, &outer);
  Capture shot;
  if (!CaptureScreen(outer, shot)) return -1;
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  const int dx = origin.x - outer.left, dy = origin.y - outer.top;
  const DisplayBitmap& d = Display();
  RGBQUAD table[256] = {};
  if (GetDIBColorTable(d.dc, 0, 256, table) != 256) return -1;
  const int h = View().horizontalOffset, v = View().verticalOffset;
  int differences = 0;
  for (int y = 0; y < ImageAreaHeight(); y += 3) {
    for (int x = 0; x < ImageAreaWidth(); ++x) {
      const int sourceY = y < kMarginRows ? y : y + v;
      const RGBQUAD c = table[d.bits[static_cast<size_t>(sourceY) * d.stride + h + x]];
      const uint32_t expected = (uint32_t{c.rgbRed} << 16) | (uint32_t{c.rgbGreen} << 8) | c.rgbBlue;
      if (shot.at(dx + x, dy + y) != expected) ++differences;
    }
  }
  return differences;
}

class TransportWindow : public MainWindowSuite {
 protected:
  void SetUp() override {
    MainWindowSuite::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(WaitForIdle());
  }
  void TearDown() override {
    MainWindowSuite::TearDown();
    WaitForIdle();
  }
  static bool WaitForIdle(DWORD ms = kWaitMs) {
    return WaitUntil(
        [] {
          return ReadOnWindowThread([] {
                   const OperatingMode& m = Mode();
                   return !m.fileAnalysisInProgress && !m.rendering && !m.playbackActive;
                 }) &&
                 OpenDialogs().empty();
        },
        ms) &&
           ui_->Flush();  // and the command that cleared the flags has returned
  }

  // "&Analyze File" on `path` at `timeScale` ms per column, to the end of the render.
  static ::testing::AssertionResult Analyse(const std::string& path, const char* timeScale) {
    if (!ui_->PostCommand(IDM_ANALYZE_FILE)) return ::testing::AssertionFailure() << "post failed";
    const std::string problem = Choose("Open WAV File", path);
    if (!problem.empty()) return ::testing::AssertionFailure() << problem;
    HWND dialog = WaitForDialog(kParametersCaption);
    if (!dialog) return ::testing::AssertionFailure() << "no parameters dialog";
    SendText(GetDlgItem(dialog, IDC_TIME_SCALE), timeScale);
    if (!PressAndWaitUntilClosed(dialog, IDOK)) return ::testing::AssertionFailure() << "OK did not close it";
    if (!WaitForIdle() || !Display().exists()) return ::testing::AssertionFailure() << "no image";
    return ::testing::AssertionSuccess();
  }

  // Posts a button's command and waits until the playback runs.
  static ::testing::AssertionResult StartPlayback(int button) {
    if (!ui_->Post(WM_COMMAND, static_cast<WPARAM>(button), 0)) return ::testing::AssertionFailure() << "post";
    if (!WaitUntil([] { return ReadOnWindowThread([] { return Mode().playbackActive != 0; }); })) {
      return ::testing::AssertionFailure() << "the playback did not start";
    }
    return ::testing::AssertionSuccess();
  }
};


// ===========================================================================
// A 3 s tone at 2 ms per column: about 1480 columns, wider than the image area.

class TransportPlayback : public TransportWindow {
 protected:
  static std::string Tone() {
    static std::string path = ToneFile("tone3s.wav", 3.0);
    return path;
  }
};

TEST_F(TransportPlayback, StopWithNothingRunningOnlyDisablesItself) {
  EnableWindow(MainWindow().stopButton, TRUE);
  const Buttons before = ButtonStates();
  const int blocks = AllocationCount();
  ASSERT_TRUE(ui_->Post(WM_COMMAND, IDB_STOP, 0));
  // (Stop drains the queue, so the flush can come back before Stop has returned.)
  EXPECT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return !IsWindowEnabled(MainWindow().stopButton); }); }));
  ASSERT_TRUE(ui_->Flush());
  const Buttons after = ButtonStates();
  EXPECT_EQ(after.play, before.play);
  EXPECT_EQ(after.playWindow, before.playWindow);
  EXPECT_EQ(after.toggleGrid, before.toggleGrid);
  EXPECT_EQ(AllocationCount(), blocks);
  EXPECT_EQ(hl::Capture().outputDevice, nullptr);
  EXPECT_TRUE(OpenDialogs().empty());
}

TEST_F(TransportPlayback, PlayRevealsTheImageWithTheSoundAndEndsWithTheDevicesMessage) {
  ASSERT_TRUE(Analyse(Tone(), "2"));
  const int32_t columns = Analysis().columnCount;
  const int width = ImageAreaWidth();
  ASSERT_GT(columns, width) << "the image must be wider than the window for this test";
  ASSERT_TRUE(IsWindowEnabled(MainWindow().playButton));
  const int blocks = AllocationCount();
  EXPECT_LT(SinkLevel(300), 50.0) << "the sink is not silent before the playback";

  ASSERT_TRUE(StartPlayback(IDB_PLAY));
  // (The flag is set while the command is still setting up the buttons.)
  EXPECT_TRUE(WaitUntil([] { return ButtonStates() == Buttons{false, false, false, true}; }))
      << ButtonStates();
  EXPECT_FALSE(MenuEnabled(window(), IDM_ANALYZE_FILE)) << "the menu is not busy while playing";
  EXPECT_EQ(AllocationCount(), blocks + 1) << "the buffer header is one counted block";
  // The 1 kHz tone at 0.3 of full scale is heard (RMS about 6950).
  const double level = SinkLevel(500);
  EXPECT_GT(level, 2000.0);
  // The view follows the sound once the area is full.
  EXPECT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return View().horizontalOffset > 0; }); })) << "the scroll position stayed at 0";

  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return !Mode().playbackActive; }); })) << "no MM_WOM_DONE after the data";
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(ButtonStates(), (Buttons{true, true, true, false}));
  EXPECT_TRUE(MenuEnabled(window(), IDM_ANALYZE_FILE));
  EXPECT_EQ(hl::Capture().outputDevice, nullptr);
  EXPECT_EQ(AllocationCount(), blocks);
  EXPECT_EQ(Analysis().sampleBuffer.locked(), nullptr) << "the sample buffer stayed locked";
  // The reveal reached the last columns, and the window shows the bitmap there.
  EXPECT_GT(View().horizontalOffset, columns - width - 100);
  EXPECT_LE(View().horizontalOffset, columns - width);
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(ImageAreaDifferences(window()), 0);
}

TEST_F(TransportPlayback, StopEndsPlayAtOnce) {
  ASSERT_TRUE(Display().exists());
  const int blocks = AllocationCount();
  ASSERT_TRUE(StartPlayback(IDB_PLAY));
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return hl::Capture().lastDrawnColumn > 50; }); }));
  ASSERT_TRUE(ui_->Post(WM_COMMAND, IDB_STOP, 0));
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return !Mode().playbackActive; }); })) << "Stop did not end the playback";
  ASSERT_TRUE(WaitForIdle());
  EXPECT_LT(hl::Capture().lastDrawnColumn, Analysis().columnCount - 200) << "the playback ran to its end";
  EXPECT_EQ(ButtonStates(), (Buttons{true, true, true, false}));
  EXPECT_EQ(AllocationCount(), blocks);
  EXPECT_EQ(hl::Capture().outputDevice, nullptr);
  Sleep(300);
  EXPECT_LT(SinkLevel(300), 50.0) << "the sound went on after Stop";
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(ImageAreaDifferences(window()), 0);
}

TEST_F(TransportPlayback, PlayWindowStartsAtTheViewAndStopsWhereTheCursorLeaves) {
  ASSERT_TRUE(Display().exists());
  const int32_t step = Analysis().step;
  ASSERT_EQ(step, 22);  // 2 ms at 11025 Hz: 22.05 rounds to 22
  // Scroll to column 100.
  const int k = 100;
  ASSERT_TRUE(ui_->Post(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, k), 0));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_EQ(View().horizontalOffset, k);
  const int blocks = AllocationCount();

  ASSERT_TRUE(StartPlayback(IDB_PLAY_WINDOW));
  // (The flag is set while the command is still setting up the buttons.)
  EXPECT_TRUE(WaitUntil([] { return ButtonStates() == Buttons{false, false, false, true}; }))
      << ButtonStates();
  {
    // The one buffer starts at sample k x step and runs to the end of the data.
    const CaptureState& c = hl::Capture();
    ASSERT_NE(c.playHeader, nullptr);
    const uint8_t* data = reinterpret_cast<const uint8_t*>(c.playHeader->lpData);
    const uint8_t* samples = Analysis().sampleBuffer.locked() + 46;
    EXPECT_EQ(data - samples, static_cast<ptrdiff_t>(k) * step * 2);
    EXPECT_EQ(c.playHeader->dwBufferLength, Analysis().dataLength - static_cast<uint32_t>(k * step * 2));
  }
  // The cursor runs across the area (about 2 ms a column).
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return hl::Capture().lastDrawnColumn > 100; }); }));
  const int width = ImageAreaWidth();
  // More data is queued than the cursor's way across the area (at least 500 columns, a
  // second of sound, beyond its right edge): the end comes from the cursor leaving the area,
  // well before the queued data could run out, and the rest is never heard.
  ASSERT_LT(k + width, Analysis().columnCount - 500);
  // The cursor moves by the clock, about 2 ms a column, and the sound is reset once the
  // clock's column reaches the area's width; the queued rest would play a second longer and
  // end the run without that. A loaded machine may draw the cursor seldom, so how the run
  // ended is read from the column the clock had reached, not from the last column drawn.
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return !Mode().playbackActive; }); }))
      << "the playback did not end";
  EXPECT_GE(hl::Capture().leftAreaAtColumn, width) << "the run did not end by the cursor leaving the area";
  EXPECT_LT(hl::Capture().lastDrawnColumn, width);
  ASSERT_TRUE(WaitForIdle());
  EXPECT_LT(SinkLevel(300), 50.0) << "the queued data went on playing after the cursor left";
  EXPECT_EQ(ButtonStates(), (Buttons{true, true, true, false}));
  EXPECT_EQ(AllocationCount(), blocks);
  EXPECT_EQ(View().horizontalOffset, k) << "Play Wdw does not scroll";
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(ImageAreaDifferences(window()), 0) << "the cursor left a trace";
}

TEST_F(TransportPlayback, StopDuringPlayWindowRemovesTheCursor) {
  ASSERT_TRUE(Display().exists());
  ASSERT_TRUE(StartPlayback(IDB_PLAY_WINDOW));
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return hl::Capture().lastDrawnColumn > 30; }); }));
  ASSERT_TRUE(ui_->Post(WM_COMMAND, IDB_STOP, 0));
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return !Mode().playbackActive; }); }));
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(ButtonStates(), (Buttons{true, true, true, false}));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(ImageAreaDifferences(window()), 0) << "the cursor left a trace";
}

// Last: closing the window while "Play" runs releases the device and every block.
TEST_F(TransportPlayback, ClosingDuringPlayReleasesEverything) {
  ASSERT_TRUE(StartPlayback(IDB_PLAY));
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return hl::Capture().lastDrawnColumn > 30; }); }));
  ASSERT_TRUE(ui_->Post(WM_CLOSE));
  int loopResult = -1;
  ASSERT_TRUE(ui_->WaitForExit(loopResult));
  EXPECT_EQ(loopResult, 0);
  EXPECT_EQ(AllocationCount(), 0);
  EXPECT_EQ(hl::Capture().outputDevice, nullptr);
}

// ===========================================================================
// No sound card: the output device cannot be opened. The test runs this program again as a
// child process that Wine gives no audio driver.

TEST(TransportNoSound, CannotOpenAudioDeviceInAChildWithoutASoundCard) {
  if (std::getenv(kNoSoundChildVariable)) GTEST_SKIP() << "this is the child";
  char self[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
  std::string commandLine = std::string("\"") + self + "\" --gtest_filter=TransportNoSoundChild.*";
  // No audio driver at all (an empty choice in Wine's registry): the child finds no sound
  // card. (A sound-server address set here would not reach the child's driver, which reads
  // the Unix environment the test desktop started with.)
  HKEY drivers = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Drivers", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &drivers, nullptr),
            ERROR_SUCCESS);
  const char kNoDriver[] = "";
  RegSetValueExA(drivers, "Audio", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNoDriver), sizeof kNoDriver);
  ASSERT_TRUE(SetEnvironmentVariableA(kNoSoundChildVariable, "1"));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const BOOL created = CreateProcessA(self, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                      &startup, &process);
  SetEnvironmentVariableA(kNoSoundChildVariable, nullptr);
  ASSERT_TRUE(created) << "error " << GetLastError();
  const DWORD waited = WaitForSingleObject(process.hProcess, 60000);
  RegDeleteValueA(drivers, "Audio");
  RegCloseKey(drivers);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the child did not finish";
  EXPECT_EQ(code, 0u) << "the child's tests failed (its output is above)";
}

class TransportNoSoundChild : public TransportWindow {
 protected:
  void SetUp() override {
    if (!std::getenv(kNoSoundChildVariable)) GTEST_SKIP() << "runs only as the child of TransportNoSound";
    TransportWindow::SetUp();
  }
};

TEST_F(TransportNoSoundChild, PlayAndPlayWindowReportTheDeviceAndChangeNothing) {
  ASSERT_EQ(waveOutGetNumDevs(), 0u) << "the child still has a sound card";
  ASSERT_TRUE(Analyse(ToneFile("child.wav", 3.0), "2"));
  const Buttons before = ButtonStates();
  ASSERT_TRUE(before.play && before.playWindow);
  const int blocks = AllocationCount();
  const HGLOBAL buffer = Analysis().sampleBuffer.get();
  const uint32_t length = Analysis().dataLength;
  const int offset = View().horizontalOffset;
  for (int button : {IDB_PLAY, IDB_PLAY_WINDOW}) {
    SCOPED_TRACE(button);
    ASSERT_TRUE(ui_->Post(WM_COMMAND, static_cast<WPARAM>(button), 0));
    HWND box = WaitForDialog("Harrowlight", GetCurrentProcessId());
    ASSERT_NE(box, nullptr) << "no message";
    EXPECT_EQ(MessageBoxText(box), "Cannot Open Audio Device");
    ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK));
    ASSERT_TRUE(ui_->Flush());
    EXPECT_FALSE(Mode().playbackActive);
    EXPECT_EQ(ButtonStates(), before);
    EXPECT_EQ(AllocationCount(), blocks) << "the buffer header was not freed";
    EXPECT_EQ(Analysis().sampleBuffer.get(), buffer);
    EXPECT_EQ(Analysis().dataLength, length);
    EXPECT_EQ(Analysis().sampleBuffer.locked(), nullptr);
    EXPECT_EQ(View().horizontalOffset, offset);
    EXPECT_EQ(hl::Capture().outputDevice, nullptr);
    EXPECT_TRUE(MenuEnabled(window(), IDM_ANALYZE_FILE));
  }
}

// The file scan without a sound card: the message, and the window idle with nothing held.
TEST_F(TransportNoSoundChild, ScanFileReportsTheDeviceAndHoldsNothing) {
  const std::string tone = ToneFile("scan.wav", 3.0);
  ASSERT_TRUE(ui_->PostCommand(IDM_SCAN_FILE));
  ASSERT_TRUE(Choose("Open WAV File", tone).empty());
  HWND dialog = WaitForDialog("Scan Wave File");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  HWND box = WaitForDialog("Harrowlight", GetCurrentProcessId());
  ASSERT_NE(box, nullptr) << "no message";
  EXPECT_EQ(MessageBoxText(box), "Cannot Open Audio Device");
  ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_FALSE(Mode().fileScanPlaybackActive);
  EXPECT_EQ(AllocationCount(), 0) << "the ring, the header block or the bitmap was kept";
  EXPECT_EQ(hl::Capture().outputDevice, nullptr);
  const MainWindowState& w = MainWindow();
  for (HWND b : {w.playButton, w.playWindowButton, w.toggleGridButton, w.stopButton}) EXPECT_FALSE(IsWindowEnabled(b));
  EXPECT_TRUE(MenuEnabled(window(), IDM_SCAN_FILE));
  EXPECT_FALSE(MenuEnabled(window(), IDM_SAVE_WAVE));
  std::string caption;
  ReadWindowText(window(), caption);
  EXPECT_EQ(caption, "Harrowlight");
}

}  // namespace
}  // namespace hl::e2e
