#include "core/sound/capture.h"

#include <cmath>

#include "core/files/wave_format.h"

namespace hl {

// --- Sizes -------------------------------------------------------------------------------------

int32_t CaptureRateOfChoice(RateChoice rateChoice) {
  switch (rateChoice) {
    case RateChoice::Rate5k:
      return 5513;
    case RateChoice::Rate22k:
      return 22050;
    case RateChoice::Rate44k:
      return 44100;
    default:
      return 11025;
  }
}

int32_t RecordSecondsOfChoice(RecordLength recordChoice) {
  switch (recordChoice) {
    case RecordLength::Seconds10:
      return 10;
    case RecordLength::Seconds20:
      return 20;
    case RecordLength::Seconds30:
      return 30;
    default:
      return 0;
  }
}

HalfSizes ComputeHalfSizes(int32_t sampleRate, int32_t bytesPerSample) {
  const int32_t perSecond = sampleRate * bytesPerSample;
  int32_t seconds = perSecond > 0 ? 352800 / perSecond : 2;
  // Below 2 s a half would be over before the loop's latency and the handler's restart
  // could keep the window behind the card.
  if (seconds < 2) seconds = 2;
  return HalfSizes{seconds, seconds * sampleRate, seconds * bytesPerSample * sampleRate};
}

uint32_t FixedRecordingBytes(int32_t seconds, int32_t sampleRate, int32_t bytesPerSample) {
  return static_cast<uint32_t>(seconds) * static_cast<uint32_t>(bytesPerSample) * static_cast<uint32_t>(sampleRate);
}

int32_t PlannedColumns(uint32_t samples, int32_t samplesPerColumn) {
  if (samplesPerColumn <= 0 || samples < static_cast<uint32_t>(kCaptureFrame)) return 0;
  return static_cast<int32_t>((samples - kCaptureFrame) / static_cast<uint32_t>(samplesPerColumn));
}

int32_t SamplesPerColumn(int32_t sampleRate, float columnMs) {
  const double exact = static_cast<double>(sampleRate) * static_cast<double>(columnMs) * 0.001;
  return static_cast<int32_t>(std::floor(exact + 0.5));
}

float CaptureTimeScale(int32_t sampleRate) {
  return sampleRate > 0 ? 512000.0f / static_cast<float>(sampleRate) : 0.0f;
}

void PatchRecordingHeader(uint8_t* header, uint32_t totalBytes) { SetWaveDataLength(header, totalBytes); }

uint32_t RecordingBytesThatFit(uint64_t written, uint32_t count, uint32_t blockAlign) {
  if (written >= kRecordingDataLimit) return 0;
  const uint64_t room = kRecordingDataLimit - written;
  if (count <= room) return count;
  const uint64_t align = blockAlign > 0 ? blockAlign : 1;
  return static_cast<uint32_t>(room - room % align);
}

// --- The window of a column ----------------------------------------------------------------

int32_t WindowStart(double nowMs, double switchTimeMs, int32_t latencyMs, int32_t sampleRate) {
  const double samples = (nowMs - switchTimeMs - latencyMs) * sampleRate * 0.001;
  return static_cast<int32_t>(samples) - kCaptureFrame;
}

int32_t LimitWindowToCard(int32_t p, int64_t cardSamples, int32_t latencyMs, int32_t sampleRate) {
  const double behind = static_cast<double>(cardSamples) - static_cast<double>(latencyMs) * sampleRate * 0.001;
  const double limit = behind - kCaptureFrame;
  return limit < p ? static_cast<int32_t>(behind) - kCaptureFrame : p;
}

int32_t LimitWindowToRecorded(int32_t p, int64_t recordedSamples, int32_t samplesPerHalf) {
  if (recordedSamples >= samplesPerHalf) return p;
  const int64_t limit = recordedSamples - kCaptureFrame;
  return limit < p ? static_cast<int32_t>(limit) : p;
}

WindowPlan PlanWindow(int32_t p, int32_t bytesPerSample, int32_t bytesPerHalf) {
  WindowPlan plan{};
  if (p <= -kCaptureFrame) {
    plan.fromPrevious = kCaptureFrame;
  } else if (p < 0) {
    plan.fromPrevious = -p;
    plan.fromCurrent = kCaptureFrame + p;
  } else {
    plan.fromCurrent = kCaptureFrame;
    plan.currentStart = p;
  }
  const int64_t end = (static_cast<int64_t>(p > 0 ? p : 0) + kCaptureFrame) * bytesPerSample;
  plan.late = end >= bytesPerHalf;
  return plan;
}

int16_t FrameSample(const uint8_t* bytes, int32_t bitsPerSample) {
  if (bitsPerSample == 16) {
    // Only the high byte counts: the low byte of a live input is mostly noise.
    return static_cast<int16_t>(static_cast<uint16_t>(bytes[1]) << 8);
  }
  return static_cast<int16_t>((static_cast<int32_t>(bytes[0]) - 128) * 256);
}

namespace {

// `silent` zero samples, then `previousCount` from `previous`, then `currentCount` from
// `current`, zeros after them up to 512; the peak of indices 193..319.
Peak FillFrame(int32_t silent, const uint8_t* previous, int32_t previousCount, const uint8_t* current,
               int32_t currentCount, int32_t bitsPerSample, int16_t* frame) {
  const int32_t step = bitsPerSample == 16 ? 2 : 1;
  int32_t n = 0;
  while (n < silent && n < kCaptureFrame) frame[n++] = 0;
  for (int32_t i = 0; i < previousCount && n < kCaptureFrame; ++i) frame[n++] = FrameSample(previous + i * step, bitsPerSample);
  for (int32_t i = 0; i < currentCount && n < kCaptureFrame; ++i) frame[n++] = FrameSample(current + i * step, bitsPerSample);
  while (n < kCaptureFrame) frame[n++] = 0;
  Peak peak;
  for (int i = kPeakFirst; i <= kPeakLast; ++i) {
    if (frame[i] > peak.max) peak.max = frame[i];
    if (frame[i] < peak.min) peak.min = frame[i];
  }
  return peak;
}

}  // namespace

Peak BuildFrame(const uint8_t* previous, int32_t previousCount, const uint8_t* current, int32_t currentCount,
                int32_t bitsPerSample, int16_t* frame) {
  return FillFrame(0, previous, previousCount, current, currentCount, bitsPerSample, frame);
}

Peak BuildWindowFrame(const uint8_t* previousHalf, int32_t previousSamples, const uint8_t* currentHalf,
                      const WindowPlan& plan, int32_t bitsPerSample, int16_t* frame) {
  const int32_t step = bitsPerSample == 16 ? 2 : 1;
  const int32_t held = previousSamples > 0 ? previousSamples : 0;
  const int32_t fromPrevious = plan.fromPrevious < held ? plan.fromPrevious : held;
  const uint8_t* tail = previousHalf + static_cast<size_t>(held - fromPrevious) * step;
  const uint8_t* head = currentHalf + static_cast<size_t>(plan.currentStart) * step;
  return FillFrame(plan.fromPrevious - fromPrevious, tail, fromPrevious, head, plan.fromCurrent, bitsPerSample,
                   frame);
}

uint32_t PollSleepMs(double sinceLastPollMs, double intervalMs) {
  const double remaining = intervalMs - sinceLastPollMs;
  if (remaining < 2.0) return 1;
  if (remaining > intervalMs) return static_cast<uint32_t>(intervalMs);
  return static_cast<uint32_t>(remaining);
}

uint64_t WrapSafeClock::Extend(uint32_t raw) {
  if (raw < last) high += uint64_t{1} << 32;
  last = raw;
  return high + raw;
}

float MeasuredColumnTime(double nowMs, double startMs, int32_t columnCount) {
  const float elapsed = static_cast<float>(nowMs - startMs);
  return columnCount > 0 ? elapsed / static_cast<float>(columnCount) : elapsed;
}

// --- Scroll display --------------------------------------------------------------------------

uint8_t PaletteIndexOfLevel(int32_t level) {
  int32_t index = level - 100;
  if (index < 3) index = 3;
  if (index > 235) index = 235;
  return static_cast<uint8_t>(index);
}

ScrollStep NextScrollColumn(ScrollCursor& cursor, int32_t imageWidth) {
  if (cursor.subColumn > 3) cursor.subColumn = 0;
  ScrollStep step{};
  const bool full = cursor.drawPosition >= imageWidth;
  step.x = full ? imageWidth + cursor.subColumn - 4 : cursor.drawPosition;
  step.scrollAfter = full && cursor.subColumn == 3;
  step.refreshStatus = cursor.subColumn == 3;
  return step;
}

void AdvanceScrollCursor(ScrollCursor& cursor) {
  ++cursor.subColumn;
  // The draw position only has to tell "full" from "not yet": held at a bound so that a
  // scan running for days never wraps it back into the unscrolled range.
  if (cursor.drawPosition < (1 << 30)) ++cursor.drawPosition;
}

EnvelopeLine EnvelopeLineOf(const Peak& peak) {
  return EnvelopeLine{22 - peak.max / 1500, 22 - peak.min / 1500};
}

void RenderScanColumn(const int16_t* levels, const Peak& peak, uint8_t* column) {
  for (int y = 0; y < 43; ++y) column[y] = 3;
  column[21] = 2;
  const EnvelopeLine line = EnvelopeLineOf(peak);
  for (int y = line.top; y < line.bottom; ++y) {
    if (y >= 0 && y < kMarginRows) column[y] = 2;
  }
  column[43] = 1;
  for (int i = 0; i < kCaptureBins; ++i) column[kScrollImageHeight - 1 - i] = PaletteIndexOfLevel(levels[i]);
}

// --- Fixed-length recording ----------------------------------------------------------------

// --- Scope display ---------------------------------------------------------------------------

ScopeGeometry ScopeGeometryOf(int32_t imageWidth, int32_t imageHeight, int32_t charWidth, int32_t charHeight) {
  int32_t x0 = (imageWidth - 2 * kCaptureBins) / 2;
  const int32_t lowest = 9 * charWidth / 2;  // room for the level labels
  if (x0 < lowest) x0 = lowest;
  return ScopeGeometry{x0, imageHeight - 2 * charHeight};
}

void ScopeHistory::Clear() {
  for (auto& row : rows) {
    for (int16_t& v : row) v = 0;
  }
}

void ScopeHistory::Push(const int16_t* levels) {
  for (int r = 0; r < 3; ++r) {
    for (int i = 0; i < kCaptureBins; ++i) rows[r][i] = rows[r + 1][i];
  }
  for (int i = 0; i < kCaptureBins; ++i) rows[3][i] = levels[i];
}

int32_t ScopeBarHeight(const ScopeHistory& history, int i, int32_t baseline) {
  const int32_t sum = history.rows[0][i] + history.rows[1][i] + history.rows[2][i] + history.rows[3][i];
  int32_t height = sum / 4 - 60;
  if (height > baseline) height = baseline;
  if (height < 0) height = 0;
  return height;
}

// --- Dialogs ---------------------------------------------------------------------------------

}  // namespace hl
