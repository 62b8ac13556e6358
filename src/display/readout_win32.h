// The status block under the image: the cursor readouts and the mouse gestures on the image
// (left-drag selection, right-drag measurement, the click handed to an open data-log dialog).
#pragma once

#include <windows.h>

namespace hl {

// The values the readout last showed, in the units the status block shows them.
struct ReadoutValues {
  unsigned timeMs = 0;       // the time row's value, msec
  unsigned frequencyHz = 0;  // the frequency row's value, Hz
  int column = 0;            // the cursor's column of the display bitmap (x + horizontal offset)
};
const ReadoutValues& CurrentReadout();

// WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN and WM_RBUTTONUP.
LRESULT OnMouseMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace hl
