// "&Scan File" (40007): the file chosen, its ring filled and played, one column drawn per
// poll of the play position, and the analysis at the stopping point.
#include "windows/sound/file_scan_win32.h"

#include <mmsystem.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/analysis/analysis_settings.h"
#include "windows/base/sound_source_win32.h"
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
#include "core/analysis/parameters_dialog.h"
#include "core/sound/capture.h"
#include "windows/sound/capture_state_win32.h"
#include "windows/sound/file_scan_dialog_win32.h"
#include "core/sound/playback.h"
#include "windows/sound/scan_display_win32.h"
#include "windows/sound/transport_win32.h"
#include "core/base/limits.h"
#include "core/base/messages.h"
#include "windows/base/wide_text_win32.h"
#include "windows/view/palette_win32.h"
#include "windows/view/readout_win32.h"
#include "core/dsp/fft_engine.h"
#include "windows/files/file_chooser_win32.h"
#include "core/files/wave_format.h"
#include "windows/files/compressed_open_win32.h"
#include "windows/files/wave_open_win32.h"
#include "resources/resource.h"

namespace hl {

namespace {

constexpr uint32_t kRawRate = 11025;
constexpr int kScanFftOrder = 9;
constexpr double kScrollPollMs = 10.0;
constexpr double kScopePollMs = 30.0;
constexpr double kDoneWaitMs = 2000.0;
constexpr char kCompleteText[] = "Audio Scanning Complete.  No wave data has been saved.";
constexpr char kCompleteCaption[] = "Scanning Complete";
constexpr char kCannotOpenAudioDevice[] = "Cannot Open Audio Device";



FileScanReport& Report() { return Scan().report; }

void CloseScanFile() {
  FileScan& s = Scan();
  s.file.Close();
}

void ReleaseDisplay() {
  if (Display().exists()) DestroyDisplayBitmap();
}

// The image shown, the analysis set aside and the sample buffer all go.
void ReleaseShownAnalysis() {
  ReleaseAnalysisForClose();
  AnalysisState& a = Analysis();
  a.columnCount = 0;
  a.step = 0;
}

// Reads `bytes` from the scan file into `into`; a short read (end of the file or an error)
// marks the end of the file. Returns the bytes read.
uint32_t ReadFromFile(uint8_t* into, uint32_t bytes) {
  FileScan& s = Scan();
  return static_cast<uint32_t>(s.file.Read(into, bytes));
}

// A decoded file's samples for `bytes` bytes of the ring, read in the file's own width and
// stored as the 16-bit samples the device was opened for.
uint32_t ReadDecodedIntoRing(uint8_t* into, uint32_t bytes) {
  FileScan& s = Scan();
  const uint32_t width = static_cast<uint32_t>(EncodingBytes(s.source.encoding));
  const uint32_t samples = bytes / 2;
  s.sourceBytes.resize(static_cast<size_t>(samples) * width);
  const uint32_t got = ReadFromFile(s.sourceBytes.data(), samples * width) / width;
  std::vector<int16_t> decoded(got);
  DecodeSamples(s.sourceBytes.data(), got, width, s.source.encoding, decoded.data());
  for (uint32_t i = 0; i < got; ++i) {
    const uint16_t v = static_cast<uint16_t>(decoded[i]);
    into[2 * i] = static_cast<uint8_t>(v & 0xFF);
    into[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
  return got * 2;
}

uint32_t ReadIntoRing(uint8_t* into, uint32_t bytes) {
  FileScan& s = Scan();
  const bool decoded = s.source.wavFlag && !IsNativeEncoding(s.source.encoding);
  const uint32_t total = decoded ? ReadDecodedIntoRing(into, bytes) : ReadFromFile(into, bytes);
  if (total < bytes) Report().endOfFile = true;
  Report().bytesRead += total;
  return total;
}

// ---------------------------------------------------------------------------
// The command's steps.

// Cancel in the dialog: nothing is kept, the window is idle.
void CancelToIdle(HWND window) {
  ReleaseShownAnalysis();
  SetButtons(ButtonsState::Off);
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
  s.ring.Free();
  s.header.Free();
  ReleaseDisplay();
  SetButtons(ButtonsState::Off);
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
    // A compressed file is scanned from its decoded samples.
    const CompressedOpenResult compressed =
        DecodeIfCompressed(window, MainWindow().stopButton, s.path, Analysis().filePath);
    if (compressed.outcome == CompressedOpen::Cancelled) return false;
    if (compressed.outcome == CompressedOpen::Refused) {
      ShowMessage(window, compressed.message.c_str(), MB_ICONEXCLAMATION);
      return false;
    }
    const OpenedWave opened = ReadChosenWave(s.path.c_str(), FILE_FLAG_SEQUENTIAL_SCAN);
    if (opened.refusal == Message::SampleSizeTooSmall) {
      ShowProgramMessage(window, opened.refusal);
      continue;
    }
    if (opened.refusal != Message::None) {
      ShowProgramMessage(window, opened.refusal);
      return false;
    }
    if (RefuseUnreadableFormat(window, opened)) return false;
    s.source = opened.source;
    // Without a format and a data chunk the reader gives raw 16-bit mono at 11025 Hz.
    s.facts = opened.header;
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
  s.source = a.source;
}

// Steps 6 and 7: the FFT size, the window cleared, and the checks of the dialog's choices.
Message PrepareAndCheck(HWND window, uint32_t rate) {
  DrainMessageQueue();
  Capture().scanFlag = 1;
  AnalysisSettings& settings = Settings();
  if (settings.displayType != DisplayType::Scope) {
    WindowDc dcOwner(window);
    HDC dc = dcOwner.get();
    SelectPalette(dc, Drawing().palette, FALSE);
    RealizePalette(dc);
    ClearScrollDisplay(window, dc);
  }
  settings.fftSize = FftSize::Fft512;
  ApplyFftSize(window, FftSize::Fft512);
  settings.frequencyMode = FrequencyMode::NB;
  View().horizontalOffset = 0;
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);

  FileScan& s = Scan();
  const bool decoded = s.source.wavFlag && !IsNativeEncoding(s.source.encoding);
  s.bits = decoded ? 16 : BitsOf(settings.resolution);
  s.rate = rate;
  if (!ScanRateInRange(rate, s.source.sampleRate)) return Message::SampleRateOutOfRange;
  if (s.facts.dataLength < kShortestFileBytes) return Message::SampleSizeTooSmall;
  return Message::None;
}

// The scan's format and span from the file's facts, shown as the analysis's.
void PlanScan(HWND window) {
  FileScan& s = Scan();
  AnalysisState& a = Analysis();
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
  a.source = s.source;
  SetOpenWavePath(s.path.c_str());
  DrawInfoPanel(window, s.rate, PanelBits(a), PanelLength(a), a.coding);
}

// The shown analysis goes and the image area is made ready for the scan's display type.
bool PrepareScanDisplay(HWND window) {
  OperatingMode& mode = Mode();
  ReleaseShownAnalysis();
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  SelectPalette(dc, Drawing().palette, FALSE);
  RealizePalette(dc);
  bool displayReady = true;
  if (Settings().displayType == DisplayType::Scope) {
    displayReady = PrepareScopeDisplay(window, dc);
    if (displayReady) {
    }
  } else {
    mode.stopRequest = 0;
  }
  return displayReady;
}

// The wave header the device is opened with, and the ring. False when memory is refused.
bool OpenScanRing() {
  FileScan& s = Scan();
  s.layout = PlanRing(s.bytesPerSample, s.channels, s.rate);
  if (s.header.Allocate(kWaveHeaderLength)) WriteWaveHeader(s.header.data(), Analysis().format, s.dataLength);
  if (!s.header || !s.layout.valid || !s.ring.Allocate(s.layout.ringBytes)) return false;
  // 8-bit silence is 0x80: a half not yet read from the file plays as silence.
  if (s.bytesPerSample == 1) std::memset(s.ring.data(), 0x80, s.layout.ringBytes);
  s.refill = RefillState();
  Report() = FileScanReport();
  Report().ringBytes = s.layout.ringBytes;
  return true;
}

// The menu and buttons of a running scan: only Stop, and the grid toggle of the Scope.
void EnterScanning(HWND window) {
  SetMenuState(window, MenuState::Busy);
  SetButtons(ButtonsState::Sounding, Settings().displayType == DisplayType::Scope);
  SetWindowTextW(window, Wide(Scan().title).c_str());
}

// The first half of the ring read, the output device opened on the looping ring and
// playing. False when the device refuses.
bool StartScanPlayback(HWND window) {
  FileScan& s = Scan();
  OperatingMode& mode = Mode();
  s.file.Seek(s.firstByte);
  if (ReadIntoRing(s.ring.data(), s.layout.halfBytes) == 0) mode.stopRequest = 1;

  if (!OpenOutputDevice(window, FormatOfWaveHeader(s.header.data()), s.ring.data(), s.layout.ringBytes,
                        WHDR_BEGINLOOP | WHDR_ENDLOOP, RingLoops(s.dataLength, s.layout.ringBytes))) {
    return false;
  }
  CaptureState& c = Capture();
  c.startTimeMs = c.switchTimeMs = NowMs();
  mode.fileScanPlaybackActive = 1;
  if (!WriteOutputDevice()) {
    ReleaseOutputDevice();
    return false;
  }
  return true;
}

// Steps 8 to 14: the file reopened, the display, the ring filled and playing. False when
// the scan could not start (the message has been shown and nothing is held).
bool StartScan(HWND window) {
  FileScan& s = Scan();
  PlanScan(window);
  if (!s.file.Open(s.path, FILE_FLAG_RANDOM_ACCESS)) {
    ShowProgramMessage(window, Message::CannotOpenFile);
    AbandonScan(window);
    return false;
  }
  // The shown analysis has gone: only the scanned file's decoded image, if any, is held.
  ReleaseDecodedSounds(s.path);
  Settings().timeScaleMs = CaptureTimeScale(static_cast<int32_t>(s.rate));
  if (!PrepareScanDisplay(window)) {
    ShowProgramMessage(window, Message::NotEnoughDisplayMemory);
    AbandonScan(window);
    return false;
  }
  if (!OpenScanRing()) {
    ShowProgramMessage(window, Message::NotEnoughMemory);
    AbandonScan(window);
    return false;
  }
  EnterScanning(window);
  if (!StartScanPlayback(window)) {
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
  const bool scope = Settings().displayType == DisplayType::Scope;
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
      ReadIntoRing(s.ring.data() + static_cast<size_t>(half) * s.layout.halfBytes, s.layout.halfBytes);
      ++Report().refills;
    }
    const RingWindow w = LocateRingWindow(position, s.layout, s.frameBytes);
    if (!w.inside) continue;
    const FramePeaks peaks = BuildRingFrame(s.ring.data(), w, s.frameBytes, s.bytesPerSample, frame);
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

// Steps 5 to 7, until the choices pass the checks: the dialog (not for a file handed over,
// the first time), then the checks. False when the dialog was cancelled.
bool ConfirmScanChoices(HWND window, bool askUser, uint32_t& rate) {
  const FileScan& s = Scan();
  for (;;) {
    if (askUser) {
      Settings().timeScaleMs = CaptureTimeScale(static_cast<int32_t>(rate > 0 ? rate : kRawRate));
      Settings().resolution = s.facts.format.bitsPerSample == 16 ? Resolution::Bits16
                                                                 : Resolution::Bits8;
      const char* decoded = s.source.wavFlag ? DecodedResolutionText(s.source.encoding) : nullptr;
      if (!RunScanDialog(window, rate, s.source.sampleRate, decoded)) {
        CancelToIdle(window);
        return false;
      }
    }
    askUser = true;
    const Message refusal = PrepareAndCheck(window, rate);
    if (refusal == Message::None) return true;
    ShowProgramMessage(window, refusal);
    if (refusal == Message::SampleRateOutOfRange) rate = kRawRate;
  }
}

// Steps 15 and 16: the loop, then the device's end awaited and the file closed.
void RunScan(HWND window) {
  FileScan& s = Scan();
  CaptureState& c = Capture();
  View().horizontalOffset = 0;
  View().verticalOffset = 0;
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  SelectPalette(dc, Drawing().palette, FALSE);
  RealizePalette(dc);
  if (Settings().displayType != DisplayType::Scope) ClearScrollDisplay(window, dc);
  SetReadoutActivity(ReadoutActivity::FileScan, s.rate);
  Mode().stopRequest = 0;
  c.scanRunning = 1;
  RunScanLoop(window, dc);

  AwaitOutputDone();
  c.scanRunning = 0;
  CloseScanFile();
  SetReadoutActivity(ReadoutActivity::None);
}

// The window back to idle, then step 17: the stretch around the stopping point, analysed
// when "Analysis at stop" is on.
void FinishScan(HWND window) {
  const FileScan& s = Scan();
  ReleaseDisplay();
  DrawInfoPanel(window, 0, 0, 0);
  ClearReadout(window);
  SetMenuState(window, MenuState::Idle);
  SetButtons(ButtonsState::Off);
  Capture().scanFlag = 0;

  const FileScanReport& report = Report();
  const StopSpan span = ScanStopSpan(report.bytesRead, report.ringBytes, s.channels, s.bytesPerSample, s.rate);
  Report().stopBeginMs = span.beginMs;
  Report().stopEndMs = span.endMs;
  if (Settings().analysisAtStop == AnalysisAtStop::On) {
    AnalysisState& a = Analysis();
    a.beginMs = static_cast<float>(span.beginMs);
    a.endMs = static_cast<float>(span.endMs);
    AnalyzeFile(window, AnalysisStart::AfterScan);
  } else {
    MessageBoxA(window, kCompleteText, kCompleteCaption, MB_OK);
  }
}

}  // namespace

const FileScanReport& LastFileScan() { return Report(); }

FileScanFaults& ScanFaults() { return Scan().faults; }

void FinishFileScanOutput() {
  FileScan& s = Scan();
  Mode().stopRequest = 1;
  ReleaseOutputDevice();
  s.ring.Free();
  s.header.Free();
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
  if (!ConfirmScanChoices(window, !handedOver, rate)) return;
  if (!StartScan(window)) return;
  RunScan(window);
  // Closed during the scan: the close step has released the device and the buffers.
  if (!IsWindow(window)) return;
  FinishScan(window);
}

}  // namespace hl
