#include "core/analysis/time_scale_fit.h"

#include <algorithm>
#include <cmath>

#include "core/base/limits.h"
#include "core/image/bitmap_file.h"

namespace hl {

namespace {

constexpr float kShortestMs = kShortestTimeScaleMs;
constexpr float kLongestMs = kLongestTimeScaleMs;

// A time scale whose column step is exactly `step`: step x 1000 / (rate x channels), nudged
// by single-precision steps when rounding puts it on a neighbouring step.
float TimeScaleOfStep(const SpanRequest& req, int32_t step) {
  const double perMs = static_cast<double>(static_cast<float>(req.sampleRate)) * req.channels / 1000.0;
  float ts = static_cast<float>(step / perMs);
  for (int i = 0; i < 64 && ColumnStep(req.sampleRate, req.channels, ts) != step; ++i) {
    ts = ColumnStep(req.sampleRate, req.channels, ts) < step ? std::nextafter(ts, 1e9f) : std::nextafter(ts, 0.0f);
  }
  // The steps of 1 ms and 500 ms themselves may sit just outside the dialog's range.
  return std::min(kLongestMs, std::max(kShortestMs, ts));
}

int WidthAt(SpanRequest req, float ts) {
  req.timeScaleMs = ts;
  const ColumnGeometry g = PlanColumns(req);
  return g.refusal == Message::None ? ExportWidth(g.columnCount) : 0;
}

}  // namespace

float TimeScaleForWidth(const SpanRequest& req, int width) {
  if (req.channels == 0 || req.sampleRate == 0) return 0;
  const int32_t ch = req.channels;
  // Steps in whole frames from the step of 1 ms to the step of 500 ms.
  int32_t low = (ColumnStep(req.sampleRate, ch, kShortestMs) + ch - 1) / ch;
  int32_t high = ColumnStep(req.sampleRate, ch, kLongestMs) / ch;
  if (low < 1 || high < low) return 0;
  // Column counts fall as the step grows: find the smallest step whose width fits.
  if (WidthAt(req, TimeScaleOfStep(req, low * ch)) <= width) return kShortestMs;
  if (WidthAt(req, TimeScaleOfStep(req, high * ch)) > width) return kLongestMs;
  while (high - low > 1) {
    const int32_t mid = low + (high - low) / 2;
    if (WidthAt(req, TimeScaleOfStep(req, mid * ch)) <= width) high = mid;
    else low = mid;
  }
  return TimeScaleOfStep(req, high * ch);
}

}  // namespace hl
