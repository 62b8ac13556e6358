#include "cli/spectrum_command.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "cli/output_file.h"
#include "cli/render_command.h"
#include "common/messages.h"
#include "files/data_log.h"
#include "files/wave_format.h"

namespace hl {

namespace {

int Refuse(Message message) {
  std::fprintf(stderr, "harrowlight-cli: %s\n", MessageText(message));
  return kExitRefused;
}

int FileError(Message message, const std::string& path) {
  std::fprintf(stderr, "harrowlight-cli: %s: %s\n", MessageText(message), path.c_str());
  return kExitFileError;
}

// The table names the analysed file by its full path, as the program does.
std::string FullPath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(path, error);
  return error ? path : full.string();
}

}  // namespace

int RunSpectrum(const SpectrumOptions& options) {
  uint64_t fileSize = 0;
  if (!FileSizeOf(options.input, &fileSize)) return FileError(Message::CannotOpenFile, options.input);
  uint8_t block[kWaveSearchBlockLength] = {};
  const size_t got = ReadFileRange(options.input, 0, sizeof block, block);
  if (got == 0) return FileError(Message::CannotOpenFile, options.input);
  const WaveHeaderInfo header = ReadWaveHeader(block, got, fileSize);
  if (header.warning != Message::None) {
    std::fprintf(stderr, "harrowlight-cli: warning: %s\n", MessageText(header.warning));
  }

  // Read as the analysis reads the file: 16-bit when it says so, else 8-bit, all channels
  // kept and the first one transformed.
  const WaveFormat& format = header.format;
  LogSamples samples;
  samples.bitsPerSample = format.bitsPerSample == 16 ? 16 : 8;
  samples.channels = format.channels;
  const int blockAlign = samples.channels * samples.bitsPerSample / 8;
  const uint32_t rate = format.sampleRate;
  const int order = options.fftLength == 2048 ? 11 : options.fftLength == 1024 ? 10 : 9;
  const int n = 1 << order;

  const int64_t start = LogFrameStart(static_cast<float>(options.atMs), rate, blockAlign);
  if (static_cast<uint64_t>(start) * blockAlign >= header.dataLength) return Refuse(Message::ImproperBeginOrEnd);

  FileView view;
  const uint64_t fileOffset = header.wavFlag ? header.dataOffset : 0;
  if (!view.Open(options.input, fileOffset, header.dataLength)) return FileError(Message::CannotOpenFile, options.input);
  samples.data = view.data();
  samples.byteCount = static_cast<uint32_t>(view.size());

  std::vector<int16_t> spectrum;
  if (!TransformLogFrame(samples, start, order, rate, true, spectrum)) return Refuse(Message::NotEnoughMemory);
  const float binWidth = static_cast<float>(rate) / static_cast<float>(n);
  const std::string text =
      SpectrumLogText(FullPath(options.input), static_cast<unsigned>(options.atMs), n, binWidth, spectrum.data());
  if (!WriteFileReplacing(options.output, reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
    return FileError(Message::ErrorWritingFile, options.output);
  }
  return kExitOk;
}

}  // namespace hl
