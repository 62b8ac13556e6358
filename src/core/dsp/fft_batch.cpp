#include "core/dsp/fft_batch.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "core/dsp/fft_batch_kernel.h"
#include "core/dsp/fft_engine.h"
#include "core/dsp/fixed_point.h"
#include "core/dsp/level_scale.h"

namespace hl {

namespace {

// The gathering lanes read the lookup's buckets as raw memory (fft_batch_kernel.h
// describes the layout they assume), re-indexed by the leading bit and the 6 bits after
// it: each such range of powers must lie inside one bucket of the lookup.
static_assert(sizeof(LevelLookup::Bucket) == 8, "bucket layout");
static_assert(offsetof(LevelLookup::Bucket, threshold) == 0, "bucket layout");
static_assert(offsetof(LevelLookup::Bucket, below) == 4, "bucket layout");
static_assert(offsetof(LevelLookup::Bucket, from) == 6, "bucket layout");
static_assert(LevelLookup::kMantissaBits <= 6, "bucket index of the gathering lanes");

// The lookup's buckets indexed by a power's leading bit `top` and the 6 bits after it
// (fewer, zero-filled, below 64) as top * 64 + m: bits 17..30 of the power converted to
// float with truncation, less 127 * 64. Below 64 each power has its own bucket, as in
// the lookup; indices no power reaches copy a neighbour and are never read.
const LevelLookup::Bucket* FloatIndexedBuckets() {
  static const std::vector<LevelLookup::Bucket> table = [] {
    const LevelLookup& lookup = SharedLevelLookup();
    const uint64_t kLast = (1ull << 31) + 1;
    std::vector<LevelLookup::Bucket> entries(32 * 64);
    for (int top = 0; top < 32; ++top) {
      for (int m = 0; m < 64; ++m) {
        uint64_t first = 64 + m;
        first = top >= 6 ? first << (top - 6) : first >> (6 - top);
        if (first > kLast) first = kLast;
        entries[top * 64 + m] = lookup.buckets()[LevelLookup::BucketOf(static_cast<uint32_t>(first))];
      }
    }
    return entries;
  }();
  return table.data();
}

enum Path { kAutomatic = -1, kScalar = 0, kSse2 = 1, kAvx2 = 2, kAvx512 = 3, kPathCount = 4 };
const char* const kPathNames[] = {"scalar", "sse2", "avx2", "avx512"};

bool CpuSupports(Path path) {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  // These also check that the system saves the ymm and zmm registers.
  if (path == kAvx512) return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  if (path == kAvx2) return __builtin_cpu_supports("avx2");
  if (path == kSse2) return __builtin_cpu_supports("sse2");
#endif
  return path == kScalar;
}

// The kernel of each path (null for the plain loop and for paths this build or this
// processor lacks) and the automatic choice, settled once.
struct Dispatch {
  const batch::Kernel* kernels[kPathCount];
  int automatic;
};

const Dispatch& TheDispatch() {
  static const Dispatch dispatch = [] {
    Dispatch d{{nullptr, CpuSupports(kSse2) ? batch::Sse2Kernel() : nullptr,
                CpuSupports(kAvx2) ? batch::Avx2Kernel() : nullptr,
                CpuSupports(kAvx512) ? batch::Avx512Kernel() : nullptr},
               kScalar};
    for (int path = kScalar; path < kPathCount; ++path) {
      if (d.kernels[path]) d.automatic = path;  // the widest the processor has
    }
    return d;
  }();
  return dispatch;
}

const batch::Kernel* KernelOf(int path) { return TheDispatch().kernels[path]; }

std::atomic<int> forcedPath{kAutomatic};  // tests and benchmarks only

int CurrentPath() {
  const int forced = forcedPath.load(std::memory_order_relaxed);
  return forced == kAutomatic ? TheDispatch().automatic : forced;
}

// ---- The plain loop: one frame at a time, in place ----

// The plain transform on the caller's frame, then the levels written over the first half
// of each bin's pair and gathered into bin order.
void TransformFrameInPlace(const FftEngine& engine, const LevelLookup& lookup, int16_t* a) {
  const int complexCount = engine.length / 2;
  const int16_t* r = engine.bitReverse.get();
  engine.TransformFrame(a);

  // Bin i's pair sits at R[i] = 2 * rev(i): its level goes to a[2 * rev(i)], the pairs
  // are compacted (a[j] = level of bin rev(j)) and the bit reversal, its own inverse,
  // is undone by swaps.
  for (int i = 0; i < complexCount; ++i) a[r[i]] = lookup(BinPower(a[r[i]], a[r[i] + 1]));
  for (int j = 0; j < complexCount; ++j) a[j] = a[2 * j];
  for (int j = 0; j < complexCount; ++j) {
    const int k = r[j] / 2;
    if (j < k) std::swap(a[j], a[k]);
  }
}

// ---- The vector paths ----

uint32_t PairWord(int32_t low, int32_t high) {
  return (static_cast<uint32_t>(low) & 0xFFFFu) | ((static_cast<uint32_t>(high) & 0xFFFFu) << 16);
}

// A thread's scratch: the work vectors and the twiddle tables of the last FFT length it
// transformed. The tables depend on the twiddle and bit-reversal tables alone, which
// depend on N alone, so they are rebuilt only when the engine's tables change.
struct Scratch {
  int n = 0;
  const int16_t* twiddle = nullptr;
  const int16_t* bitReverse = nullptr;
  batch::BlockTwiddle blocks[batch::kMaxLength / 4];
  batch::SplitStep split[batch::kMaxLength / 4];
  int16_t discard[batch::kMaxLength / 2];  // output of the lanes beyond the last frame
  unsigned char work[batch::kMaxLength / 2 * batch::kMaxLanes * 4 + 64];

  void* AlignedWork() {
    const uintptr_t address = reinterpret_cast<uintptr_t>(work);
    return work + ((64 - address % 64) % 64);
  }
};

constexpr int16_t kMinus32768 = -32768;

void BuildTables(const FftEngine& engine, Scratch& scratch) {
  const int n = engine.length;
  const int16_t* t = engine.twiddle.get();
  const int16_t* r = engine.bitReverse.get();
  for (int b = 0; b < n / 4; ++b) {
    const int32_t s = t[2 * b];
    const int32_t c = t[2 * b + 1];
    scratch.blocks[b] = {PairWord(c, s), PairWord(s, -c), c == kMinus32768 ? 0xFFFF0000u : 0u, 0};
  }
  for (int i = 1; i <= n / 4; ++i) {
    const int k = r[i];
    const int32_t s = t[k];
    const int32_t c = t[k + 1];
    scratch.split[i - 1] = {PairWord(s, c), PairWord(s, -c), PairWord(c, s), PairWord(-c, s),
                            k / 2, r[n / 2 - i] / 2, c == kMinus32768 ? 1u : 0u, 0};
  }
  scratch.n = n;
  scratch.twiddle = t;
  scratch.bitReverse = r;
}

// This thread's scratch with the tables for `engine`, or null when it cannot be allocated.
Scratch* ScratchFor(const FftEngine& engine) {
  thread_local std::unique_ptr<Scratch> scratch;
  if (!scratch) scratch.reset(new (std::nothrow) Scratch);
  if (!scratch) return nullptr;
  if (scratch->n != engine.length || scratch->twiddle != engine.twiddle.get() ||
      scratch->bitReverse != engine.bitReverse.get()) {
    BuildTables(engine, *scratch);
  }
  return scratch.get();
}

}  // namespace

void TransformFramesToLevels(const FftEngine& engine, int16_t* frames, int frameCount) {
  if (frameCount <= 0 || !engine.built()) return;
  const int n = engine.length;
  const LevelLookup& lookup = SharedLevelLookup();
  const batch::Kernel* kernel = KernelOf(CurrentPath());
  Scratch* scratch = nullptr;
  if (kernel != nullptr && n >= batch::kMinLength && n <= batch::kMaxLength) scratch = ScratchFor(engine);
  if (scratch == nullptr) {
    for (int f = 0; f < frameCount; ++f) TransformFrameInPlace(engine, lookup, frames + static_cast<size_t>(f) * n);
    return;
  }

  batch::Plan plan;
  plan.n = n;
  plan.window = engine.window.get();
  plan.bitReverse = engine.bitReverse.get();
  plan.blocks = scratch->blocks;
  plan.split = scratch->split;
  plan.lookup = &lookup;
  plan.buckets = FloatIndexedBuckets();
  void* work = scratch->AlignedWork();
  int16_t* last = frames + static_cast<size_t>(frameCount - 1) * n;
  for (int first = 0; first < frameCount; first += kernel->lanes) {
    const int16_t* in[batch::kMaxLanes];
    int16_t* out[batch::kMaxLanes];
    for (int l = 0; l < kernel->lanes; ++l) {
      if (first + l < frameCount) {
        out[l] = frames + static_cast<size_t>(first + l) * n;
        in[l] = out[l];
      } else {  // lanes past the last frame repeat it and their levels are dropped
        in[l] = last;
        out[l] = scratch->discard;
      }
    }
    kernel->transform(plan, in, out, work);
  }
}

const char* BatchInstructionSet() { return kPathNames[CurrentPath()]; }

bool SetBatchInstructionSetForTesting(const char* name) {
  if (name == nullptr) {
    forcedPath.store(kAutomatic);
    return true;
  }
  for (int path = kScalar; path < kPathCount; ++path) {
    if (std::strcmp(name, kPathNames[path]) != 0) continue;
    if (path != kScalar && KernelOf(path) == nullptr) return false;
    forcedPath.store(path);
    return true;
  }
  return false;
}

void BatchLevelsOfPairsForTesting(const int16_t* pairs, int count, int16_t* levels) {
  const LevelLookup& lookup = SharedLevelLookup();
  const batch::Kernel* kernel = KernelOf(CurrentPath());
  if (kernel == nullptr) {
    for (int i = 0; i < count; ++i) levels[i] = lookup(BinPower(pairs[2 * i], pairs[2 * i + 1]));
    return;
  }
  batch::Plan plan;
  plan.lookup = &lookup;
  plan.buckets = FloatIndexedBuckets();
  for (int first = 0; first < count; first += kernel->lanes) {
    int16_t group[2 * batch::kMaxLanes] = {};  // lanes past the end hold silence
    int16_t out[batch::kMaxLanes];
    const int used = count - first < kernel->lanes ? count - first : kernel->lanes;
    std::memcpy(group, pairs + 2 * first, sizeof(int16_t) * 2 * used);
    kernel->levelsOfPairs(plan, group, out);
    std::memcpy(levels + first, out, sizeof(int16_t) * used);
  }
}

void BatchLevelsOfPowersForTesting(const uint32_t* powers, int count, int16_t* levels) {
  const LevelLookup& lookup = SharedLevelLookup();
  const batch::Kernel* kernel = KernelOf(CurrentPath());
  if (kernel == nullptr) {
    for (int i = 0; i < count; ++i) levels[i] = lookup(powers[i]);
    return;
  }
  batch::Plan plan;
  plan.lookup = &lookup;
  plan.buckets = FloatIndexedBuckets();
  for (int first = 0; first < count; first += kernel->lanes) {
    uint32_t group[batch::kMaxLanes];
    int16_t out[batch::kMaxLanes];
    const int used = count - first < kernel->lanes ? count - first : kernel->lanes;
    for (int l = 0; l < kernel->lanes; ++l) group[l] = l < used ? powers[first + l] : 1u;
    kernel->levelsOfPowers(plan, group, out);
    std::memcpy(levels + first, out, sizeof(int16_t) * used);
  }
}

}  // namespace hl
