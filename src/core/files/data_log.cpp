#include "core/files/data_log.h"

#include <cmath>
#include <cstdio>

#include "core/dsp/fft_engine.h"

namespace hl {

namespace {

void AppendField(std::string& out, const std::string& text, const char* separator) {
  if (text.empty()) return;
  out.append(text, 0, kPointFieldLength);
  out.append(separator);
}

}  // namespace

std::string PointLogLine(const std::string& eventId, const std::string& timeMs, const std::string& frequencyHz,
                         const std::string& levelDb) {
  std::string line;
  AppendField(line, eventId, "\t");
  AppendField(line, timeMs, "\t");
  AppendField(line, frequencyHz, "\t");
  AppendField(line, levelDb, "\r\n");
  return line;
}

int LevelDecibels(int level) { return level / 4 - 90; }  // C++ division truncates toward zero

int BinOfFrequency(unsigned frequencyHz, uint32_t sampleRate, int n) {
  if (sampleRate == 0 || n < 2) return 0;
  const double position = static_cast<double>(frequencyHz) / sampleRate * n;
  // A readout at half the sampling rate (or a value beyond it) would name a bin the level
  // transform does not deliver; the last delivered bin is the nearest.
  if (position >= n / 2) return n / 2 - 1;
  return static_cast<int>(position);
}

int64_t LogFrameStart(float timeMs, uint32_t sampleRate, int blockAlign) {
  const double exact = static_cast<double>(timeMs) * sampleRate * 0.001;
  if (!(exact > 0)) return 0;  // negative, zero or not a number
  if (exact >= 9.0e18) return 0;
  int64_t s = static_cast<int64_t>(exact);
  if (blockAlign > 0) s -= s % blockAlign;
  return s;
}

float ColumnStartMs(int column, float timeScaleMs, float timeAxisOffsetMs) {
  const float start = static_cast<float>(column) * timeScaleMs;
  return start - timeAxisOffsetMs;
}

int32_t FullFrameWindowMs(int n, uint32_t sampleRate) {
  if (sampleRate == 0) return -1;  // the engine then windows the whole frame
  return static_cast<int32_t>(static_cast<int64_t>(n) * 1000 / sampleRate);
}

void FillLogFrame(const LogSamples& samples, int64_t startFrame, int n, int16_t* out) {
  const int64_t channels = samples.channels > 0 ? samples.channels : 1;
  const bool eightBit = samples.bitsPerSample == 8;
  const int64_t values = eightBit ? samples.byteCount : samples.byteCount / 2;
  // Frames that hold a first-channel sample; comparing frame numbers first keeps a start
  // far past the data from overflowing the product with the channel count.
  const int64_t framesHeld = (values + channels - 1) / channels;
  for (int i = 0; i < n; ++i) {
    // The start is tested before anything is added to it: a --at time far past the data
    // gives one near 2^63, and start + i would overflow.
    const bool near = startFrame >= -static_cast<int64_t>(n) && startFrame <= framesHeld;
    const int64_t frame = near ? startFrame + i : -1;
    const int64_t k = frame >= 0 && frame < framesHeld ? frame * channels : -1;
    if (samples.data == nullptr || k < 0 || k >= values) {
      out[i] = 0;
    } else if (eightBit) {
      out[i] = static_cast<int16_t>((samples.data[k] - 128) * 256);
    } else {
      const uint8_t* p = samples.data + 2 * k;
      out[i] = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    }
  }
}

bool TransformLogFrame(const LogSamples& samples, int64_t startFrame, int fftOrder, uint32_t sampleRate, bool raw,
                       std::vector<int16_t>& out) {
  if (fftOrder < 2 || fftOrder > 14) return false;
  const int n = 1 << fftOrder;
  std::vector<int16_t> frame(static_cast<size_t>(n));
  FillLogFrame(samples, startFrame, n, frame.data());
  FftEngine engine;
  if (engine.Init(fftOrder, static_cast<int32_t>(sampleRate), FullFrameWindowMs(n, sampleRate)) != 0) return false;
  engine.Transform(frame.data(), raw ? 1 : 0);
  engine.Release();
  out.swap(frame);
  return true;
}

int SpectrumBinFrequency(int bin, float binWidthHz) {
  // i x w in single precision, as the bin width is kept; the half-bin added in double.
  const float start = static_cast<float>(bin) * binWidthHz;
  const double centre = static_cast<double>(start) + static_cast<double>(binWidthHz) * 0.5;
  const double whole = std::trunc(centre);
  return static_cast<int>(centre - whole >= 0.5 ? whole + 1 : whole);
}

int SpectrumAmplitude(int16_t re, int16_t im) {
  const float r = re, i = im;
  const float power = r * r + i * i;  // each step rounded to single precision
  const float scaled = power * 5.2f;
  return static_cast<int>(std::sqrt(static_cast<double>(scaled)));
}

double SpectrumPhase(int16_t re, int16_t im) {
  constexpr double kHalfPi = 1.5707963267948966;
  if (re == 0) return im > 0 ? kHalfPi : im < 0 ? -kHalfPi : 0.0;
  const float ratio = static_cast<float>(im) / static_cast<float>(re);
  // + 0.0 turns the -0 of a zero imaginary part over a negative real part into 0.
  return std::atan(static_cast<double>(ratio)) + 0.0;
}

std::string SpectrumLogText(const std::string& audioPath, unsigned sampleStartMs, int n, float binWidthHz,
                            const int16_t* spectrum) {
  std::string text = "Harrowlight 3.2 Data\r\n";
  text += audioPath;
  text += "\r\n";
  char line[96];
  std::snprintf(line, sizeof line, "%u Sample Start (msec)\r\n", sampleStartMs);
  text += line;
  std::snprintf(line, sizeof line, "%d Frequency Points\r\n", n / 2);
  text += line;
  text += "\r\n";
  text += "Point   Freq    Amp     Phase\r\n";
  for (int i = 0; i < n / 2; ++i) {
    const int16_t re = spectrum[2 * i], im = spectrum[2 * i + 1];
    std::snprintf(line, sizeof line, "%d\t%d\t%d\t%-2.3f\r\n", i, SpectrumBinFrequency(i, binWidthHz),
                  SpectrumAmplitude(re, im), SpectrumPhase(re, im));
    text += line;
  }
  return text;
}

std::array<int, kSpectrumBars> SpectrumBars(const int16_t* spectrum, int n) {
  std::array<int, kSpectrumBars> bars{};
  const int group = n / 256;
  for (int b = 0; b < kSpectrumBars; ++b) {
    double value = 0;
    for (int i = b * group; i < b * group + group; ++i) {
      const double re = spectrum[2 * i], im = spectrum[2 * i + 1];
      double v = 8.0 * std::log10(re * re + im * im + 1.0) - 8.0;
      if (v < 0) v = 0;
      if (v > kSpectrumBarHeight) v = kSpectrumBarHeight;
      if (v > value) value = v;
    }
    bars[b] = static_cast<int>(value);
  }
  return bars;
}

}  // namespace hl
