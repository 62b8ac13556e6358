// The input device of a capture and the memory behind it, for the capture setup and its
// poll loop (capture_win32.cpp). The device's own messages are in capture_win32.h.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

namespace hl {

struct CaptureState;

// Peeks and dispatches every waiting message. A WM_QUIT is put back for the outer loop and
// ends the drain: false then.
bool PumpCaptureMessages();

// A fixed-length recording (10, 20 or 30 s) runs: one buffer over the whole block.
bool FixedLengthCapture();

// The buffer header's block and the capture block, freed and counted out (nothing for one
// not held); the display bitmap destroyed.
void ReleaseHeaderBlock();
void ReleaseCaptureBlock();
void ReleaseDisplayBitmap();

// How far the card has written into the current half, by its own position; -1 when the
// device does not say.
int64_t CardSamplesInHalf();

// How far the card has written into the current half by its buffer header's count of
// recorded bytes; -1 when the header does not say (a queued buffer whose driver counts only
// on its return).
int64_t HeaderSamplesInHalf();

// Ends a capture whose device messages cannot be waited for any longer (the window is gone,
// or the driver never answered): what the card has returned is taken from the header itself.
void FinishCaptureNow();

// Waits, pumping messages, until the device's close has been handled; bounded.
void AwaitDeviceClose(HWND window);

// The output file of a recording, created (or truncated) with the header of no samples
// yet; the samples follow from byte 46, each write followed by the header's true lengths.
bool CreateRecordingFile();

// A fixed-length recording: what the card has put into its one buffer so far goes to the
// file, a whole second at a time. Called from the capture loop; nothing for anything else.
void WriteRecordingSoFar();

// The format the card is opened with.
WAVEFORMATEX CaptureFormat(const CaptureState& c);

}  // namespace hl
