#include "core/image/png_file.h"
#include "core/export/image_texts.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <string>
#include <vector>

namespace hl {
namespace {

uint32_t Big32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

struct Chunk {
  std::string type;
  std::vector<uint8_t> data;
};

// Splits a file into its chunks, checking the signature and every CRC on the way.
std::vector<Chunk> Chunks(const std::vector<uint8_t>& file) {
  std::vector<Chunk> out;
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_TRUE(file.size() >= 8 && std::equal(kSignature, kSignature + 8, file.begin()));
  for (size_t at = 8; at + 12 <= file.size();) {
    const uint32_t length = Big32(&file[at]);
    EXPECT_LE(at + 12 + length, file.size());
    const uint32_t crc = static_cast<uint32_t>(crc32(0, &file[at + 4], length + 4));
    EXPECT_EQ(Big32(&file[at + 8 + length]), crc);
    out.push_back({std::string(file.begin() + at + 4, file.begin() + at + 8),
                   std::vector<uint8_t>(file.begin() + at + 8, file.begin() + at + 8 + length)});
    at += 12 + length;
  }
  return out;
}

TEST(PngFile, IndicesPaletteAndTextReadBack) {
  const int width = 37, height = 5, stride = 40;
  std::vector<uint8_t> pixels(stride * height, 0xEE);  // the stride's padding must not leak in
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels[y * stride + x] = static_cast<uint8_t>((x * 7 + y * 13) % 236);
  std::vector<BitmapColor> colors(236);
  for (int i = 0; i < 236; ++i) colors[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7};
  const std::vector<PngText> texts = {{"FFT size", "512"}, {"Software", "Harrowlight 3.2.1"}};
  const std::vector<uint8_t> file = BuildPngFile(pixels.data(), stride, width, height, colors.data(), 236, texts);
  const std::vector<Chunk> chunks = Chunks(file);
  ASSERT_GE(chunks.size(), 6u);
  EXPECT_EQ(chunks.front().type, "IHDR");
  EXPECT_EQ(chunks.back().type, "IEND");
  const std::vector<uint8_t>& ihdr = chunks[0].data;
  EXPECT_EQ(Big32(&ihdr[0]), 37u);
  EXPECT_EQ(Big32(&ihdr[4]), 5u);
  EXPECT_EQ(ihdr[8], 8);  // bit depth
  EXPECT_EQ(ihdr[9], 3);  // palette
  std::vector<uint8_t> stream;
  std::map<std::string, std::string> text;
  for (const Chunk& c : chunks) {
    if (c.type == "PLTE") {
      ASSERT_EQ(c.data.size(), 768u);  // padded to 256 entries like the BMP's colour table
      EXPECT_EQ(c.data[3 * 200], 200);
      EXPECT_EQ(c.data[3 * 200 + 1], 55);
      EXPECT_EQ(c.data[3 * 200 + 2], 7);
      EXPECT_EQ(c.data[3 * 240], 0);
    } else if (c.type == "tEXt") {
      const auto nul = std::find(c.data.begin(), c.data.end(), 0);
      text[std::string(c.data.begin(), nul)] = std::string(nul + 1, c.data.end());
    } else if (c.type == "IDAT") {
      stream.insert(stream.end(), c.data.begin(), c.data.end());
    }
  }
  EXPECT_EQ(text.at("FFT size"), "512");
  EXPECT_EQ(text.at("Software"), "Harrowlight 3.2.1");
  std::vector<uint8_t> raw(static_cast<size_t>(height) * (width + 1));
  uLongf rawLength = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &rawLength, stream.data(), stream.size()), Z_OK);
  ASSERT_EQ(rawLength, raw.size());
  for (int y = 0; y < height; ++y) {
    EXPECT_EQ(raw[y * (width + 1)], 0);  // filter type none
    for (int x = 0; x < width; ++x) ASSERT_EQ(raw[y * (width + 1) + 1 + x], pixels[y * stride + x]);
  }
}

// Bands compressed apart must join into one zlib stream whose checksum covers every row,
// and must not depend on how many threads compressed them.
TEST(PngFile, BandsOnSeveralThreadsInflateToTheSameIndices) {
  const int width = 1001, height = 3 * PngBandRows(width) + 7, stride = 1004;
  std::vector<uint8_t> pixels(static_cast<size_t>(stride) * height);
  uint32_t noise = 1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      // Runs longer than one match (258) beside short ones and noise.
      pixels[static_cast<size_t>(y) * stride + x] = x % 400 < 261 || x % 7 == 0 ? 235 : static_cast<uint8_t>(noise >> 29);
    }
  const BitmapColor color{1, 2, 3};
  const std::vector<uint8_t> file = BuildPngFile(pixels.data(), stride, width, height, &color, 1, {}, 3);
  EXPECT_EQ(file, BuildPngFile(pixels.data(), stride, width, height, &color, 1, {}, 1));
  std::vector<uint8_t> stream;
  for (const Chunk& c : Chunks(file))
    if (c.type == "IDAT") stream.insert(stream.end(), c.data.begin(), c.data.end());
  std::vector<uint8_t> raw(static_cast<size_t>(height) * (width + 1) + 1);
  uLongf rawLength = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &rawLength, stream.data(), stream.size()), Z_OK);  // checks the Adler-32
  ASSERT_EQ(rawLength, raw.size() - 1);
  for (int y = 0; y < height; ++y) {
    ASSERT_EQ(raw[y * (width + 1)], 0) << "row " << y;
    ASSERT_TRUE(std::equal(pixels.begin() + static_cast<size_t>(y) * stride,
                           pixels.begin() + static_cast<size_t>(y) * stride + width, raw.begin() + y * (width + 1) + 1))
        << "row " << y;
  }
}

TEST(PngFile, RefusesWhatCannotBeWritten) {
  const uint8_t pixels[8] = {};
  const BitmapColor color{1, 2, 3};
  EXPECT_TRUE(BuildPngFile(pixels, 4, 0, 2, &color, 1, {}).empty());
  EXPECT_TRUE(BuildPngFile(pixels, 3, 4, 2, &color, 1, {}).empty());
  EXPECT_TRUE(BuildPngFile(pixels, 4, 4, 2, &color, 1, {{"", "x"}}).empty());
  EXPECT_TRUE(BuildPngFile(pixels, 4, 4, 2, &color, 1, {{"two  spaces", "x"}}).empty());
  EXPECT_FALSE(BuildPngFile(pixels, 4, 4, 2, &color, 1, {{"Title", "x"}}).empty());
}

}  // namespace
}  // namespace hl

namespace hl {
namespace {

TEST(ImageTexts, FormatByExtensionThenByFilter) {
  EXPECT_EQ(ImageFormatOfName("a.PNG", 1), ImageFormat::Png);
  EXPECT_EQ(ImageFormatOfName("a.bmp", 2), ImageFormat::Bmp);
  EXPECT_EQ(ImageFormatOfName("a", 2), ImageFormat::Png);
  EXPECT_EQ(ImageFormatOfName("a.png.txt", 3), ImageFormat::Bmp);
}

TEST(ImageTexts, EveryParameterNamed) {
  ImageDescription d;
  d.file = "day.wav";
  d.beginMs = 500;
  d.endMs = 2500;
  d.fftLength = 1024;
  d.broadband = true;
  d.windowMs = 8;
  d.scheme = PaletteScheme::WB;
  d.attenuation = 12;
  const std::vector<PngText> t = DescribeImage(d);
  std::vector<std::string> keys;
  for (const PngText& p : t) keys.push_back(p.keyword);
  EXPECT_EQ(keys, (std::vector<std::string>{"File", "Span", "FFT size", "Mode", "Window", "Time scale", "Scheme",
                                             "Attenuation", "Software"}));
  EXPECT_EQ(t[1].text, "500 ms to 2500 ms");
  EXPECT_EQ(t[2].text, "1024");
  EXPECT_EQ(t[3].text, "BB");
  EXPECT_EQ(t[5].text, "12 ms per column");
  EXPECT_EQ(t[6].text, "WB");
  EXPECT_EQ(t[7].text, "12 dB");
}

}  // namespace
}  // namespace hl
