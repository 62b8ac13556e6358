// Commands whose subsystems are not built yet: each is reached from the menu or a button
// and, for now, leaves everything as it is. A subsystem that implements one removes it here.
#include "app/commands_win32.h"
#include "display/view_win32.h"

namespace hl {

void OnPlay(HWND, LPARAM) {}
void OnPlayWindow(HWND, LPARAM) {}
// With no long operation yet there is nothing to stop; Escape while idle arrives here too.
void OnStop(HWND, LPARAM) {}
void OnAnalyzeFile(HWND, LPARAM) {}
void OnRecordAudio(HWND, LPARAM) {}
void OnParametersChange(HWND, LPARAM) {}
void OnParametersRestore(HWND, LPARAM) {}
void OnLogPoints(HWND, LPARAM) {}
void OnLogSpectrum(HWND, LPARAM) {}
void OnScanFile(HWND, LPARAM) {}
void OnScanAudio(HWND, LPARAM) {}
void OnSaveWave(HWND, LPARAM) {}
void OnSaveWindowBitmap(HWND, LPARAM) {}
void OnSaveEntireBitmap(HWND, LPARAM) {}
void OnFftSize512(HWND, LPARAM) {}
void OnFftSize1024(HWND, LPARAM) {}
void OnFftSize2048(HWND, LPARAM) {}

void ResetAudioDevicesForClose() {}
void ReleaseAnalysisForClose() {}
void BlankReadoutOutsideImage(HWND) {}

}  // namespace hl
