// The dialog of "&Scan File".
#pragma once

#include <windows.h>

#include <cstdint>

namespace hl {

// Runs dialog 104 "Scan Wave File" for `rate`; true on OK, with the choices in the settings
// and the edit's rate in `rate` (0 when it held no number).
bool RunScanDialog(HWND window, uint32_t& rate);

}  // namespace hl
