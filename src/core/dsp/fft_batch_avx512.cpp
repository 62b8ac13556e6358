// The batched column transform with AVX-512 (F and BW): sixteen frames per vector, levels
// by gathering from the level lookup's buckets. This file alone is compiled with
// -mavx512f -mavx512bw and is entered only when the processor (and the system, which must
// save the zmm registers) reports both; it includes nothing that defines inline functions
// other files use (see fft_batch_kernel.h). Empty when the compiler lacks AVX-512.
#include "core/dsp/fft_batch_kernel.h"

#if defined(__AVX512F__) && defined(__AVX512BW__)

// GCC 12's AVX-512 intrinsics give their unused results an undefined source register
// (_mm512_undefined_epi32), which it then reports, inlined here, as used uninitialised.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

namespace hl {
namespace batch {
namespace {

using Vec = __m512i;

// The imaginary halves of the 32-bit lanes, as a mask of 16-bit elements.
constexpr __mmask32 kImHalves = 0xAAAAAAAAu;

struct Avx512 {
  using Vec = __m512i;
  static Vec Set1(uint32_t x) { return _mm512_set1_epi32(static_cast<int>(x)); }
  static Vec Load(const Vec* p) { return _mm512_loadu_si512(p); }
  static void Store(Vec* p, Vec x) { _mm512_storeu_si512(p, x); }
  static Vec Madd(Vec a, Vec b) { return _mm512_madd_epi16(a, b); }
  static Vec Add32(Vec a, Vec b) { return _mm512_add_epi32(a, b); }
  static Vec Sub32(Vec a, Vec b) { return _mm512_sub_epi32(a, b); }
  template <int kBits>
  static Vec Srli32(Vec a) { return _mm512_srli_epi32(a, kBits); }
  template <int kBits>
  static Vec Slli32(Vec a) { return _mm512_slli_epi32(a, kBits); }
  static Vec Add16(Vec a, Vec b) { return _mm512_add_epi16(a, b); }
  static Vec Sub16(Vec a, Vec b) { return _mm512_sub_epi16(a, b); }
  static Vec AvgU16(Vec a, Vec b) { return _mm512_avg_epu16(a, b); }
  static Vec And(Vec a, Vec b) { return _mm512_and_si512(a, b); }
  static Vec Xor(Vec a, Vec b) { return _mm512_xor_si512(a, b); }
  static Vec Combine(Vec lo, Vec hi) { return _mm512_mask_blend_epi16(kImHalves, lo, hi); }
  // 0 - im in the high halves, wrapping -32768 to itself.
  static Vec NegateIm(Vec x) { return _mm512_mask_sub_epi16(x, kImHalves, _mm512_setzero_si512(), x); }
};

// (W * a) >> 15 for 16-bit a and unsigned weights W <= 32768; see the SSE2 file.
inline Vec Windowed(Vec a, Vec w, bool hasFullWeight) {
  Vec r = _mm512_or_si512(_mm512_slli_epi16(_mm512_mulhi_epi16(a, w), 1),
                          _mm512_srli_epi16(_mm512_mullo_epi16(a, w), 15));
  if (hasFullWeight) {
    r = _mm512_add_epi16(r, _mm512_and_si512(_mm512_srai_epi16(w, 15), _mm512_add_epi16(a, a)));
  }
  return r;
}

// Transposes 16 x 16 32-bit elements: element e of row l goes to element l of row e.
// Within each 128-bit quarter, 4 x 4 transposes of rows 0-3, 4-7, 8-11 and 12-15; then the
// quarters themselves are transposed 4 x 4 across those four groups.
inline void Transpose16(const Vec* r, Vec* out) {
  Vec u[16];
  for (int g = 0; g < 16; g += 4) {
    const Vec t0 = _mm512_unpacklo_epi32(r[g + 0], r[g + 1]);
    const Vec t1 = _mm512_unpackhi_epi32(r[g + 0], r[g + 1]);
    const Vec t2 = _mm512_unpacklo_epi32(r[g + 2], r[g + 3]);
    const Vec t3 = _mm512_unpackhi_epi32(r[g + 2], r[g + 3]);
    u[g + 0] = _mm512_unpacklo_epi64(t0, t2);  // element 4q + 0 of rows g .. g + 3 in quarter q
    u[g + 1] = _mm512_unpackhi_epi64(t0, t2);
    u[g + 2] = _mm512_unpacklo_epi64(t1, t3);
    u[g + 3] = _mm512_unpackhi_epi64(t1, t3);
  }
  for (int j = 0; j < 4; ++j) {
    // Quarters 0, 1 and 2, 3 of groups 0, 1 and of groups 2, 3, then the even and the odd
    // quarters of those: row 4q + j, quarter g, is quarter q of u[4g + j].
    const Vec p0 = _mm512_shuffle_i32x4(u[j], u[4 + j], 0x44);
    const Vec p1 = _mm512_shuffle_i32x4(u[j], u[4 + j], 0xEE);
    const Vec p2 = _mm512_shuffle_i32x4(u[8 + j], u[12 + j], 0x44);
    const Vec p3 = _mm512_shuffle_i32x4(u[8 + j], u[12 + j], 0xEE);
    out[j] = _mm512_shuffle_i32x4(p0, p2, 0x88);
    out[4 + j] = _mm512_shuffle_i32x4(p0, p2, 0xDD);
    out[8 + j] = _mm512_shuffle_i32x4(p1, p3, 0x88);
    out[12 + j] = _mm512_shuffle_i32x4(p1, p3, 0xDD);
  }
}

// The mask of the first `count` 16-bit elements (count <= 32).
inline __mmask32 FirstElements(int count) {
  return count >= 32 ? ~__mmask32{0} : static_cast<__mmask32>((1u << count) - 1);
}

// Windows sixteen frames and spreads them over the lanes: 16 complex values of each frame
// per step (fewer when N = 16), transposed 16 x 16.
inline void LoadFrames(const Plan& plan, const int16_t* const* in, Vec* v) {
  const Vec fullWeight = _mm512_set1_epi16(static_cast<int16_t>(0x8000));
  const int complexCount = plan.n / 2;
  for (int k = 0; k < complexCount; k += 16) {
    const int values = complexCount - k < 16 ? complexCount - k : 16;
    const __mmask32 used = FirstElements(2 * values);
    const Vec w = _mm512_maskz_loadu_epi16(used, plan.window + 2 * k);
    const bool full = _mm512_cmpeq_epi16_mask(w, fullWeight) != 0;
    Vec r[16];
    for (int l = 0; l < 16; ++l) r[l] = Windowed(_mm512_maskz_loadu_epi16(used, in[l] + 2 * k), w, full);
    Vec t[16];
    Transpose16(r, t);
    for (int j = 0; j < values; ++j) _mm512_storeu_si512(v + k + j, t[j]);
  }
}

// p = re^2 + im^2 + 1; for re = im = -32768 the sum wraps to -2^31 and p, read as
// unsigned, is 2^31 + 1 as in the plain BinPower.
inline Vec PowersOf(Vec pairs) { return _mm512_add_epi32(_mm512_madd_epi16(pairs, pairs), _mm512_set1_epi32(1)); }

// Level of each lane's power p (1 .. 2^31 + 1), in the low 16 bits of the lane. The
// bucket index is top * 64 + m, `top` being the leading bit's position and m the 6 bits
// after it: converted to float with truncation (rounding given by the instruction, so the
// caller's control word is untouched), bits 17..30 of p are the biased exponent top + 127
// and those 6 bits. 2^31 + 1 reads as a negative int32 and is given its index, top 31 and
// m 0, directly.
inline Vec LevelsOfPowers(const Plan& plan, Vec p) {
  const Vec bits = _mm512_castps_si512(_mm512_cvt_roundepi32_ps(p, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
  Vec index = _mm512_sub_epi32(_mm512_srli_epi32(bits, 17), _mm512_set1_epi32(127 << 6));
  index = _mm512_mask_mov_epi32(index, _mm512_cmplt_epi32_mask(p, _mm512_setzero_si512()),
                                _mm512_set1_epi32(31 << 6));

  // Each bucket is one 64-bit load, lanes 0-7 in one gather and 8-15 in the other; the
  // even 32-bit halves of the pair are the thresholds, the odd ones the (below, from) levels.
  const void* base = plan.buckets;
  const Vec a = _mm512_i32gather_epi64(_mm512_castsi512_si256(index), base, 8);
  const Vec b = _mm512_i32gather_epi64(_mm512_extracti64x4_epi64(index, 1), base, 8);
  const Vec even = _mm512_set_epi32(30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0);
  const Vec odd = _mm512_add_epi32(even, _mm512_set1_epi32(1));
  const Vec threshold = _mm512_permutex2var_epi32(a, even, b);
  const Vec levels = _mm512_permutex2var_epi32(a, odd, b);
  const __mmask16 from = _mm512_cmpge_epu32_mask(p, threshold);
  return _mm512_mask_srli_epi32(levels, from, levels, 16);
}

HL_REALIGN_STACK void Transform(const Plan& plan, const int16_t* const* in, int16_t* const* out, void* work) {
  Vec* v = static_cast<Vec*>(work);
  LoadFrames(plan, in, v);
  ComplexStages<Avx512>(plan, v);
  RealSplit<Avx512>(plan, v);
  DcBin<Avx512>(v);
  const int16_t* r = plan.bitReverse;
  const int bins = plan.n / 2;
  // 32 bins of sixteen frames at a time: the levels of bins 2j and 2j + 1 share a 32-bit
  // lane, and the transpose gives frame l its 32 levels as one 64-byte store.
  for (int i = 0; i < bins; i += 32) {
    const int count = bins - i < 32 ? bins - i : 32;
    Vec z[16];
    for (int j = 0; j < 16; ++j) {
      if (2 * j >= count) {
        z[j] = _mm512_setzero_si512();
        continue;
      }
      const Vec low = LevelsOfPowers(plan, PowersOf(_mm512_loadu_si512(v + (static_cast<uint16_t>(r[i + 2 * j]) >> 1))));
      const Vec high = LevelsOfPowers(plan, PowersOf(_mm512_loadu_si512(v + (static_cast<uint16_t>(r[i + 2 * j + 1]) >> 1))));
      z[j] = _mm512_mask_blend_epi16(kImHalves, low, _mm512_slli_epi32(high, 16));
    }
    Vec rows[16];
    Transpose16(z, rows);
    const __mmask32 used = FirstElements(count);
    for (int l = 0; l < 16; ++l) _mm512_mask_storeu_epi16(out[l] + i, used, rows[l]);
  }
}

void StoreLow16(Vec levels, int16_t* out) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_cvtepi32_epi16(levels)); }

HL_REALIGN_STACK void LevelsOfPowersEntry(const Plan& plan, const uint32_t* powers, int16_t* levels) {
  StoreLow16(LevelsOfPowers(plan, _mm512_loadu_si512(powers)), levels);
}

HL_REALIGN_STACK void LevelsOfPairsEntry(const Plan& plan, const int16_t* pairs, int16_t* levels) {
  StoreLow16(LevelsOfPowers(plan, PowersOf(_mm512_loadu_si512(pairs))), levels);
}

const Kernel kAvx512Kernel = {"avx512", 16, Transform, LevelsOfPowersEntry, LevelsOfPairsEntry};

}  // namespace

const Kernel* Avx512Kernel() { return &kAvx512Kernel; }

}  // namespace batch
}  // namespace hl

#else

namespace hl {
namespace batch {
const Kernel* Avx512Kernel() { return nullptr; }
}  // namespace batch
}  // namespace hl

#endif
