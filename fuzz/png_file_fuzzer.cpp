// libFuzzer target over the PNG writer's checks: any width, height, stride, colour count, tEXt
// entry and thread count, with a pixel block only as large as the input. A file is written exactly for
// a valid call, and inflating its IDAT stream gives back every row's palette indices.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/image/png_file.h"
#include "fuzz_input.h"

namespace {

void Require(bool holds, const char* what) { hl_fuzz::Require(holds, "png writer", what); }

uint32_t Big32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}

// The rule the writer must apply: 1..79 printable Latin-1 characters, no leading, trailing
// or doubled space.
bool KeywordAllowed(const std::string& k) {
  if (k.empty() || k.size() > 79 || k.front() == ' ' || k.back() == ' ') return false;
  for (size_t i = 0; i < k.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(k[i]);
    if (!((c >= 32 && c <= 126) || c >= 161)) return false;
    if (c == ' ' && i > 0 && k[i - 1] == ' ') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hl_fuzz::Input in(data, size);
  // Small sizes mostly, so that the pixels fit the input; the sign bits still reach the checks.
  const int32_t width = in.Take<int16_t>();
  const int32_t height = in.Take<int16_t>();
  const int32_t stride = width + in.Take<int8_t>();
  const int32_t colorCount = in.Take<int16_t>();
  const uint8_t keywordLength = in.Take<uint8_t>() % 96;
  const uint8_t textLength = in.Take<uint8_t>() % 16;
  const int threads = 1 + in.Take<uint8_t>() % 4;
  std::string keyword, text;
  for (int i = 0; i < keywordLength; ++i) keyword.push_back(static_cast<char>(in.Take<uint8_t>()));
  for (int i = 0; i < textLength; ++i) text.push_back(static_cast<char>(in.Take<uint8_t>()));
  const std::vector<hl::PngText> texts{{keyword, text}};
  hl::BitmapColor colors[256] = {};

  const uint64_t need = stride > 0 && height > 0
                            ? static_cast<uint64_t>(stride) * static_cast<uint64_t>(height - 1) +
                                  static_cast<uint64_t>(width > 0 ? width : 0)
                            : 0;
  if (need == 0 || need > in.RestSize()) return 0;
  const uint8_t* pixels = in.Rest();
  const std::vector<uint8_t> file = hl::BuildPngFile(pixels, stride, width, height, colors, colorCount, texts, threads);
  const bool valid = width > 0 && height > 0 && stride >= width && KeywordAllowed(keyword) &&
                     text.find('\0') == std::string::npos;
  Require(file.empty() == !valid, "a file exactly for a valid call");
  if (!valid) return 0;

  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  Require(file.size() > 8 + 25 && std::equal(kSignature, kSignature + 8, file.begin()), "the signature");
  Require(Big32(&file[16]) == static_cast<uint32_t>(width) && Big32(&file[20]) == static_cast<uint32_t>(height),
          "IHDR holds the size");
  // Walk the chunks, checking each length and CRC, and gather the IDAT stream.
  std::vector<uint8_t> stream;
  size_t at = 8;
  bool ended = false;
  while (at + 12 <= file.size()) {
    const uint32_t length = Big32(&file[at]);
    Require(at + 12 + length <= file.size(), "a chunk lies inside the file");
    Require(Big32(&file[at + 8 + length]) == hl::PngChunkCrc(&file[at + 4], length + 4), "chunk CRC");
    const std::string type(reinterpret_cast<const char*>(&file[at + 4]), 4);
    if (type == "IDAT") stream.insert(stream.end(), &file[at + 8], &file[at + 8] + length);
    at += 12 + length;
    if (type == "IEND") {
      ended = true;
      break;
    }
  }
  Require(ended && at == file.size(), "IEND ends the file");
  const size_t rowBytes = static_cast<size_t>(width) + 1;
  std::vector<uint8_t> raw(rowBytes * static_cast<size_t>(height) + 1);
  uLongf rawLength = static_cast<uLongf>(raw.size());
  Require(uncompress(raw.data(), &rawLength, stream.data(), static_cast<uLong>(stream.size())) == Z_OK,
          "IDAT inflates");
  Require(rawLength == rowBytes * static_cast<size_t>(height), "one filter byte and width indices per row");
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = raw.data() + static_cast<size_t>(y) * rowBytes;
    Require(row[0] == 0, "filter type 0");
    Require(std::equal(row + 1, row + rowBytes, pixels + static_cast<size_t>(y) * stride), "the rows' indices");
  }
  return 0;
}
