#include "core/dsp/fft_engine.h"

#include <cmath>
#include <new>

#include "core/dsp/fixed_point.h"
#include "core/dsp/level_scale.h"

namespace hl {

namespace {

// The program's 2 pi: the short constant, not the full-precision value. Twiddles and
// window weights come out differently with the exact one.
constexpr double kTwoPi = 6.283185;

template <typename T>
std::unique_ptr<T[]> Allocate(int count) {
  return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

}  // namespace

void BuildBitReverseTable(int n, int16_t* table) {
  const int half = n / 2;
  for (int i = 0; i < half; ++i) {
    int r = 0;
    for (int mask = n / 4; mask >= 1; mask >>= 1) {
      r = (r >> 1) + ((i & mask) ? half : 0);
    }
    table[i] = static_cast<int16_t>(r);
  }
}

void BuildTwiddleTable(int n, const int16_t* bitReverse, int16_t* table) {
  for (int j = 0; j < n / 2; ++j) {
    double a = kTwoPi * j / n;
    // For N = 2048 the cosine entry of j = N/2 - 1 is 32768, which wraps; that entry is
    // never read (odd j above N/4), so the wrap is harmless.
    int32_t sine = static_cast<int32_t>(std::floor(-32768.0 * std::sin(a) + 0.5));
    int32_t cosine = static_cast<int32_t>(std::floor(-32768.0 * std::cos(a) + 0.5));
    table[bitReverse[j]] = Wrap16(sine);
    table[bitReverse[j] + 1] = Wrap16(cosine);
  }
}

void BuildWindowTable(int n, int windowLength, uint16_t* table) {
  for (int i = 0; i < n; ++i) table[i] = 0;
  // A Hann window of 2h samples from the first sample of the frame, peaking at index h;
  // the rest of the frame is weighted 0. With h = 0 the whole frame is silent.
  const int h = windowLength / 2;
  for (int k = -h; k < h; ++k) {
    double weight = 32768.0 * (0.5 + 0.5 * std::cos(kTwoPi * k / (2 * h)));
    table[h + k] = static_cast<uint16_t>(static_cast<int32_t>(weight));
  }
}

int16_t FftEngine::Init(int bits, int32_t sampleRate, int32_t windowMs) {
  const int n = 1 << bits;
  length = static_cast<int16_t>(n);
  if (sampleRate == -1 || windowMs == -1) {
    requestedWindowLength = n;
  } else {
    requestedWindowLength = static_cast<int32_t>(
        static_cast<uint32_t>(sampleRate) * static_cast<uint32_t>(windowMs)) / 1000;
  }
  windowLength = static_cast<int16_t>(requestedWindowLength);
  if (n < windowLength) windowLength = static_cast<int16_t>(n);

  work = Allocate<int16_t>(n);
  bitReverse = work ? Allocate<int16_t>(n / 2) : nullptr;
  twiddle = bitReverse ? Allocate<int16_t>(n) : nullptr;
  window = twiddle ? Allocate<uint16_t>(n) : nullptr;
  logTable = window ? Allocate<int32_t>(kLogTableSize) : nullptr;
  if (!logTable) {
    Release();
    return -1;
  }
  for (int i = 0; i < n; ++i) work[i] = 0;
  BuildBitReverseTable(n, bitReverse.get());
  BuildTwiddleTable(n, bitReverse.get(), twiddle.get());
  BuildWindowTable(n, windowLength, window.get());
  BuildLogTable(logTable.get());
  return 0;
}

void FftEngine::Release() {
  work.reset();
  bitReverse.reset();
  twiddle.reset();
  window.reset();
  logTable.reset();
}

void FftEngine::TransformFrame(int16_t* a) const {
  const int n = length;
  const int16_t* r = bitReverse.get();
  const int16_t* t = twiddle.get();

  for (int i = 0; i < n; ++i) {
    a[i] = static_cast<int16_t>((static_cast<int32_t>(window[i]) * a[i]) >> 15);
  }

  // Complex FFT of the N/2 values (re at even, im at odd index), decimation in frequency
  // with the blocks' twiddles in bit-reversed order; each stage halves.
  const int complexCount = n / 2;
  for (int h = n / 4; h >= 1; h >>= 1) {
    for (int block = 0, b = 0; block < complexCount; block += 2 * h, ++b) {
      const int32_t s = t[2 * b];
      const int32_t c = t[2 * b + 1];
      for (int k = block; k < block + h; ++k) {
        int16_t* p = a + 2 * k;
        int16_t* q = a + 2 * (k + h);
        const int32_t t1 = Shift15To16(MultiplyAdd32(q[1], s, q[0], c));
        const int32_t t2 = Shift15To16(MultiplyAdd32(q[0], s, -q[1], c));
        q[0] = static_cast<int16_t>((p[0] + t1) >> 1);
        p[0] = Wrap16(q[0] - t1);
        q[1] = static_cast<int16_t>((p[1] - t2) >> 1);
        p[1] = Wrap16(q[1] + t2);
      }
    }
  }

  // Split the N/2-point complex result into the spectrum of the N real samples.
  for (int i = 1; i <= n / 4; ++i) {
    const int k = r[i];
    const int m = r[complexCount - i];
    const int32_t s = t[k];
    const int32_t c = t[k + 1];
    const int32_t d1 = a[k] - a[m];
    const int32_t s1 = a[k] + a[m];
    const int32_t d2 = a[k + 1] - a[m + 1];
    const int32_t s2 = a[k + 1] + a[m + 1];
    const int32_t u = Shift15To16(MultiplyAdd32(d1, s, -s2, c));
    const int32_t v = Shift15To16(MultiplyAdd32(s2, s, d1, c));
    const int32_t d2Low = Wrap16(d2);
    a[k] = static_cast<int16_t>((Wrap16(s1) + u) >> 1);
    a[m] = Wrap16(a[k] - u);
    a[k + 1] = static_cast<int16_t>((d2Low + v) >> 1);
    a[m + 1] = Wrap16(a[k + 1] - d2Low);
  }

  // DC is the sum of the two halves of bin 0; the Nyquist term is dropped.
  a[0] = Wrap16(a[0] + a[1]);
  a[1] = 0;
}

void FftEngine::Transform(int16_t* buffer, int16_t rawOutput) {
  const int n = length;
  for (int i = 0; i < n; ++i) work[i] = buffer[i];
  TransformFrame(work.get());
  const int16_t* a = work.get();
  const int16_t* r = bitReverse.get();
  if (rawOutput != 0) {
    for (int i = 0; i < n / 2; ++i) {
      buffer[2 * i] = a[r[i]];
      buffer[2 * i + 1] = a[r[i] + 1];
    }
    return;
  }
  for (int i = 0; i < n / 2; ++i) {
    buffer[i] = LevelOfPower(BinPower(a[r[i]], a[r[i] + 1]), logTable.get());
  }
}

}  // namespace hl
