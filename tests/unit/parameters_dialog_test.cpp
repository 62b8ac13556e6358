#include "core/analysis/parameters_dialog.h"

#include <gtest/gtest.h>

#include <ostream>

namespace hl {
namespace {

constexpr Resolution k8 = Resolution::Bits8;
constexpr Resolution k16 = Resolution::Bits16;

// ---------------------------------------------------------------------------
// Edit texts: decimal integers from at most 8 characters.

struct EditRow {
  const char* text;
  int32_t value;
};

void PrintTo(const EditRow& row, std::ostream* os) { *os << '"' << row.text << '"'; }

class EditIntegerTest : public ::testing::TestWithParam<EditRow> {};

TEST_P(EditIntegerTest, ReadsTheLeadingDecimalInteger) {
  EXPECT_EQ(EditInteger(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EditIntegerTest,
    ::testing::Values(EditRow{"12", 12}, EditRow{"0", 0}, EditRow{"", 0}, EditRow{"abc", 0},
                      // A fraction is not read: 12.5 ms is 12, 0.5 is 0, 500.5 is 500.
                      EditRow{"12.5", 12}, EditRow{"0.5", 0}, EditRow{"500.5", 500},
                      EditRow{"  42", 42}, EditRow{"-3", -3}, EditRow{"+7", 7},
                      EditRow{"44100Hz", 44100},
                      // Only the first eight characters count.
                      EditRow{"123456789", 12345678}, EditRow{"       5", 5},
                      EditRow{"        5", 0}));

TEST(EditIntegerTest, NullTextIsZero) { EXPECT_EQ(EditInteger(nullptr), 0); }

// ---------------------------------------------------------------------------
// Resolution: the same bytes as 8-bit samples last twice as long.

struct ResolutionRow {
  int32_t ms;
  Resolution shown, chosen;
  int32_t expected;
};

void PrintTo(const ResolutionRow& r, std::ostream* os) {
  *os << r.ms << " ms, " << BitsOf(r.shown) << " -> " << BitsOf(r.chosen) << " bit";
}

class ResolutionRescaleTest : public ::testing::TestWithParam<ResolutionRow> {};

TEST_P(ResolutionRescaleTest, EightBitDoublesSixteenBitHalves) {
  const ResolutionRow& r = GetParam();
  EXPECT_EQ(RescaleForResolution(r.ms, r.shown, r.chosen), r.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, ResolutionRescaleTest,
    ::testing::Values(ResolutionRow{1000, k16, k8, 2000}, ResolutionRow{0, k16, k8, 0},
                      ResolutionRow{1000, k8, k16, 500}, ResolutionRow{1001, k8, k16, 500},
                      ResolutionRow{1, k8, k16, 0},
                      // Clicking the resolution already chosen changes nothing.
                      ResolutionRow{1001, k8, k8, 1001}, ResolutionRow{1001, k16, k16, 1001}));

class ResolutionRoundTripTest : public ::testing::TestWithParam<int32_t> {};

TEST_P(ResolutionRoundTripTest, EightSixteenEightReturnsEvenValues) {
  const int32_t first = GetParam();
  const int32_t at16 = RescaleForResolution(first, k8, k16);
  EXPECT_EQ(RescaleForResolution(at16, k16, k8), first);
}

TEST_P(ResolutionRoundTripTest, SixteenEightSixteenReturnsEveryValue) {
  for (int32_t first : {GetParam(), GetParam() + 1}) {
    const int32_t at8 = RescaleForResolution(first, k16, k8);
    EXPECT_EQ(RescaleForResolution(at8, k8, k16), first);
  }
}

INSTANTIATE_TEST_SUITE_P(EvenValues, ResolutionRoundTripTest, ::testing::Values(0, 2, 92, 5000, 4535146));

TEST(ResolutionRescaleTest, OddValueLosesItsHalfOnTheWayThroughSixteenBit) {
  EXPECT_EQ(RescaleForResolution(RescaleForResolution(1001, k8, k16), k16, k8), 1000);
}

// ---------------------------------------------------------------------------
// "New" sample rate.

struct ClampRow {
  int32_t entered, expected;
};

class NewRateClampTest : public ::testing::TestWithParam<ClampRow> {};

TEST_P(NewRateClampTest, PulledInto5513To44100) {
  EXPECT_EQ(ClampNewRate(GetParam().entered), GetParam().expected) << GetParam().entered;
}

INSTANTIATE_TEST_SUITE_P(Bounds, NewRateClampTest,
                         ::testing::Values(ClampRow{5513, 5513}, ClampRow{5512, 5513}, ClampRow{0, 5513},
                                           ClampRow{-100, 5513}, ClampRow{4000, 5513}, ClampRow{8000, 8000},
                                           ClampRow{44100, 44100}, ClampRow{44101, 44100},
                                           ClampRow{99999999, 44100}));

struct NewRateRow {
  int32_t ms;
  float previous, next;
  int32_t expected;
};

class NewRateRescaleTest : public ::testing::TestWithParam<NewRateRow> {};

TEST_P(NewRateRescaleTest, SameSamplesAtTheNewRate) {
  const NewRateRow& r = GetParam();
  EXPECT_EQ(RescaleForNewRate(r.ms, r.previous, r.next), r.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, NewRateRescaleTest,
    ::testing::Values(NewRateRow{1000, 11025.0f, 22050.0f, 500},   // twice as fast: half as long
                      NewRateRow{1000, 22050.0f, 11025.0f, 2000},  // half as fast: twice as long
                      NewRateRow{5000, 11025.0f, 11025.0f, 5000},
                      // 44100 / 5513 = 7.99927: 1000 ms last 7999.27 ms, truncated.
                      NewRateRow{1000, 44100.0f, 5513.0f, 7999},
                      // 8000 / 11025 = 0.725624: 4535 ms become 3290.7 ms.
                      NewRateRow{4535, 8000.0f, 11025.0f, 3290}, NewRateRow{0, 8000.0f, 44100.0f, 0}));

// ---------------------------------------------------------------------------
// FFT size choices.

TEST(FftChoiceTest, LengthAndOrderOfEachChoice) {
  EXPECT_EQ(FftLengthOfChoice(FftSize::Fft512), 512);
  EXPECT_EQ(FftLengthOfChoice(FftSize::Fft1024), 1024);
  EXPECT_EQ(FftLengthOfChoice(FftSize::Fft2048), 2048);
  EXPECT_EQ(FftOrderOfChoice(FftSize::Fft512), 9);
  EXPECT_EQ(FftOrderOfChoice(FftSize::Fft1024), 10);
  EXPECT_EQ(FftOrderOfChoice(FftSize::Fft2048), 11);
  EXPECT_EQ(FftOrderOfChoice(static_cast<FftSize>(7)), 9);
}

// ---------------------------------------------------------------------------
// Window length stored by OK.

struct WindowRow {
  const char* name;
  FrequencyMode mode;
  int32_t entered;
  int fftLength;
  float rate;
  float current;
  float expectedMs;  // to 1e-4 ms
};

void PrintTo(const WindowRow& r, std::ostream* os) { *os << r.name; }

class WindowAtOkTest : public ::testing::TestWithParam<WindowRow> {};

TEST_P(WindowAtOkTest, BbCutToTheFrameNbIsTheFrame) {
  const WindowRow& r = GetParam();
  EXPECT_NEAR(WindowLengthAtOk(r.mode, r.entered, r.fftLength, r.rate, r.current), r.expectedMs, 1e-4);
}

// 512 samples at 11025 Hz last 46.4399 ms; 2048 at 44100 Hz 46.4399 ms; 1024 at 8000 Hz 128 ms.
INSTANTIATE_TEST_SUITE_P(
    Modes, WindowAtOkTest,
    ::testing::Values(WindowRow{"BB as entered", FrequencyMode::BB, 8, 512, 11025.0f, 0.0f, 8.0f},
                      WindowRow{"BB longer than the frame is cut to it", FrequencyMode::BB, 100, 512, 11025.0f, 0.0f,
                                46.4399f},
                      WindowRow{"BB just inside the frame", FrequencyMode::BB, 46, 512, 11025.0f, 0.0f, 46.0f},
                      WindowRow{"BB 0 becomes 1", FrequencyMode::BB, 0, 512, 11025.0f, 0.0f, 1.0f},
                      WindowRow{"BB negative becomes 1", FrequencyMode::BB, -8, 512, 11025.0f, 0.0f, 1.0f},
                      WindowRow{"BB cut at 2048 points", FrequencyMode::BB, 500, 2048, 44100.0f, 0.0f, 46.4399f},
                      WindowRow{"NB is the frame", FrequencyMode::NB, 8, 512, 11025.0f, 0.0f, 46.4399f},
                      WindowRow{"NB 1024 at 8000 Hz", FrequencyMode::NB, 8, 1024, 8000.0f, 0.0f, 128.0f},
                      WindowRow{"NB without a rate keeps the window", FrequencyMode::NB, 8, 512, 0.0f, 23.5f,
                                23.5f}));

TEST(WindowAtOkTest, NbEqualsTheSettingsRuleBitForBit) {
  for (float rate : {5513.0f, 11025.0f, 22050.0f, 44100.0f}) {
    for (int n : {512, 1024, 2048}) {
      EXPECT_EQ(WindowLengthAtOk(FrequencyMode::NB, 0, n, rate, 0.0f), NbWindowLength(n, rate)) << n << " @ " << rate;
    }
  }
}

// ---------------------------------------------------------------------------
// What "&Analyze File" fills in.

struct DataMsRow {
  uint32_t bytes;
  int channels, bits;
  uint32_t rate;
  float ms;  // to 0.01 ms
};

class DataLengthMsTest : public ::testing::TestWithParam<DataMsRow> {};

TEST_P(DataLengthMsTest, BytesOverBytesPerSecond) {
  const DataMsRow& r = GetParam();
  EXPECT_NEAR(DataLengthMs(r.bytes, r.channels, r.bits, r.rate), r.ms, 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DataLengthMsTest,
    ::testing::Values(DataMsRow{22050, 1, 16, 11025, 1000.0f}, DataMsRow{11025, 1, 8, 11025, 1000.0f},
                      DataMsRow{176400, 2, 16, 44100, 1000.0f}, DataMsRow{110250, 1, 16, 11025, 5000.0f},
                      // 2048 bytes of 16-bit mono at 11025 Hz: 1024 samples, 92.88 ms.
                      DataMsRow{2048, 1, 16, 11025, 92.880f},
                      // A 24-bit stereo file at 48 kHz: 288000 bytes per second.
                      DataMsRow{288000, 2, 24, 48000, 1000.0f}, DataMsRow{1000, 1, 16, 0, 0.0f},
                      DataMsRow{1000, 0, 16, 11025, 0.0f}));

TEST(PrefillTest, WholeFileAtItsOwnFormat) {
  AnalysisSettings s;  // "&Analyze File" has reset the FFT to 512 and the mode to "NB"
  // 5 s of 16-bit mono at 11025 Hz.
  DialogPrefill p = PrefillForFile(1, 16, 11025, 110250, s, false, 123.0f, 456.0f);
  EXPECT_EQ(p.sampleRate, 11025);
  EXPECT_EQ(p.beginMs, 0);
  EXPECT_EQ(p.endMs, 5000);
  EXPECT_EQ(p.resolution, Resolution::Bits16);
  EXPECT_NEAR(p.windowMs, 46.4399f, 1e-4);  // 512000 / 11025
}

TEST(PrefillTest, EndIsTheIntegerPartOfTheDataLength) {
  AnalysisSettings s;
  // 100000 bytes of 16-bit mono at 11025 Hz last 4535.147 ms.
  EXPECT_EQ(PrefillForFile(1, 16, 11025, 100000, s, false, 0, 0).endMs, 4535);
  // 8-bit stereo at 22050 Hz: 44100 bytes per second; 66150 bytes are 1500 ms.
  DialogPrefill p = PrefillForFile(2, 8, 22050, 66150, s, false, 0, 0);
  EXPECT_EQ(p.endMs, 1500);
  EXPECT_EQ(p.resolution, Resolution::Bits8);
}

TEST(PrefillTest, OnlySixteenBitsPreselectSixteenBit) {
  AnalysisSettings s;
  for (uint16_t bits : {8, 24, 32}) {
    EXPECT_EQ(PrefillForFile(1, bits, 11025, 100000, s, false, 0, 0).resolution, Resolution::Bits8) << bits;
  }
}

TEST(PrefillTest, NbWindowFollowsTheFftSizeAndTheFileRate) {
  AnalysisSettings s;
  s.fftSize = FftSize::Fft1024;
  EXPECT_NEAR(PrefillForFile(1, 16, 8000, 100000, s, false, 0, 0).windowMs, 128.0f, 1e-4);  // 1024000 / 8000
  s.fftSize = FftSize::Fft2048;
  EXPECT_NEAR(PrefillForFile(1, 16, 44100, 100000, s, false, 0, 0).windowMs, 46.4399f, 1e-4);
  s.frequencyMode = FrequencyMode::BB;
  s.windowLengthMs = 12.0f;
  EXPECT_EQ(PrefillForFile(1, 16, 44100, 100000, s, false, 0, 0).windowMs, 12.0f);
}

TEST(PrefillTest, HandOverKeepsTheStoredSpan) {
  AnalysisSettings s;
  DialogPrefill p = PrefillForFile(1, 16, 11025, 110250, s, true, 250.7f, 1999.9f);
  EXPECT_EQ(p.beginMs, 250);
  EXPECT_EQ(p.endMs, 1999);
}

// A file of a higher rate lets "New" go up to that rate, never beyond 384000 Hz.
TEST(NewRateClampTest, AFileOfAHigherRateRaisesTheHighest) {
  EXPECT_EQ(ClampNewRate(96000, 96000), 96000);
  EXPECT_EQ(ClampNewRate(99999999, 96000), 96000);
  EXPECT_EQ(ClampNewRate(99999999, 22050), 44100);
  EXPECT_EQ(ClampNewRate(99999999, 1000000), 384000);
  EXPECT_EQ(ClampNewRate(0, 96000), 5513);
}

}  // namespace
}  // namespace hl
