// Cost of one column of the time–frequency image, by path.
//
// Every benchmark reports "column" (or "bin"): seconds per column (per bin), averaged over
// the columns of an iteration. scripts/bench.sh prints them in microseconds.
//
//   PlainTransform/N        FftEngine::Transform of one frame (levels), the reference
//   Batch/<path>/N/G        TransformFramesToLevels on G frames per call
//   Column/<path>/N         the whole column: N samples read from interleaved stereo,
//                           transform, levels, palette indices into the image
//   Renderer/<path>/N       ColumnRenderer::DrawColumns, the program's own column path
//   RendererOneColumn/N     ColumnRenderer::DrawColumn, one plain transform per column
//   Encoding/<kind>/N       DrawColumns on the automatic path, the same stereo samples stored
//                           as 16-bit, 24-bit PCM or 32-bit float: the cost of decoding
//   LevelOfPower, LevelLookup   one bin's level by the exact rule and by the lookup
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/dsp/column_renderer.h"
#include "core/dsp/fft_batch.h"
#include "core/dsp/fft_engine.h"
#include "core/dsp/level_scale.h"

namespace hl {
namespace {

const char* const kPaths[] = {"scalar", "sse2", "avx2", "avx512"};

// A signal with some of everything: two tones, noise and a few full-scale clicks.
std::vector<int16_t> TestSignal(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, 300);
  std::vector<int16_t> samples(count);
  for (size_t i = 0; i < count; ++i) {
    double x = 9000 * std::sin(0.031 * i) + 4000 * std::sin(0.57 * i + 1) + noise(random);
    if (i % 4099 < 3) x = (i & 1) ? 32767 : -32768;
    samples[i] = static_cast<int16_t>(std::lround(std::max(-32768.0, std::min(32767.0, x))));
  }
  return samples;
}

void PerColumn(benchmark::State& state, int64_t columnsPerIteration) {
  state.counters["column"] = benchmark::Counter(static_cast<double>(columnsPerIteration),
                                                benchmark::Counter::kIsIterationInvariantRate |
                                                    benchmark::Counter::kInvert);
}

// Runs `body` with the path forced, or skips the benchmark where the path is missing.
template <typename Body>
void WithPath(benchmark::State& state, const char* path, Body body) {
  if (!SetBatchInstructionSetForTesting(path)) {
    state.SkipWithError("path not available on this machine");
    for (auto _ : state) {
    }
    return;
  }
  body();
  SetBatchInstructionSetForTesting(nullptr);
}

void PlainTransform(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  FftEngine engine;
  if (engine.Init(bits, -1, -1) != 0) return state.SkipWithError("no memory");
  const int n = engine.length;
  const std::vector<int16_t> input = TestSignal(n, 1);
  std::vector<int16_t> frame(n);
  for (auto _ : state) {
    std::memcpy(frame.data(), input.data(), sizeof(int16_t) * n);
    engine.Transform(frame.data(), 0);
    benchmark::DoNotOptimize(frame.data());
  }
  PerColumn(state, 1);
  engine.Release();
}

void Batch(benchmark::State& state, const char* path) {
  WithPath(state, path, [&] {
    const int bits = static_cast<int>(state.range(0));
    const int group = static_cast<int>(state.range(1));
    FftEngine engine;
    if (engine.Init(bits, -1, -1) != 0) return state.SkipWithError("no memory");
    const int n = engine.length;
    const std::vector<int16_t> input = TestSignal(static_cast<size_t>(n) * group, 2);
    std::vector<int16_t> frames = input;
    for (auto _ : state) {
      // Later iterations transform the previous levels: the work does not depend on the
      // values, and refilling the frames is the reading that Column measures.
      TransformFramesToLevels(engine, frames.data(), group);
      benchmark::DoNotOptimize(frames.data());
    }
    PerColumn(state, group);
    engine.Release();
  });
}

// The column as the renderer draws it, written out here so that it can be measured by
// path: frames read from interleaved 16-bit stereo at a step of N/2 sample frames,
// transformed in groups, levels turned into palette indices down one image column.
void Column(benchmark::State& state, const char* path) {
  WithPath(state, path, [&] {
    const int bits = static_cast<int>(state.range(0));
    constexpr int kColumns = 256;
    constexpr int kGroup = 32;
    constexpr int kChannels = 2;
    FftEngine engine;
    if (engine.Init(bits, -1, -1) != 0) return state.SkipWithError("no memory");
    const int n = engine.length;
    const int step = n / 2 * kChannels;
    const std::vector<int16_t> samples = TestSignal(static_cast<size_t>(kColumns + 2) * step, 3);
    PaletteImage image;
    if (!PrepareImage(image, kColumns, n / 2 + kMarginRows)) return state.SkipWithError("no memory");
    std::vector<int16_t> frames(static_cast<size_t>(kGroup) * n);
    constexpr int kTileBins = 64;
    uint8_t tile[kTileBins][kGroup];
    const int16_t correction = 0;
    for (auto _ : state) {
      for (int x0 = 0; x0 < kColumns; x0 += kGroup) {
        for (int k = 0; k < kGroup; ++k) {
          const int16_t* source = samples.data() + static_cast<size_t>(x0 + k) * step;
          int16_t* frame = frames.data() + static_cast<size_t>(k) * n;
          for (int i = 0; i < n; ++i) frame[i] = source[i * kChannels];
        }
        TransformFramesToLevels(engine, frames.data(), kGroup);
        // In blocks of 64 bins: palette indices of every column into a small tile, then
        // the tile's rows into the image, kGroup neighbouring bytes per row.
        for (int b0 = 0; b0 < n / 2; b0 += kTileBins) {
          for (int k = 0; k < kGroup; ++k) {
            const int16_t* levels = frames.data() + static_cast<size_t>(k) * n + b0;
            for (int b = 0; b < kTileBins; ++b) tile[b][k] = PaletteIndexOfLevel(levels[b], correction);
          }
          for (int b = 0; b < kTileBins; ++b) {
            std::memcpy(image.Row(image.height - 1 - b0 - b) + x0, tile[b], kGroup);
          }
        }
      }
      benchmark::DoNotOptimize(image.pixels.data());
    }
    PerColumn(state, kColumns);
    engine.Release();
  });
}

// The program's renderer on 16-bit stereo; `path` null draws one column at a time with
// the plain transform (DrawColumn).
void Renderer(benchmark::State& state, const char* path) {
  auto body = [&] {
    const int bits = static_cast<int>(state.range(0));
    constexpr int kColumns = 256;
    const int n = 1 << bits;
    const std::vector<int16_t> samples = TestSignal(static_cast<size_t>(kColumns + 2) * n, 4);
    SampleSpan span;
    span.data = reinterpret_cast<const uint8_t*>(samples.data());
    span.byteCount = samples.size() * sizeof(int16_t);
    span.bytesPerSample = 2;
    span.channels = 2;
    RenderSettings settings;
    settings.fftOrder = bits;
    settings.sampleRate = 11025;
    settings.windowMs = static_cast<float>(1000.0 * n / 11025);
    settings.step = n;  // N/2 sample frames of two channels
    ColumnRenderer renderer;
    if (renderer.Begin(span, settings) != 0) return state.SkipWithError("no memory");
    PaletteImage image;
    if (!PrepareImage(image, kColumns, n / 2 + kMarginRows)) return state.SkipWithError("no memory");
    for (auto _ : state) {
      if (path == nullptr) {
        for (int x = 0; x < kColumns; ++x) renderer.DrawColumn(x, image);
      } else {
        renderer.DrawColumns(0, kColumns, image);
      }
      benchmark::DoNotOptimize(image.pixels.data());
    }
    PerColumn(state, kColumns);
    renderer.End();
  };
  if (path == nullptr) {
    body();
  } else {
    WithPath(state, path, body);
  }
}

// The same stereo signal in the encodings a file may bring, drawn on the automatic path.
void Encoding(benchmark::State& state, SampleEncoding encoding) {
  const int bits = static_cast<int>(state.range(0));
  constexpr int kColumns = 256;
  const int n = 1 << bits;
  const std::vector<int16_t> samples = TestSignal(static_cast<size_t>(kColumns + 2) * n, 4);
  const size_t width = static_cast<size_t>(EncodingBytes(encoding));
  std::vector<uint8_t> bytes(samples.size() * width);
  for (size_t i = 0; i < samples.size(); ++i) {
    uint8_t* p = bytes.data() + i * width;
    if (encoding == SampleEncoding::Float32) {
      const float x = samples[i] / 32768.0f;
      std::memcpy(p, &x, 4);
    } else {
      const int32_t x = static_cast<int32_t>(samples[i]) * (encoding == SampleEncoding::Pcm24 ? 256 : 1);
      for (size_t b = 0; b < width; ++b) p[b] = static_cast<uint8_t>(x >> (8 * b));
    }
  }
  SampleSpan span{bytes.data(), bytes.size(), static_cast<int>(width), 2, encoding};
  RenderSettings settings;
  settings.fftOrder = bits;
  settings.sampleRate = 11025;
  settings.windowMs = static_cast<float>(1000.0 * n / 11025);
  settings.step = n;
  ColumnRenderer renderer;
  if (renderer.Begin(span, settings) != 0) return state.SkipWithError("no memory");
  PaletteImage image;
  if (!PrepareImage(image, kColumns, n / 2 + kMarginRows)) return state.SkipWithError("no memory");
  for (auto _ : state) {
    renderer.DrawColumns(0, kColumns, image);
    benchmark::DoNotOptimize(image.pixels.data());
  }
  PerColumn(state, kColumns);
  renderer.End();
}

// Powers of the bins of real columns: mostly quiet, some loud.
std::vector<uint32_t> TestPowers() {
  std::mt19937 random(5);
  std::vector<uint32_t> powers(4096);
  for (uint32_t& p : powers) {
    const int magnitude = 1 << (random() % 16);
    const int32_t re = static_cast<int32_t>(random() % magnitude) - magnitude / 2;
    const int32_t im = static_cast<int32_t>(random() % magnitude) - magnitude / 2;
    p = BinPower(re, im);
  }
  return powers;
}

void PerBin(benchmark::State& state, int64_t binsPerIteration) {
  state.counters["bin"] = benchmark::Counter(static_cast<double>(binsPerIteration),
                                             benchmark::Counter::kIsIterationInvariantRate |
                                                 benchmark::Counter::kInvert);
}

void LevelOfPowerBench(benchmark::State& state) {
  const std::vector<uint32_t> powers = TestPowers();
  const int32_t* table = SharedLogTable();
  for (auto _ : state) {
    int sum = 0;
    for (uint32_t p : powers) sum += LevelOfPower(p, table);
    benchmark::DoNotOptimize(sum);
  }
  PerBin(state, static_cast<int64_t>(powers.size()));
}

void LevelLookupBench(benchmark::State& state) {
  const std::vector<uint32_t> powers = TestPowers();
  const LevelLookup& lookup = SharedLevelLookup();
  for (auto _ : state) {
    int sum = 0;
    for (uint32_t p : powers) sum += lookup(p);
    benchmark::DoNotOptimize(sum);
  }
  PerBin(state, static_cast<int64_t>(powers.size()));
}

void RegisterAll() {
  benchmark::RegisterBenchmark("PlainTransform", PlainTransform)->Arg(9)->Arg(10)->Arg(11);
  for (const char* path : kPaths) {
    const std::string name = path;
    benchmark::RegisterBenchmark(("Batch/" + name).c_str(), Batch, path)
        ->Args({9, 8})->Args({9, 64})->Args({10, 64})->Args({11, 64});
    benchmark::RegisterBenchmark(("Column/" + name).c_str(), Column, path)->Arg(9)->Arg(10)->Arg(11);
    benchmark::RegisterBenchmark(("Renderer/" + name).c_str(), Renderer, path)->Arg(9);
  }
  benchmark::RegisterBenchmark("RendererOneColumn", Renderer, nullptr)->Arg(9);
  benchmark::RegisterBenchmark("Encoding/pcm16", Encoding, SampleEncoding::Pcm16)->Arg(9);
  benchmark::RegisterBenchmark("Encoding/pcm24", Encoding, SampleEncoding::Pcm24)->Arg(9);
  benchmark::RegisterBenchmark("Encoding/float32", Encoding, SampleEncoding::Float32)->Arg(9);
  benchmark::RegisterBenchmark("LevelOfPower", LevelOfPowerBench);
  benchmark::RegisterBenchmark("LevelLookup", LevelLookupBench);
}

}  // namespace
}  // namespace hl

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("batch_path", hl::BatchInstructionSet());
  hl::RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
