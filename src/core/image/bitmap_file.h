// The 8-bit BMP file the bitmap export writes: a 14-byte file header, a 40-byte info header,
// a 256-entry colour table and one palette index per pixel, rows stored bottom-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hl {

// 14 + 40 + 256 × 4: the pixels start here.
constexpr size_t kBitmapHeaderLength = 1078;

struct BitmapColor {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

// Writes the 1078 bytes of file header, info header and colour table for a W x H picture
// (the same headers BuildBitmapFile writes), for a caller that writes the rows itself,
// bottom row first. False, and nothing written, when width is not a positive multiple of 4,
// height is not positive, or the file would not fit the 32-bit size field.
bool WriteBitmapHeaders(uint8_t* out, int width, int height, const BitmapColor* colors, int colorCount);

// Builds the whole file in memory, ready for one write.
// `pixels` holds palette indices, top row first, rows `stride` bytes apart (stride >= width).
// `colors` gives the first `colorCount` entries of the colour table (written blue, green,
// red, 0); the entries from colorCount to 255 are zero. colorCount is taken as 0..256.
// Contract: width is a multiple of 4 (so rows need no padding and the pixel block is exactly
// width × height bytes) and height > 0. A call outside it - width <= 0, width % 4 != 0,
// height <= 0, stride < width, no pixels, or a file too large for the 32-bit size field -
// returns an empty vector, as does a failed allocation: the caller must check for it.
std::vector<uint8_t> BuildBitmapFile(const uint8_t* pixels, int stride, int width, int height,
                                     const BitmapColor* colors, int colorCount);

// Columns an export can hold: `columns` cut down to a multiple of 4; 0 for none.
int ExportWidth(int columns);

}  // namespace hl
