// Sound input: "S&can Audio", "&Record Audio", and the input device's messages.
#pragma once

#include <windows.h>

namespace hl {

// MM_WIM_DATA and MM_WIM_CLOSE.
LRESULT OnWaveInData(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT OnWaveInClose(HWND window, WPARAM wParam, LPARAM lParam);

// "Stop" during a capture: waveInStop then waveInReset when an input device is open.
void StopCaptureDevice();

}  // namespace hl
