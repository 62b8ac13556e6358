#include "core/dsp/level_scale.h"

#include <cmath>

namespace hl {

namespace {

// Single-precision constants of the level rule, widened without change.
constexpr float kPowerScale = 5.2f;    // 5.19999980926513671875
constexpr float kDecadeStep = 0.1f;    // 0.100000001490116
constexpr float kLogTableStep = 0.01f; // 0.00999999977648258

// The decade count j and the log-table index n of a power. Kept apart so the lookup
// builder can see where the decade changes.
struct LevelParts {
  int decade;
  int index;
};

LevelParts PartsOfPower(uint32_t power) {
  // p has at most 32 significant bits and 5.2f 24, so this product is exact in extended.
  long double x = static_cast<long double>(power) * static_cast<long double>(kPowerScale);
  int j = 0;
  while (x >= 10.0L && j < 10) {
    x = x * static_cast<long double>(kDecadeStep);
    ++j;
  }
  // x is stored to single precision, then scaled by 100 in extended.
  volatile float stored = static_cast<float>(x);
  long double scaled = static_cast<long double>(stored) * 100.0L;
  int n = static_cast<int>(scaled);
  if (n > kLogTableSize - 1) n = kLogTableSize - 1;
  if (n < 0) n = 0;
  return {j, n};
}

int16_t LevelOfParts(LevelParts parts, const int32_t* logTable) {
  int16_t lv = static_cast<int16_t>(logTable[parts.index] >> 14);
  return static_cast<int16_t>(((lv + 1) >> 1) + 40 * parts.decade);
}

}  // namespace

void BuildLogTable(int32_t* table) {
  table[0] = 0;
  long double a = static_cast<long double>(kLogTableStep);
  for (int n = 1; n < kLogTableSize; ++n) {
    double logarithm = std::log10(static_cast<double>(a));
    table[n] = static_cast<int32_t>(1441792.0 * logarithm);
    a = a + static_cast<long double>(kLogTableStep);
  }
}

int16_t LevelOfPower(uint32_t power, const int32_t* logTable) {
  return LevelOfParts(PartsOfPower(power), logTable);
}

LevelLookup::LevelLookup() {
  const int32_t* logTable = SharedLogTable();
  const uint32_t kLastPower = (1u << 31) + 1;
  int bucketCount = BucketOf(kLastPower) + 1;
  buckets_.resize(bucketCount);
  for (int index = 0; index < bucketCount; ++index) {
    // The powers of a bucket form one range [first, last].
    uint32_t first, last;
    if (index < (1 << kMantissaBits)) {
      first = last = static_cast<uint32_t>(index);
    } else {
      int shift = (index >> kMantissaBits) - 1;
      uint32_t mantissa = static_cast<uint32_t>(index & ((1 << kMantissaBits) - 1));
      uint64_t lo = (static_cast<uint64_t>((1u << kMantissaBits) | mantissa)) << shift;
      uint64_t hi = lo + (static_cast<uint64_t>(1) << shift) - 1;
      first = static_cast<uint32_t>(lo);
      last = static_cast<uint32_t>(hi > kLastPower ? kLastPower : hi);
    }
    if (first == 0) {  // p = re^2 + im^2 + 1 is never 0; give it silence's level
      first = last = 1;
    }
    Bucket& bucket = buckets_[index];
    LevelParts lowParts = PartsOfPower(first);
    LevelParts highParts = PartsOfPower(last);
    int16_t low = LevelOfParts(lowParts, logTable);
    int16_t high = LevelOfParts(highParts, logTable);
    bucket.below = low;
    bucket.from = high;
    bucket.threshold = last + (low == high ? 1u : 0u);
    if (low == high && lowParts.decade == highParts.decade) continue;

    // Within one decade count the level never falls as p grows, and the decade count never
    // falls either, so the first power whose level or decade differs from `first` is found
    // by bisection. The bucket is exact when nothing else changes after it.
    uint32_t lo = first, hi = last;  // level(lo) is low's, hi is past the change
    while (hi - lo > 1) {
      uint32_t mid = lo + (hi - lo) / 2;
      LevelParts parts = PartsOfPower(mid);
      if (parts.decade == lowParts.decade && LevelOfParts(parts, logTable) == low) {
        lo = mid;
      } else {
        hi = mid;
      }
    }
    bucket.threshold = hi;
    // Everything from hi to last must read `high`: true when hi shares last's decade and
    // level, since the level is monotonic within a decade.
    LevelParts changeParts = PartsOfPower(hi);
    if (changeParts.decade != highParts.decade || LevelOfParts(changeParts, logTable) != high) {
      exact_ = false;
    }
  }
}

const int32_t* SharedLogTable() {
  static const struct Table {
    int32_t entries[kLogTableSize];
    Table() { BuildLogTable(entries); }
  } table;
  return table.entries;
}

const LevelLookup& SharedLevelLookup() {
  static const LevelLookup lookup;
  return lookup;
}

}  // namespace hl
