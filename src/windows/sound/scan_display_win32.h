// Drawing the columns of a running scan: the "Scroll" display straight onto the window and
// the "Scope" display through the display bitmap. The live scan, the recording and the file
// scan all draw through these, so the three look the same.
//
// Every function takes the window's DC with the program palette selected and realised; the
// pixels are palette indices, so a change of colours during a scan recolours what follows.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/sound/capture.h"

namespace hl {

// --- Before the loop ---------------------------------------------------------------------

// Clears the image area for a "Scroll" scan: palette index 3, with the separator row 43
// (index 1) and the centre row 21 (index 2) across the image-area width.
void ClearScrollDisplay(HWND window, HDC dc);

// Prepares the "Scope" display: colour scheme "CB" at attenuation 0, a display bitmap of the
// image area's size filled with palette index 3 and copied to the window. False when the
// bitmap could not be made (nothing is held then).
bool PrepareScopeDisplay(HWND window, HDC dc);

// Where the Scope bars stand in the image area now (font and image-area size).
ScopeGeometry CurrentScopeGeometry();

// Draws the Scope axes' labels around `g` into the display bitmap and copies the image area
// to the window. The labels are for the scan's rate: Capture().sampleRate while sound input
// runs, else Analysis().format.sampleRate (a file scan's).
void DrawScopeFrameAxes(HWND window, HDC dc, const ScopeGeometry& g);

// Sets the main window's style for a display type: "Scope" fixed-size (caption, system menu,
// minimise box), "Scroll" the overlapped window again; shows the window and keeps
// Capture().scopeStyle in step. Nothing happens when the style is already right.
void SetScopeWindowStyle(HWND window, bool scope);

// --- One column ------------------------------------------------------------------------------

// "Scroll": draws the 256 levels and the envelope-strip line of one column at the cursor's
// window column, scrolls the window 4 pixels left once the image area is full and a group of
// four is complete, and on every fourth column refreshes the recorded length in the panel
// and, with `refreshReadout`, the elapsed-time readout. Advances the cursor.
void DrawScrollColumn(HWND window, HDC dc, ScrollCursor& cursor, const int16_t* levels, const Peak& peak,
                      bool refreshReadout);

// A fixed-length recording: draws column `x` into the display bitmap and, every fourth
// column, copies the newest columns to the window (scrolling the view once the image is
// wider than the image area).
void DrawRecordedColumn(HWND window, HDC dc, int32_t x, const int16_t* levels, const Peak& peak);

// "Scope": pushes `levels` into the history, draws the averaged bars (and the Scope grid
// when the grid is on) into the display bitmap, copies the image area to the window and
// refreshes the recorded length.
void DrawScopeColumn(HWND window, HDC dc, ScopeHistory& history, const int16_t* levels, const ScopeGeometry& g);

// --- The panel -------------------------------------------------------------------------------

// The information panel's length row during a scan: bytes captured by the clock (channels x
// bytes per sample x rate x elapsed ms / 1,000,000, in kb), 0 for a scan that writes nothing.
void DrawRecordedLength(HWND window);

}  // namespace hl
