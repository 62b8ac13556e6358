// Sound output: the "Play" and "Play Wdw" buttons, "Stop", and the output device's
// MM_WOM_DONE; the output device helpers the file scan (file_scan_win32.h) shares.
// The button handlers themselves are declared in sound_commands_win32.h.
#pragma once

#include <windows.h>

#include <cstdint>

namespace hl {

// MM_WOM_DONE: the device has returned the one buffer (end of data or waveOutReset).
LRESULT OnWaveOutDone(HWND window, WPARAM wParam, LPARAM lParam);

// The system clock in milliseconds: CaptureClockMs() (capture_win32.h), safe across its wrap.
double NowMs();

// One pass of a playback or scan loop's message pump: dispatches one waiting message.
enum class PumpResult { Idle, Dispatched, Quit };
PumpResult PumpOneMessage();

// The output device in Capture(): opens it on the wave mapper with `format` and the main
// window as callback window, and prepares one buffer header (in its own counted global
// block) over `length` bytes at `data` with `flags` and `loops`. False, with nothing held,
// when the device or the header was refused.
bool OpenOutputDevice(HWND window, const WAVEFORMATEX& format, uint8_t* data, uint32_t length, DWORD flags,
                      DWORD loops);
// Queues the prepared header; false (nothing released) when the device refused it.
bool WriteOutputDevice();
// Unprepares and frees the header (uncounted), then closes the device. Nothing happens
// when no device is open.
void ReleaseOutputDevice();
// waveOutReset of an open output device, once per playback; the device then returns its
// buffer and MM_WOM_DONE follows.
void ResetOutputDevice();

// The WAVEFORMATEX of a 46-byte wave header (its format record at byte 20).
WAVEFORMATEX FormatOfWaveHeader(const uint8_t* header);

}  // namespace hl
