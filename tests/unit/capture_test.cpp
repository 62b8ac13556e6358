#include "core/sound/capture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/analysis/file_analysis.h"
#include "core/files/wave_format.h"

namespace hl {
namespace {

// ---------------------------------------------------------------------------
// Block sizes.

struct HalfRow {
  int32_t rate;
  int32_t bytesPerSample;
  int32_t seconds;
  int32_t bytesPerHalf;
};

class CaptureHalfSizeTest : public ::testing::TestWithParam<HalfRow> {};

TEST_P(CaptureHalfSizeTest, SecondsSamplesAndBytesPerHalf) {
  const HalfRow& row = GetParam();
  const HalfSizes h = ComputeHalfSizes(row.rate, row.bytesPerSample);
  EXPECT_EQ(h.seconds, row.seconds);
  EXPECT_EQ(h.samplesPerHalf, row.seconds * row.rate);
  EXPECT_EQ(h.bytesPerHalf, row.bytesPerHalf);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CaptureHalfSizeTest,
    ::testing::Values(HalfRow{44100, 2, 4, 352800},     // 352800 / 88200
                      HalfRow{44100, 1, 8, 352800},     // 352800 / 44100
                      HalfRow{22050, 2, 8, 352800},
                      HalfRow{11025, 2, 16, 352800},
                      HalfRow{11025, 1, 32, 352800},
                      HalfRow{5513, 1, 63, 347319},     // 352800 / 5513 = 63.99 -> 63
                      HalfRow{5513, 2, 31, 341806},     // 352800 / 11026 = 31.99 -> 31
                      HalfRow{200000, 2, 2, 800000},    // 0 s raised to the minimum of 2
                      HalfRow{100000, 2, 2, 400000}));  // 1 s raised to 2

TEST(CaptureSizeTest, LiveBlockAt44100Hz16BitHoldsTwoHalvesAndTheHeader) {
  const HalfSizes h = ComputeHalfSizes(44100, 2);
  EXPECT_EQ(2u * static_cast<uint32_t>(h.bytesPerHalf) + kWaveHeaderLength, 705646u);
}

TEST(CaptureSizeTest, FixedRecordingBlocks) {
  EXPECT_EQ(FixedRecordingBytes(10, 22050, 2) + kWaveHeaderLength, 441046u);
  EXPECT_EQ(FixedRecordingBytes(10, 22050, 2), 441000u);
  EXPECT_EQ(FixedRecordingBytes(30, 44100, 2) + kWaveHeaderLength, 2646046u);
  EXPECT_EQ(FixedRecordingBytes(20, 5513, 1), 110260u);
}

TEST(CaptureSizeTest, ChoicesMapToRatesAndSeconds) {
  EXPECT_EQ(CaptureRateOfChoice(RateChoice::Rate5k), 5513);
  EXPECT_EQ(CaptureRateOfChoice(RateChoice::Rate11k), 11025);
  EXPECT_EQ(CaptureRateOfChoice(RateChoice::Rate22k), 22050);
  EXPECT_EQ(CaptureRateOfChoice(RateChoice::Rate44k), 44100);
  EXPECT_EQ(RecordSecondsOfChoice(RecordLength::Seconds10), 10);
  EXPECT_EQ(RecordSecondsOfChoice(RecordLength::Seconds20), 20);
  EXPECT_EQ(RecordSecondsOfChoice(RecordLength::Seconds30), 30);
  EXPECT_EQ(RecordSecondsOfChoice(RecordLength::Any), 0);
}

TEST(CaptureSizeTest, TimeScaleIsTheLengthOf512Samples) {
  EXPECT_NEAR(CaptureTimeScale(5513), 92.87f, 0.005f);
  EXPECT_NEAR(CaptureTimeScale(11025), 46.44f, 0.005f);
  EXPECT_NEAR(CaptureTimeScale(22050), 23.22f, 0.005f);
  EXPECT_NEAR(CaptureTimeScale(44100), 11.61f, 0.005f);
}

struct ColumnRow {
  int32_t rate;
  float columnMs;
  int32_t samplesPerColumn;
};

class CaptureSamplesPerColumnTest : public ::testing::TestWithParam<ColumnRow> {};

TEST_P(CaptureSamplesPerColumnTest, RoundsHalfUp) {
  const ColumnRow& row = GetParam();
  EXPECT_EQ(SamplesPerColumn(row.rate, row.columnMs), row.samplesPerColumn);
}

INSTANTIATE_TEST_SUITE_P(Table, CaptureSamplesPerColumnTest,
                         ::testing::Values(ColumnRow{22050, 10.0f, 221},  // 220.5 rounds up
                                           ColumnRow{44100, 10.0f, 441},
                                           ColumnRow{5513, 10.0f, 55},    // 55.13
                                           ColumnRow{11025, 10.0f, 110},  // 110.25
                                           ColumnRow{11025, 10.5f, 116},  // 115.76
                                           ColumnRow{22050, 10.2f, 225}));  // 224.91

TEST(CaptureSizeTest, PlannedColumnsLeaveRoomForTheLastFrame) {
  // 10 s at 22050 Hz, 221 samples a column: (220500 - 512) / 221 = 995.42.
  EXPECT_EQ(PlannedColumns(220500, 221), 995);
  EXPECT_EQ(PlannedColumns(1323000, 441), 2998);  // 30 s at 44100 Hz
  EXPECT_EQ(PlannedColumns(512, 221), 0);
  EXPECT_EQ(PlannedColumns(100, 221), 0);  // fewer samples than one frame
  EXPECT_EQ(PlannedColumns(220500, 0), 0);
}

TEST(CaptureSizeTest, HeaderPatchWritesBothLengths) {
  std::vector<uint8_t> header(kWaveHeaderLength);
  WriteWaveHeader(header.data(), WaveFormat{1, 1, 22050, 16}, 0);
  const std::vector<uint8_t> before = header;
  PatchRecordingHeader(header.data(), 441000);
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(header[at]) | (static_cast<uint32_t>(header[at + 1]) << 8) |
           (static_cast<uint32_t>(header[at + 2]) << 16) | (static_cast<uint32_t>(header[at + 3]) << 24);
  };
  EXPECT_EQ(u32(4), 441038u);   // total + 46 - 8
  EXPECT_EQ(u32(42), 441000u);  // data length
  for (size_t i = 0; i < header.size(); ++i) {
    if ((i >= 4 && i < 8) || i >= 42) continue;
    EXPECT_EQ(header[i], before[i]) << "byte " << i << " changed";
  }
  EXPECT_EQ(u32(24), 22050u);
  EXPECT_EQ(u32(28), 44100u);  // bytes per second
}

// The recording's file stays within 4 GiB: 46 header bytes and at most 0xFFFFFFFF - 46
// sample bytes, so neither the RIFF length (data + 38) nor the data length wraps.
TEST(RecordingLimitTest, AWholeHalfFitsUntilTheLimit) {
  EXPECT_EQ(kRecordingDataLimit, 0xFFFFFFFFull - 46);
  EXPECT_EQ(RecordingBytesThatFit(0, 352800, 2), 352800u);
  EXPECT_EQ(RecordingBytesThatFit(kRecordingDataLimit - 352800, 352800, 2), 352800u);
}

TEST(RecordingLimitTest, TheHalfThatWouldPassTheLimitIsCutToWholeSamples) {
  // 4294967249 - 4294967000 = 249 bytes of room: 124 16-bit samples, 249 8-bit ones.
  EXPECT_EQ(RecordingBytesThatFit(4294967000ull, 352800, 2), 248u);
  EXPECT_EQ(RecordingBytesThatFit(4294967000ull, 352800, 1), 249u);
  EXPECT_EQ(RecordingBytesThatFit(kRecordingDataLimit, 352800, 2), 0u);
  EXPECT_EQ(RecordingBytesThatFit(kRecordingDataLimit + 1000, 2, 1), 0u);
}

// Regression: the count of bytes written was 32 bits and wrapped after 4 GiB, so a long
// recording's header claimed a few bytes and the next write went on past the limit.
TEST(RecordingLimitTest, ACountBeyond32BitsIsNotTakenAsRoom) {
  EXPECT_EQ(RecordingBytesThatFit(0x100000000ull + 10, 352800, 2), 0u);
}

TEST(RecordingLimitTest, TheLastFittingHeaderKeepsBothLengthsTrue) {
  const uint32_t fits = RecordingBytesThatFit(kRecordingDataLimit - 101, 352800, 2);
  const uint64_t total = kRecordingDataLimit - 101 + fits;
  std::vector<uint8_t> header(kWaveHeaderLength);
  WriteWaveHeader(header.data(), WaveFormat{1, 1, 44100, 16}, 0);
  PatchRecordingHeader(header.data(), static_cast<uint32_t>(total));
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(header[at]) | (static_cast<uint32_t>(header[at + 1]) << 8) |
           (static_cast<uint32_t>(header[at + 2]) << 16) | (static_cast<uint32_t>(header[at + 3]) << 24);
  };
  EXPECT_EQ(u32(42), total);
  EXPECT_EQ(u32(4), total + 38);
  EXPECT_EQ(total % 2, 0u);
}

// ---------------------------------------------------------------------------
// The window of a column.

struct StartRow {
  double nowMs, switchMs;
  int32_t latencyMs, rate;
  int32_t p;
};

class CaptureWindowStartTest : public ::testing::TestWithParam<StartRow> {};

TEST_P(CaptureWindowStartTest, FromTheClockLessTheLatency) {
  const StartRow& r = GetParam();
  EXPECT_EQ(WindowStart(r.nowMs, r.switchMs, r.latencyMs, r.rate), r.p);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CaptureWindowStartTest,
    ::testing::Values(StartRow{1000, 0, 0, 11025, 11025 - 512},   // latency 0: ends at the write position
                      StartRow{1000, 0, 250, 11025, 8268 - 512},  // 750 ms -> 8268.75, truncated
                      StartRow{1000, 0, 60, 44100, 41454 - 512},
                      StartRow{5000, 4990, 60, 22050, -1102 - 512},  // 50 ms behind the switch
                      StartRow{5000, 4950, 0, 5513, 275 - 512},      // 275.65 -> 275
                      StartRow{100, 100, 0, 11025, -512}));

TEST(CaptureWindowLimitTest, TheCardsPositionHoldsTheWindowBack) {
  // On time: the card is at least where the clock says, and the clock's p stays.
  // 60 ms at 11025 Hz is 661.5 samples: the card at 10000 allows p up to 9338 - 512.
  EXPECT_EQ(LimitWindowToCard(8826, 10000, 60, 11025), 8826);
  EXPECT_EQ(LimitWindowToCard(8827, 10000, 60, 11025), 8826);
  EXPECT_EQ(LimitWindowToCard(500, 100000, 60, 11025), 500);
  // Started 1.5 s late: the clock says 2 s into the half, the card has written 0.5 s.
  const int32_t clockP = WindowStart(2000, 0, 60, 11025);  // 21388 - 512
  EXPECT_EQ(LimitWindowToCard(clockP, 5512, 60, 11025), 4850 - 512);  // 4850.5 truncated
  // Nothing written yet: the window lies wholly in the last half.
  EXPECT_EQ(LimitWindowToCard(clockP, 0, 60, 11025), -661 - 512);
  EXPECT_EQ(LimitWindowToCard(clockP, 0, 0, 11025), -512);
  EXPECT_TRUE(PlanWindow(LimitWindowToCard(clockP, 0, 60, 11025), 2, 352800).fromPrevious == 512);
}

// Under load the card's position runs ahead of what the driver has copied into the buffer:
// the header's count holds the window back.
TEST(CaptureWindowLimitTest, TheHeadersCountHoldsTheWindowBack) {
  EXPECT_EQ(LimitWindowToRecorded(5000, 3000, 88200), 3000 - 512);
  EXPECT_EQ(LimitWindowToRecorded(2000, 3000, 88200), 2000);
  EXPECT_EQ(LimitWindowToRecorded(2488, 3000, 88200), 2488);
  // Less than a window recorded: the rest comes from the end of the previous half.
  EXPECT_EQ(PlanWindow(LimitWindowToRecorded(5000, 100, 88200), 2, 176400).fromPrevious, 412);
  // A full half bounds nothing: the late rule resets a card the clock has overtaken.
  EXPECT_EQ(LimitWindowToRecorded(90000, 88200, 88200), 90000);
  EXPECT_TRUE(PlanWindow(LimitWindowToRecorded(90000, 88200, 88200), 2, 176400).late);
}

struct PlanRow {
  int32_t p;
  int32_t bytesPerSample, bytesPerHalf;
  WindowPlan plan;
};

class CaptureWindowPlanTest : public ::testing::TestWithParam<PlanRow> {};

TEST_P(CaptureWindowPlanTest, HalvesAndLateness) {
  const PlanRow& r = GetParam();
  const WindowPlan got = PlanWindow(r.p, r.bytesPerSample, r.bytesPerHalf);
  EXPECT_EQ(got.fromPrevious, r.plan.fromPrevious) << "p = " << r.p;
  EXPECT_EQ(got.fromCurrent, r.plan.fromCurrent) << "p = " << r.p;
  EXPECT_EQ(got.currentStart, r.plan.currentStart) << "p = " << r.p;
  EXPECT_EQ(got.late, r.plan.late) << "p = " << r.p;
  EXPECT_EQ(got.fromPrevious + got.fromCurrent, 512);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CaptureWindowPlanTest,
    ::testing::Values(PlanRow{-5000, 2, 352800, {512, 0, 0, false}},  // all from the end of the last half
                      PlanRow{-512, 2, 352800, {512, 0, 0, false}},
                      PlanRow{-511, 2, 352800, {511, 1, 0, false}},
                      PlanRow{-100, 2, 352800, {100, 412, 0, false}},
                      PlanRow{-1, 1, 352800, {1, 511, 0, false}},
                      PlanRow{0, 2, 352800, {0, 512, 0, false}},
                      PlanRow{1000, 2, 352800, {0, 512, 1000, false}},
                      // 16 bit, 4 s halves of 176400 samples: the last window that fits ends
                      // one sample before the half's end.
                      PlanRow{175887, 2, 352800, {0, 512, 175887, false}},
                      PlanRow{175888, 2, 352800, {0, 512, 175888, true}},  // reaches the end
                      PlanRow{200000, 2, 352800, {0, 512, 200000, true}},
                      PlanRow{352287, 1, 352800, {0, 512, 352287, false}},
                      PlanRow{352288, 1, 352800, {0, 512, 352288, true}}));

TEST(CaptureFrameTest, SixteenBitSamplesKeepOnlyTheHighByte) {
  const uint8_t s01ff[] = {0xFF, 0x01};
  const uint8_t sffff[] = {0xFF, 0xFF};
  const uint8_t s8000[] = {0x00, 0x80};
  const uint8_t s7fff[] = {0xFF, 0x7F};
  EXPECT_EQ(FrameSample(s01ff, 16), 0x0100);
  EXPECT_EQ(FrameSample(sffff, 16), -256);
  EXPECT_EQ(FrameSample(s8000, 16), -32768);
  EXPECT_EQ(FrameSample(s7fff, 16), 0x7F00);
}

TEST(CaptureFrameTest, EightBitSamplesAreCentredAndScaled) {
  const uint8_t silence = 0x80, top = 0xFF, bottom = 0x00, one = 0x81;
  EXPECT_EQ(FrameSample(&silence, 8), 0);
  EXPECT_EQ(FrameSample(&top, 8), 32512);
  EXPECT_EQ(FrameSample(&bottom, 8), -32768);
  EXPECT_EQ(FrameSample(&one, 8), 256);
}

TEST(CaptureFrameTest, FrameJoinsTheTailOfOneHalfToTheStartOfTheOther) {
  // 8-bit: the previous half's tail holds values 1..100 (as b = 128 + v), the current
  // half's start 200..611 (wrapping as bytes).
  std::vector<uint8_t> previous(1000), current(1000);
  for (int i = 0; i < 1000; ++i) {
    previous[i] = static_cast<uint8_t>(128 + (i % 50));
    current[i] = static_cast<uint8_t>(i & 0xFF);
  }
  std::vector<int16_t> frame(512, 7);
  BuildFrame(previous.data() + 900, 100, current.data(), 412, 8, frame.data());
  for (int i = 0; i < 100; ++i) EXPECT_EQ(frame[i], ((900 + i) % 50) * 256) << i;
  for (int i = 100; i < 512; ++i) EXPECT_EQ(frame[i], (((i - 100) & 0xFF) - 128) * 256) << i;
}

// After a reset the card hands its buffer back short: the memory past its count still holds
// sound of an older half, so the window's tail ends at the count.
TEST(CaptureFrameTest, ShortPreviousHalfIsReadFromItsRecordedEnd) {
  std::vector<uint8_t> previous(1000), current(1000, 0x80);
  for (int i = 0; i < 1000; ++i) previous[i] = static_cast<uint8_t>(128 + (i % 100));
  const WindowPlan plan = PlanWindow(-100, 1, 1000);
  std::vector<int16_t> frame(512, 7);
  BuildWindowFrame(previous.data(), 300, current.data(), plan, 8, frame.data());
  for (int i = 0; i < 100; ++i) EXPECT_EQ(frame[i], ((200 + i) % 100) * 256) << i;
  for (int i = 100; i < 512; ++i) EXPECT_EQ(frame[i], 0) << i;
}

TEST(CaptureFrameTest, TailReachingPastAShortBufferIsSilence) {
  std::vector<uint8_t> previous(1000, 0xC0), current(1000, 0x90);
  const WindowPlan plan = PlanWindow(-100, 1, 1000);
  std::vector<int16_t> frame(512, 7);
  BuildWindowFrame(previous.data(), 40, current.data(), plan, 8, frame.data());
  for (int i = 0; i < 60; ++i) EXPECT_EQ(frame[i], 0) << i;
  for (int i = 60; i < 100; ++i) EXPECT_EQ(frame[i], 0x40 * 256) << i;
  for (int i = 100; i < 512; ++i) EXPECT_EQ(frame[i], 0x10 * 256) << i;
}

TEST(CaptureFrameTest, FullHalvesGiveTheFrameOfTheHalvesEnds) {
  std::vector<uint8_t> previous(2000), current(2000);
  for (int i = 0; i < 2000; ++i) {
    previous[i] = static_cast<uint8_t>(i * 7);
    current[i] = static_cast<uint8_t>(i * 3);
  }
  const WindowPlan plan = PlanWindow(-200, 2, 2000);  // 1000 samples a half
  std::vector<int16_t> expected(512), frame(512);
  BuildFrame(previous.data() + 2 * 800, 200, current.data(), 312, 16, expected.data());
  BuildWindowFrame(previous.data(), 1000, current.data(), plan, 16, frame.data());
  EXPECT_EQ(frame, expected);
}

TEST(CaptureFrameTest, PeakLooksOnlyBetween193And319) {
  std::vector<uint8_t> bytes(1024, 0);  // 16-bit zeros
  auto put = [&](int index, int16_t value) {
    bytes[2 * index] = static_cast<uint8_t>(value & 0xFF);
    bytes[2 * index + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
  };
  put(192, 30000);   // outside, just before
  put(320, -30000);  // outside, just after
  put(193, 12345);   // 0x3039 -> 0x3000
  put(319, -4000);   // 0xF060 -> 0xF000 = -4096
  put(250, 5000);
  std::vector<int16_t> frame(512);
  const Peak peak = BuildFrame(nullptr, 0, bytes.data(), 512, 16, frame.data());
  EXPECT_EQ(peak.max, 0x3000);
  EXPECT_EQ(peak.min, -4096);
  EXPECT_EQ(frame[192], 30000 & 0xFF00);
}

TEST(CaptureFrameTest, SilentWindowHasAZeroPeak) {
  std::vector<uint8_t> bytes(512, 0x80);
  std::vector<int16_t> frame(512, 1);
  const Peak peak = BuildFrame(bytes.data(), 512, nullptr, 0, 8, frame.data());
  EXPECT_EQ(peak.max, 0);
  EXPECT_EQ(peak.min, 0);
  for (int16_t v : frame) ASSERT_EQ(v, 0);
}

TEST(CaptureFrameTest, MeasuredColumnTime) {
  EXPECT_FLOAT_EQ(MeasuredColumnTime(1500, 1000, 0), 500.0f);  // nothing drawn yet
  EXPECT_FLOAT_EQ(MeasuredColumnTime(2000, 1000, 100), 10.0f);
  EXPECT_FLOAT_EQ(MeasuredColumnTime(2050, 1000, 100), 10.5f);
}

// The poll sleeps out what is left of its interval in one go, never past the moment the
// next column is due and never for 0 ms (which would spin).
TEST(CaptureFrameTest, PollSleepsTheRestOfItsInterval) {
  const struct {
    double since, interval;
    uint32_t sleepMs;
  } cases[] = {
      {0.0, 10.0, 10},   // just polled: the whole interval
      {2.6, 10.0, 7},    // 7.4 ms left: wake just before it is due, then 1 ms steps
      {8.5, 10.0, 1},    // under 2 ms left
      {9.99, 10.0, 1},
      {0.5, 30.0, 29},   // Scope
      {-3.0, 10.0, 10},  // a clock read before the last poll's never sleeps longer than one interval
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PollSleepMs(c.since, c.interval), c.sleepMs) << c.since << " of " << c.interval;
    EXPECT_LE(c.since + PollSleepMs(c.since, c.interval), c.interval + 1.0);
  }
}

// ---------------------------------------------------------------------------
// Scroll display.

TEST(CaptureScrollTest, LevelToPaletteIndex) {
  const struct {
    int32_t level;
    int index;
  } rows[] = {{31, 3}, {100, 3}, {102, 3}, {103, 3}, {104, 4}, {200, 100}, {334, 234}, {335, 235}, {393, 235},
              {-5, 3}};
  for (const auto& r : rows) EXPECT_EQ(PaletteIndexOfLevel(r.level), r.index) << "level " << r.level;
}

TEST(CaptureScrollTest, ColumnsFillTheAreaThenScrollEveryFourth) {
  // An image area 10 pixels wide: columns 0..9, then groups of four at 6..9, the window
  // scrolled after the fourth of each group; the panel refreshed on every fourth column.
  ScrollCursor cursor;
  std::vector<int> xs, scrolls, refreshes;
  for (int n = 0; n < 22; ++n) {
    const ScrollStep step = NextScrollColumn(cursor, 10);
    xs.push_back(step.x);
    if (step.scrollAfter) scrolls.push_back(n);
    if (step.refreshStatus) refreshes.push_back(n);
    AdvanceScrollCursor(cursor);
  }
  // At n = 10 the counter is 2 (10 mod 4), so the first columns past the edge land at
  // width + 2 - 4 = 8 and 9 before the first scroll.
  const std::vector<int> expectedX = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 8, 9, 6, 7, 8, 9, 6, 7, 8, 9, 6, 7};
  EXPECT_EQ(xs, expectedX);
  EXPECT_EQ(scrolls, (std::vector<int>{11, 15, 19}));
  EXPECT_EQ(refreshes, (std::vector<int>{3, 7, 11, 15, 19}));
}

TEST(CaptureScrollTest, EnvelopeLineTruncatesTowardZero) {
  const struct {
    int16_t max, min;
    int32_t top, bottom;
  } rows[] = {{0, 0, 22, 22},          {1499, -1499, 22, 22},  {1500, -1500, 21, 23},
              {32767, -32768, 1, 43},  {3001, -2999, 20, 23},  {32512, 0, 1, 22}};
  for (const auto& r : rows) {
    const EnvelopeLine line = EnvelopeLineOf(Peak{r.max, r.min});
    EXPECT_EQ(line.top, r.top) << r.max;
    EXPECT_EQ(line.bottom, r.bottom) << r.min;
  }
}

TEST(CaptureScrollTest, ColumnPixelsStripAndLevels) {
  int16_t levels[256];
  for (int i = 0; i < 256; ++i) levels[i] = static_cast<int16_t>(31 + i);  // 31 .. 286
  levels[0] = 400;  // bin 0 loud
  uint8_t column[300];
  std::memset(column, 0xEE, sizeof column);
  // Peak 4500 / -3000: line from 22 - 3 = 19 to 22 + 2 = 24, rows 19..23.
  RenderScanColumn(levels, Peak{4500, -3000}, column);
  for (int y = 0; y < 44; ++y) {
    const int expected = y == 43 ? 1 : (y >= 19 && y <= 23) || y == 21 ? 2 : 3;
    EXPECT_EQ(column[y], expected) << "strip row " << y;
  }
  EXPECT_EQ(column[299], 235);  // bin 0: 400 - 100 = 300, limited
  EXPECT_EQ(column[298], 3);    // bin 1: level 32
  EXPECT_EQ(column[44], 186);   // bin 255: level 286
  EXPECT_EQ(column[299 - 80], 11);  // bin 80: level 111
}

TEST(CaptureScrollTest, SilentColumnShowsOnlyTheCentreAndSeparator) {
  int16_t levels[256];
  for (int16_t& v : levels) v = 31;
  uint8_t column[300];
  RenderScanColumn(levels, Peak{}, column);
  for (int y = 0; y < 300; ++y) {
    const int expected = y == 21 ? 2 : y == 43 ? 1 : 3;
    ASSERT_EQ(column[y], expected) << "row " << y;
  }
}

TEST(CaptureScrollTest, RecordingRefreshesEveryFourColumns) {
  const int width = 100;
  // A recording's columns reach the screen as an analysis's do.
  for (int x : {0, 1, 2, 3, 5, 99, 101}) EXPECT_FALSE(ScreenUpdateAt(x, width).copy) << x;
  ScreenUpdate r = ScreenUpdateAt(4, width);
  EXPECT_TRUE(r.copy);
  EXPECT_EQ(r.sourceX, 0);
  EXPECT_EQ(r.destX, 0);
  EXPECT_EQ(r.width, 4);
  EXPECT_FALSE(r.scroll);
  r = ScreenUpdateAt(100, width);  // not beyond the width yet
  EXPECT_EQ(r.sourceX, 96);
  EXPECT_EQ(r.destX, 96);
  EXPECT_FALSE(r.scroll);
  r = ScreenUpdateAt(104, width);
  EXPECT_TRUE(r.scroll);
  EXPECT_EQ(r.sourceX, 4);
  EXPECT_EQ(r.destX, 0);
  EXPECT_EQ(r.width, 100);
  EXPECT_EQ(r.scrollPosition, 4);
}

// ---------------------------------------------------------------------------
// Scope display.

TEST(CaptureScopeTest, OriginCentresTheBarsWithRoomForLabels) {
  ScopeGeometry g = ScopeGeometryOf(800, 300, 8, 16);
  EXPECT_EQ(g.x0, 144);  // (800 - 512) / 2
  EXPECT_EQ(g.baseline, 268);
  g = ScopeGeometryOf(560, 300, 8, 16);  // 24 < 9 x 8 / 2 = 36
  EXPECT_EQ(g.x0, 36);
  g = ScopeGeometryOf(500, 340, 7, 13);  // negative centre, 9 x 7 / 2 = 31
  EXPECT_EQ(g.x0, 31);
  EXPECT_EQ(g.baseline, 314);
}

TEST(CaptureScopeTest, BarsAverageTheLastFourRowsAndStayInTheImage) {
  ScopeHistory h;
  h.Clear();
  int16_t row[256];
  // Four rows: bin 0 loud (400 each), bin 1 silent (31), bin 2 rising 100,200,300,400,
  // bin 3 just above the floor (61 each: 244/4 - 60 = 1).
  const int16_t bin2[4] = {100, 200, 300, 400};
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < 256; ++i) row[i] = 0;
    row[0] = 400;
    row[1] = 31;
    row[2] = bin2[k];
    row[3] = 61;
    h.Push(row);
  }
  EXPECT_EQ(ScopeBarHeight(h, 0, 268), 268);  // 400 - 60 = 340, limited to the baseline
  EXPECT_EQ(ScopeBarHeight(h, 0, 300), 300);
  EXPECT_EQ(ScopeBarHeight(h, 0, 400), 340);
  EXPECT_EQ(ScopeBarHeight(h, 1, 268), 0);    // 31 - 60 < 0
  EXPECT_EQ(ScopeBarHeight(h, 2, 268), 190);  // 250 - 60
  EXPECT_EQ(ScopeBarHeight(h, 3, 268), 1);
  // A fifth row pushes the oldest out.
  for (int i = 0; i < 256; ++i) row[i] = 0;
  row[2] = 500;
  h.Push(row);
  EXPECT_EQ(ScopeBarHeight(h, 2, 400), (200 + 300 + 400 + 500) / 4 - 60);
  EXPECT_EQ(h.rows[0][2], 200);
  EXPECT_EQ(h.rows[3][2], 500);
}

TEST(CaptureScopeTest, QuarterOfTheSumTruncates) {
  ScopeHistory h;
  h.Clear();
  int16_t row[256] = {};
  row[5] = 242;  // (242 + 0 + 0 + 0) / 4 = 60.5 -> 60 -> bar 0
  h.Push(row);
  EXPECT_EQ(ScopeBarHeight(h, 5, 100), 0);
  row[5] = 2;  // (242 + 2) / 4 = 61 -> 1
  h.Push(row);
  EXPECT_EQ(ScopeBarHeight(h, 5, 100), 1);
}

// ---------------------------------------------------------------------------
// Dialogs.

TEST(CaptureDialogTest, PlacedThirtyPixelsAboveCentre) {
  DialogPlace p = DialogPlaceOnScreen(1280, 1024, 400, 250);
  EXPECT_EQ(p.x, 440);
  EXPECT_EQ(p.y, 357);  // 387 - 30
  p = DialogPlaceOnScreen(300, 300, 400, 250);  // wider than the screen; centre 25 < 30
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  p = DialogPlaceOnScreen(800, 310, 400, 250);  // centre exactly 30
  EXPECT_EQ(p.y, 0);
  p = DialogPlaceOnScreen(800, 312, 400, 250);  // centre 31
  EXPECT_EQ(p.y, 1);
}

TEST(CaptureDialogTest, ScrollBarCodes) {
  const struct {
    int code;
    int32_t thumb, current, maximum;
    int32_t value;
    bool changed;
  } rows[] = {
      {0, 0, 10, 36, 9, true},     {2, 0, 10, 36, 9, true},     {1, 0, 10, 36, 11, true},
      {3, 0, 10, 36, 11, true},    {4, 20, 10, 36, 20, true},   {5, 30, 10, 250, 30, true},
      {0, 0, 0, 36, 0, true},      {1, 0, 36, 36, 36, true},    {3, 0, 250, 250, 250, true},
      {6, 0, 10, 36, 10, false},   {8, 99, 10, 36, 10, false},  {5, 400, 10, 250, 250, true},
  };
  for (const auto& r : rows) {
    const BarValue v = ScrollBarValue(r.code, r.thumb, r.current, r.maximum);
    EXPECT_EQ(v.value, r.value) << "code " << r.code << " from " << r.current;
    EXPECT_EQ(v.changed, r.changed) << "code " << r.code;
  }
}

// Regression: the file scan and "Play" / "Play Wdw" read the raw 32-bit millisecond clock, so
// after 49.7 days of uptime their elapsed time went negative and the image stopped revealing.
TEST(WrapSafeClock, PlaybackAndScanClockKeepsCountingAcrossThe32BitWrap) {
  WrapSafeClock clock;
  const uint64_t start = clock.Extend(0xFFFFFFF0u);
  EXPECT_EQ(clock.Extend(0xFFFFFFFFu) - start, 15u);
  EXPECT_EQ(clock.Extend(0x00000010u) - start, 32u);  // past the wrap
  EXPECT_EQ(clock.Extend(0x00000010u) - start, 32u);  // the same reading again
  EXPECT_EQ(clock.Extend(0xFFFFFFF0u) - start, 0x100000000u);
  EXPECT_EQ(clock.Extend(0x00000005u) - start, 0x100000015u);  // a second wrap
}

}  // namespace
}  // namespace hl
