// State and helpers shared by "&Analyze File", "&Change", "&Restore" and the save commands.
#pragma once

#include <windows.h>

#include "app/analysis_settings.h"
#include "app/analysis_win32.h"
#include "common/messages.h"
#include "display/view_win32.h"

namespace hl {

// Shows one of the program's messages, with its icon, in a box owned by `window`.
void ShowProgramMessage(HWND window, Message message);

// The window's image area, in pixels.
int ImageAreaWidth();
int ImageAreaHeight();

}  // namespace hl
