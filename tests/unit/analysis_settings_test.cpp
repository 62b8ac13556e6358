#include "core/analysis/analysis_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

namespace hl {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(AnalysisSettingsTest, StartsFromTheDefaults) {
  const AnalysisSettings s;
  EXPECT_EQ(s.sampleRateChoice, RateChoice::Rate11k);
  EXPECT_EQ(s.resolution, Resolution::Bits8);
  EXPECT_EQ(s.fftSize, FftSize::Fft512);
  EXPECT_EQ(s.palette, PaletteScheme::CB);
  EXPECT_EQ(s.frequencyMode, FrequencyMode::NB);
  EXPECT_EQ(s.recordLength, RecordLength::Seconds10);
  EXPECT_EQ(s.displayType, DisplayType::Scroll);
  EXPECT_EQ(s.analysisAtStop, AnalysisAtStop::Off);
  EXPECT_EQ(s.attenuation, 0);
  EXPECT_EQ(s.latencyMs, 60);
  EXPECT_EQ(s.windowLengthMs, 8.0f);
  EXPECT_EQ(s.savedWindowLengthMs, 8.0f);
  EXPECT_EQ(s.timeScaleMs, 12.0f);
  EXPECT_EQ(s.FftOrder(), 9);
}

// ---------------------------------------------------------------------------
// Range checks.

struct TimeScaleRow {
  float ms;
  Message expected;
};

void PrintTo(const TimeScaleRow& row, std::ostream* os) { *os << row.ms << " ms"; }

class TimeScaleCheckTest : public ::testing::TestWithParam<TimeScaleRow> {};

TEST_P(TimeScaleCheckTest, OneToFiveHundredInclusive) {
  EXPECT_EQ(CheckTimeScale(GetParam().ms), GetParam().expected) << GetParam().ms;
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, TimeScaleCheckTest,
    ::testing::Values(TimeScaleRow{1.0f, Message::None}, TimeScaleRow{500.0f, Message::None},
                      TimeScaleRow{12.0f, Message::None},
                      TimeScaleRow{0.5f, Message::TimeScaleOutOfRange},
                      TimeScaleRow{500.5f, Message::TimeScaleOutOfRange},
                      // The floats next to the bounds, outside.
                      TimeScaleRow{0.99999994f, Message::TimeScaleOutOfRange},
                      TimeScaleRow{500.00003f, Message::TimeScaleOutOfRange},
                      TimeScaleRow{0.0f, Message::TimeScaleOutOfRange},
                      TimeScaleRow{-12.0f, Message::TimeScaleOutOfRange},
                      TimeScaleRow{kNaN, Message::TimeScaleOutOfRange}));

struct RateRow {
  double hz;
  Message expected;
};

void PrintTo(const RateRow& row, std::ostream* os) { *os << row.hz << " Hz"; }

class SampleRateCheckTest : public ::testing::TestWithParam<RateRow> {};

TEST_P(SampleRateCheckTest, FourThousandTo44100Inclusive) {
  EXPECT_EQ(CheckSampleRate(GetParam().hz), GetParam().expected) << GetParam().hz;
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, SampleRateCheckTest,
    ::testing::Values(RateRow{4000.0, Message::None}, RateRow{44100.0, Message::None},
                      RateRow{11025.0, Message::None},
                      RateRow{3999.0, Message::SampleRateOutOfRange},
                      RateRow{44101.0, Message::SampleRateOutOfRange},
                      RateRow{3999.9, Message::SampleRateOutOfRange},
                      RateRow{44100.1, Message::SampleRateOutOfRange},
                      RateRow{0.0, Message::SampleRateOutOfRange},
                      RateRow{std::numeric_limits<double>::quiet_NaN(),
                              Message::SampleRateOutOfRange}));

struct WindowRow {
  float ms;
  Message expected;
};

void PrintTo(const WindowRow& row, std::ostream* os) { *os << row.ms << " ms"; }

class WindowCheckTest : public ::testing::TestWithParam<WindowRow> {};

TEST_P(WindowCheckTest, AtLeastOneMillisecond) {
  EXPECT_EQ(CheckWindowLength(GetParam().ms), GetParam().expected) << GetParam().ms;
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, WindowCheckTest,
    ::testing::Values(WindowRow{1.0f, Message::None}, WindowRow{8.0f, Message::None},
                      WindowRow{185.75963f, Message::None},
                      WindowRow{0.99999994f, Message::FftWindowTooSmall},
                      WindowRow{0.0f, Message::FftWindowTooSmall},
                      WindowRow{-3.0f, Message::FftWindowTooSmall},
                      WindowRow{kNaN, Message::FftWindowTooSmall}));

// ---------------------------------------------------------------------------
// "NB" window: N / rate x 1000, each operation rounded to binary32.
//
// All nine cases below are 512 / 11025 times a power of two, so one
// derivation covers them. 512 / 11025 = 0.046439909...; floats in
// [2^-5, 2^-4) are spaced 2^-28 apart, and 512 / 11025 x 2^28 =
// 12466118.229, so the quotient rounds down to q = 12466118 x 2^-28.
// q x 1000 = 12466118000 x 2^-28; floats in [32, 64) are spaced 2^-18, and
// 12466118000 / 2^10 = 12173943.359, so the product rounds down to
// 12173943 x 2^-18 = 46.43990707397461.
// The correctly rounded 512000 / 11025 = 46.439909297 x 2^18 =
// 12173943.583 rounds up to 12173944 x 2^-18: one unit higher.
// Doubling N or halving the rate scales both roundings by exactly 2.

struct NbRow {
  int fftLength;
  float rate;
  int powerOfTwo;  // the result is 12173943 x 2^(powerOfTwo - 18)
};

void PrintTo(const NbRow& row, std::ostream* os) {
  *os << row.fftLength << " points at " << row.rate << " Hz";
}

class NbWindowTest : public ::testing::TestWithParam<NbRow> {};

TEST_P(NbWindowTest, RoundsQuotientThenProduct) {
  const NbRow& row = GetParam();
  const float expected = std::ldexp(12173943.0f, row.powerOfTwo - 18);
  const float exactlyRounded = std::ldexp(12173944.0f, row.powerOfTwo - 18);
  const float got = NbWindowLength(row.fftLength, row.rate);
  EXPECT_EQ(got, expected) << row.fftLength << " points at " << row.rate << " Hz";
  EXPECT_NE(got, exactlyRounded);
}

INSTANTIATE_TEST_SUITE_P(
    CommonRates, NbWindowTest,
    ::testing::Values(NbRow{512, 11025.0f, 0}, NbRow{1024, 11025.0f, 1},
                      NbRow{2048, 11025.0f, 2}, NbRow{512, 22050.0f, -1},
                      NbRow{1024, 22050.0f, 0}, NbRow{2048, 22050.0f, 1},
                      NbRow{512, 44100.0f, -2}, NbRow{1024, 44100.0f, -1},
                      NbRow{2048, 44100.0f, 0}));

TEST(NbWindowLengthTest, OtherRatesAndRatesBelowOneHertz) {
  // 512 / 8000 = 0.064 rounds up to 8589935 x 2^-27; times 1000 that is
  // 64.0000031, 0.4 of the spacing 2^-17 above 64, so it rounds to 64.
  EXPECT_EQ(NbWindowLength(512, 8000.0f), 64.0f);
  // 2048 / 4000 = 0.512 rounds to 0.51200002; times 1000 that is 512.0000243,
  // less than half the spacing 2^-14 above 512.
  EXPECT_EQ(NbWindowLength(2048, 4000.0f), 512.0f);
  // No window for a rate the dialog would not use: 0, which the check refuses.
  EXPECT_EQ(NbWindowLength(512, 0.999f), 0.0f);
  EXPECT_EQ(NbWindowLength(512, 0.0f), 0.0f);
  EXPECT_EQ(NbWindowLength(512, -11025.0f), 0.0f);
  EXPECT_EQ(NbWindowLength(512, kNaN), 0.0f);
  EXPECT_EQ(CheckWindowLength(NbWindowLength(512, 0.0f)), Message::FftWindowTooSmall);
  // At 1 Hz the window is simply N seconds.
  EXPECT_EQ(NbWindowLength(512, 1.0f), 512000.0f);
}

// ---------------------------------------------------------------------------
// "BB" window: cut to the FFT length, 0 or less becomes 1.0.

struct BbRow {
  float entered;
  float fftLengthMs;
  float expected;
};

void PrintTo(const BbRow& row, std::ostream* os) {
  *os << row.entered << " ms within " << row.fftLengthMs << " ms";
}

class BbWindowTest : public ::testing::TestWithParam<BbRow> {};

TEST_P(BbWindowTest, CutToFftLengthAndAtLeastOne) {
  const BbRow& row = GetParam();
  EXPECT_EQ(BbWindowLength(row.entered, row.fftLengthMs), row.expected)
      << row.entered << " within " << row.fftLengthMs;
}

// 46.439907f is the 512-point window at 11025 Hz (see above).
INSTANTIATE_TEST_SUITE_P(
    Edges, BbWindowTest,
    ::testing::Values(BbRow{8.0f, 46.439907f, 8.0f}, BbRow{46.0f, 46.439907f, 46.0f},
                      BbRow{47.0f, 46.439907f, 46.439907f},
                      BbRow{1000.0f, 185.75963f, 185.75963f},
                      BbRow{0.0f, 46.439907f, 1.0f}, BbRow{-5.0f, 46.439907f, 1.0f},
                      BbRow{kNaN, 46.439907f, 1.0f},
                      // Between 0 and 1: kept, and then refused by the check.
                      BbRow{0.5f, 46.439907f, 0.5f}));

// A file's own rate up to 384 kHz passes; any other rate keeps the 4000..44100 Hz check.
struct FileRateRow {
  double hz;
  uint32_t fileRate;
  Message expected;
};

void PrintTo(const FileRateRow& row, std::ostream* os) { *os << row.hz << " Hz, file " << row.fileRate; }

class FileRateCheckTest : public ::testing::TestWithParam<FileRateRow> {};

TEST_P(FileRateCheckTest, TheFilesOwnRateUpTo384kHzOrTheDialogsRange) {
  EXPECT_EQ(CheckFileRate(GetParam().hz, GetParam().fileRate), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, FileRateCheckTest,
    ::testing::Values(FileRateRow{48000.0, 48000, Message::None}, FileRateRow{384000.0, 384000, Message::None},
                      FileRateRow{22050.0, 96000, Message::None},
                      FileRateRow{48000.0, 96000, Message::SampleRateOutOfRange},
                      FileRateRow{48000.0, 0, Message::SampleRateOutOfRange},
                      FileRateRow{384001.0, 384001, Message::SampleRateOutOfRange},
                      FileRateRow{3999.0, 3999, Message::SampleRateOutOfRange}));

}  // namespace
}  // namespace hl
