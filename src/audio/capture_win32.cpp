#include "audio/capture_win32.h"

#include "app/commands_win32.h"

namespace hl {

// Not built yet.
LRESULT OnWaveInData(HWND, WPARAM, LPARAM) { return 0; }
LRESULT OnWaveInClose(HWND, WPARAM, LPARAM) { return 0; }
void StopCaptureDevice() {}
void OnScanAudio(HWND, LPARAM) {}
void OnRecordAudio(HWND, LPARAM) {}

}  // namespace hl
