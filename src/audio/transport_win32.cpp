#include "audio/transport_win32.h"

#include "app/commands_win32.h"
#include "app/operating_mode.h"

namespace hl {

// Not built yet.
LRESULT OnWaveOutDone(HWND, WPARAM, LPARAM) { return 0; }
void OnPlay(HWND, LPARAM) {}
void OnPlayWindow(HWND, LPARAM) {}
void OnScanFile(HWND, LPARAM) {}
void ResetAudioDevicesForClose() {}
void OnStop(HWND, LPARAM) { Mode().stopRequest = 1; }

}  // namespace hl
