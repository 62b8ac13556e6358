// The two data logs: measured points appended to a text file one line at a time, and one
// raw spectrum saved as a text table. This is the arithmetic and the text; the dialogs that
// gather the values and the file handling live in data_log_win32.cpp (and the command-line
// tool's "spectrum" command).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace hl {

// ---------------------------------------------------------------------------
// Point log.

// Longest text taken from one of the point dialog's fields.
constexpr int kPointFieldLength = 63;

// The bytes "Enter Point" appends for the four fields as typed: each non-empty field with
// its separator (a tab after the event id, the time and the frequency; CR LF after the
// level). An empty field writes nothing, not even its separator, so a point without a
// level gets no line end and the next one continues the line. Each field is cut to
// kPointFieldLength characters; the text is written as it stands, numeric or not.
std::string PointLogLine(const std::string& eventId, const std::string& timeMs, const std::string& frequencyHz,
                         const std::string& levelDb);

// The point dialog's level: a bin level (40 units per decade of power, 4 per dB) in dB,
// level / 4 truncated toward zero, minus 90. Silence (31) reads -83 dB.
int LevelDecibels(int level);

// The bin holding `frequencyHz`: trunc(frequency / rate x n), kept within 0 .. n/2 - 1 (the
// bins a level transform delivers). 0 for a rate of 0.
int BinOfFrequency(unsigned frequencyHz, uint32_t sampleRate, int n);

// ---------------------------------------------------------------------------
// The frame a click measures.

// First sample frame of the frame that starts `timeMs` into the sample buffer:
// trunc(timeMs x rate x 0.001), lowered to a multiple of `blockAlign`, 0 when negative.
// (The multiple is of the frame index; it keeps the frame on the same grid as the
// program has always used.)
int64_t LogFrameStart(float timeMs, uint32_t sampleRate, int blockAlign);

// The time of a column's first sample: column x time scale in single precision, less the
// time-axis offset (0 after a file analysis; the point log passes 0 always).
float ColumnStartMs(int column, float timeScaleMs, float timeAxisOffsetMs);

// Window length, whole msec, that makes the engine's window cover the whole frame of n
// samples as nearly as whole msec allow: trunc(n x 1000 / rate).
int32_t FullFrameWindowMs(int n, uint32_t sampleRate);

// The sample buffer's samples as the logs read them.
struct LogSamples {
  const uint8_t* data = nullptr;  // first sample byte
  uint32_t byteCount = 0;         // sample bytes held
  int bitsPerSample = 16;         // 8: unsigned bytes, 128 is zero; otherwise 16-bit little-endian
  int channels = 1;               // interleaved; only the first is read
};

// Fills out[0 .. n-1] with the first channel of frames startFrame .. startFrame + n - 1:
// 16-bit values as stored, 8-bit ones as (byte - 128) x 256, and zeros past the end.
void FillLogFrame(const LogSamples& samples, int64_t startFrame, int n, int16_t* out);

// Transforms the frame of n = 1 << fftOrder samples that starts at `startFrame` with a
// full-frame window: with `raw` false, out[b] = level of bin b (b < n/2); with `raw` true,
// out[2b], out[2b+1] = real and imaginary part of bin b. False when the engine could not
// be built (out is then left as it was).
bool TransformLogFrame(const LogSamples& samples, int64_t startFrame, int fftOrder, uint32_t sampleRate, bool raw,
                       std::vector<int16_t>& out);

// ---------------------------------------------------------------------------
// Spectrum log.

// The saved table's fields for bin i of a raw spectrum (re, im taken to single precision).
// Freq: the bin's centre i x w + w x 0.5, rounded half up, w = the bin width in Hz.
int SpectrumBinFrequency(int bin, float binWidthHz);
// Amp: trunc(sqrt((re^2 + im^2) x 5.2)), in single precision with the single-precision 5.2.
int SpectrumAmplitude(int16_t re, int16_t im);
// Phase in radians: atan(im / re) for re != 0; for re = 0 the limit, +pi/2 for im > 0 and
// -pi/2 for im < 0, and 0 when the bin is empty.
double SpectrumPhase(int16_t re, int16_t im);

// The whole table for n/2 bins of `spectrum` (n values, re and im interleaved), CR LF line
// ends: the title line, the audio file's path, the sample start in msec, the number of
// frequency points, an empty line, the column heads, then one line per bin.
std::string SpectrumLogText(const std::string& audioPath, unsigned sampleStartMs, int n, float binWidthHz,
                            const int16_t* spectrum);

// The dialog's plot: 128 bars, bar b the largest of 8 x log10(re^2 + im^2 + 1) - 8 (limited
// to 0 .. 50) over bins b x g .. b x g + g - 1, g = n / 256, truncated to whole pixels.
constexpr int kSpectrumBars = 128;
constexpr int kSpectrumBarHeight = 50;
std::array<int, kSpectrumBars> SpectrumBars(const int16_t* spectrum, int n);

}  // namespace hl
