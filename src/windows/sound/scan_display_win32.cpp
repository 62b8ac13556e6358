#include "windows/base/handles_win32.h"
#include "windows/sound/scan_display_win32.h"

#include <cstdio>
#include <cstring>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "core/analysis/file_analysis.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/sound/capture_state_win32.h"
#include "windows/sound/capture_win32.h"
#include "core/layout/grid_layout.h"
#include "windows/view/palette_win32.h"
#include "windows/view/readout_win32.h"
#include "windows/view/scope_axes_win32.h"
#include "core/dsp/column_renderer.h"

namespace hl {

namespace {

// One window column as a 1-pixel-wide DIB whose colour table holds palette indices
// (DIB_PAL_COLORS): the pixels are drawn through whatever palette the window DC has
// selected, so they are the same palette-relative colours SetPixel(PALETTEINDEX(i)) would
// set, in one call per column instead of 256.
struct ColumnDib {
  BITMAPINFOHEADER header;
  WORD indices[kPaletteSize];
};

ColumnDib ColumnInfo() {
  ColumnDib d{};
  d.header.biSize = sizeof d.header;
  d.header.biWidth = 1;
  d.header.biHeight = -kScrollImageHeight;  // top row first
  d.header.biPlanes = 1;
  d.header.biBitCount = 8;
  d.header.biCompression = BI_RGB;
  d.header.biClrUsed = kPaletteSize;
  for (int i = 0; i < kPaletteSize; ++i) d.indices[i] = static_cast<WORD>(i);
  return d;
}

void BlitColumn(HDC dc, int x, const uint8_t* column) {
  // Rows of a DIB are padded to 4 bytes.
  uint8_t rows[kScrollImageHeight * 4] = {};
  for (int y = 0; y < kScrollImageHeight; ++y) rows[y * 4] = column[y];
  const ColumnDib info = ColumnInfo();
  StretchDIBits(dc, x, 0, 1, kScrollImageHeight, 0, 0, 1, kScrollImageHeight, rows,
                reinterpret_cast<const BITMAPINFO*>(&info), DIB_PAL_COLORS, SRCCOPY);
}

void FillBitmapRect(const DisplayBitmap& d, int left, int top, int right, int bottom, uint8_t index) {
  if (left < 0) left = 0;
  if (top < 0) top = 0;
  if (right > d.width) right = d.width;
  if (bottom > d.height) bottom = d.height;
  for (int y = top; y < bottom; ++y) {
    if (right > left) std::memset(d.bits + static_cast<size_t>(y) * d.stride + left, index, right - left);
  }
}

// The elapsed-time row of the readout.
void RefreshElapsedReadout(HWND window) {
  DrawReadoutElapsed(window, static_cast<float>(CaptureClockMs() - Capture().startTimeMs));
}

// The rate the scan runs at: the capture's own while sound input runs, else the file scan's,
// which is the analysed format's.
uint32_t ScanSampleRate() {
  const CaptureState& c = Capture();
  if (c.captureActive && c.sampleRate > 0) return static_cast<uint32_t>(c.sampleRate);
  return Analysis().format.sampleRate;
}

}  // namespace

void ClearScrollDisplay(HWND, HDC dc) {
  FillWithIndex(dc, ImageAreaWidth(), ImageAreaHeight(), kIndexFloor);
  DrawMarginLines(dc, ImageAreaWidth());
}

bool PrepareScopeDisplay(HWND window, HDC dc) {
  Settings().palette = PaletteScheme::CB;
  Drawing().scheme = PaletteScheme::CB;
  LoadPalette(window, PaletteOffset(0));
  const int width = ImageAreaWidth(), height = ImageAreaHeight();
  if (!CreateDisplayBitmap(window, width, height)) return false;
  const DisplayBitmap& d = Display();
  GdiFlush();
  FillBitmapRect(d, 0, 0, d.width, d.height, kIndexFloor);
  BitBlt(dc, 0, 0, width, height, d.dc, 0, 0, SRCCOPY);
  return true;
}

ScopeGeometry CurrentScopeGeometry() {
  const ScreenMetrics& m = MainWindow().metrics;
  return ScopeGeometryOf(ImageAreaWidth(), ImageAreaHeight(), m.charWidth, m.charHeight);
}

void DrawScopeFrameAxes(HWND, HDC dc, const ScopeGeometry& g) {
  const DisplayBitmap& d = Display();
  if (!d.exists()) return;
  const ScreenMetrics& m = MainWindow().metrics;
  DrawScopeAxes(d.dc, g.x0, g.baseline, ScanSampleRate(), m.charWidth, m.charHeight);
  GdiFlush();
  BitBlt(dc, 0, 0, ImageAreaWidth(), ImageAreaHeight(), d.dc, 0, 0, SRCCOPY);
}

void SetScopeWindowStyle(HWND window, bool scope) {
  CaptureState& c = Capture();
  if (scope) {
    SetWindowLongPtrA(window, GWL_STYLE, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE);
    c.scopeStyle = 1;
  } else {
    if (!c.scopeStyle) return;
    SetWindowLongPtrA(window, GWL_STYLE, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    c.scopeStyle = 0;
  }
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(window, SW_SHOW);
}

void DrawScrollColumn(HWND window, HDC dc, ScrollCursor& cursor, const int16_t* levels, const Peak& peak,
                      bool refreshReadout) {
  const int width = ImageAreaWidth();
  const ScrollStep step = NextScrollColumn(cursor, width);
  uint8_t column[kScrollImageHeight];
  RenderScanColumn(levels, peak, column);
  BlitColumn(dc, step.x, column);
  if (step.scrollAfter) {
    // The picture moves 4 pixels left by a copy within the window DC. ScrollWindowEx moves
    // the same pixels but, under Wine, costs about a third of a core at 100 columns a second;
    // the copy costs almost nothing.
    BitBlt(dc, 0, 0, width - 4, ImageAreaHeight(), dc, 4, 0, SRCCOPY);
  }
  if (step.refreshStatus) {
    DrawRecordedLength(window);
    if (refreshReadout) RefreshElapsedReadout(window);
  }
  AdvanceScrollCursor(cursor);
}

void DrawRecordedColumn(HWND window, HDC dc, int32_t x, const int16_t* levels, const Peak& peak) {
  const DisplayBitmap& d = Display();
  if (!d.exists()) return;
  if (x >= 0 && x < d.width && d.height >= kScrollImageHeight) {
    uint8_t column[kScrollImageHeight];
    RenderScanColumn(levels, peak, column);
    GdiFlush();
    for (int y = 0; y < kScrollImageHeight; ++y) d.bits[static_cast<size_t>(y) * d.stride + x] = column[y];
  }
  const int width = ImageAreaWidth(), height = ImageAreaHeight();
  const ScreenUpdate r = ScreenUpdateAt(x, width);
  if (!r.copy) return;
  ViewState& view = View();
  if (r.scroll) {
    view.horizontalOffset = r.scrollPosition;
    SetScrollPos(MainWindow().horizontalScrollBar, SB_CTL, r.scrollPosition, TRUE);
  }
  // The frequency rows from the vertical offset, then the strip.
  BitBlt(dc, r.destX, kMarginRows, r.width, height - kMarginRows, d.dc, r.sourceX,
         view.verticalOffset + kMarginRows, SRCCOPY);
  BitBlt(dc, r.destX, 0, r.width, kMarginRows, d.dc, r.sourceX, 0, SRCCOPY);
  DrawRecordedLength(window);
  RefreshElapsedReadout(window);
}

void DrawScopeColumn(HWND window, HDC dc, ScopeHistory& history, const int16_t* levels, const ScopeGeometry& g) {
  history.Push(levels);
  const DisplayBitmap& d = Display();
  if (!d.exists()) return;
  GdiFlush();
  FillBitmapRect(d, g.x0, 0, g.x0 + 2 * kCaptureBins, g.baseline + 1, kIndexFloor);
  for (int i = 0; i < kCaptureBins; ++i) {
    const int x = g.x0 + 2 * i;
    if (x < 0 || x >= d.width) continue;
    const int32_t bar = ScopeBarHeight(history, i, g.baseline);
    // The bar's pixels run from the baseline up, as a line drawn from the baseline to
    // baseline - bar (which stops short of its end point).
    for (int y = g.baseline; y > g.baseline - bar; --y) {
      if (y >= 0 && y < d.height) d.bits[static_cast<size_t>(y) * d.stride + x] = 60;
    }
  }
  if (Mode().gridOn) {
    DrawScopeGrid(d.dc, g.x0, g.baseline, ScanSampleRate());
    GdiFlush();
  }
  BitBlt(dc, 0, 0, ImageAreaWidth(), ImageAreaHeight(), d.dc, 0, 0, SRCCOPY);
  DrawRecordedLength(window);
}

void DrawRecordedLength(HWND window) {
  const CaptureState& c = Capture();
  const InfoPanelLayout p = CurrentInfoPanel(0, 0, 0);
  unsigned kb = 0;
  if (!c.scanFlag) {
    const float elapsed = static_cast<float>(CaptureClockMs() - c.startTimeMs);
    const float value = static_cast<float>(c.channels * c.bytesPerSample * c.sampleRate) * elapsed * 0.000001f;
    kb = value > 0.0f ? static_cast<unsigned>(value) : 0u;
  }
  const std::string text = RecordedLengthText(kb);
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  if (!dc) return;
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  SetBkMode(dc, OPAQUE);
  const WindowFontIn font(dc);
  TextOutA(dc, p.valueX, p.rowY[2], text.c_str(), static_cast<int>(text.size()));
}

}  // namespace hl
