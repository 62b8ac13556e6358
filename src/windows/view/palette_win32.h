// The program's logical palette and the drawing objects that depend on it.
#pragma once

#include <windows.h>

#include <array>

#include "windows/base/gdi_objects_win32.h"
#include "core/image/palette.h"

namespace hl {

struct DrawingObjects {
  HPALETTE palette = nullptr;
  HPALETTE previousPalette = nullptr;  // the window DC's palette before ours was selected
  std::array<std::array<PaletteEntry, kSourceTableSize>, 4> sourceTables{};  // CB, CG, BW, WB
  PaletteScheme scheme = PaletteScheme::CB;
  int offset = 72;  // a = 2 (36 - attenuation)
  GdiObject<HPEN> shadowPen;     // 2 pixels, the system's button-shadow colour
  GdiObject<HPEN> envelopePen;   // palette index 2
  GdiObject<HPEN> separatorPen;  // palette index 1
  GdiObject<HPEN> floorPen;      // palette index 3
  GdiObject<HPEN> rampPen;       // palette index 60
  HDC markerDc = nullptr;       // 16 x 16 cross-hair marker
  HBITMAP markerBitmap = nullptr;
  HGDIOBJ markerOldBitmap = nullptr;
  HDC cursorDc = nullptr;       // 8 x 1068 playback cursor
  HBITMAP cursorBitmap = nullptr;
  HGDIOBJ cursorOldBitmap = nullptr;
};

DrawingObjects& Drawing();

// Builds the source tables and the 236-entry logical palette, selects and realises it in
// `windowDc`, creates the marker and cursor bitmaps, and loads the palette for `offset`.
// Returns false when a GDI object could not be created.
bool CreateDrawingObjects(HWND window, HDC windowDc, int offset);

// Loads the current scheme's entries a .. a + 235 (entries 0..3 fixed) into the palette,
// rebuilds the pens, repaints the marker and cursor bitmaps, and recolours the image.
void LoadPalette(HWND window, int offset);

// Deletes everything CreateDrawingObjects made, deselecting the palette from `windowDc`.
void DeleteDrawingObjects(HDC windowDc);

// The device colour a palette index stands for: a palette-relative colour.
inline COLORREF PaletteColour(int index) { return PALETTEINDEX(index); }

// Fills the rectangle from (0, 0) to (right, bottom) of `dc` with palette index `index`.
void FillWithIndex(HDC dc, int right, int bottom, int index);

}  // namespace hl
