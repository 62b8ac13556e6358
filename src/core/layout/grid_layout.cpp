#include "core/layout/grid_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/base/limits.h"
#include "core/layout/readout.h"

namespace hl {

namespace {

constexpr int kSecondLabelY = 36;  // inside the margin, just above its separator line

// Truncation toward zero, kept inside int for values no sane input produces.
int Trunc(float v) {
  if (!(v > -2.0e9f)) return -2000000000;
  if (!(v < 2.0e9f)) return 2000000000;
  return static_cast<int>(v);
}

std::string Format(const char* format, int64_t value) {
  char text[32];
  // The labels are unsigned; a value that is not is shown as that conversion shows it.
  std::snprintf(text, sizeof text, format, static_cast<unsigned>(static_cast<uint32_t>(value)));
  return text;
}

}  // namespace

int64_t RoundHalfUp(float value) {
  if (!std::isfinite(value)) return 0;
  const float whole = std::floor(value);
  // value - whole is exact for a float, so the half is compared without rounding.
  return static_cast<int64_t>(whole) + (value - whole >= 0.5f ? 1 : 0);
}

int FrequencyTickStep(int32_t sampleRate) {
  const int quotient = sampleRate / 11025;
  if (quotient < 1) return 1;
  if (quotient <= 4) return quotient;
  for (int step : {25, 20, 10}) {
    if (quotient >= step) return step;
  }
  return 5;
}

GridLayout ComputeGrid(const GridInputs& in) {
  GridLayout out;
  if (in.scopeDisplay || !in.bitmapExists) return out;
  const float ts = in.timeScaleMs;
  if (!(ts > 0.0f) || in.sampleRate <= 0 || in.fftOrder < 1 || in.fftOrder > 16) return out;

  const int W = in.width, H = in.height, cw = in.charWidth, ch = in.charHeight;
  const int N = 1 << in.fftOrder;
  const bool intoWindow = !in.wholeBitmap;
  GridTicks& k = out.ticks;

  k.t0 = in.imageStartMs / ts;
  if (intoWindow) k.t0 = k.t0 + static_cast<float>(in.horizontalPosition);

  // One second up to 19 ms per column, then a second more for every further 10 ms.
  k.timeSpacingMs = 1000 * (Trunc(ts) / 10);
  if (k.timeSpacingMs <= 0) k.timeSpacingMs = 1000;
  const float T = static_cast<float>(k.timeSpacingMs);

  k.frequencyStep = FrequencyTickStep(in.sampleRate);
  const int K = k.frequencyStep;

  // Time ticks: the first is the next multiple of T after the view's first column.
  k.timeTicks = Trunc(static_cast<float>(W) * ts / T) + 1;
  k.columnsPerTick = T / ts;
  k.firstTick = Trunc(k.t0 * ts / T) + 1;
  k.firstX = Trunc(static_cast<float>(k.firstTick * k.timeSpacingMs) / ts) - Trunc(k.t0);

  // Frequency ticks, counted from the view's bottom row upward.
  const int rows = H - kMarginRows;
  k.hzPerRow = static_cast<float>(in.sampleRate) / static_cast<float>(N);
  const float F = k.hzPerRow;
  k.ticksPerRow = F / static_cast<float>(1000 * K);
  k.frequencyTicks = Trunc(k.ticksPerRow * static_cast<float>(rows)) + 1;
  k.rowsPerTick = 1.0f / k.ticksPerRow;
  if (in.verticalScrollOn && intoWindow) {
    k.bottomBin = static_cast<float>(N / 2 - in.verticalOffset - rows);
    const int m = Trunc(k.bottomBin * k.ticksPerRow) + 1;
    k.firstOffset = Trunc(static_cast<float>(1000 * m * K) / F + 1.0f) - Trunc(k.bottomBin);
  } else {
    k.bottomBin = 0.0f;
    k.firstOffset = Trunc(static_cast<float>(1000 * K) / F + 1.0f);
  }
  const float P = k.columnsPerTick, R = k.rowsPerTick, Y0 = k.bottomBin;
  const float Hf = static_cast<float>(H);

  for (int S = 0; S < k.timeTicks; ++S) {
    const float along = static_cast<float>(S) * P;
    const int x = Trunc(static_cast<float>(k.firstX) + along);
    const float column = k.t0 + static_cast<float>(k.firstX) + along;
    const int64_t seconds = RoundHalfUp(column * ts * 0.001f);
    if (x < W - 10 * cw) out.labels.push_back({x - cw, kSecondLabelY, Format("%-3uSec", seconds)});
    const bool lastTimeTick = S == k.timeTicks - 1;
    for (int Z = 0; Z < k.frequencyTicks; ++Z) {
      const float yf = Hf - static_cast<float>(Z) * R - static_cast<float>(k.firstOffset);
      const int y = Trunc(yf);
      // Clear of the margin's labels above and of the scroll bar below.
      const bool rowVisible = ch + kMarginRows < y && y < H - ch;
      if (lastTimeTick && rowVisible) {
        const int64_t khz = RoundHalfUp((Y0 - yf + Hf) * F * 0.001f);
        out.labels.push_back({W - 8 * cw, y - ch / 2, Format("%-2u kHz", khz)});
      }
      if (rowVisible && cw < x && x < W - 10 * cw) out.crosses.push_back({x, y});
    }
  }
  return out;
}

InfoPanelLayout ComputeInfoPanel(int windowWidth, int imageHeight, int charWidth, int charHeight,
                                 uint32_t sampleRate, uint32_t bitsPerSample, uint32_t dataLength,
                                 const TextWidths& measured, int leftLimit) {
  const int cw = charWidth, ch = charHeight;
  InfoPanelLayout p{};
  p.x = std::max((windowWidth - 82 * cw) / 4 + 32 * cw, leftLimit);
  p.y = imageHeight + 2 * cw + ch / 2;
  p.height = 4 * ch;
  p.labelX = p.x + cw;
  p.valueX = std::max(p.x + 17 * cw, p.labelX + measured.panelLabel + TextGap(cw));
  p.width = std::max(29 * cw, p.valueX + measured.panelValue + cw - p.x);
  for (int row = 0; row < 3; ++row) p.rowY[row] = p.y + ch / 2 + row * ch;
  p.labels[0] = "Resolution :";
  p.labels[1] = "Sample Rate :";
  p.labels[2] = "Sample Length :";
  p.values[0] = Format("%-4u bits", bitsPerSample);
  p.values[1] = Format("%-4u kHz", sampleRate / 1000);
  p.values[2] = Format("%-4u kb", dataLength / 1000);
  return p;
}

std::string RecordedLengthText(uint32_t kb) { return Format("%-6u kb", kb); }

InfoPanelLayout PlaceInfoPanel(int windowWidth, int imageHeight, int scrollBarThickness, int charWidth,
                               int charHeight, const TextWidths& measured, uint32_t sampleRate,
                               uint32_t bitsPerSample, uint32_t dataLength) {
  const StatusBlockLayout status =
      ComputeStatusBlock(windowWidth, imageHeight, scrollBarThickness, charWidth, charHeight, measured);
  const int leftLimit = measured.value > 0 ? status.right + charWidth : 0;
  return ComputeInfoPanel(windowWidth, imageHeight, charWidth, charHeight, sampleRate, bitsPerSample, dataLength,
                          measured, leftLimit);
}

}  // namespace hl
