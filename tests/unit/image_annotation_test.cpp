#include "core/export/image_annotation.h"

#include <gtest/gtest.h>

#include "core/analysis/column_geometry.h"
#include "core/analysis/time_scale_fit.h"
#include "core/image/bitmap_font.h"
#include "core/image/bitmap_file.h"

namespace hl {
namespace {

TEST(BitmapFont, DrawsSetPixelsOnlyAndUnknownAsQuestionMark) {
  PaletteImage a, b;
  ASSERT_TRUE(PrepareImage(a, 60, 50));
  ASSERT_TRUE(PrepareImage(b, 60, 50));
  DrawText(a, 2, 2, "1", 0);
  int set = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 60; ++x) set += a.At(x, y) == 0;
  EXPECT_EQ(set, 10);  // the glyph "1": 1 + 2 + 1 + 1 + 1 + 1 + 3 pixels
  DrawText(a, 20, 2, "\x01", 0);
  DrawText(b, 20, 2, "?", 0);
  for (int x = 20; x < 26; ++x)
    for (int y = 2; y < 9; ++y) EXPECT_EQ(a.At(x, y), b.At(x, y));
  EXPECT_EQ(TextWidth("kHz", 2), 34);
}

TEST(GridInto, CrossesWhereTheGridLayoutPutsThem) {
  PaletteImage picture;
  ASSERT_TRUE(PrepareImage(picture, 400, 300));
  const GridLayout grid = ComputeGrid(WholePictureGrid(picture, 402, 12.0f, 0.0f, 11025, 9));
  ASSERT_FALSE(grid.crosses.empty());
  DrawGridInto(picture, grid);
  for (const GridPoint& p : grid.crosses) {
    EXPECT_EQ(picture.At(p.x, p.y - 5), kIndexMarker);
    EXPECT_EQ(picture.At(p.x + 5, p.y), kIndexMarker);
    EXPECT_EQ(picture.At(p.x + 6, p.y + 1), kIndexFloor);
  }
}

TEST(Axes, PlotKeptWholeWidthForBmpBarFromFloorToTop) {
  PaletteImage picture;
  ASSERT_TRUE(PrepareImage(picture, 301, 300));
  for (int x = 0; x < 301; ++x) picture.Row(200)[x] = static_cast<uint8_t>(4 + x % 200);
  AxesInputs in;
  in.title = "tone.wav";
  AxesPicture framed;
  ASSERT_TRUE(ComposeWithAxes(picture, in, framed));
  EXPECT_EQ(framed.image.width % 4, 0);
  EXPECT_GT(framed.image.height, 300);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 301; ++x) ASSERT_EQ(framed.image.At(framed.plotX + x, framed.plotY + y), picture.At(x, y));
  // The colour bar ends on the floor index at the bottom frequency row and the top index at the first.
  bool floorRow = false, topRow = false;
  for (int x = framed.plotX + 301; x < framed.image.width; ++x) {
    floorRow |= framed.image.At(x, framed.plotY + 299) == kIndexFloor + 0 && framed.image.At(x, framed.plotY + 44) == kIndexTop;
    topRow |= framed.image.At(x, framed.plotY + 44) == kIndexTop;
  }
  EXPECT_TRUE(floorRow);
  EXPECT_TRUE(topRow);
  EXPECT_DOUBLE_EQ(IndexToDb(kIndexTop, 0), -14.5);  // 235 + 100 - 393 = -58 units
}

TEST(TimeScaleForWidth, WidestImageNotWiderThanAsked) {
  // 60 s of 44.1 kHz 16-bit mono.
  SpanRequest req{0, 60000, 44100, 1, 16, 60u * 44100 * 2, 12.0f, 11.61f, 9};
  for (int width : {1000, 1001, 4000}) {
    const float ts = TimeScaleForWidth(req, width);
    req.timeScaleMs = ts;
    const ColumnGeometry g = PlanColumns(req);
    ASSERT_EQ(g.refusal, Message::None);
    EXPECT_LE(ExportWidth(g.columnCount), width);
    EXPECT_GE(ExportWidth(g.columnCount), width - 4);
    // One sample less per column would be too wide.
    EXPECT_GT(ExportWidth(ColumnCount(g.byteCount, 2, 1, 512, g.step - 1)), width);
  }
  EXPECT_EQ(TimeScaleForWidth(req, 10), 500.0f);
  EXPECT_EQ(TimeScaleForWidth(req, 10000000), 1.0f);
}

}  // namespace
}  // namespace hl
