#include "windows/base/display_state_win32.h"

#include "windows/base/handles_win32.h"
#include "windows/base/window_state_win32.h"

namespace hl {



void DisplayBitmap::Destroy() {
  if (!exists()) return;
  if (dc) {
    // Leave the program palette free before the DC goes.
    SelectPalette(dc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
    SelectObject(dc, previousBitmap);
    DeleteDC(dc);
  }
  DeleteObject(bitmap);
  --AllocationCount();
  bitmap = nullptr;
  previousBitmap = nullptr;
  dc = nullptr;
  bits = nullptr;
  width = height = stride = 0;
}

void DisplayBitmap::TakeFrom(DisplayBitmap& other) {
  bitmap = other.bitmap;
  previousBitmap = other.previousBitmap;
  dc = other.dc;
  bits = other.bits;
  width = other.width;
  height = other.height;
  stride = other.stride;
  other.bitmap = nullptr;
  other.previousBitmap = nullptr;
  other.dc = nullptr;
  other.bits = nullptr;
  other.width = other.height = other.stride = 0;
}

int ImageAreaWidth() {
  const int width = View().imageWidth;
  return width > 0 ? width : MainWindow().layout.imageAreaWidth;
}

int ImageAreaHeight() {
  const int height = View().imageHeight;
  return height > 0 ? height : MainWindow().layout.imageAreaHeight;
}

}  // namespace hl
