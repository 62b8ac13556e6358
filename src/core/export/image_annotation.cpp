#include "core/export/image_annotation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/image/bitmap_font.h"

namespace hl {

namespace {

constexpr int kMarkerArm = 5;  // pixels of a cross on each side of its centre
constexpr int kTick = 4;
constexpr int kGap = 3;
constexpr int kLine = kGlyphHeight + 3;  // one line of text with its leading
constexpr int kBarWidth = 12;
constexpr int kFullScaleLevel = 393;
constexpr int kLevelUnitsPerDb = 4;

void Put(PaletteImage& image, int x, int y, uint8_t index) {
  if (x >= 0 && x < image.width && y >= 0 && y < image.height) image.Row(y)[x] = index;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  std::string s = text;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

// The smallest of 1, 2, 5 x 10^k (and 15, 30 for times in seconds) at least `least`.
double NiceStep(double least, bool sexagesimal) {
  static const double kMantissas[] = {1, 2, 5};
  static const double kSeconds[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600};
  if (sexagesimal && least >= 1) {
    for (double s : kSeconds) {
      if (s >= least) return s;
    }
    return std::ceil(least / 3600) * 3600;
  }
  double decade = std::pow(10.0, std::floor(std::log10(least)));
  for (;; decade *= 10) {
    for (double m : kMantissas) {
      if (m * decade >= least) return m * decade;
    }
  }
}

}  // namespace

GridInputs WholePictureGrid(const PaletteImage& picture, int columns, float timeScaleMs, float imageStartMs,
                            int32_t sampleRate, int fftOrder) {
  GridInputs in;
  in.bitmapExists = true;
  in.wholeBitmap = true;
  in.timeScaleMs = timeScaleMs;
  in.imageStartMs = imageStartMs;
  in.sampleRate = sampleRate;
  in.fftOrder = fftOrder;
  in.verticalScrollOn = fftOrder > 9;
  in.width = columns;
  in.height = picture.height;
  in.charWidth = kGridCharWidth;
  in.charHeight = kGridCharHeight;
  return in;
}

void DrawGridInto(PaletteImage& picture, const GridLayout& grid) {
  for (const GridLabel& label : grid.labels) DrawText(picture, label.x, label.y, label.text, kIndexMarker);
  for (const GridPoint& p : grid.crosses) {
    for (int d = -kMarkerArm; d <= kMarkerArm; ++d) {
      Put(picture, p.x, p.y + d, kIndexMarker);
      Put(picture, p.x + d, p.y, kIndexMarker);
    }
  }
}

double IndexToDb(int index, int16_t correction) {
  return static_cast<double>(index + 100 - correction - kFullScaleLevel) / kLevelUnitsPerDb;
}

namespace {

// Where the plot sits in the framed picture, and the frequency rows' scale.
struct AxesFrame {
  int left = 0, top = 0, width = 0;  // the plot's corner; the framed picture's width
  int rows = 0;                      // frequency rows, bin 0 at the bottom
  int bottomRow = 0;                 // the framed picture's row of bin 0
  double hzPerRow = 0, khzStep = 0, topKhz = 0;
};

// Time axis below the plot: ticks at the first column and every `step` seconds of the
// image's own time (column x is at start + x ts).
void DrawTimeAxis(PaletteImage& out, const PaletteImage& picture, const AxesInputs& in, const AxesFrame& f) {
  const int axisY = f.top + picture.height;
  const double columnsPerSecond = 1000.0 / in.timeScaleMs;
  const double startS = in.imageStartMs / 1000.0;
  const double endS = startS + picture.width / columnsPerSecond;
  const double widest = TextWidth(Number(endS)) + 4.0 * kGlyphAdvance;
  const double secondStep = NiceStep(std::max(widest / columnsPerSecond, 0.001), true);
  for (double t = std::ceil(startS / secondStep - 1e-9) * secondStep; t <= endS; t += secondStep) {
    const int x = f.left + static_cast<int>(std::lround((t - startS) * columnsPerSecond));
    if (x >= f.left + picture.width) break;
    for (int d = 0; d < kTick; ++d) Put(out, x, axisY + d, kIndexMarker);
    const std::string label = Number(t);
    const int lx = std::max(0, std::min(x - TextWidth(label) / 2, f.width - TextWidth(label)));
    DrawText(out, lx, axisY + kTick + kGap, label, kIndexMarker);
  }
  const std::string timeCaption = "time (s)";
  DrawText(out, f.left + (picture.width - TextWidth(timeCaption)) / 2, axisY + kTick + kGap + kLine, timeCaption,
           kIndexMarker);
}

// Frequency axis on the left, along the frequency rows: bin b is row height - 1 - b.
void DrawFrequencyAxis(PaletteImage& out, const AxesFrame& f) {
  for (double khz = 0; khz <= f.topKhz + 1e-9; khz += f.khzStep) {
    const int y = f.bottomRow - static_cast<int>(std::lround(khz * 1000.0 / f.hzPerRow));
    if (y < f.top + kMarginRows) break;
    for (int d = 1; d <= kTick; ++d) Put(out, f.left - d, y, kIndexMarker);
    const std::string label = Number(khz);
    DrawText(out, f.left - kTick - kGap - TextWidth(label), y - kGlyphHeight / 2, label, kIndexMarker);
  }
  DrawText(out, f.left - kTick - kGap - TextWidth("kHz"), f.top + kMarginRows - kLine - 2, "kHz", kIndexMarker);
}

// Colour bar on the right over the frequency rows: floor index 3 at the bottom up to 235,
// with ticks every 10 dB over the indices the ramp shows.
void DrawColourBar(PaletteImage& out, int pictureWidth, const AxesInputs& in, const AxesFrame& f) {
  const int rows = f.rows;
  const int barX = f.left + pictureWidth + 3 * kGap;
  const int barTop = f.top + kMarginRows;
  const int span = kIndexTop - kIndexFloor;
  auto rowOfIndex = [&](int index) { return f.bottomRow - (index - kIndexFloor) * (rows - 1) / span; };
  for (int r = 0; r < rows; ++r) {
    const int index = kIndexFloor + (rows > 1 ? (rows - 1 - r) * span / (rows - 1) : 0);
    std::fill_n(out.Row(barTop + r) + barX, kBarWidth, static_cast<uint8_t>(index));
  }
  const double lowDb = IndexToDb(kIndexFloor, in.correction), highDb = IndexToDb(kIndexTop, in.correction);
  const double dbStep = rows >= 200 ? 10 : 20;
  for (double db = std::ceil(lowDb / dbStep) * dbStep; db <= highDb; db += dbStep) {
    const int index = static_cast<int>(std::lround(db * kLevelUnitsPerDb + kFullScaleLevel - 100 + in.correction));
    const int y = rowOfIndex(index);
    for (int d = 0; d < kTick; ++d) Put(out, barX + kBarWidth + d, y, kIndexMarker);
    DrawText(out, barX + kBarWidth + kTick + kGap, y - kGlyphHeight / 2, Number(db), kIndexMarker);
  }
  DrawText(out, barX, barTop - kLine - 2, "dB", kIndexMarker);
}

}  // namespace

bool ComposeWithAxes(const PaletteImage& picture, const AxesInputs& in, AxesPicture& framed) {
  if (picture.width <= 0 || picture.height <= kMarginRows || !(in.timeScaleMs > 0) || in.sampleRate <= 0) {
    return false;
  }
  AxesFrame f;
  f.rows = picture.height - kMarginRows;
  f.hzPerRow = static_cast<double>(in.sampleRate) / (1 << in.fftOrder);

  // Labels of the frequency axis and the colour bar decide the side margins.
  f.khzStep = NiceStep(std::max(0.001, 2.0 * kLine * f.hzPerRow / 1000.0), false);
  f.topKhz = f.rows * f.hzPerRow / 1000.0;
  int leftLabel = TextWidth("kHz");
  for (double khz = 0; khz <= f.topKhz; khz += f.khzStep) leftLabel = std::max(leftLabel, TextWidth(Number(khz)));
  f.left = kGap + leftLabel + kGap + kTick;
  const int barLabel = TextWidth("-100");
  const int right = kGap * 3 + kBarWidth + kTick + kGap + std::max(barLabel, TextWidth("dB")) + kGap;
  f.top = kLine + kGap;
  const int bottom = kTick + kGap + kLine + kLine;

  f.width = (f.left + picture.width + right + 3) / 4 * 4;
  const int height = f.top + picture.height + bottom;
  if (!PrepareImage(framed.image, f.width, height)) return false;
  PaletteImage& out = framed.image;
  for (int y = 0; y < height; ++y) std::fill_n(out.Row(y), f.width, kIndexFloor);
  framed.plotX = f.left;
  framed.plotY = f.top;
  for (int y = 0; y < picture.height; ++y) std::memcpy(out.Row(f.top + y) + f.left, picture.Row(y), picture.width);
  f.bottomRow = f.top + picture.height - 1;

  // Title, cut to the width it has.
  std::string title = in.title;
  while (!title.empty() && TextWidth(title) > f.width - 2 * kGap) title.pop_back();
  DrawText(out, kGap, kGap - 1, title, kIndexMarker);

  DrawTimeAxis(out, picture, in, f);
  DrawFrequencyAxis(out, f);
  DrawColourBar(out, picture.width, in, f);
  return true;
}

}  // namespace hl
