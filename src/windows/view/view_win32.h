// The display bitmap and the window's view of it: painting, resizing, scrolling, the grid
// and the information panel.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/layout/grid_layout.h"
#include "core/dsp/column_renderer.h"

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

// Creates the display bitmap (released first when one exists), with its memory DC and the
// current palette as colour table; false when it cannot be created. The pixels are not
// initialised. The existence flags of OperatingMode and MainWindowState are the caller's
// to set.
bool CreateDisplayBitmap(HWND window, int width, int height);
void DestroyDisplayBitmap();

// Rewrites the display bitmap's colour table from the current palette entries.
void UpdateDisplayColourTable();

// The values the information panel last drew.
struct InfoPanelValues {
  uint32_t sampleRate = 0;
  int bitsPerSample = 0;
  uint32_t dataLength = 0;
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

// Copies the view to `dc`: frequency rows from vertical offset + 44 at the horizontal
// offset to window row 44 on, then the 44-row margin to rows 0..43.
void CopyView(HDC dc);

// Redraws the image area through a fresh window DC; with `withGrid` the grid too when on.
void RedrawView(HWND window, bool withGrid);

// The grid of crosses with its second and kHz labels, into the window (wholeBitmap false)
// or over the whole display bitmap's DC (true).
void DrawGrid(HDC dc, bool wholeBitmap);

// The information panel below the image: resolution, sample rate and sample length. The
// values are kept, and painting shows the panel again with the last ones drawn.
void DrawInfoPanel(HWND window, uint32_t sampleRate, int bitsPerSample, uint32_t dataLength);

// The values the panel shows (View().infoPanel).
InfoPanelValues& ShownInfoPanel();

// Where the panel stands in the window now, placed for the measured texts (PlaceInfoPanel),
// with the values of `sampleRate`, `bitsPerSample` and `dataLength`.
InfoPanelLayout CurrentInfoPanel(uint32_t sampleRate, int bitsPerSample, uint32_t dataLength);

// The panel drawn into `dc`, the window's DC (painting uses its paint DC).
void DrawInfoPanelInto(HDC dc, uint32_t sampleRate, int bitsPerSample, uint32_t dataLength);

// Row 43 (palette index 1) and row 21 (index 2) from x 0 to `width`: the margin's lines
// where the image has no columns of its own.
void DrawMarginLines(HDC dc, int width);

// Window messages of the view.
LRESULT OnPaint(HWND window);
LRESULT OnSize(HWND window);
LRESULT OnHorizontalScroll(HWND window, WPARAM wParam);
LRESULT OnVerticalScroll(HWND window, WPARAM wParam);

}  // namespace hl
