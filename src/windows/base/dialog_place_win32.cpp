#include "windows/base/dialog_place_win32.h"

#include "core/layout/window_layout.h"

namespace hl {

void PlaceDialog(HWND dialog, int screenWidth, int screenHeight, UINT flags) {
  RECT r;
  GetWindowRect(dialog, &r);
  const DialogPlace place = DialogPlaceOnScreen(screenWidth, screenHeight, r.right - r.left, r.bottom - r.top);
  SetWindowPos(dialog, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | flags);
}

}  // namespace hl
