#include "core/image/bitmap_file.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "core/base/little_endian.h"

namespace hl {

namespace {

constexpr int kColorTableEntries = 256;
constexpr size_t kColorTableOffset = 54;

}  // namespace

bool WriteBitmapHeaders(uint8_t* out, int width, int height, const BitmapColor* colors, int colorCount) {
  if (width <= 0 || height <= 0 || width % 4 != 0) return false;
  const uint64_t imageBytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  const uint64_t fileBytes = kBitmapHeaderLength + imageBytes;
  // bfSize is 32 bits; a larger picture cannot be described by this layout.
  if (fileBytes > 0xFFFFFFFFu) return false;
  std::memset(out, 0, kBitmapHeaderLength);

  // File header.
  out[0] = 'B';
  out[1] = 'M';
  WriteU32(out + 2, static_cast<uint32_t>(fileBytes));
  WriteU16(out + 6, 0);
  WriteU16(out + 8, 0);
  WriteU32(out + 10, static_cast<uint32_t>(kBitmapHeaderLength));

  // Info header. A positive height means the rows are stored bottom-up.
  WriteU32(out + 14, 40);
  WriteU32(out + 18, static_cast<uint32_t>(width));
  WriteU32(out + 22, static_cast<uint32_t>(height));
  WriteU16(out + 26, 1);
  WriteU16(out + 28, 8);
  WriteU32(out + 30, 0);  // BI_RGB
  WriteU32(out + 34, static_cast<uint32_t>(imageBytes));
  WriteU32(out + 38, 0);
  WriteU32(out + 42, 0);
  WriteU32(out + 46, kColorTableEntries);
  WriteU32(out + 50, kColorTableEntries);

  // Colour table; entries past the palette stay zero.
  int entries = colors == nullptr ? 0 : colorCount;
  if (entries < 0) entries = 0;
  if (entries > kColorTableEntries) entries = kColorTableEntries;
  for (int i = 0; i < entries; ++i) {
    uint8_t* entry = out + kColorTableOffset + 4 * static_cast<size_t>(i);
    entry[0] = colors[i].blue;
    entry[1] = colors[i].green;
    entry[2] = colors[i].red;
    entry[3] = 0;
  }
  return true;
}

std::vector<uint8_t> BuildBitmapFile(const uint8_t* pixels, int stride, int width, int height,
                                     const BitmapColor* colors, int colorCount) {
  if (pixels == nullptr || width <= 0 || height <= 0 || width % 4 != 0 || stride < width) {
    return {};
  }
  const uint64_t fileBytes = kBitmapHeaderLength + static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (fileBytes > 0xFFFFFFFFu) return {};

  std::vector<uint8_t> file;
  try {
    file.assign(static_cast<size_t>(fileBytes), 0);
  } catch (const std::bad_alloc&) {
    return {};
  } catch (const std::length_error&) {
    return {};
  }
  uint8_t* out = file.data();
  WriteBitmapHeaders(out, width, height, colors, colorCount);

  // Pixels: the file's first row is the picture's bottom row.
  const size_t rowBytes = static_cast<size_t>(width);
  for (int fileRow = 0; fileRow < height; ++fileRow) {
    const size_t sourceRow = static_cast<size_t>(height - 1 - fileRow);
    std::memcpy(out + kBitmapHeaderLength + fileRow * rowBytes,
                pixels + sourceRow * static_cast<size_t>(stride), rowBytes);
  }
  return file;
}

int ExportWidth(int columns) {
  if (columns <= 0) return 0;
  return columns - columns % 4;
}

}  // namespace hl
