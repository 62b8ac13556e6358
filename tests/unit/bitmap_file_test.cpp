#include "core/image/bitmap_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace hl {
namespace {

uint32_t FieldAt(const std::vector<uint8_t>& file, size_t offset, int size) {
  uint32_t value = 0;
  for (int i = 0; i < size; ++i) value |= static_cast<uint32_t>(file[offset + i]) << (8 * i);
  return value;
}

struct HeaderField {
  const char* name;
  size_t offset;
  int size;
  uint32_t value;
};

// An 8 × 3 picture: every field of both headers, as laid down for the export.
TEST(BuildBitmapFile, HeadersMatchTheLayoutFieldByField) {
  const int width = 8;
  const int height = 3;
  const std::vector<uint8_t> pixels(width * height, 7);
  const BitmapColor colors[1] = {{1, 2, 3}};
  const std::vector<uint8_t> file = BuildBitmapFile(pixels.data(), width, width, height, colors, 1);
  ASSERT_EQ(file.size(), 1078u + 24u);

  const HeaderField fields[] = {
      {"bfType", 0, 2, 0x4D42},        {"bfSize", 2, 4, 1078 + 24},
      {"bfReserved1", 6, 2, 0},        {"bfReserved2", 8, 2, 0},
      {"bfOffBits", 10, 4, 1078},      {"biSize", 14, 4, 40},
      {"biWidth", 18, 4, 8},           {"biHeight", 22, 4, 3},
      {"biPlanes", 26, 2, 1},          {"biBitCount", 28, 2, 8},
      {"biCompression", 30, 4, 0},     {"biSizeImage", 34, 4, 24},
      {"biXPelsPerMeter", 38, 4, 0},   {"biYPelsPerMeter", 42, 4, 0},
      {"biClrUsed", 46, 4, 256},       {"biClrImportant", 50, 4, 256},
  };
  for (const HeaderField& f : fields) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(FieldAt(file, f.offset, f.size), f.value);
  }
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(kBitmapHeaderLength, 14u + 40u + 256u * 4u);
}

TEST(BuildBitmapFile, RowsAreStoredBottomRowFirst) {
  const int width = 4;
  const int height = 3;
  // Row r (top = 0) holds 10r, 10r+1, ...
  std::vector<uint8_t> pixels;
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) pixels.push_back(static_cast<uint8_t>(10 * r + c));
  }
  const std::vector<uint8_t> file = BuildBitmapFile(pixels.data(), width, width, height, nullptr, 0);
  ASSERT_EQ(file.size(), 1078u + 12u);
  const std::vector<uint8_t> expected = {20, 21, 22, 23, 10, 11, 12, 13, 0, 1, 2, 3};
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 1078, file.end()), expected);
}

TEST(BuildBitmapFile, StrideWiderThanTheRowSkipsTheRowPadding) {
  const int width = 4;
  const int height = 2;
  const int stride = 6;
  const std::vector<uint8_t> pixels = {1, 2, 3, 4, 99, 99, 5, 6, 7, 8, 99, 99};
  const std::vector<uint8_t> file = BuildBitmapFile(pixels.data(), stride, width, height, nullptr, 0);
  ASSERT_EQ(file.size(), 1078u + 8u);
  const std::vector<uint8_t> expected = {5, 6, 7, 8, 1, 2, 3, 4};
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 1078, file.end()), expected);
}

TEST(BuildBitmapFile, ColourTableIsBlueGreenRedZeroAndUnusedEntriesAreZero) {
  // The program's palette has 236 entries; the file's table has 256.
  std::vector<BitmapColor> palette;
  for (int i = 0; i < 236; ++i) {
    palette.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                       static_cast<uint8_t>(i ^ 0x5A)});
  }
  const std::vector<uint8_t> pixels(4, 0);
  const std::vector<uint8_t> file =
      BuildBitmapFile(pixels.data(), 4, 4, 1, palette.data(), static_cast<int>(palette.size()));
  ASSERT_EQ(file.size(), 1078u + 4u);
  for (int i = 0; i < 256; ++i) {
    SCOPED_TRACE(i);
    const size_t at = 54 + 4 * static_cast<size_t>(i);
    if (i < 236) {
      EXPECT_EQ(file[at + 0], palette[i].blue);
      EXPECT_EQ(file[at + 1], palette[i].green);
      EXPECT_EQ(file[at + 2], palette[i].red);
    } else {
      EXPECT_EQ(file[at + 0], 0);
      EXPECT_EQ(file[at + 1], 0);
      EXPECT_EQ(file[at + 2], 0);
    }
    EXPECT_EQ(file[at + 3], 0);
  }
}

TEST(BuildBitmapFile, ColourCountAbove256FillsTheTableAndNoMore) {
  std::vector<BitmapColor> palette(300, BitmapColor{9, 8, 7});
  const std::vector<uint8_t> pixels(4, 0);
  const std::vector<uint8_t> file = BuildBitmapFile(pixels.data(), 4, 4, 1, palette.data(), 300);
  ASSERT_EQ(file.size(), 1078u + 4u);
  EXPECT_EQ(file[54 + 4 * 255 + 0], 7);  // blue of the last entry
  EXPECT_EQ(file[54 + 4 * 255 + 2], 9);  // red
  EXPECT_EQ(file[1078], 0);              // the pixel, not a 257th entry
}

// An entire export with FFT size 1024 of an analysis of 1001 columns: 1000 × (512 + 44).
TEST(BuildBitmapFile, EntireExportOfFft1024Analysis) {
  const int width = ExportWidth(1001);
  const int height = 1024 / 2 + 44;
  ASSERT_EQ(width, 1000);
  ASSERT_EQ(height, 556);
  const int columns = 1001;  // the display bitmap is wider than the export
  std::vector<uint8_t> image(static_cast<size_t>(columns) * height);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < columns; ++c) image[r * columns + c] = static_cast<uint8_t>(r + c);
  }
  const std::vector<uint8_t> file = BuildBitmapFile(image.data(), columns, width, height, nullptr, 0);
  ASSERT_EQ(file.size(), 1078u + 556000u);
  EXPECT_EQ(FieldAt(file, 2, 4), 557078u);
  EXPECT_EQ(FieldAt(file, 18, 4), 1000u);
  EXPECT_EQ(FieldAt(file, 22, 4), 556u);
  EXPECT_EQ(FieldAt(file, 34, 4), 556000u);
  // First stored row is the bottom row (555): its pixel c is (555 + c) mod 256.
  EXPECT_EQ(file[1078 + 0], static_cast<uint8_t>(555));
  EXPECT_EQ(file[1078 + 999], static_cast<uint8_t>(555 + 999));
  // Last stored row is the top row, the time-axis margin.
  EXPECT_EQ(file[1078 + 555 * 1000 + 0], 0);
  EXPECT_EQ(file[1078 + 555 * 1000 + 999], static_cast<uint8_t>(999));
}

struct RefusedCase {
  const char* name;
  int stride;
  int width;
  int height;
};

class BuildBitmapFileRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(BuildBitmapFileRefused, ReturnsNoFile) {
  const RefusedCase& c = GetParam();
  const std::vector<uint8_t> pixels(4096, 1);
  EXPECT_TRUE(BuildBitmapFile(pixels.data(), c.stride, c.width, c.height, nullptr, 0).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, BuildBitmapFileRefused,
    ::testing::Values(RefusedCase{"ZeroWidth", 4, 0, 4}, RefusedCase{"NegativeWidth", 4, -4, 4},
                      RefusedCase{"WidthNotMultipleOf4", 1001, 1001, 1},
                      RefusedCase{"WidthTwo", 4, 2, 4}, RefusedCase{"ZeroHeight", 4, 4, 0},
                      RefusedCase{"NegativeHeight", 4, 4, -3},
                      RefusedCase{"StrideBelowWidth", 4, 8, 2}),
    [](const ::testing::TestParamInfo<RefusedCase>& param) {
      return std::string(param.param.name);
    });

TEST(BuildBitmapFile, NoPixelsReturnsNoFile) {
  EXPECT_TRUE(BuildBitmapFile(nullptr, 4, 4, 4, nullptr, 0).empty());
}

TEST(BuildBitmapFile, PictureTooLargeForThe32BitSizeFieldReturnsNoFile) {
  // 65536 × 65536 bytes + 1078 is above 4 GiB; the pixels are never read.
  const uint8_t pixel = 0;
  EXPECT_TRUE(BuildBitmapFile(&pixel, 65536, 65536, 65536, nullptr, 0).empty());
}

struct ExportWidthCase {
  int columns;
  int width;
};

class ExportWidthTable : public ::testing::TestWithParam<ExportWidthCase> {};

TEST_P(ExportWidthTable, CutsDownToAMultipleOf4) {
  EXPECT_EQ(ExportWidth(GetParam().columns), GetParam().width);
}

INSTANTIATE_TEST_SUITE_P(Table, ExportWidthTable,
                         ::testing::Values(ExportWidthCase{1001, 1000}, ExportWidthCase{637, 636},
                                           ExportWidthCase{636, 636}, ExportWidthCase{4, 4},
                                           ExportWidthCase{3, 0}, ExportWidthCase{0, 0},
                                           ExportWidthCase{-5, 0}));

}  // namespace
}  // namespace hl
