// "&Analyze File" (40020): the file chosen, its parameters confirmed, its samples read and
// drawn; the fallback to the low-resolution scan and the geometry refusals it shares with
// Parameters "&Change" (parameters_change_win32.cpp); the FFT-size commands (40012..40014).
#include "windows/base/sound_source_win32.h"
#include "windows/base/analysis_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "windows/analysis/analysis_steps_win32.h"
#include "windows/analysis/sample_load_win32.h"
#include "core/analysis/column_geometry.h"
#include "windows/analysis/analysis_commands_win32.h"
#include "windows/base/dialog_choices_win32.h"
#include "core/analysis/file_analysis.h"
#include "windows/base/handles_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/menu_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/analysis/parameters_dialog.h"
#include "windows/analysis/parameters_dialog_win32.h"
#include "windows/view/render_window_win32.h"
#include "core/base/limits.h"
#include "windows/base/wide_text_win32.h"
#include "windows/view/palette_win32.h"
#include "windows/files/file_chooser_win32.h"
#include "core/files/wave_format.h"
#include "windows/files/compressed_open_win32.h"
#include "windows/files/wave_open_win32.h"
#include "resources/resource.h"

namespace hl {

namespace {

constexpr char kLowResolutionText[] =
    "Wave file and display bitmap exceed available RAM.\n\nThe file will now be scanned at low resolution.\n"
    "Detailed analysis will be performed at the stopping point";
constexpr char kLowResolutionCaption[] = "Not Enough Memory";

// Asks for the parameters until they pass the checks of a new file. False when the dialog
// was cancelled or the analysis went elsewhere (the fallback or a geometry refusal).
enum class Confirmed { Yes, Cancelled, HandedOver };

Confirmed ConfirmParameters(HWND window, LoadedSpan& span, bool keepSpan) {
  AnalysisSettings& settings = Settings();
  AnalysisState& a = Analysis();
  const WaveFormat& file = span.header.format;
  for (;;) {
    const DialogPrefill prefill = PrefillForFile(file.channels, file.bitsPerSample, file.sampleRate,
                                                 span.header.dataLength, settings, keepSpan, a.beginMs, a.endMs);
    settings.resolution = prefill.resolution;
    if (settings.frequencyMode == FrequencyMode::NB) settings.windowLengthMs = prefill.windowMs;
    ParametersDialogValues values{prefill.sampleRate, prefill.beginMs, prefill.endMs};
    values.fileRate = span.source.sampleRate;
    values.decodedResolution = span.source.wavFlag ? DecodedResolutionText(span.source.encoding) : nullptr;
    if (!RunAnalysisParametersDialog(window, settings, values)) return Confirmed::Cancelled;
    LastRenderTimings().dialogClosed = SecondsNow();

    DrainMessageQueue();
    UpdateWindow(window);
    const uint16_t bits = values.decodedResolution ? 16 : BitsOf(settings.resolution);
    ApplyFftSize(window, values.fftSize);

    const uint32_t rate = values.sampleRate > 0 ? static_cast<uint32_t>(values.sampleRate) : 0;
    const SpanRequest request{static_cast<double>(values.beginMs), static_cast<double>(values.endMs), rate,
                              file.channels, bits, span.header.dataLength, settings.timeScaleMs,
                              settings.windowLengthMs, settings.FftOrder()};
    span.geometry = PlanColumns(request);
    const ColumnGeometry& g = span.geometry;
    a.format = WaveFormat{1, file.channels, rate, bits};

    // A compressed file's decoded image is held beside the span: the budget is what is left.
    const uint64_t budget = BudgetBesideDecoded(MainWindow().memory.budget);
    if (SpanExceedsBudget(g.byteCount, budget)) {
      LowResolutionFallback(window, span, false);
      return Confirmed::HandedOver;
    }
    switch (g.refusal) {
      case Message::TimeScaleOutOfRange:
      case Message::FftWindowTooSmall:
      case Message::ImproperBeginOrEnd:
      case Message::SampleSizeTooSmall:
        ShowProgramMessage(window, g.refusal);
        continue;
      default:
        break;
    }
    // The column geometry and the image's memory are known now; they are checked before the
    // new samples replace the ones shown, so that a refusal leaves the shown analysis whole.
    if (RefuseGeometry(window, g.refusal)) return Confirmed::HandedOver;
    const int bitmapWidth = DisplayBitmapWidth(g.columnCount, MainWindow().metrics.screenWidth);
    if (ImageExceedsBudget(g.bitmapHeight, bitmapWidth, g.byteCount, budget)) {
      LowResolutionFallback(window, span, true);
      return Confirmed::HandedOver;
    }
    a.beginMs = static_cast<float>(values.beginMs);
    a.endMs = static_cast<float>(g.endMs);
    return Confirmed::Yes;
  }
}


}  // namespace

void LowResolutionFallback(HWND window, const LoadedSpan& span, bool afterBitmapCheck) {
  MessageBoxA(window, kLowResolutionText, kLowResolutionCaption, MB_OK);
  Mode().fileAnalysisInProgress = 0;
  Settings().analysisAtStop = AnalysisAtStop::On;
  Mode().lowResolutionScan = 1;
  // The scan works on the whole file.
  AnalysisState& a = Analysis();
  a.filePath = span.path;
  a.coding = span.coding;
  a.wavFlag = span.header.wavFlag;
  a.dataOffset = span.header.dataOffset;
  a.dataLength = span.header.dataLength;
  a.source = span.source;
  if (afterBitmapCheck) {
    Settings().windowLengthMs = NbWindowLength(512, static_cast<float>(a.format.sampleRate));
  }
  // The scan starts once the command that fell back here has returned.
  SetOpenWavePath(span.path.c_str());
}

// The refusals of the column geometry: the message, then back to the analysis before.
bool RefuseGeometry(HWND window, Message refusal) {
  if (refusal != Message::ImproperEntry && refusal != Message::TimeScaleTooSmall) return false;
  ShowProgramMessage(window, refusal);
  SetButtons(ButtonsState::Off);
  RestoreAnalysis(window);
  Mode().fileAnalysisInProgress = 0;
  return true;
}

// ---------------------------------------------------------------------------
// "&Analyze File".

namespace {

// The file chosen (or handed over in the chooser's path) and its header read; false when
// there is nothing to analyse: the chooser was cancelled or the file refused.
bool ChooseAnalysisFile(HWND window, bool fromMenu, LoadedSpan& span, std::string& title) {
  for (;;) {
    if (fromMenu && !ChooseOpenWave()) {
      RedrawView(window, true);
      return false;
    }
    span.path = OpenWavePath();
    title = fromMenu ? std::string(ChosenTitle()) : NameWithoutFolder(span.path);
    // A compressed file is decoded whole first (Stop cancels it); the window goes on showing
    // its analysis until the new one is confirmed.
    const CompressedOpenResult compressed =
        DecodeIfCompressed(window, MainWindow().stopButton, span.path, Analysis().filePath);
    if (compressed.outcome == CompressedOpen::Cancelled) return false;
    if (compressed.outcome == CompressedOpen::Refused) {
      ShowMessage(window, compressed.message.c_str(), MB_ICONEXCLAMATION);
      return false;
    }
    const DecodedSound* decoded =
        compressed.outcome == CompressedOpen::Decoded ? HeldDecodedSound(span.path) : nullptr;
    span.coding = decoded ? decoded->coding : std::string();
    const OpenedWave opened = ReadChosenWave(span.path.c_str(), FILE_FLAG_RANDOM_ACCESS);
    if (opened.refusal != Message::None) {
      ShowProgramMessage(window, opened.refusal);
      if (opened.refusal == Message::SampleSizeTooSmall && fromMenu) continue;
      return false;
    }
    if (RefuseUnreadableFormat(window, opened)) return false;
    // A header whose format cannot be measured (no channels, no whole-byte samples, no
    // rate) is reported here.
    span.header = opened.header;
    span.source = opened.source;
    if (span.header.warning != Message::None) ShowProgramMessage(window, span.header.warning);
    return true;
  }
}

// The confirmed span replaces what was shown and anything set aside.
void CommitSpan(HWND window, const LoadedSpan& span, const std::string& title) {
  ReleaseHeldAnalysis();
  AnalysisState& a = Analysis();
  const ColumnGeometry& g = span.geometry;
  a.wavFlag = span.header.wavFlag;
  a.dataOffset = span.header.dataOffset;
  a.source = span.source;
  a.coding = span.coding;
  // Only the new file's decoded image, if it has one, is read from now on.
  ReleaseDecodedSounds(span.path);
  a.beginOffset = g.beginOffset;
  a.fileBeginOffset = g.beginOffset;
  a.byteCount = g.byteCount;
  a.dataLength = g.byteCount;
  a.step = g.step;
  a.columnCount = g.columnCount;
  a.filePath = span.path;
  a.fileTitle = title;
  a.imageStartMs = a.accumulatedBeginMs + a.beginMs;
  a.restorePoint = false;
  DrawInfoPanel(window, a.format.sampleRate, PanelBits(a), PanelLength(a), a.coding);
}

}  // namespace

// Choose, read the header, confirm the parameters, load the samples, render.
void AnalyzeFile(HWND window, AnalysisStart start) {
  OperatingMode& mode = Mode();
  // Posted again while an analysis runs (the menu item is grey then): ignored.
  if (mode.fileAnalysisInProgress || mode.rendering) return;
  AnalysisState& a = Analysis();
  AnalysisSettings& settings = Settings();

  a.beginOffset = 0;
  a.accumulatedBeginMs = 0;
  settings.timeScaleMs = 12.0f;
  settings.fftSize = FftSize::Fft512;
  settings.frequencyMode = FrequencyMode::NB;
  BusyFlag busy(mode.fileAnalysisInProgress);
  RedrawView(window, false);

  LoadedSpan span;
  std::string title;
  if (!ChooseAnalysisFile(window, start == AnalysisStart::ChooseFile, span, title)) return;
  const Confirmed confirmed = ConfirmParameters(window, span, start == AnalysisStart::AfterScan);
  if (confirmed == Confirmed::Cancelled) {
    ReturnToIdle(window);
    return;
  }
  if (confirmed == Confirmed::HandedOver) return;

  RenderTimings& timings = LastRenderTimings();
  const double loading = SecondsNow();
  timings.confirm = loading - timings.dialogClosed;
  CommitSpan(window, span, title);
  SampleLoad load;
  const Message loaded = load.Start(span);
  if (loaded != Message::None) {
    load.Done();
    ShowProgramMessage(window, loaded);
    if (loaded == Message::NotEnoughMemory) {
      busy.Clear();
      SendMessageA(window, WM_CLOSE, 0, 0);
    }
    return;
  }
  SetWindowTextW(window, Wide(title).c_str());
  InvalidateRect(window, nullptr, FALSE);
  const double preparing = SecondsNow();
  const bool prepared = PrepareDisplay(window, DisplayRequestOfAnalysis());
  const double waiting = SecondsNow();
  load.Done();
  timings.prepare = waiting - preparing;
  timings.load = (preparing - loading) + (SecondsNow() - waiting);
  if (!prepared) return RefuseDisplay(window);
  RenderIntoDisplay(window);
}

// ---------------------------------------------------------------------------
// FFT size (40012..40014, sent by the analysis commands).

void ApplyFftSize(HWND window, FftSize size) {
  AnalysisSettings& settings = Settings();
  settings.fftSize = size;
  View().verticalFraction = 1.0f;
  View().verticallyScrollable = settings.FftOrder() > 9;
  RECT r;
  if (!GetWindowRect(window, &r)) return;
  const MainWindowState& w = MainWindow();
  const int height = PreferredWindowHeight(w.sizes.defaultHeight, r.bottom - r.top, settings.FftOrder());
  int top = CentredTop(w.metrics.screenHeight, height);
  if (top < 0) top = 0;
  // Not repainted here: the next layout pass takes the height.
  MoveWindow(window, r.left, top, r.right - r.left, height, FALSE);
  MainWindow().windowHeight = height;
}

void OnAnalyzeFile(HWND window, LPARAM lParam) { AnalyzeFile(window, static_cast<AnalysisStart>(lParam)); }
void OnFftSize512(HWND window, LPARAM) { ApplyFftSize(window, FftSize::Fft512); }
void OnFftSize1024(HWND window, LPARAM) { ApplyFftSize(window, FftSize::Fft1024); }
void OnFftSize2048(HWND window, LPARAM) { ApplyFftSize(window, FftSize::Fft2048); }

}  // namespace hl
