#include "core/files/data_log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace hl {
namespace {

constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Point lines.

struct PointLineCase {
  const char* name;
  const char* eventId;
  const char* time;
  const char* frequency;
  const char* level;
  std::string bytes;
};

const PointLineCase kPointLines[] = {
    {"NoEventStartsWithTime", "", "1500", "440", "-20", "1500\t440\t-20\r\n"},
    {"NoLevelNoLineEnd", "b", "12", "86", "", "b\t12\t86\t"},
    {"OnlyLevel", "", "", "", "8", "8\r\n"},
    {"NoTimeNoFrequency", "h", "", "", "-83", "h\t-83\r\n"},
    {"Empty", "", "", "", "", ""},
    {"TypedTextAsItStands", "x y", "12.5ms", "abc", "loud", "x y\t12.5ms\tabc\tloud\r\n"},
};

class PointLine : public ::testing::TestWithParam<PointLineCase> {};

TEST_P(PointLine, WritesEachNonEmptyFieldWithItsSeparator) {
  const PointLineCase& c = GetParam();
  EXPECT_EQ(PointLogLine(c.eventId, c.time, c.frequency, c.level), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(DataLog, PointLine, ::testing::ValuesIn(kPointLines),
                         [](const ::testing::TestParamInfo<PointLineCase>& row) { return std::string(row.param.name); });

TEST(DataLogPointLine, TheExampleIsSixteenBytes) {
  const std::string line = PointLogLine("a", "1500", "440", "-20");
  const char expected[] = {'a', 0x09, '1', '5', '0', '0', 0x09, '4', '4', '0', 0x09, '-', '2', '0', 0x0D, 0x0A};
  ASSERT_EQ(line.size(), sizeof expected);
  EXPECT_EQ(line, std::string(expected, sizeof expected));
}

TEST(DataLogPointLine, APointWithoutLevelIsContinuedByTheNext) {
  std::string log = PointLogLine("a", "100", "200", "");
  log += PointLogLine("b", "300", "400", "-50");
  EXPECT_EQ(log, "a\t100\t200\tb\t300\t400\t-50\r\n");
}

TEST(DataLogPointLine, EachFieldIsCutToSixtyThreeCharacters) {
  const std::string longText(100, 'x');
  const std::string cut(63, 'x');
  EXPECT_EQ(PointLogLine(longText, longText, longText, longText), cut + "\t" + cut + "\t" + cut + "\t" + cut + "\r\n");
  EXPECT_EQ(PointLogLine(std::string(63, 'y'), "", "", ""), std::string(63, 'y') + "\t");
}

// ---------------------------------------------------------------------------
// Level in dB and the bin of a frequency.

TEST(DataLogLevel, FourUnitsPerDecibelTruncatedTowardZeroLessNinety) {
  const struct {
    int level, db;
  } cases[] = {{31, -83}, {392, 8}, {393, 8}, {396, 9}, {0, -90}, {3, -90}, {4, -89}, {-5, -91}, {-3, -90}, {360, 0}};
  for (const auto& c : cases) EXPECT_EQ(LevelDecibels(c.level), c.db) << "level " << c.level;
}

TEST(DataLogLevel, BinIsTheTruncatedFrequencyPosition) {
  const struct {
    unsigned hz;
    uint32_t rate;
    int n, bin;
  } cases[] = {
      {440, 11025, 512, 20},     // 20.43
      {0, 11025, 512, 0},        //
      {1000, 44100, 2048, 46},   // 46.44
      {1000, 8000, 1024, 128},   // exactly 128
      {5512, 11025, 512, 255},   // 255.98
      {5513, 11025, 512, 255},   // 256.02: past the last delivered bin
      {20000, 11025, 512, 255},  // beyond half the rate
      {440, 0, 512, 0},          // no rate
  };
  for (const auto& c : cases) EXPECT_EQ(BinOfFrequency(c.hz, c.rate, c.n), c.bin) << c.hz << " Hz at " << c.rate;
}

// ---------------------------------------------------------------------------
// Frame start.

TEST(DataLogFrameStart, TruncatedThenLoweredToTheBlockAlign) {
  const struct {
    float ms;
    uint32_t rate;
    int blockAlign;
    int64_t start;
  } cases[] = {
      {1200.0f, 11025, 2, 13230},  // column 100 at 12 ms: exactly 13230
      {1200.0f, 11025, 4, 13228},  // 13230 - 13230 mod 4
      {12.0f, 11025, 2, 132},      // 132.3
      {84.0f, 11025, 1, 926},      // 926.1
      {84.0f, 11025, 4, 924},      // 926 - 2
      {84.0f, 11025, 3, 924},      // 926 - 2
      {0.0f, 44100, 2, 0},
      {-300.0f, 11025, 2, 0},  // before the buffer
      {1000.0f, 8000, 0, 8000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LogFrameStart(c.ms, c.rate, c.blockAlign), c.start) << c.ms << " ms at " << c.rate << ", align " << c.blockAlign;
  }
}

TEST(DataLogFrameStart, ColumnTimeSubtractsTheTimeAxisOffset) {
  EXPECT_FLOAT_EQ(ColumnStartMs(100, 12.0f, 0.0f), 1200.0f);
  EXPECT_FLOAT_EQ(ColumnStartMs(100, 12.0f, 1500.0f), -300.0f);
  EXPECT_FLOAT_EQ(ColumnStartMs(7, 2.5f, 10.0f), 7.5f);
  EXPECT_EQ(LogFrameStart(ColumnStartMs(100, 12.0f, 1500.0f), 11025, 2), 0);
  EXPECT_EQ(LogFrameStart(ColumnStartMs(100, 12.0f, 200.0f), 11025, 2), 11024);  // 11025 - 1
}

TEST(DataLogFrameStart, FullFrameWindowIsTruncatedToWholeMsec) {
  EXPECT_EQ(FullFrameWindowMs(512, 11025), 46);   // 46.44
  EXPECT_EQ(FullFrameWindowMs(1024, 11025), 92);  // 92.88
  EXPECT_EQ(FullFrameWindowMs(2048, 44100), 46);  // 46.44
  EXPECT_EQ(FullFrameWindowMs(512, 8000), 64);
  EXPECT_EQ(FullFrameWindowMs(2048, 5513), 371);  // 371.49
}

// ---------------------------------------------------------------------------
// Filling the frame.

TEST(DataLogFill, SixteenBitMonoWithZerosPastTheEnd) {
  const uint8_t data[] = {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0x34, 0x12};
  LogSamples s{data, sizeof data, 16, 1};
  int16_t out[6];
  FillLogFrame(s, 1, 6, out);
  const int16_t expected[] = {-1, -32768, 0x1234, 0, 0, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], expected[i]) << i;
}

TEST(DataLogFill, OnlyTheFirstChannelOfEachFrame) {
  // Stereo frames (1, 2), (3, 4), (5, 6).
  const uint8_t data16[] = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0};
  int16_t out[4];
  FillLogFrame(LogSamples{data16, sizeof data16, 16, 2}, 0, 4, out);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 3);
  EXPECT_EQ(out[2], 5);
  EXPECT_EQ(out[3], 0);

  const uint8_t data8[] = {130, 7, 126, 7, 255, 7};
  FillLogFrame(LogSamples{data8, sizeof data8, 8, 2}, 1, 3, out);
  EXPECT_EQ(out[0], -2 * 256);
  EXPECT_EQ(out[1], 127 * 256);
  EXPECT_EQ(out[2], 0);
}

TEST(DataLogFill, EightBitIsCentredOn128AndScaledBy256) {
  const uint8_t data[] = {128, 0, 255, 129};
  int16_t out[6];
  FillLogFrame(LogSamples{data, sizeof data, 8, 1}, 0, 6, out);
  const int16_t expected[] = {0, -32768, 32512, 256, 0, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], expected[i]) << i;
}

TEST(DataLogFill, AnOddByteCountHasNoHalfSample) {
  const uint8_t data[] = {5, 0, 6, 0, 7};
  int16_t out[3];
  FillLogFrame(LogSamples{data, sizeof data, 16, 1}, 0, 3, out);
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(out[1], 6);
  EXPECT_EQ(out[2], 0);
}

// Found by the spectrum log fuzzer: a start far past the samples (an --at time of 10^17 ms,
// or any start near 2^63) times 28270 channels overflowed 64 bits before the end test.
struct FarStartRow {
  int64_t startFrame;
  int channels;
};

class DataLogFillFarStart : public ::testing::TestWithParam<FarStartRow> {};

TEST_P(DataLogFillFarStart, IsAllZeros) {
  const uint8_t data[] = {9, 9, 9, 9, 9, 9, 9, 9};
  int16_t out[4] = {1, 1, 1, 1};
  FillLogFrame(LogSamples{data, sizeof data, 16, GetParam().channels}, GetParam().startFrame, 4, out);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], 0) << i;
}

INSTANTIATE_TEST_SUITE_P(Fuzzed, DataLogFillFarStart,
                         ::testing::Values(FarStartRow{6548626826639150, 28270},
                                           FarStartRow{INT64_MAX - 2, 1}, FarStartRow{INT64_MIN, 2},
                                           FarStartRow{5, 1}));

// A 16-bit mono tone at the centre of bin `bin` of an n-point frame.
std::vector<uint8_t> Tone(int bin, int n, int frames, double amplitude) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < frames; ++i) {
    const auto v = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * kPi * bin * i / n)));
    bytes.push_back(static_cast<uint8_t>(v & 0xFF));
    bytes.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  }
  return bytes;
}

TEST(DataLogTransform, ATonePeaksInItsBinInBothForms) {
  for (int order : {9, 10, 11}) {
    const int n = 1 << order;
    const int bin = n / 16;
    const std::vector<uint8_t> tone = Tone(bin, n, 3 * n, 16000);
    const LogSamples s{tone.data(), static_cast<uint32_t>(tone.size()), 16, 1};
    std::vector<int16_t> levels, raw;
    ASSERT_TRUE(TransformLogFrame(s, 100, order, 11025, false, levels));
    ASSERT_TRUE(TransformLogFrame(s, 100, order, 11025, true, raw));
    ASSERT_EQ(levels.size(), static_cast<size_t>(n));
    int loudest = 0, strongest = 0;
    for (int b = 1; b < n / 2; ++b) {
      if (levels[b] > levels[loudest]) loudest = b;
      if (SpectrumAmplitude(raw[2 * b], raw[2 * b + 1]) > SpectrumAmplitude(raw[2 * strongest], raw[2 * strongest + 1])) {
        strongest = b;
      }
    }
    EXPECT_EQ(loudest, bin) << "N = " << n;
    EXPECT_EQ(strongest, bin) << "N = " << n;
    // Far from the tone the level is near silence, at the tone well above it.
    EXPECT_GT(LevelDecibels(levels[bin]), LevelDecibels(levels[n / 2 - 1]) + 30) << "N = " << n;
  }
}

TEST(DataLogTransform, AFramePastTheEndIsSilence) {
  const std::vector<uint8_t> tone = Tone(32, 512, 600, 16000);
  const LogSamples s{tone.data(), static_cast<uint32_t>(tone.size()), 16, 1};
  std::vector<int16_t> levels, raw;
  ASSERT_TRUE(TransformLogFrame(s, 600, 9, 11025, false, levels));
  ASSERT_TRUE(TransformLogFrame(s, 600, 9, 11025, true, raw));
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(LevelDecibels(levels[b]), -83) << b;  // silence reads level 31
    EXPECT_EQ(raw[2 * b], 0) << b;
    EXPECT_EQ(raw[2 * b + 1], 0) << b;
  }
}

// ---------------------------------------------------------------------------
// Spectrum table fields.

TEST(DataLogSpectrum, FrequencyIsTheBinCentreRoundedHalfUp) {
  const float width11k = 11025.0f / 512;  // 21.533 Hz
  const int expected[] = {11, 32, 54, 75};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(SpectrumBinFrequency(i, width11k), expected[i]) << i;
  EXPECT_EQ(SpectrumBinFrequency(255, width11k), 5502);  // 5501.73
  // A width of 3 Hz puts every centre on a half: 1.5 -> 2, 4.5 -> 5, 7.5 -> 8.
  EXPECT_EQ(SpectrumBinFrequency(0, 3.0f), 2);
  EXPECT_EQ(SpectrumBinFrequency(1, 3.0f), 5);
  EXPECT_EQ(SpectrumBinFrequency(2, 3.0f), 8);
  EXPECT_EQ(SpectrumBinFrequency(100, 44100.0f / 2048), 2164);  // 2164.08
}

TEST(DataLogSpectrum, AmplitudeUsesTheSinglePrecisionPowerFactor) {
  const struct {
    int16_t re, im;
    int amp;
  } cases[] = {
      {3, 4, 11},   // sqrt(130) = 11.40
      {0, 0, 0},
      {1, 0, 2},    // sqrt(5.2) = 2.28
      {-1, 0, 2},
      {100, 200, 509},  // sqrt(260000) = 509.9
      // 130 x 5.2f rounds to exactly 676 in single precision: sqrt is 26, where the product
      // taken in double (675.99997...) would give 25.
      {11, 3, 26},
      {-32768, -32768, 105673},  // 2^31 x 5.2f = 11166914560 (single precision)
  };
  for (const auto& c : cases) EXPECT_EQ(SpectrumAmplitude(c.re, c.im), c.amp) << c.re << ", " << c.im;
}

std::string PhaseText(int16_t re, int16_t im) {
  char text[32];
  std::snprintf(text, sizeof text, "%-2.3f", SpectrumPhase(re, im));
  return text;
}

TEST(DataLogSpectrum, PhaseIsTheArcTangentAndHalfPiOnTheImaginaryAxis) {
  const struct {
    int16_t re, im;
    const char* text;
  } cases[] = {
      {1, 1, "0.785"},      {-1, 1, "-0.785"}, {3, 4, "0.927"},   {1, -1000, "-1.570"},
      {5, 0, "0.000"},      {-5, 0, "0.000"},  // never "-0.000"
      {0, 5, "1.571"},      {0, -5, "-1.571"},  // +-pi/2, not +-pi/4
      {0, 0, "0.000"},      {0, 32767, "1.571"}, {0, -32768, "-1.571"},
  };
  for (const auto& c : cases) EXPECT_EQ(PhaseText(c.re, c.im), c.text) << c.re << ", " << c.im;
  EXPECT_NEAR(SpectrumPhase(0, 1), kPi / 2, 1e-12);
}

TEST(DataLogSpectrum, TheTableAsLaidOut) {
  const int16_t spectrum[] = {3, 4, 0, -5};
  const std::string text = SpectrumLogText("C:\\sounds\\tone.wav", 1500, 4, 11025.0f / 4, spectrum);
  EXPECT_EQ(text,
            "Harrowlight 3.2 Data\r\n"
            "C:\\sounds\\tone.wav\r\n"
            "1500 Sample Start (msec)\r\n"
            "2 Frequency Points\r\n"
            "\r\n"
            "Point   Freq    Amp     Phase\r\n"
            "0\t1378\t11\t0.927\r\n"    // 1378.125
            "1\t4134\t11\t-1.571\r\n");  // 4134.375
}

// ---------------------------------------------------------------------------
// The plot's bars.

TEST(DataLogBars, EachBarIsTheLargestOfItsBinsLimitedToFifty) {
  std::vector<int16_t> s(512, 0);  // N = 512: two bins a bar
  s[2 * 0] = 3;                    // power 9: 8 log10(10) - 8 = 0
  s[2 * 1] = 9;                    // power 81: 7.31
  s[2 * 2] = 99;                   // bar 1: power 9801: 23.93
  s[2 * 3 + 1] = -99;
  s[2 * 4] = 32767;  // bar 2: far above the top
  s[2 * 4 + 1] = 32767;
  s[2 * 255] = 1;    // bar 127: power 1: below zero, limited to 0
  const auto bars = SpectrumBars(s.data(), 512);
  EXPECT_EQ(bars[0], 7);
  EXPECT_EQ(bars[1], 23);
  EXPECT_EQ(bars[2], 50);
  for (int b = 3; b < kSpectrumBars; ++b) EXPECT_EQ(bars[b], 0) << b;
}

TEST(DataLogBars, BinsPerBarFollowTheFftSize) {
  for (int n : {512, 1024, 2048}) {
    const int group = n / 256;
    std::vector<int16_t> s(static_cast<size_t>(n), 0);
    s[2 * (group - 1)] = 1000;  // last bin of bar 0
    s[2 * (3 * group)] = 1000;  // first bin of bar 3
    const auto bars = SpectrumBars(s.data(), n);
    const int expected = static_cast<int>(8 * std::log10(1000001.0) - 8);  // 40
    EXPECT_EQ(bars[0], expected) << "N = " << n;
    EXPECT_EQ(bars[1], 0) << "N = " << n;
    EXPECT_EQ(bars[2], 0) << "N = " << n;
    EXPECT_EQ(bars[3], expected) << "N = " << n;
  }
}

}  // namespace
}  // namespace hl

namespace hl {
namespace {

// The spectrum command's frame start times the channel count overflowed 64 bits for a
// frame far past the data of a file with many channels (undefined behaviour, then a table
// of whatever the wrapped index read).
TEST(FillLogFrame, AStartFarPastTheDataOfManyChannelsReadsZerosWithoutOverflow) {
  std::vector<uint8_t> bytes(4096, 0x40);
  LogSamples samples;
  samples.data = bytes.data();
  samples.byteCount = static_cast<uint32_t>(bytes.size());
  samples.channels = 65535;
  std::vector<int16_t> frame(512, 1);
  FillLogFrame(samples, int64_t{1} << 50, 512, frame.data());
  EXPECT_EQ(frame, std::vector<int16_t>(512, 0));
  FillLogFrame(samples, 0, 512, frame.data());
  EXPECT_EQ(frame[0], 0x4040);  // frame 0's first sample is there, frame 1 is past the data
  EXPECT_EQ(frame[1], 0);
}

}  // namespace
}  // namespace hl
