// Where a file analysis reads its samples and how many image columns they
// give: the byte span of a begin..end selection, the samples between two
// columns (`step`), the column count and the bitmap height, with the message
// that refuses a selection.
//
// Arithmetic. Begin, end, the sample rate and the time scale are binary32
// values in the parameters dialog, so everything derived from them is computed
// in binary32 with each operation rounded (the build keeps float arithmetic in
// SSE registers on every target):
//   bytes per second = channels x bits x rate / 8
//   raw offset       = ms x bytes per second / 1000, truncated toward zero
//   data end in ms   = data end / bytes per second x 1000
//   samples/column   = rate x channels x time scale / 1000
// The double and 32-bit inputs below are rounded to binary32 first; whole
// milliseconds and rates up to 2^24 Hz pass unchanged. Byte counts, column
// counts and the products of channels and FFT length are integers (64-bit
// where they can overflow 32 bits).
#pragma once

#include <cstdint>

#include "core/base/messages.h"

namespace hl {

struct SpanRequest {
  double beginMs, endMs;   // selection as entered (whole ms from the dialog)
  uint32_t sampleRate;     // Hz, as chosen in the dialog
  uint16_t channels;       // interleaved channels per frame
  uint16_t bitsPerSample;  // 8 or 16, the chosen resolution
  uint32_t dataLength;     // bytes of sample data in the file
  float timeScaleMs;       // time between two columns
  float windowMs;          // analysis window length
  int fftOrder;            // 9, 10 or 11
};

struct ColumnGeometry {
  // Byte offsets from the first sample byte: the span is data[begin..end).
  // For a WAV file the caller reads from file offset data offset + begin.
  uint32_t beginOffset = 0, endOffset = 0;
  uint32_t byteCount = 0;  // end - begin, 0 when end is not after begin
  double endMs = 0.0;      // the end as entered, or the data's end when clipped
  int32_t step = 0;        // sample values (all channels) between two columns
  int32_t columnCount = 0;
  int fftLength = 0;       // N = 2^order
  int bitmapHeight = 0;    // N / 2 + 44: one row per bin under the 44-row margin
  Message refusal = Message::None;
};

// Plans an analysis of req, in the order the file analysis works:
//  1. A format that cannot be measured (0 channels, bits other than 8 or 16,
//     rate 0, FFT order outside 9..11) is refused with ImproperEntry before
//     anything is divided by it.
//  2. Begin and end become byte offsets, each cut down to a whole frame
//     (channels x bits / 8 bytes). The data's end is the data length cut down
//     to whole frames. An end that reaches the data's end becomes it, and
//     endMs is recomputed from it: an end counts as reaching it when it lies
//     beyond it, within its last frame, or less than 1 ms before it (the
//     dialog shows whole milliseconds, so the end it offers for a whole file
//     is the data length in ms with its fraction dropped).
//     The offsets, byteCount and endMs are filled in before any check, so a
//     caller can apply its memory budget to byteCount first.
//  3. Checks, first failure wins: time scale outside 1.0..500.0 ms
//     (TimeScaleOutOfRange); window below 1.0 ms (FftWindowTooSmall); begin
//     negative or not before the data's end, end negative, or end not after
//     begin (ImproperBeginOrEnd); fewer than 2048 bytes (SampleSizeTooSmall).
//  4. step = ColumnStep(...), 0 or less: ImproperEntry; then
//     columnCount = ColumnCount(...), 0: TimeScaleTooSmall.
// The sample rate is not checked here (the parameters command checks it).
ColumnGeometry PlanColumns(const SpanRequest& req);

// Sample values between two columns: rate x channels x time scale / 1000 in
// binary32 (the rate rounded to float first), its integer part plus 1 when the
// fraction is 0.5 or more, then lowered to the next multiple of the channel
// count, so that every column starts on a whole frame (for 1 and 2 channels
// that is lowering an odd step by 1; 0 when the step is below one frame, which
// the analysis refuses with ImproperEntry). Returns 0 when
// no column step exists: channels 0 or less, a product that is not positive
// or not a number, or one of 2^31 or more.
int32_t ColumnStep(double sampleRate, int channels, float timeScaleMs);

// Columns a span yields: (byteCount / bytesPerSample - channels x fftLength)
// / step, integer division; 0 when the span is not longer than one FFT frame
// of all channels, or when any divisor or length is 0 or less. At most
// INT32_MAX.
int32_t ColumnCount(uint32_t byteCount, int bytesPerSample, int channels, int fftLength,
                    int32_t step);

}  // namespace hl
