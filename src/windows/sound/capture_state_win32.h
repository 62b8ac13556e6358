// The process-wide state of sound capture and playback: the input device and its capture
// block of two halves, the one buffer header that alternates between them, the timing of
// the poll loop, and the playback fields the transport buttons keep.
//
// There is one instance (Capture()), shared without locks by the command loops and the
// window procedure's sound-message handlers, which run nested inside the loops' message
// drains on the one user-interface thread.
//
// The device handles and the buffer headers are declared through the tags the system
// headers give them (HWAVEIN is HWAVEIN__*, WAVEHDR is wavehdr_tag), so that the header
// needs no <mmsystem.h>; shell code passes the fields straight to the waveIn / waveOut calls.
#pragma once

#include <cstdint>
#include <string>

#include "windows/base/handles_win32.h"
#include "core/sound/capture.h"

struct HWAVEIN__;
struct HWAVEOUT__;
struct wavehdr_tag;

namespace hl {

// The input device's hand-over between the capture setup, the poll loop and the device's
// message handlers, reset at the start of every capture.
struct CaptureRun {
  bool bufferQueued = false;    // the header is with the device
  bool closeRequested = false;  // waveInClose has been called
  bool writeFailed = false;     // a write to the output file failed or fell short
  bool limitReached = false;    // the output file holds as much as a wave file can
  uint64_t bytesWritten = 0;    // sample bytes written to the output file
  // "Any" length: bytes of the half the card is filling now that are in the file already,
  // written while the card went on filling it.
  uint64_t queuedBytesWritten = 0;
  // The card's position (waveInGetPosition) counts from waveInStart or the last waveInReset;
  // the samples of the buffers returned since then are where the current half starts.
  int64_t samplesBeforeHalf = 0;
  bool resetPending = false;  // the next returned buffer ends a forced reset
};

struct CaptureState {
  // --- The capture format (channels is always 1) ------------------------------------------
  int32_t sampleRate = 0;      // Hz: 5513, 11025, 22050 or 44100
  int16_t bitsPerSample = 0;   // 8 or 16
  int32_t bytesPerSample = 0;  // 1 or 2
  int16_t channels = 1;

  // --- The capture block --------------------------------------------------------------------
  // "Any" length: two halves of bytesPerHalf each behind the 46-byte wave header. Fixed
  // length (10, 20, 30 s): one area of recordSeconds x rate x bytes per sample, and
  // firstHalf = secondHalf = the start of that area.
  int32_t halfSeconds = 0;     // 352800 / (rate x bytes per sample), at least 2
  int32_t samplesPerHalf = 0;  // halfSeconds x rate
  int32_t bytesPerHalf = 0;    // halfSeconds x bytes per sample x rate
  int32_t recordSeconds = 0;   // 10, 20 or 30; 0 for "Any" (every live scan)
  uint32_t areaBytes = 0;      // sample bytes of the block (both halves, or the one area)
  // Locked while the card records into it: the 46-byte header is at block.locked().
  GlobalBlock block;
  uint8_t* firstHalf = nullptr;    // block.locked() + 46
  uint8_t* secondHalf = nullptr;   // firstHalf + bytesPerHalf

  // --- The input device and its one buffer header ----------------------------------------
  HWAVEIN__* inputDevice = nullptr;  // HWAVEIN while open
  LockedBlock headerBlock;           // the memory of the WAVEHDR, counted
  wavehdr_tag* header = nullptr;     // WAVEHDR* in headerBlock: data = the half being filled

  // --- Hand-over between the MM_WIM_DATA handler and the poll loop -----------------------
  uint8_t currentHalf = 0;        // 0 while the card fills the first half, 1 the second
  uint32_t completedBuffers = 0;  // buffers returned; its parity chooses the next half
  uint32_t totalBytesCaptured = 0;  // sum of the recorded counts of all returned buffers
  // Samples the card recorded into the half before the current one, as its buffer came back
  // (a reset returns it short); 0 before the first return, when that half is silence.
  int32_t previousHalfSamples = 0;
  uint32_t lateResets = 0;        // waveInReset forced because the window reached the half's end
  CaptureRun run;

  WrapSafeClock clock;  // the system clock extended past its 32-bit wrap (CaptureClockMs)

  // --- Timing: milliseconds of the system clock as CaptureClockMs() (capture_win32.h) reads
  // it, as doubles so that whole milliseconds stay exact however long the machine has been up.
  // The window of a column is also held behind the card's own position (waveInGetPosition),
  // for a card that starts late. ------------------------------------------------------------
  double switchTimeMs = 0;    // when the card last began a half
  double startTimeMs = 0;     // when the loop started
  double lastPollTimeMs = 0;  // the last poll that drew or tried to draw
  int32_t columnCount = 0;    // columns drawn so far
  // (now - start) / column count, refreshed every poll; the whole elapsed time before the
  // first column. Replaces the nominal column time for the readouts and for "Play" / "Play
  // Wdw" of a fixed-length recording.
  float measuredColumnTimeMs = 1.0f;

  // --- A fixed-length recording kept as the sample buffer ----------------------------------
  int32_t samplesPerColumn = 0;  // rate x measured column time x 0.001, rounded half up
  int32_t plannedColumns = 0;    // (samples - 512) / samples per column at 10 ms a column

  // --- Flags (bytes, 1 = set) ---------------------------------------------------------------
  uint8_t captureActive = 0;  // from the capture setup until the input device has closed
  uint8_t scanFlag = 0;       // "S&can Audio" and "&Scan File": nothing is written
  uint8_t scopeStyle = 0;     // the main window carries the fixed-size Scope style
  uint8_t recording = 0;      // "&Record Audio" runs from its start until it ends
  uint8_t scanRunning = 0;    // a capture or scan loop is drawing columns

  // --- The recording's output file ---------------------------------------------------------
  FileHandle outputFile;  // the recording's file while it is written
  std::string outputPath;

  // --- Playback (the transport buttons' own fields) ------------------------------------------
  HWAVEOUT__* outputDevice = nullptr;  // HWAVEOUT while open
  LockedBlock playHeaderBlock;         // the memory of the playback WAVEHDR, counted
  wavehdr_tag* playHeader = nullptr;   // WAVEHDR* in playHeaderBlock
  uint8_t playing = 0;            // "Play" or "Play Wdw" runs
  uint8_t outputResetSent = 0;    // waveOutReset already sent to the open output device
  double playStartTimeMs = 0;
  int32_t lastDrawnColumn = 0;
  // "Play Wdw": the clock's column when the cursor left the image area and the sound was
  // reset; -1 while it has not (a run that ended any other way leaves it so).
  int32_t leftAreaAtColumn = -1;
  // Added to the elapsed play time: latency + the integer part of the time scale for a
  // recording's image, 0 for an analysed file.
  int16_t playbackLeadMs = 0;
};

CaptureState& Capture();

}  // namespace hl
