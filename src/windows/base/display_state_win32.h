// The display bitmap (the time–frequency image as the window shows it, palette indices in
// a DIB section) and the view's state: what part of it the window shows and what the
// information panel and the scope last showed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/image/palette_image.h"

namespace hl {

// The off-screen time–frequency image: an 8-bit DIB section holding palette indices, top row
// first, selected into its own memory DC. Its colour table is the current palette, so a new
// scheme or attenuation recolours it without recomputing anything.
//
// The bitmap has one owner (the view, or the analysis "&Change" set aside) and is destroyed
// with it; each one held is counted in AllocationCount() (CreateDisplayBitmap counts it
// in), so the close step's beep still means a leak.
class DisplayBitmap {
 public:
  DisplayBitmap() = default;
  ~DisplayBitmap() { Destroy(); }
  DisplayBitmap(const DisplayBitmap&) = delete;
  DisplayBitmap& operator=(const DisplayBitmap&) = delete;
  DisplayBitmap(DisplayBitmap&& other) noexcept { TakeFrom(other); }
  DisplayBitmap& operator=(DisplayBitmap&& other) noexcept {
    if (this != &other) {
      Destroy();
      TakeFrom(other);
    }
    return *this;
  }

  // The bitmap and its DC deleted and counted out; nothing for none held.
  void Destroy();

  bool exists() const { return bitmap != nullptr; }
  // The bitmap's pixels as an image the column renderer draws into.
  PaletteImage Image() const { return ImageOver(bits, width, height, stride); }

  HBITMAP bitmap = nullptr;
  HGDIOBJ previousBitmap = nullptr;
  HDC dc = nullptr;
  uint8_t* bits = nullptr;  // row y at bits + y * stride
  int width = 0;            // columns: at least the screen width
  int height = 0;           // N / 2 + 44
  int stride = 0;           // bytes per row, a multiple of 4

 private:
  void TakeFrom(DisplayBitmap& other);
};

DisplayBitmap& Display();

// The values the information panel last drew.
struct InfoPanelValues {
  uint32_t sampleRate = 0;
  int bitsPerSample = 0;
  uint32_t dataLength = 0;
  std::string coding;  // a compressed file's, shown in the first row instead of the resolution
};

// Where DrawScopeAxes last put the "Scope" display (known once it has been called).
struct ScopePlacement {
  bool known = false;
  int xOrigin = 0, baselineY = 0;
  uint32_t sampleRate = 0;
};

// The window's view of the bitmap, and what it shows around it.
struct ViewState {
  int imageWidth = 0;   // client width - scroll-bar thickness
  int imageHeight = 300;
  int horizontalOffset = 0;  // first bitmap column shown
  int horizontalRange = 0;
  bool horizontallyScrollable = false;
  int verticalOffset = 0;  // first frequency row shown below the 44-row margin
  int verticalRange = 0;
  bool verticallyScrollable = false;
  float verticalFraction = 1.0f;  // kept across resizes and FFT-size changes
  bool gridOnScreen = false;
  int renderColumn = 0;  // the column being drawn while an analysis renders
  bool fittingWindow = false;  // the size handler is moving the window: its own WM_SIZE waits
  InfoPanelValues infoPanel;
  ScopePlacement scope;
};

ViewState& View();

// The image area's size: the view's once the window is laid out, the layout's before.
int ImageAreaWidth();
int ImageAreaHeight();

}  // namespace hl
