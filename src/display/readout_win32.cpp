#include "display/readout_win32.h"

#include "app/commands_win32.h"

namespace hl {

// Not built yet: the mouse does nothing over the image.
const ReadoutValues& CurrentReadout() {
  static ReadoutValues values;
  return values;
}
LRESULT OnMouseMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }

void BlankReadoutOutsideImage(HWND) {}

}  // namespace hl
