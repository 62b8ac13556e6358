// The grid of crosses with its labels over the time–frequency image, the information panel
// below it, and the "Toggle Grid" button.
#include <cstring>

#include "core/analysis/analysis_settings.h"
#include "windows/base/handles_win32.h"
#include "windows/base/analysis_win32.h"
#include "windows/view/view_commands_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/layout/grid_layout.h"
#include "windows/view/palette_win32.h"
#include "windows/view/view_win32.h"

namespace hl {

namespace {

constexpr int kMarkerCentre = 5;  // the cross's bars cross at (5, 5) of the marker bitmap
constexpr int kMarkerArm = 11;

void Text(HDC dc, int x, int y, const std::string& text) {
  const WindowFontIn font(dc);
  TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

}  // namespace

void DrawGrid(HDC dc, bool wholeBitmap) {
  const DisplayBitmap& bitmap = Display();
  const ViewState& view = View();
  const AnalysisSettings& settings = Settings();
  const MainWindowState& window = MainWindow();
  GridInputs in;
  in.scopeDisplay = settings.displayType == DisplayType::Scope;
  in.bitmapExists = bitmap.exists();
  in.wholeBitmap = wholeBitmap;
  in.timeScaleMs = settings.timeScaleMs;
  in.imageStartMs = Analysis().imageStartMs;
  in.horizontalPosition = view.horizontalOffset;
  in.sampleRate = static_cast<int32_t>(Analysis().format.sampleRate);
  in.fftOrder = settings.FftOrder();
  in.verticalOffset = view.verticalOffset;
  in.verticalScrollOn = settings.FftOrder() > 9;
  // Over the whole bitmap the grid spans the analysis's columns, not the bitmap, which is at
  // least as wide as the screen: the entire export holds only those columns.
  in.width = wholeBitmap ? Analysis().columnCount : view.imageWidth;
  in.height = wholeBitmap ? bitmap.height : view.imageHeight;
  in.charWidth = window.metrics.charWidth;
  in.charHeight = window.metrics.charHeight;
  const GridLayout grid = ComputeGrid(in);
  if (!in.bitmapExists || in.scopeDisplay) return;

  const DrawingObjects& o = Drawing();
  if (o.palette) {
    SelectPalette(dc, o.palette, FALSE);
    RealizePalette(dc);
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, PaletteColour(kIndexMarker));
  SetBkColor(dc, PaletteColour(kIndexSeparator));
  for (const GridLabel& label : grid.labels) Text(dc, label.x, label.y, label.text);
  // Each cross is the marker's two bars: a column and a row of 11 pixels through its centre.
  for (const GridPoint& p : grid.crosses) {
    BitBlt(dc, p.x, p.y - kMarkerCentre, 1, kMarkerArm, o.markerDc, kMarkerCentre, 0, SRCCOPY);
    BitBlt(dc, p.x - kMarkerCentre, p.y, kMarkerArm, 1, o.markerDc, 0, kMarkerCentre, SRCCOPY);
  }
  if (wholeBitmap) {
    // The bits are read straight after this by whoever asked for the whole bitmap.
    GdiFlush();
  } else {
    View().gridOnScreen = true;
  }
}

InfoPanelLayout CurrentInfoPanel(uint32_t sampleRate, int bitsPerSample, uint32_t dataLength) {
  const MainWindowState& s = MainWindow();
  return PlaceInfoPanel(s.windowWidth, View().imageHeight, s.sizes.scrollBarThickness, s.metrics.charWidth,
                        s.metrics.charHeight, s.textWidths, sampleRate,
                        static_cast<uint32_t>(bitsPerSample < 0 ? 0 : bitsPerSample), dataLength);
}

void DrawInfoPanelInto(HDC dc, uint32_t sampleRate, int bitsPerSample, uint32_t dataLength,
                       const std::string& coding) {
  const InfoPanelLayout p = CurrentInfoPanel(sampleRate, bitsPerSample, dataLength);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  SetBkMode(dc, OPAQUE);
  RECT box{p.x, p.y, p.x + p.width, p.y + p.height};
  {
    GdiObject<HBRUSH> face(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    FillRect(dc, &box, face.get());
  }
  {
    // A sunken frame: light right and bottom edges, dark left and top ones drawn over them.
    const int right = box.right, bottom = box.bottom;
    SelectedObject pen(dc, GetStockObject(WHITE_PEN));
    MoveToEx(dc, right, box.top, nullptr);
    LineTo(dc, right, bottom);
    MoveToEx(dc, box.left, bottom, nullptr);
    LineTo(dc, right + 1, bottom);
    pen.Select(GetStockObject(BLACK_PEN));
    MoveToEx(dc, box.left, bottom, nullptr);
    LineTo(dc, box.left, box.top);
    LineTo(dc, right, box.top);
  }
  const WindowFontIn font(dc);
  const bool codingRow = !coding.empty() && sampleRate > 0;
  for (int row = 0; row < 3; ++row) {
    if (row == 0 && codingRow) {
      Text(dc, p.labelX, p.rowY[row], coding);
      continue;
    }
    TextOutA(dc, p.labelX, p.rowY[row], p.labels[row], static_cast<int>(std::strlen(p.labels[row])));
    Text(dc, p.valueX, p.rowY[row], p.values[row]);
  }
}

void DrawInfoPanel(HWND window, uint32_t sampleRate, int bitsPerSample, uint32_t dataLength,
                   const std::string& coding) {
  ShownInfoPanel() = InfoPanelValues{sampleRate, bitsPerSample, dataLength, sampleRate > 0 ? coding : std::string()};
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  if (!dc) return;
  DrawInfoPanelInto(dc, sampleRate, bitsPerSample, dataLength, ShownInfoPanel().coding);
}

// "Toggle Grid": the window is repainted at once, with or without the grid ("Scope" picks
// the change up with its next frame).
void OnToggleGrid(HWND window, LPARAM) {
  OperatingMode& mode = Mode();
  mode.gridOn = mode.gridOn ? 0 : 1;
  if (Settings().displayType == DisplayType::Scope) return;
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
}

}  // namespace hl
