// The status block under the image and the mouse on the image: readouts of time, frequency and
// level, the left-drag selection handed to "&Change", the right-drag measuring rectangle, and
// the click handed to an open data-log dialog.
#include "windows/base/handles_win32.h"
#include "windows/view/readout_win32.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "windows/view/view_commands_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/layout/grid_layout.h"
#include "windows/view/palette_win32.h"
#include "core/layout/readout.h"
#include "windows/view/scope_axes_win32.h"
#include "windows/view/view_win32.h"
#include "core/dsp/column_renderer.h"
#include "resources/resource.h"

namespace hl {

namespace {




bool ScopeDisplay() { return Settings().displayType == DisplayType::Scope; }

bool InputOrScanRunning() {
  const OperatingMode& m = Mode();
  return m.audioInputActive || m.fileScanPlaybackActive;
}

bool ClockRunning() { return InputOrScanRunning() || Mode().playbackActive; }

ReadoutTitle TitleOf(ReadoutActivity activity) {
  switch (activity) {
    case ReadoutActivity::Analysis: return ReadoutTitle::Analysis;
    case ReadoutActivity::FileScan: return ReadoutTitle::FileScan;
    case ReadoutActivity::Recording: return ReadoutTitle::Recording;
    case ReadoutActivity::LiveScan: return ReadoutTitle::LiveScan;
    case ReadoutActivity::None: break;
  }
  return ReadoutTitle::None;
}

ReadoutTitle CurrentTitle() {
  const ReadoutState& s = Readout();
  if (!InputOrScanRunning() && Display().exists() && !ScopeDisplay() && Analysis().columnCount > 0) {
    return ReadoutTitle::Analysis;
  }
  return TitleOf(s.activity);
}

uint32_t CurrentRate() {
  const ReadoutState& s = Readout();
  if (ScopeDisplay() && ShownScope().known && ShownScope().sampleRate > 0) return ShownScope().sampleRate;
  if (InputOrScanRunning() && s.activityRate > 0) return s.activityRate;
  return Analysis().format.sampleRate;
}

ReadoutTexts ComputeTexts(ReadoutValues& values) {
  const ReadoutState& s = Readout();
  const AnalysisSettings& settings = Settings();
  const AnalysisState& a = Analysis();
  ReadoutInput in;
  in.scopeDisplay = ScopeDisplay();
  in.inImage = s.inImage;
  in.clockRunning = ClockRunning();
  in.rightDrag = s.rightDrag;
  in.x = s.x;
  in.y = s.y;
  in.imageX = s.imageX;
  in.imageY = s.imageY;
  in.anchorImageX = s.anchorImageX;
  in.anchorImageY = s.anchorImageY;
  in.rate = CurrentRate();
  in.fftOrder = settings.FftOrder();
  in.timeScaleMs = settings.timeScaleMs;
  in.imageBeginMs = a.accumulatedBeginMs + a.beginMs;
  in.elapsedMs = s.elapsedMs;
  in.scopeOriginX = ShownScope().xOrigin;
  in.baselineY = ShownScope().baselineY;
  in.title = CurrentTitle();
  const ReadoutTexts texts = ComputeReadout(in);

  // What a data-log dialog reads: the point under the cursor, not a span.
  if (s.inImage && !s.rightDrag) {
    values.column = s.imageX;
    if (!in.scopeDisplay) {
      const int64_t t = ColumnTimeMs(s.imageX, in.timeScaleMs, in.imageBeginMs);
      values.timeMs = t > 0 ? static_cast<unsigned>(t) : 0u;
    }
    values.frequencyHz = texts.frequencyHz > 0 ? static_cast<unsigned>(texts.frequencyHz) : 0u;
  }
  return texts;
}

// The information panel stands to the right of the status block, placed clear of its widest
// texts. A field is still erased and written only up to the panel's left edge, so that
// redrawing a value never draws over the panel, whatever the window's width.
int PanelLeft() { return CurrentInfoPanel(0, 0, 0).x; }

// The rectangle a field is erased over, client coordinates: the field's width from its left
// edge (the title's and labels' up to the value column, the values' as wide as the widest
// value), cut at the panel's left edge (empty when the panel covers it all).
RECT FieldBox(const StatusBlockLayout& l, int field, int panelLeft) {
  const MainWindowState& w = MainWindow();
  const int xs[kFieldCount] = {l.labelX, l.labelX, l.valueX, l.labelX, l.valueX};
  const int ys[kFieldCount] = {l.titleY, l.row1Y, l.row1Y, l.row2Y, l.row2Y};
  const int widths[kFieldCount] = {l.titleWidth, l.labelWidth, l.valueWidth, l.labelWidth, l.valueWidth};
  RECT box{xs[field], ys[field], xs[field] + widths[field], ys[field] + w.metrics.charHeight};
  if (box.right > panelLeft) box.right = panelLeft;
  if (box.right < box.left) box.right = box.left;
  return box;
}

StatusBlockLayout CurrentStatusBlock() {
  const MainWindowState& w = MainWindow();
  return ComputeStatusBlock(w.windowWidth, View().imageHeight, w.sizes.scrollBarThickness, w.metrics.charWidth,
                            w.metrics.charHeight, w.textWidths);
}

int TextWidth(HDC dc, const std::string& text) {
  SIZE extent{};
  if (!GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent)) return 0;
  return extent.cx;
}

int WidestOf(HDC dc, std::initializer_list<std::string> texts) {
  int widest = 0;
  for (const std::string& t : texts) widest = std::max(widest, TextWidth(dc, t));
  return widest;
}

// Writes the fields whose text changed (every field with `force`).
void DrawTexts(HDC dc, const ReadoutTexts& texts, bool force) {
  const StatusBlockLayout l = CurrentStatusBlock();
  const std::string* now[kFieldCount] = {&texts.title, &texts.timeLabel, &texts.timeValue, &texts.frequencyLabel,
                                         &texts.frequencyValue};
  ReadoutState& s = Readout();
  const int panelLeft = PanelLeft();
  for (int f = 0; f < kFieldCount; ++f) {
    if (!force && *now[f] == s.shown[f]) continue;
    DrawStatusField(dc, FieldBox(l, f, panelLeft), *now[f]);
    s.shown[f] = *now[f];
  }
}

void Redraw(HWND window, bool force) {
  ReadoutState& s = Readout();
  const ReadoutTexts texts = ComputeTexts(s.values);
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  if (!dc) return;
  DrawTexts(dc, texts, force);
}

int ClampInt(int v, int low, int high) { return v < low ? low : (v > high ? high : v); }

void StorePosition(int x, int y) {
  ReadoutState& s = Readout();
  const ViewState& v = View();
  s.x = x;
  s.y = y;
  // "Scope" draws its own image-area-sized picture: no scrolling there.
  const bool scope = ScopeDisplay();
  s.imageX = scope ? x : x + v.horizontalOffset;
  s.imageY = scope ? y : y + v.verticalOffset;
  CursorPlace place;
  place.scopeDisplay = scope;
  place.y = y;
  place.imageY = s.imageY;
  place.imageAreaHeight = v.imageHeight;
  place.bitmapHeight = !scope && Display().exists() && !InputOrScanRunning() ? Display().height : 0;
  s.inImage = CursorInImage(place);
}

// Copies `r` of the window back from the display bitmap, as the view shows it: the margin rows
// unscrolled, the frequency rows at the vertical offset.
void RestoreFromBitmap(HDC dc, const RECT& r) {
  const DisplayBitmap& d = Display();
  if (!d.exists()) return;
  const ViewState& v = View();
  const int width = r.right - r.left;
  const int marginBottom = r.bottom < kMarginRows ? r.bottom : kMarginRows;
  if (r.top < marginBottom) {
    BitBlt(dc, r.left, r.top, width, marginBottom - r.top, d.dc, r.left + v.horizontalOffset, r.top, SRCCOPY);
  }
  const int top = r.top > kMarginRows ? r.top : kMarginRows;
  if (top < r.bottom) {
    BitBlt(dc, r.left, top, width, r.bottom - top, d.dc, r.left + v.horizontalOffset, top + v.verticalOffset,
           SRCCOPY);
  }
  if (Analysis().columnCount < v.imageWidth) DrawMarginLines(dc, v.imageWidth);
}

void MoveRightDrag(HWND window) {
  ReadoutState& s = Readout();
  const ViewState& v = View();
  const int x = ClampInt(s.x, 0, v.imageWidth);
  const int y = ClampInt(s.y, kSeparatorRow, v.imageHeight);
  RECT r;
  r.left = x < s.anchorX ? x : s.anchorX;
  r.right = x < s.anchorX ? s.anchorX : x;
  r.top = y < s.anchorY ? y : s.anchorY;
  r.bottom = y < s.anchorY ? s.anchorY : y;
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  if (!dc) return;
  if (Drawing().palette) {
    SelectPalette(dc, Drawing().palette, FALSE);
    RealizePalette(dc);
  }
  if (s.rectShown) RestoreFromBitmap(dc, s.lastRect);
  PatBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, DSTINVERT);
  s.lastRect = r;
  s.rectShown = true;
  if (Mode().gridOn) DrawGrid(dc, false);
}

void MoveLeftDrag(HWND window) {
  ReadoutState& s = Readout();
  const int x = ClampInt(s.x, 0, View().imageWidth);
  if (x == s.lastX) return;
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  if (!dc) return;
  const int left = x < s.lastX ? x : s.lastX;
  const int width = x < s.lastX ? s.lastX - x : x - s.lastX;
  PatBlt(dc, left, 0, width, View().imageHeight, DSTINVERT);
  s.lastX = x;
}

void OnMove(HWND window, int x, int y) {
  const OperatingMode& m = Mode();
  const bool shown = Display().exists() || m.audioInputActive ||
                     m.fileScanPlaybackActive || m.playbackActive;
  if (!shown || m.rendering) return;
  ReadoutState& s = Readout();
  StorePosition(x, y);
  Redraw(window, false);
  if (s.leftDrag && !s.rightDrag) {
    MoveLeftDrag(window);
  } else if (s.rightDrag) {
    MoveRightDrag(window);
  }
}

// Gestures need an analysed "Scroll" image that nothing is drawing into or playing.
bool GesturesAllowed() {
  const OperatingMode& m = Mode();
  return Display().exists() && !m.rendering && !m.audioInputActive && !m.playbackActive &&
         !m.fileScanPlaybackActive && !ScopeDisplay();
}

// Paints the window now, so that a drag's first inversion lands on a clean view.
void Repaint(HWND window) {
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
}

// With a data log open a left click measures at the cursor for the log; otherwise it starts
// a selection drag.
Gesture OnLeftDown(HWND window, int x, int y, bool logOpen) {
  if (!GesturesAllowed()) return Gesture::None;
  ReadoutState& s = Readout();
  if (logOpen) {
    StorePosition(x, y);
    s.inImage = true;
    Redraw(window, false);
    return Gesture::LogClick;
  }
  SetCapture(window);
  s.dragStartX = ClampInt(x, 0, View().imageWidth);
  s.lastX = s.dragStartX;
  if (y < View().imageHeight) {
    Repaint(window);
    s.leftDrag = true;
  }
  return Gesture::None;
}

Gesture OnLeftUp(int x) {
  ReleaseCapture();
  ReadoutState& s = Readout();
  if (!s.leftDrag) return Gesture::None;
  s.leftDrag = false;
  const int endX = ClampInt(x, 0, View().imageWidth);
  AnalysisState& a = Analysis();
  SelectionInput in;
  in.startX = s.dragStartX;
  in.endX = endX;
  in.horizontalOffset = View().horizontalOffset;
  in.timeScaleMs = Settings().timeScaleMs;
  in.bytesPerSample = a.format.BytesPerSample();
  in.channels = a.format.channels;
  in.rate = a.format.sampleRate;
  const Selection selection = SelectSpan(in);
  if (!selection.made) return Gesture::None;
  // "&Change" offers the span in ms of the shown data and turns it back into the same byte
  // offsets, cut to whole frames.
  a.selectionBeginMs = static_cast<float>(selection.beginMs);
  a.selectionEndMs = static_cast<float>(selection.endMs);
  return Gesture::SpanSelected;
}

void OnRightDown(HWND window, int x, int y) {
  if (!GesturesAllowed()) return;
  ReadoutState& s = Readout();
  StorePosition(x, y);
  s.anchorX = x;
  s.anchorY = y;
  s.anchorImageX = s.imageX;
  s.anchorImageY = s.imageY;
  s.rectShown = false;
  SetCapture(window);
  Repaint(window);
  s.rightDrag = true;
  Mode().rightButtonHeld = 1;
}

void OnRightUp(HWND window) {
  ReleaseCapture();
  ReadoutState& s = Readout();
  if (!s.rightDrag) return;
  s.rightDrag = false;
  s.rectShown = false;
  Mode().rightButtonHeld = 0;
  InvalidateRect(window, nullptr, FALSE);
}

}  // namespace

const ReadoutValues& CurrentReadout() { return Readout().values; }

Gesture OnMouseMessage(HWND window, UINT message, LPARAM lParam, bool logOpen) {
  const int x = MouseCoordinate(LOWORD(lParam));
  const int y = MouseCoordinate(HIWORD(lParam));
  switch (message) {
    case WM_MOUSEMOVE: OnMove(window, x, y); break;
    case WM_LBUTTONDOWN: return OnLeftDown(window, x, y, logOpen);
    case WM_LBUTTONUP: return OnLeftUp(x);
    case WM_RBUTTONDOWN: OnRightDown(window, x, y); break;
    case WM_RBUTTONUP: OnRightUp(window); break;
    default: break;
  }
  return Gesture::None;
}

void BlankReadoutOutsideImage(HWND window) {
  Readout().inImage = false;
  Redraw(window, false);
}

void SetReadoutActivity(ReadoutActivity activity, uint32_t sampleRate) {
  Readout().activity = activity;
  Readout().activityRate = sampleRate;
}

void DrawReadoutElapsed(HWND window, float elapsedMs) {
  Readout().elapsedMs = elapsedMs;
  Redraw(window, false);
}

void ClearReadout(HWND window) {
  ReadoutState& s = Readout();
  s.inImage = false;
  s.elapsedMs = 0;
  Redraw(window, true);
}

TextWidths MeasureTextsUnderImage(HDC dc) {
  TextWidths w;
  w.title = WidestOf(dc, {TitleText(ReadoutTitle::Analysis), TitleText(ReadoutTitle::FileScan),
                          TitleText(ReadoutTitle::Recording), TitleText(ReadoutTitle::LiveScan)});
  w.label = WidestOf(dc, {kTimeLabel, kTimeNowLabel, kLevelLabel, kFrequencyLabel});
  // The blank patterns and the longest values: six-digit times (a file of over 100 s), the
  // "+ -" at two digits, five-digit frequencies, levels.
  w.value = WidestOf(dc, {kBlankTimeOrFrequency, kBlankLevel, TimeField(888888, 88), FrequencyField(28888, 88),
                          WholeNumberField(-888888)});
  const InfoPanelLayout panel = ComputeInfoPanel(0, 0, 1, 1, 0, 0, 0);
  w.panelLabel = WidestOf(dc, {panel.labels[0], panel.labels[1], panel.labels[2]});
  const InfoPanelLayout widest = ComputeInfoPanel(0, 0, 1, 1, 888888, 8888, 888888888);
  w.panelValue = WidestOf(dc, {widest.values[0], widest.values[1], widest.values[2], RecordedLengthText(888888)});
  return w;
}

void DrawStatusField(HDC dc, const RECT& box, const std::string& text) {
  if (box.right <= box.left) return;
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  SetBkMode(dc, OPAQUE);
  FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
  if (text.empty()) return;
  const WindowFontIn font(dc);
  ExtTextOutA(dc, box.left, box.top, ETO_CLIPPED | ETO_OPAQUE, &box, text.c_str(), static_cast<UINT>(text.size()),
              nullptr);
}

ShownField ShownStatusField(StatusField field) {
  const int f = static_cast<int>(field);
  return ShownField{FieldBox(CurrentStatusBlock(), f, PanelLeft()), Readout().shown[f]};
}

void RepaintReadout(HDC dc) {
  if (!dc || !MainWindow().createDone) return;
  ReadoutState& s = Readout();
  DrawTexts(dc, ComputeTexts(s.values), true);
}

}  // namespace hl
