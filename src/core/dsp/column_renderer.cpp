#include "core/dsp/column_renderer.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>
#include <new>

#include "core/dsp/fft_batch.h"

namespace hl {

namespace {

constexpr int kBatchColumns = 32;
constexpr int kTileBins = 64;
constexpr size_t kMaxBulkChannels = 8;

int16_t ReadSample(const uint8_t* data, size_t element, int bytesPerSample) {
  if (bytesPerSample == 1) return SampleOfByte(data[element]);
  const uint8_t* p = data + 2 * element;
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

}  // namespace

int16_t LevelCorrection(float windowMs, int fftLength, int32_t sampleRate) {
  volatile float frameMs = static_cast<float>(fftLength) / static_cast<float>(sampleRate);
  volatile float windowSeconds = windowMs * 0.001f;
  volatile float ratio = windowSeconds / frameMs;
  volatile float scaled = (1.0f - ratio) * 48.0f;
  return static_cast<int16_t>(static_cast<float>(scaled));
}

RenderPlan PlanRender(const RenderSettings& settings) {
  RenderPlan plan{};
  plan.fftLength = 1 << settings.fftOrder;
  long double product = static_cast<long double>(settings.sampleRate) *
                        static_cast<long double>(settings.windowMs) *
                        static_cast<long double>(0.001f);
  int32_t length = static_cast<int32_t>(product);
  if (length > plan.fftLength) length = plan.fftLength;
  plan.windowLength = static_cast<int16_t>(length);
  plan.halfWindow = static_cast<int16_t>(plan.windowLength / 2);
  // The envelope looks at the samples around the window's centre, no further than one
  // step (so neighbouring columns do not overlap much) and never more than 64 each side.
  int16_t halfWidth = static_cast<int16_t>(settings.step < 64 ? settings.step : 64);
  plan.lower = static_cast<int16_t>(std::max(plan.halfWindow - halfWidth, 0));
  plan.upper = static_cast<int16_t>(plan.halfWindow + halfWidth);
  plan.correction = LevelCorrection(settings.windowMs, plan.fftLength, settings.sampleRate);
  return plan;
}

int ColumnRenderer::Begin(const SampleSpan& span, const RenderSettings& settings) {
  settings_ = settings;
  plan_ = PlanRender(settings);
  if (engine_.Init(settings.fftOrder, settings.sampleRate, static_cast<int32_t>(settings.windowMs)) != 0) {
    return -1;
  }
  Rebase(span, 0);
  try {
    frames_.assign(static_cast<size_t>(kBatchColumns) * plan_.fftLength, 0);
    interleaved_.assign(kMaxBulkChannels * plan_.fftLength, 0);
  } catch (const std::bad_alloc&) {
    engine_.Release();
    return -1;
  }
  return 0;
}

void ColumnRenderer::Rebase(const SampleSpan& span, int32_t firstColumn) {
  span_ = span;
  firstColumn_ = std::max(firstColumn, 0);
  const int sampleBytes = IsNativeEncoding(span.encoding) ? (span.bytesPerSample == 1 ? 1 : 2)
                                                          : EncodingBytes(span.encoding);
  const int64_t samples = static_cast<int64_t>(span.byteCount) / sampleBytes;
  const int64_t needed = static_cast<int64_t>(span.channels) * plan_.fftLength;
  available_ = 0;
  if (settings_.step > 0 && span.channels > 0 && samples >= needed) {
    available_ = static_cast<int32_t>(
        std::min<int64_t>(firstColumn_ + (samples - needed) / settings_.step + 1, INT32_MAX));
  }
}

void ColumnRenderer::End() {
  engine_.Release();
  frames_.clear();
  frames_.shrink_to_fit();
  interleaved_.clear();
  interleaved_.shrink_to_fit();
}

void ColumnRenderer::ReadFrame(int x, int16_t* frame, int16_t* max, int16_t* min) {
  const int n = plan_.fftLength;
  const size_t channels = static_cast<size_t>(span_.channels);
  const size_t first = static_cast<size_t>(x - firstColumn_) * static_cast<size_t>(settings_.step);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  constexpr bool kLittleEndian = true;
#else
  constexpr bool kLittleEndian = false;
#endif
  if (!IsNativeEncoding(span_.encoding)) {
    const size_t sampleBytes = static_cast<size_t>(EncodingBytes(span_.encoding));
    DecodeSamples(span_.data + first * sampleBytes, static_cast<size_t>(n), channels * sampleBytes,
                  span_.encoding, frame);
  } else if (span_.bytesPerSample == 1) {
    const uint8_t* p = span_.data + first;
    for (int i = 0; i < n; ++i, p += channels) frame[i] = SampleOfByte(*p);
  } else if (kLittleEndian && channels == 1) {
    // Mono 16-bit little-endian on a little-endian machine: the frame is the data as it lies.
    std::memcpy(frame, span_.data + 2 * first, 2 * static_cast<size_t>(n));
  } else if (kLittleEndian && channels <= kMaxBulkChannels) {
    // Interleaved 16-bit: the frame's stretch of data copied whole, then every channels-th
    // sample taken from it; both loops are plain enough for the compiler to vectorise.
    const size_t elements = static_cast<size_t>(n - 1) * channels + 1;
    std::memcpy(interleaved_.data(), span_.data + 2 * first, 2 * elements);
    const int16_t* source = interleaved_.data();
    if (channels == 2) {
      for (int i = 0; i < n; ++i) frame[i] = source[2 * i];  // a constant stride vectorises
    } else {
      for (int i = 0; i < n; ++i) frame[i] = source[static_cast<size_t>(i) * channels];
    }
  } else if (kLittleEndian) {
    const uint8_t* p = span_.data + 2 * first;
    for (int i = 0; i < n; ++i, p += 2 * channels) std::memcpy(&frame[i], p, 2);
  } else {
    size_t element = first;
    for (int i = 0; i < n; ++i, element += channels) frame[i] = ReadSample(span_.data, element, 2);
  }
  // The envelope looks only at the samples strictly inside (lower, upper).
  int16_t high = 0, low = 0;
  const int end = std::min<int>(plan_.upper, n);
  for (int i = plan_.lower + 1; i < end; ++i) {
    high = std::max(high, frame[i]);
    low = std::min(low, frame[i]);
  }
  *max = high;
  *min = low;
}

void ColumnRenderer::PaintColumn(int x, const int16_t* levels, int16_t max, int16_t min,
                                 PaletteImage& image) const {
  const int bins = plan_.fftLength / 2;
  uint8_t* pixel = image.Row(image.height - 1) + x;
  const ptrdiff_t up = -static_cast<ptrdiff_t>(image.stride);
  for (int b = 0; b < bins; ++b, pixel += up) *pixel = PaletteIndexOfLevel(levels[b], plan_.correction);
  PaintEnvelope(x, max, min, image);
}

void ColumnRenderer::PaintEnvelope(int x, int16_t max, int16_t min, PaletteImage& image) const {
  image.Row(kEnvelopeCentreRow)[x] = kIndexEnvelope;
  // The envelope is a line from (x, 22 - max/1500) to (x, 22 - min/1500) drawn as Windows
  // draws lines: the end point is left out. A full-scale sample moves about 21 rows.
  const int top = 22 - max / 1500;
  const int bottom = 22 - min / 1500;
  for (int y = top; y < bottom; ++y) image.Row(y)[x] = kIndexEnvelope;
  image.Row(kSeparatorRow)[x] = kIndexSeparator;
}

void ColumnRenderer::DrawColumn(int x, PaletteImage& image) {
  if (x < firstColumn_ || x >= available_ || x >= image.width) return;
  int16_t* frame = frames_.data();
  int16_t max, min;
  ReadFrame(x, frame, &max, &min);
  engine_.Transform(frame, 0);
  PaintColumn(x, frame, max, min, image);
}

namespace {

#if defined(__SSE2__)
// Sixteen rows of sixteen bytes transposed in place: four rounds of interleaving row i with
// row i + 8 move every byte from (row, column) to (column, row).
void Transpose16(__m128i r[16]) {
  for (int round = 0; round < 4; ++round) {
    __m128i t[16];
    for (int i = 0; i < 8; ++i) {
      t[2 * i] = _mm_unpacklo_epi8(r[i], r[i + 8]);
      t[2 * i + 1] = _mm_unpackhi_epi8(r[i], r[i + 8]);
    }
    for (int i = 0; i < 16; ++i) r[i] = t[i];
  }
}

// The palette indices of sixteen levels, as PaletteIndexOfLevel gives them.
__m128i IndicesOfLevels(const int16_t* levels, __m128i offset) {
  const __m128i floor = _mm_set1_epi16(kIndexFloor), top = _mm_set1_epi16(kIndexTop);
  __m128i low = _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(levels)), offset);
  __m128i high = _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(levels + 8)), offset);
  low = _mm_min_epi16(_mm_max_epi16(low, floor), top);
  high = _mm_min_epi16(_mm_max_epi16(high, floor), top);
  return _mm_packus_epi16(low, high);
}
#endif

// The levels of `batch` transformed frames (frame k at frames + k * n) become the palette
// indices of columns x0 .. x0 + batch - 1, bin b at row height - 1 - b. Sixteen columns at a
// time go through a transposed block of 16 x 16 indices, so the image is written sixteen
// neighbouring pixels per store; the rest of a batch through a small tile of 64 bins.
void WritePaletteIndices(const int16_t* frames, int n, int batch, int x0, int16_t correction, PaletteImage& image) {
  const int bins = n / 2;
  int k0 = 0;
#if defined(__SSE2__)
  const __m128i offset = _mm_set1_epi16(static_cast<int16_t>(correction - 100));
  for (; k0 + 16 <= batch && bins % 16 == 0; k0 += 16) {
    for (int b0 = 0; b0 < bins; b0 += 16) {
      __m128i block[16];
      for (int j = 0; j < 16; ++j) block[j] = IndicesOfLevels(frames + static_cast<size_t>(k0 + j) * n + b0, offset);
      Transpose16(block);
      for (int i = 0; i < 16; ++i) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(image.Row(image.height - 1 - b0 - i) + x0 + k0), block[i]);
      }
    }
  }
#endif
  if (k0 >= batch) return;
  uint8_t tile[kTileBins][kBatchColumns];
  for (int b0 = 0; b0 < bins; b0 += kTileBins) {
    const int tileBins = std::min(kTileBins, bins - b0);
    for (int k = k0; k < batch; ++k) {
      const int16_t* levels = frames + static_cast<size_t>(k) * n + b0;
      for (int b = 0; b < tileBins; ++b) tile[b][k - k0] = PaletteIndexOfLevel(levels[b], correction);
    }
    for (int b = 0; b < tileBins; ++b) std::memcpy(image.Row(image.height - 1 - b0 - b) + x0 + k0, tile[b], batch - k0);
  }
}

}  // namespace

void ColumnRenderer::DrawColumns(int first, int count, PaletteImage& image) {
  const int end = std::min({first + count, available_, image.width});
  const int n = plan_.fftLength;
  int16_t max[kBatchColumns], min[kBatchColumns];
  for (int x0 = std::max(first, firstColumn_); x0 < end; x0 += kBatchColumns) {
    const int batch = std::min(kBatchColumns, end - x0);
    int16_t* frames = frames_.data();
    for (int k = 0; k < batch; ++k) ReadFrame(x0 + k, frames + k * n, &max[k], &min[k]);
    TransformFramesToLevels(engine_, frames, batch);
    WritePaletteIndices(frames, n, batch, x0, plan_.correction, image);
    for (int k = 0; k < batch; ++k) PaintEnvelope(x0 + k, max[k], min[k], image);
  }
}

int ColumnRenderer::ColumnLevels(int first, int count, int16_t* out) {
  const int start = std::max({first, 0, firstColumn_});
  const int end = std::min(first + count, available_);
  const int n = plan_.fftLength;
  const size_t bins = static_cast<size_t>(n / 2);
  int16_t max, min;
  for (int x0 = start; x0 < end; x0 += kBatchColumns) {
    const int batch = std::min(kBatchColumns, end - x0);
    int16_t* frames = frames_.data();
    for (int k = 0; k < batch; ++k) ReadFrame(x0 + k, frames + k * n, &max, &min);
    TransformFramesToLevels(engine_, frames, batch);
    for (int k = 0; k < batch; ++k) {
      std::memcpy(out + static_cast<size_t>(x0 - start + k) * bins, frames + static_cast<size_t>(k) * n, 2 * bins);
    }
  }
  return std::max(end - start, 0);
}

}  // namespace hl
