// "&Record Audio" (40021): the output file and the record dialog, the capture, and what the
// recording leaves behind. An "Any" length is analysed from its file like any other; a fixed
// length (10, 20, 30 s) stays in memory as the sample buffer, its image already drawn.
#include <string>

#include "core/analysis/analysis_settings.h"
#include "windows/base/handles_win32.h"
#include "windows/base/analysis_win32.h"
#include "windows/analysis/analysis_commands_win32.h"
#include "windows/sound/sound_commands_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/menu_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/sound/capture.h"
#include "windows/sound/capture_device_win32.h"
#include "windows/sound/capture_dialog_win32.h"
#include "windows/sound/capture_state_win32.h"
#include "windows/sound/capture_win32.h"
#include "windows/sound/scan_display_win32.h"
#include "windows/view/palette_win32.h"
#include "windows/view/readout_win32.h"
#include "windows/files/file_chooser_win32.h"
#include "core/files/wave_format.h"
#include "resources/resource.h"

namespace hl {

namespace {

// The recording's defaults, then the file to write and the record dialog. False when either
// was cancelled (the window back as it was); `path` is the chosen file.
bool ChooseRecording(HWND window, std::string& path) {
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  AnalysisSettings& s = Settings();
  s.fftSize = FftSize::Fft512;
  s.recordLength = RecordLength::Seconds10;
  s.resolution = Resolution::Bits16;
  s.sampleRateChoice = RateChoice::Rate22k;
  ApplyFftSize(window, FftSize::Fft512);
  c.recording = 1;
  RedrawView(window, false);

  if (!ChooseSaveWave()) {
    RedrawView(window, true);
    c.recording = 0;
    return false;
  }
  // The file is created only once the card records (RunCapture): a Cancel or a failed set-up
  // leaves a file of that name as it was.
  path = WaveSavePath();

  s.displayType = DisplayType::Scroll;
  RedrawView(window, false);
  if (!RunCaptureDialog(window, true)) {
    RedrawView(window, true);
    c.recording = 0;
    c.scanRunning = 0;
    c.captureActive = 0;
    mode.audioInputActive = 0;
    mode.playbackActive = 0;
    return false;
  }
  return true;
}

// The shown analysis goes and the image area is cleared for the recording's columns.
void PrepareRecording(HWND window, const std::string& path) {
  CaptureState& c = Capture();
  const AnalysisSettings& s = Settings();
  DrainMessageQueue();
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  SelectPalette(dc, Drawing().palette, FALSE);
  RealizePalette(dc);
  ClearScrollDisplay(window, dc);
  ReleaseAnalysisForClose();
  Analysis().columnCount = 0;
  c.scanFlag = 0;
  c.outputFile.Close();
  c.outputPath = path;

  // The playback lead of the image: the window of a column ends latency + one frame before
  // the moment it was drawn.
  c.playbackLeadMs = static_cast<int16_t>(s.latencyMs + static_cast<int>(s.timeScaleMs));
}

// The fixed-length capture block becomes the sample buffer of an analysis of the file just
// written, for "Play", "Play Wdw" and "&Change".
void KeepRecordingAsAnalysis(const std::string& path) {
  CaptureState& c = Capture();
  AnalysisState& a = Analysis();
  a.filePath = path;
  const size_t cut = path.find_last_of("\\/:");
  a.fileTitle = cut == std::string::npos ? path : path.substr(cut + 1);
  a.format = WaveFormat{1, 1, static_cast<uint32_t>(c.sampleRate), static_cast<uint16_t>(c.bitsPerSample)};
  a.source = SampleLayout();  // what a file analysed before held says nothing about this one
  a.wavFlag = true;
  a.dataOffset = kWaveHeaderLength;
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
  a.sampleBuffer = std::move(c.block);
  a.waveDataFlag = true;
  // The image's columns are as far apart as they were drawn, for the grid and readouts.
  Settings().timeScaleMs = c.measuredColumnTimeMs;
}

// The kept recording shown as a loaded analysis: buttons, menu, and the view scrolled to
// its last columns.
void ShowKeptRecording(HWND window) {
  const MainWindowState& w = MainWindow();
  const AnalysisState& a = Analysis();
  const int width = ImageAreaWidth();
  DrawInfoPanel(window, a.format.sampleRate, PanelBits(a), PanelLength(a), a.coding);
  SetButtons(ButtonsState::Shown);
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

// The capture has ended with the window still there: back to idle, then the recording is
// analysed from its file ("Any") or kept in memory (a fixed length).
void FinishRecording(HWND window, const std::string& path) {
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  const MainWindowState& w = MainWindow();
  c.scanRunning = 0;
  c.captureActive = 0;
  mode.audioInputActive = 0;
  mode.playbackActive = 0;
  DrawInfoPanel(window, 0, 0, 0);
  c.recording = 0;
  // The clock row goes with the loop; a fixed length is shown as an analysis from here on.
  SetReadoutActivity(FixedLengthCapture() ? ReadoutActivity::Analysis : ReadoutActivity::None);
  ClearReadout(window);
  SetMenuState(window, MenuState::Idle);
  EnableButton(w.stopButton, false);
  SetOpenWavePath(path.c_str());
  if (c.run.writeFailed) ShowProgramMessage(window, Message::ErrorWritingFile);
  if (c.run.limitReached) ShowProgramMessage(window, Message::RecordingLimitReached);

  if (!FixedLengthCapture()) {
    EnableButton(w.toggleGridButton, false);
    AnalyzeFile(window, AnalysisStart::FileChosen);
    return;
  }
  KeepRecordingAsAnalysis(path);
  ShowKeptRecording(window);
}

}  // namespace

void OnRecordAudio(HWND window, LPARAM) {
  if (CaptureBusy()) return;
  std::string path;
  if (!ChooseRecording(window, path)) return;
  PrepareRecording(window, path);
  if (!RunCapture(window)) {
    Capture().recording = 0;
    return;
  }
  if (!IsWindow(window)) {
    ReleaseAfterClose();
    return;
  }
  FinishRecording(window, path);
}

}  // namespace hl
