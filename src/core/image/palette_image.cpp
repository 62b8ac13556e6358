#include "core/image/palette_image.h"

#include <algorithm>
#include <new>

namespace hl {

bool PrepareImage(PaletteImage& image, int width, int height) {
  if (!AllocateImage(image, width, height)) return false;
  ClearImage(image);
  return true;
}

bool AllocateImage(PaletteImage& image, int width, int height) {
  if (width <= 0 || height <= kMarginRows) return false;
  // In a 32-bit process the product can pass what size_t holds and wrap to a small buffer.
  const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (bytes > SIZE_MAX) return false;
  image.pixels.clear();
  image.pixels.shrink_to_fit();
  try {
    image.pixels.resize(static_cast<size_t>(bytes));
  } catch (const std::bad_alloc&) {
    image = PaletteImage();
    return false;
  }
  image.width = width;
  image.height = height;
  image.stride = width;
  image.data = image.pixels.data();
  return true;
}

PaletteImage ImageOver(uint8_t* data, int width, int height, int stride) {
  PaletteImage image;
  image.width = width;
  image.height = height;
  image.stride = stride;
  image.data = data;
  return image;
}

void ClearImage(PaletteImage& image) { ClearColumns(image, 0, image.width); }

void ClearColumns(PaletteImage& image, int first, int count) {
  const int begin = std::max(first, 0);
  const int end = std::min(first + count, image.width);
  if (begin >= end) return;
  for (int y = 0; y < image.height; ++y) std::fill(image.Row(y) + begin, image.Row(y) + end, kIndexFloor);
  if (image.height > kSeparatorRow) {
    std::fill(image.Row(kSeparatorRow) + begin, image.Row(kSeparatorRow) + end, kIndexSeparator);
    std::fill(image.Row(kEnvelopeCentreRow) + begin, image.Row(kEnvelopeCentreRow) + end, kIndexEnvelope);
  }
}

}  // namespace hl
