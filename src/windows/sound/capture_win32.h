// Sound input: "S&can Audio", "&Record Audio", and the input device's messages.
#pragma once

#include <windows.h>

namespace hl {

// MM_WIM_DATA and MM_WIM_CLOSE.
LRESULT OnWaveInData(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT OnWaveInClose(HWND window, WPARAM wParam, LPARAM lParam);

// "Stop" during a capture: sets the stop request, then waveInStop and waveInReset when an
// input device is open, so that the device returns the buffer it is filling (MM_WIM_DATA)
// and is closed by that message's handler. Does nothing when no capture runs.
void StopCaptureDevice();

// The system clock in milliseconds (timeGetSystemTime, read again until it answers),
// extended past the 32-bit wrap so that differences stay right. Every time field of
// CaptureState is on this clock.
double CaptureClockMs();

// --- For the capture commands ("S&can Audio" here, "&Record Audio" in recording_win32.cpp)

// The capture of the settings' format: plans it, opens its block and the input device, runs
// the poll loop until Stop and waits for the device to close. False (everything released,
// the window idle) when the set-up failed; true when the loop ran.
bool RunCapture(HWND window);

// The end of any capture once the window is gone: nothing may stay held.
void ReleaseAfterClose();

// A capture is running, or something else holds the window: a second command must wait.
bool CaptureBusy();

}  // namespace hl
