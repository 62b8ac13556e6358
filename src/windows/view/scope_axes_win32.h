// The axes and the grid of the "Scope" display: a 512-pixel-wide spectrum of 256 bins, two
// pixels per bin, standing on a baseline, with kHz labels under the baseline and level labels
// (-75 .. -15 dB, 60 pixels per 15 dB) to its left.
//
// The scan that draws the "Scope" display places it with ScopeOriginX / ScopeBaselineY of
// core/layout/readout.h (x0 = (image width - 512) / 2, at least 9 C / 2; baseline = image height
// - 2 character heights) and passes the same two values here.
#pragma once

#include <windows.h>

#include <cstdint>

#include "windows/view/view_win32.h"

namespace hl {

// The frequency labels below the baseline, "kHz" at the right end, and the five level labels,
// in palette index 0 on palette index 3, opaque. `dc` is the window DC or the display
// bitmap's memory DC, with the program palette selected. `charWidth` and `charHeight` are the
// window font's (MainWindow().metrics). Also remembers x0 and the baseline for the level and
// frequency readouts of the "Scope" display.
void DrawScopeAxes(HDC dc, int xOrigin, int baselineY, uint32_t sampleRate, int charWidth, int charHeight);

// The grid of crosses at the label positions, copied piecewise from the marker bitmap. Draws
// nothing when the grid is off (Mode().gridOn) or in the "Scroll" display type.
void DrawScopeGrid(HDC dc, int xOrigin, int baselineY, uint32_t sampleRate);

// Where DrawScopeAxes last put the "Scope" display (View().scope).
const ScopePlacement& ShownScope();

}  // namespace hl
