#include "core/layout/readout.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "core/base/limits.h"

namespace hl {

namespace {

constexpr int kLevelLabelCount = 5;
constexpr int kMarkerArm = 11;     // the marker cross's bars are 11 pixels long
constexpr int kMarkerCentre = 5;   // and cross at (5, 5)
constexpr int kMarkerHalfArm = 6;  // centre and one side

std::string Format(const char* format, ...) {
  char text[64];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  if (length < 0) return std::string();
  return std::string(text);
}

int FftLength(int fftOrder) { return 1 << fftOrder; }

float HzPerBin(uint32_t rate, int fftOrder) {
  return static_cast<float>(rate) / static_cast<float>(FftLength(fftOrder));
}

}  // namespace

int FrequencyResolution(uint32_t rate, int fftOrder) {
  const uint32_t n = static_cast<uint32_t>(FftLength(fftOrder));
  const uint32_t whole = rate / (2 * n);
  return static_cast<int>(whole + ((rate % n) * 2 >= n ? 1 : 0));
}

int HalfColumnMs(float timeScaleMs) {
  const int whole = timeScaleMs > 0 ? static_cast<int>(timeScaleMs) : 0;
  return (whole + 1) / 2;
}

int64_t RoundHalfUpSigned(double value) {
  const double below = std::floor(value);
  // value - floor(value) is exact for every binary32 or binary64 value of this range.
  return static_cast<int64_t>(value - below >= 0.5 ? below + 1.0 : below);
}

int RowFrequency(uint32_t rate, int fftOrder, int imageY) {
  const int bins = FftLength(fftOrder) / 2 + kMarginRows - 1 - imageY;
  const float hz = HzPerBin(rate, fftOrder) * static_cast<float>(bins);
  return static_cast<int>(RoundHalfUpSigned(hz)) + FrequencyResolution(rate, fftOrder);
}

int DragFrequencySpan(uint32_t rate, int fftOrder, int anchorImageY, int imageY) {
  const float hz = HzPerBin(rate, fftOrder) * static_cast<float>(anchorImageY - imageY);
  return static_cast<int>(hz);  // toward zero
}

int ScopeFrequency(uint32_t rate, int fftOrder, int x, int scopeOriginX) {
  const float hz = HzPerBin(rate, fftOrder) * static_cast<float>(x - scopeOriginX) * 0.5f;
  const int64_t rounded = RoundHalfUpSigned(hz);
  const int64_t top = rate / 2;
  if (rounded < 0) return 0;
  if (rounded > top) return static_cast<int>(top);
  return static_cast<int>(rounded);
}

int64_t ColumnTimeMs(int imageX, float timeScaleMs, float imageBeginMs) {
  float t = static_cast<float>(imageX) * timeScaleMs;
  t = t + static_cast<float>(HalfColumnMs(timeScaleMs));
  t = t + imageBeginMs;
  return RoundHalfUpSigned(t);
}

int64_t DragTimeSpanMs(int imageX, int anchorImageX, float timeScaleMs) {
  const float t = static_cast<float>(imageX - anchorImageX) * timeScaleMs;
  const int64_t magnitude = RoundHalfUpSigned(std::fabs(t));
  return t < 0 ? -magnitude : magnitude;
}

int64_t ElapsedSeconds(float elapsedMs) { return RoundHalfUpSigned(static_cast<double>(elapsedMs) / 1000.0); }

float ScopeLevelDb(int baselineY, int y) { return static_cast<float>(baselineY - y) * 0.25f - 75.0f; }

int MouseCoordinate(uint16_t word) {
  const int16_t value = static_cast<int16_t>(word);
  return value < 0 ? 0 : value;
}

int ScopeOriginX(int imageAreaWidth, int charWidth) {
  const int centred = (imageAreaWidth - kScopeWidth) / 2;
  const int least = 9 * charWidth / 2;
  return centred < least ? least : centred;
}

int ScopeBaselineY(int imageAreaHeight, int charHeight) { return imageAreaHeight - 2 * charHeight; }

bool CursorInImage(const CursorPlace& place) {
  if (place.y >= place.imageAreaHeight) return false;
  if (place.scopeDisplay) return place.imageY >= 1;
  if (place.y < kMarginRows) return false;
  if (place.bitmapHeight > 0 && place.imageY >= place.bitmapHeight) return false;
  return true;
}

Selection SelectSpan(const SelectionInput& in) {
  Selection s;
  if (in.startX == in.endX) return s;
  s.made = true;
  const bool toTheRight = in.endX > in.startX;
  const double start = static_cast<double>(in.startX) + in.horizontalOffset;
  const double end = static_cast<double>(in.endX) + in.horizontalOffset;
  s.beginColumn = toTheRight ? start : end;
  s.endColumn = toTheRight ? end : start;
  if (toTheRight) {
    s.beginColumn += 0.5;
    s.endColumn += 0.5;
  }
  const double scale = static_cast<double>(in.timeScaleMs);
  const double bytesPerMs = static_cast<double>(in.bytesPerSample) * in.channels * in.rate * 0.001;
  s.beginMs = s.beginColumn * scale;
  s.endMs = s.endColumn * scale;
  s.beginByte = s.beginMs * bytesPerMs;
  s.endByte = s.endMs * bytesPerMs;
  return s;
}

StatusBlockLayout ComputeStatusBlock(int windowWidth, int imageAreaHeight, int scrollBarThickness, int charWidth,
                                     int charHeight, const TextWidths& measured) {
  StatusBlockLayout l;
  l.originX = windowWidth / 10 + charWidth;
  l.originY = charHeight / 2 + scrollBarThickness + imageAreaHeight;
  l.titleY = l.originY + charHeight / 4;
  l.row1Y = l.originY + 3 * charHeight / 2;
  l.row2Y = l.originY + 5 * charHeight / 2;
  l.labelX = l.originX + charWidth;
  const int gap = TextGap(charWidth);
  l.valueX = std::max(l.originX + 17 * charWidth, l.labelX + measured.label + gap);
  // Measured, a field is as wide as its widest text; else as many cells as its longest one.
  l.titleWidth = measured.title > 0 ? measured.title + gap : 16 * charWidth;
  l.labelWidth = l.valueX - l.labelX;
  l.valueWidth = measured.value > 0 ? measured.value + gap : 13 * charWidth;
  l.right = std::max(l.valueX + l.valueWidth, l.labelX + l.titleWidth);
  return l;
}

const char* TitleText(ReadoutTitle title) {
  switch (title) {
    case ReadoutTitle::Analysis: return "Audio Analysis ";
    case ReadoutTitle::FileScan: return "File Scan ";
    case ReadoutTitle::Recording: return "Audio Recording ";
    case ReadoutTitle::LiveScan: return "Audio Scan";
    case ReadoutTitle::None: break;
  }
  return "";
}

std::string TimeField(int64_t timeMs, int halfColumnMs) {
  const double t = static_cast<double>(timeMs);
  if (halfColumnMs < 100) return Format("%-4.0f + - %-2u ", t, static_cast<unsigned>(halfColumnMs));
  return Format("%-4.0f", t);
}

std::string WholeNumberField(int64_t value) { return Format("%-4.0f", static_cast<double>(value)); }

std::string FrequencyField(int frequencyHz, int resolutionHz) {
  if (frequencyHz >= kFrequencyShownBelow) return std::string();
  return Format("%-4i + - %-2u ", frequencyHz, static_cast<unsigned>(resolutionHz));
}

ReadoutTexts ComputeReadout(const ReadoutInput& in) {
  ReadoutTexts out;
  out.title = TitleText(in.title);
  out.frequencyLabel = kFrequencyLabel;
  const int r = FrequencyResolution(in.rate, in.fftOrder);

  if (in.scopeDisplay) {
    out.timeLabel = kLevelLabel;
    out.timeValue = kBlankLevel;
    if (in.inImage) {
      out.levelDb = RoundHalfUpSigned(ScopeLevelDb(in.baselineY, in.y));
      out.timeValue = WholeNumberField(out.levelDb);
    }
  } else if (in.clockRunning) {
    // The clock does not depend on the pointer: it is shown wherever the pointer is.
    out.timeLabel = kTimeNowLabel;
    out.timeValue = WholeNumberField(ElapsedSeconds(in.elapsedMs));
  } else {
    out.timeLabel = kTimeLabel;
    out.timeValue = kBlankTimeOrFrequency;
    if (in.inImage) {
      out.timeMs = in.rightDrag ? DragTimeSpanMs(in.imageX, in.anchorImageX, in.timeScaleMs)
                                : ColumnTimeMs(in.imageX, in.timeScaleMs, in.imageBeginMs);
      out.timeValue = TimeField(out.timeMs, HalfColumnMs(in.timeScaleMs));
    }
  }

  out.frequencyValue = kBlankTimeOrFrequency;
  if (in.inImage) {
    if (in.scopeDisplay) {
      out.frequencyHz = ScopeFrequency(in.rate, in.fftOrder, in.x, in.scopeOriginX);
    } else if (in.rightDrag) {
      out.frequencyHz = DragFrequencySpan(in.rate, in.fftOrder, in.anchorImageY, in.imageY);
    } else {
      out.frequencyHz = RowFrequency(in.rate, in.fftOrder, in.imageY);
    }
    out.frequencyValue = FrequencyField(out.frequencyHz, r);
  }
  return out;
}

ScopeScale ComputeScopeScale(uint32_t rate) {
  ScopeScale s;
  if (rate == 0) return s;
  const float perKhz = static_cast<float>(rate) * 0.00008333333f;
  s.stepKhz = static_cast<int>(perKhz);
  if (s.stepKhz < 1) s.stepKhz = 1;
  s.spacing = static_cast<float>(s.stepKhz) * 1024000.0f / static_cast<float>(rate);
  s.count = static_cast<int>(RoundHalfUpSigned(static_cast<float>(kScopeWidth) / s.spacing));
  return s;
}

std::vector<ScopeLabel> ComputeScopeLabels(int xOrigin, int baselineY, uint32_t rate, int charWidth,
                                           int charHeight) {
  std::vector<ScopeLabel> labels;
  const ScopeScale s = ComputeScopeScale(rate);
  const int frequencyY = baselineY + charHeight / 2;
  const float firstX = static_cast<float>(xOrigin) - static_cast<float>(charWidth) / 2.0f;
  for (int i = 0; i < s.count; ++i) {
    const float x = firstX + static_cast<float>(i) * s.spacing;
    labels.push_back({static_cast<int>(x), frequencyY, std::to_string(i * s.stepKhz)});
  }
  if (s.count > 0) labels.push_back({xOrigin - 3 * charWidth + kScopeWidth, frequencyY, "kHz"});
  const int levelX = static_cast<int>(static_cast<float>(xOrigin) - 4.5f * static_cast<float>(charWidth));
  for (int n = 0; n < kLevelLabelCount; ++n) {
    const int db = -75 + 15 * n;
    labels.push_back({levelX, baselineY - charHeight / 2 - kScopePixelsPer15Db * n, std::to_string(db)});
  }
  return labels;
}

std::vector<ScopeGridPiece> ComputeScopeGrid(int xOrigin, int baselineY, uint32_t rate) {
  std::vector<ScopeGridPiece> pieces;
  const ScopeScale s = ComputeScopeScale(rate);
  if (s.count <= 0) return pieces;
  const int d = static_cast<int>(RoundHalfUpSigned(s.spacing));
  for (int j = 0; j < s.count; ++j) {
    const int x = xOrigin + j * d;
    for (int n = 0; n < kLevelLabelCount; ++n) {
      const int y = baselineY - kScopePixelsPer15Db * n;
      pieces.push_back({x, y - kMarkerCentre, 1, n == 0 ? kMarkerHalfArm : kMarkerArm, kMarkerCentre, 0});
      if (j == 0) {
        pieces.push_back({x, y, kMarkerHalfArm, 1, kMarkerCentre, kMarkerCentre});
      } else {
        pieces.push_back({x - kMarkerCentre, y, kMarkerArm, 1, 0, kMarkerCentre});
      }
    }
  }
  return pieces;
}

}  // namespace hl
