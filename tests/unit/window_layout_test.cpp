#include "core/layout/window_layout.h"

#include <gtest/gtest.h>

namespace hl {
namespace {

TEST(WindowLayout, SizesFromFontMetrics) {
  // A 16-pixel font 7 pixels wide, 19-pixel captions, a 1280 x 1024 screen.
  ScreenMetrics m{19, 1280, 1024, 16, 7};
  WindowSizes s = ComputeWindowSizes(m);
  EXPECT_EQ(s.scrollBarThickness, 14);
  EXPECT_EQ(s.defaultWidth, 574);
  EXPECT_EQ(s.maxWidth, 1266);
  EXPECT_EQ(s.defaultHeight, 80 + 38 + 308 + 14);
  EXPECT_EQ(s.buttonHeight, 21);  // 64 / 3
}

TEST(WindowLayout, CentredAndNeverNegative) {
  ScreenMetrics m{19, 800, 600, 16, 7};
  EXPECT_EQ(CentredWindow(m, 574, 440), (Rect{113, 80, 574, 440}));
  EXPECT_EQ(CentredWindow(m, 900, 700), (Rect{0, 0, 900, 700}));
  EXPECT_EQ(CentredWindow(m, 801, 100), (Rect{0, 250, 801, 100}));
}

TEST(WindowLayout, ChildrenAtCreation) {
  ScreenMetrics m{19, 1280, 1024, 16, 7};
  // Window 574 wide with a client area of 566.
  ChildLayout l = InitialChildLayout(m, 574, 566);
  EXPECT_EQ(l.imageAreaWidth, 552);
  EXPECT_EQ(l.imageAreaHeight, 300);
  EXPECT_EQ(l.horizontalScrollBar, (Rect{0, 300, 552, 14}));
  EXPECT_EQ(l.verticalScrollBar, (Rect{552, 0, 14, 300}));
  // Button row: 14 + 8 + 300 + 2 = 324; x = 574 - 161 = 413.
  EXPECT_EQ(l.play, (Rect{413, 324, 42, 21}));
  EXPECT_EQ(l.playWindow, (Rect{455, 324, 77, 21}));
  EXPECT_EQ(l.toggleGrid, (Rect{413, 345, 119, 21}));
  EXPECT_EQ(l.stop, (Rect{413, 366, 119, 21}));
}

}  // namespace
}  // namespace hl
