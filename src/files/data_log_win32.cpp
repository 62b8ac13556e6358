#include "files/data_log_win32.h"

#include "app/commands_win32.h"

namespace hl {

// Not built yet.
HWND OpenDataLogDialog() { return nullptr; }
void OnLogPoints(HWND, LPARAM) {}
void OnLogSpectrum(HWND, LPARAM) {}

}  // namespace hl
