// Message boxes owned by the main window, with the program's caption.
#pragma once

#include <windows.h>

#include "core/base/messages.h"

namespace hl {

int ShowMessage(HWND owner, const char* text, UINT icon);

// A message of the table, with the icon the table gives it.
void ShowProgramMessage(HWND window, Message message);

}  // namespace hl
