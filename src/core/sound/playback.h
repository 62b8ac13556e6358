// Arithmetic of sound output: the ring a file scan streams through, where the device's
// play position falls in it and which half to refill, when a scan ends and what span it
// hands to the analysis; where "Play" reveals the image and where "Play Wdw" starts, runs
// its cursor and stops; and the sample rate the scan dialog's "New" button accepts.
//
// Everything here is integer arithmetic on values the shell hands in; nothing touches a
// device or a window.
#pragma once

#include <cstdint>

namespace hl {

// ---------------------------------------------------------------------------
// The file scan's ring: two halves played in a loop by one buffer header.

// Frames taken per analysed window, and how far into a half the device must be before the
// other half is refilled.
constexpr int kScanFrameLength = 512;

struct RingLayout {
  uint32_t seconds = 0;     // 352800 / (bytes per sample x rate x channels), at least 2
  uint32_t ringBytes = 0;   // 2 x halfBytes
  uint32_t halfBytes = 0;   // whole frames
  uint32_t ringFrames = 0;  // ringBytes / frame bytes
  uint32_t halfFrames = 0;  // ringFrames / 2
  bool valid = false;       // false for a zero format or a ring beyond 2^31 bytes
};

// seconds = 352800 / (bytesPerSample x rate x channels), integer division, at least 2;
// ring bytes = seconds x bytesPerSample x channels x rate. Each half is cut down to whole
// frames, so the two halves and the ring they make are whole frames and the half boundary
// never splits a sample (5513 Hz 8-bit mono: 347,319 bytes become 2 x 173,659).
// Computed in 64 bits; a ring that does not fit a 31-bit size is refused (valid false).
RingLayout PlanRing(uint32_t bytesPerSample, uint32_t channels, uint32_t sampleRate);

// Frames in `dataLength` bytes: dataLength / (bytesPerSample x channels); 0 for a zero frame.
uint32_t TotalFrames(uint32_t dataLength, uint32_t bytesPerSample, uint32_t channels);

// Loops of the ring's one header: data length / ring bytes + 1.
uint32_t RingLoops(uint32_t dataLength, uint32_t ringBytes);

// Where the device is in the ring. `windowStart` is the first frame of the 512-frame window
// that ends at the play position, counted from the start of the current half (negative: the
// window begins in the other half's tail).
struct RingPosition {
  uint32_t ringFrame = 0;   // position mod ring frames
  int currentHalf = 0;      // 0 or 1
  int32_t windowStart = 0;  // (position mod half frames) - 512
};

// From a waveOutGetPosition answer in samples (frames played) or in bytes.
RingPosition RingPositionFromSamples(uint64_t samplesPlayed, const RingLayout& ring);
RingPosition RingPositionFromBytes(uint64_t bytesPlayed, uint32_t frameBytes, const RingLayout& ring);

// The refill rule, kept across polls. Entering a half marks the other half for refilling;
// once the position is 512 frames into the half it is refilled, once per entry.
struct RefillState {
  int playingHalf = -1;  // -1 before the first poll: starting in half 0 counts as entering it
  bool pending = false;
};
// The half to read from the file now (0 or 1), or -1 for none.
int NextRefill(RefillState& state, const RingPosition& position, const RingLayout& ring);

// Frames the device has played by the clock since the switch time:
// trunc(rate x elapsedMs x 0.001).
int64_t ElapsedFramesByClock(uint32_t sampleRate, double elapsedMs);
// The scan ends when the clock reaches total frames - 512.
bool ScanEndedByClock(int64_t elapsedFrames, uint32_t totalFrames);

// The window of the current half and the other half's tail, as byte offsets into the ring.
struct RingWindow {
  bool inside = false;        // the current half's part ends before the half's end
  uint32_t tailOffset = 0;    // first byte taken from the other half
  uint32_t tailFrames = 0;    // frames from there
  uint32_t headOffset = 0;    // first byte taken from the current half
  uint32_t headFrames = 0;    // frames from there (tailFrames + headFrames = 512)
};
RingWindow LocateRingWindow(const RingPosition& position, const RingLayout& ring, uint32_t frameBytes);

// The 512-entry frame of a window: the first channel of each frame, 16-bit samples whole,
// 8-bit samples b as (b - 128) x 256. The largest and smallest values at indices 193..319
// are the column's envelope.
struct FramePeaks {
  int16_t max = 0;
  int16_t min = 0;
};
FramePeaks BuildRingFrame(const uint8_t* ring, const RingWindow& window, uint32_t frameBytes,
                          uint32_t bytesPerSample, int16_t* frame);

// Where a scan stopped, in msec of the file, for "Analysis at Stop":
//   begin = (bytes read - 2 x ring bytes) / bytes per second x 1000, 0 when negative;
//   end   = begin + 3 x the playing time of one half (ring bytes / 2 / bytes per second).
// bytes per second = channels x bytes per sample x rate. Both truncated to whole msec.
struct StopSpan {
  uint32_t beginMs = 0;
  uint32_t endMs = 0;
};
StopSpan ScanStopSpan(uint64_t bytesRead, uint32_t ringBytes, uint32_t channels, uint32_t bytesPerSample,
                      uint32_t sampleRate);

// ---------------------------------------------------------------------------
// "Play" and "Play Wdw".

// The column the sound has reached: trunc(elapsed / column time); -1 before the start or
// for a column time that is not positive.
int32_t PlayColumn(double elapsedMs, double columnTimeMs);

// Milliseconds of sound under one column: step interleaved values at channels x rate values
// per second. 0 when any of them is 0.
double ColumnTimeMs(int32_t step, uint32_t channels, uint32_t sampleRate);

// What "Play" copies to the window for column c: while c lies in the image area, bitmap
// columns 0 .. c-1 at their own place; beyond it (c limited to the column count) the
// image-area width of columns ending at c, at the left edge, with the scroll position
// following. Nothing when c is the column drawn last.
struct PlayReveal {
  bool copy = false;
  int32_t sourceX = 0;  // first bitmap column
  int32_t width = 0;    // columns copied, to window x 0 ..
  bool scroll = false;
  int32_t scrollPosition = 0;
  int32_t lastDrawn = 0;  // the column drawn last after this step
};
PlayReveal RevealForColumn(int32_t c, int32_t lastDrawn, int32_t imageWidth, int32_t columnCount);

// The part of the sample buffer "Play Wdw" plays, in bytes from the first sample: from the
// column at the view's left edge (k x step x bytes per sample) to the end of the data when
// the image is wider than the image area, else the column count's worth. Empty (length 0)
// when the start lies at or past the end of the data; never past the data's end.
struct PlaySpan {
  uint32_t offset = 0;
  uint32_t length = 0;
};
PlaySpan PlayWindowSpan(int32_t step, uint32_t bytesPerSample, int32_t horizontalOffset, int32_t columnCount,
                        int32_t imageWidth, uint32_t dataLength);

// The one-pixel cursor of "Play Wdw" for column c: restore the window column under the last
// cursor (when there was one inside the area), save and cover column c; a column outside
// the image area stops the sound instead. A negative c (the sound has not reached the first
// column) does nothing.
constexpr int32_t kNoCursorColumn = -4;
struct CursorStep {
  bool move = false;
  int32_t restoreX = -1;  // -1: nothing to restore
  int32_t drawX = -1;
  bool leftArea = false;  // c is at or past the image area's width: the sound is reset
};
CursorStep StepCursor(int32_t c, int32_t lastDrawn, int32_t imageWidth);

// ---------------------------------------------------------------------------
// The scan dialog's "New" rate.

// Decimal digits of at most 8 characters (leading blanks and a sign are read as the C
// library would; anything else ends the number). 0, or no number at all, means the rate
// shown before; the result is held in 5513 .. 44100, or up to the file's own rate `fileRate`
// when that is higher (384000 at most), as the parameters dialog holds it.
uint32_t NewScanRate(const char* text, uint32_t rememberedRate, uint32_t fileRate = 0);

// The scan's accepted rate: 4000 .. 44100 Hz, or the file's own rate `fileRate` when that
// lies in 4000 .. 384000 Hz, as a file's analysis accepts it.
bool ScanRateInRange(int64_t rate, uint32_t fileRate = 0);

}  // namespace hl
