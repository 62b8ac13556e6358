#include "core/analysis/file_analysis.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "core/analysis/parameters_dialog.h"

namespace hl {
namespace {

// 1 s of 16-bit mono at 11025 Hz (22050 bytes), the whole of it, at the defaults.
SpanRequest OneSecond() { return SpanRequest{0.0, 1000.0, 11025, 1, 16, 22050, 12.0f, 46.439907f, 9}; }

// ---------------------------------------------------------------------------
// "&Change": which message a re-analysis gets, in the command's own order.

struct ChangeRow {
  const char* name;
  SpanRequest request;
  Message expected;
};

void PrintTo(const ChangeRow& r, std::ostream* os) { *os << r.name; }

class ReanalysisCheckTest : public ::testing::TestWithParam<ChangeRow> {};

TEST_P(ReanalysisCheckTest, FirstFailedCheckInOrder) {
  EXPECT_EQ(PlanReanalysis(GetParam().request).refusal, GetParam().expected);
}

SpanRequest With(SpanRequest r, double beginMs, double endMs, uint32_t rate, float timeScale, float window,
                 uint32_t dataLength = 22050) {
  r.beginMs = beginMs;
  r.endMs = endMs;
  r.sampleRate = rate;
  r.timeScaleMs = timeScale;
  r.windowMs = window;
  r.dataLength = dataLength;
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Order, ReanalysisCheckTest,
    ::testing::Values(
        ChangeRow{"accepted", OneSecond(), Message::None},
        // Begin and end come first, before every other fault.
        ChangeRow{"begin beyond the data, everything else wrong too",
                  With(OneSecond(), 5000.0, 6000.0, 3999, 0.5f, 0.5f), Message::ImproperBeginOrEnd},
        ChangeRow{"end before begin, rate wrong", With(OneSecond(), 100.0, 50.0, 44101, 12.0f, 8.0f),
                  Message::ImproperBeginOrEnd},
        ChangeRow{"end equal to begin", With(OneSecond(), 500.0, 500.0, 11025, 12.0f, 8.0f),
                  Message::ImproperBeginOrEnd},
        // Then the rate, before the time scale (the new-file checks would name the time
        // scale first).
        ChangeRow{"rate 3999 and time scale 0.5", With(OneSecond(), 0.0, 1000.0, 3999, 0.5f, 8.0f),
                  Message::SampleRateOutOfRange},
        ChangeRow{"rate 44101 and window 0.5", With(OneSecond(), 0.0, 1000.0, 44101, 12.0f, 0.5f),
                  Message::SampleRateOutOfRange},
        // Then time scale, window, size.
        ChangeRow{"time scale and window", With(OneSecond(), 0.0, 1000.0, 11025, 500.5f, 0.5f),
                  Message::TimeScaleOutOfRange},
        ChangeRow{"window and size", With(OneSecond(), 0.0, 10.0, 11025, 12.0f, 0.5f),
                  Message::FftWindowTooSmall},
        // 10 ms of 16-bit mono at 11025 Hz are 220 bytes.
        ChangeRow{"size", With(OneSecond(), 0.0, 10.0, 11025, 12.0f, 8.0f), Message::SampleSizeTooSmall},
        // Boundaries of the rate and the time scale.
        ChangeRow{"rate 4000", With(OneSecond(), 0.0, 1000.0, 4000, 12.0f, 8.0f), Message::None},
        ChangeRow{"rate 44100", With(OneSecond(), 0.0, 100.0, 44100, 12.0f, 8.0f), Message::None},
        ChangeRow{"rate 3999", With(OneSecond(), 0.0, 1000.0, 3999, 12.0f, 8.0f), Message::SampleRateOutOfRange},
        ChangeRow{"rate 44101", With(OneSecond(), 0.0, 100.0, 44101, 12.0f, 8.0f), Message::SampleRateOutOfRange},
        ChangeRow{"time scale 1.0", With(OneSecond(), 0.0, 1000.0, 11025, 1.0f, 8.0f), Message::None},
        ChangeRow{"time scale 500.0", With(OneSecond(), 0.0, 1000.0, 11025, 500.0f, 8.0f), Message::None},
        ChangeRow{"time scale 0.5", With(OneSecond(), 0.0, 1000.0, 11025, 0.5f, 8.0f),
                  Message::TimeScaleOutOfRange},
        ChangeRow{"time scale 500.5", With(OneSecond(), 0.0, 1000.0, 11025, 500.5f, 8.0f),
                  Message::TimeScaleOutOfRange},
        // 2048 bytes pass, 2047 do not (16-bit mono at 11025 Hz: 2048 bytes last
        // 92.88 ms; data of 2047 bytes holds 2046 bytes of whole samples).
        ChangeRow{"2048 bytes", With(OneSecond(), 0.0, 93.0, 11025, 12.0f, 8.0f, 2048), Message::None},
        ChangeRow{"2047 bytes", With(OneSecond(), 0.0, 93.0, 11025, 12.0f, 8.0f, 2047),
                  Message::SampleSizeTooSmall},
        // A span that passes every check but is shorter than one 2048-point frame.
        ChangeRow{"no column", [] {
                    SpanRequest r = With(OneSecond(), 0.0, 93.0, 11025, 12.0f, 8.0f, 2048);
                    r.fftOrder = 11;
                    return r;
                  }(),
                  Message::TimeScaleTooSmall}));

TEST(ReanalysisCheckTest, AcceptedPlanIsTheNewFilePlan) {
  const SpanRequest r = With(OneSecond(), 20.0, 500.0, 11025, 12.0f, 8.0f);
  const ColumnGeometry change = PlanReanalysis(r);
  const ColumnGeometry file = PlanColumns(r);
  EXPECT_EQ(change.refusal, Message::None);
  EXPECT_EQ(change.beginOffset, 440u);  // 20 ms = 441 bytes, cut to a whole sample
  EXPECT_EQ(change.endOffset, file.endOffset);
  EXPECT_EQ(change.byteCount, file.byteCount);
  EXPECT_EQ(change.step, 132);
  EXPECT_EQ(change.columnCount, file.columnCount);
}

TEST(ReanalysisCheckTest, StepFollowsTheTimeScale) {
  // 11025 Hz mono: 12.0 ms is 132.3 samples (132), 12.5 ms is 137.8 (138).
  EXPECT_EQ(PlanReanalysis(With(OneSecond(), 0, 1000, 11025, 12.0f, 8.0f)).step, 132);
  EXPECT_EQ(PlanReanalysis(With(OneSecond(), 0, 1000, 11025, 12.5f, 8.0f)).step, 138);
}

// ---------------------------------------------------------------------------
// Memory budget.

TEST(MemoryCheckTest, SpanAloneAgainstTheBudget) {
  EXPECT_FALSE(SpanExceedsBudget(3670016, 3670016));
  EXPECT_TRUE(SpanExceedsBudget(3670017, 3670016));
  EXPECT_FALSE(SpanExceedsBudget(0, 0));
}

struct ImageRow {
  int height, width;
  uint32_t bytes;
  uint64_t budget;
  bool exceeds;
};

class ImageBudgetTest : public ::testing::TestWithParam<ImageRow> {};

TEST_P(ImageBudgetTest, BitmapPlusSamples) {
  const ImageRow& r = GetParam();
  EXPECT_EQ(ImageExceedsBudget(r.height, r.width, r.bytes, r.budget), r.exceeds);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ImageBudgetTest,
    ::testing::Values(
        // 300 x 1280 = 384000 pixels and 10000 bytes of samples: 394000.
        ImageRow{300, 1280, 10000, 394000, false}, ImageRow{300, 1280, 10000, 393999, true},
        // 1068 x 4,100,000 = 4,378,800,000 pixels, more than 32 bits hold: it must not wrap
        // round to a small number that fits.
        ImageRow{1068, 4100000, 0, 4000000000ull, true}, ImageRow{1068, 4100000, 0, 5000000000ull, false},
        ImageRow{1068, 4100000, 0xFFFFFFFFu, 4378800000ull + 0xFFFFFFFFull, false}));

TEST(DisplayBitmapWidthTest, NeverNarrowerThanTheScreen) {
  EXPECT_EQ(DisplayBitmapWidth(79, 1280), 1280);
  EXPECT_EQ(DisplayBitmapWidth(1280, 1280), 1280);
  EXPECT_EQ(DisplayBitmapWidth(50000, 1280), 50000);
}

// ---------------------------------------------------------------------------
// FFT-size commands and the window height they ask for.

TEST(FftSizeCommandTest, OrderAndCommandCorrespond) {
  EXPECT_EQ(FftSizeOfOrder(9), FftSize::Fft512);
  EXPECT_EQ(FftSizeOfOrder(10), FftSize::Fft1024);
  EXPECT_EQ(FftSizeOfOrder(11), FftSize::Fft2048);
  for (int order : {9, 10, 11}) EXPECT_EQ(FftOrderOfChoice(FftSizeOfOrder(order)), order);
  EXPECT_EQ(FftSizeOfOrder(0), FftSize::Fft512);
}

struct HeightRow {
  int current, order, expected;
};

class PreferredHeightTest : public ::testing::TestWithParam<HeightRow> {};

// A default height of 440 pixels.
TEST_P(PreferredHeightTest, DefaultPlusHalfTheFftLessTheSmallestNeverTaller) {
  const HeightRow& r = GetParam();
  EXPECT_EQ(PreferredWindowHeight(440, r.current, r.order), r.expected) << r.current << ", order " << r.order;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PreferredHeightTest,
    ::testing::Values(HeightRow{1300, 9, 440}, HeightRow{1300, 10, 696}, HeightRow{1300, 11, 1208},
                      // A window already shorter than the preferred height keeps its height.
                      HeightRow{600, 10, 600}, HeightRow{600, 11, 600}, HeightRow{440, 10, 440},
                      // Never below the default height.
                      HeightRow{300, 9, 440}, HeightRow{300, 11, 440}));

TEST(PreferredHeightTest, CentredTop) {
  EXPECT_EQ(CentredTop(1024, 440), 292);
  EXPECT_EQ(CentredTop(768, 1208), -220);
}

// ---------------------------------------------------------------------------
// Screen updates while rendering.

struct UpdateRow {
  int x, imageWidth;
  bool copy;
  int sourceX, destX, width;
  bool scroll;
  int scrollPosition;
};

void PrintTo(const UpdateRow& r, std::ostream* os) { *os << "x " << r.x << ", width " << r.imageWidth; }

class ScreenUpdateTest : public ::testing::TestWithParam<UpdateRow> {};

TEST_P(ScreenUpdateTest, EveryFourthColumn) {
  const UpdateRow& r = GetParam();
  const ScreenUpdate u = ScreenUpdateAt(r.x, r.imageWidth);
  EXPECT_EQ(u.copy, r.copy);
  if (!r.copy) return;
  EXPECT_EQ(u.sourceX, r.sourceX);
  EXPECT_EQ(u.destX, r.destX);
  EXPECT_EQ(u.width, r.width);
  EXPECT_EQ(u.scroll, r.scroll);
  if (r.scroll) {
    EXPECT_EQ(u.scrollPosition, r.scrollPosition);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Columns, ScreenUpdateTest,
    ::testing::Values(UpdateRow{0, 552, false, 0, 0, 0, false, 0}, UpdateRow{3, 552, false, 0, 0, 0, false, 0},
                      UpdateRow{5, 552, false, 0, 0, 0, false, 0},
                      // Inside the image area: the four columns before x, in place.
                      UpdateRow{4, 552, true, 0, 0, 4, false, 0}, UpdateRow{100, 552, true, 96, 96, 4, false, 0},
                      UpdateRow{552, 552, true, 548, 548, 4, false, 0},
                      // Beyond it: the newest 552 columns at the left edge, scrolled.
                      UpdateRow{556, 552, true, 4, 0, 552, true, 4},
                      UpdateRow{50000, 552, true, 49448, 0, 552, true, 49448},
                      UpdateRow{8, 0, false, 0, 0, 0, false, 0}));

// Columns drawn several at a time: one copy must leave the screen as the per-column updates
// would. The screen is simulated as the bitmap column each image-area column shows.
struct SimulatedScreen {
  std::vector<int> shows;
  int scrollPosition = 0;
  explicit SimulatedScreen(int width) : shows(static_cast<size_t>(width), -1) {}
  void Apply(const ScreenUpdate& u) {
    if (!u.copy) return;
    for (int i = 0; i < u.width; ++i) shows[static_cast<size_t>(u.destX + i)] = u.sourceX + i;
    if (u.scroll) scrollPosition = u.scrollPosition;
  }
  bool operator==(const SimulatedScreen& o) const {
    return shows == o.shows && scrollPosition == o.scrollPosition;
  }
};

class MergedScreenUpdateTest : public ::testing::TestWithParam<int> {};

TEST_P(MergedScreenUpdateTest, OneCopyPerRunEqualsTheUpdatesOfEachColumn) {
  const int width = GetParam();
  for (int run : {1, 3, 4, 5, 8, 32, 33, 100}) {
    SimulatedScreen perColumn(width), merged(width);
    for (int first = 0; first < 3 * width; first += run) {
      const int last = first + run - 1;
      for (int x = first; x <= last; ++x) perColumn.Apply(ScreenUpdateAt(x, width));
      merged.Apply(ScreenUpdateForColumns(first, last, width));
      ASSERT_TRUE(merged == perColumn) << "width " << width << ", runs of " << run << ", columns " << first
                                       << ".." << last;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ImageAreaWidths, MergedScreenUpdateTest, ::testing::Values(8, 37, 552, 553, 554, 555));

TEST(MergedScreenUpdateTest, NothingDueNothingCopied) {
  EXPECT_FALSE(ScreenUpdateForColumns(0, 3, 552).copy);
  EXPECT_FALSE(ScreenUpdateForColumns(5, 7, 552).copy);
  EXPECT_FALSE(ScreenUpdateForColumns(9, 8, 552).copy);
  EXPECT_FALSE(ScreenUpdateForColumns(0, 100, 0).copy);
  // Columns 0..31 drawn at once: the updates at 4..28 copy columns 0..27 in place.
  const ScreenUpdate u = ScreenUpdateForColumns(0, 31, 552);
  EXPECT_TRUE(u.copy);
  EXPECT_EQ(u.sourceX, 0);
  EXPECT_EQ(u.destX, 0);
  EXPECT_EQ(u.width, 28);
  EXPECT_FALSE(u.scroll);
}

// ---------------------------------------------------------------------------
// Data length after a stopped render.

struct ScaleRow {
  uint32_t dataLength;
  int32_t planned, drawn;
  uint32_t expected;
};

class ScaledDataLengthTest : public ::testing::TestWithParam<ScaleRow> {};

TEST_P(ScaledDataLengthTest, ShareOfTheColumnsDrawn) {
  const ScaleRow& r = GetParam();
  EXPECT_EQ(ScaledDataLength(r.dataLength, r.planned, r.drawn), r.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScaledDataLengthTest,
    ::testing::Values(
        // 22050 / 79 = 279.1139 bytes per column; 10 columns: 2791.14.
        ScaleRow{22050, 79, 10, 2791}, ScaleRow{22050, 79, 1, 279}, ScaleRow{22050, 79, 78, 21770},
        // 1000 / 4 x 3 = 750 exactly.
        ScaleRow{1000, 4, 3, 750},
        // A complete run keeps its length, even where the quotient is not exact.
        ScaleRow{22050, 79, 79, 22050}, ScaleRow{1000, 3, 3, 1000}, ScaleRow{4294967295u, 49999, 49999, 4294967295u},
        // 10 minutes at 44.1 kHz 16-bit mono, 50113 columns, stopped after 12345:
        // 52920000 / 50113 x 12345 = 13036485.5.
        ScaleRow{52920000, 50113, 12345, 13036485},
        ScaleRow{22050, 0, 5, 22050}));

}  // namespace
}  // namespace hl
