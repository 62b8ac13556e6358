// "S&can Audio" and "&Record Audio" with the sound card of the test desktop: a PulseAudio null
// sink whose monitor is the default source, so a tone this test plays into the sink is what
// the program captures. Each suite is one life of the main window (one process).
#include <gtest/gtest.h>

#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/analysis_settings.h"
#include "app/analysis_win32.h"
#include "app/file_analysis_win32.h"
#include "app/main_window_win32.h"
#include "app/handles_win32.h"
#include "app/operating_mode_win32.h"
#include "audio/capture.h"
#include "audio/capture_state_win32.h"
#include "audio/scan_display_win32.h"
#include "display/palette_win32.h"
#include "display/view_win32.h"
#include "dsp/column_renderer.h"
#include "dsp/fft_engine.h"
#include "files/wave_format.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl::e2e {
namespace {

constexpr char kScanCaption[] = "Scan Audio";
constexpr char kRecordCaption[] = "Record Audio";
constexpr char kParametersCaption[] = "Choose Analysis Parameters";
constexpr char kChildVariable[] = "HL_CAPTURE_NO_SOUND_CHILD";

// ---------------------------------------------------------------------------
// Files.

uint32_t ReadU32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// The FFT bin with the highest level in a 512-sample frame of 16-bit samples at `first`.
int LoudestBin(const uint8_t* first) {
  FftEngine fft;
  if (fft.Init(9, 22050, -1) != 0) return -1;
  int16_t frame[512];
  for (int i = 0; i < 512; ++i) frame[i] = static_cast<int16_t>(first[2 * i] | (first[2 * i + 1] << 8));
  fft.Transform(frame, 0);
  int best = 1;
  for (int b = 2; b < 256; ++b) {
    if (frame[b] > frame[best]) best = b;
  }
  fft.Release();
  return best;
}

// ---------------------------------------------------------------------------
// A tone played into the null sink from the test thread.

class TonePlayer {
 public:
  // A sine at 11025 Hz, 16-bit mono, amplitude -26 dB of full scale, looped for as long as a
  // test needs it. The default is 1 kHz (a second holds exactly 1000 periods, so the loop
  // has no seam); `periods` in `loopSamples` samples gives other tones.
  bool Start(int periods = 1000, int loopSamples = 11025) {
    samples_.resize(static_cast<size_t>(loopSamples));
    for (size_t i = 0; i < samples_.size(); ++i) {
      samples_[i] = static_cast<int16_t>(1640.0 * std::sin(2.0 * 3.14159265358979 * periods * i / loopSamples));
    }
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = 11025;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 2;
    f.nAvgBytesPerSec = 22050;
    if (waveOutOpen(&device_, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return false;
    header_ = WAVEHDR{};
    header_.lpData = reinterpret_cast<LPSTR>(samples_.data());
    header_.dwBufferLength = static_cast<DWORD>(samples_.size() * 2);
    header_.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header_.dwLoops = 1000;
    if (waveOutPrepareHeader(device_, &header_, sizeof header_) != MMSYSERR_NOERROR) return false;
    if (waveOutWrite(device_, &header_, sizeof header_) != MMSYSERR_NOERROR) return false;
    // Let the sound reach the sink's monitor before anything listens.
    Sleep(300);
    return true;
  }
  ~TonePlayer() {
    if (!device_) return;
    waveOutReset(device_);
    waveOutUnprepareHeader(device_, &header_, sizeof header_);
    waveOutClose(device_);
  }

 private:
  HWAVEOUT device_ = nullptr;
  WAVEHDR header_{};
  std::vector<int16_t> samples_;
};

// ---------------------------------------------------------------------------
// The window.

bool CaptureIdle() {
  return ReadOnWindowThread([] {
    const CaptureState& c = hl::Capture();
    return !c.captureActive && !c.recording && !c.scanRunning && !Mode().audioInputActive;
  });
}

// Bytes the card has delivered so far: the returned buffers and what it has written into
// the buffer it holds (Wine fills the queued buffer as the sound arrives).
uint32_t DeliveredBytes() {
  const CaptureState& c = hl::Capture();
  const WAVEHDR* h = reinterpret_cast<const WAVEHDR*>(c.header);
  return c.totalBytesCaptured + (h ? h->dwBytesRecorded : 0u);
}

// Under load Wine's capture can start up to a second late; the tests judge the image only
// once the card delivers and the latency (250 ms) keeps the window behind it.
bool WaitForDelivery(uint32_t bytes, DWORD timeoutMs = kWaitMs) {
  return WaitUntil([&] { return ReadOnWindowThread([&] { return hl::Capture().captureActive && DeliveredBytes() >= bytes; }); },
                   timeoutMs);
}

// Sets the latency of a scan or record dialog with its scroll bar's thumb.
bool SetLatency(HWND dialog, int ms) {
  HWND bar = GetDlgItem(dialog, IDC_LATENCY_BAR);
  PostMessageA(dialog, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, ms), reinterpret_cast<LPARAM>(bar));
  return WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_LATENCY)) == std::to_string(ms); });
}

// The palette index a screen colour stands for (the highest index of that colour), -1 for
// a colour of no palette entry.
class ColourIndex {
 public:
  ColourIndex() {
    PALETTEENTRY entries[kPaletteSize];
    GetPaletteEntries(Drawing().palette, 0, kPaletteSize, entries);
    for (int i = 0; i < kPaletteSize; ++i) {
      colours_[i] = (static_cast<uint32_t>(entries[i].peRed) << 16) | (entries[i].peGreen << 8) | entries[i].peBlue;
    }
  }
  int Of(uint32_t rgb) const {
    for (int i = kPaletteSize - 1; i >= 0; --i) {
      if (colours_[i] == (rgb & 0xFFFFFF)) return i;
    }
    return -1;
  }

 private:
  uint32_t colours_[kPaletteSize] = {};
};

class CaptureWindowSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ui_ = new MainWindowThread;
    started_ = ui_->Start(startError_);
  }
  static void TearDownTestSuite() {
    delete ui_;
    ui_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(started_) << startError_;
    ASSERT_TRUE(ui_->running()) << "the main window's thread has ended before this test";
    ASSERT_TRUE(WaitUntil(CaptureIdle)) << "a capture still runs before the test";
  }
  void TearDown() override {
    if (ui_ && ui_->running() && !CaptureIdle()) {
      ui_->PostCommand(IDB_STOP);
      WaitUntil(CaptureIdle);
    }
    for (const std::string& caption : CloseOpenDialogs()) {
      ADD_FAILURE() << "the test left the dialog \"" << caption << "\" open";
    }
  }
  static HWND window() { return ui_->window(); }

  // Opens dialog `caption` with command `id` (after a chooser for a recording).
  static HWND OpenDialog(int id, const char* caption, const std::string& recordPath = "") {
    if (!ui_->PostCommand(id)) return nullptr;
    if (!recordPath.empty()) {
      const std::string problem = Choose("Save Windows Wave File", recordPath);
      if (!problem.empty()) {
        ADD_FAILURE() << problem;
        return nullptr;
      }
    }
    return WaitForDialog(caption);
  }

  // A capture has started (after the dialog's OK) and drawn `columns` columns.
  static bool WaitForColumns(int columns, DWORD timeoutMs = kWaitMs) {
    return WaitUntil(
        [&] { return ReadOnWindowThread([&] { return hl::Capture().scanRunning && hl::Capture().columnCount >= columns; }); },
        timeoutMs);
  }

  static MainWindowThread* ui_;
  static bool started_;
  static std::string startError_;
};

MainWindowThread* CaptureWindowSuite::ui_ = nullptr;
bool CaptureWindowSuite::started_ = false;
std::string CaptureWindowSuite::startError_;

// ===========================================================================
// The live scan.

class CaptureLiveScan : public CaptureWindowSuite {};

TEST_F(CaptureLiveScan, DialogRulesAndCancelLeaveTheSettings) {
  const AnalysisSettings before = Settings();
  HWND dialog = OpenDialog(IDM_SCAN_AUDIO, kScanCaption);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(IsChecked(dialog, IDC_RATE_11K));
  EXPECT_TRUE(IsChecked(dialog, IDC_RES_8_BIT));
  EXPECT_TRUE(IsChecked(dialog, IDC_DISPLAY_SCROLL));
  EXPECT_TRUE(IsChecked(dialog, IDC_PALETTE_CB));
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_LATENCY)), "60");
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_ATTENUATION)), "0");
  // Placed 30 pixels above the screen's centre.
  RECT r;
  GetWindowRect(dialog, &r);
  const DialogPlace place = ScanDialogPlace(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                            r.right - r.left, r.bottom - r.top);
  EXPECT_EQ(r.left, place.x);
  EXPECT_EQ(r.top, place.y);

  // Scope takes the colours and the attenuation out of use, not the latency.
  ASSERT_TRUE(Click(dialog, IDC_DISPLAY_SCOPE));
  // The dialog's thread greys the controls one after the other: once the first is grey, a
  // message sent to the dialog returns only after the click's handler has returned.
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(dialog, IDC_PALETTE_WB)); }));
  DWORD_PTR ignored = 0;
  ASSERT_TRUE(SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &ignored));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_ATTENUATION_BAR)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_ATTENUATION)));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_LATENCY_BAR)));
  ASSERT_TRUE(Click(dialog, IDC_DISPLAY_SCROLL));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_PALETTE_WB)) != 0; }));

  // The latency bar: steps of 1, held to 0..250, the thumb sets it.
  HWND bar = GetDlgItem(dialog, IDC_LATENCY_BAR);
  HWND latency = GetDlgItem(dialog, IDC_LATENCY);
  auto scroll = [&](WORD code, WORD position, const char* expected) {
    PostMessageA(dialog, WM_HSCROLL, MAKEWPARAM(code, position), reinterpret_cast<LPARAM>(bar));
    return WaitUntil([&] { return TextOf(latency) == expected && GetScrollPos(bar, SB_CTL) == std::atoi(expected); });
  };
  EXPECT_TRUE(scroll(SB_LINERIGHT, 0, "61"));
  EXPECT_TRUE(scroll(SB_PAGELEFT, 0, "60"));
  EXPECT_TRUE(scroll(SB_THUMBTRACK, 250, "250"));
  EXPECT_TRUE(scroll(SB_PAGERIGHT, 0, "250"));
  EXPECT_TRUE(scroll(SB_THUMBPOSITION, 0, "0"));
  EXPECT_TRUE(scroll(SB_LINELEFT, 0, "0"));
  ASSERT_TRUE(Click(dialog, IDC_RATE_44K));
  ASSERT_TRUE(Click(dialog, IDC_PALETTE_BW));

  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_CANCEL));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_TRUE(CaptureIdle());
  EXPECT_EQ(Settings().latencyMs, before.latencyMs);
  EXPECT_EQ(Settings().sampleRateChoice, before.sampleRateChoice);
  EXPECT_EQ(Settings().palette, before.palette);
  EXPECT_EQ(Settings().displayType, before.displayType);
}

TEST_F(CaptureLiveScan, ScrollDrawsTheToneOnItsRowAndKeepsPace) {
  const int allocationsBefore = AllocationCount();
  TonePlayer tone;
  ASSERT_TRUE(tone.Start()) << "the test could not play its tone";
  HWND dialog = OpenDialog(IDM_SCAN_AUDIO, kScanCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Click(dialog, IDC_RATE_11K));
  ASSERT_TRUE(Click(dialog, IDC_RES_16_BIT));
  ASSERT_TRUE(SetLatency(dialog, 250));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitForColumns(1)) << "the scan draws no columns";
  const CaptureState& c = hl::Capture();
  EXPECT_EQ(c.sampleRate, 11025);
  EXPECT_EQ(c.bitsPerSample, 16);
  EXPECT_EQ(c.bytesPerHalf, 352800);  // 16 s halves
  EXPECT_EQ(c.scanFlag, 1);
  // The first column may be drawn before the command has set the buttons and the menu.
  EXPECT_TRUE(WaitUntil([&] {
    return IsWindowEnabled(MainWindow().stopButton) && !IsWindowEnabled(MainWindow().toggleGridButton) &&
           !MenuEnabled(window(), IDM_ANALYZE_FILE) && !MenuEnabled(window(), IDM_EXIT);
  }));
  EXPECT_TRUE(IsWindowEnabled(MainWindow().stopButton));
  EXPECT_FALSE(IsWindowEnabled(MainWindow().toggleGridButton));
  EXPECT_FALSE(MenuEnabled(window(), IDM_ANALYZE_FILE));
  EXPECT_FALSE(MenuEnabled(window(), IDM_EXIT));

  // Once the card delivers, the first half holds the tone at about the amplitude it was
  // played with (1640; the sound server's resampling adds a little).
  ASSERT_TRUE(WaitForDelivery(11025)) << "the card delivered nothing";
  const int toneColumn = c.columnCount;
  int peak = 0;
  for (int i = 0; i < 5000; ++i) {
    const int v = static_cast<int16_t>(c.firstHalf[2 * i] | (c.firstHalf[2 * i + 1] << 8));
    peak = std::max(peak, std::abs(v));
  }
  EXPECT_NEAR(peak, 1640, 250) << "the capture holds no tone";

  // Pace: one column per 10 ms of the clock, measured over 2 s.
  const int firstCount = c.columnCount;
  const DWORD firstTime = timeGetTime();
  Sleep(2000);
  const int lastCount = c.columnCount;
  const DWORD lastTime = timeGetTime();
  const double expected = (lastTime - firstTime) / 10.0;
  EXPECT_NEAR((lastCount - firstCount) / expected, 1.0, 0.1)
      << lastCount - firstCount << " columns in " << lastTime - firstTime << " ms";
  EXPECT_NEAR(c.measuredColumnTimeMs, 10.0f, 1.0f);

  // The tone's row on the screen: 1000 Hz at 11025 / 512 Hz per bin is bin 46.44, between
  // bins 46 and 47 and nearer 46. The columns drawn since the card delivered have their
  // highest palette index on one of the two rows, and most on bin 46's, window row 299 - 46
  // (the two bins' levels differ by less than the spread from frame to frame of a live
  // input). A loaded machine can leave a gap in the tone the test itself plays into the sound
  // server, so one column in five may miss it; the envelope strip is drawn in every column.
  RECT area{0, 0, ImageAreaWidth(), ImageAreaHeight()};
  ClientToScreen(window(), reinterpret_cast<POINT*>(&area.left));
  ClientToScreen(window(), reinterpret_cast<POINT*>(&area.right));
  e2e::Capture shot;
  ASSERT_TRUE(CaptureScreen(area, shot));
  const int drawn = c.columnCount;
  WriteBmp(shot, ArtifactFolder() + "/capture-scroll-scan.bmp");
  ASSERT_LT(drawn, ImageAreaWidth()) << "the image scrolled before the test looked at it";
  const ColourIndex palette;
  int checked = 0, onTone = 0, onBin46 = 0;
  for (int x = toneColumn + 30; x < drawn - 8; x += 23) {
    int bestRow = -1, best = -1;
    for (int y = kEnvelopeRows; y < 300; ++y) {
      const int index = palette.Of(shot.at(x, y));
      if (index > best) {
        best = index;
        bestRow = y;
      }
    }
    const bool toneRow = bestRow == 299 - 46 || bestRow == 299 - 47;
    if (toneRow && best > 100) ++onTone;
    if (bestRow == 299 - 46 && best > 100) ++onBin46;
    if (!toneRow || best <= 100) {
      std::printf("column %d: brightest row %d, palette index %d\n", x, bestRow, best);
    }
    // The envelope strip: the centre row and the separator.
    EXPECT_EQ(palette.Of(shot.at(x, 21)), 2) << "column " << x;
    EXPECT_EQ(palette.Of(shot.at(x, 43)), 1) << "column " << x;
    ++checked;
  }
  EXPECT_GE(checked, 5);
  EXPECT_GE(onTone * 5, checked * 4) << onTone << " of " << checked << " columns show the tone";
  EXPECT_GE(onBin46 * 4, onTone * 3) << onBin46 << " of " << onTone << " tone columns on bin 46";

  ASSERT_TRUE(ui_->PostCommand(IDB_STOP));
  EXPECT_EQ(TakeBox("Scanning Complete"), "Audio Scanning Complete.  No wave data has been saved.");
  ASSERT_TRUE(WaitUntil(CaptureIdle));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(AllocationCount(), allocationsBefore) << "the scan left memory held";
  EXPECT_TRUE(MenuEnabled(window(), IDM_ANALYZE_FILE));
  EXPECT_FALSE(IsWindowEnabled(MainWindow().stopButton));
  EXPECT_FALSE(Mode().dataPresent);
}

TEST_F(CaptureLiveScan, ScopeBarsPeakAtTheTonesBin) {
  const int allocationsBefore = AllocationCount();
  // The centre of bin 46: 46 x 11025 / 512 = 990.5 Hz, 46 periods in every 512 samples. (1 kHz
  // lies at bin 46.44, where bins 46 and 47 differ by less than the frame-to-frame spread.)
  TonePlayer tone;
  ASSERT_TRUE(tone.Start(46 * 21, 512 * 21)) << "the test could not play its tone";
  HWND dialog = OpenDialog(IDM_SCAN_AUDIO, kScanCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Click(dialog, IDC_RATE_11K));
  ASSERT_TRUE(Click(dialog, IDC_RES_16_BIT));
  ASSERT_TRUE(Click(dialog, IDC_DISPLAY_SCOPE));
  ASSERT_TRUE(SetLatency(dialog, 250));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitForColumns(1)) << "the scope draws no frames";
  ASSERT_TRUE(WaitForDelivery(11025)) << "the card delivered nothing";
  // Four frames of the tone fill the history.
  const int deliveredAt = hl::Capture().columnCount;
  ASSERT_TRUE(WaitForColumns(deliveredAt + 15));
  EXPECT_TRUE(IsWindowEnabled(MainWindow().toggleGridButton));
  EXPECT_EQ(GetWindowLongPtrA(window(), GWL_STYLE) & WS_THICKFRAME, 0) << "the Scope window can be resized";

  const DisplayBitmap& d = Display();
  ASSERT_TRUE(d.exists());
  ASSERT_EQ(d.width, ImageAreaWidth());
  const ScopeGeometry g = CurrentScopeGeometry();
  int bestBin = -1, bestHeight = -1;
  for (int i = 0; i < 256; ++i) {
    const int x = g.x0 + 2 * i;
    int height = 0;
    while (g.baseline - height >= 0 && d.bits[static_cast<size_t>(g.baseline - height) * d.stride + x] == 60) ++height;
    if (height > bestHeight) {
      bestHeight = height;
      bestBin = i;
    }
    // Nothing between the bars, and nothing below the baseline.
    ASSERT_NE(d.bits[static_cast<size_t>(g.baseline) * d.stride + x + 1], 60) << "bin " << i;
  }
  EXPECT_EQ(bestBin, 46);
  EXPECT_GT(bestHeight, 100);  // a level of about 290, 4 units per dB: about 230 rows
  EXPECT_LE(bestHeight, g.baseline);

  // Escape stops a scan as "Stop" does.
  ASSERT_TRUE(ui_->Post(WM_KEYDOWN, VK_ESCAPE, 0));
  EXPECT_EQ(TakeBox("Scanning Complete"), "Audio Scanning Complete.  No wave data has been saved.");
  ASSERT_TRUE(WaitUntil(CaptureIdle));
  ASSERT_TRUE(ui_->Flush());
  // The Scope's display bitmap stays on screen until the next command replaces it.
  EXPECT_EQ(AllocationCount(), allocationsBefore + 1);
}

// The window closed in the middle of a live scan ends it without its completion message and
// releases everything. The window's life ends here: a suite, and so a process, of its own.
class CaptureLiveScanClosing : public CaptureWindowSuite {};

TEST_F(CaptureLiveScanClosing, ClosingTheWindowEndsTheScanAndReleasesEverything) {
  HWND dialog = OpenDialog(IDM_SCAN_AUDIO, kScanCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Click(dialog, IDC_DISPLAY_SCOPE));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitForColumns(5));
  ASSERT_TRUE(ui_->Post(WM_CLOSE));
  int loopResult = -1;
  ASSERT_TRUE(ui_->WaitForExit(loopResult)) << "the window did not close";
  EXPECT_TRUE(CaptureIdle());
  EXPECT_EQ(hl::Capture().inputDevice, nullptr);
  EXPECT_FALSE(Display().exists());
  EXPECT_EQ(AllocationCount(), 0) << "the close left memory held";
}

// ===========================================================================
// Recording.

class CaptureRecording : public CaptureWindowSuite {};

TEST_F(CaptureRecording, TenSecondsAt22050Hz16BitFillTheFileAndStayForPlayback) {
  const int allocationsBefore = AllocationCount();
  const std::string path = ScratchFolder() + "ten.wav";
  TonePlayer tone;
  ASSERT_TRUE(tone.Start()) << "the test could not play its tone";
  HWND dialog = OpenDialog(IDM_RECORD_AUDIO, kRecordCaption, path);
  ASSERT_NE(dialog, nullptr);
  // The command's presets: 10 s, 22050 Hz, 16 bit.
  EXPECT_TRUE(IsChecked(dialog, IDC_RECORD_10));
  EXPECT_TRUE(IsChecked(dialog, IDC_RATE_22K));
  EXPECT_TRUE(IsChecked(dialog, IDC_RES_16_BIT));
  ASSERT_TRUE(SetLatency(dialog, 250));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitForColumns(20));
  EXPECT_EQ(hl::Capture().areaBytes, 441000u);
  EXPECT_EQ(hl::Capture().samplesPerColumn, 221);
  EXPECT_EQ(hl::Capture().plannedColumns, 995);
  ASSERT_TRUE(WaitUntil(CaptureIdle, 20000)) << "the recording did not end";
  ASSERT_TRUE(ui_->Flush());

  const std::vector<uint8_t> file = ReadWholeFile(path);
  ASSERT_GE(file.size(), 46u);
  const uint32_t captured = hl::Capture().totalBytesCaptured;
  EXPECT_EQ(captured, 441000u) << "the card did not deliver the whole buffer";
  EXPECT_EQ(file.size(), 46u + captured);
  EXPECT_EQ(ReadU32(file, 4), captured + 38);
  EXPECT_EQ(ReadU32(file, 42), captured);
  EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
  EXPECT_EQ(ReadU32(file, 24), 22050u);
  // The tone: 1000 Hz at 22050 / 512 Hz per bin is bin 23.
  ASSERT_GT(file.size(), 46u + 88200u + 1024u);
  EXPECT_EQ(LoudestBin(file.data() + 46 + 88200), 23);
  EXPECT_EQ(LoudestBin(file.data() + file.size() - 1024), 23);

  // The recording stays as the sample buffer, its image in the display bitmap.
  const AnalysisState& a = Analysis();
  EXPECT_TRUE(Mode().sampleBufferHeld);
  EXPECT_TRUE(Mode().dataPresent);
  EXPECT_EQ(a.dataLength, captured);
  EXPECT_EQ(a.columnCount, hl::Capture().columnCount);
  // Samples per column follow the column time the loop measured.
  EXPECT_EQ(hl::Capture().samplesPerColumn,
            static_cast<int>(std::floor(22050.0 * hl::Capture().measuredColumnTimeMs * 0.001 + 0.5)));
  EXPECT_GT(a.columnCount, 500);
  EXPECT_TRUE(IsWindowEnabled(MainWindow().playWindowButton));
  EXPECT_TRUE(IsWindowEnabled(MainWindow().toggleGridButton));
  EXPECT_FALSE(IsWindowEnabled(MainWindow().stopButton));
  EXPECT_EQ(IsWindowEnabled(MainWindow().playButton) != 0, a.columnCount > ImageAreaWidth());
  EXPECT_TRUE(MenuEnabled(window(), IDM_SAVE_WAVE));
  EXPECT_TRUE(MenuEnabled(window(), IDM_PARAMETERS_CHANGE));
  const DisplayBitmap& d = Display();
  ASSERT_TRUE(d.exists());
  EXPECT_EQ(d.height, 300);
  // At 22050 Hz the 1 kHz tone is bin 23.2: row 276, or row 275 (bin 24) where a live
  // frame's jitter tips the two, in the columns of the recording's second half. A loaded
  // machine can leave a gap in the tone the test itself plays into the sound server; the
  // image must then agree with the file: a column off the tone's rows is right only where
  // the recorded samples around its frame fall silent.
  const int perColumn = hl::Capture().samplesPerColumn;
  ASSERT_GT(perColumn, 0);
  const size_t samples = (file.size() - 46) / 2;
  auto silentNear = [&](int x) {
    const size_t from = static_cast<size_t>(std::max(0, x * perColumn - 512));
    const size_t to = std::min(samples, static_cast<size_t>(x + 1) * perColumn + 1024);
    for (size_t block = from; block + 64 <= to; block += 32) {
      double sum = 0;
      for (size_t i = block; i < block + 64; ++i) {
        const double v = static_cast<int16_t>(file[46 + 2 * i] | (file[46 + 2 * i + 1] << 8));
        sum += v * v;
      }
      if (std::sqrt(sum / 64) < 1640 / 10) return true;
    }
    return false;
  };
  for (int x = a.columnCount / 2; x < a.columnCount - 30; x += 41) {
    int bestRow = -1, best = -1;
    for (int y = kEnvelopeRows; y < 300; ++y) {
      const int v = d.bits[static_cast<size_t>(y) * d.stride + x];
      if (v > best) {
        best = v;
        bestRow = y;
      }
    }
    const bool toneRow = bestRow == 299 - 23 || bestRow == 299 - 24;
    if (!toneRow) std::printf("column %d: brightest row %d; the recording falls silent there: %d\n", x, bestRow, silentNear(x));
    EXPECT_TRUE(toneRow || silentNear(x)) << "column " << x << ": row " << bestRow << " over a recorded tone";
  }
  // Sample buffer and display bitmap are held, nothing else.
  EXPECT_EQ(AllocationCount(), allocationsBefore + 2);
}

TEST_F(CaptureRecording, CancelledDialogLeavesNoFile) {
  const std::string path = ScratchFolder() + "cancelled.wav";
  HWND dialog = OpenDialog(IDM_RECORD_AUDIO, kRecordCaption, path);
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(Exists(path)) << "the file is created only once the card records";
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_CANCEL));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_FALSE(Exists(path));
  EXPECT_TRUE(CaptureIdle());
}

// Regression: "&Record Audio" created the chosen file before its dialog and deleted it on
// Cancel, so an existing file of that name was destroyed although nothing was recorded.
TEST_F(CaptureRecording, CancelLeavesAnExistingFileByteIdentical) {
  const std::string path = ScratchFolder() + "kept.wav";
  const std::vector<uint8_t> old = {'R', 'I', 'F', 'F', 'k', 'e', 'p', 't', 0, 1, 2, 3};
  ASSERT_TRUE(WriteWholeFile(path, old));
  HWND dialog = OpenDialog(IDM_RECORD_AUDIO, kRecordCaption, path);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ReadWholeFile(path), old) << "the file changed while the dialog was open";
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_CANCEL));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(ReadWholeFile(path), old);
  EXPECT_TRUE(CaptureIdle());
}

// Regression: a fixed-length recording can draw more columns than planned; those beyond the
// display bitmap were counted though not drawn, so the scroll range reached past the bitmap
// and showed stale pixels. With the screen taken as narrow, the bitmap is the planned 995
// columns wide and a recording whose polls keep their 10 ms pace draws about 1000.
TEST_F(CaptureRecording, FixedLengthCountsOnlyTheColumnsItsBitmapHolds) {
  const std::string path = ScratchFolder() + "narrow.wav";
  const int screenWidth = MainWindow().metrics.screenWidth;
  MainWindow().metrics.screenWidth = 320;
  HWND dialog = OpenDialog(IDM_RECORD_AUDIO, kRecordCaption, path);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  const bool started = WaitForColumns(1);
  const bool ended = WaitUntil(CaptureIdle, 30000);
  MainWindow().metrics.screenWidth = screenWidth;
  ASSERT_TRUE(started);
  ASSERT_TRUE(ended) << "the recording did not end";
  ASSERT_TRUE(ui_->Flush());
  const DisplayBitmap& d = Display();
  ASSERT_TRUE(d.exists());
  ASSERT_EQ(d.width, hl::Capture().plannedColumns);
  std::printf("planned %d columns, counted %d\n", hl::Capture().plannedColumns, Analysis().columnCount);
  EXPECT_LE(Analysis().columnCount, d.width);
  EXPECT_LE(View().horizontalRange + ImageAreaWidth(), d.width);
  EXPECT_LE(View().horizontalOffset + ImageAreaWidth(), d.width);
}

TEST_F(CaptureRecording, AnyLengthStoppedAfterThreeSecondsIsAnalysed) {
  const std::string path = ScratchFolder() + "any.wav";
  TonePlayer tone;
  ASSERT_TRUE(tone.Start()) << "the test could not play its tone";
  HWND dialog = OpenDialog(IDM_RECORD_AUDIO, kRecordCaption, path);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Click(dialog, IDC_RECORD_ANY));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitForColumns(1));
  ASSERT_TRUE(WaitForDelivery(22050)) << "the card delivered nothing";
  Sleep(2500);
  ASSERT_TRUE(ui_->PostCommand(IDB_STOP));
  // The file goes to the analysis, which asks for its parameters.
  HWND parameters = WaitForDialog(kParametersCaption);
  ASSERT_NE(parameters, nullptr) << "the recording was not handed to the analysis";
  // By now the header has been written with everything the card returned.
  const std::vector<uint8_t> file = ReadWholeFile(path);
  const uint32_t captured = hl::Capture().totalBytesCaptured;
  EXPECT_GT(captured, 2u * 44100u);  // more than 2 s at 22050 Hz 16 bit
  EXPECT_LT(captured, 8u * 44100u);
  ASSERT_EQ(file.size(), 46u + captured);
  EXPECT_EQ(ReadU32(file, 4), captured + 38);
  EXPECT_EQ(ReadU32(file, 42), captured);
  EXPECT_EQ(TextOf(GetDlgItem(parameters, IDC_SAMPLE_RATE)), "22050");
  ASSERT_TRUE(PressAndWaitUntilClosed(parameters, IDOK));
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return !Mode().fileAnalysisInProgress && !Mode().rendering; }); }));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(Display().exists());
  EXPECT_EQ(TextOf(window()), "any.wav");
  // The analysed image shows the tone at bin 23.2 in its middle column: row 276, or row 275
  // (bin 24) where the recorded frame's jitter tips the two, as in the recording above.
  const DisplayBitmap& d = Display();
  const int x = Analysis().columnCount / 2;
  int bestRow = -1, best = -1;
  for (int y = kEnvelopeRows; y < d.height; ++y) {
    const int v = d.bits[static_cast<size_t>(y) * d.stride + x];
    if (v > best) {
      best = v;
      bestRow = y;
    }
  }
  EXPECT_TRUE(bestRow == d.height - 1 - 23 || bestRow == d.height - 1 - 24) << "row " << bestRow;
}

// Closing the window in the middle of a recording: the close step stops the device, the last
// half is written and the header gets the true length. The window's life ends here: a suite,
// and so a process, of its own.
class CaptureRecordingClosing : public CaptureWindowSuite {};

TEST_F(CaptureRecordingClosing, ClosingTheWindowKeepsEveryCapturedByte) {
  const std::string path = ScratchFolder() + "closed.wav";
  TonePlayer tone;
  ASSERT_TRUE(tone.Start()) << "the test could not play its tone";
  HWND dialog = OpenDialog(IDM_RECORD_AUDIO, kRecordCaption, path);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Click(dialog, IDC_RECORD_ANY));
  ASSERT_TRUE(Click(dialog, IDC_RATE_11K));
  ASSERT_TRUE(Click(dialog, IDC_RES_8_BIT));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitForColumns(1));
  ASSERT_TRUE(WaitForDelivery(11025)) << "the card delivered nothing";
  const uint32_t deliveredBeforeClose = DeliveredBytes();
  ASSERT_TRUE(ui_->Post(WM_CLOSE));
  int loopResult = -1;
  ASSERT_TRUE(ui_->WaitForExit(loopResult)) << "the window did not close";
  const uint32_t captured = hl::Capture().totalBytesCaptured;
  EXPECT_GE(captured, deliveredBeforeClose);
  const std::vector<uint8_t> file = ReadWholeFile(path);
  ASSERT_EQ(file.size(), 46u + captured);
  EXPECT_EQ(ReadU32(file, 4), captured + 38);
  EXPECT_EQ(ReadU32(file, 42), captured);
  EXPECT_EQ(ReadU32(file, 24), 11025u);
  EXPECT_EQ(file[34], 8);  // bits per sample
  EXPECT_EQ(file[32], 1);  // block align
  // 8-bit samples around 128: the tone, not the zeros of an unwritten block.
  int low = 255, high = 0;
  for (size_t i = 46 + 5512; i < file.size(); ++i) {
    low = std::min<int>(low, file[i]);
    high = std::max<int>(high, file[i]);
  }
  EXPECT_NEAR(high, 128 + 1640 / 256, 2);
  EXPECT_NEAR(low, 128 - 1640 / 256, 2);
  EXPECT_EQ(AllocationCount(), 0) << "the close left memory held";
}

// ===========================================================================
// A recording whose process is killed (a crash, Task Manager, the power gone): the file on
// the disk is a wave file of what it holds. The test runs itself again as a child process
// that records; once the child's file holds what the test waits for, the child sets a named
// event and the test terminates it (TerminateProcess), then reads the file back.

constexpr char kKilledChildFlag[] = "--hl-killed-recording-of=";
constexpr UINT kKilledExitCode = 77;

// The test's process id when this process is the child of a kill test, else 0.
DWORD KillingParent() {
  const char* at = std::strstr(GetCommandLineA(), kKilledChildFlag);
  return at ? static_cast<DWORD>(std::strtoul(at + std::strlen(kKilledChildFlag), nullptr, 10)) : 0;
}

std::string KilledRecordingPath(DWORD parent, const char* test) {
  char base[MAX_PATH] = {};
  GetTempPathA(sizeof base, base);
  return std::string(base) + "hl-killed-" + std::to_string(parent) + "-" + test + ".wav";
}

std::string KilledReadyEvent(DWORD parent) { return "hl-killed-recording-ready-" + std::to_string(parent); }

// Runs test `test` of this suite again in a child process and terminates the child once it
// has set the ready event. `recordedMs` is the time from the file's creation to the kill.
::testing::AssertionResult RecordAndKill(const char* test, double& recordedMs) {
  const DWORD self = GetCurrentProcessId();
  const std::string path = KilledRecordingPath(self, test);
  DeleteFileA(path.c_str());
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, KilledReadyEvent(self).c_str());
  if (!ready) return ::testing::AssertionFailure() << "could not create the ready event";
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, sizeof program);
  const std::string output = ScratchFolder() + "killed-child.txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE log = CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  std::string command = std::string("\"") + program + "\" --gtest_filter=CaptureRecordingKilled." + test + " " +
                        kKilledChildFlag + std::to_string(self);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = log;
  PROCESS_INFORMATION child{};
  const BOOL started =
      CreateProcessA(program, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
  if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
  if (!started) {
    CloseHandle(ready);
    return ::testing::AssertionFailure() << "could not start the child, error " << GetLastError();
  }

  // The file appears when the card starts; the event says the child's file holds enough.
  const ULONGLONG begin = GetTickCount64();
  ULONGLONG created = 0;
  DWORD waited = WAIT_TIMEOUT;
  HANDLE either[2] = {ready, child.hProcess};
  while (waited == WAIT_TIMEOUT && GetTickCount64() - begin < 120000) {
    if (!created && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) created = GetTickCount64();
    waited = WaitForMultipleObjects(2, either, FALSE, 20);
  }
  const ULONGLONG killedAt = GetTickCount64();
  TerminateProcess(child.hProcess, kKilledExitCode);
  WaitForSingleObject(child.hProcess, kWaitMs);
  DWORD exitCode = 0;
  GetExitCodeProcess(child.hProcess, &exitCode);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  CloseHandle(ready);
  recordedMs = created ? static_cast<double>(killedAt - created) : 0.0;
  const std::vector<uint8_t> bytes = ReadWholeFile(output);
  const std::string text(bytes.begin(), bytes.end());
  if (waited != WAIT_OBJECT_0) {
    return ::testing::AssertionFailure() << "the child's recording never held enough; the child said:\n" << text;
  }
  if (exitCode != kKilledExitCode) {
    return ::testing::AssertionFailure() << "the child ended with " << exitCode << " before the kill:\n" << text;
  }
  return ::testing::AssertionSuccess();
}

// The file is a wave file of 44100 Hz 16-bit mono whose two lengths are those of the bytes
// it holds.
void ExpectWaveOfWhatItHolds(const std::vector<uint8_t>& file) {
  ASSERT_GE(file.size(), 46u);
  EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
  EXPECT_EQ(std::memcmp(file.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(std::memcmp(file.data() + 38, "data", 4), 0);
  EXPECT_EQ(ReadU32(file, 4), file.size() - 8);
  EXPECT_EQ(ReadU32(file, 42), file.size() - 46);
  EXPECT_EQ(ReadU32(file, 24), 44100u);
  EXPECT_EQ(file[34], 16);
  EXPECT_EQ((file.size() - 46) % 2, 0u) << "a sample cut in two";
  const WaveHeaderInfo info = ReadWaveHeader(file.data(), std::min<size_t>(file.size(), 2048), file.size());
  EXPECT_TRUE(info.wavFlag);
  EXPECT_EQ(info.warning, Message::None);
  EXPECT_EQ(info.dataOffset, 46u);
  EXPECT_EQ(info.dataLength, file.size() - 46);
}

void ReportLoss(const char* what, const std::vector<uint8_t>& file, double recordedMs) {
  const double delivered = recordedMs * 88.2;  // 44100 Hz x 2 bytes, per ms
  const double kept = file.size() >= 46 ? static_cast<double>(file.size() - 46) : 0.0;
  std::printf("%s: killed after %.0f ms of recording (%.0f bytes at 44100 Hz 16 bit); the file keeps %.0f bytes "
              "(%.0f ms), %.0f bytes (%.0f ms) lost\n",
              what, recordedMs, delivered, kept, kept / 88.2, delivered - kept, (delivered - kept) / 88.2);
}

class CaptureRecordingKilled : public CaptureWindowSuite {
 protected:
  static bool InChild() { return KillingParent() != 0; }
  static void SetUpTestSuite() {
    if (InChild()) CaptureWindowSuite::SetUpTestSuite();
  }
  void SetUp() override {
    if (InChild()) CaptureWindowSuite::SetUp();
  }
  void TearDown() override {
    if (InChild()) CaptureWindowSuite::TearDown();
  }

  // The child's part: a recording of `lengthButton` at 44100 Hz 16 bit into the parent's
  // file; the ready event is set once `bytes` sample bytes have been written (read on the
  // window's thread, between messages, so never in the middle of a write and its header).
  static void RecordUntilKilled(const char* test, int lengthButton, uint64_t bytes) {
    const DWORD parent = KillingParent();
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, KilledReadyEvent(parent).c_str());
    ASSERT_NE(ready, nullptr) << "no ready event of the parent";
    HWND dialog = OpenDialog(IDM_RECORD_AUDIO, kRecordCaption, KilledRecordingPath(parent, test));
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Click(dialog, lengthButton));
    ASSERT_TRUE(Click(dialog, IDC_RATE_44K));
    ASSERT_TRUE(Click(dialog, IDC_RES_16_BIT));
    ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
    ASSERT_TRUE(WaitUntil([&] { return ReadOnWindowThread([&] { return hl::Capture().run.bytesWritten >= bytes; }); },
                          60000))
        << "the recording did not write " << bytes << " bytes";
    ASSERT_TRUE(SetEvent(ready));
    // The parent ends this process now, in the middle of the recording.
    EXPECT_FALSE(WaitUntil(CaptureIdle, 60000)) << "the recording ended before the kill";
  }
};

TEST_F(CaptureRecordingKilled, AnyLengthLeavesAWaveOfEveryHalfWritten) {
  const char* test = "AnyLengthLeavesAWaveOfEveryHalfWritten";
  const uint64_t half = static_cast<uint64_t>(ComputeHalfSizes(44100, 2).bytesPerHalf);  // 4 s
  if (InChild()) {
    RecordUntilKilled(test, IDC_RECORD_ANY, 2 * half);
    return;
  }
  double recordedMs = 0;
  ASSERT_TRUE(RecordAndKill(test, recordedMs));
  const std::vector<uint8_t> file = ReadWholeFile(KilledRecordingPath(GetCurrentProcessId(), test));
  ExpectWaveOfWhatItHolds(file);
  EXPECT_GE(file.size(), 46 + 2 * half);
  ReportLoss("\"Any\" length", file, recordedMs);
  DeleteFileA(KilledRecordingPath(GetCurrentProcessId(), test).c_str());
}

// Regression: a fixed length was written to its file only when the card returned its one
// buffer, so a kill left a file of 0 bytes.
TEST_F(CaptureRecordingKilled, FixedLengthLeavesAWaveOfWhatWasCaptured) {
  const char* test = "FixedLengthLeavesAWaveOfWhatWasCaptured";
  const uint64_t twoSeconds = 2 * 88200;
  if (InChild()) {
    RecordUntilKilled(test, IDC_RECORD_30, twoSeconds);
    return;
  }
  double recordedMs = 0;
  ASSERT_TRUE(RecordAndKill(test, recordedMs));
  const std::vector<uint8_t> file = ReadWholeFile(KilledRecordingPath(GetCurrentProcessId(), test));
  ExpectWaveOfWhatItHolds(file);
  EXPECT_GE(file.size(), 46 + twoSeconds);
  EXPECT_LT(file.size(), 46u + 30u * 88200u) << "the whole 30 s before the kill";
  ReportLoss("30 s fixed length", file, recordedMs);
  DeleteFileA(KilledRecordingPath(GetCurrentProcessId(), test).c_str());
}

// ===========================================================================
// No sound server: the suite runs itself again in a process whose sound server does not
// exist, so that the program finds no input device.

std::string Variable(const char* name) {
  char value[512] = {};
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value) : std::string();
}

// Runs this program's no-device suite again under Wine with the sound server pointing
// nowhere. Wine hands a Windows child the environment of the Unix process it starts from,
// not the block given to CreateProcess, so the child is started through the Unix shell
// (Wine runs a Unix program it is asked to start) with the variable set there; the shell
// writes the child's output and exit status to `output`.
bool StartChildWithoutSoundServer(const std::string& output) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  const std::string script = std::string("PULSE_SERVER=unix:/nonexistent/hl-no-sound ") + kChildVariable +
                             "=1 /usr/lib/wine/wine64 '" + self + "' --gtest_filter=CaptureNoDevice.* >" + output +
                             " 2>&1 </dev/null; echo \\\"child exit $?\\\" >>" + output;
  std::string command = "/bin/sh -c \"" + script + "\"";
  std::vector<char> commandLine(command.begin(), command.end());
  commandLine.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  return true;
}

class CaptureNoDevice : public CaptureWindowSuite {
 protected:
  static bool InChild() { return !Variable(kChildVariable).empty(); }
  static void SetUpTestSuite() {
    if (InChild()) CaptureWindowSuite::SetUpTestSuite();
  }
  void SetUp() override {
    if (InChild()) CaptureWindowSuite::SetUp();
  }
  void TearDown() override {
    if (InChild()) CaptureWindowSuite::TearDown();
  }
};

TEST_F(CaptureNoDevice, ScanAndRecordReportTheMissingDeviceAndHoldNothing) {
  if (!InChild()) {
    const std::string output = "/tmp/hl-capture-no-sound-" + std::to_string(GetCurrentProcessId()) + ".txt";
    DeleteFileA(WindowsPath(output).c_str());
    ASSERT_TRUE(StartChildWithoutSoundServer(output)) << "could not start the child";
    std::string text;
    const bool finished = WaitUntil(
        [&] {
          const std::vector<uint8_t> bytes = ReadWholeFile(WindowsPath(output));
          text.assign(bytes.begin(), bytes.end());
          return text.find("child exit ") != std::string::npos;
        },
        120000);
    std::printf("---- the child without a sound server ----\n%s---- end of the child ----\n", text.c_str());
    DeleteFileA(WindowsPath(output).c_str());
    ASSERT_TRUE(finished) << "the child without a sound server did not finish";
    EXPECT_NE(text.find("child exit 0"), std::string::npos) << "the child without a sound server failed";
    EXPECT_NE(text.find("[  PASSED  ] 1 test"), std::string::npos);
    return;
  }
  ASSERT_EQ(waveInGetNumDevs(), 0u) << "the child still has an input device";

  // The live scan.
  HWND dialog = OpenDialog(IDM_SCAN_AUDIO, kScanCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  EXPECT_EQ(TakeBox("Harrowlight"), "Cannot Open Audio Device");
  ASSERT_TRUE(WaitUntil(CaptureIdle));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(AllocationCount(), 0);
  EXPECT_FALSE(IsWindowEnabled(MainWindow().stopButton));
  EXPECT_TRUE(MenuEnabled(window(), IDM_SCAN_AUDIO));
  EXPECT_TRUE(MenuEnabled(window(), IDM_EXIT));
  EXPECT_TRUE(OpenDialogs().empty()) << "a completion message followed the failure";

  // A recording: an existing file of the chosen name stays as it was.
  const std::string path = ScratchFolder() + "never.wav";
  const std::vector<uint8_t> old = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
  ASSERT_TRUE(WriteWholeFile(path, old));
  dialog = OpenDialog(IDM_RECORD_AUDIO, kRecordCaption, path);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  EXPECT_EQ(TakeBox("Harrowlight"), "Cannot Open Audio Device");
  ASSERT_TRUE(WaitUntil(CaptureIdle));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(ReadWholeFile(path), old);
  EXPECT_EQ(AllocationCount(), 0);
  EXPECT_FALSE(Display().exists());
  EXPECT_TRUE(MenuEnabled(window(), IDM_RECORD_AUDIO));
}

}  // namespace
}  // namespace hl::e2e
