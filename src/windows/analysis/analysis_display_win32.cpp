// The display bitmap and view of an analysis: made for the render, drawn, shown, and the
// buttons and scroll bars around it.
#include "windows/analysis/analysis_steps_win32.h"

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
#include "windows/files/wave_open_win32.h"
#include "resources/resource.h"

namespace hl {

namespace {

// The view of a new bitmap of `bitmapHeight` rows: at the first column, and vertically where
// the kept fraction puts it in the new range (the FFT-size command has just set the fraction).
void PlaceViewForRender(int bitmapHeight) {
  ViewState& view = View();
  view.horizontalOffset = 0;
  view.renderColumn = 0;
  SetHorizontalScrollRange();
  const int verticalRange = bitmapHeight - ImageAreaHeight();
  view.verticalRange = verticalRange > 0 ? verticalRange : 0;
  view.verticalOffset = static_cast<int>(view.verticalFraction * static_cast<float>(view.verticalRange));
  if (view.verticalOffset > view.verticalRange) view.verticalOffset = view.verticalRange;
  if (view.verticalOffset < 0) view.verticalOffset = 0;
  SetVerticalScrollBar();
}

// Copies the view to the window in the program's palette, with the grid when `grid`.
void ShowView(HWND window, bool grid) {
  WindowDc screen(window);
  SelectPalette(screen.get(), Drawing().palette, FALSE);
  RealizePalette(screen.get());
  CopyView(screen.get());
  if (grid) DrawGrid(screen.get(), false);
}

// The buttons and menu while the columns are drawn: only Stop.
void EnterRendering(HWND window) {
  SetButtons(ButtonsState::Running);
  SetMenuState(window, MenuState::Busy);
  Mode().stopRequest = 0;
  Mode().rendering = 1;
}

// The rendered image shown, with the margin lines across an image area wider than it, and
// the window in the data-loaded state.
void FinishRender(HWND window) {
  OperatingMode& mode = Mode();
  AnalysisSettings& settings = Settings();
  const AnalysisState& a = Analysis();
  // The view followed the columns as they were drawn; the finished image is shown from its
  // first column.
  View().horizontalOffset = 0;
  ShowView(window, mode.gridOn != 0);
  SetHorizontalScrollRange();
  // A stopped render has shortened the data: the panel shows what the image holds.
  DrawInfoPanel(window, a.format.sampleRate, PanelBits(a), PanelLength(a), a.coding);
  SetMenuState(window, MenuState::DataLoaded);
  EnableButtonsForShownAnalysis();
  mode.rendering = 0;
  if (settings.frequencyMode == FrequencyMode::BB) settings.savedWindowLengthMs = settings.windowLengthMs;
  mode.fileScanPlaybackActive = 0;
  mode.playbackActive = 0;
  mode.fileAnalysisInProgress = 0;
}

}  // namespace

// The buttons of an analysis that is shown and not running.
void EnableButtonsForShownAnalysis() {
  SetButtons(ButtonsState::Shown);
}

void SetHorizontalScrollRange() {
  ViewState& view = View();
  const int columns = Analysis().columnCount;
  const int width = ImageAreaWidth();
  view.horizontallyScrollable = columns > width;
  view.horizontalRange = view.horizontallyScrollable ? columns - width : 0;
  if (view.horizontalOffset > view.horizontalRange) view.horizontalOffset = view.horizontalRange;
  if (view.horizontalOffset < 0) view.horizontalOffset = 0;
  HWND bar = MainWindow().horizontalScrollBar;
  SetScrollRange(bar, SB_CTL, 0, view.horizontalRange, FALSE);
  SetScrollPos(bar, SB_CTL, view.horizontalOffset, TRUE);
}

void SetVerticalScrollBar() {
  const ViewState& view = View();
  HWND bar = MainWindow().verticalScrollBar;
  SetScrollRange(bar, SB_CTL, 0, view.verticalRange, FALSE);
  SetScrollPos(bar, SB_CTL, view.verticalOffset, TRUE);
}

// The display bitmap for the analysis's column count made, cleared and shown, the view
// placed for the render and the buttons those of a render. False when the bitmap cannot be
// had; nothing is shown then.
bool PrepareDisplay(HWND window, const DisplayRequest& request) {
  const int bitmapHeight = (1 << request.fftOrder) / 2 + kMarginRows;
  const int bitmapWidth = DisplayBitmapWidth(request.columns, MainWindow().metrics.screenWidth);
  if (!CreateDisplayBitmap(window, bitmapWidth, bitmapHeight)) return false;
  PlaceViewForRender(bitmapHeight);

  PaletteImage image = Display().Image();
  GdiFlush();
  ClearImage(image);
  ShowView(window, false);
  EnterRendering(window);
  return true;
}

// No display bitmap for the span: the message, and the program ends.
void RefuseDisplay(HWND window) {
  ShowProgramMessage(window, Message::NotEnoughDisplayMemory);
  Mode().fileAnalysisInProgress = 0;
  SendMessageA(window, WM_CLOSE, 0, 0);
}

// The loaded sample buffer drawn into the prepared display bitmap, then the result. The
// analysis's format, span, step and column count are set.
void RenderIntoDisplay(HWND window) {
  AnalysisState& a = Analysis();
  OperatingMode& mode = Mode();
  const uint8_t* samples = a.sampleBuffer.Lock();
  const AnalysisSettings& settings = Settings();
  RenderRequest request;
  request.span = SampleSpan{samples + kWaveHeaderLength, a.byteCount, a.format.bitsPerSample == 8 ? 1 : 2,
                            a.format.channels};
  request.settings = RenderSettings{settings.FftOrder(), static_cast<int32_t>(a.format.sampleRate),
                                    settings.windowLengthMs, a.step};
  request.columns = a.columnCount;
  const int drawn = samples ? RenderImage(window, request) : -1;
  if (!IsWindow(window) || !Display().exists()) {
    // The window was closed while the columns were drawn: the close step has released
    // everything already.
    mode.rendering = 0;
    mode.fileAnalysisInProgress = 0;
    return;
  }
  a.sampleBuffer.Unlock();
  if (drawn < 0) {
    ShowProgramMessage(window, Message::NotEnoughMemory);
    ReturnToIdle(window);
    return;
  }
  // The image holds the columns drawn; its data length is scaled to them.
  a.dataLength = ScaledDataLength(a.dataLength, a.columnCount, drawn);
  a.columnCount = drawn;
  RenderTimings& timings = LastRenderTimings();
  const double finishing = SecondsNow();
  FinishRender(window);
  timings.finish = SecondsNow() - finishing;
}

DisplayRequest DisplayRequestOfAnalysis() {
  Settings().displayType = DisplayType::Scroll;
  return DisplayRequest{Analysis().columnCount, Settings().FftOrder()};
}

void RenderLoadedSpan(HWND window) {
  if (!PrepareDisplay(window, DisplayRequestOfAnalysis())) return RefuseDisplay(window);
  RenderIntoDisplay(window);
}

}  // namespace hl
