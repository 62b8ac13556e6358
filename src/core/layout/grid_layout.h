// Where the grid of crosses and its labels go over the time–frequency image, and what the
// information panel below the image says. Pure arithmetic: the window code draws the
// result with the marker bitmap and TextOut.
//
// The grid marks time every T ms (one second up to 19 ms per column, two from 20, ...)
// and frequency every 1000 K Hz (K = sample rate / 11025, at least 1). Each mark is an
// 11-pixel cross; the second labels sit in the 44-row margin, the kHz labels once at the
// right edge of the view. Float quantities are binary32 with every operation rounded to
// single precision, as the window code has always drawn them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/layout/window_layout.h"

namespace hl {

struct GridInputs {
  bool scopeDisplay = false;  // "Scope" draws its own grid; this one draws nothing there
  bool bitmapExists = false;  // nothing to mark before an image exists
  bool wholeBitmap = false;   // over the whole bitmap from its first column, not the window's view
  float timeScaleMs = 12.0f;  // ts: ms per column
  float imageStartMs = 0.0f;  // time of the image's first column
  int horizontalPosition = 0;  // first column shown (window only)
  int32_t sampleRate = 11025;
  int fftOrder = 9;             // N = 2^order
  int verticalOffset = 0;       // first frequency row shown below the margin (window only)
  bool verticalScrollOn = false;  // set for 1024 and 2048 points
  int width = 0, height = 0;      // W, H: the image area, or the whole bitmap
  int charWidth = 8, charHeight = 16;  // cw, ch of the window's font
};

struct GridPoint {
  int x, y;
  bool operator==(const GridPoint& o) const { return x == o.x && y == o.y; }
};

struct GridLabel {
  int x, y;  // TextOut position
  std::string text;
  bool operator==(const GridLabel& o) const { return x == o.x && y == o.y && text == o.text; }
};

// The tick arithmetic, kept for the tests and for anyone who wants to read positions off
// the image.
struct GridTicks {
  float t0 = 0;            // start column, in columns (fractional)
  int timeSpacingMs = 0;   // T
  int frequencyStep = 0;   // K: ticks every 1000 K Hz
  int timeTicks = 0;       // nT
  float columnsPerTick = 0;  // P
  int firstTick = 0;         // k0: the first tick is at k0 x T ms
  int firstX = 0;
  float hzPerRow = 0;        // F
  float bottomBin = 0;       // Y0: the bin of the view's bottom row (0 over the whole bitmap)
  float ticksPerRow = 0;     // q
  int frequencyTicks = 0;    // nF
  float rowsPerTick = 0;     // R
  int firstOffset = 0;       // rows of the first frequency tick above the bottom edge
};

struct GridLayout {
  GridTicks ticks;
  std::vector<GridPoint> crosses;  // centres of the 11 x 11 crosses, in drawing order
  std::vector<GridLabel> labels;   // second labels and kHz labels, in drawing order
};

// K, the frequency ticks' spacing in kHz: sample rate / 11025, at least 1, as it has always
// been up to 55124 Hz (1 to 4, some five or six ticks over the band). Beyond, the quotient is
// cut down to 5, 10, 20 or 25, so the wider bands of 48 to 384 kHz files are marked at round
// kHz values, five to nine ticks over the band, and no label runs past three digits.
int FrequencyTickStep(int32_t sampleRate);

// Nothing at all (no ticks, no crosses, no labels) in "Scope" or before an image exists.
GridLayout ComputeGrid(const GridInputs& in);

// A non-negative float rounded to the nearest integer, a fraction of exactly one half going
// up. Exact for every float: adding 0.5f and truncating would send 0.49999997f to 1.
int64_t RoundHalfUp(float value);

// The information panel: a sunken 29 x 4 character box with three rows of label and value.
struct InfoPanelLayout {
  int x, y;               // top left of the box
  int width, height;      // 29 cw (or what the measured texts need) by 4 ch
  int labelX, valueX;     // x + cw, x + 17 cw (or half a character after the widest label)
  int rowY[3];            // y + ch/2 + row x ch
  const char* labels[3];  // "Resolution :", "Sample Rate :", "Sample Length :"
  std::string values[3];  // "%-4u bits", "%-4u kHz" (rate / 1000), "%-4u kb" (bytes / 1000)
};

// `windowWidth` is the window's width as fitted, `imageHeight` the image area's height. With
// `measured` widths the values stand half a character after the widest label when that is
// further than 17 cw, and the box is as wide as the widest value then needs plus cw; the box
// starts at `leftLimit` when that is right of its own place.
InfoPanelLayout ComputeInfoPanel(int windowWidth, int imageHeight, int charWidth, int charHeight,
                                 uint32_t sampleRate, uint32_t bitsPerSample, uint32_t dataLength,
                                 const TextWidths& measured = TextWidths(), int leftLimit = 0);

// The third row's value while a scan records: "%-6u kb".
std::string RecordedLengthText(uint32_t kb);

// The panel where the window draws it: measured, and a character clear of the end of the
// status block to its left (ComputeStatusBlock with the same widths), so that neither covers
// the other.
InfoPanelLayout PlaceInfoPanel(int windowWidth, int imageHeight, int scrollBarThickness, int charWidth,
                               int charHeight, const TextWidths& measured, uint32_t sampleRate,
                               uint32_t bitsPerSample, uint32_t dataLength);

}  // namespace hl
