#include "windows/base/handles_win32.h"
#include "windows/view/palette_win32.h"

#include <vector>

#include "windows/base/window_state_win32.h"
#include "windows/view/view_win32.h"

namespace hl {

namespace {

constexpr int kMarkerSize = 16;
constexpr int kMarkerPainted = 15;
constexpr int kCursorWidth = 8;
constexpr int kCursorHeight = 1068;

int SchemeIndex(PaletteScheme scheme) { return static_cast<int>(scheme) - static_cast<int>(PaletteScheme::CB); }

void DeletePens(DrawingObjects& d) {
  for (GdiObject<HPEN>* pen : {&d.shadowPen, &d.envelopePen, &d.separatorPen, &d.floorPen, &d.rampPen}) pen->Reset();
}

void CreatePens(DrawingObjects& d) {
  d.shadowPen.Reset(CreatePen(PS_SOLID, 2, GetSysColor(COLOR_BTNSHADOW)));
  d.envelopePen.Reset(CreatePen(PS_SOLID, 1, PaletteColour(2)));
  d.separatorPen.Reset(CreatePen(PS_SOLID, 1, PaletteColour(1)));
  d.floorPen.Reset(CreatePen(PS_SOLID, 1, PaletteColour(3)));
  d.rampPen.Reset(CreatePen(PS_SOLID, 1, PaletteColour(60)));
}


// The marker: a 15 x 15 square of index 1 with an 11 x 11 cross of index 0 at (5, 5).
void PaintMarker(DrawingObjects& d) {
  SelectPalette(d.markerDc, d.palette, FALSE);
  RealizePalette(d.markerDc);
  FillWithIndex(d.markerDc, kMarkerPainted, kMarkerPainted, 1);
  for (int i = 0; i <= 10; ++i) {
    SetPixel(d.markerDc, 5, i, PaletteColour(0));
    SetPixel(d.markerDc, i, 5, PaletteColour(0));
  }
}

// The playback cursor: columns 0..3 in index 2; column 4 keeps the screen column saved
// from under the one-pixel cursor line.
void PaintCursor(DrawingObjects& d) {
  SelectPalette(d.cursorDc, d.palette, FALSE);
  RealizePalette(d.cursorDc);
  FillWithIndex(d.cursorDc, 4, kCursorHeight, 2);
}

}  // namespace

void FillWithIndex(HDC dc, int right, int bottom, int index) {
  RECT area{0, 0, right, bottom};
  GdiObject<HBRUSH> brush(CreateSolidBrush(PaletteColour(index)));
  FillRect(dc, &area, brush.get());
}


bool CreateDrawingObjects(HWND window, HDC windowDc, int offset) {
  DrawingObjects& d = Drawing();
  for (PaletteScheme scheme : {PaletteScheme::CB, PaletteScheme::CG, PaletteScheme::BW, PaletteScheme::WB}) {
    d.sourceTables[SchemeIndex(scheme)] = BuildSourceTable(scheme);
  }
  std::vector<BYTE> record(sizeof(LOGPALETTE) + (kPaletteSize - 1) * sizeof(PALETTEENTRY));
  LOGPALETTE* logical = reinterpret_cast<LOGPALETTE*>(record.data());
  logical->palVersion = 0x300;
  logical->palNumEntries = kPaletteSize;
  auto entries = PaletteEntries(d.sourceTables[SchemeIndex(d.scheme)], offset);
  for (int i = 0; i < kPaletteSize; ++i) {
    logical->palPalEntry[i] = {entries[i].red, entries[i].green, entries[i].blue, entries[i].flags};
  }
  d.palette = CreatePalette(logical);
  if (!d.palette) return false;
  d.previousPalette = SelectPalette(windowDc, d.palette, FALSE);
  RealizePalette(windowDc);

  d.markerDc = CreateCompatibleDC(windowDc);
  d.markerBitmap = CreateCompatibleBitmap(windowDc, kMarkerSize, kMarkerSize);
  d.cursorDc = CreateCompatibleDC(windowDc);
  d.cursorBitmap = CreateCompatibleBitmap(windowDc, kCursorWidth, kCursorHeight);
  if (!d.markerDc || !d.markerBitmap || !d.cursorDc || !d.cursorBitmap) return false;
  d.markerOldBitmap = SelectObject(d.markerDc, d.markerBitmap);
  d.cursorOldBitmap = SelectObject(d.cursorDc, d.cursorBitmap);
  CreatePens(d);
  LoadPalette(window, offset);
  return true;
}

void LoadPalette(HWND window, int offset) {
  DrawingObjects& d = Drawing();
  if (!d.palette) return;
  d.offset = offset;
  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();
  // Take the palette out of use while its entries change.
  HPALETTE standIn = d.previousPalette ? d.previousPalette : static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
  SelectPalette(dc, standIn, FALSE);
  if (Display().exists()) SelectPalette(Display().dc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
  UnrealizeObject(d.palette);

  auto entries = PaletteEntries(d.sourceTables[SchemeIndex(d.scheme)], offset);
  PALETTEENTRY loaded[kPaletteSize];
  for (int i = 0; i < kPaletteSize; ++i) {
    loaded[i] = {entries[i].red, entries[i].green, entries[i].blue, entries[i].flags};
  }
  SetPaletteEntries(d.palette, 0, kPaletteSize, loaded);

  DeletePens(d);
  CreatePens(d);
  PaintMarker(d);
  PaintCursor(d);

  SelectPalette(dc, d.palette, FALSE);
  RealizePalette(dc);
  if (Display().exists()) {
    SelectPalette(Display().dc, d.palette, FALSE);
    RealizePalette(Display().dc);
  }
  // The image holds palette indices: a new colour table recolours it without recomputing
  // a column. The window shows it at once (the empty image area too, in the new index 3).
  UpdateDisplayColourTable();
  if (MainWindow().createDone && IsWindowVisible(window)) RedrawView(window, true);
}

void DeleteDrawingObjects(HDC windowDc) {
  DrawingObjects& d = Drawing();
  if (d.cursorDc) {
    SelectObject(d.cursorDc, d.cursorOldBitmap);
    DeleteDC(d.cursorDc);
  }
  if (d.cursorBitmap) DeleteObject(d.cursorBitmap);
  if (d.markerDc) {
    SelectObject(d.markerDc, d.markerOldBitmap);
    DeleteDC(d.markerDc);
  }
  if (d.markerBitmap) DeleteObject(d.markerBitmap);
  d.cursorDc = d.markerDc = nullptr;
  d.cursorBitmap = d.markerBitmap = nullptr;
  DeletePens(d);
  if (d.palette) {
    if (windowDc && d.previousPalette) SelectPalette(windowDc, d.previousPalette, FALSE);
    DeleteObject(d.palette);
  }
  d.palette = d.previousPalette = nullptr;
}

}  // namespace hl
