#include "windows/base/window_state_win32.h"

namespace hl {

WindowFontIn::WindowFontIn(HDC dc) : dc_(dc) {
  if (MainWindow().font) previous_ = SelectObject(dc, MainWindow().font);
}

WindowFontIn::~WindowFontIn() {
  if (previous_) SelectObject(dc_, previous_);
}


void AddModelessDialog(HWND dialog) {
  for (HWND& slot : MainWindow().modelessDialogs) {
    if (!slot) {
      slot = dialog;
      return;
    }
  }
}

void RemoveModelessDialog(HWND dialog) {
  for (HWND& slot : MainWindow().modelessDialogs) {
    if (slot == dialog) slot = nullptr;
  }
}

bool IsModelessDialogMessage(MSG* message) {
  for (HWND dialog : MainWindow().modelessDialogs) {
    if (dialog && IsDialogMessageW(dialog, message)) return true;
  }
  return false;
}

void DrainMessageQueue() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (IsModelessDialogMessage(&message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace hl
