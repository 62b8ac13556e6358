// libFuzzer target over the BMP writer's size checks: any width, height, stride and colour
// count, with a pixel block only as large as the input. The geometry is taken from the input
// first; sizes whose pixels the input cannot hold are checked by the headers alone.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/image/bitmap_file.h"
#include "fuzz_input.h"

namespace {

void Require(bool holds, const char* what) { hl_fuzz::Require(holds, "bitmap writer", what); }

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hl_fuzz::Input in(data, size);
  const int32_t width = in.Take<int32_t>();
  const int32_t height = in.Take<int32_t>();
  const int32_t stride = in.Take<int32_t>();
  const int32_t colorCount = in.Take<int32_t>();
  hl::BitmapColor colors[256] = {};

  const bool valid = width > 0 && height > 0 && width % 4 == 0 &&
                     hl::kBitmapHeaderLength + static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <=
                         0xFFFFFFFFu;
  uint8_t header[hl::kBitmapHeaderLength] = {};
  const bool wrote = hl::WriteBitmapHeaders(header, width, height, colors, colorCount);
  Require(wrote == valid, "headers exactly for a size the 32-bit fields hold");
  if (wrote) {
    Require(header[0] == 'B' && header[1] == 'M', "BM");
    Require(U32(header + 2) == hl::kBitmapHeaderLength + static_cast<uint64_t>(width) * height, "file size");
    Require(U32(header + 10) == hl::kBitmapHeaderLength, "pixels after the colour table");
  }

  // A whole file only where the input's remaining bytes hold the pixels.
  const uint64_t need = stride > 0 && height > 0
                            ? static_cast<uint64_t>(stride) * static_cast<uint64_t>(height - 1) +
                                  static_cast<uint64_t>(width > 0 ? width : 0)
                            : 0;
  if (need == 0 || need > in.RestSize()) return 0;
  const std::vector<uint8_t> file = hl::BuildBitmapFile(in.Rest(), stride, width, height, colors, colorCount);
  const bool built = valid && stride >= width;
  Require(file.empty() == !built, "a file exactly for a valid call");
  if (built) {
    Require(file.size() == hl::kBitmapHeaderLength + static_cast<size_t>(width) * height, "header and pixels");
    // The file's first row is the picture's bottom row.
    Require(file[hl::kBitmapHeaderLength] == in.Rest()[static_cast<size_t>(stride) * (height - 1)],
            "bottom row first");
  }
  return 0;
}
