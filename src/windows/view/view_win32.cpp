// The display bitmap and the window's view of it: creation, copying to the screen,
// painting, resizing and the two scroll bars.
#include "windows/view/view_win32.h"

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "windows/base/handles_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/view/render_window_win32.h"
#include "windows/base/gdi_objects_win32.h"
#include "core/image/palette.h"
#include "windows/view/palette_win32.h"
#include "windows/view/readout_win32.h"
#include "core/layout/view_layout.h"

namespace hl {

namespace {

constexpr int kColourTableSize = 256;

// An 8-bit DIB's header with its full colour table.
struct PaletteBitmapInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colours[kColourTableSize];
};

// Entries 0..235 from the logical palette as it is loaded now; 236..255 stay black and
// are never used by the image.
void ReadColourTable(RGBQUAD (&table)[kColourTableSize]) {
  for (RGBQUAD& c : table) c = RGBQUAD{0, 0, 0, 0};
  PALETTEENTRY entries[kPaletteSize] = {};
  if (!Drawing().palette || GetPaletteEntries(Drawing().palette, 0, kPaletteSize, entries) != kPaletteSize) return;
  for (int i = 0; i < kPaletteSize; ++i) {
    table[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
  }
}

void SelectProgramPalette(HDC dc) {
  if (!dc || !Drawing().palette) return;
  SelectPalette(dc, Drawing().palette, FALSE);
  RealizePalette(dc);
}

bool InScrollDisplay() { return Settings().displayType != DisplayType::Scope; }

// The two copies of the view: frequency rows from the vertical offset, then the margin,
// which therefore stays put while the frequency view scrolls.
void BlitView(HDC dc) {
  const DisplayBitmap& d = Display();
  const ViewState& v = View();
  const int frequencyRows = v.imageHeight - kMarginRows;
  if (frequencyRows > 0) {
    BitBlt(dc, 0, kMarginRows, v.imageWidth, frequencyRows, d.dc, v.horizontalOffset,
           v.verticalOffset + kMarginRows, SRCCOPY);
  }
  BitBlt(dc, 0, 0, v.imageWidth, kMarginRows, d.dc, v.horizontalOffset, 0, SRCCOPY);
}

void FillImageArea(HDC dc) {
  const ViewState& v = View();
  FillWithIndex(dc, v.imageWidth, v.imageHeight, kIndexFloor);
}

bool ImageNarrowerThanView() { return Analysis().columnCount < View().imageWidth; }

HWND Bar(bool horizontal) {
  return horizontal ? MainWindow().horizontalScrollBar : MainWindow().verticalScrollBar;
}

void ShowScrollState(bool horizontal) {
  const ViewState& v = View();
  HWND bar = Bar(horizontal);
  if (!bar) return;
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_POS;
  info.nMin = 0;
  info.nMax = horizontal ? v.horizontalRange : v.verticalRange;
  info.nPos = horizontal ? v.horizontalOffset : v.verticalOffset;
  SetScrollInfo(bar, SB_CTL, &info, TRUE);
}

void MoveChild(HWND child, const Rect& r) {
  if (!child) return;
  RECT now;
  GetWindowRect(child, &now);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&now), 2);
  if (now.left == r.x && now.top == r.y && now.right - now.left == r.width && now.bottom - now.top == r.height) return;
  MoveWindow(child, r.x, r.y, r.width, r.height, TRUE);
}

// Lays the children out for the window's present size and records the image area.
void PlaceChildren(HWND window) {
  MainWindowState& s = MainWindow();
  RECT outer, client;
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  s.windowWidth = outer.right - outer.left;
  s.windowHeight = outer.bottom - outer.top;
  s.layout = ResizedChildLayout(s.metrics, s.windowWidth, s.windowHeight, client.right - client.left);
  const ChildLayout& l = s.layout;
  View().imageWidth = l.imageAreaWidth;
  View().imageHeight = l.imageAreaHeight;
  MoveChild(s.horizontalScrollBar, l.horizontalScrollBar);
  MoveChild(s.verticalScrollBar, l.verticalScrollBar);
  MoveChild(s.playButton, l.play);
  MoveChild(s.playWindowButton, l.playWindow);
  MoveChild(s.toggleGridButton, l.toggleGrid);
  MoveChild(s.stopButton, l.stop);
}

WindowSize FittedSize(HWND window, bool pinScopeWidth) {
  const MainWindowState& s = MainWindow();
  RECT outer;
  GetWindowRect(window, &outer);
  WindowFitInput in;
  in.width = outer.right - outer.left;
  in.height = outer.bottom - outer.top;
  in.sizes = s.sizes;
  in.charWidth = s.metrics.charWidth;
  in.textMinimumWidth = s.textMinimumWidth;
  in.screenHeight = s.metrics.screenHeight;
  in.fftOrder = Settings().FftOrder();
  in.scrollDisplay = InScrollDisplay();
  in.pinScopeWidth = pinScopeWidth;
  return FitWindow(in);
}

// The scroll bars follow a new image-area size, keeping the part of the image in view.
void UpdateScrollRanges() {
  ViewState& v = View();
  const ScrollAxis horizontal =
      HorizontalAfterResize({v.horizontalOffset, v.horizontalRange, v.horizontallyScrollable},
                            Analysis().columnCount, v.imageWidth, Mode().rendering != 0, v.renderColumn);
  v.horizontalOffset = horizontal.offset;
  v.horizontalRange = horizontal.range;
  v.horizontallyScrollable = horizontal.scrollable;
  ShowScrollState(true);

  const ScrollAxis vertical =
      VerticalAfterResize({v.verticalOffset, v.verticalRange, v.verticallyScrollable}, Settings().FftOrder(),
                          v.imageHeight);
  v.verticalFraction = vertical.range > 0 ? static_cast<float>(vertical.offset) / static_cast<float>(vertical.range)
                                          : 1.0f;
  v.verticalOffset = vertical.offset;
  v.verticalRange = vertical.range;
  v.verticallyScrollable = vertical.scrollable;
  ShowScrollState(false);
}

// The panel under the image in the active-caption colour, the information panel on it, and
// the square between the two scroll bars.
void PaintPanel(HWND window, HDC dc) {
  const MainWindowState& s = MainWindow();
  const ViewState& v = View();
  RECT client;
  GetClientRect(window, &client);
  const int bar = s.sizes.scrollBarThickness;
  RECT panel{0, v.imageHeight + bar, client.right, client.bottom};
  FillRect(dc, &panel, GetSysColorBrush(COLOR_ACTIVECAPTION));
  RepaintReadout(dc);
  const InfoPanelValues& shown = ShownInfoPanel();
  DrawInfoPanelInto(dc, shown.sampleRate, shown.bitsPerSample, shown.dataLength, shown.coding);
  RECT corner{v.imageWidth, v.imageHeight, v.imageWidth + bar, v.imageHeight + bar};
  FillRect(dc, &corner, GetSysColorBrush(COLOR_BTNFACE));
}

ScrollRequest RequestOf(WORD code) {
  switch (code) {
    case SB_LINEUP: return ScrollRequest::LineBack;
    case SB_LINEDOWN: return ScrollRequest::LineForward;
    case SB_PAGEUP: return ScrollRequest::PageBack;
    case SB_PAGEDOWN: return ScrollRequest::PageForward;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: return ScrollRequest::Thumb;
    default: return ScrollRequest::None;
  }
}

// The thumb's position: the message carries only 16 bits, and a long image has more columns
// than that, so past 16 bits the bar is asked for the full value.
int ThumbPosition(HWND bar, WPARAM wParam, int range) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_TRACKPOS;
  if (range > 0xFFFF && bar && GetScrollInfo(bar, SB_CTL, &info)) return info.nTrackPos;
  return HIWORD(wParam);
}

// Moves one scroll bar and shows the new view at once through a fresh window DC.
void ScrollView(HWND window, WPARAM wParam, bool horizontal) {
  ViewState& v = View();
  const ScrollRequest request = RequestOf(LOWORD(wParam));
  if (request == ScrollRequest::None) return;
  HWND bar = Bar(horizontal);
  int& offset = horizontal ? v.horizontalOffset : v.verticalOffset;
  const int range = horizontal ? v.horizontalRange : v.verticalRange;
  const int thumb = request == ScrollRequest::Thumb ? ThumbPosition(bar, wParam, range) : 0;
  offset = ScrollTo(offset, range, request, thumb);
  if (!horizontal) v.verticalFraction = range > 0 ? static_cast<float>(offset) / static_cast<float>(range) : 1.0f;
  if (bar) SetScrollPos(bar, SB_CTL, offset, TRUE);
  if (!Display().exists()) return;

  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  SelectProgramPalette(dc);
  BlitView(dc);
  if (!horizontal && ImageNarrowerThanView()) DrawMarginLines(dc, v.imageWidth);
  if (Mode().gridOn) {
    DrawGrid(dc, false);
  } else {
    v.gridOnScreen = false;
  }
}

}  // namespace

InfoPanelValues& ShownInfoPanel() { return View().infoPanel; }

bool CreateDisplayBitmap(HWND window, int width, int height) {
  DestroyDisplayBitmap();
  if (width <= 0 || height <= 0) return false;
  PaletteBitmapInfo info{};
  info.header.biSize = sizeof info.header;
  info.header.biWidth = width;
  info.header.biHeight = -height;  // top row first, as the renderer writes it
  info.header.biPlanes = 1;
  info.header.biBitCount = 8;
  info.header.biCompression = BI_RGB;
  info.header.biClrUsed = kColourTableSize;
  ReadColourTable(info.colours);

  WindowDc windowDc(window);
  void* bits = nullptr;
  GdiObject<HBITMAP> bitmap(
      CreateDIBSection(windowDc.get(), reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0));
  MemoryDc dc(windowDc.get());
  if (!bitmap || !bits || !dc) return false;
  DisplayBitmap& d = Display();
  d.bitmap = bitmap.Release();
  d.dc = dc.Release();
  d.previousBitmap = SelectObject(d.dc, d.bitmap);
  SelectProgramPalette(d.dc);
  d.bits = static_cast<uint8_t*>(bits);
  d.width = width;
  d.height = height;
  d.stride = (width + 3) & ~3;
  ++AllocationCount();
  return true;
}

void DestroyDisplayBitmap() {
  // A render's workers may be writing into the bits.
  StopColumnWorkers();
  Display().Destroy();
}

void UpdateDisplayColourTable() {
  const DisplayBitmap& d = Display();
  if (!d.exists()) return;
  RGBQUAD table[kColourTableSize];
  ReadColourTable(table);
  // Drawing through GDI may still be queued against the old table.
  GdiFlush();
  SetDIBColorTable(d.dc, 0, kColourTableSize, table);
}

void DrawMarginLines(HDC dc, int width) {
  const DrawingObjects& o = Drawing();
  SelectedObject pen(dc, o.separatorPen.get());
  MoveToEx(dc, 0, kSeparatorRow, nullptr);
  LineTo(dc, width, kSeparatorRow);
  pen.Select(o.envelopePen.get());
  MoveToEx(dc, 0, kEnvelopeCentreRow, nullptr);
  LineTo(dc, width, kEnvelopeCentreRow);
}

void CopyView(HDC dc) {
  if (!Display().exists()) return;
  BlitView(dc);
  if (ImageNarrowerThanView()) DrawMarginLines(dc, View().imageWidth);
}

void RedrawView(HWND window, bool withGrid) {
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  if (!dc) return;
  SelectProgramPalette(dc);
  if (Display().exists()) {
    BlitView(dc);
  } else {
    FillImageArea(dc);
  }
  if (InScrollDisplay()) DrawMarginLines(dc, View().imageWidth);
  // The "Scope" grid belongs to the scope display, which draws its own.
  if (withGrid && Mode().gridOn && InScrollDisplay()) {
    DrawGrid(dc, false);
  } else {
    View().gridOnScreen = false;
  }
}

LRESULT OnPaint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  const MainWindowState& s = MainWindow();
  if (!s.createDone) {
    EndPaint(window, &paint);
    return 0;
  }
  const DrawingObjects& o = Drawing();
  SelectProgramPalette(dc);
  if (Display().exists()) SelectProgramPalette(Display().dc);
  SelectProgramPalette(o.markerDc);
  SelectProgramPalette(o.cursorDc);

  // The window's size for this FFT size and display type, at its present position.
  const WindowSize fitted = FittedSize(window, true);
  RECT outer;
  GetWindowRect(window, &outer);
  if (fitted.width != outer.right - outer.left || fitted.height != outer.bottom - outer.top) {
    MoveWindow(window, outer.left, outer.top, fitted.width, fitted.height, TRUE);
  }
  PlaceChildren(window);
  UpdateScrollRanges();
  PaintPanel(window, dc);

  const OperatingMode& mode = Mode();
  ViewState& v = View();
  v.gridOnScreen = false;
  if (Display().exists()) {
    CopyView(dc);
  } else {
    FillImageArea(dc);
  }
  if (InScrollDisplay() && !mode.stopRequest) DrawMarginLines(dc, v.imageWidth);
  if (mode.gridOn && Display().exists() && !mode.fileAnalysisInProgress && !mode.audioInputActive) {
    DrawGrid(dc, false);
  }
  EndPaint(window, &paint);
  return 0;
}

LRESULT OnSize(HWND window) {
  const MainWindowState& s = MainWindow();
  // The create step sizes the window before its children exist; a minimised window keeps
  // the size it had.
  if (!s.createDone || IsIconic(window)) return 0;
  ViewState& view = View();
  if (view.fittingWindow) return 0;
  view.fittingWindow = true;
  const WindowSize fitted = FittedSize(window, false);
  RECT outer;
  GetWindowRect(window, &outer);
  const Rect placed = s.keepPosition ? Rect{outer.left, outer.top, fitted.width, fitted.height}
                                     : CentredWindow(s.metrics, fitted.width, fitted.height);
  if (placed.x != outer.left || placed.y != outer.top || placed.width != outer.right - outer.left ||
      placed.height != outer.bottom - outer.top) {
    MoveWindow(window, placed.x, placed.y, placed.width, placed.height, TRUE);
  }
  PlaceChildren(window);
  const OperatingMode& mode = Mode();
  if (Display().exists() && !mode.playbackActive && !mode.rendering && s.playButton) {
    EnableWindow(s.playButton, Analysis().columnCount > View().imageWidth);
  }
  InvalidateRect(window, nullptr, FALSE);
  view.fittingWindow = false;
  return 0;
}

LRESULT OnHorizontalScroll(HWND window, WPARAM wParam) {
  const OperatingMode& mode = Mode();
  if (mode.rendering || mode.playbackActive || !View().horizontallyScrollable) return 0;
  ScrollView(window, wParam, true);
  return 0;
}

LRESULT OnVerticalScroll(HWND window, WPARAM wParam) {
  if (Mode().playbackActive || !View().verticallyScrollable) return 0;
  ScrollView(window, wParam, false);
  return 0;
}


}  // namespace hl
