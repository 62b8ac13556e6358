#include "core/dsp/column_renderer.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace hl {
namespace {

// Interleaved 16-bit little-endian samples; channel c of frame i is f(c, i).
template <typename F>
std::vector<uint8_t> Samples16(int frames, int channels, F f) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      uint16_t v = static_cast<uint16_t>(static_cast<int16_t>(f(c, i)));
      bytes.push_back(static_cast<uint8_t>(v & 0xFF));
      bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
  }
  return bytes;
}

int PeakRow(const PaletteImage& image, int x) {
  int best = image.height - 1;
  for (int y = kMarginRows; y < image.height; ++y) {
    if (image.At(x, y) > image.At(x, best)) best = y;
  }
  return best;
}

TEST(PrepareImage, FloorAndMarginLines) {
  PaletteImage image;
  ASSERT_TRUE(PrepareImage(image, 7, 300));
  for (int y = 0; y < 300; ++y) {
    uint8_t expected = y == 21 ? 2 : y == 43 ? 1 : 3;
    for (int x = 0; x < 7; ++x) ASSERT_EQ(image.At(x, y), expected) << x << "," << y;
  }
  EXPECT_FALSE(PrepareImage(image, 0, 300));
}

TEST(RenderArithmetic, LevelCorrection) {
  // Full frame: 512 samples at 11025 Hz are 46.4399 ms.
  EXPECT_EQ(LevelCorrection(512.0f / 11025.0f * 1000.0f, 512, 11025), 0);
  // A quarter of the frame: (1 - 0.25) * 48 = 36.
  EXPECT_EQ(LevelCorrection(128.0f / 11025.0f * 1000.0f, 512, 11025), 36);
  // 8 ms of a 2048-point frame at 44100 Hz (46.44 ms): ratio 0.17227, 48 * 0.82773 = 39.7.
  EXPECT_EQ(LevelCorrection(8.0f, 2048, 44100), 39);
}

TEST(RenderArithmetic, PaletteIndexLimits) {
  for (int16_t c : {0, 36}) {
    EXPECT_EQ(PaletteIndexOfLevel(static_cast<int16_t>(103 - c), c), 3);
    EXPECT_EQ(PaletteIndexOfLevel(31, c), 3);
    EXPECT_EQ(PaletteIndexOfLevel(static_cast<int16_t>(104 - c), c), 4);
    EXPECT_EQ(PaletteIndexOfLevel(static_cast<int16_t>(334 - c), c), 234);
    EXPECT_EQ(PaletteIndexOfLevel(static_cast<int16_t>(335 - c), c), 235);
    EXPECT_EQ(PaletteIndexOfLevel(402, c), 235);
  }
}

TEST(RenderArithmetic, EightBitSamples) {
  EXPECT_EQ(SampleOfByte(128), 0);
  EXPECT_EQ(SampleOfByte(0), -32768);
  EXPECT_EQ(SampleOfByte(255), 32512);
}

TEST(RenderArithmetic, EnvelopeRange) {
  struct Case {
    int32_t step;
    float windowMs;
    int16_t lower, upper;
  } cases[] = {
      // The 512-sample window at 11025 Hz is 46.43991 ms in single precision, a little
      // short, so L = trunc(11025 * 46.43991 * 0.001f) = 511 and h = 255.
      {64, 512.0f / 11025.0f * 1000.0f, 191, 319},
      {132, 512.0f / 11025.0f * 1000.0f, 191, 319},
      {10, 512.0f / 11025.0f * 1000.0f, 245, 265},
      // 20 ms at 11025 Hz: 220.5 samples, L = 220, h = 110.
      {64, 20.0f, 46, 174},
      // 4 ms at 11025 Hz: L = trunc(44.1) = 44, h = 22; the range starts at 0.
      {64, 4.0f, 0, 86},
  };
  for (const Case& c : cases) {
    RenderPlan plan = PlanRender({9, 11025, c.windowMs, c.step});
    EXPECT_EQ(plan.lower, c.lower) << c.step;
    EXPECT_EQ(plan.upper, c.upper) << c.step;
  }
  // A window longer than the frame is cut to N.
  EXPECT_EQ(PlanRender({9, 44100, 20.0f, 10}).windowLength, 512);
}

class RenderFixture : public ::testing::Test {
 protected:
  // Renders every available column with the reference path.
  PaletteImage Render(const std::vector<uint8_t>& bytes, int bytesPerSample, int channels,
                      RenderSettings settings, int columns) {
    PaletteImage image;
    EXPECT_TRUE(PrepareImage(image, columns, (1 << settings.fftOrder) / 2 + kMarginRows));
    ColumnRenderer renderer;
    EXPECT_EQ(renderer.Begin({bytes.data(), bytes.size(), bytesPerSample, channels}, settings), 0);
    for (int x = 0; x < columns; ++x) renderer.DrawColumn(x, image);
    renderer.End();
    return image;
  }
};

TEST_F(RenderFixture, ToneLandsInItsBinRow) {
  // 1000 Hz at 11025 Hz, N = 512: bin 1000 * 512 / 11025 = 46.4, so bin 46 is brightest,
  // at row 299 - 46. (Quiet enough that the peak stays below the top palette index.)
  const double pi = std::acos(-1.0);
  auto bytes = Samples16(11025, 1, [&](int, int i) { return 2000 * std::sin(2 * pi * 1000 * i / 11025.0); });
  RenderSettings settings{9, 11025, 512.0f / 11025.0f * 1000.0f, 132};
  PaletteImage image = Render(bytes, 2, 1, settings, 40);
  for (int x = 0; x < 40; ++x) ASSERT_EQ(PeakRow(image, x), 299 - 46) << x;
}

TEST_F(RenderFixture, OnlyTheFirstChannelIsAnalysed) {
  // Left channel a 2 kHz tone, right channel full-scale noise: the image shows the tone
  // alone (bin 2000 * 1024 / 22050 = 92.9 -> 93) and the silence around it.
  const double pi = std::acos(-1.0);
  std::mt19937 random(1);
  std::uniform_int_distribution<int> noise(-32768, 32767);
  auto bytes = Samples16(22050, 2, [&](int c, int i) {
    return c == 0 ? 8000 * std::sin(2 * pi * 2000 * i / 22050.0) : noise(random);
  });
  RenderSettings settings{10, 22050, 1024.0f / 22050.0f * 1000.0f, 2 * 265};
  PaletteImage image = Render(bytes, 2, 2, settings, 20);
  for (int x = 0; x < 20; ++x) {
    ASSERT_EQ(PeakRow(image, x), image.height - 1 - 93) << x;
    // far from the tone nothing rises off the floor
    EXPECT_EQ(image.At(x, image.height - 1 - 400), 3) << x;
  }
}

TEST_F(RenderFixture, EightBitDataReadsLikeSixteenBit) {
  // The same tone as unsigned bytes and as words holding (byte - 128) * 256.
  const double pi = std::acos(-1.0);
  std::vector<uint8_t> bytes8, bytes16;
  for (int i = 0; i < 8000; ++i) {
    uint8_t u = static_cast<uint8_t>(128 + std::lround(100 * std::sin(2 * pi * 700 * i / 8000.0)));
    bytes8.push_back(u);
    uint16_t w = static_cast<uint16_t>((u - 128) * 256);
    bytes16.push_back(static_cast<uint8_t>(w & 0xFF));
    bytes16.push_back(static_cast<uint8_t>(w >> 8));
  }
  RenderSettings settings{9, 8000, 64.0f, 96};
  PaletteImage a = Render(bytes8, 1, 1, settings, 30);
  PaletteImage b = Render(bytes16, 2, 1, settings, 30);
  EXPECT_EQ(a.pixels, b.pixels);
}

TEST_F(RenderFixture, EnvelopeStrip) {
  // Column 0 silent, column 1 a full-scale square wave around the window centre, column 2 a
  // small positive bump: the envelope line runs from 22 - max/1500 down to, but not
  // including, 22 - min/1500.
  const int step = 512;
  auto bytes = Samples16(4 * step, 1, [&](int, int i) {
    int column = i / step, offset = i % step;
    if (column == 1) return (offset % 2) ? 32767 : -32768;
    if (column == 2 && offset == 256) return 3000;
    return 0;
  });
  RenderSettings settings{9, 11025, 512.0f / 11025.0f * 1000.0f, step};
  PaletteImage image = Render(bytes, 2, 1, settings, 3);
  for (int y = 0; y < kMarginRows; ++y) {
    EXPECT_EQ(image.At(0, y), y == 21 ? 2 : y == 43 ? 1 : 3) << y;
    // 32767 / 1500 = 21 -> from row 1; -32768 / 1500 = -21 -> up to row 43, left out.
    EXPECT_EQ(image.At(1, y), (y >= 1 && y <= 42) ? 2 : y == 43 ? 1 : 3) << y;
    // 3000 / 1500 = 2 -> rows 20 and 21 (22 is the end point).
    EXPECT_EQ(image.At(2, y), (y == 20 || y == 21) ? 2 : y == 43 ? 1 : 3) << y;
  }
}

TEST_F(RenderFixture, BatchedColumnsEqualSingleColumns) {
  // Full-scale noise, then a quiet stretch: the indices reach both ends of their range.
  std::mt19937 random(3);
  std::uniform_int_distribution<int> noise(-32768, 32767);
  auto bytes = Samples16(30000, 2, [&](int c, int i) { return c == 0 && i < 15000 ? noise(random) : 0; });
  for (int order : {9, 10, 11}) {
    SCOPED_TRACE(order);
    RenderSettings settings{order, 22050, 8.0f, 2 * 137};
    ColumnRenderer renderer;
    ASSERT_EQ(renderer.Begin({bytes.data(), bytes.size(), 2, 2}, settings), 0);
    const int columns = renderer.AvailableColumns();
    const int height = (1 << order) / 2 + kMarginRows;
    PaletteImage single, batched;
    ASSERT_TRUE(PrepareImage(single, columns, height));
    ASSERT_TRUE(PrepareImage(batched, columns, height));
    for (int x = 0; x < columns; ++x) renderer.DrawColumn(x, single);
    renderer.DrawColumns(0, 5, batched);
    renderer.DrawColumns(5, columns - 5, batched);
    renderer.End();
    EXPECT_EQ(single.pixels, batched.pixels);
    const auto [lowest, highest] = std::minmax_element(single.Row(height - 1), single.Row(height - 1) + columns);
    EXPECT_EQ(*lowest, kIndexFloor);
    EXPECT_GT(*highest, 150);
  }
}

TEST_F(RenderFixture, ColumnLevelsAreWhatThePaletteIndicesAreMadeOf) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int> noise(-20000, 20000);
  auto bytes = Samples16(20000, 1, [&](int, int i) { return noise(random) * std::sin(i * 0.002); });
  RenderSettings settings{9, 11025, 20.0f, 132};
  ColumnRenderer renderer;
  ASSERT_EQ(renderer.Begin({bytes.data(), bytes.size(), 2, 1}, settings), 0);
  const int columns = renderer.AvailableColumns();
  PaletteImage image;
  ASSERT_TRUE(PrepareImage(image, columns, 300));
  renderer.DrawColumns(0, columns, image);
  std::vector<int16_t> levels(static_cast<size_t>(columns + 3) * 256, -1);
  // Asking past the available columns writes only those that exist.
  EXPECT_EQ(renderer.ColumnLevels(0, columns + 3, levels.data()), columns);
  const int16_t c = renderer.plan().correction;
  EXPECT_NE(c, 0);
  for (int x = 0; x < columns; ++x) {
    for (int b = 0; b < 256; ++b) {
      ASSERT_EQ(PaletteIndexOfLevel(levels[x * 256 + b], c), image.At(x, 299 - b)) << x << " " << b;
    }
  }
  EXPECT_EQ(levels[static_cast<size_t>(columns) * 256], -1);
  renderer.End();
}

TEST_F(RenderFixture, NeverReadsPastTheSpan) {
  // 600 samples hold one 512-sample frame with a step of 50, at x = 0 and x = 1
  // (50 + 511 < 600) but not x = 2 (100 + 511 >= 600).
  auto bytes = Samples16(600, 1, [](int, int i) { return i; });
  ColumnRenderer renderer;
  ASSERT_EQ(renderer.Begin({bytes.data(), bytes.size(), 2, 1}, {9, 11025, 46.0f, 50}), 0);
  EXPECT_EQ(renderer.AvailableColumns(), 2);
  PaletteImage image;
  ASSERT_TRUE(PrepareImage(image, 4, 300));
  renderer.DrawColumns(0, 4, image);
  renderer.End();
  EXPECT_NE(image.At(1, 299), 3);  // drawn (a ramp has a DC term)
  EXPECT_EQ(image.At(2, 299), 3);  // not drawn
}

}  // namespace
}  // namespace hl

namespace hl {
namespace {

TEST(PaletteImageView, RendersIntoForeignRowsWithTheirStride) {
  // The window's bitmap has rows padded to four bytes and wider than the analysis; a view
  // of it must get the same pixels as an image of its own, and nothing past its width.
  auto bytes = Samples16(20000, 1, [](int, int i) { return static_cast<int>(8000 * std::sin(i * 0.2)); });
  const RenderSettings settings{9, 11025, 20.0f, 132};
  const int width = 13, height = 300, stride = 20;
  std::vector<uint8_t> foreign(static_cast<size_t>(stride) * height, 0xEE);
  PaletteImage view = ImageOver(foreign.data(), width, height, stride);
  ClearImage(view);
  PaletteImage own;
  ASSERT_TRUE(PrepareImage(own, width, height));
  ColumnRenderer renderer;
  ASSERT_EQ(renderer.Begin({bytes.data(), bytes.size(), 2, 1}, settings), 0);
  renderer.DrawColumns(0, width, view);
  renderer.DrawColumns(0, width, own);
  renderer.End();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) ASSERT_EQ(view.At(x, y), own.At(x, y)) << x << "," << y;
    for (int x = width; x < stride; ++x) ASSERT_EQ(foreign[static_cast<size_t>(y) * stride + x], 0xEE);
  }
}

}  // namespace
}  // namespace hl

namespace hl {
namespace {

class InterleavedChannels : public ::testing::TestWithParam<int> {};

TEST_P(InterleavedChannels, ImageEqualsTheFirstChannelAlone) {
  // The first channel of C interleaved channels, at a step of C x 97 elements, must give
  // the very image its samples give as a mono file at a step of 97.
  const int channels = GetParam();
  std::mt19937 random(static_cast<unsigned>(channels));
  std::uniform_int_distribution<int> noise(-30000, 30000);
  const int frames = 9000;
  std::vector<int16_t> first(frames);
  for (int16_t& s : first) s = static_cast<int16_t>(noise(random));
  auto interleaved = Samples16(frames, channels, [&](int c, int i) { return c == 0 ? first[i] : noise(random); });
  auto mono = Samples16(frames, 1, [&](int, int i) { return first[i]; });
  auto render = [](const std::vector<uint8_t>& bytes, int c, int32_t step) {
    PaletteImage image;
    EXPECT_TRUE(PrepareImage(image, 60, 300));
    ColumnRenderer renderer;
    EXPECT_EQ(renderer.Begin({bytes.data(), bytes.size(), 2, c}, {9, 11025, 30.0f, step}), 0);
    renderer.DrawColumns(0, 60, image);
    renderer.End();
    return image;
  };
  PaletteImage a = render(interleaved, channels, channels * 97);
  PaletteImage b = render(mono, 1, 97);
  EXPECT_EQ(a.pixels, b.pixels);
}

INSTANTIATE_TEST_SUITE_P(ChannelCounts, InterleavedChannels, ::testing::Values(2, 3, 8, 9, 16));

}  // namespace
}  // namespace hl
