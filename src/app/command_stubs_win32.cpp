// Commands whose subsystems are not built yet: each is reached from the menu or a button
// and, for now, leaves everything as it is. A subsystem that implements one removes it here.
#include "app/commands_win32.h"
#include "display/view_win32.h"

namespace hl {

void OnPlay(HWND, LPARAM) {}
void OnPlayWindow(HWND, LPARAM) {}
void OnRecordAudio(HWND, LPARAM) {}
void OnLogPoints(HWND, LPARAM) {}
void OnLogSpectrum(HWND, LPARAM) {}
void OnScanFile(HWND, LPARAM) {}
void OnScanAudio(HWND, LPARAM) {}

void ResetAudioDevicesForClose() {}
void BlankReadoutOutsideImage(HWND) {}

}  // namespace hl
