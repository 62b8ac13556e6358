// Handlers of the main window's commands, one per command id. Each takes the window and
// the command's lParam.
#pragma once

#include <windows.h>

namespace hl {

using CommandHandler = void (*)(HWND window, LPARAM lParam);

// Buttons.
void OnPlay(HWND window, LPARAM lParam);
void OnPlayWindow(HWND window, LPARAM lParam);
void OnStop(HWND window, LPARAM lParam);
void OnToggleGrid(HWND window, LPARAM lParam);
// File menu.
void OnAnalyzeFile(HWND window, LPARAM lParam);
void OnRecordAudio(HWND window, LPARAM lParam);
void OnParametersChange(HWND window, LPARAM lParam);
void OnParametersRestore(HWND window, LPARAM lParam);
void OnLogPoints(HWND window, LPARAM lParam);
void OnLogSpectrum(HWND window, LPARAM lParam);
void OnScanFile(HWND window, LPARAM lParam);
void OnScanAudio(HWND window, LPARAM lParam);
void OnSaveWave(HWND window, LPARAM lParam);
void OnSaveWindowBitmap(HWND window, LPARAM lParam);
void OnSaveEntireBitmap(HWND window, LPARAM lParam);
void OnExit(HWND window, LPARAM lParam);
// Sent internally: the FFT size.
void OnFftSize512(HWND window, LPARAM lParam);
void OnFftSize1024(HWND window, LPARAM lParam);
void OnFftSize2048(HWND window, LPARAM lParam);
// Colors and Help menus.
void OnColorsChange(HWND window, LPARAM lParam);
void OnHelpTopics(HWND window, LPARAM lParam);
void OnAbout(HWND window, LPARAM lParam);

// How "&Help Topics" opens the user guide: ShellExecute's "open" of the page, true when it
// opened. The end-to-end tests put a recorder in its place, so that no browser starts.
using DocumentOpener = bool (*)(HWND window, const char* path);
void SetDocumentOpener(DocumentOpener opener);  // nullptr: ShellExecute again

// The handler of a command id, or nullptr for an id the window ignores.
CommandHandler HandlerOf(int commandId);

// WM_COMMAND: runs the command's handler. A save or log command that arrives while an
// analysis is in progress or its columns are drawn (handled inside the render's message
// pump, posted while the menu and buttons still offered the image shown before) is kept and
// posted again once the window is no longer busy, instead of being refused.
void RunCommand(HWND window, int commandId, LPARAM lParam);

// What the window's close step asks of the other subsystems, in this order.
void ResetAudioDevicesForClose();  // waveOutReset / waveInStop + waveInReset of open devices
void ReleaseAnalysisForClose();    // display bitmap, kept full-resolution image, sample buffer

// Blanks the cursor readout when the mouse leaves the client area.
void BlankReadoutOutsideImage(HWND window);

}  // namespace hl
