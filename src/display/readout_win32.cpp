#include "display/readout_win32.h"

#include "app/commands_win32.h"
#include "display/scope_axes_win32.h"

namespace hl {

// The mouse does nothing over the image yet.
const ReadoutValues& CurrentReadout() {
  static ReadoutValues values;
  return values;
}
LRESULT OnMouseMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }
void BlankReadoutOutsideImage(HWND) {}
void SetReadoutActivity(ReadoutActivity) {}
void DrawReadout(HWND, int, int) {}
void DrawReadoutElapsed(HWND, float) {}
void RepaintReadout(HDC) {}
void DrawScopeAxes(HDC, int, int, uint32_t, int, int) {}
void DrawScopeGrid(HDC, int, int, uint32_t) {}

}  // namespace hl
