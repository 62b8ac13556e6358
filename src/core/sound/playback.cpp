#include "core/sound/playback.h"

#include <cmath>

#include "core/analysis/analysis_settings.h"
#include "core/analysis/parameters_dialog.h"
#include "core/base/limits.h"

namespace hl {

namespace {

constexpr uint64_t kRingBytesPerSecondBase = 352800;
constexpr uint32_t kShortestRingSeconds = 2;
constexpr uint64_t kLargestRing = 0x7FFFFFFF;
// The frame's envelope is taken from the middle quarter of the window.
constexpr int kPeakFirst = 193;
constexpr int kPeakLast = 319;
constexpr int kNewRateCharacters = 8;

}  // namespace

RingLayout PlanRing(uint32_t bytesPerSample, uint32_t channels, uint32_t sampleRate) {
  RingLayout ring;
  const uint64_t frameBytes = uint64_t{bytesPerSample} * channels;
  const uint64_t bytesPerSecond = frameBytes * sampleRate;
  if (bytesPerSecond == 0) return ring;
  uint64_t seconds = kRingBytesPerSecondBase / bytesPerSecond;
  if (seconds < kShortestRingSeconds) seconds = kShortestRingSeconds;
  const uint64_t ringBytes = seconds * bytesPerSecond;
  // Halves of whole frames: the device plays the ring as one stream, and every byte of it
  // must be refilled from the file in order.
  const uint64_t halfFrames = ringBytes / 2 / frameBytes;
  const uint64_t halfBytes = halfFrames * frameBytes;
  if (halfFrames == 0 || 2 * halfBytes > kLargestRing) return ring;
  ring.seconds = static_cast<uint32_t>(seconds);
  ring.halfBytes = static_cast<uint32_t>(halfBytes);
  ring.ringBytes = static_cast<uint32_t>(2 * halfBytes);
  ring.halfFrames = static_cast<uint32_t>(halfFrames);
  ring.ringFrames = static_cast<uint32_t>(2 * halfFrames);
  ring.valid = true;
  return ring;
}

uint32_t TotalFrames(uint32_t dataLength, uint32_t bytesPerSample, uint32_t channels) {
  const uint64_t frameBytes = uint64_t{bytesPerSample} * channels;
  return frameBytes == 0 ? 0 : static_cast<uint32_t>(dataLength / frameBytes);
}

uint32_t RingLoops(uint32_t dataLength, uint32_t ringBytes) {
  return ringBytes == 0 ? 1 : dataLength / ringBytes + 1;
}

RingPosition RingPositionFromSamples(uint64_t samplesPlayed, const RingLayout& ring) {
  RingPosition p;
  if (!ring.valid) return p;
  p.ringFrame = static_cast<uint32_t>(samplesPlayed % ring.ringFrames);
  p.currentHalf = p.ringFrame < ring.halfFrames ? 0 : 1;
  p.windowStart = static_cast<int32_t>(samplesPlayed % ring.halfFrames) - kScanFrameLength;
  return p;
}

RingPosition RingPositionFromBytes(uint64_t bytesPlayed, uint32_t frameBytes, const RingLayout& ring) {
  if (frameBytes == 0) return RingPosition{};
  return RingPositionFromSamples(bytesPlayed / frameBytes, ring);
}

int NextRefill(RefillState& state, const RingPosition& position, const RingLayout& ring) {
  if (!ring.valid) return -1;
  if (position.currentHalf != state.playingHalf) {
    state.playingHalf = position.currentHalf;
    state.pending = true;
  }
  const uint32_t intoHalf = position.ringFrame - (position.currentHalf == 0 ? 0 : ring.halfFrames);
  if (state.pending && intoHalf > static_cast<uint32_t>(kScanFrameLength)) {
    state.pending = false;
    return 1 - position.currentHalf;
  }
  return -1;
}

int64_t ElapsedFramesByClock(uint32_t sampleRate, double elapsedMs) {
  return static_cast<int64_t>(static_cast<double>(sampleRate) * elapsedMs * 0.001);
}

bool ScanEndedByClock(int64_t elapsedFrames, uint32_t totalFrames) {
  return elapsedFrames >= static_cast<int64_t>(totalFrames) - kScanFrameLength;
}

RingWindow LocateRingWindow(const RingPosition& position, const RingLayout& ring, uint32_t frameBytes) {
  RingWindow w;
  if (!ring.valid) return w;
  const int32_t p = position.windowStart;
  const uint32_t currentStart = position.currentHalf == 0 ? 0 : ring.halfBytes;
  const uint32_t otherStart = position.currentHalf == 0 ? ring.halfBytes : 0;
  const int64_t headStart = p > 0 ? p : 0;
  // The part in the current half must end before the half does.
  w.inside = static_cast<uint64_t>(headStart + kScanFrameLength) * frameBytes < ring.halfBytes;
  if (!w.inside) return w;
  if (p < 0) {
    w.tailFrames = static_cast<uint32_t>(-p);
    w.tailOffset = otherStart + ring.halfBytes - w.tailFrames * frameBytes;
  }
  w.headFrames = static_cast<uint32_t>(kScanFrameLength) - w.tailFrames;
  w.headOffset = currentStart + static_cast<uint32_t>(headStart) * frameBytes;
  return w;
}

FramePeaks BuildRingFrame(const uint8_t* ring, const RingWindow& window, uint32_t frameBytes,
                          uint32_t bytesPerSample, int16_t* frame) {
  FramePeaks peaks;
  auto sampleAt = [&](uint32_t offset) -> int16_t {
    if (bytesPerSample == 1) return static_cast<int16_t>((static_cast<int>(ring[offset]) - 128) * 256);
    return static_cast<int16_t>(static_cast<uint16_t>(ring[offset] | (ring[offset + 1] << 8)));
  };
  int i = 0;
  for (uint32_t f = 0; f < window.tailFrames; ++f) frame[i++] = sampleAt(window.tailOffset + f * frameBytes);
  for (uint32_t f = 0; f < window.headFrames; ++f) frame[i++] = sampleAt(window.headOffset + f * frameBytes);
  for (int k = kPeakFirst; k <= kPeakLast && k < i; ++k) {
    if (frame[k] > peaks.max) peaks.max = frame[k];
    if (frame[k] < peaks.min) peaks.min = frame[k];
  }
  return peaks;
}

StopSpan ScanStopSpan(uint64_t bytesRead, uint32_t ringBytes, uint32_t channels, uint32_t bytesPerSample,
                      uint32_t sampleRate) {
  StopSpan span;
  const uint64_t bytesPerSecond = uint64_t{channels} * bytesPerSample * sampleRate;
  if (bytesPerSecond == 0) return span;
  const uint64_t twoRings = 2 * uint64_t{ringBytes};
  const uint64_t beginMs = bytesRead > twoRings ? (bytesRead - twoRings) * 1000 / bytesPerSecond : 0;
  const uint64_t lengthMs = 3 * uint64_t{ringBytes} * 1000 / (2 * bytesPerSecond);
  const uint64_t endMs = beginMs + lengthMs;
  span.beginMs = static_cast<uint32_t>(beginMs > 0xFFFFFFFFu ? 0xFFFFFFFFu : beginMs);
  span.endMs = static_cast<uint32_t>(endMs > 0xFFFFFFFFu ? 0xFFFFFFFFu : endMs);
  return span;
}

int32_t PlayColumn(double elapsedMs, double columnTimeMs) {
  if (!(columnTimeMs > 0.0) || !(elapsedMs >= 0.0)) return -1;
  const double c = std::trunc(elapsedMs / columnTimeMs);
  return c > 2147483647.0 ? 2147483647 : static_cast<int32_t>(c);
}

double ColumnTimeMs(int32_t step, uint32_t channels, uint32_t sampleRate) {
  if (step <= 0 || channels == 0 || sampleRate == 0) return 0.0;
  return static_cast<double>(step) * 1000.0 / (static_cast<double>(channels) * sampleRate);
}

PlayReveal RevealForColumn(int32_t c, int32_t lastDrawn, int32_t imageWidth, int32_t columnCount) {
  PlayReveal r;
  r.lastDrawn = lastDrawn;
  if (c >= 0 && c < imageWidth && c != lastDrawn) {
    r.copy = true;
    r.sourceX = 0;
    r.width = c;
    r.lastDrawn = c;
    return r;
  }
  if (c > columnCount) c = columnCount;
  if (c >= imageWidth && c != lastDrawn) {
    r.copy = true;
    r.sourceX = c - imageWidth;
    r.width = imageWidth;
    r.scroll = true;
    r.scrollPosition = c - imageWidth;
    r.lastDrawn = c;
  }
  return r;
}

PlaySpan PlayWindowSpan(int32_t step, uint32_t bytesPerSample, int32_t horizontalOffset, int32_t columnCount,
                        int32_t imageWidth, uint32_t dataLength) {
  PlaySpan span;
  if (step <= 0 || horizontalOffset < 0 || columnCount < 0) return span;
  const uint64_t columnBytes = uint64_t(step) * bytesPerSample;
  const uint64_t offset = columnBytes * static_cast<uint64_t>(horizontalOffset);
  if (offset >= dataLength) return span;
  const uint64_t rest = dataLength - offset;
  uint64_t length = columnCount > imageWidth ? rest : columnBytes * static_cast<uint64_t>(columnCount);
  if (length > rest) length = rest;
  span.offset = static_cast<uint32_t>(offset);
  span.length = static_cast<uint32_t>(length);
  return span;
}

CursorStep StepCursor(int32_t c, int32_t lastDrawn, int32_t imageWidth) {
  CursorStep s;
  // Before the sound has reached the first column (a negative lead) there is nothing to do.
  if (c < 0) return s;
  if (c >= imageWidth) {
    s.leftArea = true;
    return s;
  }
  if (c == lastDrawn) return s;
  s.move = true;
  s.restoreX = lastDrawn >= 0 && lastDrawn < imageWidth ? lastDrawn : -1;
  s.drawX = c;
  return s;
}

uint32_t NewScanRate(const char* text, uint32_t rememberedRate, uint32_t fileRate) {
  int64_t value = 0;
  bool negative = false;
  int i = 0;
  if (text) {
    while (i < kNewRateCharacters && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i < kNewRateCharacters && (text[i] == '-' || text[i] == '+')) {
      negative = text[i] == '-';
      ++i;
    }
    for (; i < kNewRateCharacters && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value == 0) value = rememberedRate;
  // A remembered rate may be any 32-bit value a header held; above the int range it is
  // simply too high.
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<uint32_t>(ClampNewRate(static_cast<int32_t>(value), fileRate));
}

bool ScanRateInRange(int64_t rate, uint32_t fileRate) {
  if (rate < 0 || rate > INT32_MAX) return false;
  return CheckFileRate(static_cast<double>(rate), fileRate) == Message::None;
}

}  // namespace hl
