#include "core/layout/view_layout.h"

#include <algorithm>
#include <cstdint>

#include "core/base/limits.h"
#include "core/layout/grid_layout.h"

namespace hl {

namespace {

constexpr int kDefaultImageHeight = 300;

int Clamp(int value, int low, int high) {
  if (value < low) return low;
  if (value > high) return high;
  return value;
}

int HalfFftLength(int fftOrder) {
  if (fftOrder < 1) fftOrder = 1;
  if (fftOrder > 16) fftOrder = 16;
  return (1 << fftOrder) / 2;
}

// The button block keeps its distance from the right edge, drifting left by a sixth of the
// width gained over 82 C.
int ButtonBlockX(int windowWidth, int c) { return windowWidth - (39 * c) / 2 - (windowWidth - 82 * c) / 6; }

}  // namespace

int TextMinimumWidth(const ScreenMetrics& m, const TextWidths& measured, int from, int maxWidth) {
  if (measured.value <= 0) return from;
  const int scrollBar = ComputeWindowSizes(m).scrollBarThickness;
  for (int width = from; width < maxWidth; ++width) {
    // Only the x positions matter here; the panel's height and values do not.
    const InfoPanelLayout p = PlaceInfoPanel(width, 0, scrollBar, m.charWidth, m.charHeight, measured, 0, 0, 0);
    if (p.x + p.width + m.charWidth <= ButtonBlockX(width, m.charWidth)) return width;
  }
  return maxWidth;
}

int MinimumWindowWidth(int charWidth, bool scrollDisplay) { return (scrollDisplay ? 82 : 90) * charWidth; }

int WindowHeightLimit(int defaultHeight, int screenHeight, int fftOrder) {
  const int limit = defaultHeight + HalfFftLength(fftOrder) - 256;
  return limit < screenHeight - 8 ? limit : screenHeight - 8;
}

WindowSize FitWindow(const WindowFitInput& in) {
  const int defaultHeight = in.sizes.defaultHeight;
  const int limit = WindowHeightLimit(defaultHeight, in.screenHeight, in.fftOrder);
  int height = in.height;
  if (height > limit) height = limit;
  if (height < defaultHeight || in.fftOrder <= 9) height = defaultHeight;

  const int minimum = std::max(MinimumWindowWidth(in.charWidth, in.scrollDisplay), in.textMinimumWidth);
  int width = in.width;
  if (width < minimum || (in.pinScopeWidth && !in.scrollDisplay)) width = minimum;
  if (width > in.sizes.maxWidth) width = in.sizes.maxWidth;
  return {width, height};
}

ChildLayout ResizedChildLayout(const ScreenMetrics& m, int windowWidth, int windowHeight, int clientWidth) {
  const WindowSizes s = ComputeWindowSizes(m);
  const int c = m.charWidth;
  ChildLayout l;
  l.imageAreaWidth = clientWidth - s.scrollBarThickness;
  l.imageAreaHeight = windowHeight - s.defaultHeight + kDefaultImageHeight;
  l.horizontalScrollBar = {0, l.imageAreaHeight, l.imageAreaWidth, s.scrollBarThickness};
  l.verticalScrollBar = {l.imageAreaWidth, 0, s.scrollBarThickness, l.imageAreaHeight};
  const int x = ButtonBlockX(windowWidth, c);
  const int y = s.scrollBarThickness + m.charHeight / 2 + l.imageAreaHeight + 2;
  l.play = {x, y, 6 * c, s.buttonHeight};
  l.playWindow = {x + 6 * c, y, 11 * c, s.buttonHeight};
  l.toggleGrid = {x, y + s.buttonHeight, 17 * c, s.buttonHeight};
  l.stop = {x, y + 2 * s.buttonHeight, 17 * c, s.buttonHeight};
  return l;
}

int KeepFraction(int oldOffset, int oldRange, int newRange) {
  if (newRange <= 0) return 0;
  if (oldRange <= 0) return 0;
  const int64_t kept = (static_cast<int64_t>(Clamp(oldOffset, 0, oldRange)) * newRange + oldRange / 2) / oldRange;
  return Clamp(static_cast<int>(kept), 0, newRange);
}

ScrollAxis HorizontalAfterResize(const ScrollAxis& old, int columnCount, int imageWidth, bool rendering,
                                 int renderColumn) {
  ScrollAxis now;
  now.scrollable = columnCount > imageWidth;
  now.range = now.scrollable ? columnCount - imageWidth : 0;
  if (rendering) {
    now.offset = Clamp(renderColumn - imageWidth, 0, now.range);
  } else {
    now.offset = KeepFraction(old.offset, old.range, now.range);
  }
  return now;
}

ScrollAxis VerticalAfterResize(const ScrollAxis& old, int fftOrder, int imageHeight) {
  ScrollAxis now;
  now.range = HalfFftLength(fftOrder) - imageHeight + kMarginRows;
  if (now.range < 0) now.range = 0;
  now.scrollable = now.range > 0;
  // A view that could not scroll showed the bottom rows; it keeps showing them.
  now.offset = old.range <= 0 ? now.range : KeepFraction(old.offset, old.range, now.range);
  return now;
}

int ScrollTo(int offset, int range, ScrollRequest request, int thumb) {
  int target = offset;
  switch (request) {
    case ScrollRequest::LineBack: target = offset - kScrollLine; break;
    case ScrollRequest::LineForward: target = offset + kScrollLine; break;
    case ScrollRequest::PageBack: target = offset - kScrollPage; break;
    case ScrollRequest::PageForward: target = offset + kScrollPage; break;
    case ScrollRequest::Thumb: target = thumb; break;
    case ScrollRequest::None: break;
  }
  return Clamp(target, 0, range < 0 ? 0 : range);
}

}  // namespace hl
