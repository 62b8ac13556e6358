#include "core/layout/view_layout.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace hl {

void PrintTo(const WindowSize& s, std::ostream* out) { *out << s.width << " x " << s.height; }
void PrintTo(const ScrollAxis& a, std::ostream* out) {
  *out << "{offset " << a.offset << ", range " << a.range << (a.scrollable ? ", scrollable}" : "}");
}

namespace {

// A 16-pixel font 7 pixels wide, 19-pixel captions: default window 574 x 440, widest 1266
// on a 1280-pixel screen.
constexpr ScreenMetrics kMetrics{19, 1280, 1024, 16, 7};

WindowFitInput Fit(int width, int height, int fftOrder, int screenHeight = 1024) {
  WindowFitInput in;
  in.width = width;
  in.height = height;
  in.sizes = ComputeWindowSizes(kMetrics);
  in.charWidth = kMetrics.charWidth;
  in.screenHeight = screenHeight;
  in.fftOrder = fftOrder;
  return in;
}

// ---------------------------------------------------------------------------
// Fitting the window.

struct FitRow {
  const char* name;
  WindowFitInput in;
  WindowSize fitted;
};

class FitWindowTest : public ::testing::TestWithParam<FitRow> {};

TEST_P(FitWindowTest, HeldBetweenItsLimits) { EXPECT_EQ(FitWindow(GetParam().in), GetParam().fitted); }

WindowFitInput Scope(WindowFitInput in, bool pin) {
  in.scrollDisplay = false;
  in.pinScopeWidth = pin;
  return in;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitWindowTest,
    ::testing::Values(
        // 512 points: never taller (nor shorter) than the default height.
        FitRow{"n512Taller", Fit(574, 700, 9), {574, 440}},
        FitRow{"n512Shorter", Fit(574, 300, 9), {574, 440}},
        // 1024 points: up to the default height + 256.
        FitRow{"n1024Taller", Fit(574, 800, 10), {574, 696}},
        FitRow{"n1024Between", Fit(574, 500, 10), {574, 500}},
        FitRow{"n1024Shorter", Fit(574, 439, 10), {574, 440}},
        // 2048 points on a 768-pixel screen: 440 + 768 is past the screen, so 760.
        FitRow{"n2048Screen768", Fit(574, 1000, 11, 768), {574, 760}},
        FitRow{"n2048Screen1024", Fit(574, 1300, 11), {574, 1016}},
        // A screen too small for the default height still gets the default height.
        FitRow{"tinyScreen", Fit(574, 600, 11, 400), {574, 440}},
        // Width: at least 82 C, at most the screen width - 2 C.
        FitRow{"narrow", Fit(500, 440, 9), {574, 440}},
        FitRow{"wide", Fit(900, 440, 9), {900, 440}},
        FitRow{"tooWide", Fit(1400, 440, 9), {1266, 440}},
        // "Scope": at least 90 C; painting pins it there, resizing only raises it.
        FitRow{"scopeNarrow", Scope(Fit(600, 440, 9), false), {630, 440}},
        FitRow{"scopeWideResize", Scope(Fit(800, 440, 9), false), {800, 440}},
        FitRow{"scopeWidePaint", Scope(Fit(800, 440, 9), true), {630, 440}},
        // The pin has no effect in "Scroll".
        FitRow{"scrollPin", [] { WindowFitInput in = Fit(800, 440, 9); in.pinScopeWidth = true; return in; }(),
               {800, 440}}),
    [](const ::testing::TestParamInfo<FitRow>& row) { return std::string(row.param.name); });

TEST(WindowHeightLimitTest, DefaultPlusHalfTheFftLessTwoFiftySixAtMostScreenLessEight) {
  EXPECT_EQ(WindowHeightLimit(440, 1024, 9), 440);
  EXPECT_EQ(WindowHeightLimit(440, 1024, 10), 696);
  EXPECT_EQ(WindowHeightLimit(440, 1024, 11), 1016);
  EXPECT_EQ(WindowHeightLimit(440, 768, 11), 760);
  EXPECT_EQ(MinimumWindowWidth(7, true), 574);
  EXPECT_EQ(MinimumWindowWidth(7, false), 630);
}

TEST(TextMinimumWidthTest, TheWindowGrowsUntilThePanelEndsACharacterLeftOfTheButtons) {
  const ScreenMetrics m{20, 1280, 1024, 16, 7};
  TextWidths t;
  t.title = 110;
  t.label = 120;
  t.value = 80;
  t.panelLabel = 100;
  t.panelValue = 100;
  // At 681 the panel (x = 68 + 227 = 295, 226 wide) and a character end at 528, where the
  // buttons start (681 - 136 - 107 / 6); at 680 the buttons start at 527.
  EXPECT_EQ(TextMinimumWidth(m, t, 574, 1266), 681);
  EXPECT_EQ(TextMinimumWidth(m, TextWidths(), 574, 1266), 574);
  EXPECT_EQ(TextMinimumWidth(m, t, 574, 650), 650);
  WindowFitInput in;
  in.width = 600;
  in.height = 440;
  in.sizes = ComputeWindowSizes(m);
  in.charWidth = 7;
  in.screenHeight = 1024;
  in.textMinimumWidth = 681;
  EXPECT_EQ(FitWindow(in).width, 681);
}

// ---------------------------------------------------------------------------
// Children after a resize.

TEST(ResizedChildLayoutTest, DefaultWindow) {
  const ChildLayout l = ResizedChildLayout(kMetrics, 574, 440, 566);
  EXPECT_EQ(l.imageAreaWidth, 552);
  EXPECT_EQ(l.imageAreaHeight, 300);
  EXPECT_EQ(l.horizontalScrollBar, (Rect{0, 300, 552, 14}));
  EXPECT_EQ(l.verticalScrollBar, (Rect{552, 0, 14, 300}));
  // x = 574 - 273 / 2 - 0 = 438; y = 14 + 8 + 300 + 2 = 324.
  EXPECT_EQ(l.play, (Rect{438, 324, 42, 21}));
  EXPECT_EQ(l.playWindow, (Rect{480, 324, 77, 21}));
  EXPECT_EQ(l.toggleGrid, (Rect{438, 345, 119, 21}));
  EXPECT_EQ(l.stop, (Rect{438, 366, 119, 21}));
}

TEST(ResizedChildLayoutTest, LargerWindowGrowsTheImageAreaAndShiftsTheButtons) {
  const ChildLayout l = ResizedChildLayout(kMetrics, 874, 696, 866);
  EXPECT_EQ(l.imageAreaWidth, 852);
  EXPECT_EQ(l.imageAreaHeight, 556);  // 696 - 440 + 300
  EXPECT_EQ(l.horizontalScrollBar, (Rect{0, 556, 852, 14}));
  EXPECT_EQ(l.verticalScrollBar, (Rect{852, 0, 14, 556}));
  // x = 874 - 136 - 300 / 6 = 688; y = 14 + 8 + 556 + 2 = 580.
  EXPECT_EQ(l.play, (Rect{688, 580, 42, 21}));
  EXPECT_EQ(l.stop, (Rect{688, 622, 119, 21}));
}

TEST(ResizedChildLayoutTest, ButtonDriftUsesWholeSixths) {
  // 5 / 6 and 6 / 6 of a pixel gained: the block moves by 0 and then 1.
  EXPECT_EQ(ResizedChildLayout(kMetrics, 579, 440, 571).play.x, 443);
  EXPECT_EQ(ResizedChildLayout(kMetrics, 580, 440, 572).play.x, 443);
  EXPECT_EQ(ResizedChildLayout(kMetrics, 586, 440, 578).play.x, 448);
}

// ---------------------------------------------------------------------------
// Scroll ranges after a resize.

TEST(KeepFractionTest, RoundsToTheNearestColumnAndKeepsAnUnchangedRange) {
  EXPECT_EQ(KeepFraction(100, 400, 500), 125);
  EXPECT_EQ(KeepFraction(1, 3, 2), 1);   // 0.667
  EXPECT_EQ(KeepFraction(1, 4, 2), 1);   // 0.5 goes up
  EXPECT_EQ(KeepFraction(1, 5, 2), 0);   // 0.4
  EXPECT_EQ(KeepFraction(12345, 49448, 49448), 12345);
  EXPECT_EQ(KeepFraction(49448, 49448, 48000), 48000);
  EXPECT_EQ(KeepFraction(0, 0, 300), 0);
  EXPECT_EQ(KeepFraction(10, 100, 0), 0);
  // An offset already past its range counts as the end.
  EXPECT_EQ(KeepFraction(500, 400, 100), 100);
  // Large images: no overflow in the product.
  EXPECT_EQ(KeepFraction(1000000, 2000000, 1999999), 1000000);
}

struct HorizontalRow {
  const char* name;
  ScrollAxis old;
  int columns, imageWidth;
  bool rendering;
  int renderColumn;
  ScrollAxis now;
};

class HorizontalAfterResizeTest : public ::testing::TestWithParam<HorizontalRow> {};

TEST_P(HorizontalAfterResizeTest, RangeAndOffset) {
  const HorizontalRow& r = GetParam();
  EXPECT_EQ(HorizontalAfterResize(r.old, r.columns, r.imageWidth, r.rendering, r.renderColumn), r.now);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HorizontalAfterResizeTest,
    ::testing::Values(
        HorizontalRow{"keepsFraction", {100, 400, true}, 1052, 552, false, 0, {125, 500, true}},
        HorizontalRow{"fromNothing", {0, 0, false}, 1052, 552, false, 0, {0, 500, true}},
        HorizontalRow{"asWideAsTheArea", {100, 400, true}, 552, 552, false, 0, {0, 0, false}},
        HorizontalRow{"narrower", {0, 0, false}, 300, 552, false, 0, {0, 0, false}},
        // While rendering the view follows the newest column.
        HorizontalRow{"renderingFollows", {0, 0, false}, 2000, 552, true, 800, {248, 1448, true}},
        HorizontalRow{"renderingNotYetWide", {0, 0, false}, 2000, 552, true, 300, {0, 1448, true}}),
    [](const ::testing::TestParamInfo<HorizontalRow>& row) { return std::string(row.param.name); });

struct VerticalRow {
  const char* name;
  ScrollAxis old;
  int fftOrder, imageHeight;
  ScrollAxis now;
};

class VerticalAfterResizeTest : public ::testing::TestWithParam<VerticalRow> {};

TEST_P(VerticalAfterResizeTest, RangeAndOffset) {
  const VerticalRow& r = GetParam();
  EXPECT_EQ(VerticalAfterResize(r.old, r.fftOrder, r.imageHeight), r.now);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VerticalAfterResizeTest,
    ::testing::Values(
        // 512 points in the default window: every row fits, nothing to scroll.
        VerticalRow{"n512", {0, 0, false}, 9, 300, {0, 0, false}},
        // From a range of 0 the view starts at the bottom: the lowest frequencies.
        VerticalRow{"n1024FromNothing", {0, 0, false}, 10, 300, {256, 256, true}},
        VerticalRow{"n2048FromNothing", {0, 0, false}, 11, 300, {768, 768, true}},
        // The kept fraction: a quarter of the way stays a quarter of the way.
        VerticalRow{"taller", {64, 256, true}, 10, 428, {32, 128, true}},
        VerticalRow{"bottomStaysBottom", {256, 256, true}, 11, 300, {768, 768, true}},
        VerticalRow{"tallEnough", {128, 256, true}, 10, 556, {0, 0, false}}),
    [](const ::testing::TestParamInfo<VerticalRow>& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------
// Scroll-bar actions.

struct StepRow {
  const char* name;
  int offset, range;
  ScrollRequest request;
  int thumb;
  int target;
};

class ScrollToTest : public ::testing::TestWithParam<StepRow> {};

TEST_P(ScrollToTest, MovesAndClamps) {
  const StepRow& r = GetParam();
  EXPECT_EQ(ScrollTo(r.offset, r.range, r.request, r.thumb), r.target);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScrollToTest,
    ::testing::Values(StepRow{"pageBackAt50LandsAt0", 50, 500, ScrollRequest::PageBack, 0, 0},
                      StepRow{"pageBack", 250, 500, ScrollRequest::PageBack, 0, 150},
                      StepRow{"pageForward", 250, 500, ScrollRequest::PageForward, 0, 350},
                      StepRow{"pageForwardStopsAtRange", 450, 500, ScrollRequest::PageForward, 0, 500},
                      StepRow{"lineForward", 10, 500, ScrollRequest::LineForward, 0, 14},
                      StepRow{"lineBack", 10, 500, ScrollRequest::LineBack, 0, 6},
                      StepRow{"lineBackAt2", 2, 500, ScrollRequest::LineBack, 0, 0},
                      StepRow{"lineForwardAtEnd", 498, 500, ScrollRequest::LineForward, 0, 500},
                      StepRow{"thumb", 10, 500, ScrollRequest::Thumb, 321, 321},
                      StepRow{"thumbPastRange", 10, 500, ScrollRequest::Thumb, 9999, 500},
                      StepRow{"thumbBelowZero", 10, 500, ScrollRequest::Thumb, -5, 0},
                      StepRow{"thumbBeyond16Bits", 0, 100000, ScrollRequest::Thumb, 70000, 70000},
                      StepRow{"noneKeeps", 77, 500, ScrollRequest::None, 3, 77},
                      StepRow{"nothingToScroll", 0, 0, ScrollRequest::PageForward, 0, 0}),
    [](const ::testing::TestParamInfo<StepRow>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace hl
