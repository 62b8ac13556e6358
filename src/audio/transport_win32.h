// Sound output: the "Play" and "Play Wdw" buttons, "Stop", "&Scan File", and the output
// device's MM_WOM_DONE.
#pragma once

#include <windows.h>

namespace hl {

// MM_WOM_DONE.
LRESULT OnWaveOutDone(HWND window, WPARAM wParam, LPARAM lParam);

}  // namespace hl
