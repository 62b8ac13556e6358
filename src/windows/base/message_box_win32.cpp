#include "windows/base/message_box_win32.h"

#include "windows/base/window_state_win32.h"

namespace hl {

int ShowMessage(HWND owner, const char* text, UINT icon) {
  return MessageBoxA(owner, text, kCaption, MB_OK | icon);
}

void ShowProgramMessage(HWND window, Message message) {
  ShowMessage(window, MessageText(message),
              MessageIconOf(message) == MessageIcon::Hand ? MB_ICONHAND : MB_ICONEXCLAMATION);
}

}  // namespace hl
