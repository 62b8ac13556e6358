// The program's level scale: one 16-bit level per frequency bin, 40 units per decade of
// power (4 units per dB). Silence reads 31, a full-scale component about 393.
//
// The level is a step function of the power p = re^2 + im^2 + 1 alone. LevelOfPower is the
// exact rule (extended precision, a decade reduction and the 1000-entry log table);
// LevelLookup reproduces it with a bucketed threshold table for the fast column path.
#pragma once

#include <cstdint>
#include <vector>

namespace hl {

constexpr int kLogTableSize = 1000;

// Scaled common logarithms at steps of 0.01: entry n = trunc(1441792 * log10(a_n)), where
// a_1 = 0.01f and a_(n+1) = a_n + 0.01f, the running sum kept in extended precision.
// 1441792 = 22 * 65536, so entry >> 14 is about 88 * log10(n / 100).
void BuildLogTable(int32_t* table);

// Power of one bin, plus one. Formed in 64 bits: re = im = -32768 gives 2^31 + 1, a valid
// loud bin, which the 32-bit sum would wrap to a negative number.
inline uint32_t BinPower(int32_t re, int32_t im) {
  return static_cast<uint32_t>(static_cast<int64_t>(re) * re + static_cast<int64_t>(im) * im + 1);
}

// The exact level of a power (p >= 1), using a log table built by BuildLogTable.
// The table index is kept within 0..999: rounding x to single precision just below a
// decade boundary can give index 1000, which reads the last entry instead.
int16_t LevelOfPower(uint32_t power, const int32_t* logTable);

// The same function as a lookup: buckets indexed by the power's exponent and its top
// mantissa bits, each holding one threshold and the levels below and from it.
// Built once from LevelOfPower; exact for every power 1 .. 2^31 + 1.
class LevelLookup {
 public:
  LevelLookup();
  int16_t operator()(uint32_t power) const {
    const Bucket& b = buckets_[BucketOf(power)];
    return power < b.threshold ? b.below : b.from;
  }
  static constexpr int kMantissaBits = 6;
  static int BucketOf(uint32_t power) {
    // Powers below 2^kMantissaBits get one bucket each; above, the leading bit's position
    // and the kMantissaBits bits after it select the bucket.
    if (power < (1u << kMantissaBits)) return static_cast<int>(power);
    int top = 31 - __builtin_clz(power);
    int shift = top - kMantissaBits;
    return ((shift + 1) << kMantissaBits) + static_cast<int>((power >> shift) & ((1u << kMantissaBits) - 1));
  }
  struct Bucket {
    uint32_t threshold;
    int16_t below;
    int16_t from;
  };
  const std::vector<Bucket>& buckets() const { return buckets_; }
  // False when some bucket holds more than one step of the level function; the lookup is
  // then not exact (the constructor checks this while building).
  bool exact() const { return exact_; }

 private:
  std::vector<Bucket> buckets_;
  bool exact_ = true;
};

// Process-wide log table and lookup, built on first use.
const int32_t* SharedLogTable();
const LevelLookup& SharedLevelLookup();

}  // namespace hl
