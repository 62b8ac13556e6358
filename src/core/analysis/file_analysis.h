// Decisions of "&Analyze File" and "&Change" that are plain arithmetic: the order of the
// re-analysis checks, whether a span and its image fit the memory budget, the window
// height an FFT size asks for, which columns the renderer copies to the screen, and the
// data length left by a render that was stopped early.
#pragma once

#include <cstdint>

#include "core/analysis/column_geometry.h"
#include "core/base/messages.h"

namespace hl {

// Plans a re-analysis ("&Change") of the data shown, `req.dataLength` bytes, checked in
// this order, the first failure winning:
//  1. begin at or beyond the data's end, a negative begin or end, or an end not after
//     the begin: ImproperBeginOrEnd (an end that reaches the data's end is taken as it);
//  2. a sample rate outside 4000..44100 Hz that is not the file's own rate `fileRate`
//     (CheckFileRate): SampleRateOutOfRange;
//  3. time scale outside 1.0..500.0 ms: TimeScaleOutOfRange;
//  4. window below 1.0 ms: FftWindowTooSmall;
//  5. fewer than 2048 bytes: SampleSizeTooSmall;
//  then the column geometry as for a new file (ImproperEntry, TimeScaleTooSmall).
// The offsets, byte count and end of the result are those PlanColumns gives.
ColumnGeometry PlanReanalysis(const SpanRequest& req, uint32_t fileRate = 0);

// Memory check 1: the selected bytes alone are more than the budget.
bool SpanExceedsBudget(uint32_t byteCount, uint64_t budget);

// Width of the display bitmap: the column count, but never narrower than the screen.
int DisplayBitmapWidth(int32_t columnCount, int screenWidth);

// Memory check 2: the display bitmap (one byte per pixel) and the samples together are
// more than the budget. Computed in 64 bits.
bool ImageExceedsBudget(int bitmapHeight, int bitmapWidth, uint32_t byteCount, uint64_t budget);

// Window height an FFT size asks for: the default height plus N / 2 - 256 (256 more for
// 1024 points, 768 more for 2048), but not above the window's current height and not below
// the default height.
int PreferredWindowHeight(int defaultHeight, int currentHeight, int fftOrder);
// Top of a window of `height` centred on a screen `screenHeight` high (may be negative;
// the window layout keeps it on screen).
int CentredTop(int screenHeight, int height);

// What the renderer copies to the screen after drawing column x: every fourth column the
// four columns before it at their own place while they fit in the image area; beyond it
// the newest `imageWidth` columns at the left edge, with the horizontal scroll position
// following them. Column 0 copies nothing.
struct ScreenUpdate {
  bool copy = false;
  int sourceX = 0;  // first bitmap column copied
  int destX = 0;    // where it lands in the image area
  int width = 0;    // columns copied
  bool scroll = false;
  int scrollPosition = 0;  // the new horizontal scroll position when `scroll`
};
ScreenUpdate ScreenUpdateAt(int x, int imageWidth);

// The screen updates due while columns firstX..lastX were drawn in one go, as one copy that
// leaves the image area and the scroll position exactly as the updates of ScreenUpdateAt for
// each of those columns in turn would. (Nothing reaches the screen between them, so the
// updates in between would never be seen.) No copy when none of them is due.
ScreenUpdate ScreenUpdateForColumns(int firstX, int lastX, int imageWidth);

// The data length of an analysis stopped after drawing `drawnColumns` (last column + 1)
// of `plannedColumns`: trunc(dataLength / plannedColumns x drawnColumns), the quotient in
// extended precision. A run that drew every planned column keeps its data length whole.
// A planned count of 0 or less leaves the data length as it is.
uint32_t ScaledDataLength(uint32_t dataLength, int32_t plannedColumns, int32_t drawnColumns);

}  // namespace hl
