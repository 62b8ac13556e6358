// "S&can Audio" (40011) and "&Record Audio" (40021): the scan and record dialogs, the capture
// setup, the poll loop that draws one column per poll, and the input device's MM_WIM_DATA and
// MM_WIM_CLOSE, which run nested in the loop's message drains.
//
// The card records into one block through a single buffer header. "Any" length alternates
// the header between two halves: each returned buffer is re-queued on the other half at
// once, and a recording then writes the half just filled to its file. A fixed length (10,
// 20, 30 s) records the whole block in one buffer and keeps it as the sample buffer.
#include "windows/sound/capture_win32.h"

#include <mmsystem.h>

#include <cstring>
#include <string>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "windows/analysis/analysis_commands_win32.h"
#include "windows/sound/sound_commands_win32.h"
#include "windows/base/dialog_choices_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/base/handles_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/menu_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/sound/capture.h"
#include "windows/sound/capture_device_win32.h"
#include "windows/sound/capture_dialog_win32.h"
#include "windows/sound/capture_state_win32.h"
#include "windows/sound/scan_display_win32.h"
#include "core/image/palette.h"
#include "windows/view/palette_win32.h"
#include "windows/view/readout_win32.h"
#include "core/dsp/column_renderer.h"
#include "core/dsp/fft_engine.h"
#include "windows/files/file_chooser_win32.h"
#include "core/files/wave_format.h"
#include "resources/resource.h"

namespace hl {

namespace {

constexpr char kCannotOpenAudioDevice[] = "Cannot Open Audio Device";
constexpr char kScanCompleteText[] = "Audio Scanning Complete.  No wave data has been saved.";
constexpr char kScanCompleteCaption[] = "Scanning Complete";
// How many poll intervals late a poll may come and still be caught up on.
constexpr double kCatchUpIntervals = 10.0;

// ---------------------------------------------------------------------------
// The capture loop.

// Waits for the next poll and plans its window. False when the stop request came first; a
// window the card has already passed is skipped (and an "Any" capture's card reset).
bool AwaitNextWindow(double interval, bool fixed, WindowPlan& plan) {
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  const AnalysisSettings& s = Settings();
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
    const int64_t recorded = HeaderSamplesInHalf();
    if (recorded >= 0) p = LimitWindowToRecorded(p, recorded, c.samplesPerHalf);
    plan = PlanWindow(p, c.bytesPerSample, c.bytesPerHalf);
    if (!plan.late) return true;
    // A fixed-length recording is one buffer: a reset would end it early, and the card
    // returns it on its own once it is full.
    if (!fixed && c.inputDevice && c.run.bufferQueued) {
      ++c.lateResets;
      c.run.resetPending = true;
      waveInReset(c.inputDevice);
    }
    if (!PumpCaptureMessages()) mode.stopRequest = 1;
  }
  return false;
}

// The frame of the planned window: the end of what the card recorded into the previous
// half, then the current half.
Peak FrameOfWindow(const WindowPlan& plan, int16_t* frame) {
  const CaptureState& c = Capture();
  const uint8_t* current = c.currentHalf ? c.secondHalf : c.firstHalf;
  const uint8_t* previous = c.currentHalf ? c.firstHalf : c.secondHalf;
  return BuildWindowFrame(previous, c.previousHalfSamples, current, plan, c.bitsPerSample, frame);
}

// Draws one column per poll until the stop request is set. Returns 0, or -1 when the
// transform could not be built (nothing drawn).
int CaptureLoop(HWND window, HDC dc) {
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  if (!PumpCaptureMessages()) mode.stopRequest = 1;
  FftEngine fft;
  if (fft.Init(9, c.sampleRate, -1) != 0) return -1;
  ScopeHistory history;
  history.Clear();
  int16_t frame[kCaptureFrame];

  const bool scope = Settings().displayType == DisplayType::Scope && !c.recording;
  ScopeGeometry g{};
  if (scope) {
    g = CurrentScopeGeometry();
    DrawScopeFrameAxes(window, dc, g);
  }
  const double interval = scope ? 30.0 : 10.0;
  const bool fixed = FixedLengthCapture();
  ScrollCursor cursor;
  c.columnCount = 0;
  c.startTimeMs = c.lastPollTimeMs = CaptureClockMs();

  while (!mode.stopRequest) {
    if (!PumpCaptureMessages()) {
      mode.stopRequest = 1;
      break;
    }
    WriteRecordingSoFar();
    if (fixed && c.columnCount >= Display().width) {
      // The bitmap is full: a column more could be neither drawn nor scrolled to, so none is
      // counted, and the column time stays the one measured over the columns drawn. The
      // loop waits for the card to return the buffer.
      SleepEx(static_cast<DWORD>(interval), FALSE);
      continue;
    }
    WindowPlan plan{};
    if (!AwaitNextWindow(interval, fixed, plan) || mode.stopRequest || !c.block.locked()) break;
    const Peak peak = FrameOfWindow(plan, frame);
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
    if (c.run.bufferQueued) waveInReset(c.inputDevice);
    c.run.bufferQueued = false;
    if (c.header) waveInUnprepareHeader(c.inputDevice, c.header, sizeof(WAVEHDR));
    // Its MM_WIM_CLOSE finds no device and is ignored.
    HWAVEIN device = c.inputDevice;
    c.inputDevice = nullptr;
    waveInClose(device);
  }
  ReleaseHeaderBlock();
  ReleaseCaptureBlock();
  ReleaseDisplayBitmap();
  SetButtons(ButtonsState::Off);
  SetMenuState(window, MenuState::Idle);
  SetReadoutActivity(ReadoutActivity::None);
  c.captureActive = 0;
  c.scanRunning = 0;
  c.recording = 0;
  mode.audioInputActive = 0;
  mode.playbackActive = 0;
  mode.stopRequest = 1;
}


// The capture's format and block sizes from the settings, its counters and flags reset.
void PlanCapture(HWND window) {
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  const AnalysisSettings& s = Settings();
  c.run = CaptureRun();

  c.captureActive = 1;
  mode.audioInputActive = 1;
  mode.playbackActive = 0;
  mode.stopRequest = 0;
  c.currentHalf = 0;
  c.completedBuffers = 0;
  c.lateResets = 0;
  c.columnCount = 0;
  c.totalBytesCaptured = 0;
  c.previousHalfSamples = 0;
  DrawInfoPanel(window, 0, 0, 0);

  c.sampleRate = CaptureRateOfChoice(s.sampleRateChoice);
  c.bitsPerSample = BitsOf(s.resolution);
  c.bytesPerSample = c.bitsPerSample / 8;
  c.channels = 1;
  c.recordSeconds = c.recording ? RecordSecondsOfChoice(s.recordLength) : 0;
  const HalfSizes half = ComputeHalfSizes(c.sampleRate, c.bytesPerSample);
  c.halfSeconds = half.seconds;
  if (FixedLengthCapture()) {
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
}

// The capture block behind its wave header, silent, and for a fixed length the display
// bitmap the recording is drawn into. False (with the message shown) when memory is refused.
bool OpenCaptureBlock(HWND window) {
  CaptureState& c = Capture();
  const bool fixed = FixedLengthCapture();
  if (!c.block.AllocateLocked(static_cast<size_t>(c.areaBytes) + kWaveHeaderLength)) {
    ShowProgramMessage(window, Message::NotEnoughMemory);
    return false;
  }
  uint8_t* header = c.block.locked();
  c.totalBytesCaptured = 0;
  c.firstHalf = header + kWaveHeaderLength;
  c.secondHalf = fixed ? c.firstHalf : c.firstHalf + c.bytesPerHalf;
  DrawInfoPanel(window, static_cast<uint32_t>(c.sampleRate), c.bitsPerSample, fixed ? c.areaBytes : 0);
  if (c.bitsPerSample == 8) std::memset(c.firstHalf, 0x80, c.areaBytes);
  WriteWaveHeader(header, WaveFormat{1, 1, static_cast<uint32_t>(c.sampleRate), static_cast<uint16_t>(c.bitsPerSample)},
                  0);
  if (!fixed) return true;

  const int screenWidth = MainWindow().metrics.screenWidth;
  const int width = c.plannedColumns > screenWidth ? c.plannedColumns : screenWidth;
  if (!CreateDisplayBitmap(window, width, kScrollImageHeight)) {
    ShowProgramMessage(window, Message::NotEnoughDisplayMemory);
    return false;
  }
  const DisplayBitmap& d = Display();
  GdiFlush();
  std::memset(d.bits, kIndexFloor, static_cast<size_t>(d.stride) * d.height);
  return true;
}

// The input device opened on the window and the first half queued with it.
bool OpenInputDevice(HWND window) {
  CaptureState& c = Capture();
  WAVEFORMATEX format = CaptureFormat(c);
  HWAVEIN device = nullptr;
  if (waveInOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(window), 0,
                 CALLBACK_WINDOW | WAVE_ALLOWSYNC) != MMSYSERR_NOERROR) {
    ShowMessage(window, kCannotOpenAudioDevice, MB_ICONHAND);
    return false;
  }
  c.inputDevice = device;

  if (!c.headerBlock.Allocate(sizeof(WAVEHDR))) return false;
  c.header = reinterpret_cast<WAVEHDR*>(c.headerBlock.data());
  c.header->lpData = reinterpret_cast<LPSTR>(c.firstHalf);
  c.header->dwBufferLength = static_cast<DWORD>(c.bytesPerHalf);
  if (waveInPrepareHeader(device, c.header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR ||
      waveInAddBuffer(device, c.header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
    return false;
  }
  c.run.bufferQueued = true;
  c.totalBytesCaptured = 0;
  c.completedBuffers = 0;
  return true;
}

// The image area made ready for the first column, its scrolling reset.
void PrepareCaptureView(HWND window, HDC dc, bool scope) {
  CaptureState& c = Capture();
  const MainWindowState& w = MainWindow();
  SelectPalette(dc, Drawing().palette, FALSE);
  RealizePalette(dc);
  if (FixedLengthCapture() || scope) {
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
  Mode().stopRequest = 0;
  c.scanRunning = 1;
}

// The card starts; a recording creates its file now that the card records (nothing is
// written before the loop pumps the first MM_WIM_DATA); the readouts, menu and buttons
// switch to the running capture.
bool StartCapture(HWND window, bool scope) {
  CaptureState& c = Capture();
  if (waveInStart(c.inputDevice) != MMSYSERR_NOERROR) return false;
  if (c.recording && !CreateRecordingFile()) {
    ShowProgramMessage(window, Message::CannotOpenFile);
    return false;
  }
  SetReadoutActivity(c.recording ? ReadoutActivity::Recording : ReadoutActivity::LiveScan,
                     static_cast<uint32_t>(c.sampleRate));
  SetMenuState(window, MenuState::Busy);
  SetButtons(ButtonsState::Sounding, scope);
  return true;
}

}  // namespace

// Returns true when the loop ran (the device was opened and started).
bool RunCapture(HWND window) {
  PlanCapture(window);
  if (!OpenCaptureBlock(window) || !OpenInputDevice(window)) {
    AbandonCapture(window);
    return false;
  }
  const bool scope = Settings().displayType == DisplayType::Scope && !Capture().recording;
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  PrepareCaptureView(window, dc, scope);
  if (!StartCapture(window, scope)) {
    AbandonCapture(window);
    return false;
  }
  Capture().switchTimeMs = CaptureClockMs();
  const int loop = CaptureLoop(window, dc);
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
  if (!c.run.bufferQueued) ReleaseCaptureBlock();
  ReleaseDisplayBitmap();
  c.recording = 0;
  c.scanRunning = 0;
  Mode().audioInputActive = 0;
}

// A capture is running, or something else holds the window: a second command must wait.
bool CaptureBusy() {
  const OperatingMode& mode = Mode();
  return Capture().captureActive || Capture().recording || mode.fileAnalysisInProgress || mode.rendering ||
         mode.playbackActive || mode.fileScanPlaybackActive;
}

void OnScanAudio(HWND window, LPARAM) {
  if (CaptureBusy()) return;
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
  Analysis().columnCount = 0;
  Analysis().dataLength = 0;

  s.fftSize = FftSize::Fft512;
  ApplyFftSize(window, FftSize::Fft512);
  InvalidateRect(window, nullptr, TRUE);
  DrainMessageQueue();

  {
    WindowDc dcOwner(window);
    HDC dc = dcOwner.get();
    SelectPalette(dc, Drawing().palette, FALSE);
    RealizePalette(dc);
    if (s.displayType == DisplayType::Scope) {
      if (!PrepareScopeDisplay(window, dc)) {
        ShowProgramMessage(window, Message::NotEnoughDisplayMemory);
        return;
      }
    } else {
      ClearScrollDisplay(window, dc);
    }
  }

  c.scanFlag = 1;
  c.recording = 0;
  s.recordLength = RecordLength::Any;
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
  ClearReadout(window);
  EnableButton(MainWindow().stopButton, false);
  SetMenuState(window, MenuState::Idle);
}

}  // namespace hl
