#include "cli/spectrum_command.h"

#include <algorithm>
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
  const SampleLayout header = ReadSampleLayout(block, got, fileSize);
  if (header.refused) {
    std::fprintf(stderr, "harrowlight-cli: %s files cannot be analysed\n", header.formatName);
    return kExitRefused;
  }
  if (header.warning != Message::None) {
    std::fprintf(stderr, "harrowlight-cli: warning: %s\n", MessageText(header.warning));
  }

  // Read as the analysis reads the file: 16-bit when it says so, else 8-bit, all channels
  // kept and the first one transformed. Wider and companded encodings are timed as the
  // 16-bit file of the same samples, and the frame's first channel decoded to it.
  const bool native = IsNativeEncoding(header.encoding);
  LogSamples samples;
  samples.bitsPerSample = header.bitsPerSample == 16 || !native ? 16 : 8;
  samples.channels = header.channels;
  const int blockAlign = samples.channels * samples.bitsPerSample / 8;
  const uint32_t rate = header.sampleRate;
  const int order = options.fftLength == 2048 ? 11 : options.fftLength == 1024 ? 10 : 9;
  const int n = 1 << order;
  const uint64_t frameBytes = static_cast<uint64_t>(header.FrameBytes());
  const uint64_t frames = header.dataLength / frameBytes;

  int64_t start = LogFrameStart(static_cast<float>(options.atMs), rate, blockAlign);
  const uint64_t nativeLength = std::min<uint64_t>(header.dataLength, 0xFFFFFFFFu);
  if (native ? static_cast<uint64_t>(start) * blockAlign >= nativeLength : static_cast<uint64_t>(start) >= frames) {
    return Refuse(Message::ImproperBeginOrEnd);
  }

  FileView view;
  std::vector<int16_t> decoded;
  if (native) {
    if (!view.Open(options.input, header.dataOffset, nativeLength)) return FileError(Message::CannotOpenFile, options.input);
    samples.data = view.data();
    samples.byteCount = static_cast<uint32_t>(view.size());
  } else {
    const uint64_t count = std::min<uint64_t>(static_cast<uint64_t>(n), frames - static_cast<uint64_t>(start));
    const uint64_t offset = header.dataOffset + static_cast<uint64_t>(start) * frameBytes;
    if (!view.Open(options.input, offset, count * frameBytes)) return FileError(Message::CannotOpenFile, options.input);
    decoded.assign(static_cast<size_t>(n), 0);
    DecodeSamples(view.data(), static_cast<size_t>(count), frameBytes, header.encoding, decoded.data());
    samples.data = reinterpret_cast<const uint8_t*>(decoded.data());
    samples.byteCount = static_cast<uint32_t>(2 * count);
    samples.channels = 1;
    start = 0;
  }

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
