// Rendering of sample data into the time–frequency image, one column per analysis frame.
//
// The image holds palette indices, one byte per pixel, row 0 at the top:
// - rows 0..43 are the envelope strip: row 21 its centre line (index 2), the waveform's
//   envelope drawn in index 2, row 43 the separator line (index 1);
// - rows 44 .. N/2 + 43 are the frequency rows, bin b at row height - 1 - b, so bin 0 is the
//   bottom row;
// - pixels nothing has drawn on hold index 3, the colour of silence.
// Column x analyses the N first-channel samples starting at interleaved element x * step
// (elements are samples of one channel: bytes for 8-bit data, 16-bit words for 16-bit data,
// 3 bytes for 24-bit data and so on).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/base/limits.h"
#include "core/image/palette_image.h"
#include "core/dsp/fft_engine.h"
#include "core/samples/frame_decoder.h"

namespace hl {

// The samples to analyse, from the first sample of the selected span.
struct SampleSpan {
  const uint8_t* data = nullptr;
  size_t byteCount = 0;
  int bytesPerSample = 2;  // 1: unsigned 8-bit (128 is zero), 2: signed 16-bit little-endian
  int channels = 1;        // stride between samples of the analysed (first) channel
  // Unsigned8 and Pcm16 are read by bytesPerSample as above; any other encoding is decoded
  // to the 16-bit scale, bytesPerSample being EncodingBytes(encoding).
  SampleEncoding encoding = SampleEncoding::Pcm16;
};

struct RenderSettings {
  int fftOrder = 9;
  int32_t sampleRate = 11025;
  float windowMs = 0;  // the analysis window in ms, as the settings hold it
  int32_t step = 1;    // interleaved elements between the first samples of two columns
};

// Per-run quantities derived from the settings.
struct RenderPlan {
  int fftLength;         // N
  int16_t windowLength;  // L = trunc(rate * ms * 0.001), the product in extended precision; at most N
  int16_t halfWindow;    // h = L / 2: the window's centre sample
  int16_t lower, upper;  // the envelope takes samples strictly between these
  int16_t correction;    // c: level units added for a window shorter than the frame
};

RenderPlan PlanRender(const RenderSettings& settings);

// Level correction: a window that fills the frame gives 0, a quarter of the frame 36
// (binary32 throughout: ratio = (ms * 0.001) / (N / rate), c = trunc((1 - ratio) * 48)).
int16_t LevelCorrection(float windowMs, int fftLength, int32_t sampleRate);

// Palette index of a level: level + correction - 100 (16-bit), limited to 3..235.
inline uint8_t PaletteIndexOfLevel(int16_t level, int16_t correction) {
  int16_t v = static_cast<int16_t>(level + correction - 100);
  if (v < kIndexFloor) v = kIndexFloor;
  if (v > kIndexTop) v = kIndexTop;
  return static_cast<uint8_t>(v);
}

// Sample value entering the FFT: 8-bit u gives (u - 128) * 256.
inline int16_t SampleOfByte(uint8_t u) { return static_cast<int16_t>((u - 128) * 256); }

// Draws columns into an image. One renderer per thread; columns are independent, so
// ranges of one image may be drawn by several renderers at once.
class ColumnRenderer {
 public:
  // Builds the FFT tables. Returns 0, or -1 when memory ran out.
  int Begin(const SampleSpan& span, const RenderSettings& settings);
  void End();

  // Points the renderer at a part of the data, for a caller that reads a long span in
  // pieces: `span` now holds the data from column `firstColumn`'s first sample on. Only
  // columns from firstColumn whose whole frame lies inside the piece are drawn.
  void Rebase(const SampleSpan& span, int32_t firstColumn);

  // Columns whose whole frame lies inside the span (one more than the analysis plans when
  // the span ends exactly on a frame); drawing never reads past the span.
  int32_t AvailableColumns() const { return available_; }

  // The reference path: one column, one plain Transform.
  void DrawColumn(int x, PaletteImage& image);
  // Columns first .. first + count - 1, several frames per transform; the same pixels as
  // DrawColumn. Columns past AvailableColumns() or the image width are not drawn.
  void DrawColumns(int first, int count, PaletteImage& image);

  // The engine's levels of columns first .. first + count - 1, N / 2 per column one after
  // the other in `out`, before the correction and the palette: what DrawColumns maps to
  // palette indices. Columns past AvailableColumns() are not written. Returns how many were.
  int ColumnLevels(int first, int count, int16_t* out);

  const RenderPlan& plan() const { return plan_; }

 private:
  // Reads column x's frame into `frame` and returns its envelope (max, min) over the
  // samples strictly inside the envelope range.
  void ReadFrame(int x, int16_t* frame, int16_t* max, int16_t* min);
  void PaintColumn(int x, const int16_t* levels, int16_t max, int16_t min, PaletteImage& image) const;
  void PaintEnvelope(int x, int16_t max, int16_t min, PaletteImage& image) const;

  SampleSpan span_;
  RenderSettings settings_;
  RenderPlan plan_{};
  int32_t available_ = 0;
  int32_t firstColumn_ = 0;  // the column whose first sample is span_.data
  FftEngine engine_;
  std::vector<int16_t> frames_;       // scratch for a batch of frames
  std::vector<int16_t> interleaved_;  // scratch for one frame's stretch of interleaved data
};

}  // namespace hl
