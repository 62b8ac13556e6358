// A small bitmap font of our own for writing into palette images: 5 x 7 pixel glyphs in a
// 6-pixel advance, digits, both cases of the Latin letters and the punctuation the axes and
// titles need. A character the font lacks is drawn as "?".
#pragma once

#include <string>

#include "core/image/palette_image.h"

namespace hl {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = 6;

// Width in pixels of `text` drawn at `scale` (the last glyph's spacing column left out).
int TextWidth(const std::string& text, int scale = 1);

// Draws `text` with its top left corner at (x, y) in palette index `index`, each glyph pixel
// a `scale` x `scale` square; only the glyphs' set pixels are written, clipped to the image.
void DrawText(PaletteImage& image, int x, int y, const std::string& text, uint8_t index, int scale = 1);

}  // namespace hl
