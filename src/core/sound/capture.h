// The arithmetic of sound capture: the sizes of the capture block and its halves, where the
// 512-sample window of a column lies relative to the half the card is filling, how the
// frame is built from the captured bytes, and where the Scroll and Scope displays put each
// column's pixels. The shell (capture_win32.cpp, scan_display_win32.cpp) only moves these
// numbers to the sound card and the screen.
#pragma once

#include <cstdint>

#include "core/analysis/analysis_settings.h"
#include "core/base/limits.h"
#include "core/layout/window_layout.h"  // the dialogs' place and scroll bars

namespace hl {

constexpr int kCaptureFrame = 512;      // samples per column's transform
constexpr int kCaptureBins = 256;       // levels drawn per column
constexpr int kScrollImageHeight = 300; // 256 frequency rows below the 44-row strip

// --- Sizes ---------------------------------------------------------------------------------

// Sample rate of a rate choice: 5513, 11025, 22050 or 44100; a value that is no choice
// gives 11025.
int32_t CaptureRateOfChoice(RateChoice rateChoice);

// Seconds of a record-length choice: 10, 20 or 30; "Any" and anything else -> 0.
int32_t RecordSecondsOfChoice(RecordLength recordChoice);

struct HalfSizes {
  int32_t seconds;         // 352800 / (rate x bytes per sample), integer division, at least 2
  int32_t samplesPerHalf;  // seconds x rate
  int32_t bytesPerHalf;    // seconds x bytes per sample x rate
};
// For a rate of at least 1 Hz and 1 or 2 bytes per sample.
HalfSizes ComputeHalfSizes(int32_t sampleRate, int32_t bytesPerSample);

// Sample bytes of a fixed-length recording: seconds x bytes per sample x rate (30 s at
// 44100 Hz 16 bit: 2,646,000). The block holds 46 more.
uint32_t FixedRecordingBytes(int32_t seconds, int32_t sampleRate, int32_t bytesPerSample);

// Columns a fixed-length recording is planned for: (samples - 512) / samples per column,
// 0 when there are fewer than 512 samples or no samples per column.
int32_t PlannedColumns(uint32_t samples, int32_t samplesPerColumn);

// rate x columnMs x 0.001, rounded half up (binary32 product, as the column time is kept).
int32_t SamplesPerColumn(int32_t sampleRate, float columnMs);

// The time scale of a capture: the length of 512 samples in ms, 512000 / rate (binary32).
float CaptureTimeScale(int32_t sampleRate);

// The 46-byte header's two lengths after `totalBytes` were captured: RIFF length
// totalBytes + 38 at offset 4, data length totalBytes at offset 42.
void PatchRecordingHeader(uint8_t* header, uint32_t totalBytes);

// The most sample bytes a recording's file holds: with its header the file stays within
// 4 GiB, so both 32-bit length words keep their true values.
constexpr uint64_t kRecordingDataLimit = 0xFFFFFFFFull - kWaveHeaderLength;

// Of `count` bytes to follow the `written` sample bytes of a recording's file, how many fit
// within kRecordingDataLimit, in whole samples of `blockAlign` bytes. Fewer than `count`
// means the recording has reached the limit and stops.
uint32_t RecordingBytesThatFit(uint64_t written, uint32_t count, uint32_t blockAlign);

// --- The clock -----------------------------------------------------------------------------

// The system's millisecond clock is 32 bits wide and wraps after 49.7 days of uptime. Each
// reading is extended past every wrap seen so far, so that the difference of two readings
// stays right however long the machine has been up (the clock must be read at least once
// per wrap period, which any running loop does).
struct WrapSafeClock {
  uint32_t last = 0;
  uint64_t high = 0;
  uint64_t Extend(uint32_t raw);
};

// --- The window of a column ----------------------------------------------------------------

// Window start p, in samples from the start of the half being filled:
// trunc((now - switch time - latency) x rate x 0.001) - 512.
int32_t WindowStart(double nowMs, double switchTimeMs, int32_t latencyMs, int32_t sampleRate);

// The window start kept behind the card's own position: `cardSamples` is how far the card
// has written into the current half (from waveInGetPosition), and the window may end no
// later than that less the latency: min(p, trunc(cardSamples - latency x rate x 0.001) - 512).
// A card that starts late (Wine under load can start a second after waveInStart) or runs
// slow therefore never has the window read what it has not written yet; a card on time
// leaves the clock's p as it is.
int32_t LimitWindowToCard(int32_t p, int64_t cardSamples, int32_t latencyMs, int32_t sampleRate);

// The window start kept within what the buffer header says the card has recorded into the
// current half: `recordedSamples` of its `samplesPerHalf`. A half not yet full has the window
// end at that count, min(p, recordedSamples - 512): a card's position can run ahead of what
// its driver has copied into the buffer (Wine under load), and the memory beyond the count
// still holds sound of an older half. A full half leaves p to PlanWindow's late rule.
int32_t LimitWindowToRecorded(int32_t p, int64_t recordedSamples, int32_t samplesPerHalf);

// Where the 512 samples of a window starting at p come from.
struct WindowPlan {
  int32_t fromPrevious;     // samples taken from the end of the half just filled
  int32_t fromCurrent;      // samples taken from the half being filled, ...
  int32_t currentStart;     // ... starting at this sample
  bool late;                // the part in the current half reaches the half's end: the
                            // card is late and must be reset before anything is drawn
};
// p <= -512: all 512 from the end of the previous half. -512 < p < 0: the last -p samples
// of the previous half, then 512 + p from the start of the current one. p >= 0: 512 from
// the current half at p. Late when (max(p, 0) + 512) x bytes per sample is not strictly
// less than bytes per half.
WindowPlan PlanWindow(int32_t p, int32_t bytesPerSample, int32_t bytesPerHalf);

// The largest and smallest frame values at indices 193..319 (strictly between 256 - 64
// and 256 + 64), for the envelope strip.
struct Peak {
  int16_t max = 0;
  int16_t min = 0;
};
constexpr int kPeakFirst = 193;
constexpr int kPeakLast = 319;

// One captured sample as the transform takes it: 16-bit samples (little-endian at `bytes`)
// keep only their high byte (AND 0xFF00); 8-bit samples b become (b - 128) x 256.
int16_t FrameSample(const uint8_t* bytes, int32_t bitsPerSample);

// Builds the 512-sample frame from `previousCount` samples at `previous` followed by
// `currentCount` samples at `current` (previousCount + currentCount = 512), and returns
// the peak of indices 193..319.
Peak BuildFrame(const uint8_t* previous, int32_t previousCount, const uint8_t* current, int32_t currentCount,
                int32_t bitsPerSample, int16_t* frame);

// The frame of a window planned by PlanWindow, read only from what the card recorded: the
// previous half's buffer came back with `previousSamples` samples (fewer than a half after a
// reset), so its tail ends there rather than at the half's end, and a tail reaching back
// past that buffer's start is silence.
Peak BuildWindowFrame(const uint8_t* previousHalf, int32_t previousSamples, const uint8_t* currentHalf,
                      const WindowPlan& plan, int32_t bitsPerSample, int16_t* frame);

// measured column time: (now - start) / column count, or the whole elapsed time while
// nothing has been drawn.
float MeasuredColumnTime(double nowMs, double startMs, int32_t columnCount);

// How long the poll loop sleeps when `sinceLastPollMs` of its `intervalMs` have passed: the
// whole remaining time in one sleep (whole ms, at least 1), so that a column costs one or
// two wake-ups rather than one every 2 ms.
uint32_t PollSleepMs(double sinceLastPollMs, double intervalMs);

// --- Scroll display ------------------------------------------------------------------------

// Palette index of a level: level - 100, limited to 3..235.
uint8_t PaletteIndexOfLevel(int32_t level);

// Where the scroll display draws its next column. Until the image area is full the columns
// go to x = 0, 1, 2, ...; after that the window scrolls 4 pixels left once every 4 columns
// and the columns fill the freed strip at width - 4 .. width - 1.
struct ScrollCursor {
  int32_t drawPosition = 0;
  int32_t subColumn = 0;
};
struct ScrollStep {
  int32_t x;              // window column to draw
  bool scrollAfter;       // scroll the window 4 pixels left after drawing
  bool refreshStatus;     // the fourth column of a group: refresh the panel and readout
};
// Applies the counter reset (above 3 -> 0) to `cursor` and tells where the column goes;
// Advance() then moves the cursor on.
ScrollStep NextScrollColumn(ScrollCursor& cursor, int32_t imageWidth);
void AdvanceScrollCursor(ScrollCursor& cursor);

// The envelope strip's line for a column: from 22 - max / 1500 down to 22 - min / 1500
// (integer division truncating toward zero).
struct EnvelopeLine {
  int32_t top;
  int32_t bottom;
};
EnvelopeLine EnvelopeLineOf(const Peak& peak);

// The 300 palette indices of one Scroll column, top row first, as the column's pixels and
// lines draw them: rows 0..42 index 3 (the strip erased), row 21 index 2 (the centre), the
// envelope line in index 2 over rows top .. bottom - 1 (a drawn line stops short of its end
// point, so a silent column shows only the centre), row 43 index 1 (the separator); rows
// 44..299 the palette indices of bins 255..0, bin 0 at the bottom.
void RenderScanColumn(const int16_t* levels, const Peak& peak, uint8_t* column);

// --- Fixed-length recording into the display bitmap ----------------------------------------

// What the window shows once a recording's bitmap column x has been drawn is what an
// analysis shows: ScreenUpdateAt (core/analysis/file_analysis.h).

// --- Scope display -------------------------------------------------------------------------

struct ScopeGeometry {
  int32_t x0;        // left end of the 512-pixel bar area
  int32_t baseline;  // row the bars stand on
};
// x0 = (width - 512) / 2, raised to 9 x charWidth / 2 when smaller; baseline = height -
// 2 x charHeight.
ScopeGeometry ScopeGeometryOf(int32_t imageWidth, int32_t imageHeight, int32_t charWidth, int32_t charHeight);

// The last four level rows, oldest first.
struct ScopeHistory {
  int16_t rows[4][kCaptureBins] = {};
  void Clear();
  // Drops the oldest row and stores `levels` (256 entries) as the newest.
  void Push(const int16_t* levels);
};

// Height of bar i: (sum of the four rows at i) / 4 - 60 (truncating), limited to 0..baseline.
int32_t ScopeBarHeight(const ScopeHistory& history, int i, int32_t baseline);

}  // namespace hl
