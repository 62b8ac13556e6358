// The sound's commands: playback, recording and the scans.
#pragma once

#include <windows.h>

namespace hl {

void OnPlay(HWND window, LPARAM lParam);
void OnPlayWindow(HWND window, LPARAM lParam);
void OnStop(HWND window, LPARAM lParam);
void OnRecordAudio(HWND window, LPARAM lParam);
void OnScanFile(HWND window, LPARAM lParam);
void OnScanAudio(HWND window, LPARAM lParam);

// The sound's part of closing the window: waveOutReset / waveInStop + waveInReset of open
// devices.
void ResetAudioDevicesForClose();

}  // namespace hl
