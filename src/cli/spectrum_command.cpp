#include "cli/spectrum_command.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "cli/output_file.h"
#include "cli/render_command.h"
#include "common/messages.h"
#include "files/data_log.h"
#include "files/frame_decoder.h"
#include "files/wave_format.h"

namespace hl {

namespace {

// A frame of all channels up to this size is read in one piece.
constexpr uint64_t kWholeFrameReadBytes = 1u << 20;

// The table names the analysed file by its full path, as the program does.
std::string FullPath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(std::filesystem::u8path(path), error);
  return error ? path : full.u8string();
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
  // The data as the analysis counts it: in its own frames for the wider encodings.
  const uint64_t frameBytes = native ? static_cast<uint64_t>(blockAlign) : static_cast<uint64_t>(header.FrameBytes());
  const uint64_t dataLength = native ? std::min<uint64_t>(header.dataLength, 0xFFFFFFFFu) : header.dataLength;

  const int64_t start = LogFrameStart(static_cast<float>(options.atMs), rate, blockAlign);
  // Frames the data holds, a last partial one included (its first sample may be there);
  // counted in frames, so no product of the start and a huge frame can overflow.
  const uint64_t frames = native ? (dataLength + frameBytes - 1) / frameBytes : dataLength / frameBytes;
  if (static_cast<uint64_t>(start) >= frames) {
    const double dataMs = static_cast<double>(dataLength) / frameBytes / rate * 1000.0;
    char why[160];
    std::snprintf(why, sizeof why, "--at %.0f ms starts past the last sample (the data lasts %.0f ms)",
                  options.atMs, std::floor(dataMs));
    return RefuseInput(Message::ImproperBeginOrEnd, why);
  }

  // Only the frame is read: its n frames of all channels, or, when a frame of that many
  // channels would be large, its first-channel samples one by one. What lies past the data
  // reads as zero.
  InputFile input;
  if (!input.Open(options.input)) return FileError(Message::CannotOpenFile, options.input);
  const uint64_t dataStart = (header.wavFlag ? header.dataOffset : 0);
  const uint64_t frameStart = static_cast<uint64_t>(start) * frameBytes;  // < dataLength + frameBytes
  const uint64_t wanted = static_cast<uint64_t>(n) * frameBytes;
  const uint64_t held = std::min<uint64_t>(wanted, dataLength - std::min<uint64_t>(frameStart, dataLength));
  const int bytesPerSample = native ? samples.bitsPerSample / 8 : EncodingBytes(header.encoding);
  std::vector<uint8_t> bytes;
  uint64_t stride = frameBytes;
  bool read = true;
  if (wanted <= kWholeFrameReadBytes) {
    bytes.resize(static_cast<size_t>(held));
    read = input.ReadAt(dataStart + frameStart, bytes.size(), bytes.data());
  } else {
    for (int i = 0; read && i < n; ++i) {
      const uint64_t at = frameStart + static_cast<uint64_t>(i) * frameBytes;
      if (at + bytesPerSample > dataLength) break;
      bytes.resize(bytes.size() + bytesPerSample);
      read = input.ReadAt(dataStart + at, bytesPerSample, bytes.data() + bytes.size() - bytesPerSample);
    }
    samples.channels = 1;
    stride = static_cast<uint64_t>(bytesPerSample);
  }
  if (!read) {
    std::fprintf(stderr, "harrowlight-cli: %s became shorter while it was read\n", options.input.c_str());
    return kExitFileError;
  }
  std::vector<int16_t> decoded;
  if (native) {
    samples.data = bytes.data();
    samples.byteCount = static_cast<uint32_t>(bytes.size());
  } else {
    // The frame's first channel on the 16-bit scale, as a mono 16-bit file would hold it.
    const size_t count = static_cast<size_t>(bytes.size() / stride);
    decoded.assign(static_cast<size_t>(n), 0);
    DecodeSamples(bytes.data(), count, static_cast<size_t>(stride), header.encoding, decoded.data());
    samples.data = reinterpret_cast<const uint8_t*>(decoded.data());
    samples.byteCount = static_cast<uint32_t>(2 * count);
    samples.channels = 1;
  }

  std::vector<int16_t> spectrum;
  if (!TransformLogFrame(samples, 0, order, rate, true, spectrum)) return RefuseInput(Message::NotEnoughMemory, "");
  const float binWidth = static_cast<float>(rate) / static_cast<float>(n);
  const std::string text =
      SpectrumLogText(FullPath(options.input), static_cast<unsigned>(options.atMs), n, binWidth, spectrum.data());
  const Message written =
      WriteFileReplacing(options.output, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  if (written != Message::None) return OutputError(written, options.output);
  return kExitOk;
}

}  // namespace hl
