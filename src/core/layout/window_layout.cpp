#include "core/layout/window_layout.h"

namespace hl {

WindowSizes ComputeWindowSizes(const ScreenMetrics& m) {
  WindowSizes s;
  s.scrollBarThickness = 2 * m.charWidth;
  s.defaultWidth = 82 * m.charWidth;
  s.maxWidth = m.screenWidth - 2 * m.charWidth;
  s.defaultHeight = 5 * m.charHeight + 2 * m.captionHeight + 308 + 2 * m.charWidth;
  s.buttonHeight = (4 * m.charHeight) / 3;
  return s;
}

Rect CentredWindow(const ScreenMetrics& m, int width, int height) {
  int x = (m.screenWidth - width) / 2;
  int y = (m.screenHeight - height) / 2;
  return {x < 0 ? 0 : x, y < 0 ? 0 : y, width, height};
}

ChildLayout InitialChildLayout(const ScreenMetrics& m, int windowWidth, int clientWidth) {
  const WindowSizes s = ComputeWindowSizes(m);
  const int c = m.charWidth;
  ChildLayout l;
  l.imageAreaWidth = clientWidth - s.scrollBarThickness;
  l.imageAreaHeight = kInitialImageAreaHeight;
  l.horizontalScrollBar = {0, kInitialImageAreaHeight, l.imageAreaWidth, s.scrollBarThickness};
  l.verticalScrollBar = {l.imageAreaWidth, 0, s.scrollBarThickness, kInitialImageAreaHeight};
  const int row = s.scrollBarThickness + m.charHeight / 2 + l.imageAreaHeight + 2;
  const int x = windowWidth - 23 * c;
  l.play = {x, row, 6 * c, s.buttonHeight};
  l.playWindow = {x + 6 * c, row, 11 * c, s.buttonHeight};
  l.toggleGrid = {x, row + s.buttonHeight, 17 * c, s.buttonHeight};
  l.stop = {x, row + 2 * s.buttonHeight, 17 * c, s.buttonHeight};
  return l;
}

DialogPlace DialogPlaceOnScreen(int32_t screenWidth, int32_t screenHeight, int32_t dialogWidth, int32_t dialogHeight) {
  int32_t x = (screenWidth - dialogWidth) / 2;
  if (x < 0) x = 0;
  const int32_t centred = (screenHeight - dialogHeight) / 2;
  const int32_t y = centred < 30 ? 0 : centred - 30;
  return DialogPlace{x, y};
}

BarValue ScrollBarValue(int code, int32_t thumb, int32_t current, int32_t maximum) {
  int32_t value = current;
  switch (code) {
    case 0:
    case 2:
      value = current - 1;
      break;
    case 1:
    case 3:
      value = current + 1;
      break;
    case 4:
    case 5:
      value = thumb;
      break;
    default:
      return BarValue{current, false};
  }
  if (value < 0) value = 0;
  if (value > maximum) value = maximum;
  return BarValue{value, true};
}

}  // namespace hl
