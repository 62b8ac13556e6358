// The commands that write files: the data logs, the sound and the pictures.
#pragma once

#include <windows.h>

namespace hl {

void OnLogPoints(HWND window, LPARAM lParam);
void OnLogSpectrum(HWND window, LPARAM lParam);
void OnSaveWave(HWND window, LPARAM lParam);
void OnSaveWindowBitmap(HWND window, LPARAM lParam);
void OnSaveEntireBitmap(HWND window, LPARAM lParam);

}  // namespace hl
