// Sizes and positions of the main window and its children, from the screen's metrics.
// C is the font's average character width, all values in pixels.
#pragma once

#include <cstdint>

namespace hl {

struct ScreenMetrics {
  int captionHeight;  // SM_CYCAPTION
  int screenWidth, screenHeight;
  int charHeight;  // tmHeight of the window's font
  int charWidth;   // tmAveCharWidth: C
};

struct WindowSizes {
  int scrollBarThickness;  // 2 C
  int defaultWidth;        // 82 C
  int maxWidth;            // screen width - 2 C
  int defaultHeight;       // 5 char heights + 2 captions + 308 + 2 C; also the minimum height
  int buttonHeight;        // 4/3 of a character height
};

WindowSizes ComputeWindowSizes(const ScreenMetrics& metrics);

struct Rect {
  int x, y, width, height;
  bool operator==(const Rect& o) const { return x == o.x && y == o.y && width == o.width && height == o.height; }
};

// The window centred on the screen, never placed at a negative position.
Rect CentredWindow(const ScreenMetrics& metrics, int width, int height);

constexpr int kInitialImageAreaHeight = 300;

// The widest texts under the image in the window's font, in pixels (0: not measured, the
// character-cell positions alone): the status block's titles, labels and values, and the
// information panel's labels and values.
struct TextWidths {
  int title = 0, label = 0, value = 0;
  int panelLabel = 0, panelValue = 0;
};

// The room left after a measured text before the next one: half a character.
constexpr int TextGap(int charWidth) { return charWidth / 2 > 0 ? charWidth / 2 : 1; }

struct ChildLayout {
  int imageAreaWidth, imageAreaHeight;
  Rect horizontalScrollBar, verticalScrollBar;
  Rect play, playWindow, toggleGrid, stop;
};

// Where the create step puts the children: the image area is the client width less the
// vertical scroll bar, the buttons sit in a block below it, right-aligned to the window.
ChildLayout InitialChildLayout(const ScreenMetrics& metrics, int windowWidth, int clientWidth);

// --- Dialogs ---------------------------------------------------------------------------------

struct DialogPlace {
  int32_t x, y;
};
// The program's dialogs: centred horizontally (0 if negative) and 30 pixels above
// the vertical centre, or at 0 when the centred top is below 30.
DialogPlace DialogPlaceOnScreen(int32_t screenWidth, int32_t screenHeight, int32_t dialogWidth, int32_t dialogHeight);

// A scroll bar's new value for a WM_HSCROLL code: 0 and 2 subtract 1, 1 and 3 add 1, 4 and
// 5 take the thumb position; the result is held in 0..maximum. Other codes leave the value
// (changed = false).
struct BarValue {
  int32_t value;
  bool changed;
};
BarValue ScrollBarValue(int code, int32_t thumb, int32_t current, int32_t maximum);

}  // namespace hl
