// Fixed-point real FFT of one frame of N signed 16-bit samples, giving N/2 frequency bins
// as levels (every display and readout) or as raw complex values (the spectrum log).
//
// Contract:
// - Init builds the tables for N = 1 << bits (512, 1024, 2048 in use) and a raised-cosine
//   window of sampleRate * windowMs / 1000 samples (the whole frame when either is -1, cut
//   to N when longer). It returns 0, or -1 when memory ran out, leaving nothing allocated.
//   Each Init is paired with one Release before the next Init.
// - Transform takes N samples in `buffer` and writes the result over them: with rawOutput
//   0, buffer[b] = level of bin b for b < N/2; otherwise buffer[2b], buffer[2b+1] = real and
//   imaginary part of bin b. Bin b lies at b * sampleRate / N Hz; the bin at half the
//   sampling rate is not delivered. Transform allocates nothing.
// - Scaling: the N/2-point complex FFT halves at every butterfly stage, so it is scaled by
//   2/N, and so is every bin of the result (the real split keeps that scale). Products and sums of two products are 32-bit and
//   wrap; butterfly outputs and the split's second writes wrap at 16 bits (see the helpers
//   in fixed_point.h). Shifts are arithmetic (floor).
// - The engine owns its tables; it is not reentrant. Independent engines may run on
//   different threads.
#pragma once

#include <cstdint>
#include <memory>

namespace hl {

struct FftEngine {
  int16_t Init(int bits, int32_t sampleRate, int32_t windowMs);
  void Transform(int16_t* buffer, int16_t rawOutput);
  void Release();

  bool built() const { return work != nullptr; }

  int16_t length = 0;                 // N
  int32_t requestedWindowLength = 0;  // sampleRate * windowMs / 1000, or N
  int16_t windowLength = 0;           // L: the requested length, lowered to N
  std::unique_ptr<int16_t[]> work;        // N: the frame, N/2 complex values (re, im)
  std::unique_ptr<int16_t[]> bitReverse;  // N/2: R[i] = 2 * (i bit-reversed)
  std::unique_ptr<int16_t[]> twiddle;     // N: (-32768 sin, -32768 cos) in bit-reversed order
  std::unique_ptr<uint16_t[]> window;     // N: window weights, 32768 = 1.0
  std::unique_ptr<int32_t[]> logTable;    // 1000 scaled common logarithms

  // Steps of Transform, exposed for the batched column path and its tests.
  // Windows, transforms and splits the N samples of `frame` in place (the engine is only
  // read); afterwards complex bin i is at frame[R[i]], frame[R[i] + 1].
  void TransformFrame(int16_t* frame) const;
};

// Table builders (also used by tests).
void BuildBitReverseTable(int n, int16_t* table);
void BuildTwiddleTable(int n, const int16_t* bitReverse, int16_t* table);
void BuildWindowTable(int n, int windowLength, uint16_t* table);

}  // namespace hl
