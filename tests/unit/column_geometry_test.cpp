#include "core/analysis/column_geometry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>

namespace hl {
namespace {

constexpr float kNaNf = std::numeric_limits<float>::quiet_NaN();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// ---------------------------------------------------------------------------
// Samples between columns.

struct StepRow {
  double rate;
  int channels;
  float timeScaleMs;
  int32_t expected;
};

void PrintTo(const StepRow& row, std::ostream* os) {
  *os << row.rate << " Hz x " << row.channels << " x " << row.timeScaleMs << " ms";
}

class ColumnStepTest : public ::testing::TestWithParam<StepRow> {};

TEST_P(ColumnStepTest, RoundsHalfUpThenKeepsWholeFrames) {
  const StepRow& row = GetParam();
  EXPECT_EQ(ColumnStep(row.rate, row.channels, row.timeScaleMs), row.expected)
      << row.rate << " Hz, " << row.channels << " channels, " << row.timeScaleMs << " ms";
}

INSTANTIATE_TEST_SUITE_P(
    Table, ColumnStepTest,
    ::testing::Values(
        StepRow{11025, 1, 12.0f, 132},  // 132.3 rounds down
        StepRow{11025, 1, 12.5f, 138},  // 137.8125 rounds up
        StepRow{4500, 1, 1.0f, 5},      // exactly 4.5 rounds up
        StepRow{44100, 2, 10.0f, 882},  // 882, even
        StepRow{11025, 2, 1.0f, 22},    // 22.05 -> 22, even
        StepRow{4500, 2, 1.5f, 14},     // 13.5 -> 14, even
        StepRow{11025, 2, 12.0f, 264},  // 264.6 -> 265, odd: lowered to 264
        StepRow{22050, 2, 12.0f, 528},  // 529.2 -> 529, odd: lowered to 528
        StepRow{5000, 2, 1.5f, 14},     // exactly 15, odd: lowered to 14
        StepRow{11025, 3, 2.0f, 66},    // 66.15 -> 66, a multiple of 3
        StepRow{4400, 3, 1.0f, 12},     // 13.2 -> 13, lowered to 12
        StepRow{4667, 3, 1.0f, 12},     // 14.001 -> 14, lowered to whole frames: 12
        StepRow{11025, 4, 1.06f, 44},    // 46.746 -> 47, lowered to 44 (not 46: mid-frame)
        StepRow{44100, 6, 12.0f, 3174},  // 3175.2 -> 3175, lowered to 3174 = 529 frames
        StepRow{4000, 4, 1.0f, 16},      // exactly 16, already whole frames
        StepRow{1000, 4, 1.0f, 4},       // exactly one frame
        StepRow{700, 4, 1.0f, 0},        // 2.8 -> 3, below one frame: no step
        // binary32: 34001 x 499 = 16966499 lies above 2^24, where floats are 2
        // apart; it is halfway and rounds to the even mantissa, 16966500.
        // / 1000 = 16966.5 exactly, which rounds up. (Exactly: 16966.499.)
        StepRow{34001, 1, 499.0f, 16967},
        // No step.
        StepRow{400, 1, 1.0f, 0},       // 0.4 rounds to 0
        StepRow{11025, 0, 12.0f, 0}, StepRow{11025, -2, 12.0f, 0},
        StepRow{0, 1, 12.0f, 0}, StepRow{11025, 1, -12.0f, 0},
        StepRow{11025, 1, kNaNf, 0}, StepRow{kNaN, 1, 12.0f, 0},
        StepRow{4.0e9, 65535, 500.0f, 0}));  // 1.3e14 does not fit in 32 bits

// Lowering an odd step by one kept 1- and 2-channel columns on whole frames only; with
// four channels every other column started on channel 2. Every step a geometry yields is
// now a whole number of frames, whatever the channel count.
TEST(ColumnStep, MoreThanTwoChannelsStartEveryColumnOnAWholeFrame) {
  for (int channels = 1; channels <= 8; ++channels) {
    for (float ms = 1.0f; ms <= 20.0f; ms += 0.01f) {
      const int32_t step = ColumnStep(11025, channels, ms);
      ASSERT_GT(step, 0) << channels << " channels, " << ms << " ms";
      EXPECT_EQ(step % channels, 0) << channels << " channels, " << ms << " ms";
    }
  }
}

// ---------------------------------------------------------------------------
// Column count.

struct CountRow {
  uint32_t byteCount;
  int bytesPerSample;
  int channels;
  int fftLength;
  int32_t step;
  int32_t expected;
};

void PrintTo(const CountRow& row, std::ostream* os) {
  *os << row.byteCount << " bytes, N " << row.fftLength << ", step " << row.step;
}

class ColumnCountTest : public ::testing::TestWithParam<CountRow> {};

TEST_P(ColumnCountTest, SamplesBeyondTheFirstFrameOverStep) {
  const CountRow& row = GetParam();
  EXPECT_EQ(ColumnCount(row.byteCount, row.bytesPerSample, row.channels, row.fftLength, row.step),
            row.expected)
      << row.byteCount << " bytes, " << row.bytesPerSample << " per sample, " << row.channels
      << " channels, N " << row.fftLength << ", step " << row.step;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ColumnCountTest,
    ::testing::Values(
        CountRow{22050, 2, 1, 512, 132, 79},     // (11025 - 512) / 132 = 79.6
        CountRow{176400, 2, 2, 1024, 882, 97},   // (88200 - 2048) / 882 = 97.7
        CountRow{2048, 1, 1, 512, 132, 11},      // (2048 - 512) / 132 = 11.6
        CountRow{644, 1, 1, 512, 132, 1},        // one step beyond one frame
        CountRow{643, 1, 1, 512, 132, 0},        // one byte short of it
        CountRow{2048, 1, 1, 2048, 8, 0},        // exactly one frame
        CountRow{100, 1, 1, 512, 132, 0},        // shorter than one frame
        CountRow{2049, 2, 1, 512, 1, 512},       // a lone last byte is no sample
        CountRow{4294967280u, 2, 2, 512, 882, 2434787},  // (2147483640 - 1024) / 882
        CountRow{0xFFFFFFFFu, 1, 1, 512, 1, std::numeric_limits<int32_t>::max()},
        // Guarded divisors and lengths.
        CountRow{22050, 2, 1, 512, 0, 0}, CountRow{22050, 2, 1, 512, -132, 0},
        CountRow{22050, 0, 1, 512, 132, 0}, CountRow{22050, 2, 0, 512, 132, 0},
        CountRow{22050, 2, 1, 0, 132, 0}));

// ---------------------------------------------------------------------------
// Planning a span: offsets, clipping and the geometry that follows.

// 1 s of 16-bit mono at 11025 Hz: 22050 bytes per second.
SpanRequest Mono16() {
  return SpanRequest{0.0, 1000.0, 11025, 1, 16, 22050, 12.0f, 46.439907f, 9};
}

struct PlanRow {
  const char* name;
  SpanRequest request;
  uint32_t beginOffset, endOffset, byteCount;
  double endMs;
  int32_t step, columnCount;
  Message refusal;
};

void PrintTo(const PlanRow& row, std::ostream* os) { *os << row.name; }

class PlanSpanTest : public ::testing::TestWithParam<PlanRow> {};

TEST_P(PlanSpanTest, OffsetsAndColumns) {
  const PlanRow& row = GetParam();
  SCOPED_TRACE(row.name);
  const ColumnGeometry g = PlanColumns(row.request);
  EXPECT_EQ(g.refusal, row.refusal);
  EXPECT_EQ(g.beginOffset, row.beginOffset);
  EXPECT_EQ(g.endOffset, row.endOffset);
  EXPECT_EQ(g.byteCount, row.byteCount);
  EXPECT_NEAR(g.endMs, row.endMs, 0.001);
  EXPECT_EQ(g.step, row.step);
  EXPECT_EQ(g.columnCount, row.columnCount);
}

INSTANTIATE_TEST_SUITE_P(
    Spans, PlanSpanTest,
    ::testing::Values(
        // Whole second: step 132, (11025 - 512) / 132 = 79 columns.
        PlanRow{"whole data", Mono16(), 0, 22050, 22050, 1000.0, 132, 79, Message::None},
        PlanRow{"end beyond the data is its end",
                SpanRequest{0.0, 5000.0, 11025, 1, 16, 22050, 12.0f, 46.439907f, 9},
                0, 22050, 22050, 1000.0, 132, 79, Message::None},
        PlanRow{"infinite end is the data's end",
                SpanRequest{0.0, kInf, 11025, 1, 16, 22050, 12.0f, 46.439907f, 9},
                0, 22050, 22050, 1000.0, 132, 79, Message::None},
        // 20 ms = 441 bytes, cut to 440; 500 ms = 11025 bytes, cut to 11024.
        // (5292 - 512) / 132 = 36.2.
        PlanRow{"offsets cut to whole 16-bit samples",
                SpanRequest{20.0, 500.0, 11025, 1, 16, 22050, 12.0f, 46.439907f, 9},
                440, 11024, 10584, 500.0, 132, 36, Message::None},
        // Stereo: 44100 bytes per second, 4-byte frames. 20 ms = 882 -> 880;
        // 700 ms = 30870 -> 30868. Step 264.6 -> 264; (14994 - 1024) / 264 = 52.9.
        PlanRow{"offsets cut to whole stereo frames",
                SpanRequest{20.0, 700.0, 11025, 2, 16, 44100, 12.0f, 46.439907f, 9},
                880, 30868, 29988, 700.0, 264, 52, Message::None},
        // 176403 bytes hold 44100 whole frames and 3 stray bytes, left out.
        // Step 882; (88200 - 1024) / 882 = 98.8.
        PlanRow{"partial last frame is not data",
                SpanRequest{0.0, 2000.0, 44100, 2, 16, 176403, 10.0f, 11.609977f, 9},
                0, 176400, 176400, 1000.0, 882, 98, Message::None},
        // 100000 bytes last 4535.147 ms; the dialog offers 4535, which is
        // 99996.75 bytes, short of the end by less than 1 ms: whole data.
        // (50000 - 512) / 132 = 374.9.
        PlanRow{"end less than 1 ms short is the data's end",
                SpanRequest{0.0, 4535.0, 11025, 1, 16, 100000, 12.0f, 46.439907f, 9},
                0, 100000, 100000, 4535.147, 132, 374, Message::None},
        // 4534 ms = 99974.7 bytes -> 99974, kept. (49987 - 512) / 132 = 374.8.
        PlanRow{"end a full ms short is kept",
                SpanRequest{0.0, 4534.0, 11025, 1, 16, 100000, 12.0f, 46.439907f, 9},
                0, 99974, 99974, 4534.0, 132, 374, Message::None},
        // 100 Hz stereo 16-bit: 400 bytes per second, so a 4-byte frame lasts
        // 10 ms. 9995 ms = 3998 bytes, inside the last frame (3996..4000): the
        // data's end. Step 2.4 -> 2; (2000 - 1024) / 2 = 488.
        PlanRow{"end inside the last frame is the data's end",
                SpanRequest{0.0, 9995.0, 100, 2, 16, 4000, 12.0f, 8.0f, 9},
                0, 4000, 4000, 10000.0, 2, 488, Message::None},
        // 9990 ms = 3996 bytes, the start of the last frame: kept.
        // (1998 - 1024) / 2 = 487.
        PlanRow{"end at the start of the last frame is kept",
                SpanRequest{0.0, 9990.0, 100, 2, 16, 4000, 12.0f, 8.0f, 9},
                0, 3996, 3996, 9990.0, 2, 487, Message::None}));

TEST(PlanColumnsTest, LargestDataPlansWithoutOverflow) {
  // 4 GB of 16-bit stereo at 44100 Hz, end far beyond it.
  const ColumnGeometry g =
      PlanColumns(SpanRequest{0.0, 1.0e9, 44100, 2, 16, 0xFFFFFFF0u, 10.0f, 11.609977f, 9});
  EXPECT_EQ(g.refusal, Message::None);
  EXPECT_EQ(g.beginOffset, 0u);
  EXPECT_EQ(g.endOffset, 0xFFFFFFF0u);
  EXPECT_EQ(g.byteCount, 0xFFFFFFF0u);
  EXPECT_EQ(g.step, 882);
  EXPECT_EQ(g.columnCount, 2434787);  // (4294967280 / 2 - 2 x 512) / 882 = 2434787.5
  // 4294967280 / 176400 x 1000 = 24347886.2 ms; binary32 values are 2 apart there.
  EXPECT_NEAR(g.endMs, 24347886.17, 2.0);
}

TEST(PlanColumnsTest, LargeBeginOffsetIsComputedWithoutOverflow) {
  // 24000000 ms x 176400 = 4.2336e12, which binary32 holds as 16149902 x 2^18
  // = 4233599909888; / 1000 = 4233599909.888 rounds (spacing 256) to
  // 16537500 x 256 = 4233600000, a whole number of 4-byte frames.
  const ColumnGeometry g = PlanColumns(
      SpanRequest{24000000.0, 1.0e9, 44100, 2, 16, 0xFFFFFFF0u, 10.0f, 11.609977f, 9});
  EXPECT_EQ(g.refusal, Message::None);
  EXPECT_EQ(g.beginOffset, 4233600000u);
  EXPECT_EQ(g.endOffset, 0xFFFFFFF0u);
  EXPECT_EQ(g.byteCount, 0xFFFFFFF0u - 4233600000u);
}

// ---------------------------------------------------------------------------
// Minimum span of 2048 bytes.

struct SizeRow {
  uint16_t bits;
  uint32_t dataLength;
  uint32_t byteCount;
  int32_t columnCount;
  Message refusal;
};

void PrintTo(const SizeRow& row, std::ostream* os) {
  *os << row.dataLength << " bytes of " << row.bits << "-bit";
}

class SpanSizeTest : public ::testing::TestWithParam<SizeRow> {};

TEST_P(SpanSizeTest, AtLeast2048Bytes) {
  const SizeRow& row = GetParam();
  const ColumnGeometry g = PlanColumns(
      SpanRequest{0.0, 1000.0, 11025, 1, row.bits, row.dataLength, 12.0f, 46.439907f, 9});
  EXPECT_EQ(g.refusal, row.refusal) << row.dataLength << " bytes of " << row.bits << "-bit";
  EXPECT_EQ(g.byteCount, row.byteCount);
  EXPECT_EQ(g.columnCount, row.columnCount);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, SpanSizeTest,
    ::testing::Values(
        SizeRow{8, 2047, 2047, 0, Message::SampleSizeTooSmall},
        SizeRow{8, 2048, 2048, 11, Message::None},    // (2048 - 512) / 132
        SizeRow{16, 2047, 2046, 0, Message::SampleSizeTooSmall},
        SizeRow{16, 2049, 2048, 3, Message::None}));  // (1024 - 512) / 132

// ---------------------------------------------------------------------------
// Refusals and their order.

struct RefusalRow {
  const char* name;
  SpanRequest request;
  Message refusal;
};

void PrintTo(const RefusalRow& row, std::ostream* os) { *os << row.name; }

class RefusalTest : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(RefusalTest, FirstFailedCheckWins) {
  const RefusalRow& row = GetParam();
  EXPECT_EQ(PlanColumns(row.request).refusal, row.refusal) << row.name;
}

SpanRequest With(double beginMs, double endMs, float timeScaleMs, float windowMs) {
  SpanRequest r = Mono16();
  r.beginMs = beginMs;
  r.endMs = endMs;
  r.timeScaleMs = timeScaleMs;
  r.windowMs = windowMs;
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RefusalTest,
    ::testing::Values(
        // Time scale, 1.0..500.0. At 500 ms: 5512.5 -> 5513, (11025 - 512) / 5513 = 1.
        RefusalRow{"time scale 1.0", With(0, 1000, 1.0f, 8.0f), Message::None},
        RefusalRow{"time scale 500.0", With(0, 1000, 500.0f, 8.0f), Message::None},
        RefusalRow{"time scale 0.5", With(0, 1000, 0.5f, 8.0f), Message::TimeScaleOutOfRange},
        RefusalRow{"time scale 500.5", With(0, 1000, 500.5f, 8.0f),
                   Message::TimeScaleOutOfRange},
        // Window.
        RefusalRow{"window 1.0", With(0, 1000, 12.0f, 1.0f), Message::None},
        RefusalRow{"window 0.99", With(0, 1000, 12.0f, 0.99f), Message::FftWindowTooSmall},
        RefusalRow{"window not a number", With(0, 1000, 12.0f, kNaNf),
                   Message::FftWindowTooSmall},
        // Begin and end.
        RefusalRow{"negative begin", With(-1, 1000, 12.0f, 8.0f), Message::ImproperBeginOrEnd},
        RefusalRow{"begin at the data's end", With(1000, 2000, 12.0f, 8.0f),
                   Message::ImproperBeginOrEnd},
        RefusalRow{"begin beyond the data", With(1.0e12, 2.0e12, 12.0f, 8.0f),
                   Message::ImproperBeginOrEnd},
        RefusalRow{"end equal to begin", With(500, 500, 12.0f, 8.0f),
                   Message::ImproperBeginOrEnd},
        RefusalRow{"end before begin", With(500, 400, 12.0f, 8.0f),
                   Message::ImproperBeginOrEnd},
        RefusalRow{"negative end", With(0, -5, 12.0f, 8.0f), Message::ImproperBeginOrEnd},
        RefusalRow{"begin not a number", With(kNaN, 1000, 12.0f, 8.0f),
                   Message::ImproperBeginOrEnd},
        RefusalRow{"end not a number", With(0, kNaN, 12.0f, 8.0f),
                   Message::ImproperBeginOrEnd},
        // Size: 40 ms = 882 bytes; 92 ms = 2028.6 -> 2028; 93 ms = 2050.65 -> 2050.
        RefusalRow{"40 ms", With(0, 40, 12.0f, 8.0f), Message::SampleSizeTooSmall},
        RefusalRow{"92 ms", With(0, 92, 12.0f, 8.0f), Message::SampleSizeTooSmall},
        RefusalRow{"93 ms", With(0, 93, 12.0f, 8.0f), Message::None},
        // Begin just inside the last ms: 999.99 ms = 22049.8 -> 22048, 2 bytes.
        RefusalRow{"begin in the last sample", With(999.99, 1000, 12.0f, 8.0f),
                   Message::SampleSizeTooSmall},
        // Order: time scale, window, span, size.
        RefusalRow{"all wrong", With(-1, -5, 0.5f, 0.0f), Message::TimeScaleOutOfRange},
        RefusalRow{"window and span wrong", With(-1, -5, 12.0f, 0.0f),
                   Message::FftWindowTooSmall},
        RefusalRow{"span and size wrong", With(500, 500, 12.0f, 8.0f),
                   Message::ImproperBeginOrEnd},
        // Column geometry. 400 Hz, 1 ms: 0.4 samples per column.
        RefusalRow{"step rounds to 0", SpanRequest{0, 1.0e6, 400, 1, 16, 22050, 1.0f, 8.0f, 9},
                   Message::ImproperEntry},
        // 2048-point FFT over 2048 16-bit samples: no column beyond the first frame;
        // 132 samples more give one.
        RefusalRow{"span of one FFT frame",
                   SpanRequest{0, 1.0e6, 11025, 1, 16, 4096, 12.0f, 8.0f, 11},
                   Message::TimeScaleTooSmall},
        RefusalRow{"span of one frame and one step",
                   SpanRequest{0, 1.0e6, 11025, 1, 16, 4096 + 264, 12.0f, 8.0f, 11},
                   Message::None},
        // The rate itself is checked by the parameters command, not here.
        RefusalRow{"rate above 44100",
                   SpanRequest{0, 1000, 48000, 1, 16, 96000, 12.0f, 8.0f, 9}, Message::None},
        // Formats that cannot be measured.
        RefusalRow{"rate 0", SpanRequest{0, 1000, 0, 1, 16, 22050, 12.0f, 8.0f, 9},
                   Message::ImproperEntry},
        RefusalRow{"0 channels", SpanRequest{0, 1000, 11025, 0, 16, 22050, 12.0f, 8.0f, 9},
                   Message::ImproperEntry},
        RefusalRow{"0 bits", SpanRequest{0, 1000, 11025, 1, 0, 22050, 12.0f, 8.0f, 9},
                   Message::ImproperEntry},
        RefusalRow{"12 bits", SpanRequest{0, 1000, 11025, 1, 12, 22050, 12.0f, 8.0f, 9},
                   Message::ImproperEntry},
        RefusalRow{"24 bits", SpanRequest{0, 1000, 11025, 1, 24, 22050, 12.0f, 8.0f, 9},
                   Message::ImproperEntry},
        RefusalRow{"FFT order 8", SpanRequest{0, 1000, 11025, 1, 16, 22050, 12.0f, 8.0f, 8},
                   Message::ImproperEntry},
        RefusalRow{"FFT order 12", SpanRequest{0, 1000, 11025, 1, 16, 22050, 12.0f, 8.0f, 12},
                   Message::ImproperEntry},
        RefusalRow{"FFT order 40", SpanRequest{0, 1000, 11025, 1, 16, 22050, 12.0f, 8.0f, 40},
                   Message::ImproperEntry},
        RefusalRow{"empty data", SpanRequest{0, 1000, 11025, 1, 16, 0, 12.0f, 8.0f, 9},
                   Message::ImproperBeginOrEnd}));

TEST(PlanColumnsTest, FormatRefusalLeavesNothingToRead) {
  const ColumnGeometry g =
      PlanColumns(SpanRequest{0, 1000, 11025, 0, 16, 22050, 12.0f, 8.0f, 9});
  EXPECT_EQ(g.refusal, Message::ImproperEntry);
  EXPECT_EQ(g.byteCount, 0u);
  EXPECT_EQ(g.endOffset, 0u);
  EXPECT_EQ(g.columnCount, 0);
}

TEST(PlanColumnsTest, SpanIsMeasuredBeforeTheChecks) {
  // The memory budget is applied to the byte count ahead of the checks, so
  // the count is there even when the time scale is refused.
  const ColumnGeometry g = PlanColumns(With(20, 500, 0.5f, 8.0f));
  EXPECT_EQ(g.refusal, Message::TimeScaleOutOfRange);
  EXPECT_EQ(g.beginOffset, 440u);
  EXPECT_EQ(g.endOffset, 11024u);
  EXPECT_EQ(g.byteCount, 10584u);
  EXPECT_EQ(g.step, 0);
}

// ---------------------------------------------------------------------------
// FFT length and bitmap height: N / 2 rows of bins under the 44-row margin.

struct HeightRow {
  int order;
  int fftLength;
  int bitmapHeight;
  int32_t columnCount;
};

void PrintTo(const HeightRow& row, std::ostream* os) { *os << "order " << row.order; }

class BitmapHeightTest : public ::testing::TestWithParam<HeightRow> {};

TEST_P(BitmapHeightTest, HalfTheFftPlusMargin) {
  SpanRequest r = Mono16();
  r.fftOrder = GetParam().order;
  const ColumnGeometry g = PlanColumns(r);
  EXPECT_EQ(g.refusal, Message::None);
  EXPECT_EQ(g.fftLength, GetParam().fftLength);
  EXPECT_EQ(g.bitmapHeight, GetParam().bitmapHeight);
  EXPECT_EQ(g.columnCount, GetParam().columnCount);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, BitmapHeightTest,
    ::testing::Values(HeightRow{9, 512, 300, 79},     // (11025 - 512) / 132 = 79.6
                      HeightRow{10, 1024, 556, 75},   // (11025 - 1024) / 132 = 75.8
                      HeightRow{11, 2048, 1068, 68}));  // (11025 - 2048) / 132 = 68.0

}  // namespace
}  // namespace hl
