// The dialog of "&Scan File".
#pragma once

#include <windows.h>

#include <cstdint>

namespace hl {

// Runs dialog 104 "Scan Wave File" for `rate`; true on OK, with the choices in the settings
// and the edit's rate in `rate` (0 when it held no number). "New" goes up to `fileRate`, the
// file's own rate, when that is above 44100 Hz. A file decoded to 16-bit samples has
// `decodedResolution` ("24 bit", "32 bit float", ...) shown in place of "16 bit", and no
// resolution choice; nullptr for 8- and 16-bit PCM and raw files.
bool RunScanDialog(HWND window, uint32_t& rate, uint32_t fileRate, const char* decodedResolution);

}  // namespace hl
