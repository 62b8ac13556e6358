#include "core/dsp/fft_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "core/dsp/level_scale.h"

namespace hl {
namespace {

struct LevelCase {
  int32_t re, im;
  int16_t level;
};

// The scale's anchor points: silence, then one decade of amplitude (two of power, 80 units)
// apart, and a few loud bins that pin the extended-precision readings of the rule.
const LevelCase kLevelCases[] = {
    {0, 0, 31},        {1, 0, 41},         {10, 0, 112},      {100, 0, 192},
    {1000, 0, 272},    {10000, 0, 352},    {32767, 0, 393},   {0, 10, 112},
    {3002, 85, 310},   {2644, 849, 307},   {4326, 189, 324},  {-32768, -32768, 402},
};

TEST(LevelScale, ReferenceLevels) {
  for (const LevelCase& c : kLevelCases) {
    EXPECT_EQ(LevelOfPower(BinPower(c.re, c.im), SharedLogTable()), c.level)
        << "re " << c.re << " im " << c.im;
  }
}

TEST(LevelScale, LoudestBinDoesNotWrap) {
  // re = im = -32768 has power 2^31 + 1; a 32-bit sum would make it negative.
  EXPECT_EQ(BinPower(-32768, -32768), (1u << 31) + 1);
  EXPECT_GT(LevelOfPower(BinPower(-32768, -32768), SharedLogTable()),
            LevelOfPower(BinPower(32767, 0), SharedLogTable()));
}

TEST(LevelScale, LogTableSteps) {
  const int32_t* table = SharedLogTable();
  EXPECT_EQ(table[0], 0);
  // a_100 is 1 up to the single-precision error of the running sum: log10 is ~0.
  EXPECT_LE(std::abs(table[100]), 2);
  // entry >> 14 is about 88 * log10(n / 100).
  for (int n : {1, 10, 50, 200, 500, 999}) {
    double expected = 88.0 * std::log10(n / 100.0);
    EXPECT_NEAR(table[n] / 16384.0, expected, 0.01) << n;
  }
  for (int n = 2; n < kLogTableSize; ++n) EXPECT_GT(table[n], table[n - 1]) << n;
}

TEST(LevelScale, DecadeBoundaryFallsBackAtMostFourUnits) {
  // Within a decade the table rises 44 units, between decades the scale adds 40, so the
  // level just past a boundary reads up to 4 units below the level just before it. (From
  // 2^16 on, neighbouring powers are close enough that a rise is at most one unit.)
  const int32_t* table = SharedLogTable();
  int drops = 0;
  int16_t before = LevelOfPower(1u << 16, table);
  for (uint32_t p = (1u << 16) + 1; p < (1u << 31); p += p / 4096 + 1) {
    int16_t after = LevelOfPower(p, table);
    ASSERT_GE(after, before - 4) << p;
    ASSERT_LE(after, before + 1) << p;
    if (after < before) ++drops;
    before = after;
  }
  EXPECT_GT(drops, 0);
}

TEST(LevelScale, IndexStaysInsideLogTable) {
  // Just below a decade boundary x rounds to 10.0f in single precision, which would index
  // entry 1000 of the 1000-entry table. Those powers read the top of their decade,
  // 44 + 40 j, and the first power past the boundary falls back to 40 (j + 1).
  const int32_t* table = SharedLogTable();
  for (int k : {8, 9}) {
    const uint32_t edge = static_cast<uint32_t>(std::ceil(std::pow(10.0, k) / 5.2f));
    int16_t highest = 0;
    for (uint32_t p = edge - 4000; p < edge - 2; ++p) highest = std::max(highest, LevelOfPower(p, table));
    EXPECT_EQ(highest, 44 + 40 * (k - 1)) << k;
    EXPECT_EQ(LevelOfPower(edge + 2, table), 40 * k) << k;
  }
}

TEST(LevelLookup, BuiltExact) { EXPECT_TRUE(SharedLevelLookup().exact()); }

TEST(LevelLookup, MatchesLevelFunctionOnSampledPowers) {
  const LevelLookup& lookup = SharedLevelLookup();
  const int32_t* table = SharedLogTable();
  for (uint32_t p = 1; p <= (1u << 20); ++p) {
    ASSERT_EQ(lookup(p), LevelOfPower(p, table)) << p;
  }
  // Both sides of every bucket's threshold, and random powers up to 2^31 + 1.
  for (const LevelLookup::Bucket& b : lookup.buckets()) {
    for (uint32_t p : {b.threshold - 1, b.threshold, b.threshold + 1}) {
      if (p == 0 || p > (1u << 31) + 1) continue;
      ASSERT_EQ(lookup(p), LevelOfPower(p, table)) << p;
    }
  }
  std::mt19937 random(12345);
  std::uniform_int_distribution<uint32_t> power(1, (1u << 31) + 1);
  for (int i = 0; i < 2000000; ++i) {
    uint32_t p = power(random);
    ASSERT_EQ(lookup(p), LevelOfPower(p, table)) << p;
  }
}

// Every power from 1 to 2^31 + 1: about 16 s, run by hand with
// --gtest_also_run_disabled_tests --gtest_filter='*EveryPower*'.
TEST(LevelLookup, DISABLED_MatchesLevelFunctionForEveryPower) {
  const LevelLookup& lookup = SharedLevelLookup();
  const int32_t* table = SharedLogTable();
  uint64_t mismatches = 0;
  for (uint64_t p = 1; p <= (1ull << 31) + 1; ++p) {
    if (lookup(static_cast<uint32_t>(p)) != LevelOfPower(static_cast<uint32_t>(p), table)) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0u);
}

TEST(FftTables, BitReversal) {
  for (int bits : {9, 10, 11}) {
    const int n = 1 << bits;
    std::vector<int16_t> r(n / 2);
    BuildBitReverseTable(n, r.data());
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[1], n / 2);
    EXPECT_EQ(r[2], n / 4);
    EXPECT_EQ(r[3], n / 2 + n / 4);
    std::vector<bool> seen(n / 2, false);
    for (int i = 0; i < n / 2; ++i) {
      ASSERT_EQ(r[i] % 2, 0);
      ASSERT_FALSE(seen[r[i] / 2]) << "not a permutation at " << i;
      seen[r[i] / 2] = true;
      // R[i] / 2 is i with its log2(N/2) bits reversed.
      int reversed = 0;
      for (int bit = 0; bit < bits - 1; ++bit) reversed |= ((i >> bit) & 1) << (bits - 2 - bit);
      EXPECT_EQ(r[i] / 2, reversed);
    }
  }
}

TEST(FftTables, Twiddles) {
  for (int bits : {9, 10, 11}) {
    const int n = 1 << bits;
    std::vector<int16_t> r(n / 2), t(n);
    BuildBitReverseTable(n, r.data());
    BuildTwiddleTable(n, r.data(), t.data());
    EXPECT_EQ(t[r[0]], 0);
    EXPECT_EQ(t[r[0] + 1], -32768);
    // A quarter turn: -32768 sin = -32768, -32768 cos rounds to 0 (2 pi is 6.283185).
    EXPECT_EQ(t[r[n / 4]], -32768);
    EXPECT_EQ(t[r[n / 4] + 1], 0);
    // An eighth of a turn: 32768 / sqrt 2 = 23170.475 rounds to 23170.
    EXPECT_EQ(t[r[n / 8]], -23170);
    EXPECT_EQ(t[r[n / 8] + 1], -23170);
  }
  // For N = 2048 the last cosine entry is +32768 and wraps; it is never read.
  std::vector<int16_t> r(1024), t(2048);
  BuildBitReverseTable(2048, r.data());
  BuildTwiddleTable(2048, r.data(), t.data());
  EXPECT_EQ(t[r[1023] + 1], -32768);
}

TEST(FftTables, Window) {
  std::vector<uint16_t> w(512);
  BuildWindowTable(512, 512, w.data());
  EXPECT_EQ(w[0], 0);
  EXPECT_EQ(w[256], 32768);
  EXPECT_EQ(w[128], 16384);  // cos(-pi/2) with the short 2 pi is just above 0
  EXPECT_EQ(w[1], w[511]);   // symmetric about the peak
  // A 100-sample window: Hann of 100 from index 0, zero from 100 on.
  BuildWindowTable(512, 101, w.data());
  EXPECT_EQ(w[50], 32768);
  EXPECT_GT(w[99], 0);
  for (int i = 100; i < 512; ++i) ASSERT_EQ(w[i], 0) << i;
  // One sample gives h = 0 and no window at all.
  BuildWindowTable(512, 1, w.data());
  for (int i = 0; i < 512; ++i) ASSERT_EQ(w[i], 0) << i;
}

TEST(FftEngine, WindowLengthFromRateAndMilliseconds) {
  struct Case {
    int32_t rate, ms;
    int16_t expected;
  } cases[] = {{11025, 8, 88}, {44100, 8, 352}, {-1, 8, 512}, {11025, -1, 512}, {44100, 20, 512}};
  for (const Case& c : cases) {
    FftEngine engine;
    ASSERT_EQ(engine.Init(9, c.rate, c.ms), 0);
    EXPECT_EQ(engine.windowLength, c.expected) << c.rate << " " << c.ms;
    engine.Release();
    EXPECT_FALSE(engine.built());
  }
}

TEST(FftEngine, SilenceAndDeadWindow) {
  FftEngine engine;
  ASSERT_EQ(engine.Init(10, 11025, -1), 0);
  std::vector<int16_t> frame(1024, 0);
  engine.Transform(frame.data(), 0);
  for (int b = 0; b < 512; ++b) ASSERT_EQ(frame[b], 31) << b;
  std::fill(frame.begin(), frame.end(), 0);
  engine.Transform(frame.data(), 1);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(frame[i], 0) << i;
  engine.Release();

  // A window of one sample (0 ms at any rate rounds to h = 0): loud input reads as silence.
  ASSERT_EQ(engine.Init(9, 1000, 1), 0);
  EXPECT_EQ(engine.windowLength, 1);
  std::vector<int16_t> loud(512, 30000);
  engine.Transform(loud.data(), 0);
  for (int b = 0; b < 256; ++b) ASSERT_EQ(loud[b], 31) << b;
  engine.Release();
}

// The fixed-point spectrum against a double-precision DFT of the same windowed frame,
// scaled as the engine scales (by 2/N). Each of the log2(N) halving stages floors, so the
// error stays within a few units.
void ExpectCloseToReference(int bits, const std::vector<int16_t>& input) {
  const int n = 1 << bits;
  FftEngine engine;
  ASSERT_EQ(engine.Init(bits, -1, -1), 0);
  std::vector<double> windowed(n);
  for (int i = 0; i < n; ++i) windowed[i] = std::floor(engine.window[i] * static_cast<double>(input[i]) / 32768.0);
  std::vector<int16_t> frame = input;
  engine.Transform(frame.data(), 1);
  EXPECT_EQ(frame[1], 0) << "bin 0 has no imaginary part";
  const double pi = std::acos(-1.0);
  double worst = 0;
  for (int k = 0; k < n / 2; ++k) {
    std::complex<double> sum = 0;
    for (int i = 0; i < n; ++i) sum += windowed[i] * std::polar(1.0, -2 * pi * k * i / n);
    sum *= 2.0 / n;
    worst = std::max(worst, std::abs(frame[2 * k] - sum.real()));
    worst = std::max(worst, std::abs(frame[2 * k + 1] - sum.imag()));
  }
  EXPECT_LT(worst, 2.0 * bits) << "bits " << bits;
  engine.Release();
}

TEST(FftEngine, RawOutputMatchesDoublePrecisionDft) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  for (int bits : {9, 10, 11}) {
    std::vector<int16_t> noise(1 << bits);
    for (int16_t& s : noise) s = static_cast<int16_t>(sample(random));
    ExpectCloseToReference(bits, noise);
    std::vector<int16_t> tone(1 << bits);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(20000 * std::sin(0.3 * i) + 5000);
    ExpectCloseToReference(bits, tone);
  }
}

TEST(FftEngine, ToneLevelPeaksInItsBin) {
  // A full-scale cosine centred on bin 64 of 512: Hann-windowed, its bin holds A/2 of the
  // 2/N-scaled spectrum (A for the cosine, times the window's mean 0.5), so re is about
  // 16384: p = 2.684e8, 5.2 p = 1.396e9, nine decades (360) plus half of
  // trunc(88 log10 1.396) = 12, rounded up: 366.
  FftEngine engine;
  ASSERT_EQ(engine.Init(9, -1, -1), 0);
  std::vector<int16_t> frame(512);
  const double pi = std::acos(-1.0);
  for (int i = 0; i < 512; ++i) frame[i] = static_cast<int16_t>(32767 * std::cos(2 * pi * 64 * i / 512));
  engine.Transform(frame.data(), 0);
  int peak = 0;
  for (int b = 1; b < 256; ++b) {
    if (frame[b] > frame[peak]) peak = b;
  }
  EXPECT_EQ(peak, 64);
  EXPECT_NEAR(frame[64], 366, 1);
  // Hann leaks half the amplitude into each neighbour (-6 dB, 24 units) and nothing beyond.
  EXPECT_NEAR(frame[63], frame[64] - 24, 3);
  EXPECT_NEAR(frame[65], frame[64] - 24, 3);
  for (int b : {10, 100, 200}) EXPECT_LT(frame[b], 60) << b;
  engine.Release();
}

TEST(FftEngine, ReinitWithAnotherSize) {
  FftEngine engine;
  ASSERT_EQ(engine.Init(11, -1, -1), 0);
  engine.Release();
  ASSERT_EQ(engine.Init(9, -1, -1), 0);
  EXPECT_EQ(engine.length, 512);
  EXPECT_EQ(engine.bitReverse[1], 256);
  EXPECT_EQ(engine.window[256], 32768);
  engine.Release();
}

TEST(FftEngine, FullScaleInputWrapsWithoutFault) {
  // Extreme inputs drive the butterflies into their 16-bit wraps; the result must still be
  // a defined level for every bin (the arithmetic wraps, it never traps or saturates).
  FftEngine engine;
  ASSERT_EQ(engine.Init(9, -1, -1), 0);
  for (int16_t value : {int16_t(-32768), int16_t(32767)}) {
    std::vector<int16_t> frame(512);
    for (int i = 0; i < 512; ++i) frame[i] = (i % 2) ? value : static_cast<int16_t>(-value - 1);
    engine.Transform(frame.data(), 0);
    for (int b = 0; b < 256; ++b) {
      ASSERT_GE(frame[b], 31);
      ASSERT_LE(frame[b], 402);
    }
  }
  engine.Release();
}

}  // namespace
}  // namespace hl
