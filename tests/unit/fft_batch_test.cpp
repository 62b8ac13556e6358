#include "core/dsp/fft_batch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/dsp/fft_engine.h"
#include "core/dsp/level_scale.h"

namespace hl {
namespace {

const char* const kPaths[] = {"scalar", "sse2", "avx2", "avx512"};

// Whether this processor (and its system) can run a path, asked independently of the
// code under test; elsewhere than x86 only the plain loop.
bool ProcessorHas(const std::string& path) {
  if (path == "scalar") return true;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (path == "sse2") return __builtin_cpu_supports("sse2");
  if (path == "avx2") return __builtin_cpu_supports("avx2");
  if (path == "avx512") return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#endif
  return false;
}

// Forces one path for the test's lifetime; skips the test only where the processor lacks
// it (an x86 build has every path).
class BatchPathTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!ProcessorHas(GetParam())) GTEST_SKIP() << "this processor lacks " << GetParam();
    ASSERT_TRUE(SetBatchInstructionSetForTesting(GetParam())) << GetParam() << " missing from this build";
    ASSERT_STREQ(BatchInstructionSet(), GetParam());
  }
  void TearDown() override { SetBatchInstructionSetForTesting(nullptr); }
};

// ---- Whole frames: every level against the plain engine ----

enum class Signal {
  kNoise,        // uniform over the whole 16-bit range
  kExtremes,     // random -32768 / 32767
  kAlternating,  // 32767, -32768, 32767, ...: the Nyquist square wave
  kSquare,       // full-scale square waves of 2 .. 64 samples per half period
  kConstantMax,  // 32767
  kConstantMin,  // -32768: with a weight of 32768 the window's product is 2^30
  kSilence,
  kTone,  // sines of varied frequency, amplitude and offset
  kQuiet,  // noise of a few units: levels at the bottom of the scale
};
const Signal kSignals[] = {Signal::kNoise,       Signal::kExtremes,    Signal::kAlternating,
                           Signal::kSquare,      Signal::kConstantMax, Signal::kConstantMin,
                           Signal::kSilence,     Signal::kTone,        Signal::kQuiet};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

void FillFrame(Signal signal, int16_t* frame, int n, std::mt19937& random) {
  std::uniform_int_distribution<int> any(-32768, 32767);
  switch (signal) {
    case Signal::kNoise:
      for (int i = 0; i < n; ++i) frame[i] = static_cast<int16_t>(any(random));
      break;
    case Signal::kExtremes:
      for (int i = 0; i < n; ++i) frame[i] = (random() & 1) ? int16_t(32767) : int16_t(-32768);
      break;
    case Signal::kAlternating: {
      const int phase = static_cast<int>(random() & 1);
      for (int i = 0; i < n; ++i) frame[i] = ((i + phase) & 1) ? int16_t(-32768) : int16_t(32767);
      break;
    }
    case Signal::kSquare: {
      const int half = 2 + static_cast<int>(random() % 63);
      for (int i = 0; i < n; ++i) frame[i] = (i / half) & 1 ? int16_t(-32768) : int16_t(32767);
      break;
    }
    case Signal::kConstantMax:
      for (int i = 0; i < n; ++i) frame[i] = 32767;
      break;
    case Signal::kConstantMin:
      for (int i = 0; i < n; ++i) frame[i] = -32768;
      break;
    case Signal::kSilence:
      for (int i = 0; i < n; ++i) frame[i] = 0;
      break;
    case Signal::kTone: {
      const double cycles = std::uniform_real_distribution<double>(0.5, n / 2.0)(random);
      const double amplitude = std::uniform_real_distribution<double>(1, 32767)(random);
      const double offset = std::uniform_real_distribution<double>(-1, 1)(random) * (32767 - amplitude);
      const double pi = std::acos(-1.0);
      for (int i = 0; i < n; ++i) {
        frame[i] = static_cast<int16_t>(std::lround(offset + amplitude * std::sin(2 * pi * cycles * i / n)));
      }
      break;
    }
    case Signal::kQuiet:
      for (int i = 0; i < n; ++i) frame[i] = static_cast<int16_t>(static_cast<int>(random() % 7) - 3);
      break;
  }
}

struct EngineCase {
  int bits;
  int32_t sampleRate, windowMs;  // -1: the window fills the frame
  const char* name;
};
const EngineCase kEngineCases[] = {
    {9, -1, -1, "full"},   {10, -1, -1, "full"},   {11, -1, -1, "full"},
    {9, 11025, 10, "110"}, {10, 44100, 7, "308"},  {11, 22050, 33, "727"},
    {9, 1000, 1, "dead"},  // one sample: the window is all zero
    {4, -1, -1, "full"},   {5, -1, -1, "full"},   // shorter than one AVX-512 load of a frame
};

// Transforms `frames` as a batch and each frame alone with FftEngine::Transform; every
// level of every frame must agree.
void ExpectBatchMatchesEngine(FftEngine& engine, const std::vector<int16_t>& frames, int frameCount) {
  const int n = engine.length;
  std::vector<int16_t> batch = frames;
  TransformFramesToLevels(engine, batch.data(), frameCount);
  for (int f = 0; f < frameCount; ++f) {
    std::vector<int16_t> expected(frames.begin() + f * n, frames.begin() + (f + 1) * n);
    engine.Transform(expected.data(), 0);
    expected.resize(n / 2);
    const std::vector<int16_t> actual(batch.begin() + f * n, batch.begin() + f * n + n / 2);
    ASSERT_EQ(actual, expected) << "frame " << f << " of " << frameCount;
  }
}

TEST_P(BatchPathTest, LevelsEqualPlainTransform) {
  for (const EngineCase& c : kEngineCases) {
    FftEngine engine;
    ASSERT_EQ(engine.Init(c.bits, c.sampleRate, c.windowMs), 0);
    const int n = engine.length;
    std::mt19937 random(static_cast<uint32_t>(c.bits * 1000 + c.windowMs));
    // Counts below, at and past the lane counts; mixed signals put different material in
    // neighbouring lanes, uniform ones drive every lane into the same wraps.
    for (int frameCount : {1, 3, 4, 5, 8, 9, 16, 17, 33}) {
      for (int mode = -1; mode < kSignalCount; ++mode) {
        SCOPED_TRACE(testing::Message() << "N " << n << " window " << c.name << " frames " << frameCount
                                        << " signal " << (mode < 0 ? std::string("mixed") : std::to_string(mode)));
        std::vector<int16_t> frames(static_cast<size_t>(frameCount) * n);
        for (int f = 0; f < frameCount; ++f) {
          const Signal signal = mode < 0 ? kSignals[f % kSignalCount] : kSignals[mode];
          FillFrame(signal, frames.data() + f * n, n, random);
        }
        ExpectBatchMatchesEngine(engine, frames, frameCount);
      }
    }
    engine.Release();
  }
}

TEST_P(BatchPathTest, ManyNoiseFramesEqualPlainTransform) {
  // Noise explores the 17-bit sums of the split and the wrapped butterfly outputs far more
  // widely than the structured signals.
  for (int bits : {9, 10, 11}) {
    FftEngine engine;
    ASSERT_EQ(engine.Init(bits, -1, -1), 0);
    const int n = engine.length;
    std::mt19937 random(static_cast<uint32_t>(bits));
    const int frameCount = 67;
    std::vector<int16_t> frames(static_cast<size_t>(frameCount) * n);
    for (int f = 0; f < frameCount; ++f) {
      FillFrame(f % 3 == 2 ? Signal::kExtremes : Signal::kNoise, frames.data() + f * n, n, random);
    }
    SCOPED_TRACE(testing::Message() << "N " << n);
    ExpectBatchMatchesEngine(engine, frames, frameCount);
    engine.Release();
  }
}

TEST_P(BatchPathTest, NothingToTransform) {
  FftEngine engine;
  ASSERT_EQ(engine.Init(9, -1, -1), 0);
  std::vector<int16_t> frame(512, 1234);
  TransformFramesToLevels(engine, frame.data(), 0);
  TransformFramesToLevels(engine, frame.data(), -3);
  EXPECT_EQ(frame, std::vector<int16_t>(512, 1234));
  engine.Release();
  TransformFramesToLevels(engine, frame.data(), 1);  // unbuilt engine
  EXPECT_EQ(frame, std::vector<int16_t>(512, 1234));
}

// ---- The level step alone, against the exact rule ----

TEST_P(BatchPathTest, LevelsOfPowersAtEveryBucketEdge) {
  // The lookup's buckets are ranges of powers by leading bit and the 6 bits after it, each
  // with one threshold. The vector paths compute the bucket themselves, so each bucket's
  // first and last power and each threshold's neighbours are checked against
  // LevelOfPower, the rule itself.
  const LevelLookup& lookup = SharedLevelLookup();
  const uint64_t kLast = (1ull << 31) + 1;
  std::vector<uint32_t> powers;
  auto add = [&](uint64_t p) {
    if (p >= 1 && p <= kLast) powers.push_back(static_cast<uint32_t>(p));
  };
  for (uint64_t p = 1; p <= 200; ++p) add(p);
  for (int bit = 6; bit <= 31; ++bit) {
    for (uint64_t mantissa = 0; mantissa < 64; ++mantissa) {
      const uint64_t first = (64 + mantissa) << (bit - 6);
      const uint64_t next = (65 + mantissa) << (bit - 6);
      add(first);
      add(first + 1);
      add(next - 1);
    }
  }
  for (const LevelLookup::Bucket& bucket : lookup.buckets()) {
    add(uint64_t{bucket.threshold} - 1);
    add(bucket.threshold);
    add(uint64_t{bucket.threshold} + 1);
  }
  add(kLast);
  std::mt19937 random(5);
  for (int i = 0; i < 20000; ++i) add(1 + random() % kLast);

  std::vector<int16_t> levels(powers.size());
  BatchLevelsOfPowersForTesting(powers.data(), static_cast<int>(powers.size()), levels.data());
  for (size_t i = 0; i < powers.size(); ++i) {
    ASSERT_EQ(levels[i], LevelOfPower(powers[i], SharedLogTable())) << "power " << powers[i];
  }
}

TEST_P(BatchPathTest, LevelsOfPairs) {
  struct Case {
    int16_t re, im;
    int16_t level;  // the scale's reference values
  };
  const Case cases[] = {
      {0, 0, 31},        {1, 0, 41},         {10, 0, 112},     {100, 0, 192},     {1000, 0, 272},
      {10000, 0, 352},   {32767, 0, 393},    {0, 10, 112},     {3002, 85, 310},   {2644, 849, 307},
      {4326, 189, 324},  {-32768, -32768, 402},  // 2^31 + 1: the pmaddwd sum wraps to -2^31
  };
  std::vector<int16_t> pairs;
  for (const Case& c : cases) {
    pairs.push_back(c.re);
    pairs.push_back(c.im);
  }
  // And the other corners, then random bins.
  const int16_t corners[] = {-32768, -32767, -1, 0, 1, 32767};
  for (int16_t re : corners) {
    for (int16_t im : corners) {
      pairs.push_back(re);
      pairs.push_back(im);
    }
  }
  std::mt19937 random(11);
  for (int i = 0; i < 4000; ++i) {
    pairs.push_back(static_cast<int16_t>(random()));
    pairs.push_back(static_cast<int16_t>(random()));
  }
  const int count = static_cast<int>(pairs.size() / 2);
  std::vector<int16_t> levels(count);
  BatchLevelsOfPairsForTesting(pairs.data(), count, levels.data());
  const int caseCount = static_cast<int>(sizeof(cases) / sizeof(cases[0]));
  for (int i = 0; i < count; ++i) {
    const int16_t expected = i < caseCount ? cases[i].level : LevelOfPower(BinPower(pairs[2 * i], pairs[2 * i + 1]), SharedLogTable());
    ASSERT_EQ(levels[i], expected) << "re " << pairs[2 * i] << " im " << pairs[2 * i + 1];
  }
}

// ---- Two threads, two engines ----

TEST_P(BatchPathTest, TwoThreadsWithTheirOwnEngines) {
  struct Job {
    int bits;
    std::vector<int16_t> input, expected, output;
  };
  Job jobs[2] = {{9, {}, {}, {}}, {11, {}, {}, {}}};
  const int frameCount = 24;
  FftEngine engines[2];
  for (int j = 0; j < 2; ++j) {
    ASSERT_EQ(engines[j].Init(jobs[j].bits, -1, -1), 0);
    const int n = engines[j].length;
    std::mt19937 random(static_cast<uint32_t>(j + 1));
    jobs[j].input.resize(static_cast<size_t>(frameCount) * n);
    for (int f = 0; f < frameCount; ++f) FillFrame(kSignals[f % kSignalCount], jobs[j].input.data() + f * n, n, random);
    jobs[j].expected = jobs[j].input;
    for (int f = 0; f < frameCount; ++f) engines[j].Transform(jobs[j].expected.data() + f * n, 0);
  }
  auto run = [&](int j) {
    const int n = engines[j].length;
    jobs[j].output.clear();
    for (int round = 0; round < 20; ++round) {
      std::vector<int16_t> frames = jobs[j].input;
      TransformFramesToLevels(engines[j], frames.data(), frameCount);
      for (int f = 0; f < frameCount; ++f) {
        jobs[j].output.insert(jobs[j].output.end(), frames.begin() + f * n, frames.begin() + f * n + n / 2);
      }
    }
  };
  std::thread other(run, 1);
  run(0);
  other.join();
  for (int j = 0; j < 2; ++j) {
    const int n = engines[j].length;
    std::vector<int16_t> expected;
    for (int round = 0; round < 20; ++round) {
      for (int f = 0; f < frameCount; ++f) {
        expected.insert(expected.end(), jobs[j].expected.begin() + f * n, jobs[j].expected.begin() + f * n + n / 2);
      }
    }
    EXPECT_EQ(jobs[j].output, expected) << "N " << n;
    engines[j].Release();
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, BatchPathTest, ::testing::ValuesIn(kPaths),
                         [](const ::testing::TestParamInfo<const char*>& path) { return std::string(path.param); });

TEST(BatchInstructionSet, ForcedPathIsReportedAndUnknownNamesRefused) {
  const std::string automatic = BatchInstructionSet();
  EXPECT_TRUE(automatic == "avx512" || automatic == "avx2" || automatic == "sse2" || automatic == "scalar") << automatic;
  EXPECT_TRUE(SetBatchInstructionSetForTesting("scalar"));  // every build has the plain loop
  EXPECT_STREQ(BatchInstructionSet(), "scalar");
  EXPECT_FALSE(SetBatchInstructionSetForTesting("neon9"));
  EXPECT_STREQ(BatchInstructionSet(), "scalar");
  EXPECT_TRUE(SetBatchInstructionSetForTesting(automatic.c_str()));
  EXPECT_STREQ(BatchInstructionSet(), automatic.c_str());
  EXPECT_TRUE(SetBatchInstructionSetForTesting(nullptr));
  EXPECT_EQ(BatchInstructionSet(), automatic);
}

#if defined(__x86_64__)
TEST(BatchInstructionSet, Sse2IsTheFloorOnX86_64) {
  // Every x86-64 processor has SSE2, so the automatic choice is never the plain loop.
  SetBatchInstructionSetForTesting(nullptr);
  EXPECT_STRNE(BatchInstructionSet(), "scalar");
}

TEST(BatchInstructionSet, AutomaticChoiceIsTheWidestTheProcessorHas) {
  const char* widest = ProcessorHas("avx512") ? "avx512" : ProcessorHas("avx2") ? "avx2" : "sse2";
  SetBatchInstructionSetForTesting(nullptr);
  EXPECT_STREQ(BatchInstructionSet(), widest);
}
#endif

}  // namespace
}  // namespace hl
