// The batched column transform with AVX2: eight frames per vector, levels by gathering
// from the level lookup's buckets. This file alone is compiled with -mavx2 and is entered
// only when the processor reports AVX2; it includes nothing that defines inline functions
// other files use (see fft_batch_kernel.h). Empty when the compiler lacks AVX2.
#include "core/dsp/fft_batch_kernel.h"

#if defined(__AVX2__)

#include <immintrin.h>

namespace hl {
namespace batch {
namespace {

struct Avx2 {
  using Vec = __m256i;
  static Vec Set1(uint32_t x) { return _mm256_set1_epi32(static_cast<int>(x)); }
  static Vec Load(const Vec* p) { return _mm256_loadu_si256(p); }
  static void Store(Vec* p, Vec x) { _mm256_storeu_si256(p, x); }
  static Vec Madd(Vec a, Vec b) { return _mm256_madd_epi16(a, b); }
  static Vec Add32(Vec a, Vec b) { return _mm256_add_epi32(a, b); }
  static Vec Sub32(Vec a, Vec b) { return _mm256_sub_epi32(a, b); }
  template <int kBits>
  static Vec Srli32(Vec a) { return _mm256_srli_epi32(a, kBits); }
  template <int kBits>
  static Vec Slli32(Vec a) { return _mm256_slli_epi32(a, kBits); }
  static Vec Add16(Vec a, Vec b) { return _mm256_add_epi16(a, b); }
  static Vec Sub16(Vec a, Vec b) { return _mm256_sub_epi16(a, b); }
  static Vec AvgU16(Vec a, Vec b) { return _mm256_avg_epu16(a, b); }
  static Vec And(Vec a, Vec b) { return _mm256_and_si256(a, b); }
  static Vec Xor(Vec a, Vec b) { return _mm256_xor_si256(a, b); }
  static Vec Combine(Vec lo, Vec hi) { return _mm256_blend_epi16(lo, hi, 0xAA); }
  static Vec NegateIm(Vec x) {
    // psignw negates where the sign word is negative, wrapping -32768 to itself.
    return _mm256_sign_epi16(x, _mm256_set1_epi32(static_cast<int>(0xFFFF0001u)));
  }
};

using Vec = __m256i;
using Half = __m128i;

// (W * a) >> 15 for 16-bit a and unsigned weights W <= 32768; see the SSE2 file.
inline Vec Windowed(Vec a, Vec w, bool hasFullWeight) {
  Vec r = _mm256_or_si256(_mm256_slli_epi16(_mm256_mulhi_epi16(a, w), 1),
                          _mm256_srli_epi16(_mm256_mullo_epi16(a, w), 15));
  if (hasFullWeight) {
    r = _mm256_add_epi16(r, _mm256_and_si256(_mm256_srai_epi16(w, 15), _mm256_add_epi16(a, a)));
  }
  return r;
}

// Windows eight frames and spreads them over the lanes: 8 complex values of each frame
// per step, transposed 8 x 8.
inline void LoadFrames(const Plan& plan, const int16_t* const* in, Vec* v) {
  const Vec fullWeight = _mm256_set1_epi16(static_cast<int16_t>(0x8000));
  for (int k = 0; k < plan.n / 2; k += 8) {
    const Vec w = _mm256_loadu_si256(reinterpret_cast<const Vec*>(plan.window + 2 * k));
    const bool full = _mm256_movemask_epi8(_mm256_cmpeq_epi16(w, fullWeight)) != 0;
    Vec r[8];
    for (int l = 0; l < 8; ++l) {
      r[l] = Windowed(_mm256_loadu_si256(reinterpret_cast<const Vec*>(in[l] + 2 * k)), w, full);
    }
    // Within each 128-bit half, 4 x 4 transposes of frames 0-3 and 4-7; the halves are
    // then exchanged so that vector k + j holds value j of all eight frames.
    Vec t[8], u[8];
    for (int g = 0; g < 8; g += 4) {
      t[g + 0] = _mm256_unpacklo_epi32(r[g + 0], r[g + 1]);
      t[g + 1] = _mm256_unpackhi_epi32(r[g + 0], r[g + 1]);
      t[g + 2] = _mm256_unpacklo_epi32(r[g + 2], r[g + 3]);
      t[g + 3] = _mm256_unpackhi_epi32(r[g + 2], r[g + 3]);
      u[g + 0] = _mm256_unpacklo_epi64(t[g + 0], t[g + 2]);  // values 0 | 4
      u[g + 1] = _mm256_unpackhi_epi64(t[g + 0], t[g + 2]);  // values 1 | 5
      u[g + 2] = _mm256_unpacklo_epi64(t[g + 1], t[g + 3]);  // values 2 | 6
      u[g + 3] = _mm256_unpackhi_epi64(t[g + 1], t[g + 3]);  // values 3 | 7
    }
    for (int j = 0; j < 4; ++j) {
      _mm256_storeu_si256(v + k + j, _mm256_permute2x128_si256(u[j], u[4 + j], 0x20));
      _mm256_storeu_si256(v + k + 4 + j, _mm256_permute2x128_si256(u[j], u[4 + j], 0x31));
    }
  }
}

// p = re^2 + im^2 + 1; for re = im = -32768 the sum wraps to -2^31 and p, read as
// unsigned, is 2^31 + 1 as in the plain BinPower.
inline Vec PowersOf(Vec pairs) {
  return _mm256_add_epi32(_mm256_madd_epi16(pairs, pairs), _mm256_set1_epi32(1));
}

// Sets the rounding of floating-point conversions to toward zero for its lifetime and then
// restores the caller's control and status word (flags included) unchanged.
class TruncatingConversions {
 public:
  TruncatingConversions() : saved_(_mm_getcsr()) { _mm_setcsr((saved_ & ~0x6000u) | 0x6000u); }
  ~TruncatingConversions() { _mm_setcsr(saved_); }
  TruncatingConversions(const TruncatingConversions&) = delete;
  TruncatingConversions& operator=(const TruncatingConversions&) = delete;

 private:
  unsigned saved_;
};

// Level of each lane's power p (1 .. 2^31 + 1), in the low 16 bits of the lane. The
// bucket index is top * 64 + m, `top` being the leading bit's position and m the 6 bits
// after it: converted to float with truncation (the caller sets that rounding), bits
// 17..30 of p are the biased exponent top + 127 and those 6 bits. 2^31 + 1 reads as a
// negative int32 and is given its index, top 31 and m 0, directly.
inline Vec LevelsOfPowers(const Plan& plan, Vec p) {
  const Vec bits = _mm256_castps_si256(_mm256_cvtepi32_ps(p));
  Vec index = _mm256_sub_epi32(_mm256_srli_epi32(bits, 17), _mm256_set1_epi32(127 << 6));
  index = _mm256_castps_si256(_mm256_blendv_ps(_mm256_castsi256_ps(index),  // by p's sign bit
                                                _mm256_castsi256_ps(_mm256_set1_epi32(31 << 6)),
                                                _mm256_castsi256_ps(p)));

  // Each bucket is one 64-bit load: lanes 0, 1, 4, 5 in one gather and 2, 3, 6, 7 in the
  // other, so that picking the even and the odd 32-bit halves puts them back in order.
  const long long* base = static_cast<const long long*>(plan.buckets);
  const Vec order = _mm256_permute4x64_epi64(index, 0xD8);  // 64-bit lanes 0, 2, 1, 3
  const __m256 a = _mm256_castsi256_ps(_mm256_i32gather_epi64(base, _mm256_castsi256_si128(order), 8));
  const __m256 b = _mm256_castsi256_ps(_mm256_i32gather_epi64(base, _mm256_extracti128_si256(order, 1), 8));
  const Vec threshold = _mm256_castps_si256(_mm256_shuffle_ps(a, b, 0x88));
  const Vec levels = _mm256_castps_si256(_mm256_shuffle_ps(a, b, 0xDD));  // (below, from)
  const Vec from = _mm256_cmpeq_epi32(_mm256_max_epu32(p, threshold), p);  // p >= threshold
  return _mm256_blendv_epi8(levels, _mm256_srli_epi32(levels, 16), from);
}

// Levels of bins i .. i + 7 of eight frames, transposed back: frame l receives its eight
// levels as one 16-byte store.
inline void StoreLevels(const Vec* levels, int16_t** out, int bin) {
  Vec z[4];
  for (int j = 0; j < 4; ++j) {
    z[j] = _mm256_blend_epi16(levels[2 * j], _mm256_slli_epi32(levels[2 * j + 1], 16), 0xAA);
  }
  const Vec t0 = _mm256_unpacklo_epi32(z[0], z[1]);
  const Vec t1 = _mm256_unpackhi_epi32(z[0], z[1]);
  const Vec t2 = _mm256_unpacklo_epi32(z[2], z[3]);
  const Vec t3 = _mm256_unpackhi_epi32(z[2], z[3]);
  const Vec r[4] = {_mm256_unpacklo_epi64(t0, t2), _mm256_unpackhi_epi64(t0, t2),
                    _mm256_unpacklo_epi64(t1, t3), _mm256_unpackhi_epi64(t1, t3)};
  for (int l = 0; l < 4; ++l) {
    _mm_storeu_si128(reinterpret_cast<Half*>(out[l] + bin), _mm256_castsi256_si128(r[l]));
    _mm_storeu_si128(reinterpret_cast<Half*>(out[l + 4] + bin), _mm256_extracti128_si256(r[l], 1));
  }
}

HL_REALIGN_STACK void Transform(const Plan& plan, const int16_t* const* in, int16_t* const* out, void* work) {
  Vec* v = static_cast<Vec*>(work);
  LoadFrames(plan, in, v);
  ComplexStages<Avx2>(plan, v);
  RealSplit<Avx2>(plan, v);
  DcBin<Avx2>(v);
  const TruncatingConversions truncating;
  const int16_t* r = plan.bitReverse;
  const int bins = plan.n / 2;
  int16_t* rows[8];
  for (int l = 0; l < 8; ++l) rows[l] = out[l];
  for (int i = 0; i < bins; i += 8) {
    Vec levels[8];
    for (int j = 0; j < 8; ++j) {
      levels[j] = LevelsOfPowers(plan, PowersOf(_mm256_loadu_si256(v + (static_cast<uint16_t>(r[i + j]) >> 1))));
    }
    StoreLevels(levels, rows, i);
  }
}

void StoreLow16(Vec levels, int16_t* out) {
  int32_t lanes[8];
  _mm256_storeu_si256(reinterpret_cast<Vec*>(lanes), levels);
  for (int l = 0; l < 8; ++l) out[l] = static_cast<int16_t>(lanes[l]);
}

HL_REALIGN_STACK void LevelsOfPowersEntry(const Plan& plan, const uint32_t* powers, int16_t* levels) {
  const TruncatingConversions truncating;
  StoreLow16(LevelsOfPowers(plan, _mm256_loadu_si256(reinterpret_cast<const Vec*>(powers))), levels);
}

HL_REALIGN_STACK void LevelsOfPairsEntry(const Plan& plan, const int16_t* pairs, int16_t* levels) {
  const TruncatingConversions truncating;
  StoreLow16(LevelsOfPowers(plan, PowersOf(_mm256_loadu_si256(reinterpret_cast<const Vec*>(pairs)))), levels);
}

const Kernel kAvx2Kernel = {"avx2", 8, Transform, LevelsOfPowersEntry, LevelsOfPairsEntry};

}  // namespace

const Kernel* Avx2Kernel() { return &kAvx2Kernel; }

}  // namespace batch
}  // namespace hl

#else

namespace hl {
namespace batch {
const Kernel* Avx2Kernel() { return nullptr; }
}  // namespace batch
}  // namespace hl

#endif
