// "&Scan File" in the real window: the dialog, the ring played into the test desktop's null
// sink while columns are drawn, the end by the clock with the completion message, Stop with
// "Analysis On" handing the stopping point to the analysis, the hand-over from an analysis
// too large for memory, and a scan whose transform cannot be set up.
#include <gtest/gtest.h>

#include <windows.h>

#include <mmsystem.h>

#include <cmath>
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
#include "core/sound/playback.h"
#include "cli/example_signals.h"
#include "windows/view/palette_win32.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl::e2e {
namespace {

constexpr char kScanCaption[] = "Scan Wave File";
constexpr char kParametersCaption[] = "Choose Analysis Parameters";
constexpr char kCompleteText[] = "Audio Scanning Complete.  No wave data has been saved.";

std::vector<uint8_t> ToneWave(double seconds, uint32_t rate, int channels) {
  ExampleSignal example;
  example.kind = ExampleKind::Tone;
  example.sampleRate = rate;
  example.bitsPerSample = 16;
  example.channels = channels;
  example.seconds = seconds;
  example.frequency = 1000.0;
  example.amplitude = 0.3;
  return MakeExampleWave(example);
}

std::string ScratchFile(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = ScratchFolder() + name;
  EXPECT_TRUE(WriteWholeFile(path, bytes)) << path;
  return path;
}

std::string ToneFile(const std::string& name, double seconds, uint32_t rate, int channels) {
  return ScratchFile(name, ToneWave(seconds, rate, channels));
}

// A 16-bit file of MakeExampleWave's (44-byte header) as 24-bit PCM: each sample x 256, so
// it decodes to the 16-bit samples again.
std::vector<uint8_t> WidenedTo24Bit(const std::vector<uint8_t>& sixteen) {
  std::vector<uint8_t> wide(sixteen.begin(), sixteen.begin() + 44);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) wide[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  const uint32_t channels = sixteen[22] | (sixteen[23] << 8);
  const uint32_t rate = sixteen[24] | (sixteen[25] << 8) | (sixteen[26] << 16) | (uint32_t{sixteen[27]} << 24);
  const uint32_t dataLength = static_cast<uint32_t>(sixteen.size() - 44) / 2 * 3;
  put32(4, 36 + dataLength);
  put32(28, rate * channels * 3);
  wide[32] = static_cast<uint8_t>(channels * 3);
  wide[34] = 24;
  put32(40, dataLength);
  for (size_t i = 44; i + 1 < sixteen.size(); i += 2) wide.insert(wide.end(), {0x00, sixteen[i], sixteen[i + 1]});
  return wide;
}

bool AnyButtonEnabled() {
  const MainWindowState& w = MainWindow();
  for (HWND b : {w.playButton, w.playWindowButton, w.toggleGridButton, w.stopButton}) {
    if (IsWindowEnabled(b)) return true;
  }
  return false;
}

uint32_t ColourOfIndex(int index) {
  PALETTEENTRY e{};
  GetPaletteEntries(Drawing().palette, static_cast<UINT>(index), 1, &e);
  return (uint32_t{e.peRed} << 16) | (uint32_t{e.peGreen} << 8) | e.peBlue;
}

class FileScanWindow : public MainWindowSuite {
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
  static bool Scanning() { return ReadOnWindowThread([] { return Mode().fileScanPlaybackActive != 0; }); }
  static bool WaitForIdle(DWORD ms = kWaitMs) {
    return WaitUntil(
        [] {
          return ReadOnWindowThread([] {
                   const OperatingMode& m = Mode();
                   return !m.fileAnalysisInProgress && !m.rendering && !m.fileScanPlaybackActive &&
                          !m.playbackActive && !hl::Capture().scanRunning;
                 }) &&
                 OpenDialogs().empty();
        },
        ms) &&
           ui_->Flush();  // and the command that cleared the flags has returned
  }

  // "&Scan File" on `path` up to dialog 104, which is returned.
  static HWND OpenScanDialog(const std::string& path) {
    if (!ui_->PostCommand(IDM_SCAN_FILE)) return nullptr;
    if (!Choose("Open WAV File", path).empty()) return nullptr;
    return WaitForDialog(kScanCaption);
  }

  static ::testing::AssertionResult ClickAndWait(HWND dialog, int id) {
    if (!Click(dialog, id)) return ::testing::AssertionFailure() << "cannot click " << id;
    if (!WaitUntil([&] { return IsChecked(dialog, id); })) {
      return ::testing::AssertionFailure() << id << " not checked";
    }
    return ::testing::AssertionSuccess();
  }

  // After a scan: nothing held, the window idle.
  void ExpectIdleAndReleased() {
    // The scan released whatever the window showed before it, and then its own blocks.
    EXPECT_EQ(AllocationCount(), 0) << "a block was not freed";
    EXPECT_EQ(hl::Capture().outputDevice, nullptr);
    EXPECT_FALSE(Scanning());
    EXPECT_FALSE(AnyButtonEnabled());
    EXPECT_TRUE(MenuEnabled(window(), IDM_SCAN_FILE));
    EXPECT_FALSE(MenuEnabled(window(), IDM_SAVE_WAVE)) << "the menu is not idle";
  }
};


// ===========================================================================

class FileScan : public FileScanWindow {};

TEST_F(FileScan, DialogOffersTheFilesRateAndNewHoldsItsRange) {
  const std::string tone = ToneFile("dialog.wav", 3.0, 11025, 1);
  HWND dialog = OpenScanDialog(tone);
  ASSERT_NE(dialog, nullptr);
  HWND rate = GetDlgItem(dialog, IDC_SAMPLE_RATE);
  EXPECT_EQ(TextOf(rate), "11025");
  EXPECT_FALSE(IsWindowEnabled(rate));
  EXPECT_TRUE(IsChecked(dialog, IDC_RES_16_BIT));
  // "New": the edit opens empty; 50000 is held at 44100.
  ASSERT_TRUE(Click(dialog, IDC_NEW_RATE));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(rate) && TextOf(rate).empty(); }));
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_NEW_RATE)), "OK");
  ASSERT_TRUE(SendText(rate, "50000"));
  ASSERT_TRUE(Click(dialog, IDC_NEW_RATE));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(rate) == "44100"; })) << TextOf(rate);
  EXPECT_FALSE(IsWindowEnabled(rate));
  // Again, 0 keeps the rate shown before; OK while entering only accepts the rate.
  ASSERT_TRUE(Click(dialog, IDC_NEW_RATE));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(rate); }));
  ASSERT_TRUE(SendText(rate, "0"));
  ASSERT_TRUE(Click(dialog, IDC_OK));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(rate) == "44100"; })) << TextOf(rate);
  EXPECT_TRUE(IsWindow(dialog)) << "OK while entering a rate closed the dialog";
  ASSERT_TRUE(Click(dialog, IDC_NEW_RATE));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(rate); }));
  ASSERT_TRUE(SendText(rate, "3000"));
  ASSERT_TRUE(Click(dialog, IDC_NEW_RATE));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(rate) == "5513"; })) << TextOf(rate);
  // Scope disables the colours and the attenuation; Scroll enables them again.
  ASSERT_TRUE(ClickAndWait(dialog, IDC_DISPLAY_SCOPE));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_PALETTE_CG)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_ATTENUATION_BAR)));
  ASSERT_TRUE(ClickAndWait(dialog, IDC_DISPLAY_SCROLL));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_PALETTE_CG)));
  // Cancel leaves the window idle with nothing held.
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_CANCEL));
  ASSERT_TRUE(WaitForIdle());
  ExpectIdleAndReleased();
  EXPECT_FALSE(Display().exists());
}

TEST_F(FileScan, ShortFileIsRefusedAndTheChooserComesBack) {
  const std::string path = ScratchFolder() + "short.wav";
  ASSERT_TRUE(WriteWholeFile(path, std::vector<uint8_t>(2047, 0x80)));
  ASSERT_TRUE(ui_->PostCommand(IDM_SCAN_FILE));
  ASSERT_TRUE(Choose("Open WAV File", path).empty());
  EXPECT_EQ(TakeMessage(), "Sample Size Too Small");
  HWND chooser = WaitForDialog("Open WAV File", GetCurrentProcessId());
  ASSERT_NE(chooser, nullptr) << "the chooser did not come back";
  ASSERT_TRUE(PressAndWaitUntilClosed(chooser, IDCANCEL));
  ASSERT_TRUE(WaitForIdle());
  EXPECT_FALSE(Scanning());
  EXPECT_EQ(AllocationCount(), 0);
}

TEST_F(FileScan, RateOutOfRangeSendsTheDialogBackAt11025) {
  // Past 384000 Hz even a file's own rate is refused (the sound server takes no more).
  const std::string tone = ToneFile("rate400k.wav", 1.0, 400000, 1);
  HWND dialog = OpenScanDialog(tone);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "400000");
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  EXPECT_EQ(TakeMessage(), "Sample Rate Out of Range");
  dialog = WaitForDialog(kScanCaption);
  ASSERT_NE(dialog, nullptr) << "the dialog did not come back";
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "11025");
  EXPECT_FALSE(Scanning());
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_CANCEL));
  ASSERT_TRUE(WaitForIdle());
  ExpectIdleAndReleased();
}

// A 48 kHz file was refused by the scan although its analysis took it. Files of their own
// rates above 44100 Hz are scanned, a 24-bit one played as its 16-bit samples, and "New"
// may go up to the file's rate.
TEST_F(FileScan, FilesAt48And96kHzAreScannedAndHeard) {
  struct Case {
    const char* name;
    uint32_t rate;
    bool wide;
    const char* resolution;
  };
  for (const Case& c : {Case{"scan48k.wav", 48000, false, "16 bit"}, Case{"scan96k24.wav", 96000, true, "24 bit"}}) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> sixteen = ToneWave(3.0, c.rate, 2);
    HWND dialog = OpenScanDialog(ScratchFile(c.name, c.wide ? WidenedTo24Bit(sixteen) : sixteen));
    ASSERT_NE(dialog, nullptr);
    HWND rate = GetDlgItem(dialog, IDC_SAMPLE_RATE);
    EXPECT_EQ(TextOf(rate), std::to_string(c.rate));
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_RES_16_BIT)), c.resolution);
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, IDC_RES_8_BIT)) != FALSE, !c.wide)
        << "a decoded file offers no 8-bit reading";
    // "New" past the file's rate is held at it.
    ASSERT_TRUE(Click(dialog, IDC_NEW_RATE));
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(rate) && TextOf(rate).empty(); }));
    ASSERT_TRUE(SendText(rate, "500000"));
    ASSERT_TRUE(Click(dialog, IDC_NEW_RATE));
    ASSERT_TRUE(WaitUntil([&] { return TextOf(rate) == std::to_string(c.rate); })) << TextOf(rate);
    ASSERT_TRUE(ClickAndWait(dialog, IDC_ANALYSIS_OFF));
    ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
    ASSERT_TRUE(WaitUntil(Scanning)) << "the scan did not start: " << TakeMessage(1000);
    // 16-bit stereo in the ring: 2 s of it.
    EXPECT_EQ(LastFileScan().ringBytes, 2u * 4u * c.rate);
    EXPECT_GT(SinkLevel(400), 2000.0) << "the tone is not heard";
    ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return LastFileScan().columns > 40; }); }));
    HWND box = WaitForDialog("Scanning Complete", GetCurrentProcessId(), 8000);
    ASSERT_NE(box, nullptr) << "the scan did not end by the clock";
    ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK));
    ASSERT_TRUE(WaitForIdle());
    // Every sample of the file went through the ring, as 16 bits.
    EXPECT_EQ(LastFileScan().bytesRead, sixteen.size() - 44);
    ExpectIdleAndReleased();
  }
}

// A file without "fmt " and "data" is offered as raw 16-bit samples at 11025 Hz; choosing
// 8 bit reads its bytes as 8-bit samples.
TEST_F(FileScan, RawFileIsOfferedAsSixteenBitAndEightBitReadsItsBytes) {
  std::vector<uint8_t> noise(44100);
  uint32_t x = 12345;
  for (uint8_t& b : noise) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 24);
  }
  const std::string path = ScratchFolder() + "raw.pcm";
  ASSERT_TRUE(WriteWholeFile(path, noise));
  HWND dialog = OpenScanDialog(path);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "11025");
  EXPECT_TRUE(IsChecked(dialog, IDC_RES_16_BIT));
  ASSERT_TRUE(ClickAndWait(dialog, IDC_RES_8_BIT));
  ASSERT_TRUE(ClickAndWait(dialog, IDC_ANALYSIS_OFF));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitUntil(Scanning));
  EXPECT_EQ(Analysis().format.bitsPerSample, 8);
  EXPECT_EQ(Analysis().format.sampleRate, 11025u);
  EXPECT_EQ(ShownInfoPanel().bitsPerSample, 8);
  EXPECT_EQ(ShownInfoPanel().dataLength, 44100u);
  // 8-bit mono at 11025 Hz: a 32 s ring, the whole 4 s file read into its first half from
  // byte 0.
  EXPECT_EQ(LastFileScan().ringBytes, 352800u);
  EXPECT_EQ(LastFileScan().bytesRead, 44100u);
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return LastFileScan().columns > 10; }); }));
  ASSERT_TRUE(ui_->Post(WM_COMMAND, IDB_STOP, 0));
  HWND box = WaitForDialog("Scanning Complete", GetCurrentProcessId());
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK));
  ASSERT_TRUE(WaitForIdle());
  ExpectIdleAndReleased();
}

TEST_F(FileScan, ScanDrawsTheToneAndEndsByTheClockWithTheCompletionMessage) {
  const std::string tone = ToneFile("tone.wav", 3.0, 11025, 1);
  HWND dialog = OpenScanDialog(tone);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(ClickAndWait(dialog, IDC_ANALYSIS_OFF));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitUntil(Scanning)) << "the scan did not start";
  std::string caption;
  ReadWindowText(window(), caption);
  EXPECT_EQ(caption, "tone.wav");
  EXPECT_TRUE(IsWindowEnabled(MainWindow().stopButton));
  EXPECT_FALSE(IsWindowEnabled(MainWindow().playButton));
  EXPECT_FALSE(MenuEnabled(window(), IDM_ANALYZE_FILE));
  // A 3 s file fits in the first half of a 16 s ring: read whole at the start.
  EXPECT_EQ(LastFileScan().ringBytes, 352800u);
  EXPECT_EQ(LastFileScan().bytesRead, 66150u);
  EXPECT_TRUE(LastFileScan().endOfFile);
  // The tone is heard in the sink while columns are drawn.
  EXPECT_GT(SinkLevel(400), 2000.0);
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return LastFileScan().columns > 40; }); }));

  // A recent column shows the tone: 1 kHz is bin 46 of 512 points at 11025 Hz (row 253),
  // drawn brighter than the floor; a row far from it is the floor colour. The column is one
  // counted before the screen is read, so it has been drawn when the screen is taken.
  RECT outer;
  GetWindowRect(window(), &outer);
  POINT origin{0, 0};
  ClientToScreen(window(), &origin);
  const int dx = origin.x - outer.left, dy = origin.y - outer.top;
  const int counted = LastFileScan().columns;
  const int x = counted < ImageAreaWidth() ? counted - 4 : ImageAreaWidth() - 8;
  Capture shot;
  ASSERT_TRUE(CaptureScreen(outer, shot));
  WriteBmp(shot, ArtifactFolder() + "\\file_scan.bmp");
  const uint32_t floor = ColourOfIndex(3);
  int toneRows = 0;
  for (int y = 251; y <= 255; ++y) toneRows += shot.at(dx + x, dy + y) != floor;
  EXPECT_GE(toneRows, 2) << "no tone at column " << x;
  EXPECT_EQ(shot.at(dx + x, dy + 100), floor) << "column " << x << " of " << counted << " counted, area " << ImageAreaWidth() << ", offset " << dx << "," << dy << ", shot " << shot.width << "x" << shot.height;

  HWND box = WaitForDialog("Scanning Complete", GetCurrentProcessId(), 8000);
  ASSERT_NE(box, nullptr) << "the scan did not end by the clock";
  EXPECT_EQ(MessageBoxText(box), kCompleteText);
  EXPECT_FALSE(Scanning()) << "the device was still playing at the message";
  ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK));
  ASSERT_TRUE(WaitForIdle());
  ExpectIdleAndReleased();
  EXPECT_LT(SinkLevel(300), 50.0) << "the ring went on playing";
}

TEST_F(FileScan, StopWithAnalysisOnAnalysesTheSpanAroundTheStoppingPoint) {
  // 44.1 kHz 16-bit stereo: a 2 s ring of 1 s halves.
  const std::string tone = ToneFile("stereo.wav", 10.0, 44100, 2);
  HWND dialog = OpenScanDialog(tone);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "44100");
  ASSERT_TRUE(ClickAndWait(dialog, IDC_ANALYSIS_ON));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitUntil(Scanning));
  EXPECT_EQ(LastFileScan().ringBytes, 352800u);
  // Halves are read as the device enters the other half: 5 s of the file are read by
  // about 3 s of playing.
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return LastFileScan().bytesRead >= 5 * 176400u; }); }))
      << "read " << LastFileScan().bytesRead;
  EXPECT_FALSE(LastFileScan().endOfFile);
  ASSERT_TRUE(ui_->Post(WM_COMMAND, IDB_STOP, 0));

  // Begin two rings before what was read, end three halves (3 s) later.
  HWND parameters = WaitForDialog(kParametersCaption);
  ASSERT_NE(parameters, nullptr) << "no analysis at the stopping point";
  const uint64_t read = LastFileScan().bytesRead;
  const uint32_t begin = static_cast<uint32_t>((read - 2 * 352800) * 1000 / 176400);
  EXPECT_GE(begin, 1000u);
  EXPECT_EQ(TextOf(GetDlgItem(parameters, IDC_BEGIN)), std::to_string(begin));
  EXPECT_EQ(TextOf(GetDlgItem(parameters, IDC_END)), std::to_string(begin + 3000));
  EXPECT_EQ(AllocationCount(), 0) << "the scan's blocks were not freed before the analysis";
  EXPECT_FALSE(Scanning());
  ASSERT_TRUE(PressAndWaitUntilClosed(parameters, IDOK));
  ASSERT_TRUE(WaitForIdle());
  // The detailed image of the span: 3 s at 176,400 bytes a second.
  ASSERT_TRUE(Display().exists());
  EXPECT_EQ(Analysis().beginMs, static_cast<float>(begin));
  EXPECT_EQ(Analysis().byteCount, 3u * 176400u);
  EXPECT_GT(Analysis().columnCount, 200);
  EXPECT_TRUE(IsWindowEnabled(MainWindow().playWindowButton));
  EXPECT_TRUE(MenuEnabled(window(), IDM_SAVE_WAVE));
}

TEST_F(FileScan, AnalysisTooLargeForMemoryIsScannedWithoutTheDialog) {
  const std::string tone = ToneFile("large.wav", 8.0, 11025, 1);
  const uint64_t budget = MainWindow().memory.budget;
  MainWindow().memory.budget = 1000;  // less than the samples
  ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
  ASSERT_TRUE(Choose("Open WAV File", tone).empty());
  HWND parameters = WaitForDialog(kParametersCaption);
  ASSERT_NE(parameters, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(parameters, IDOK));
  HWND box = WaitForDialog("Not Enough Memory");
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK));
  // The scan starts at once, with no file choice and no dialog.
  ASSERT_TRUE(WaitUntil(Scanning)) << "the hand-over did not start a scan";
  EXPECT_EQ(WaitForDialog(kScanCaption, GetCurrentProcessId(), 300), nullptr);
  EXPECT_EQ(Mode().lowResolutionScan, 0);
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return LastFileScan().columns > 20; }); }));
  ASSERT_TRUE(ui_->Post(WM_COMMAND, IDB_STOP, 0));
  // "Analysis On" was set by the hand-over: the parameters come back for the stop point.
  parameters = WaitForDialog(kParametersCaption);
  MainWindow().memory.budget = budget;
  ASSERT_NE(parameters, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(parameters, IDC_BEGIN)), "0");
  EXPECT_EQ(TextOf(GetDlgItem(parameters, IDC_END)), "24000");  // three 8 s halves
  ASSERT_TRUE(PressAndWaitUntilClosed(parameters, IDOK));
  ASSERT_TRUE(WaitForIdle());
  ASSERT_TRUE(Display().exists());
  EXPECT_EQ(Analysis().byteCount, 8u * 22050u) << "the end is held at the end of the data";
}

TEST_F(FileScan, TransformThatCannotBeSetUpStopsTheDevice) {
  const std::string tone = ToneFile("fault.wav", 5.0, 11025, 1);
  HWND dialog = OpenScanDialog(tone);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(ClickAndWait(dialog, IDC_ANALYSIS_OFF));
  ScanFaults().failTransformSetup = true;
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  HWND box = WaitForDialog("Scanning Complete", GetCurrentProcessId(), 4000);
  ScanFaults().failTransformSetup = false;
  ASSERT_NE(box, nullptr) << "the scan did not end at once";
  EXPECT_FALSE(Scanning()) << "the device still played";
  EXPECT_EQ(LastFileScan().columns, 0);
  ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK));
  ASSERT_TRUE(WaitForIdle());
  ExpectIdleAndReleased();
  EXPECT_LT(SinkLevel(300), 50.0) << "the sound went on";
}

TEST_F(FileScan, ScopeDisplayDrawsBarsInAFixedWindowAndScrollGivesTheFrameBack) {
  const std::string tone = ToneFile("scope.wav", 3.0, 11025, 1);
  HWND dialog = OpenScanDialog(tone);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(ClickAndWait(dialog, IDC_DISPLAY_SCOPE));
  ASSERT_TRUE(ClickAndWait(dialog, IDC_ANALYSIS_OFF));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return LastFileScan().columns > 10; }); }));
  const LONG style = GetWindowLongA(window(), GWL_STYLE);
  EXPECT_FALSE(style & WS_THICKFRAME) << "the Scope window can still be resized";
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_TRUE(IsWindowEnabled(MainWindow().toggleGridButton)) << "Toggle Grid is off during a Scope scan";
  EXPECT_TRUE(IsWindowEnabled(MainWindow().stopButton));
  // The averaged bars stand in the display bitmap in palette index 60.
  ASSERT_TRUE(Display().exists());
  const DisplayBitmap& d = Display();
  int barPixels = 0;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) barPixels += d.bits[static_cast<size_t>(y) * d.stride + x] == 60;
  }
  EXPECT_GT(barPixels, 20);
  HWND box = WaitForDialog("Scanning Complete", GetCurrentProcessId(), 8000);
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK));
  ASSERT_TRUE(WaitForIdle());
  ExpectIdleAndReleased();
  EXPECT_FALSE(Display().exists());

  // The next scan in "Scroll" gives the window its resizable frame back.
  dialog = OpenScanDialog(tone);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(ClickAndWait(dialog, IDC_DISPLAY_SCROLL));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitUntil(Scanning));
  EXPECT_TRUE(GetWindowLongA(window(), GWL_STYLE) & WS_THICKFRAME);
  EXPECT_FALSE(IsWindowEnabled(MainWindow().toggleGridButton));
  ASSERT_TRUE(ui_->Post(WM_COMMAND, IDB_STOP, 0));
  box = WaitForDialog("Scanning Complete", GetCurrentProcessId());
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK));
  ASSERT_TRUE(WaitForIdle());
  ExpectIdleAndReleased();
}

// Last: closing the window during a scan releases the device, the ring and the blocks.
TEST_F(FileScan, ClosingDuringAScanReleasesEverything) {
  const std::string tone = ToneFile("close.wav", 6.0, 11025, 1);
  HWND dialog = OpenScanDialog(tone);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return LastFileScan().columns > 20; }); }));
  ASSERT_TRUE(ui_->Post(WM_CLOSE));
  int loopResult = -1;
  ASSERT_TRUE(ui_->WaitForExit(loopResult));
  EXPECT_EQ(AllocationCount(), 0);
  EXPECT_EQ(hl::Capture().outputDevice, nullptr);
}

}  // namespace
}  // namespace hl::e2e
