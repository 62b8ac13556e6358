// The display bitmap and the window's view of it: painting, resizing, scrolling, the grid
// and the information panel.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/layout/grid_layout.h"
#include "windows/base/display_state_win32.h"
#include "core/dsp/column_renderer.h"

namespace hl {


// Creates the display bitmap (released first when one exists), with its memory DC and the
// current palette as colour table; false when it cannot be created. The pixels are not
// initialised. The existence flags of OperatingMode and MainWindowState are the caller's
// to set.
bool CreateDisplayBitmap(HWND window, int width, int height);
void DestroyDisplayBitmap();

// Rewrites the display bitmap's colour table from the current palette entries.
void UpdateDisplayColourTable();


// Copies the view to `dc`: frequency rows from vertical offset + 44 at the horizontal
// offset to window row 44 on, then the 44-row margin to rows 0..43.
void CopyView(HDC dc);

// Redraws the image area through a fresh window DC; with `withGrid` the grid too when on.
void RedrawView(HWND window, bool withGrid);

// The grid of crosses with its second and kHz labels, into the window (wholeBitmap false)
// or over the whole display bitmap's DC (true).
void DrawGrid(HDC dc, bool wholeBitmap);

// The information panel below the image: resolution, sample rate and sample length. The
// values are kept, and painting shows the panel again with the last ones drawn. A compressed
// file's `coding` ("FLAC 24-bit", "MP3 192 kbit/s") takes the first row, across the label and
// value: it names the resolution too where the coding has one.
void DrawInfoPanel(HWND window, uint32_t sampleRate, int bitsPerSample, uint32_t dataLength,
                   const std::string& coding = std::string());

// The values the panel shows (View().infoPanel).
InfoPanelValues& ShownInfoPanel();

// Where the panel stands in the window now, placed for the measured texts (PlaceInfoPanel),
// with the values of `sampleRate`, `bitsPerSample` and `dataLength`.
InfoPanelLayout CurrentInfoPanel(uint32_t sampleRate, int bitsPerSample, uint32_t dataLength);

// The panel drawn into `dc`, the window's DC (painting uses its paint DC).
void DrawInfoPanelInto(HDC dc, uint32_t sampleRate, int bitsPerSample, uint32_t dataLength,
                       const std::string& coding);

// Row 43 (palette index 1) and row 21 (index 2) from x 0 to `width`: the margin's lines
// where the image has no columns of its own.
void DrawMarginLines(HDC dc, int width);

// Window messages of the view.
LRESULT OnPaint(HWND window);
LRESULT OnSize(HWND window);
LRESULT OnHorizontalScroll(HWND window, WPARAM wParam);
LRESULT OnVerticalScroll(HWND window, WPARAM wParam);

}  // namespace hl
