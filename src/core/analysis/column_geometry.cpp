#include "core/analysis/column_geometry.h"

#include <cstdint>

#include "core/analysis/analysis_settings.h"
#include "core/base/limits.h"

namespace hl {

namespace {

constexpr int kMinFftOrder = 9;
constexpr int kMaxFftOrder = 11;

// ms x bytes per second / 1000, each operation rounded to binary32.
float RawOffset(float ms, float bytesPerSecond) {
  const float bytes = ms * bytesPerSecond;
  return bytes / 1000.0f;
}

// A raw offset known to lie in [0, 2^32), truncated and cut down to a frame.
uint32_t WholeFrames(double raw, uint32_t block) {
  const auto bytes = static_cast<uint32_t>(raw);
  return bytes - bytes % block;
}

}  // namespace

ColumnGeometry PlanColumns(const SpanRequest& req) {
  ColumnGeometry g;
  g.endMs = req.endMs;

  if (req.channels == 0 || (req.bitsPerSample != 8 && req.bitsPerSample != 16) ||
      req.sampleRate == 0 || req.fftOrder < kMinFftOrder || req.fftOrder > kMaxFftOrder) {
    g.refusal = Message::ImproperEntry;
    return g;
  }
  g.fftLength = 1 << req.fftOrder;
  g.bitmapHeight = g.fftLength / 2 + kMarginRows;

  const int bytesPerSample = req.bitsPerSample / 8;
  const uint32_t block = static_cast<uint32_t>(req.channels * bytesPerSample);
  const uint32_t dataEnd = req.dataLength - req.dataLength % block;

  const float rate = static_cast<float>(req.sampleRate);
  const float bitsPerFrame = static_cast<float>(req.channels * req.bitsPerSample);
  const float bytesPerSecond = bitsPerFrame * rate / 8.0f;
  const float dataMs = static_cast<float>(dataEnd) / bytesPerSecond * 1000.0f;

  const float beginMs = static_cast<float>(req.beginMs);
  const float endMs = static_cast<float>(req.endMs);
  // Raw offsets are compared in double so that the data's end is exact.
  const double beginRaw = RawOffset(beginMs, bytesPerSecond);
  const double endRaw = RawOffset(endMs, bytesPerSecond);

  const bool endReachesDataEnd =
      endRaw > static_cast<double>(dataEnd) - block || endMs > dataMs - 1.0f;
  // Written so that a value that is not a number is outside.
  const bool beginInside = beginMs >= 0.0f && beginRaw < static_cast<double>(dataEnd);
  const bool endInside = endMs >= 0.0f;

  if (beginInside) g.beginOffset = WholeFrames(beginRaw, block);
  if (endReachesDataEnd) {
    g.endOffset = dataEnd;
    g.endMs = dataMs;
  } else if (endInside) {
    g.endOffset = WholeFrames(endRaw, block);
  }
  const bool spanInside = beginInside && endInside && g.endOffset > g.beginOffset;
  if (g.endOffset > g.beginOffset) g.byteCount = g.endOffset - g.beginOffset;

  Message refusal = CheckTimeScale(req.timeScaleMs);
  if (refusal == Message::None) refusal = CheckWindowLength(req.windowMs);
  if (refusal == Message::None && !spanInside) refusal = Message::ImproperBeginOrEnd;
  if (refusal == Message::None && g.byteCount < kShortestFileBytes) {
    refusal = Message::SampleSizeTooSmall;
  }
  if (refusal != Message::None) {
    g.refusal = refusal;
    return g;
  }

  g.step = ColumnStep(req.sampleRate, req.channels, req.timeScaleMs);
  if (g.step <= 0) {
    g.refusal = Message::ImproperEntry;
    return g;
  }
  g.columnCount = ColumnCount(g.byteCount, bytesPerSample, req.channels, g.fftLength, g.step);
  if (g.columnCount <= 0) g.refusal = Message::TimeScaleTooSmall;
  return g;
}

int32_t ColumnStep(double sampleRate, int channels, float timeScaleMs) {
  if (channels <= 0) return 0;
  const float rate = static_cast<float>(sampleRate);
  float samples = rate * static_cast<float>(channels);
  samples = samples * timeScaleMs;
  samples = samples / 1000.0f;
  if (!(samples > 0.0f) || samples >= 2147483648.0f) return 0;

  auto step = static_cast<int32_t>(samples);
  // Below 2^24 the fraction is exact; above it every float is a whole number.
  if (samples - static_cast<float>(step) >= 0.5f) ++step;
  // Lowered to a whole number of frames, so that every column's first sample is a
  // first-channel sample. For one or two channels this is the same as lowering an odd
  // step by one; for more channels lowering by one would land mid-frame.
  step -= step % channels;
  return step;
}

int32_t ColumnCount(uint32_t byteCount, int bytesPerSample, int channels, int fftLength,
                    int32_t step) {
  if (bytesPerSample <= 0 || channels <= 0 || fftLength <= 0 || step <= 0) return 0;
  const int64_t samples = static_cast<int64_t>(byteCount) / bytesPerSample;
  const int64_t beyondFirstFrame = samples - static_cast<int64_t>(channels) * fftLength;
  if (beyondFirstFrame <= 0) return 0;
  const int64_t count = beyondFirstFrame / step;
  return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

}  // namespace hl
