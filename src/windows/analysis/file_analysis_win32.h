// State and helpers shared by "&Analyze File", "&Change", "&Restore" and the save commands.
#pragma once

#include <windows.h>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "core/base/messages.h"
#include "windows/view/view_win32.h"

namespace hl {

// Shows one of the program's messages, with its icon, in a box owned by `window`.
void ShowProgramMessage(HWND window, Message message);

// The window's image area, in pixels.
int ImageAreaWidth();
int ImageAreaHeight();

}  // namespace hl
