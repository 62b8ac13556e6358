#include "core/export/bitmap_export.h"
#include "core/dsp/column_renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace hl {
namespace {

// A display image whose every pixel says where it is: (x * 7 + y * 13) mod 232 + 4.
uint8_t Marked(int x, int y) { return static_cast<uint8_t>((x * 7 + y * 13) % 232 + 4); }

PaletteImage MarkedDisplay(int width, int height) {
  PaletteImage image;
  EXPECT_TRUE(PrepareImage(image, width, height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.Row(y)[x] = Marked(x, y);
  }
  return image;
}

TEST(PlanBitmapExportTest, EntireIsEveryWholeGroupOfFourColumnsAndEveryRow) {
  ExportView v;
  v.columnCount = 1001;
  v.bitmapHeight = 556;  // FFT size 1024
  v.imageWidth = 552;
  v.imageHeight = 300;
  v.horizontalOffset = 37;
  v.verticalOffset = 20;
  const ExportPlan p = PlanBitmapExport(true, v);
  EXPECT_EQ(p.width, 1000);
  EXPECT_EQ(p.height, 556);
  EXPECT_EQ(p.sourceX, 0);  // scrolling does not matter
  EXPECT_EQ(p.sourceFrequencyY, 44);
  v.bitmapHeight = 1068;
  EXPECT_EQ(PlanBitmapExport(true, v).height, 1068);
}

TEST(PlanBitmapExportTest, WindowIsTheImageAreaAtTheScrollOffsets) {
  ExportView v;
  v.columnCount = 5000;
  v.bitmapHeight = 556;
  v.imageWidth = 637;
  v.imageHeight = 300;
  v.horizontalOffset = 37;
  v.verticalOffset = 20;
  const ExportPlan p = PlanBitmapExport(false, v);
  EXPECT_EQ(p.width, 636);
  EXPECT_EQ(p.height, 300);
  EXPECT_EQ(p.sourceX, 37);
  EXPECT_EQ(p.sourceFrequencyY, 64);
}

TEST(PlanBitmapExportTest, NothingToSaveGivesAnEmptyPlan) {
  ExportView v;
  v.columnCount = 3;
  v.bitmapHeight = 300;
  EXPECT_EQ(PlanBitmapExport(true, v).width, 0);
  v.imageWidth = 0;
  v.imageHeight = 300;
  EXPECT_EQ(PlanBitmapExport(false, v).width, 0);
  PaletteImage display = MarkedDisplay(8, 300), picture;
  EXPECT_FALSE(ComposeExport(display, PlanBitmapExport(true, v), picture));
}

TEST(ComposeExportTest, WindowScrolledDownKeepsTheMarginOnTop) {
  const PaletteImage display = MarkedDisplay(1280, 556);
  ExportView v;
  v.columnCount = 1280;
  v.bitmapHeight = 556;
  v.imageWidth = 552;
  v.imageHeight = 300;
  v.horizontalOffset = 100;
  v.verticalOffset = 212;  // the lowest frequencies at the bottom: 212 + 256 = 468 rows
  const ExportPlan plan = PlanBitmapExport(false, v);
  PaletteImage picture;
  ASSERT_TRUE(ComposeExport(display, plan, picture));
  ASSERT_EQ(picture.width, 552);
  ASSERT_EQ(picture.height, 300);
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 552; ++x) {
      uint8_t expected;
      if (y == 21) {
        expected = 2;
      } else if (y == 43) {
        expected = 1;
      } else if (y < 44) {
        expected = Marked(100 + x, y);  // the margin is not scrolled vertically
      } else {
        expected = Marked(100 + x, 212 + y);
      }
      ASSERT_EQ(picture.At(x, y), expected) << x << "," << y;
    }
  }
}

TEST(ComposeExportTest, PixelsTheDisplayDoesNotHaveAreTheFloor) {
  const PaletteImage display = MarkedDisplay(600, 300);
  ExportPlan plan;
  plan.width = 8;
  plan.height = 300;
  plan.sourceX = 596;  // columns 600..603 are outside
  plan.sourceFrequencyY = 50;  // picture rows 294..299 would be display rows 300..305
  PaletteImage picture;
  ASSERT_TRUE(ComposeExport(display, plan, picture));
  EXPECT_EQ(picture.At(3, 100), Marked(599, 106));
  EXPECT_EQ(picture.At(4, 100), kIndexFloor);
  EXPECT_EQ(picture.At(0, 293), Marked(596, 299));
  EXPECT_EQ(picture.At(0, 294), kIndexFloor);
  EXPECT_EQ(picture.At(7, 299), kIndexFloor);
}

// The entire export of a rendered analysis is the image the command-line tool renders for
// the same samples and settings: the display bitmap is wider than the analysis (as wide as
// the screen), and only the analysis's whole groups of four columns are saved.
TEST(ComposeExportTest, EntireExportOfARenderedToneIsTheToolsImage) {
  // 1 s of a 1 kHz tone at 11025 Hz, 16-bit mono, quiet enough not to reach the top index.
  std::vector<uint8_t> samples(22050);
  for (int i = 0; i < 11025; ++i) {
    const int16_t v = static_cast<int16_t>(std::lround(2000.0 * std::sin(2.0 * 3.14159265358979323846 * 1000.0 * i / 11025.0)));
    samples[2 * i] = static_cast<uint8_t>(v & 0xFF);
    samples[2 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  }
  const SampleSpan span{samples.data(), samples.size(), 2, 1};
  const RenderSettings settings{9, 11025, 46.439907f, 132};
  const int columns = 79;  // (11025 - 512) / 132

  // The window's display bitmap: 1280 wide, drawn column by column.
  PaletteImage display;
  ASSERT_TRUE(PrepareImage(display, 1280, 300));
  ColumnRenderer window;
  ASSERT_EQ(window.Begin(span, settings), 0);
  for (int x = 0; x < columns; ++x) window.DrawColumn(x, display);
  window.End();

  // The tool: an image as wide as the export, drawn in batches.
  PaletteImage tool;
  ASSERT_TRUE(PrepareImage(tool, 76, 300));
  ColumnRenderer batch;
  ASSERT_EQ(batch.Begin(span, settings), 0);
  batch.DrawColumns(0, 76, tool);
  batch.End();

  ExportView v;
  v.columnCount = columns;
  v.bitmapHeight = 300;
  v.imageWidth = 552;
  v.imageHeight = 300;
  v.horizontalOffset = 0;
  PaletteImage picture;
  ASSERT_TRUE(ComposeExport(display, PlanBitmapExport(true, v), picture));
  ASSERT_EQ(picture.width, 76);
  for (int y = 0; y < 300; ++y) {
    ASSERT_EQ(std::memcmp(picture.Row(y), tool.Row(y), 76), 0) << "row " << y;
  }
  // And the tone is there: 1000 Hz is bin 1000 / (11025 / 512) = 46.4, row 299 - 46.
  uint8_t peak = 0;
  int peakRow = 0;
  for (int y = 44; y < 300; ++y) {
    if (picture.At(40, y) > peak) {
      peak = picture.At(40, y);
      peakRow = y;
    }
  }
  EXPECT_EQ(peakRow, 299 - 46);
}

}  // namespace
}  // namespace hl
