// The two data-log commands, "Log Data > &Points" and "Log Data > &Spectrum", and their
// modeless dialogs.
#pragma once

#include <windows.h>

namespace hl {

// The open data-log dialog (points or spectrum), or nullptr when none is open. The main
// window's left-button handler sends it WM_COMMAND 1062 after updating the readouts.
HWND OpenDataLogDialog();

}  // namespace hl
