// libFuzzer target over the column geometry: any selection, format and options, as a file
// analysis would hand them over. What the renderer relies on must hold for every plan.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/analysis/column_geometry.h"
#include "fuzz_input.h"

namespace {

void Require(bool holds, const char* what) { hl_fuzz::Require(holds, "column geometry", what); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hl_fuzz::Input in(data, size);
  hl::SpanRequest req{};
  req.beginMs = in.Take<double>();
  req.endMs = in.Take<double>();
  req.sampleRate = in.Take<uint32_t>();
  req.channels = in.Take<uint16_t>();
  req.bitsPerSample = in.Take<uint16_t>();
  req.dataLength = in.Take<uint32_t>();
  req.timeScaleMs = in.Take<float>();
  req.windowMs = in.Take<float>();
  req.fftOrder = in.Take<int8_t>();

  const hl::ColumnGeometry g = hl::PlanColumns(req);
  Require(g.endOffset <= req.dataLength, "the span ends within the data");
  Require(g.byteCount == (g.endOffset > g.beginOffset ? g.endOffset - g.beginOffset : 0u),
          "byte count is end - begin");
  if (g.refusal == hl::Message::None) {
    const int bytesPerSample = req.bitsPerSample / 8;
    Require(g.step > 0 && g.columnCount > 0, "an accepted plan has columns");
    Require(g.fftLength == 1 << req.fftOrder, "FFT length 2^order");
    Require(g.bitmapHeight == g.fftLength / 2 + 44, "one row per bin under the margin");
    // The step is lowered by one value only, which makes whole frames of one or two channels.
    Require(req.channels > 2 || g.step % req.channels == 0, "a column starts on a whole frame");
    Require(g.beginOffset % (req.channels * bytesPerSample) == 0, "begin on a whole frame");
    // The last column's frame of all channels lies inside the span.
    const uint64_t values = g.byteCount / static_cast<uint64_t>(bytesPerSample);
    const uint64_t lastEnd = static_cast<uint64_t>(g.columnCount - 1) * static_cast<uint64_t>(g.step) +
                             static_cast<uint64_t>(req.channels) * static_cast<uint64_t>(g.fftLength);
    Require(lastEnd <= values, "the last column's frame is inside the span");
  }

  // The two helpers on their own, with values no dialog would pass.
  const double rate = in.Take<double>();
  const int channels = in.Take<int32_t>();
  const float scale = in.Take<float>();
  const int32_t step = hl::ColumnStep(rate, channels, scale);
  Require(step >= 0, "a step is never negative");
  if (step > 0) Require(channels > 0 && (channels > 2 || step % channels == 0), "a step is whole frames");
  const uint32_t bytes = in.Take<uint32_t>();
  const int bps = in.Take<int8_t>();
  const int fft = in.Take<int32_t>();
  const int32_t count = hl::ColumnCount(bytes, bps, channels, fft, step);
  Require(count >= 0, "a column count is never negative");
  if (count > 0) {
    Require(bps > 0 && channels > 0 && fft > 0 && step > 0, "columns only from positive sizes");
    Require(static_cast<uint64_t>(channels) * static_cast<uint64_t>(fft) <= bytes / static_cast<uint64_t>(bps),
            "columns only from a span longer than one frame");
  }
  return 0;
}
