// libFuzzer target over the spectrum log: the frame a click or --at time reads out of any
// sample bytes and format, its transform, the saved table and the dialog's bars.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/files/data_log.h"
#include "fuzz_input.h"

namespace {

void Require(bool holds, const char* what) { hl_fuzz::Require(holds, "spectrum log", what); }

// The first channel's value of frame f as the logs read it, or 0 outside the samples.
int16_t Expected(const hl::LogSamples& s, int64_t f) {
  const uint64_t channels = s.channels > 0 ? static_cast<uint64_t>(s.channels) : 1;
  const uint64_t values = s.bitsPerSample == 8 ? s.byteCount : s.byteCount / 2;
  if (f < 0 || static_cast<uint64_t>(f) >= values / channels + 1) return 0;
  const uint64_t k = static_cast<uint64_t>(f) * channels;
  if (k >= values) return 0;
  if (s.bitsPerSample == 8) return static_cast<int16_t>((s.data[k] - 128) * 256);
  return static_cast<int16_t>(static_cast<uint16_t>(s.data[2 * k] | (s.data[2 * k + 1] << 8)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hl_fuzz::Input in(data, size);
  const float timeMs = in.Take<float>();
  const uint32_t rate = in.Take<uint32_t>();
  const int16_t channels = in.Take<int16_t>();
  const uint8_t choice = in.Take<uint8_t>();
  const int64_t anyStart = in.Take<int64_t>();

  hl::LogSamples samples;
  samples.bitsPerSample = (choice & 1) ? 8 : 16;
  samples.channels = channels;
  samples.data = in.Rest();
  samples.byteCount = static_cast<uint32_t>(in.RestSize());
  const int blockAlign = (channels > 0 ? channels : 1) * samples.bitsPerSample / 8;
  const int order = 9 + (choice >> 1) % 3;
  const int n = 1 << order;

  const int64_t start = hl::LogFrameStart(timeMs, rate, blockAlign);
  Require(start >= 0 && start % blockAlign == 0, "a frame starts on the grid, never before 0");
  for (const int64_t first : {start, anyStart}) {
    std::vector<int16_t> frame(static_cast<size_t>(n));
    hl::FillLogFrame(samples, first, n, frame.data());
    for (int i = 0; i < n; ++i) {
      const int64_t f = first > INT64_MAX - i ? -1 : first + i;
      Require(frame[i] == Expected(samples, f), "the frame holds the first channel, zeros outside");
    }
  }

  std::vector<int16_t> spectrum;
  if (!hl::TransformLogFrame(samples, start, order, rate, true, spectrum)) return 0;
  Require(spectrum.size() == static_cast<size_t>(n), "n values, re and im interleaved");
  const float binWidth = static_cast<float>(rate) / static_cast<float>(n);
  const std::string text = hl::SpectrumLogText("C:\\a.wav", static_cast<unsigned>(timeMs > 0 ? 1 : 0), n,
                                               binWidth, spectrum.data());
  size_t lines = 0;
  for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) ++lines;
  Require(lines == 6 + static_cast<size_t>(n / 2), "six head lines and one per bin");
  Require(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0, "ends with a line end");
  for (const int bar : hl::SpectrumBars(spectrum.data(), n)) {
    Require(bar >= 0 && bar <= hl::kSpectrumBarHeight, "bars within the plot");
  }
  return 0;
}
