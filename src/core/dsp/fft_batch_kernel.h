// Internals of the batched column transform, shared by its per-instruction-set files.
//
// Layout: the frames of one group are spread over the lanes of a vector, one frame per
// 32-bit lane. Vector k of the work array holds complex value k of every frame as a pair
// of 16-bit values, real part in the low half, imaginary part in the high half, exactly
// as the plain engine stores it (real at even, imaginary at odd index). Every lane then
// runs the plain transform's steps:
// - pmaddwd of such a pair with a pair of twiddles is the scalar a*b + c*d, wrapping mod
//   2^32 as MultiplyAdd32 does (including (-32768)^2 + (-32768)^2);
// - a shift right by 15 and the low 16 bits of the result are bits 15..30 of that sum;
// - the halving (x + y) >> 1 of two 16-bit values is a 17-bit sum rounded down; it is
//   formed with the unsigned rounding-up average and sign flips (below), never with
//   saturating or rounding multiplies, which differ from the plain arithmetic.
//
// This header must stay free of inline functions that other files also define: the AVX2 and
// AVX-512 files that include it are compiled for those, and an inline function compiled there could
// be the copy the linker keeps for every caller. The templates below are instantiated
// only with each file's own (internal) instruction-set type.
#pragma once

#include <cstdint>

namespace hl {

class LevelLookup;

namespace batch {

// FFT lengths of the vector paths; others use the plain loop. The largest sizes the
// per-thread scratch.
constexpr int kMaxLength = 2048;
constexpr int kMinLength = 16;
constexpr int kMaxLanes = 16;

// The twiddle of butterfly block b < N/4 (s = T[2b], c = T[2b + 1]) as pair words: (c, s)
// and (s, -c), whose pmaddwd with a pair Q gives Qre*c + Qim*s and Qre*s - Qim*c. Where
// c = -32768 its negation 32768 does not fit in 16 bits: the (s, -c) word then holds
// -32768, the sum lacks 65536 * Qim, and fixupMask (0xFFFF0000, else 0) adds it back.
struct BlockTwiddle {
  uint32_t cs, sMinusC, fixupMask, unused;
};

// Split step i = 1 .. N/4 (s = T[k], c = T[k + 1], k = R[i]): the words (s, c), (s, -c),
// (c, s), (-c, s); the vectors of P (at R[i]) and Q (at R[N/2 - i]); fixup when c = -32768.
struct SplitStep {
  uint32_t sc, sMinusC, cs, minusCS;
  int32_t p, q;
  uint32_t fixup, unused;
};

// What a transform reads: the engine's tables and the twiddle words derived from them.
struct Plan {
  int n = 0;                           // FFT length N
  const uint16_t* window = nullptr;    // N weights, 32768 = 1.0
  const int16_t* bitReverse = nullptr; // N/2: complex bin i is at int16 index R[i]
  const BlockTwiddle* blocks = nullptr;  // N/4
  const SplitStep* split = nullptr;      // N/4, step i at i - 1
  // The level lookup (scalar lanes), and its buckets as raw memory for the gathering
  // lanes: each bucket 8 bytes, the threshold (uint32) at 0, the level below it (int16) at
  // 4 and the level from it (int16) at 6, bucket top * 64 + m for the powers whose leading
  // bit is `top` and the next 6 bits m (FloatIndexedBuckets in fft_batch.cpp).
  const LevelLookup* lookup = nullptr;
  const void* buckets = nullptr;
};

struct Kernel {
  const char* name;
  int lanes;
  // Transforms `lanes` frames: N samples from each in[l], N/2 levels to each out[l]. Every
  // input is read before any output is written, so in[l] may be out[l]. `work` holds
  // N/2 vectors, aligned to 64 bytes.
  void (*transform)(const Plan& plan, const int16_t* const* in, int16_t* const* out, void* work);
  // The level step alone, for `lanes` powers or (re, im) pairs.
  void (*levelsOfPowers)(const Plan& plan, const uint32_t* powers, int16_t* levels);
  void (*levelsOfPairs)(const Plan& plan, const int16_t* pairs, int16_t* levels);
};

// Null when this build has no such path (another processor, or the compiler lacks it).
const Kernel* Sse2Kernel();
const Kernel* Avx2Kernel();
const Kernel* Avx512Kernel();

// On 32-bit Windows the stack is only 4-byte aligned when code outside ours calls in;
// the vector kernels realign it on entry so that their 16-byte spills are safe.
#if defined(__i386__) && defined(_WIN32)
#define HL_REALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define HL_REALIGN_STACK
#endif

// ---- The steps every lane shares, written once over an instruction-set type `Isa` ----
//
// Isa provides: Vec; Set1(uint32); Load(const Vec*); Store(Vec*, Vec); Madd (pmaddwd);
// Add32, Sub32, Srli32<bits>, Slli32<bits> (32-bit lanes); Add16, Sub16, AvgU16 (16-bit
// lanes, wrapping; AvgU16 = (x + y + 1) >> 1 unsigned); And, Xor; Combine(lo, hi): the low
// 16 bits of each lane of `lo` with the high 16 bits of `hi`; NegateIm(x): (re, -im),
// wrapping.

// Floor halving of 16-bit sums and differences through the rounding-up unsigned average:
// with a' = a ^ 0x8000 (a + 32768 as unsigned),
//   floor((a + b) / 2) = avg(a ^ 0x7FFF, b ^ 0x7FFF) ^ 0x7FFF   (complement both: ceil)
//   floor((a - b) / 2) = avg(a ^ 0x8000, b ^ 0x7FFF) ^ 0x8000   (~b = -b - 1: ceil)
// Every operand b below is pre-flipped with 0x7FFF in both halves; the flip of a and of the
// result picks sum or difference per half.
constexpr uint32_t kFlipSumSum = 0x7FFF7FFFu;   // (a + b, a + b)
constexpr uint32_t kFlipSumDiff = 0x80007FFFu;  // re: a + b, im: a - b
constexpr uint32_t kFlipDiffSum = 0x7FFF8000u;  // re: a - b, im: a + b

// The twiddle of one block as vectors.
template <class Isa>
struct Twiddle {
  typename Isa::Vec cs, sMinusC, fixup;
};

template <class Isa>
inline Twiddle<Isa> TwiddleOfBlock(const BlockTwiddle& block) {
  return {Isa::Set1(block.cs), Isa::Set1(block.sMinusC), Isa::Set1(block.fixupMask)};
}

// One butterfly on a pair P, Q of every lane:
//   t1 = Qre*c + Qim*s, t2 = Qre*s - Qim*c (>> 15, low 16 bits)
//   Q <- ((Pre + t1) >> 1, (Pim - t2) >> 1)
//   P <- (Q're - t1, Q'im + t2) = ((Pre - t1) >> 1, (Pim + t2) >> 1), which never wraps.
// kFixup adds back 65536 * Qim where the (s, -c) word had to hold -32768 for 32768.
template <class Isa, bool kFixup>
inline void Butterfly(typename Isa::Vec& p, typename Isa::Vec& q, const Twiddle<Isa>& w) {
  using Vec = typename Isa::Vec;
  const Vec sum1 = Isa::Madd(q, w.cs);
  Vec sum2 = Isa::Madd(q, w.sMinusC);
  if (kFixup) sum2 = Isa::Add32(sum2, Isa::And(q, w.fixup));
  const Vec t = Isa::Xor(Isa::Combine(Isa::template Srli32<15>(sum1), Isa::template Slli32<1>(sum2)),
                         Isa::Set1(kFlipSumSum));
  const Vec flipNewQ = Isa::Set1(kFlipSumDiff);
  const Vec flipNewP = Isa::Set1(kFlipDiffSum);
  q = Isa::Xor(Isa::AvgU16(Isa::Xor(p, flipNewQ), t), flipNewQ);
  p = Isa::Xor(Isa::AvgU16(Isa::Xor(p, flipNewP), t), flipNewP);
}

// One stage of half-size h: blocks of 2h values, pairs (k, k + h), twiddle of block b.
template <class Isa>
inline void SingleStage(const Plan& plan, typename Isa::Vec* v, int h) {
  using Vec = typename Isa::Vec;
  const BlockTwiddle* blocks = plan.blocks;
  const int complexCount = plan.n / 2;
  for (int block = 0, b = 0; block < complexCount; block += 2 * h, ++b) {
    const Twiddle<Isa> w = TwiddleOfBlock<Isa>(blocks[b]);
    const bool fixup = blocks[b].fixupMask != 0;
    for (int k = block; k < block + h; ++k) {
      Vec p = Isa::Load(v + k), q = Isa::Load(v + k + h);
      if (fixup) {
        Butterfly<Isa, true>(p, q, w);
      } else {
        Butterfly<Isa, false>(p, q, w);
      }
      Isa::Store(v + k, p);
      Isa::Store(v + k + h, q);
    }
  }
}

// Stages h and h/2 in one pass. Block b of stage h (values block .. block + 2h - 1) holds
// blocks 2b and 2b + 1 of stage h/2, so four values k, k + h/2, k + h, k + 3h/2 go through
// both stages in registers; every butterfly sees the inputs it would see in two passes.
template <class Isa, bool kFixup>
inline void StagePairBlock(typename Isa::Vec* v, int block, int h, const Twiddle<Isa>& outer,
                           const Twiddle<Isa>& inner0, const Twiddle<Isa>& inner1) {
  using Vec = typename Isa::Vec;
  const int quarter = h / 2;
  Vec* a = v + block;
  Vec* end = a + quarter;
  for (; a < end; ++a) {
    Vec x0 = Isa::Load(a), x1 = Isa::Load(a + quarter);
    Vec x2 = Isa::Load(a + h), x3 = Isa::Load(a + h + quarter);
    Butterfly<Isa, kFixup>(x0, x2, outer);
    Butterfly<Isa, kFixup>(x1, x3, outer);
    Butterfly<Isa, kFixup>(x0, x1, inner0);
    Butterfly<Isa, kFixup>(x2, x3, inner1);
    Isa::Store(a, x0);
    Isa::Store(a + quarter, x1);
    Isa::Store(a + h, x2);
    Isa::Store(a + h + quarter, x3);
  }
}

// The complex FFT of N/2 values: stages h = N/4 .. 1, blocks of 2h, twiddle of block b;
// an odd stage count starts with one stage alone, the rest go in pairs.
template <class Isa>
inline void ComplexStages(const Plan& plan, typename Isa::Vec* v) {
  const BlockTwiddle* blocks = plan.blocks;
  const int complexCount = plan.n / 2;
  int stages = 0;
  for (int h = plan.n / 4; h >= 1; h >>= 1) ++stages;
  int h = plan.n / 4;
  if (stages % 2 == 1) {
    SingleStage<Isa>(plan, v, h);
    h >>= 1;
  }
  for (; h >= 2; h >>= 2) {
    for (int block = 0, b = 0; block < complexCount; block += 2 * h, ++b) {
      const Twiddle<Isa> outer = TwiddleOfBlock<Isa>(blocks[b]);
      const Twiddle<Isa> inner0 = TwiddleOfBlock<Isa>(blocks[2 * b]);
      const Twiddle<Isa> inner1 = TwiddleOfBlock<Isa>(blocks[2 * b + 1]);
      if ((blocks[b].fixupMask | blocks[2 * b].fixupMask | blocks[2 * b + 1].fixupMask) != 0) {
        StagePairBlock<Isa, true>(v, block, h, outer, inner0, inner1);
      } else {
        StagePairBlock<Isa, false>(v, block, h, outer, inner0, inner1);
      }
    }
  }
}

// The real split, i = 1 .. N/4, with P at R[i] and Q at R[N/2 - i]. The plain step forms
// the 17-bit d1 = Pre - Qre and s2 = Pim + Qim and then d1*s - s2*c and s2*s + d1*c mod
// 2^32; expanded, those are pmaddwd sums of the 16-bit pairs themselves:
//   u-sum = (Pre*s - Pim*c) - (Qre*s + Qim*c)
//   v-sum = (Pre*c + Pim*s) + (-Qre*c + Qim*s)
// Then A[k] <- ((s1 + u) >> 1, (d2 + v) >> 1) with s1, d2 wrapped to 16 bits, and
// A[m] <- (A[k]re - u, A[k]im - d2); at i = N/4, k = m and the second write stands.
template <class Isa>
inline void RealSplit(const Plan& plan, typename Isa::Vec* v) {
  using Vec = typename Isa::Vec;
  const Vec flip = Isa::Set1(kFlipSumSum);
  const Vec highHalf = Isa::Set1(0xFFFF0000u);
  const SplitStep* step = plan.split;
  const SplitStep* end = step + plan.n / 4;
  for (; step < end; ++step) {
    Vec* pv = v + step->p;
    Vec* qv = v + step->q;
    const Vec p = Isa::Load(pv);
    const Vec q = Isa::Load(qv);
    Vec uSum = Isa::Sub32(Isa::Madd(p, Isa::Set1(step->sMinusC)), Isa::Madd(q, Isa::Set1(step->sc)));
    Vec vSum = Isa::Add32(Isa::Madd(p, Isa::Set1(step->cs)), Isa::Madd(q, Isa::Set1(step->minusCS)));
    if (step->fixup) {
      // c = -32768: the words hold -32768 for -c, so add back 65536 * Pim and 65536 * Qre.
      uSum = Isa::Add32(uSum, Isa::And(p, highHalf));
      vSum = Isa::Add32(vSum, Isa::template Slli32<16>(q));
    }
    const Vec uv = Isa::Combine(Isa::template Srli32<15>(uSum), Isa::template Slli32<1>(vSum));
    const Vec s1d2 = Isa::Add16(p, Isa::NegateIm(q));  // (Pre + Qre, Pim - Qim), wrapped
    const Vec atK = Isa::Xor(Isa::AvgU16(Isa::Xor(s1d2, flip), Isa::Xor(uv, flip)), flip);
    const Vec atM = Isa::Sub16(atK, Isa::Combine(uv, s1d2));
    Isa::Store(pv, atK);
    Isa::Store(qv, atM);
  }
}

// DC: A[0] <- A[0] + A[1] (wrapping), A[1] <- 0.
template <class Isa>
inline void DcBin(typename Isa::Vec* v) {
  using Vec = typename Isa::Vec;
  const Vec x = Isa::Load(v);
  Isa::Store(v, Isa::And(Isa::Add16(x, Isa::template Srli32<16>(x)), Isa::Set1(0xFFFFu)));
}

}  // namespace batch
}  // namespace hl
