// Annotations written into an exported picture of palette indices, for files that must
// explain themselves without the window around them:
// - the grid of crosses with its second and kHz labels, laid out by ComputeGrid exactly as
//   the window's "&Entire Bitmap" export lays it out, the labels in our bitmap font;
// - axes: the picture set in a margin with a time axis below, a frequency axis in kHz on the
//   left, a colour bar in dB on the right and a title line on top.
// Everything is drawn in palette index 0 (the marker colour) on index 3 (the floor colour),
// the pair every colour scheme keeps apart.
#pragma once

#include <cstdint>
#include <string>

#include "core/layout/grid_layout.h"
#include "core/image/palette_image.h"

namespace hl {

// The font metrics the grid is laid out with: those of the window's system font, so that the
// crosses land where the program puts them.
constexpr int kGridCharWidth = 8;
constexpr int kGridCharHeight = 16;

// The grid over a whole export picture (the entire bitmap from its first column). Like the
// program's, it is laid out over the analysis's `columns`, of which the picture keeps every
// whole group of four.
GridInputs WholePictureGrid(const PaletteImage& picture, int columns, float timeScaleMs, float imageStartMs,
                            int32_t sampleRate, int fftOrder);

// Draws the crosses (the marker's 11-pixel bars) and the labels of `grid` into `picture`.
void DrawGridInto(PaletteImage& picture, const GridLayout& grid);

struct AxesInputs {
  float timeScaleMs = 12.0f;   // ms per column
  float imageStartMs = 0.0f;   // time of column 0
  int32_t sampleRate = 11025;
  int fftOrder = 9;
  int16_t correction = 0;      // the renderer's window correction c
  std::string title;
};

// Level in dB below a full-scale component (level 393 reads 0 dB, 4 level units per dB) of
// the level that palette index `index` shows: index = level + c - 100.
double IndexToDb(int index, int16_t correction);

// Picture with axes, `framed` allocated here; its width is a multiple of 4 so that it can be
// saved as a BMP too. The plot area is `picture` unchanged, at (plotX, plotY).
struct AxesPicture {
  PaletteImage image;
  int plotX = 0, plotY = 0;
};
bool ComposeWithAxes(const PaletteImage& picture, const AxesInputs& in, AxesPicture& framed);

}  // namespace hl
