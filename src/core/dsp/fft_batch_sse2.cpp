// The batched column transform with SSE2: four frames per vector. Built with the
// project's ordinary flags (SSE2 is the floor on x86); empty elsewhere.
#include "core/dsp/fft_batch_kernel.h"

#if defined(__SSE2__)

#include <emmintrin.h>

#include "core/dsp/level_scale.h"

namespace hl {
namespace batch {
namespace {

struct Sse2 {
  using Vec = __m128i;
  static Vec Set1(uint32_t x) { return _mm_set1_epi32(static_cast<int>(x)); }
  static Vec Load(const Vec* p) { return _mm_loadu_si128(p); }
  static void Store(Vec* p, Vec x) { _mm_storeu_si128(p, x); }
  static Vec Madd(Vec a, Vec b) { return _mm_madd_epi16(a, b); }
  static Vec Add32(Vec a, Vec b) { return _mm_add_epi32(a, b); }
  static Vec Sub32(Vec a, Vec b) { return _mm_sub_epi32(a, b); }
  template <int kBits>
  static Vec Srli32(Vec a) { return _mm_srli_epi32(a, kBits); }
  template <int kBits>
  static Vec Slli32(Vec a) { return _mm_slli_epi32(a, kBits); }
  static Vec Add16(Vec a, Vec b) { return _mm_add_epi16(a, b); }
  static Vec Sub16(Vec a, Vec b) { return _mm_sub_epi16(a, b); }
  static Vec AvgU16(Vec a, Vec b) { return _mm_avg_epu16(a, b); }
  static Vec And(Vec a, Vec b) { return _mm_and_si128(a, b); }
  static Vec Xor(Vec a, Vec b) { return _mm_xor_si128(a, b); }
  static Vec Combine(Vec lo, Vec hi) {
    const Vec low = _mm_set1_epi32(0xFFFF);
    return _mm_or_si128(_mm_and_si128(lo, low), _mm_andnot_si128(low, hi));
  }
  static Vec NegateIm(Vec x) {
    const Vec im = _mm_set1_epi32(static_cast<int>(0xFFFF0000u));  // -1 in the high halves
    return _mm_sub_epi16(_mm_xor_si128(x, im), im);                // ~im + 1
  }
};

using Vec = __m128i;

// (W * a) >> 15 for 16-bit a and unsigned weights W <= 32768, as 16 bits. The signed
// product's bits 15..30 come from its high and low halves; a weight of 32768 reads as
// -32768 there, so its lanes get 2a added back (65536 * a >> 15).
inline Vec Windowed(Vec a, Vec w, bool hasFullWeight) {
  Vec r = _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epi16(a, w), 1),
                       _mm_srli_epi16(_mm_mullo_epi16(a, w), 15));
  if (hasFullWeight) r = _mm_add_epi16(r, _mm_and_si128(_mm_srai_epi16(w, 15), _mm_add_epi16(a, a)));
  return r;
}

// Windows four frames and spreads them over the lanes: 4 complex values of each frame
// per step, transposed 4 x 4.
inline void LoadFrames(const Plan& plan, const int16_t* const* in, Vec* v) {
  const Vec fullWeight = _mm_set1_epi16(static_cast<int16_t>(0x8000));
  for (int k = 0; k < plan.n / 2; k += 4) {
    const Vec w = _mm_loadu_si128(reinterpret_cast<const Vec*>(plan.window + 2 * k));
    const bool full = _mm_movemask_epi8(_mm_cmpeq_epi16(w, fullWeight)) != 0;
    Vec r[4];
    for (int l = 0; l < 4; ++l) {
      r[l] = Windowed(_mm_loadu_si128(reinterpret_cast<const Vec*>(in[l] + 2 * k)), w, full);
    }
    const Vec t0 = _mm_unpacklo_epi32(r[0], r[1]);
    const Vec t1 = _mm_unpackhi_epi32(r[0], r[1]);
    const Vec t2 = _mm_unpacklo_epi32(r[2], r[3]);
    const Vec t3 = _mm_unpackhi_epi32(r[2], r[3]);
    _mm_storeu_si128(v + k, _mm_unpacklo_epi64(t0, t2));
    _mm_storeu_si128(v + k + 1, _mm_unpackhi_epi64(t0, t2));
    _mm_storeu_si128(v + k + 2, _mm_unpacklo_epi64(t1, t3));
    _mm_storeu_si128(v + k + 3, _mm_unpackhi_epi64(t1, t3));
  }
}

// p = re^2 + im^2 + 1. pmaddwd wraps (-32768)^2 + (-32768)^2 to -2^31; read as unsigned,
// that plus one is 2^31 + 1, the plain BinPower's value.
inline Vec PowersOf(Vec pairs) { return _mm_add_epi32(_mm_madd_epi16(pairs, pairs), _mm_set1_epi32(1)); }

inline void LevelsOfPowersScalar(const LevelLookup& lookup, Vec powers, int16_t* const* out, int bin) {
  uint32_t p[4];
  _mm_storeu_si128(reinterpret_cast<Vec*>(p), powers);
  for (int l = 0; l < 4; ++l) out[l][bin] = lookup(p[l]);
}

HL_REALIGN_STACK void Transform(const Plan& plan, const int16_t* const* in, int16_t* const* out, void* work) {
  Vec* v = static_cast<Vec*>(work);
  LoadFrames(plan, in, v);
  ComplexStages<Sse2>(plan, v);
  RealSplit<Sse2>(plan, v);
  DcBin<Sse2>(v);
  const LevelLookup& lookup = *plan.lookup;
  for (int i = 0; i < plan.n / 2; ++i) {
    LevelsOfPowersScalar(lookup, PowersOf(_mm_loadu_si128(v + (static_cast<uint16_t>(plan.bitReverse[i]) >> 1))), out, i);
  }
}

HL_REALIGN_STACK void LevelsOfPowers(const Plan& plan, const uint32_t* powers, int16_t* levels) {
  for (int l = 0; l < 4; ++l) levels[l] = (*plan.lookup)(powers[l]);
}

HL_REALIGN_STACK void LevelsOfPairs(const Plan& plan, const int16_t* pairs, int16_t* levels) {
  int16_t* out[4] = {levels, levels + 1, levels + 2, levels + 3};
  LevelsOfPowersScalar(*plan.lookup, PowersOf(_mm_loadu_si128(reinterpret_cast<const Vec*>(pairs))), out, 0);
}

const Kernel kSse2Kernel = {"sse2", 4, Transform, LevelsOfPowers, LevelsOfPairs};

}  // namespace

const Kernel* Sse2Kernel() { return &kSse2Kernel; }

}  // namespace batch
}  // namespace hl

#else

namespace hl {
namespace batch {
const Kernel* Sse2Kernel() { return nullptr; }
}  // namespace batch
}  // namespace hl

#endif
