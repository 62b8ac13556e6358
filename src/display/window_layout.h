// Sizes and positions of the main window and its children, from the screen's metrics.
// C is the font's average character width, all values in pixels.
#pragma once

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

struct ChildLayout {
  int imageAreaWidth, imageAreaHeight;
  Rect horizontalScrollBar, verticalScrollBar;
  Rect play, playWindow, toggleGrid, stop;
};

// Where the create step puts the children: the image area is the client width less the
// vertical scroll bar, the buttons sit in a block below it, right-aligned to the window.
ChildLayout InitialChildLayout(const ScreenMetrics& metrics, int windowWidth, int clientWidth);

}  // namespace hl
