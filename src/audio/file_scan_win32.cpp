// "&Scan File" (40007) and its dialog "Scan Wave File" (104).
#include "audio/file_scan_win32.h"

#include <mmsystem.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/analysis_settings.h"
#include "app/analysis_win32.h"
#include "app/commands_win32.h"
#include "app/file_analysis_win32.h"
#include "app/main_window_win32.h"
#include "app/menu_state_win32.h"
#include "app/messages.h"
#include "app/operating_mode.h"
#include "audio/capture.h"
#include "audio/capture_state.h"
#include "audio/playback.h"
#include "audio/scan_display_win32.h"
#include "audio/transport_win32.h"
#include "display/palette_win32.h"
#include "display/readout_win32.h"
#include "display/view_win32.h"
#include "dsp/fft_engine.h"
#include "files/file_chooser_win32.h"
#include "files/wave_format.h"
#include "resources/resource.h"

namespace hl {

namespace {

constexpr uint64_t kShortestFile = 2048;
constexpr uint32_t kRawRate = 11025;
constexpr int kScanFftOrder = 9;
constexpr double kScrollPollMs = 10.0;
constexpr double kScopePollMs = 30.0;
constexpr int kRateTextLength = 8;
constexpr double kDoneWaitMs = 2000.0;
constexpr char kCompleteText[] = "Audio Scanning Complete.  No wave data has been saved.";
constexpr char kCompleteCaption[] = "Scanning Complete";
constexpr char kCannotOpenAudioDevice[] = "Cannot Open Audio Device";

// ---------------------------------------------------------------------------
// The scan's state: the file, its facts, the ring and the playback header block.

struct FileScan {
  HANDLE file = INVALID_HANDLE_VALUE;
  std::string path;
  std::string title;
  WaveHeaderInfo facts;  // as read from the file's first 2048 bytes
  uint32_t rate = 0;
  uint16_t bits = 16;
  uint16_t channels = 1;
  uint32_t bytesPerSample = 2;
  uint32_t frameBytes = 2;
  uint32_t firstByte = 0;  // file position of the first sample
  uint32_t dataLength = 0;
  HGLOBAL headerBlock = nullptr;  // the 46-byte wave header the device is opened with
  uint8_t* header = nullptr;
  HGLOBAL ringBlock = nullptr;
  uint8_t* ring = nullptr;
  RingLayout layout;
  RefillState refill;
};

FileScan& Scan() {
  static FileScan scan;
  return scan;
}

FileScanReport& Report() {
  static FileScanReport report;
  return report;
}

void EnableButton(HWND button, bool on) {
  if (button) EnableWindow(button, on ? TRUE : FALSE);
}

void DisableFourButtons() {
  const MainWindowState& w = MainWindow();
  for (HWND b : {w.playButton, w.playWindowButton, w.toggleGridButton, w.stopButton}) EnableButton(b, false);
}

std::string NameWithoutFolder(const std::string& path) {
  const size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

void CloseScanFile() {
  FileScan& s = Scan();
  if (s.file != INVALID_HANDLE_VALUE) CloseHandle(s.file);
  s.file = INVALID_HANDLE_VALUE;
}

void FreeCounted(HGLOBAL& block, uint8_t*& locked) {
  if (!block) return;
  if (locked) GlobalUnlock(block);
  GlobalFree(block);
  --AllocationCount();
  block = nullptr;
  locked = nullptr;
}

// A movable zero-filled block, locked and counted; nullptr when refused.
uint8_t* AllocateCounted(HGLOBAL& block, uint32_t bytes) {
  block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
  if (!block) return nullptr;
  ++AllocationCount();
  uint8_t* locked = static_cast<uint8_t*>(GlobalLock(block));
  if (!locked) {
    GlobalFree(block);
    --AllocationCount();
    block = nullptr;
  }
  return locked;
}

void ReleaseDisplay() {
  if (Display().exists()) DestroyDisplayBitmap();
  Mode().displayBitmapExists = 0;
  MainWindow().displayBitmapExists = false;
}

// The image shown, the analysis set aside and the sample buffer all go.
void ReleaseShownAnalysis() {
  ReleaseAnalysisForClose();
  AnalysisState& a = Analysis();
  a.columnCount = 0;
  a.step = 0;
  Mode().dataPresent = 0;
  MainWindow().displayBitmapExists = false;
}

// Reads `bytes` from the scan file into `into`; a short read (end of the file or an error)
// marks the end of the file. Returns the bytes read.
uint32_t ReadIntoRing(uint8_t* into, uint32_t bytes) {
  FileScan& s = Scan();
  uint32_t total = 0;
  while (total < bytes) {
    DWORD got = 0;
    if (!ReadFile(s.file, into + total, bytes - total, &got, nullptr) || got == 0) break;
    total += got;
  }
  if (total < bytes) Report().endOfFile = true;
  Report().bytesRead += total;
  return total;
}

// ---------------------------------------------------------------------------
// Dialog 104 "Scan Wave File".

struct ScanDialog {
  int16_t resolution = choice::kResolution16Bit;
  int16_t palette = static_cast<int16_t>(PaletteScheme::CB);
  int16_t displayType = choice::kDisplayScroll;
  int16_t analysisAtStop = choice::kAnalysisOff;
  int16_t attenuation = 0;
  uint32_t rate = 0;        // in: the rate shown; out: the edit's value at OK
  bool rateValid = false;   // out: the edit held a number
  uint32_t remembered = 0;  // the rate shown before "New" emptied the edit
  bool newRateEntry = false;
};

void ApplyScopeEnabling(HWND dialog, const ScanDialog& d) {
  const BOOL on = d.displayType == choice::kDisplayScope ? FALSE : TRUE;
  for (int id = IDC_PALETTE_CB; id <= IDC_PALETTE_WB; ++id) EnableWindow(GetDlgItem(dialog, id), on);
  EnableWindow(GetDlgItem(dialog, IDC_ATTENUATION), on);
  EnableWindow(GetDlgItem(dialog, IDC_ATTENUATION_BAR), on);
}

void ShowAttenuation(HWND dialog, int16_t value) {
  SetScrollPos(GetDlgItem(dialog, IDC_ATTENUATION_BAR), SB_CTL, value, TRUE);
  SetDlgItemInt(dialog, IDC_ATTENUATION, static_cast<UINT>(value), FALSE);
}

void InitScanDialog(HWND dialog, ScanDialog& d) {
  RECT box;
  GetWindowRect(dialog, &box);
  const int width = box.right - box.left, height = box.bottom - box.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  CheckRadioButton(dialog, IDC_RES_8_BIT, IDC_RES_16_BIT, d.resolution);
  CheckRadioButton(dialog, IDC_PALETTE_CB, IDC_PALETTE_WB, d.palette);
  CheckRadioButton(dialog, IDC_DISPLAY_SCROLL, IDC_DISPLAY_SCOPE, d.displayType);
  CheckRadioButton(dialog, IDC_ANALYSIS_ON, IDC_ANALYSIS_OFF, d.analysisAtStop);
  SetScrollRange(GetDlgItem(dialog, IDC_ATTENUATION_BAR), SB_CTL, 0, kMaxAttenuation, FALSE);
  ShowAttenuation(dialog, d.attenuation);
  SetDlgItemInt(dialog, IDC_SAMPLE_RATE, d.rate, FALSE);
  EnableWindow(GetDlgItem(dialog, IDC_SAMPLE_RATE), FALSE);
  d.newRateEntry = false;
  ApplyScopeEnabling(dialog, d);
}

// "New", second press (or OK while the rate is being entered): the rate typed, 0 for the
// one shown before, held in 5513..44100.
void AcceptNewRate(HWND dialog, ScanDialog& d) {
  char text[kRateTextLength + 1] = {};
  GetDlgItemTextA(dialog, IDC_SAMPLE_RATE, text, sizeof text);
  const uint32_t rate = NewScanRate(text, d.remembered);
  SetDlgItemInt(dialog, IDC_SAMPLE_RATE, rate, FALSE);
  EnableWindow(GetDlgItem(dialog, IDC_SAMPLE_RATE), FALSE);
  SetDlgItemTextA(dialog, IDC_NEW_RATE, "New");
  d.newRateEntry = false;
}

void StartNewRate(HWND dialog, ScanDialog& d) {
  BOOL ok = FALSE;
  d.remembered = GetDlgItemInt(dialog, IDC_SAMPLE_RATE, &ok, FALSE);
  SetDlgItemTextA(dialog, IDC_NEW_RATE, "OK");
  HWND edit = GetDlgItem(dialog, IDC_SAMPLE_RATE);
  SetWindowTextA(edit, "");
  EnableWindow(edit, TRUE);
  SetFocus(edit);
  d.newRateEntry = true;
}

void ConfirmScanDialog(HWND dialog, ScanDialog& d) {
  char text[kRateTextLength + 2] = {};
  GetDlgItemTextA(dialog, IDC_SAMPLE_RATE, text, sizeof text);
  char* end = nullptr;
  const long rate = std::strtol(text, &end, 10);
  d.rateValid = end != text && rate > 0;
  d.rate = d.rateValid ? static_cast<uint32_t>(rate) : 0;

  AnalysisSettings& settings = Settings();
  settings.resolution = d.resolution;
  settings.palette = d.palette;
  settings.displayType = d.displayType;
  settings.analysisAtStop = d.analysisAtStop;
  settings.attenuation = d.attenuation;
  HWND window = MainWindow().window;
  SetScopeWindowStyle(window, d.displayType == choice::kDisplayScope);
  DrainMessageQueue();
  Drawing().scheme = static_cast<PaletteScheme>(d.palette);
  LoadPalette(window, PaletteOffset(d.attenuation));
  EndDialog(dialog, 1);
}

INT_PTR CALLBACK ScanDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  ScanDialog* d = reinterpret_cast<ScanDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      InitScanDialog(dialog, *reinterpret_cast<ScanDialog*>(lParam));
      return TRUE;
    case WM_HSCROLL: {
      if (!d || reinterpret_cast<HWND>(lParam) != GetDlgItem(dialog, IDC_ATTENUATION_BAR)) return FALSE;
      const BarValue v = ScrollBarValue(LOWORD(wParam), static_cast<int16_t>(HIWORD(wParam)), d->attenuation,
                                        kMaxAttenuation);
      if (v.changed) {
        d->attenuation = static_cast<int16_t>(v.value);
        ShowAttenuation(dialog, d->attenuation);
      }
      return TRUE;
    }
    case WM_COMMAND: {
      if (!d) return FALSE;
      const int id = LOWORD(wParam);
      if (id >= IDC_RES_8_BIT && id <= IDC_RES_16_BIT) {
        d->resolution = static_cast<int16_t>(id);
      } else if (id >= IDC_PALETTE_CB && id <= IDC_PALETTE_WB) {
        d->palette = static_cast<int16_t>(id);
      } else if (id == IDC_DISPLAY_SCROLL || id == IDC_DISPLAY_SCOPE) {
        d->displayType = static_cast<int16_t>(id);
        ApplyScopeEnabling(dialog, *d);
      } else if (id == IDC_ANALYSIS_ON || id == IDC_ANALYSIS_OFF) {
        d->analysisAtStop = static_cast<int16_t>(id);
      } else if (id == IDC_NEW_RATE) {
        if (d->newRateEntry) {
          AcceptNewRate(dialog, *d);
        } else {
          StartNewRate(dialog, *d);
        }
      } else if (id == IDC_OK || id == IDOK) {
        if (d->newRateEntry) {
          AcceptNewRate(dialog, *d);
          SetFocus(GetDlgItem(dialog, IDC_OK));
        } else {
          ConfirmScanDialog(dialog, *d);
        }
      } else if (id == IDC_CANCEL || id == IDCANCEL) {
        EndDialog(dialog, 0);
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

// Runs dialog 104 for `rate`; true on OK, with the edit's rate in `rate` (0 when it held no
// number).
bool RunScanDialog(HWND window, uint32_t& rate) {
  const AnalysisSettings& settings = Settings();
  ScanDialog d;
  d.resolution = settings.resolution;
  d.palette = settings.palette;
  d.displayType = settings.displayType;
  d.analysisAtStop = settings.analysisAtStop;
  d.attenuation = settings.attenuation;
  d.rate = rate;
  const INT_PTR result = DialogBoxParamA(MainWindow().instance, MAKEINTRESOURCEA(IDD_SCAN_WAVE_FILE), window,
                                         ScanDialogProc, reinterpret_cast<LPARAM>(&d));
  if (result != 1) return false;
  rate = d.rate;
  return true;
}

// ---------------------------------------------------------------------------
// The command's steps.

// Cancel in the dialog: nothing is kept, the window is idle.
void CancelToIdle(HWND window) {
  ReleaseShownAnalysis();
  DisableFourButtons();
  SetMenuState(window, MenuState::Idle);
  AnalysisState& a = Analysis();
  a.format.sampleRate = 0;
  a.format.bitsPerSample = 0;
  a.dataLength = 0;
  DrawInfoPanel(window, 0, 0, 0);
  OperatingMode& mode = Mode();
  mode.fileAnalysisInProgress = 0;
  mode.rendering = 0;
  mode.playbackActive = 0;
  mode.fileScanPlaybackActive = 0;
  Capture().scanRunning = 0;
  Capture().scanFlag = 0;
  RedrawView(window, false);
  InvalidateRect(window, nullptr, FALSE);
}

// A scan that could not start: the file, the blocks and the bitmap go, the window is idle.
void AbandonScan(HWND window) {
  FileScan& s = Scan();
  CloseScanFile();
  FreeCounted(s.ringBlock, s.ring);
  FreeCounted(s.headerBlock, s.header);
  ReleaseDisplay();
  DisableFourButtons();
  SetMenuState(window, MenuState::Idle);
  SetWindowTextA(window, kCaption);
  Mode().fileScanPlaybackActive = 0;
  Capture().scanRunning = 0;
  Capture().scanFlag = 0;
  Mode().stopRequest = 1;
}

// Asks for a file until one long enough is open and its facts are read. False when the
// chooser was cancelled or the file could not be opened.
bool ChooseScanFile(HWND window) {
  FileScan& s = Scan();
  for (;;) {
    if (!ChooseOpenWave()) {
      RedrawView(window, true);
      return false;
    }
    s.path = OpenWavePath();
    s.title = ChosenTitle();
    HANDLE file = CreateFileA(s.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      ShowProgramMessage(window, Message::CannotOpenFile);
      return false;
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    const uint64_t fileSize = static_cast<uint64_t>(size.QuadPart);
    if (fileSize < kShortestFile) {
      ShowProgramMessage(window, Message::SampleSizeTooSmall);
      CloseHandle(file);
      continue;
    }
    uint8_t block[kWaveSearchBlockLength] = {};
    DWORD got = 0;
    if (!ReadFile(file, block, sizeof block, &got, nullptr)) got = 0;
    CloseHandle(file);
    // Without a format and a data chunk the reader gives raw 16-bit mono at 11025 Hz.
    s.facts = ReadWaveHeader(block, got, fileSize);
    return true;
  }
}

// The facts of a file "&Analyze File" found too large, as it left them.
void TakeHandedOverFile() {
  FileScan& s = Scan();
  const AnalysisState& a = Analysis();
  s.path = a.filePath.empty() ? std::string(OpenWavePath()) : a.filePath;
  s.title = NameWithoutFolder(s.path);
  s.facts = WaveHeaderInfo();
  s.facts.format = a.format;
  s.facts.wavFlag = a.wavFlag;
  s.facts.dataOffset = a.dataOffset;
  s.facts.dataLength = a.dataLength;
}

// Steps 6 and 7: the FFT size, the window cleared, and the checks of the dialog's choices.
Message PrepareAndCheck(HWND window, uint32_t rate) {
  DrainMessageQueue();
  Capture().scanFlag = 1;
  AnalysisSettings& settings = Settings();
  if (settings.displayType != choice::kDisplayScope) {
    HDC dc = GetDC(window);
    SelectPalette(dc, Drawing().palette, FALSE);
    RealizePalette(dc);
    ClearScrollDisplay(window, dc);
    ReleaseDC(window, dc);
  }
  settings.fftSize = choice::kFft512;
  SendMessageA(window, WM_COMMAND, IDM_FFT_512, 0);
  settings.frequencyMode = choice::kModeNb;
  View().horizontalOffset = 0;
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);

  FileScan& s = Scan();
  s.bits = settings.resolution == choice::kResolution16Bit ? 16 : 8;
  s.rate = rate;
  if (!ScanRateInRange(rate)) return Message::SampleRateOutOfRange;
  if (s.facts.dataLength < kShortestFile) return Message::SampleSizeTooSmall;
  return Message::None;
}

// Steps 8 to 14: the file reopened, the display, the ring filled and playing. False when
// the scan could not start (the message has been shown and nothing is held).
bool StartScan(HWND window) {
  FileScan& s = Scan();
  AnalysisState& a = Analysis();
  AnalysisSettings& settings = Settings();
  s.channels = s.facts.format.channels > 0 ? s.facts.format.channels : 1;
  s.bytesPerSample = s.bits / 8u;
  s.frameBytes = s.bytesPerSample * s.channels;
  s.firstByte = s.facts.wavFlag ? s.facts.dataOffset : 0;
  s.dataLength = s.facts.dataLength;

  a.format = WaveFormat{1, s.channels, s.rate, s.bits};
  a.dataLength = s.dataLength;
  a.filePath = s.path;
  a.fileTitle = s.title;
  a.wavFlag = s.facts.wavFlag;
  a.dataOffset = s.facts.dataOffset;
  SetOpenWavePath(s.path.c_str());
  DrawInfoPanel(window, s.rate, s.bits, s.dataLength);
  s.file = CreateFileA(s.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (s.file == INVALID_HANDLE_VALUE) {
    ShowProgramMessage(window, Message::CannotOpenFile);
    AbandonScan(window);
    return false;
  }
  settings.timeScaleMs = CaptureTimeScale(static_cast<int32_t>(s.rate));

  ReleaseShownAnalysis();
  OperatingMode& mode = Mode();
  HDC dc = GetDC(window);
  SelectPalette(dc, Drawing().palette, FALSE);
  RealizePalette(dc);
  bool displayReady = true;
  if (settings.displayType == choice::kDisplayScope) {
    displayReady = PrepareScopeDisplay(window, dc);
    if (displayReady) {
      mode.displayBitmapExists = 1;
      MainWindow().displayBitmapExists = true;
    }
  } else {
    mode.stopRequest = 0;
  }
  ReleaseDC(window, dc);
  if (!displayReady) {
    ShowProgramMessage(window, Message::NotEnoughDisplayMemory);
    AbandonScan(window);
    return false;
  }

  // The wave header the device is opened with, and the ring.
  s.layout = PlanRing(s.bytesPerSample, s.channels, s.rate);
  s.header = AllocateCounted(s.headerBlock, kWaveHeaderLength);
  if (s.header) WriteWaveHeader(s.header, a.format, s.dataLength);
  s.ring = s.header && s.layout.valid ? AllocateCounted(s.ringBlock, s.layout.ringBytes) : nullptr;
  if (!s.ring) {
    ShowProgramMessage(window, Message::NotEnoughMemory);
    AbandonScan(window);
    return false;
  }
  // 8-bit silence is 0x80: a half not yet read from the file plays as silence.
  if (s.bytesPerSample == 1) std::memset(s.ring, 0x80, s.layout.ringBytes);
  s.refill = RefillState();
  Report() = FileScanReport();
  Report().ringBytes = s.layout.ringBytes;

  SetMenuState(window, MenuState::Busy);
  const MainWindowState& w = MainWindow();
  EnableButton(w.playButton, false);
  EnableButton(w.playWindowButton, false);
  EnableButton(w.toggleGridButton, settings.displayType == choice::kDisplayScope);
  EnableButton(w.stopButton, true);
  SetWindowTextA(window, s.title.c_str());

  LARGE_INTEGER position;
  position.QuadPart = s.firstByte;
  SetFilePointerEx(s.file, position, nullptr, FILE_BEGIN);
  if (ReadIntoRing(s.ring, s.layout.halfBytes) == 0) mode.stopRequest = 1;

  if (!OpenOutputDevice(window, FormatOfWaveHeader(s.header), s.ring, s.layout.ringBytes,
                        WHDR_BEGINLOOP | WHDR_ENDLOOP, RingLoops(s.dataLength, s.layout.ringBytes))) {
    ShowMessage(window, kCannotOpenAudioDevice, MB_ICONHAND);
    AbandonScan(window);
    return false;
  }
  CaptureState& c = Capture();
  c.startTimeMs = c.switchTimeMs = NowMs();
  mode.fileScanPlaybackActive = 1;
  if (!WriteOutputDevice()) {
    ReleaseOutputDevice();
    ShowMessage(window, kCannotOpenAudioDevice, MB_ICONHAND);
    AbandonScan(window);
    return false;
  }
  return true;
}

// The output device went (MM_WOM_DONE) or the window is closing: the ring is gone.
bool ScanStopped() { return Mode().stopRequest || !Scan().ring || !Capture().outputDevice; }

// Dispatches every waiting message; false when the program is quitting.
bool DrainForScan() {
  for (;;) {
    const PumpResult r = PumpOneMessage();
    if (r == PumpResult::Quit) {
      Mode().stopRequest = 1;
      return false;
    }
    if (r == PumpResult::Idle) return true;
  }
}

// Where the device is playing, from waveOutGetPosition; false for an answer in other units.
bool PlayPosition(RingPosition& position) {
  FileScan& s = Scan();
  MMTIME time{};
  time.wType = TIME_SAMPLES;
  if (waveOutGetPosition(Capture().outputDevice, &time, sizeof time) != MMSYSERR_NOERROR) return false;
  if (time.wType == TIME_SAMPLES) {
    position = RingPositionFromSamples(time.u.sample, s.layout);
    return true;
  }
  if (time.wType == TIME_BYTES) {
    position = RingPositionFromBytes(time.u.cb, s.frameBytes, s.layout);
    return true;
  }
  return false;
}

// The scan loop: one column per poll of the play position, until the stop request.
void RunScanLoop(HWND window, HDC dc) {
  FileScan& s = Scan();
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  const bool scope = Settings().displayType == choice::kDisplayScope;
  FftEngine fft;
  const bool refused = ScanFaults().failTransformSetup || fft.Init(kScanFftOrder, -1, -1) != 0;
  if (refused) {
    // The sound would go on without a picture: stopped as "Stop" stops it.
    mode.stopRequest = 1;
    ResetOutputDevice();
    DrainMessageQueue();
    return;
  }
  int16_t frame[kScanFrameLength];
  ScopeHistory history;
  history.Clear();
  ScrollCursor cursor;
  const ScopeGeometry geometry = CurrentScopeGeometry();
  if (scope) DrawScopeFrameAxes(window, dc, geometry);
  const double pollMs = scope ? kScopePollMs : kScrollPollMs;
  c.columnCount = 1;
  c.startTimeMs = c.lastPollTimeMs = NowMs();
  const uint32_t totalFrames = TotalFrames(s.dataLength, s.bytesPerSample, s.channels);

  while (DrainForScan() && !ScanStopped()) {
    const double now = NowMs();
    if (now - c.lastPollTimeMs < pollMs) {
      SleepEx(2, FALSE);
      continue;
    }
    c.lastPollTimeMs = now;
    c.measuredColumnTimeMs = MeasuredColumnTime(now, c.startTimeMs, c.columnCount);
    if (ScanEndedByClock(ElapsedFramesByClock(s.rate, now - c.switchTimeMs), totalFrames)) {
      mode.stopRequest = 1;
      break;
    }
    RingPosition position;
    if (!PlayPosition(position)) continue;
    const int half = NextRefill(s.refill, position, s.layout);
    if (half >= 0) {
      ReadIntoRing(s.ring + static_cast<size_t>(half) * s.layout.halfBytes, s.layout.halfBytes);
      ++Report().refills;
    }
    const RingWindow w = LocateRingWindow(position, s.layout, s.frameBytes);
    if (!w.inside) continue;
    const FramePeaks peaks = BuildRingFrame(s.ring, w, s.frameBytes, s.bytesPerSample, frame);
    fft.Transform(frame, 0);
    if (scope) {
      DrawScopeColumn(window, dc, history, frame, geometry);
    } else {
      Peak peak;
      peak.max = peaks.max;
      peak.min = peaks.min;
      DrawScrollColumn(window, dc, cursor, frame, peak, false);
    }
    ++c.columnCount;
    ++Report().columns;
  }
  ResetOutputDevice();
  fft.Release();
}

// Waits a little for the device's MM_WOM_DONE after the reset; a device that says nothing
// is released here all the same.
void AwaitOutputDone() {
  const double until = NowMs() + kDoneWaitMs;
  while (Mode().fileScanPlaybackActive && NowMs() < until) {
    if (PumpOneMessage() == PumpResult::Idle) SleepEx(2, FALSE);
  }
  if (Mode().fileScanPlaybackActive) FinishFileScanOutput();
}

}  // namespace

const FileScanReport& LastFileScan() { return Report(); }

FileScanFaults& ScanFaults() {
  static FileScanFaults faults;
  return faults;
}

void FinishFileScanOutput() {
  FileScan& s = Scan();
  Mode().stopRequest = 1;
  ReleaseOutputDevice();
  FreeCounted(s.ringBlock, s.ring);
  FreeCounted(s.headerBlock, s.header);
  Capture().scanRunning = 0;
  Mode().fileScanPlaybackActive = 0;
}

void OnScanFile(HWND window, LPARAM) {
  OperatingMode& mode = Mode();
  if (mode.fileScanPlaybackActive || mode.playbackActive || mode.audioInputActive || mode.rendering ||
      mode.fileAnalysisInProgress || Capture().captureActive) {
    return;
  }
  FileScan& s = Scan();
  const bool handedOver = mode.lowResolutionScan != 0;
  mode.lowResolutionScan = 0;
  uint32_t rate = 0;
  if (handedOver) {
    TakeHandedOverFile();
    rate = s.facts.format.sampleRate;
  } else {
    RedrawView(window, false);
    if (!ChooseScanFile(window)) return;
    rate = s.facts.format.sampleRate;
  }

  // Steps 5 to 7, until the choices pass the checks.
  bool askUser = !handedOver;
  for (;;) {
    if (askUser) {
      Settings().timeScaleMs = CaptureTimeScale(static_cast<int32_t>(rate > 0 ? rate : kRawRate));
      Settings().resolution = s.facts.format.bitsPerSample == 16 ? choice::kResolution16Bit
                                                                 : choice::kResolution8Bit;
      if (!RunScanDialog(window, rate)) {
        CancelToIdle(window);
        return;
      }
    }
    askUser = true;
    const Message refusal = PrepareAndCheck(window, rate);
    if (refusal == Message::None) break;
    ShowProgramMessage(window, refusal);
    if (refusal == Message::SampleRateOutOfRange) rate = kRawRate;
  }

  if (!StartScan(window)) return;

  // Step 15: the loop.
  CaptureState& c = Capture();
  View().horizontalOffset = 0;
  View().verticalOffset = 0;
  HDC dc = GetDC(window);
  SelectPalette(dc, Drawing().palette, FALSE);
  RealizePalette(dc);
  if (Settings().displayType != choice::kDisplayScope) ClearScrollDisplay(window, dc);
  SetReadoutActivity(ReadoutActivity::FileScan, s.rate);
  mode.stopRequest = 0;
  c.scanRunning = 1;
  RunScanLoop(window, dc);

  // Step 16.
  AwaitOutputDone();
  c.scanRunning = 0;
  ReleaseDC(window, dc);
  CloseScanFile();
  SetReadoutActivity(ReadoutActivity::None);
  // Closed during the scan: the close step has released the device and the buffers.
  if (!IsWindow(window)) return;
  ReleaseDisplay();
  DrawInfoPanel(window, 0, 0, 0);
  SetMenuState(window, MenuState::Idle);
  DisableFourButtons();
  c.scanFlag = 0;

  // Step 17: the stretch around the stopping point.
  const FileScanReport& report = Report();
  const StopSpan span = ScanStopSpan(report.bytesRead, report.ringBytes, s.channels, s.bytesPerSample, s.rate);
  Report().stopBeginMs = span.beginMs;
  Report().stopEndMs = span.endMs;
  if (Settings().analysisAtStop == choice::kAnalysisOn) {
    AnalysisState& a = Analysis();
    a.beginMs = static_cast<float>(span.beginMs);
    a.endMs = static_cast<float>(span.endMs);
    SendMessageA(window, WM_COMMAND, IDM_ANALYZE_FILE, 2);
  } else {
    MessageBoxA(window, kCompleteText, kCompleteCaption, MB_OK);
  }
}

}  // namespace hl
