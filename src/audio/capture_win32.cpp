// "S&can Audio" (40011) and "&Record Audio" (40021): the scan and record dialogs, the capture
// setup, the poll loop that draws one column per poll, and the input device's MM_WIM_DATA and
// MM_WIM_CLOSE, which run nested in the loop's message drains.
//
// The card records into one block through a single buffer header. "Any" length alternates
// the header between two halves: each returned buffer is re-queued on the other half at
// once, and a recording then writes the half just filled to its file. A fixed length (10,
// 20, 30 s) records the whole block in one buffer and keeps it as the sample buffer.
#include "audio/capture_win32.h"

#include <mmsystem.h>

#include <cstring>
#include <string>

#include "app/analysis_settings.h"
#include "app/analysis_win32.h"
#include "app/commands_win32.h"
#include "app/file_analysis_win32.h"
#include "app/main_window_win32.h"
#include "app/menu_state_win32.h"
#include "app/operating_mode.h"
#include "audio/capture.h"
#include "audio/capture_state.h"
#include "audio/scan_display_win32.h"
#include "display/palette.h"
#include "display/palette_win32.h"
#include "display/readout_win32.h"
#include "display/view_win32.h"
#include "dsp/column_renderer.h"
#include "dsp/fft_engine.h"
#include "files/file_chooser_win32.h"
#include "files/wave_format.h"
#include "resources/resource.h"

namespace hl {

namespace {

constexpr char kCannotOpenAudioDevice[] = "Cannot Open Audio Device";
constexpr char kScanCompleteText[] = "Audio Scanning Complete.  No wave data has been saved.";
constexpr char kScanCompleteCaption[] = "Scanning Complete";
constexpr int kMaxLatency = 250;
// How long the end of a capture waits for the device's last buffer and its close message
// before it finishes the capture itself.
constexpr double kCloseWaitMs = 3000.0;
// How many poll intervals late a poll may come and still be caught up on.
constexpr double kCatchUpIntervals = 10.0;
// A restart of the card that keeps being refused ends the capture instead of hanging.
constexpr int kRestartAttempts = 500;

// What the handlers need beyond CaptureState, private to this file.
struct CaptureRun {
  bool bufferQueued = false;     // the header is with the device
  bool closeRequested = false;   // waveInClose has been called
  bool writeFailed = false;      // a write to the output file failed or fell short
  uint32_t bytesWritten = 0;     // sample bytes written to the output file
  // The card's position (waveInGetPosition) counts from waveInStart or the last waveInReset;
  // the samples of the buffers returned since then are where the current half starts.
  int64_t samplesBeforeHalf = 0;
  bool resetPending = false;     // the next returned buffer ends a forced reset
};
CaptureRun g_run;

// ---------------------------------------------------------------------------
// Messages, buttons, clock.

// Peeks and dispatches every waiting message. A WM_QUIT is put back for the outer loop and
// ends the drain: false then.
bool Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    if (IsModelessDialogMessage(&message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return true;
}

void EnableButton(HWND button, bool on) {
  if (button) EnableWindow(button, on ? TRUE : FALSE);
}

void DisableFourButtons() {
  const MainWindowState& w = MainWindow();
  for (HWND b : {w.playButton, w.playWindowButton, w.toggleGridButton, w.stopButton}) EnableButton(b, false);
}

bool FixedLength() { return Capture().recordSeconds > 0; }

// ---------------------------------------------------------------------------
// The scan and record dialogs (103 and 106).

struct DialogWork {
  HWND owner = nullptr;
  bool record = false;  // dialog 106: record length in place of the display type
  int16_t rate = choice::kRate11k;
  int16_t resolution = choice::kResolution8Bit;
  int16_t palette = static_cast<int16_t>(PaletteScheme::CB);
  int16_t displayType = choice::kDisplayScroll;
  int16_t recordLength = choice::kRecord10s;
  int32_t attenuation = 0;
  int32_t latency = 60;
};

void ShowNumber(HWND dialog, int editId, int barId, int32_t value) {
  SetScrollPos(GetDlgItem(dialog, barId), SB_CTL, value, TRUE);
  SetDlgItemInt(dialog, editId, static_cast<UINT>(value), FALSE);
}

// With "Scope" the colours and the attenuation are out of use (the Scope draws in "CB" at
// 0 dB); the latency stays.
void ApplyDisplayTypeRule(HWND dialog, const DialogWork& w) {
  if (w.record) return;
  const BOOL on = w.displayType == choice::kDisplayScope ? FALSE : TRUE;
  for (int id : {IDC_PALETTE_CB, IDC_PALETTE_CG, IDC_PALETTE_BW, IDC_PALETTE_WB, IDC_ATTENUATION, IDC_ATTENUATION_BAR}) {
    EnableWindow(GetDlgItem(dialog, id), on);
  }
}

void InitialiseDialog(HWND dialog, DialogWork& w) {
  RECT r;
  GetWindowRect(dialog, &r);
  const ScreenMetrics& m = MainWindow().metrics;
  const int screenWidth = m.screenWidth > 0 ? m.screenWidth : GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = m.screenHeight > 0 ? m.screenHeight : GetSystemMetrics(SM_CYSCREEN);
  const DialogPlace place = ScanDialogPlace(screenWidth, screenHeight, r.right - r.left, r.bottom - r.top);
  SetWindowPos(dialog, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

  SetScrollRange(GetDlgItem(dialog, IDC_ATTENUATION_BAR), SB_CTL, 0, kMaxAttenuation, FALSE);
  SetScrollRange(GetDlgItem(dialog, IDC_LATENCY_BAR), SB_CTL, 0, kMaxLatency, FALSE);
  ShowNumber(dialog, IDC_ATTENUATION, IDC_ATTENUATION_BAR, w.attenuation);
  ShowNumber(dialog, IDC_LATENCY, IDC_LATENCY_BAR, w.latency);
  CheckRadioButton(dialog, IDC_RATE_5K, IDC_RATE_44K, w.rate);
  CheckRadioButton(dialog, IDC_RES_8_BIT, IDC_RES_16_BIT, w.resolution);
  CheckRadioButton(dialog, IDC_PALETTE_CB, IDC_PALETTE_WB, w.palette);
  if (w.record) {
    CheckRadioButton(dialog, IDC_RECORD_10, IDC_RECORD_ANY, w.recordLength);
  } else {
    CheckRadioButton(dialog, IDC_DISPLAY_SCROLL, IDC_DISPLAY_SCOPE, w.displayType);
  }
  ApplyDisplayTypeRule(dialog, w);
}

void ScrollDialogBar(HWND dialog, DialogWork& w, HWND bar, WPARAM wParam) {
  const int code = LOWORD(wParam);
  const int thumb = static_cast<short>(HIWORD(wParam));
  if (bar == GetDlgItem(dialog, IDC_ATTENUATION_BAR)) {
    const BarValue v = ScrollBarValue(code, thumb, w.attenuation, kMaxAttenuation);
    if (!v.changed) return;
    w.attenuation = v.value;
    ShowNumber(dialog, IDC_ATTENUATION, IDC_ATTENUATION_BAR, w.attenuation);
  } else if (bar == GetDlgItem(dialog, IDC_LATENCY_BAR)) {
    const BarValue v = ScrollBarValue(code, thumb, w.latency, kMaxLatency);
    if (!v.changed) return;
    w.latency = v.value;
    ShowNumber(dialog, IDC_LATENCY, IDC_LATENCY_BAR, w.latency);
  }
}

// OK: the choices become settings, the capture's analysis is fixed at 512 points "NB", and
// the palette is rebuilt for the chosen scheme and attenuation.
void AcceptDialog(DialogWork& w) {
  AnalysisSettings& s = Settings();
  s.sampleRateChoice = w.rate;
  s.resolution = w.resolution;
  s.palette = w.palette;
  s.attenuation = static_cast<int16_t>(w.attenuation);
  s.latencyMs = static_cast<int16_t>(w.latency);
  if (w.record) {
    s.recordLength = w.recordLength;
    s.displayType = choice::kDisplayScroll;
  } else {
    s.displayType = w.displayType;
  }
  s.timeScaleMs = CaptureTimeScale(CaptureRateOfChoice(w.rate));
  s.fftSize = choice::kFft512;
  s.fftOrder = 9;
  s.frequencyMode = choice::kModeNb;
  SetScopeWindowStyle(w.owner, s.displayType == choice::kDisplayScope);
  DrainMessageQueue();
  Drawing().scheme = static_cast<PaletteScheme>(s.palette);
  LoadPalette(w.owner, PaletteOffset(s.attenuation));
  UpdateDisplayColourTable();
}

void DialogCommand(HWND dialog, DialogWork& w, int id) {
  switch (id) {
    case IDC_OK:
    case IDOK:
      AcceptDialog(w);
      EndDialog(dialog, 1);
      return;
    case IDC_CANCEL:
    case IDCANCEL:
      EndDialog(dialog, 0);
      return;
    case IDC_RATE_5K:
    case IDC_RATE_11K:
    case IDC_RATE_22K:
    case IDC_RATE_44K:
      w.rate = static_cast<int16_t>(id);
      return;
    case IDC_RES_8_BIT:
    case IDC_RES_16_BIT:
      w.resolution = static_cast<int16_t>(id);
      return;
    case IDC_PALETTE_CB:
    case IDC_PALETTE_CG:
    case IDC_PALETTE_BW:
    case IDC_PALETTE_WB:
      w.palette = static_cast<int16_t>(id);
      return;
    case IDC_DISPLAY_SCROLL:
    case IDC_DISPLAY_SCOPE:
      if (w.record) return;
      w.displayType = static_cast<int16_t>(id);
      ApplyDisplayTypeRule(dialog, w);
      return;
    case IDC_RECORD_10:
    case IDC_RECORD_20:
    case IDC_RECORD_30:
    case IDC_RECORD_ANY:
      if (w.record) w.recordLength = static_cast<int16_t>(id);
      return;
    default:
      return;
  }
}

INT_PTR CALLBACK CaptureDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogWork* w = reinterpret_cast<DialogWork*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      InitialiseDialog(dialog, *reinterpret_cast<DialogWork*>(lParam));
      return TRUE;
    case WM_HSCROLL:
      if (w) ScrollDialogBar(dialog, *w, reinterpret_cast<HWND>(lParam), wParam);
      return TRUE;
    case WM_COMMAND:
      if (w && HIWORD(wParam) == BN_CLICKED) DialogCommand(dialog, *w, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

bool RunCaptureDialog(HWND owner, bool record) {
  const AnalysisSettings& s = Settings();
  DialogWork w;
  w.owner = owner;
  w.record = record;
  w.rate = s.sampleRateChoice;
  w.resolution = s.resolution;
  w.palette = s.palette;
  w.displayType = s.displayType;
  w.recordLength = s.recordLength;
  w.attenuation = s.attenuation;
  w.latency = s.latencyMs;
  const INT_PTR result =
      DialogBoxParamA(MainWindow().instance, MAKEINTRESOURCEA(record ? IDD_RECORD_AUDIO : IDD_SCAN_AUDIO), owner,
                      CaptureDialogProc, reinterpret_cast<LPARAM>(&w));
  return result == 1;
}

// ---------------------------------------------------------------------------
// The output file.

void WriteSamples(const uint8_t* bytes, uint32_t count) {
  CaptureState& c = Capture();
  if (!c.outputFile || count == 0) return;
  DWORD written = 0;
  if (!WriteFile(c.outputFile, bytes, count, &written, nullptr) || written != count) g_run.writeFailed = true;
  g_run.bytesWritten += written;
}

// The header in front of the capture block gets the true length and goes to the file's
// first 46 bytes; the file is closed. The length is what reached the file, which is every
// byte the card delivered unless a write failed.
void FinishOutputFile() {
  CaptureState& c = Capture();
  if (!c.outputFile) return;
  if (c.lockedBlock) {
    PatchRecordingHeader(c.lockedBlock, g_run.bytesWritten);
    DWORD written = 0;
    if (SetFilePointer(c.outputFile, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !WriteFile(c.outputFile, c.lockedBlock, kCaptureHeaderBytes, &written, nullptr) ||
        written != kCaptureHeaderBytes) {
      g_run.writeFailed = true;
    }
  }
  if (!CloseHandle(c.outputFile)) g_run.writeFailed = true;
  c.outputFile = nullptr;
}

// ---------------------------------------------------------------------------
// Memory of the capture.

void ReleaseHeaderBlock() {
  CaptureState& c = Capture();
  if (!c.headerBlock) return;
  GlobalUnlock(c.headerBlock);
  GlobalFree(c.headerBlock);
  --AllocationCount();
  c.headerBlock = nullptr;
  c.header = nullptr;
}

void ReleaseCaptureBlock() {
  CaptureState& c = Capture();
  if (!c.block) return;
  if (c.lockedBlock) GlobalUnlock(c.block);
  GlobalFree(c.block);
  --AllocationCount();
  c.block = nullptr;
  c.lockedBlock = nullptr;
  c.firstHalf = c.secondHalf = nullptr;
}

void ReleaseDisplayBitmap() {
  DestroyDisplayBitmap();
  Mode().displayBitmapExists = 0;
  MainWindow().displayBitmapExists = false;
}

// How far the card has written into the current half, by its own position; -1 when the
// device does not say.
int64_t CardSamplesInHalf() {
  const CaptureState& c = Capture();
  if (!c.inputDevice) return -1;
  MMTIME position{};
  position.wType = TIME_SAMPLES;
  if (waveInGetPosition(c.inputDevice, &position, sizeof position) != MMSYSERR_NOERROR) return -1;
  int64_t samples;
  if (position.wType == TIME_SAMPLES) {
    samples = position.u.sample;
  } else if (position.wType == TIME_BYTES && c.bytesPerSample > 0) {
    samples = position.u.cb / static_cast<DWORD>(c.bytesPerSample);
  } else {
    return -1;
  }
  return samples - g_run.samplesBeforeHalf;
}

// The device closes: the header is unprepared and waveInClose posts MM_WIM_CLOSE.
void CloseDevice() {
  CaptureState& c = Capture();
  if (!c.inputDevice || g_run.closeRequested) return;
  if (c.header) waveInUnprepareHeader(c.inputDevice, c.header, sizeof(WAVEHDR));
  g_run.closeRequested = true;
  waveInClose(c.inputDevice);
}

// MM_WIM_CLOSE's work: the file's header and close, the block released ("Any") or kept
// (fixed length, for the sample buffer), the buffer header freed, the capture over.
void FinishCapture() {
  CaptureState& c = Capture();
  if (c.recording) FinishOutputFile();
  if (FixedLength()) {
    if (c.lockedBlock) GlobalUnlock(c.block);
    c.lockedBlock = nullptr;
    c.firstHalf = c.secondHalf = nullptr;
  } else {
    ReleaseCaptureBlock();
  }
  ReleaseHeaderBlock();
  c.inputDevice = nullptr;
  c.captureActive = 0;
  c.scanRunning = 0;
  g_run.bufferQueued = false;
}

// A buffer came back from the card.
void HandleReturnedBuffer(WAVEHDR* h) {
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  g_run.bufferQueued = false;
  const DWORD recorded = h->dwBytesRecorded;
  c.totalBytesCaptured += recorded;
  if (g_run.resetPending) {
    g_run.samplesBeforeHalf = 0;
    g_run.resetPending = false;
  } else if (c.bytesPerSample > 0) {
    g_run.samplesBeforeHalf += recorded / static_cast<DWORD>(c.bytesPerSample);
  }
  if (FixedLength()) {
    mode.stopRequest = 1;
    if (c.recording) WriteSamples(c.firstHalf, recorded);
    CloseDevice();
    return;
  }
  ++c.completedBuffers;
  uint8_t* justFilled;
  if (c.completedBuffers % 2 == 1) {
    h->lpData = reinterpret_cast<LPSTR>(c.secondHalf);
    c.currentHalf = 1;
    justFilled = c.firstHalf;
  } else {
    h->lpData = reinterpret_cast<LPSTR>(c.firstHalf);
    c.currentHalf = 0;
    justFilled = c.secondHalf;
  }
  if (!mode.stopRequest) {
    // Re-queue first, so that the card loses as little as possible; then write.
    bool started = false;
    for (int attempt = 0; attempt < kRestartAttempts && !started; ++attempt) {
      waveInUnprepareHeader(c.inputDevice, h, sizeof(WAVEHDR));
      h->dwBufferLength = static_cast<DWORD>(c.bytesPerHalf);
      h->dwBytesRecorded = 0;
      h->dwUser = 0;
      h->dwFlags = 0;
      h->dwLoops = 0;
      if (waveInPrepareHeader(c.inputDevice, h, sizeof(WAVEHDR)) == MMSYSERR_NOERROR &&
          waveInAddBuffer(c.inputDevice, h, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) {
        g_run.bufferQueued = true;
        started = waveInStart(c.inputDevice) == MMSYSERR_NOERROR;
      }
      if (!started) {
        if (g_run.bufferQueued) {
          // The reset returns the buffer at once: its message is not a half of sound.
          waveInReset(c.inputDevice);
          MSG stale;
          while (PeekMessageA(&stale, nullptr, MM_WIM_DATA, MM_WIM_DATA, PM_REMOVE)) {
          }
          g_run.samplesBeforeHalf = 0;
        }
        g_run.bufferQueued = false;
        SleepEx(2, FALSE);
      }
    }
    c.switchTimeMs = CaptureClockMs();
    if (c.recording) WriteSamples(justFilled, recorded);
    if (!started) {
      // The card refuses to go on: the capture ends as if stopped, keeping what it has.
      mode.stopRequest = 1;
      CloseDevice();
    }
    return;
  }
  if (c.recording) WriteSamples(justFilled, recorded);
  CloseDevice();
}

// Ends a capture whose device messages cannot be waited for any longer (the window is gone,
// or the driver never answered): what the card has returned is taken from the header itself.
void FinishCaptureNow() {
  CaptureState& c = Capture();
  Mode().stopRequest = 1;
  if (c.inputDevice && !g_run.closeRequested) {
    waveInStop(c.inputDevice);
    waveInReset(c.inputDevice);
    if (g_run.bufferQueued && c.header && (c.header->dwFlags & WHDR_DONE)) {
      HandleReturnedBuffer(c.header);
    } else if (!g_run.bufferQueued) {
      CloseDevice();
    }
  }
  if (g_run.bufferQueued) {
    // The driver still holds the buffer: its memory cannot be freed under it. The file is
    // still completed with what was written.
    if (c.recording) FinishOutputFile();
    c.captureActive = 0;
    return;
  }
  if (c.captureActive) FinishCapture();
}

// Waits, pumping messages, until the device's close has been handled; bounded.
void AwaitDeviceClose(HWND window) {
  CaptureState& c = Capture();
  // The loop ends on the stop request alone; a device still recording is stopped here
  // whoever raised it.
  StopCaptureDevice();
  const double start = CaptureClockMs();
  while (c.captureActive && IsWindow(window) && CaptureClockMs() - start < kCloseWaitMs) {
    if (!Pump()) break;
    if (!c.captureActive) break;
    SleepEx(2, FALSE);
  }
  if (c.captureActive) FinishCaptureNow();
}

// ---------------------------------------------------------------------------
// The capture loop.

// Draws one column per poll until the stop request is set. Returns 0, or -1 when the
// transform could not be built (nothing drawn).
int CaptureLoop(HWND window, HDC dc) {
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  const AnalysisSettings& s = Settings();
  if (!Pump()) mode.stopRequest = 1;
  FftEngine fft;
  if (fft.Init(9, c.sampleRate, -1) != 0) return -1;
  ScopeHistory history;
  history.Clear();
  int16_t frame[kCaptureFrame];

  const bool scope = s.displayType == choice::kDisplayScope && !c.recording;
  ScopeGeometry g{};
  if (scope) {
    g = CurrentScopeGeometry();
    DrawScopeFrameAxes(window, dc, g);
  }
  const double interval = scope ? 30.0 : 10.0;
  const bool fixed = FixedLength();
  ScrollCursor cursor;
  c.columnCount = 0;
  c.startTimeMs = c.lastPollTimeMs = CaptureClockMs();

  while (!mode.stopRequest) {
    if (!Pump()) {
      mode.stopRequest = 1;
      break;
    }
    if (fixed && c.columnCount >= Display().width) {
      // The bitmap is full: a column more could be neither drawn nor scrolled to, so none is
      // counted, and the column time stays the one measured over the columns drawn. The
      // loop waits for the card to return the buffer.
      SleepEx(static_cast<DWORD>(interval), FALSE);
      continue;
    }
    WindowPlan plan{};
    bool take = false;
    while (!mode.stopRequest) {
      const double now = CaptureClockMs();
      if (now - c.lastPollTimeMs < interval) {
        SleepEx(PollSleepMs(now - c.lastPollTimeMs, interval), FALSE);
        continue;
      }
      // The next poll is due one interval after this one was due, so that the 2 ms sleeps
      // and a busy machine's late wake-ups do not stretch every column (each column's window
      // comes from the clock, so one drawn late still shows its own moment). A loop held up
      // for longer (a dialog, a modal box, a slow repaint) starts its cadence again from now
      // instead of catching up in a burst.
      c.lastPollTimeMs = now - c.lastPollTimeMs < kCatchUpIntervals * interval ? c.lastPollTimeMs + interval : now;
      c.measuredColumnTimeMs = MeasuredColumnTime(now, c.startTimeMs, c.columnCount);
      int32_t p = WindowStart(now, c.switchTimeMs, s.latencyMs, c.sampleRate);
      const int64_t card = CardSamplesInHalf();
      if (card >= 0) p = LimitWindowToCard(p, card, s.latencyMs, c.sampleRate);
      plan = PlanWindow(p, c.bytesPerSample, c.bytesPerHalf);
      if (plan.late) {
        // A fixed-length recording is one buffer: a reset would end it early, and the card
        // returns it on its own once it is full.
        if (!fixed && c.inputDevice && g_run.bufferQueued) {
          ++c.lateResets;
          g_run.resetPending = true;
          waveInReset(c.inputDevice);
        }
        if (!Pump()) mode.stopRequest = 1;
        continue;
      }
      take = true;
      break;
    }
    if (!take || mode.stopRequest || !c.lockedBlock) break;

    const uint8_t* current = c.currentHalf ? c.secondHalf : c.firstHalf;
    const uint8_t* previous = c.currentHalf ? c.firstHalf : c.secondHalf;
    const uint8_t* tail = previous + static_cast<size_t>(c.samplesPerHalf - plan.fromPrevious) * c.bytesPerSample;
    const uint8_t* head = current + static_cast<size_t>(plan.currentStart) * c.bytesPerSample;
    const Peak peak = BuildFrame(tail, plan.fromPrevious, head, plan.fromCurrent, c.bitsPerSample, frame);
    fft.Transform(frame, 0);

    if (scope) {
      DrawScopeColumn(window, dc, history, frame, g);
    } else if (fixed) {
      DrawRecordedColumn(window, dc, c.columnCount, frame, peak);
    } else {
      DrawScrollColumn(window, dc, cursor, frame, peak, !mode.playbackActive);
    }
    ++c.columnCount;
  }
  fft.Release();
  return 0;
}

// ---------------------------------------------------------------------------
// The capture setup shared by the scan and the recording.

// Everything the setup made is released and the window goes back to idle.
void AbandonCapture(HWND window) {
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  if (c.inputDevice) {
    if (g_run.bufferQueued) waveInReset(c.inputDevice);
    g_run.bufferQueued = false;
    if (c.header) waveInUnprepareHeader(c.inputDevice, c.header, sizeof(WAVEHDR));
    // Its MM_WIM_CLOSE finds no device and is ignored.
    HWAVEIN device = c.inputDevice;
    c.inputDevice = nullptr;
    waveInClose(device);
  }
  ReleaseHeaderBlock();
  ReleaseCaptureBlock();
  ReleaseDisplayBitmap();
  DisableFourButtons();
  SetMenuState(window, MenuState::Idle);
  SetReadoutActivity(ReadoutActivity::None);
  c.captureActive = 0;
  c.scanRunning = 0;
  c.recording = 0;
  mode.audioInputActive = 0;
  mode.playbackActive = 0;
  mode.stopRequest = 1;
}

// The output file of a recording, created (or truncated) with the samples to follow from
// byte 46; the header is written over the first 46 bytes when the device closes.
bool CreateRecordingFile() {
  CaptureState& c = Capture();
  HANDLE file = CreateFileA(c.outputPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  SetFilePointer(file, static_cast<LONG>(kCaptureHeaderBytes), nullptr, FILE_BEGIN);
  c.outputFile = file;
  return true;
}

// The format the card is opened with.
WAVEFORMATEX CaptureFormat(const CaptureState& c) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = static_cast<WORD>(c.channels);
  f.nSamplesPerSec = static_cast<DWORD>(c.sampleRate);
  f.nAvgBytesPerSec = static_cast<DWORD>(c.channels * c.bytesPerSample * c.sampleRate);
  f.nBlockAlign = static_cast<WORD>(c.bytesPerSample * c.channels);
  f.wBitsPerSample = static_cast<WORD>(c.bitsPerSample);
  f.cbSize = 0;
  return f;
}

// Returns true when the loop ran (the device was opened and started).
bool RunCapture(HWND window) {
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  const AnalysisSettings& s = Settings();
  const MainWindowState& w = MainWindow();
  g_run = CaptureRun();

  c.captureActive = 1;
  mode.audioInputActive = 1;
  mode.playbackActive = 0;
  mode.stopRequest = 0;
  c.currentHalf = 0;
  c.completedBuffers = 0;
  c.lateResets = 0;
  c.columnCount = 0;
  c.totalBytesCaptured = 0;
  DrawInfoPanel(window, 0, 0, 0);

  c.sampleRate = CaptureRateOfChoice(s.sampleRateChoice);
  c.bitsPerSample = s.resolution == choice::kResolution16Bit ? 16 : 8;
  c.bytesPerSample = c.bitsPerSample / 8;
  c.channels = 1;
  c.recordSeconds = c.recording ? RecordSecondsOfChoice(s.recordLength) : 0;
  const HalfSizes half = ComputeHalfSizes(c.sampleRate, c.bytesPerSample);
  c.halfSeconds = half.seconds;
  const bool fixed = FixedLength();
  if (fixed) {
    // One area: the window arithmetic sees it as one long half.
    c.areaBytes = FixedRecordingBytes(c.recordSeconds, c.sampleRate, c.bytesPerSample);
    c.bytesPerHalf = static_cast<int32_t>(c.areaBytes);
    c.samplesPerHalf = static_cast<int32_t>(c.areaBytes / static_cast<uint32_t>(c.bytesPerSample));
    c.measuredColumnTimeMs = 10.0f;
    c.samplesPerColumn = SamplesPerColumn(c.sampleRate, 10.0f);
    c.plannedColumns = PlannedColumns(static_cast<uint32_t>(c.samplesPerHalf), c.samplesPerColumn);
  } else {
    c.samplesPerHalf = half.samplesPerHalf;
    c.bytesPerHalf = half.bytesPerHalf;
    c.areaBytes = 2u * static_cast<uint32_t>(half.bytesPerHalf);
    c.measuredColumnTimeMs = 1.0f;
  }

  c.block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(c.areaBytes) + kCaptureHeaderBytes);
  if (!c.block) {
    ShowProgramMessage(window, Message::NotEnoughMemory);
    AbandonCapture(window);
    return false;
  }
  ++AllocationCount();
  c.lockedBlock = static_cast<uint8_t*>(GlobalLock(c.block));
  if (!c.lockedBlock) {
    ShowProgramMessage(window, Message::NotEnoughMemory);
    AbandonCapture(window);
    return false;
  }
  c.totalBytesCaptured = 0;
  c.firstHalf = c.lockedBlock + kCaptureHeaderBytes;
  c.secondHalf = fixed ? c.firstHalf : c.firstHalf + c.bytesPerHalf;
  DrawInfoPanel(window, static_cast<uint32_t>(c.sampleRate), c.bitsPerSample, fixed ? c.areaBytes : 0);
  if (c.bitsPerSample == 8) std::memset(c.firstHalf, 0x80, c.areaBytes);
  WriteWaveHeader(c.lockedBlock, WaveFormat{1, 1, static_cast<uint32_t>(c.sampleRate), static_cast<uint16_t>(c.bitsPerSample)},
                  0);

  if (fixed) {
    const int width = c.plannedColumns > w.metrics.screenWidth ? c.plannedColumns : w.metrics.screenWidth;
    if (!CreateDisplayBitmap(window, width, kScrollImageHeight)) {
      ShowProgramMessage(window, Message::NotEnoughDisplayMemory);
      AbandonCapture(window);
      return false;
    }
    mode.displayBitmapExists = 1;
    MainWindow().displayBitmapExists = true;
    const DisplayBitmap& d = Display();
    GdiFlush();
    std::memset(d.bits, kIndexFloor, static_cast<size_t>(d.stride) * d.height);
  }

  WAVEFORMATEX format = CaptureFormat(c);
  HWAVEIN device = nullptr;
  if (waveInOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(window), 0,
                 CALLBACK_WINDOW | WAVE_ALLOWSYNC) != MMSYSERR_NOERROR) {
    ShowMessage(window, kCannotOpenAudioDevice, MB_ICONHAND);
    AbandonCapture(window);
    return false;
  }
  c.inputDevice = device;

  c.headerBlock = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(WAVEHDR));
  if (c.headerBlock) ++AllocationCount();
  c.header = c.headerBlock ? static_cast<WAVEHDR*>(GlobalLock(c.headerBlock)) : nullptr;
  if (!c.header) {
    AbandonCapture(window);
    return false;
  }
  c.header->lpData = reinterpret_cast<LPSTR>(c.firstHalf);
  c.header->dwBufferLength = static_cast<DWORD>(c.bytesPerHalf);
  if (waveInPrepareHeader(device, c.header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR ||
      waveInAddBuffer(device, c.header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
    AbandonCapture(window);
    return false;
  }
  g_run.bufferQueued = true;

  c.totalBytesCaptured = 0;
  c.completedBuffers = 0;
  HDC dc = GetDC(window);
  SelectPalette(dc, Drawing().palette, FALSE);
  RealizePalette(dc);
  const bool scope = s.displayType == choice::kDisplayScope && !c.recording;
  if (fixed || scope) {
    BitBlt(dc, 0, 0, ImageAreaWidth(), ImageAreaHeight(), Display().dc, 0, 0, SRCCOPY);
  } else {
    ClearScrollDisplay(window, dc);
  }
  SetScrollRange(w.horizontalScrollBar, SB_CTL, 0, 0, FALSE);
  SetScrollPos(w.horizontalScrollBar, SB_CTL, 0, TRUE);
  View().horizontalOffset = 0;
  View().verticalOffset = 0;
  View().horizontallyScrollable = false;
  View().horizontalRange = 0;
  mode.stopRequest = 0;
  c.scanRunning = 1;

  if (waveInStart(device) != MMSYSERR_NOERROR) {
    ReleaseDC(window, dc);
    AbandonCapture(window);
    return false;
  }
  // A recording creates its file now that the card records. Nothing is written before the
  // loop below pumps the first MM_WIM_DATA.
  if (c.recording && !CreateRecordingFile()) {
    ReleaseDC(window, dc);
    ShowProgramMessage(window, Message::CannotOpenFile);
    AbandonCapture(window);
    return false;
  }
  SetReadoutActivity(c.recording ? ReadoutActivity::Recording : ReadoutActivity::LiveScan,
                     static_cast<uint32_t>(c.sampleRate));
  SetMenuState(window, MenuState::Busy);
  EnableButton(w.stopButton, true);
  EnableButton(w.playButton, false);
  EnableButton(w.playWindowButton, false);
  EnableButton(w.toggleGridButton, scope);

  c.switchTimeMs = CaptureClockMs();
  const int loop = CaptureLoop(window, dc);
  if (IsWindow(window)) ReleaseDC(window, dc);
  if (loop != 0) {
    // No transform: the device is stopped and closed as "Stop" would.
    StopCaptureDevice();
  }
  AwaitDeviceClose(window);
  return true;
}

// The end of any capture once the window is gone: nothing may stay held.
void ReleaseAfterClose() {
  CaptureState& c = Capture();
  if (c.captureActive) FinishCaptureNow();
  // A block the driver still holds a buffer of stays (counted, so the close beeps).
  if (!g_run.bufferQueued) ReleaseCaptureBlock();
  ReleaseDisplayBitmap();
  c.recording = 0;
  c.scanRunning = 0;
  Mode().audioInputActive = 0;
}

// A capture is running, or something else holds the window: a second command must wait.
bool Busy() {
  const OperatingMode& mode = Mode();
  return Capture().captureActive || Capture().recording || mode.fileAnalysisInProgress || mode.rendering ||
         mode.playbackActive || mode.fileScanPlaybackActive;
}

}  // namespace

double CaptureClockMs() {
  static WrapSafeClock clock;
  MMTIME time{};
  time.wType = TIME_MS;
  while (timeGetSystemTime(&time, sizeof time) != TIMERR_NOERROR) {
    time.wType = TIME_MS;
  }
  return static_cast<double>(clock.Extend(time.u.ms));
}

void StopCaptureDevice() {
  CaptureState& c = Capture();
  if (!c.captureActive) return;
  Mode().stopRequest = 1;
  if (c.inputDevice && !g_run.closeRequested) {
    waveInStop(c.inputDevice);
    waveInReset(c.inputDevice);
  }
}

LRESULT OnWaveInData(HWND, WPARAM wParam, LPARAM lParam) {
  CaptureState& c = Capture();
  WAVEHDR* h = reinterpret_cast<WAVEHDR*>(lParam);
  // A buffer of a device this capture no longer owns (or one already taken) is ignored.
  if (!c.captureActive || !c.inputDevice || reinterpret_cast<HWAVEIN>(wParam) != c.inputDevice || h != c.header ||
      !g_run.bufferQueued) {
    return 0;
  }
  HandleReturnedBuffer(h);
  return 0;
}

LRESULT OnWaveInClose(HWND, WPARAM wParam, LPARAM) {
  CaptureState& c = Capture();
  if (!c.captureActive || !c.inputDevice || reinterpret_cast<HWAVEIN>(wParam) != c.inputDevice) return 0;
  FinishCapture();
  return 0;
}

void OnScanAudio(HWND window, LPARAM) {
  if (Busy()) return;
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  AnalysisSettings& s = Settings();

  RedrawView(window, false);
  if (!RunCaptureDialog(window, false)) {
    mode.playbackActive = 0;
    mode.audioInputActive = 0;
    RedrawView(window, true);
    return;
  }
  // Nothing of the shown analysis stays: the scan draws over the whole image area.
  ReleaseAnalysisForClose();
  mode.dataPresent = 0;
  Analysis().columnCount = 0;
  Analysis().dataLength = 0;

  s.fftSize = choice::kFft512;
  SendMessageA(window, WM_COMMAND, IDM_FFT_512, 0);
  InvalidateRect(window, nullptr, TRUE);
  DrainMessageQueue();

  HDC dc = GetDC(window);
  SelectPalette(dc, Drawing().palette, FALSE);
  RealizePalette(dc);
  if (s.displayType == choice::kDisplayScope) {
    if (!PrepareScopeDisplay(window, dc)) {
      ReleaseDC(window, dc);
      ShowProgramMessage(window, Message::NotEnoughDisplayMemory);
      return;
    }
  } else {
    ClearScrollDisplay(window, dc);
  }
  ReleaseDC(window, dc);

  c.scanFlag = 1;
  c.recording = 0;
  s.recordLength = choice::kRecordAny;
  if (!RunCapture(window)) return;
  if (!IsWindow(window)) {
    ReleaseAfterClose();
    return;
  }
  MessageBoxA(window, kScanCompleteText, kScanCompleteCaption, MB_OK);
  SetReadoutActivity(ReadoutActivity::None);
  c.scanRunning = 0;
  c.captureActive = 0;
  mode.audioInputActive = 0;
  mode.playbackActive = 0;
  DrawInfoPanel(window, 0, 0, 0);
  EnableButton(MainWindow().stopButton, false);
  SetMenuState(window, MenuState::Idle);
}

void OnRecordAudio(HWND window, LPARAM) {
  if (Busy()) return;
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  AnalysisSettings& s = Settings();

  s.fftOrder = 9;
  s.fftSize = choice::kFft512;
  s.recordLength = choice::kRecord10s;
  s.resolution = choice::kResolution16Bit;
  s.sampleRateChoice = choice::kRate22k;
  SendMessageA(window, WM_COMMAND, IDM_FFT_512, 0);
  c.recording = 1;
  RedrawView(window, false);

  if (!ChooseSaveWave()) {
    RedrawView(window, true);
    c.recording = 0;
    return;
  }
  // The file is created only once the card records (RunCapture): a Cancel or a failed set-up
  // leaves a file of that name as it was.
  const std::string path = WaveSavePath();

  s.displayType = choice::kDisplayScroll;
  RedrawView(window, false);
  if (!RunCaptureDialog(window, true)) {
    RedrawView(window, true);
    c.recording = 0;
    c.scanRunning = 0;
    c.captureActive = 0;
    mode.audioInputActive = 0;
    mode.playbackActive = 0;
    return;
  }

  DrainMessageQueue();
  HDC dc = GetDC(window);
  SelectPalette(dc, Drawing().palette, FALSE);
  RealizePalette(dc);
  ClearScrollDisplay(window, dc);
  ReleaseDC(window, dc);
  ReleaseAnalysisForClose();
  mode.dataPresent = 0;
  Analysis().columnCount = 0;
  c.scanFlag = 0;
  c.outputFile = nullptr;
  c.outputPath = path;

  // The playback lead of the image: the window of a column ends latency + one frame before
  // the moment it was drawn.
  c.playbackLeadMs = static_cast<int16_t>(s.latencyMs + static_cast<int>(s.timeScaleMs));
  if (!RunCapture(window)) {
    c.recording = 0;
    return;
  }
  if (!IsWindow(window)) {
    ReleaseAfterClose();
    return;
  }

  const MainWindowState& w = MainWindow();
  c.scanRunning = 0;
  c.captureActive = 0;
  mode.audioInputActive = 0;
  mode.playbackActive = 0;
  DrawInfoPanel(window, 0, 0, 0);
  c.recording = 0;
  SetMenuState(window, MenuState::Idle);
  EnableButton(w.stopButton, false);
  SetOpenWavePath(path.c_str());
  if (g_run.writeFailed) ShowProgramMessage(window, Message::ErrorWritingFile);

  SetReadoutActivity(FixedLength() ? ReadoutActivity::Analysis : ReadoutActivity::None);
  if (!FixedLength()) {
    EnableButton(w.toggleGridButton, false);
    SendMessageA(window, WM_COMMAND, IDM_ANALYZE_FILE, 1);
    return;
  }

  // A fixed length stays as the sample buffer, for "Play", "Play Wdw" and "&Change".
  AnalysisState& a = Analysis();
  const int width = ImageAreaWidth();
  a.filePath = path;
  const size_t cut = path.find_last_of("\\/:");
  a.fileTitle = cut == std::string::npos ? path : path.substr(cut + 1);
  a.format = WaveFormat{1, 1, static_cast<uint32_t>(c.sampleRate), static_cast<uint16_t>(c.bitsPerSample)};
  a.wavFlag = true;
  a.dataOffset = kCaptureHeaderBytes;
  a.dataLength = c.totalBytesCaptured;
  a.byteCount = c.totalBytesCaptured;
  a.beginOffset = 0;
  a.beginMs = 0;
  a.endMs = c.sampleRate > 0 ? static_cast<float>(c.totalBytesCaptured / static_cast<uint32_t>(c.bytesPerSample)) *
                                   1000.0f / static_cast<float>(c.sampleRate)
                             : 0.0f;
  a.imageStartMs = 0;
  a.accumulatedBeginMs = 0;
  a.restorePoint = false;
  a.columnCount = c.columnCount;
  c.samplesPerColumn = SamplesPerColumn(c.sampleRate, c.measuredColumnTimeMs);
  a.step = c.samplesPerColumn;
  a.sampleBuffer = c.block;
  a.lockedSampleBuffer = nullptr;
  a.waveDataFlag = true;
  c.block = nullptr;
  mode.sampleBufferHeld = 1;
  mode.dataPresent = 1;
  // The image's columns are as far apart as they were drawn, for the grid and readouts.
  s.timeScaleMs = c.measuredColumnTimeMs;
  DrawInfoPanel(window, a.format.sampleRate, a.format.bitsPerSample, a.dataLength);

  EnableButton(w.toggleGridButton, true);
  EnableButton(w.playButton, a.columnCount > width);
  EnableButton(w.playWindowButton, true);
  SetMenuState(window, MenuState::DataLoaded);
  ViewState& view = View();
  if (a.columnCount <= width) {
    view.horizontallyScrollable = false;
    view.horizontalRange = 0;
    view.horizontalOffset = 0;
  } else {
    view.horizontallyScrollable = true;
    view.horizontalRange = a.columnCount - width;
    view.horizontalOffset = view.horizontalRange;
  }
  SetScrollRange(w.horizontalScrollBar, SB_CTL, 0, view.horizontalRange, FALSE);
  SetScrollPos(w.horizontalScrollBar, SB_CTL, view.horizontalOffset, TRUE);
  RedrawView(window, true);
}

}  // namespace hl
