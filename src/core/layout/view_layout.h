// The arithmetic of the window's view of the time–frequency image: how big the window may
// be for an FFT size, where the image area, scroll bars and buttons go when it is resized,
// and how far the two scroll bars move the view.
#pragma once

#include "core/layout/window_layout.h"

namespace hl {

// Narrowest window: 82 C in the "Scroll" display, 90 C otherwise ("Scope" needs room for
// its axis).
int MinimumWindowWidth(int charWidth, bool scrollDisplay);

// The narrowest window, at least `from` and at most `maxWidth`, whose texts under the image
// fit beside each other: the information panel (PlaceInfoPanel with `measured`) ends a
// character left of the button block. `from` when nothing was measured.
int TextMinimumWidth(const ScreenMetrics& metrics, const TextWidths& measured, int from, int maxWidth);

// Tallest window: the default height plus N / 2 - 256 rows, so that every frequency row of
// a 1024- or 2048-point image can be shown at once, but at most the screen height - 8.
int WindowHeightLimit(int defaultHeight, int screenHeight, int fftOrder);

struct WindowFitInput {
  int width = 0, height = 0;  // the window's outer size now
  WindowSizes sizes{};        // default height (also the minimum), maximum width
  int charWidth = 0;
  int textMinimumWidth = 0;  // TextMinimumWidth: the width below which the texts collide
  int screenHeight = 0;
  int fftOrder = 9;
  bool scrollDisplay = true;
  // Painting also pins the width to the minimum in "Scope"; resizing does not.
  bool pinScopeWidth = false;
};

struct WindowSize {
  int width, height;
  bool operator==(const WindowSize& o) const { return width == o.width && height == o.height; }
};

// The size the window is held to: the height between the default height and the limit
// (exactly the default for 512 points), the width at least the minimum and at most the
// maximum width. When the screen is so small that the limit is below the default height,
// the default height wins: the panel under the image must fit.
WindowSize FitWindow(const WindowFitInput& in);

// The children after a resize. The image area is as wide as the client area less the
// vertical scroll bar and grows with the window from 300 rows at the default height; the
// button block keeps its distance from the right edge, drifting left by a sixth of the
// width gained. `windowWidth` and `windowHeight` are the outer size, `clientWidth` the
// client area's width.
ChildLayout ResizedChildLayout(const ScreenMetrics& metrics, int windowWidth, int windowHeight, int clientWidth);

// One scroll bar's state.
struct ScrollAxis {
  int offset = 0;
  int range = 0;
  bool scrollable = false;
  bool operator==(const ScrollAxis& o) const {
    return offset == o.offset && range == o.range && scrollable == o.scrollable;
  }
};

// old offset / old range of the way along, carried to a new range: offset x new / old
// rounded to the nearest column (a half goes up), computed exactly in integers so that an
// unchanged range keeps the offset. Always within 0..newRange.
int KeepFraction(int oldOffset, int oldRange, int newRange);

// The horizontal bar after a resize: range = columns - image width when the image is wider
// than the image area, else 0 and not scrollable. The offset keeps its fraction (0 from a
// range of 0), except while rendering, when it follows the column being drawn:
// renderColumn - image width, not below 0.
ScrollAxis HorizontalAfterResize(const ScrollAxis& old, int columnCount, int imageWidth, bool rendering,
                                 int renderColumn);

// The vertical bar after a resize or a new FFT size: range = N / 2 - image height + 44
// (never below 0), scrollable when above 0. The offset keeps its fraction; from a range of
// 0 it goes to the new range, which shows the lowest frequencies.
ScrollAxis VerticalAfterResize(const ScrollAxis& old, int fftOrder, int imageHeight);

enum class ScrollRequest { LineBack, LineForward, PageBack, PageForward, Thumb, None };

constexpr int kScrollLine = 4;
constexpr int kScrollPage = 100;

// The offset a scroll-bar action moves to: line 4, page 100, thumb to `thumb`, clamped
// to 0..range. None keeps the offset.
int ScrollTo(int offset, int range, ScrollRequest request, int thumb);

}  // namespace hl
