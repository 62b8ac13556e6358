// Parameters "&Change" (40005), the re-analysis of the shown data with new parameters, and
// "&Restore" (40023), the return to the analysis "&Change" set aside.
#include <cstring>
#include <string>
#include <utility>

#include "windows/analysis/analysis_steps_win32.h"
#include "windows/base/sound_source_win32.h"
#include "windows/base/analysis_win32.h"
#include "core/analysis/column_geometry.h"
#include "windows/analysis/analysis_commands_win32.h"
#include "windows/base/dialog_choices_win32.h"
#include "core/analysis/file_analysis.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/base/handles_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/menu_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/analysis/parameters_dialog.h"
#include "windows/analysis/parameters_dialog_win32.h"
#include "core/base/limits.h"
#include "windows/base/wide_text_win32.h"
#include "windows/view/palette_win32.h"
#include "core/files/wave_format.h"
#include "resources/resource.h"

namespace hl {

// ---------------------------------------------------------------------------
// Parameters "&Change".

namespace {

// What the dialog offers: the shown data's rate, and the selection (a drag's hand-over,
// lParam 1) or the whole of the shown data.
ParametersDialogValues OfferedValues(ChangeOffer offer, uint32_t sourceBytes, const WaveFormat& shown) {
  const AnalysisState& a = Analysis();
  ParametersDialogValues values;
  values.sampleRate = static_cast<int32_t>(shown.sampleRate);
  if (offer == ChangeOffer::Selection) {
    values.beginMs = static_cast<int32_t>(a.selectionBeginMs);
    values.endMs = static_cast<int32_t>(a.selectionEndMs);
  } else {
    values.beginMs = 0;
    values.endMs =
        static_cast<int32_t>(DataLengthMs(sourceBytes, shown.channels, shown.bitsPerSample, shown.sampleRate));
  }
  return values;
}

// A refused re-analysis: its message, then back to the analysis before. True when refused.
bool RefuseReanalysis(HWND window, Message refusal) {
  if (refusal == Message::None) return false;
  if (refusal == Message::ImproperEntry || refusal == Message::TimeScaleTooSmall) {
    Analysis().restorePoint = true;
    RefuseGeometry(window, refusal);
    return true;
  }
  ShowProgramMessage(window, refusal);
  Analysis().restorePoint = true;
  RestoreAnalysis(window);
  return true;
}

// `block` made a new sample buffer holding the span's bytes of `source` behind a header for
// `format`; false when the memory is refused.
bool CopySpanSamples(HGLOBAL source, const ColumnGeometry& g, const WaveFormat& format, GlobalBlock& block) {
  if (!AllocateSampleBlock(block, g.byteCount)) return false;
  uint8_t* target = block.Lock();
  const uint8_t* from = static_cast<const uint8_t*>(GlobalLock(source));
  if (target && from) std::memcpy(target + kWaveHeaderLength, from + kWaveHeaderLength + g.beginOffset, g.byteCount);
  if (from) GlobalUnlock(source);
  if (target) WriteWaveHeader(target, format, g.byteCount);
  block.Unlock();
  return true;
}

// The re-analysed span becomes the analysis shown, with "&Restore" able to go back.
void TakeReanalysis(HWND window, GlobalBlock block, const WaveFormat& format, const ColumnGeometry& g,
                    int32_t beginMs) {
  AnalysisState& a = Analysis();
  a.sampleBuffer = std::move(block);
  a.waveDataFlag = true;
  a.format = format;
  a.beginMs = static_cast<float>(beginMs);
  a.endMs = static_cast<float>(g.endMs);
  a.beginOffset = g.beginOffset;
  a.fileBeginOffset += g.beginOffset;
  a.byteCount = g.byteCount;
  a.dataLength = g.byteCount;
  a.step = g.step;
  a.columnCount = g.columnCount;
  a.imageStartMs = a.accumulatedBeginMs + a.beginMs;
  a.restorePoint = true;
  DrawInfoPanel(window, a.format.sampleRate, PanelBits(a), PanelLength(a), a.coding);
}

}  // namespace

// Offer the shown data, plan the new span, copy its samples from the shown buffer, render.
void ChangeParameters(HWND window, ChangeOffer offer) {
  OperatingMode& mode = Mode();
  if (!Display().exists() || mode.rendering || mode.fileAnalysisInProgress) return;
  AnalysisState& a = Analysis();
  AnalysisSettings& settings = Settings();
  // A re-analysis is an analysis in progress from here until it is shown or refused.
  BusyFlag busy(mode.fileAnalysisInProgress);

  // The data the dialog offers is what is shown now; its samples are read from its buffer.
  const HGLOBAL source = a.sampleBuffer.get();
  const uint32_t sourceBytes = a.dataLength < a.byteCount ? a.dataLength : a.byteCount;
  const WaveFormat shownFormat = a.format;
  const bool setAside = !AnalysisSetAside() && !mode.lowMemory;
  const AnalysisSettings shownSettings = settings;

  ParametersDialogValues values = OfferedValues(offer, sourceBytes, shownFormat);
  values.fileRate = a.source.sampleRate;
  values.decodedResolution = a.source.wavFlag ? DecodedResolutionText(a.source.encoding) : nullptr;
  if (CheckTimeScale(settings.timeScaleMs) != Message::None) settings.timeScaleMs = 20.0f;
  if (!RunAnalysisParametersDialog(window, settings, values)) {
    busy.Clear();
    RedrawView(window, true);
    return;
  }
  // The shown analysis becomes the point "&Restore" returns to only now, so that it stays on
  // screen, and in use, while the dialog is open and after a Cancel.
  if (setAside) SetShownAnalysisAside(shownSettings);
  // The grid's time of the first column counts from the start of the analysis before.
  a.accumulatedBeginMs += a.beginMs;
  DrainMessageQueue();
  ApplyFftSize(window, values.fftSize);

  const uint16_t bits = values.decodedResolution ? 16 : BitsOf(settings.resolution);
  const uint32_t rate = values.sampleRate > 0 ? static_cast<uint32_t>(values.sampleRate) : 0;
  const SpanRequest request{static_cast<double>(values.beginMs), static_cast<double>(values.endMs), rate,
                            shownFormat.channels, bits, sourceBytes, settings.timeScaleMs,
                            settings.windowLengthMs, settings.FftOrder()};
  const ColumnGeometry g = PlanReanalysis(request, a.source.sampleRate);
  if (RefuseReanalysis(window, g.refusal)) return;
  const WaveFormat format{1, shownFormat.channels, rate, bits};
  const int bitmapWidth = DisplayBitmapWidth(g.columnCount, MainWindow().metrics.screenWidth);
  if (ImageExceedsBudget(g.bitmapHeight, bitmapWidth, g.byteCount, BudgetBesideDecoded(MainWindow().memory.budget))) {
    // The scan works on the whole file, not the span shown, in the format the dialog chose.
    LoadedSpan span;
    span.path = a.filePath;
    span.source = a.source;
    span.coding = a.coding;
    if (!ReadHeaderOf(a.filePath, span.header)) {
      ShowProgramMessage(window, Message::CannotOpenFile);
      a.restorePoint = true;
      RestoreAnalysis(window);
      return;
    }
    span.header.format = format;
    a.format = span.header.format;
    LowResolutionFallback(window, span, true);
    return;
  }

  GlobalBlock block;
  if (!CopySpanSamples(source, g, format, block)) {
    ShowProgramMessage(window, Message::NotEnoughMemory);
    busy.Clear();
    SendMessageA(window, WM_CLOSE, 0, 0);
    return;
  }
  // Without a set-aside analysis the samples shown are not needed any more.
  if (!setAside && a.sampleBuffer.get() == source) ReleaseSampleBuffer();
  TakeReanalysis(window, std::move(block), format, g, values.beginMs);
  RenderLoadedSpan(window);
}

// ---------------------------------------------------------------------------
// Parameters "&Restore".

void RestoreAnalysis(HWND window) {
  OperatingMode& mode = Mode();
  AnalysisState& a = Analysis();
  if (!a.restorePoint || mode.rendering) return;
  a.restorePoint = false;
  if (mode.lowMemory) {
    // ReturnToIdle empties the panel before the flags say idle, so that nothing sees an idle
    // window still naming the old data.
    ReturnToIdle(window);
    return;
  }
  if (!AnalysisSetAside()) return;

  ReleaseDisplay();
  ReleaseSampleBuffer();
  HeldAnalysis& held = SetAsideAnalysis();
  DestroyDisplayBitmap();
  Display() = std::move(held.bitmap);
  HandOverAnalysis(held.analysis, a);
  a.restorePoint = false;
  ViewState& view = View();
  view.horizontalOffset = held.view.horizontalOffset;
  view.horizontalRange = held.view.horizontalRange;
  view.horizontallyScrollable = held.view.horizontallyScrollable;
  view.verticalOffset = held.view.verticalOffset;
  view.verticalRange = held.view.verticalRange;
  view.verticallyScrollable = held.view.verticallyScrollable;
  view.verticalFraction = held.view.verticalFraction;
  AnalysisSettings& settings = Settings();
  const AnalysisSettings& was = held.settings;
  settings.resolution = was.resolution;
  settings.fftSize = was.fftSize;
  settings.frequencyMode = was.frequencyMode;
  settings.windowLengthMs = was.windowLengthMs;
  settings.savedWindowLengthMs = was.savedWindowLengthMs;
  settings.timeScaleMs = was.timeScaleMs;
  settings.displayType = was.displayType;
  settings.palette = was.palette;
  settings.attenuation = was.attenuation;
  held = HeldAnalysis();

  // The restored image is shown in the colours it had: its colour table is rewritten.
  Drawing().scheme = settings.palette;
  LoadPalette(window, PaletteOffset(settings.attenuation));
  SetHorizontalScrollRange();
  SetVerticalScrollBar();
  SetMenuState(window, MenuState::DataLoaded);
  EnableButtonsForShownAnalysis();
  SetWindowTextW(window, Wide(a.fileTitle.empty() ? kCaption : a.fileTitle.c_str()).c_str());
  DrawInfoPanel(window, a.format.sampleRate, PanelBits(a), PanelLength(a), a.coding);
  RedrawView(window, true);
  InvalidateRect(window, nullptr, FALSE);
}

void OnParametersChange(HWND window, LPARAM) { ChangeParameters(window, ChangeOffer::Shown); }
void OnParametersRestore(HWND window, LPARAM) { RestoreAnalysis(window); }

}  // namespace hl
