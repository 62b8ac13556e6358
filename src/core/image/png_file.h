// The 8-bit palette PNG the image export writes beside the BMP: the same palette indices,
// top row first, with the palette as PLTE and the analysis parameters as tEXt chunks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/image/bitmap_file.h"

namespace hl {

// One tEXt chunk. The keyword is 1..79 printable Latin-1 characters; the text has no NUL.
struct PngText {
  std::string keyword;
  std::string text;
};

// The CRC-32 every chunk ends with, over its type and data.
uint32_t PngChunkCrc(const uint8_t* typeAndData, size_t length);

// Builds the whole file in memory. `pixels` holds palette indices, top row first, rows
// `stride` bytes apart. The palette is the first `colorCount` entries of `colors`, padded
// with black to 256 entries exactly as the BMP's colour table is, so that a reader sees the
// same table in both files. The rows are compressed in bands on up to `threads` threads
// (the calling one among them); the bands depend on the width alone, so the file's bytes
// are the same for every thread count. Returns an empty vector when width or height is not
// positive, stride < width, a text entry is not valid, or memory or the compressor fails:
// the caller must check for it.
std::vector<uint8_t> BuildPngFile(const uint8_t* pixels, int stride, int width, int height,
                                  const BitmapColor* colors, int colorCount,
                                  const std::vector<PngText>& texts, int threads = 1);

// The rows one compressed band holds for an image of this width (at least one).
int PngBandRows(int width);

}  // namespace hl
