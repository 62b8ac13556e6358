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

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/program/main_window_win32.h"
#include "windows/base/handles_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/sound/capture.h"
#include "windows/sound/capture_state_win32.h"
#include "windows/sound/scan_display_win32.h"
#include "windows/view/palette_win32.h"
#include "core/dsp/column_renderer.h"
#include "core/dsp/fft_engine.h"
#include "core/files/wave_format.h"
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

// The 16-bit sample `i` of samples stored from `data` on.
int SampleAt(const uint8_t* data, size_t i) { return static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8)); }

// Whether `count` 16-bit samples of the test's tone (amplitude 1640) from `data` on fall
// silent anywhere in samples [from, to): a 64-sample stretch a tenth of the tone's level. A
// loaded machine can leave such a gap in the tone the test itself plays into the sound
// server, and what the program made of the capture must then agree with the samples it
// captured, not with the tone played.
bool FallsSilent(const uint8_t* data, size_t count, size_t from, size_t to) {
  to = std::min(to, count);
  for (size_t block = from; block + 64 <= to; block += 32) {
    double sum = 0;
    for (size_t i = block; i < block + 64; ++i) sum += static_cast<double>(SampleAt(data, i)) * SampleAt(data, i);
    if (std::sqrt(sum / 64) < 1640 / 10) return true;
  }
  return false;
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
    // The sound has reached the sink's monitor before anything listens (RMS 1160 played).
    return WaitUntil([] { return SinkLevel(100) > 580.0; });
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

// The capture's column count and measured column time, read on the window's thread (the
// loop changes them between its polls); -1 when the thread did not answer.
int CapturedColumns() {
  int columns = -1;
  OnWindowThread([&] { columns = hl::Capture().columnCount; });
  return columns;
}
float MeasuredColumnTime() {
  float ms = -1;
  OnWindowThread([&] { ms = hl::Capture().measuredColumnTimeMs; });
  return ms;
}

// Under load Wine's capture can start up to a second late; the tests judge the image only
// once the card delivers and the latency (250 ms) keeps the window behind it.
bool WaitForDelivery(uint32_t bytes, DWORD timeoutMs = kWaitMs) {
  return WaitUntil([&] { return ReadOnWindowThread([&] { return hl::Capture().captureActive && DeliveredBytes() >= bytes; }); },
                   timeoutMs);
}

// What a test notes now and then while a capture draws: the columns drawn, the samples the
// card has delivered into its buffer, and the samples its own position has reached, read
// together on the window's thread. The loop takes each column's frame from the position (a
// latency behind it), and under load Wine's position can run further ahead of the samples
// it has copied into the buffer than the latency.
struct CaptureNote {
  int columns = -1;
  int64_t delivered = 0;
  int64_t position = 0;
};

CaptureNote NoteCapture() {
  CaptureNote n;
  OnWindowThread([&] {
    const CaptureState& c = hl::Capture();
    n.columns = c.columnCount;
    n.delivered = c.bytesPerSample > 0 ? DeliveredBytes() / static_cast<uint32_t>(c.bytesPerSample) : 0;
    n.position = n.delivered;
    MMTIME t{};
    t.wType = TIME_SAMPLES;
    if (c.inputDevice && waveInGetPosition(c.inputDevice, &t, sizeof t) == MMSYSERR_NOERROR) {
      if (t.wType == TIME_SAMPLES) n.position = std::max<int64_t>(n.delivered, t.u.sample);
      if (t.wType == TIME_BYTES && c.bytesPerSample > 0) n.position = std::max<int64_t>(n.delivered, t.u.cb / c.bytesPerSample);
    }
  });
  return n;
}

// The samples the frame of column `column` may have come from, by the notes taken around its
// drawing (in the first half of a capture, before any buffer came back): it was drawn after
// the last note that counted it not yet and before the first that counted it. The frame ends
// a latency before the position at its drawing, and starts no earlier than a latency, a
// frame and half a second of clock slack before the earlier note's position. When its end
// may lie beyond what the card had delivered by the earlier note, the frame may hold buffer
// memory the card had not yet filled: silence the recorded samples no longer show.
struct FrameRange {
  size_t from = 0, to = 0;
  bool mayReachUndelivered = true;
};

FrameRange FrameRangeOf(const std::vector<CaptureNote>& notes, int column, int64_t latencySamples,
                        int64_t halfSecondSamples, int64_t total) {
  int64_t from = 0, to = total, deliveredBefore = 0;
  for (const CaptureNote& n : notes) {
    if (n.columns <= column) {
      from = std::max<int64_t>(0, n.position - latencySamples - kCaptureFrame - halfSecondSamples);
      deliveredBefore = n.delivered;
    } else {
      to = std::min<int64_t>(total, n.position - latencySamples + kCaptureFrame);
      break;
    }
  }
  FrameRange r;
  r.from = static_cast<size_t>(from);
  r.to = static_cast<size_t>(std::max(to, from));
  r.mayReachUndelivered = to > deliveredBefore;
  return r;
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

class CaptureWindowSuite : public MainWindowSuite {
 protected:
  void SetUp() override {
    MainWindowSuite::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(WaitUntil(CaptureIdle)) << "a capture still runs before the test";
  }
  void TearDown() override {
    if (ui_ && ui_->running() && !CaptureIdle()) {
      ui_->PostCommand(IDB_STOP);
      WaitUntil(CaptureIdle);
    }
    MainWindowSuite::TearDown();
  }

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
};


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
  const DialogPlace place = DialogPlaceOnScreen(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
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

TEST_F(CaptureLiveScan, ScrollDrawsTheToneOnItsRowColumnAfterColumn) {
  const int allocationsBefore = AllocationCount();
  // The centre of bin 46: 46 x 11025 / 512 = 990.5 Hz, 46 periods in every 512 samples, so
  // that its row is one row and not a tie between two bins (1 kHz lies at bin 46.44).
  TonePlayer tone;
  ASSERT_TRUE(tone.Start(46 * 21, 512 * 21)) << "the test could not play its tone";
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

  // While the scan draws, the test notes now and then how far it has come (NoteCapture).
  std::vector<CaptureNote> notes;
  auto note = [&] {
    notes.push_back(NoteCapture());
    return notes.back();
  };
  ASSERT_TRUE(WaitUntil([&] { return note().delivered >= 11025; })) << "the card delivered nothing";
  const int toneColumn = notes.back().columns;
  // The scan goes on drawing, and never sooner than one column per 10 ms poll: each poll is
  // due an interval after the one before was due. (How close to that pace a machine keeps is
  // measured by scripts/bench-scan.sh; a loaded machine draws fewer columns, which is right.)
  ASSERT_TRUE(WaitUntil([&] { return note().columns >= toneColumn + 200; })) << "the scan stopped drawing";
  EXPECT_GE(MeasuredColumnTime(), 10.0f);

  // The tone's row on the screen: bin 46, window row 299 - 46, brighter than palette index
  // 100, in every column drawn since the card delivered, except where the captured samples
  // around its frame fall silent; the envelope strip is drawn in every column.
  RECT area{0, 0, ImageAreaWidth(), ImageAreaHeight()};
  ClientToScreen(window(), reinterpret_cast<POINT*>(&area.left));
  ClientToScreen(window(), reinterpret_cast<POINT*>(&area.right));
  // Only the columns drawn before the screen is read are judged; none may be drawn past the
  // area's width by the time it has been read, or the picture would have scrolled under it.
  const int drawn = note().columns;
  e2e::Capture shot;
  ASSERT_TRUE(CaptureScreen(area, shot));
  const int drawnAfter = CapturedColumns();
  WriteBmp(shot, ArtifactFolder() + "/capture-scroll-scan.bmp");
  ASSERT_LT(drawnAfter, ImageAreaWidth()) << "the image scrolled before the test looked at it";
  // The scan is still in its first half (16 s), so the half holds every sample delivered.
  const uint32_t captured = static_cast<uint32_t>(notes.back().delivered);
  ASSERT_LT(captured, static_cast<uint32_t>(c.samplesPerHalf));
  ASSERT_EQ(c.completedBuffers, 0u);
  ASSERT_EQ(c.lateResets, 0u);
  std::vector<uint8_t> ring(c.firstHalf, c.firstHalf + 2 * static_cast<size_t>(captured));
  int peak = 0;
  for (uint32_t i = 0; i < captured; ++i) peak = std::max(peak, std::abs(SampleAt(ring.data(), i)));
  EXPECT_GT(peak, 1640 - 250) << "the capture holds no tone";
  EXPECT_LT(peak, 1640 * 3 / 2) << "the capture is louder than the tone";
  // A column off the tone is right only where its frame may hold silence: silence captured,
  // or buffer memory the card had not yet filled.
  auto mayBeSilent = [&](int column) {
    const FrameRange r = FrameRangeOf(notes, column, 2756, 5512, captured);
    return r.mayReachUndelivered || FallsSilent(ring.data(), captured, r.from, r.to);
  };
  const ColourIndex palette;
  int checked = 0;
  for (int x = toneColumn + 30; x < drawn - 8; x += 23) {
    int bestRow = -1, best = -1;
    for (int y = kMarginRows; y < 300; ++y) {
      const int index = palette.Of(shot.at(x, y));
      if (index > best) {
        best = index;
        bestRow = y;
      }
    }
    const bool onTone = bestRow == 299 - 46 && best > 100;
    if (!onTone) std::printf("column %d: brightest row %d, palette index %d; its frame may be silent: %d\n", x, bestRow, best, mayBeSilent(x));
    EXPECT_TRUE(onTone || mayBeSilent(x)) << "column " << x << ": row " << bestRow << ", index " << best << " over a captured tone";
    // The envelope strip: the centre row and the separator.
    EXPECT_EQ(palette.Of(shot.at(x, 21)), 2) << "column " << x;
    EXPECT_EQ(palette.Of(shot.at(x, 43)), 1) << "column " << x;
    ++checked;
  }
  EXPECT_GE(checked, 5);

  ASSERT_TRUE(ui_->PostCommand(IDB_STOP));
  EXPECT_EQ(TakeBox("Scanning Complete"), "Audio Scanning Complete.  No wave data has been saved.");
  ASSERT_TRUE(WaitUntil(CaptureIdle));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(AllocationCount(), allocationsBefore) << "the scan left memory held";
  EXPECT_TRUE(MenuEnabled(window(), IDM_ANALYZE_FILE));
  EXPECT_FALSE(IsWindowEnabled(MainWindow().stopButton));
  EXPECT_FALSE(DataPresent());
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
  // Four frames of the tone fill the history; the test notes how far the scan has come.
  std::vector<CaptureNote> notes;
  ASSERT_TRUE(WaitUntil([&] {
    notes.push_back(NoteCapture());
    return notes.back().delivered >= 11025;
  })) << "the card delivered nothing";
  const int deliveredAt = notes.back().columns;
  ASSERT_TRUE(WaitUntil([&] {
    notes.push_back(NoteCapture());
    return notes.back().columns >= deliveredAt + 15;
  }));
  EXPECT_TRUE(IsWindowEnabled(MainWindow().toggleGridButton));
  EXPECT_EQ(GetWindowLongPtrA(window(), GWL_STYLE) & WS_THICKFRAME, 0) << "the Scope window can be resized";

  // The bars are read with the frames they show: the scan stops first (Escape, as "Stop"),
  // and the samples captured so far are kept to judge them by.
  std::vector<uint8_t> ring;
  ASSERT_TRUE(OnWindowThread([&] {
    const CaptureState& c = hl::Capture();
    const uint32_t bytes = std::min<uint32_t>(DeliveredBytes(), static_cast<uint32_t>(c.bytesPerHalf));
    ring.assign(c.firstHalf, c.firstHalf + bytes);
  }));
  const size_t captured = ring.size() / 2;
  ASSERT_TRUE(ui_->Post(WM_KEYDOWN, VK_ESCAPE, 0));
  EXPECT_EQ(TakeBox("Scanning Complete"), "Audio Scanning Complete.  No wave data has been saved.");
  ASSERT_TRUE(WaitUntil(CaptureIdle));
  ASSERT_TRUE(ui_->Flush());
  const int frames = hl::Capture().columnCount;
  notes.push_back(CaptureNote{frames + 1, notes.back().delivered, notes.back().position});
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
  // The peak is bin 46's unless one of the four frames of the history may hold silence
  // (a gap in the tone played, or memory the card had not yet filled), which smears it.
  bool historyMayBeSilent = false;
  for (int k = std::max(0, frames - 4); k < frames; ++k) {
    const FrameRange r = FrameRangeOf(notes, k, 2756, 5512, notes.back().delivered);
    historyMayBeSilent = historyMayBeSilent || r.mayReachUndelivered || r.to > captured ||
                         FallsSilent(ring.data(), captured, r.from, r.to);
  }
  EXPECT_TRUE(bestBin == 46 || historyMayBeSilent) << "bin " << bestBin;
  EXPECT_GT(bestHeight, 100);  // a level of about 290, 4 units per dB: about 230 rows
  EXPECT_LE(bestHeight, g.baseline);
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
  // 10 s of sound, and Wine may start the card late under load: a generous bound. Meanwhile
  // the test notes how far the recording has come (NoteCapture).
  std::vector<CaptureNote> notes;
  ASSERT_TRUE(WaitUntil(
      [&] {
        notes.push_back(NoteCapture());
        return CaptureIdle();
      },
      60000))
      << "the recording did not end";
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
  // The tone at the amplitude it was played with, and 1000 Hz at 22050 / 512 Hz per bin is
  // bin 23 in a frame every half second from the first second on, wherever the tone played.
  const size_t samples = (file.size() - 46) / 2;
  int peak = 0;
  for (size_t i = 0; i < samples; ++i) peak = std::max(peak, std::abs(SampleAt(file.data() + 46, i)));
  // A starved sound server resumes the tone with a step its resampler overshoots, so the
  // bound above is wider than the one below.
  EXPECT_GT(peak, 1640 - 250) << "the recording holds no tone";
  EXPECT_LT(peak, 1640 * 3 / 2) << "the recording is louder than the tone";
  for (size_t at = 22050; at + 512 <= samples; at += 11025) {
    const int bin = LoudestBin(file.data() + 46 + 2 * at);
    EXPECT_TRUE(bin == 23 || FallsSilent(file.data() + 46, samples, at, at + 512)) << "frame at sample " << at << ": bin " << bin;
  }

  // The recording stays as the sample buffer, its image in the display bitmap.
  const AnalysisState& a = Analysis();
  EXPECT_TRUE(SampleBufferHeld());
  EXPECT_TRUE(DataPresent());
  EXPECT_EQ(a.dataLength, captured);
  EXPECT_EQ(a.columnCount, hl::Capture().columnCount);
  const DisplayBitmap& d = Display();
  ASSERT_TRUE(d.exists());
  // Samples per column follow the column time the loop measured.
  EXPECT_EQ(hl::Capture().samplesPerColumn,
            static_cast<int>(std::floor(22050.0 * hl::Capture().measuredColumnTimeMs * 0.001 + 0.5)));
  // Columns come one per poll of at least 10 ms, so a busy machine draws fewer of them
  // (scripts/bench-scan.sh measures how many): never more than the bitmap holds, and enough
  // for the image below to span the recording even when polls come ten times late.
  EXPECT_GE(hl::Capture().measuredColumnTimeMs, 10.0f);
  EXPECT_LE(a.columnCount, d.width);
  ASSERT_GE(a.columnCount, 100) << "the recording drew almost nothing";
  EXPECT_TRUE(IsWindowEnabled(MainWindow().playWindowButton));
  EXPECT_TRUE(IsWindowEnabled(MainWindow().toggleGridButton));
  EXPECT_FALSE(IsWindowEnabled(MainWindow().stopButton));
  EXPECT_EQ(IsWindowEnabled(MainWindow().playButton) != 0, a.columnCount > ImageAreaWidth());
  EXPECT_TRUE(MenuEnabled(window(), IDM_SAVE_WAVE));
  EXPECT_TRUE(MenuEnabled(window(), IDM_PARAMETERS_CHANGE));
  EXPECT_EQ(d.height, 300);
  // At 22050 Hz the 1 kHz tone is bin 23.2: row 276, or row 275 (bin 24) where a live
  // frame's jitter tips the two, in the columns of the recording's second half. A column off
  // the tone's rows is right only where its frame may hold silence: silence the file holds
  // (a loaded machine can leave a gap in the tone the test itself plays into the sound
  // server), or buffer memory the card had not yet filled when the column was drawn.
  auto silentNear = [&](int x) {
    const FrameRange r = FrameRangeOf(notes, x, 5512, 11025, static_cast<int64_t>(samples));
    return r.mayReachUndelivered || FallsSilent(file.data() + 46, samples, r.from, r.to);
  };
  for (int x = a.columnCount / 2; x < a.columnCount - 30; x += 41) {
    int bestRow = -1, best = -1;
    for (int y = kMarginRows; y < 300; ++y) {
      const int v = d.bits[static_cast<size_t>(y) * d.stride + x];
      if (v > best) {
        best = v;
        bestRow = y;
      }
    }
    const bool toneRow = bestRow == 299 - 23 || bestRow == 299 - 24;
    if (!toneRow) std::printf("column %d: brightest row %d; its frame may be silent: %d\n", x, bestRow, silentNear(x));
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
  const bool ended = WaitUntil(CaptureIdle, 60000);
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
  const ULONGLONG before = GetTickCount64();
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitForColumns(1));
  // Three seconds of sound at 22050 Hz 16 bit, by what the card delivered, not by the clock.
  ASSERT_TRUE(WaitForDelivery(3u * 44100u, 60000)) << "the card did not deliver 3 s";
  uint32_t delivered = 0;
  ASSERT_TRUE(OnWindowThread([&] { delivered = DeliveredBytes(); }));
  ASSERT_TRUE(ui_->PostCommand(IDB_STOP));
  // The file goes to the analysis, which asks for its parameters.
  HWND parameters = WaitForDialog(kParametersCaption);
  ASSERT_NE(parameters, nullptr) << "the recording was not handed to the analysis";
  const ULONGLONG elapsed = GetTickCount64() - before;
  // By now the header has been written with everything the card returned: at least what it
  // had delivered before Stop, and no more than the clock allows (a second of slack for
  // the sound server's buffering).
  const std::vector<uint8_t> file = ReadWholeFile(path);
  const uint32_t captured = hl::Capture().totalBytesCaptured;
  EXPECT_GE(captured, delivered);
  EXPECT_LE(captured, (elapsed + 1000) * 44100 / 1000) << "more sound than time passed";
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
  // (bin 24) where the recorded frame's jitter tips the two, as in the recording above,
  // unless the file falls silent around that column's frame (a gap in the tone played).
  const DisplayBitmap& d = Display();
  const int x = Analysis().columnCount / 2;
  const size_t frameStart = static_cast<size_t>(x) * static_cast<size_t>(Analysis().step);
  const bool silent = FallsSilent(file.data() + 46, (file.size() - 46) / 2, frameStart > 512 ? frameStart - 512 : 0,
                                  frameStart + 1024);
  int bestRow = -1, best = -1;
  for (int y = kMarginRows; y < d.height; ++y) {
    const int v = d.bits[static_cast<size_t>(y) * d.stride + x];
    if (v > best) {
      best = v;
      bestRow = y;
    }
  }
  EXPECT_TRUE(bestRow == d.height - 1 - 23 || bestRow == d.height - 1 - 24 || silent) << "row " << bestRow;
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

// Regression: "Any" was written to its file only as each 4 s half came back from the card,
// so a kill within the first half left a wave file with no sound at all.
TEST_F(CaptureRecordingKilled, AnyLengthKilledWithinTheFirstHalfKeepsWhatWasCaptured) {
  const char* test = "AnyLengthKilledWithinTheFirstHalfKeepsWhatWasCaptured";
  const uint64_t half = static_cast<uint64_t>(ComputeHalfSizes(44100, 2).bytesPerHalf);
  const uint64_t twoSeconds = 2 * 88200;
  ASSERT_LT(twoSeconds + 88200, half);
  if (InChild()) {
    RecordUntilKilled(test, IDC_RECORD_ANY, twoSeconds);
    return;
  }
  double recordedMs = 0;
  ASSERT_TRUE(RecordAndKill(test, recordedMs));
  const std::vector<uint8_t> file = ReadWholeFile(KilledRecordingPath(GetCurrentProcessId(), test));
  ExpectWaveOfWhatItHolds(file);
  EXPECT_GE(file.size(), 46 + twoSeconds);
  EXPECT_LT(file.size(), 46 + half) << "the kill came only after the first half was written";
  ReportLoss("\"Any\" length within the first half", file, recordedMs);
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
