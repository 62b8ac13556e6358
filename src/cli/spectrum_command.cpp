#include "cli/spectrum_command.h"

#include "core/analysis/analysis_settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "cli/output_file.h"
#include "cli/render_command.h"
#include "core/base/messages.h"
#include "core/files/data_log.h"
#include "core/samples/frame_decoder.h"
#include "core/files/wave_format.h"

namespace hl {

namespace {

// A frame of all channels up to this size is read in one piece.
constexpr uint64_t kWholeFrameReadBytes = 1u << 20;

// The table names the analysed file by its full path, as the program does.
std::string FullPath(const std::string& path) {
  if (path == "-") return InputName(path);
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(std::filesystem::u8path(path), error);
  return error ? path : full.u8string();
}

// The frame the log is of, as the analysis reads the file: 16-bit when it says so, else
// 8-bit, all channels kept and the first one transformed. Wider and companded encodings are
// timed as the 16-bit file of the same samples, and the frame's first channel decoded to it.
struct SpectrumFrame {
  InputSource source;       // the file, or a compressed file's decoded WAV image
  SampleLayout header;
  bool native = true;       // 8- or 16-bit PCM or raw samples, read as they are
  LogSamples samples;
  uint32_t rate = 0;
  int order = 9, n = 512;
  uint64_t frameBytes = 0;  // one frame of all channels in the file
  uint64_t dataLength = 0;  // the data as the analysis counts it: in its own frames for the wider encodings
  int64_t start = 0;        // the frame's first sample frame
  uint64_t stride = 0;      // from one read first-channel sample to the next
};

// Open: the file's size and first block, and the header. Its warning is printed once the
// table is written, or joins the refusal's line.
int ReadSpectrumHeader(const std::string& path, SpectrumFrame& f) {
  SampleLayout* header = &f.header;
  uint64_t fileSize = 0;
  if (!FileSizeOf(path, &fileSize)) return OutcomeError(Outcome::Failed, OpenFailure(path));
  uint8_t first = 0;
  if (ReadFileRange(path, 0, 1, &first) == 0) return OutcomeError(Outcome::Failed, OpenFailure(path));
  const std::string undecoded = f.source.Take(path, fileSize);
  if (!undecoded.empty()) return OutcomeError(Outcome::Refused, undecoded);
  *header = ReadSampleLayout(f.source.Bytes(), f.source.Size());
  if (header->problem == Message::CannotOpenFile) return OutcomeError(Outcome::Failed, OpenFailure(path));
  if (header->refused) {
    std::fprintf(stderr, "harrowlight-cli: %s\n", LayoutRefusalText(*header).c_str());
    return kExitRefused;
  }
  return kExitOk;
}

// Plan and check: where the frame of --at starts, refused when past the data.
int PlanFrame(const SpectrumOptions& options, SpectrumFrame& f) {
  const SampleLayout& header = f.header;
  f.native = IsNativeEncoding(header.encoding);
  f.samples.bitsPerSample = header.containerBytes == 2 || !f.native ? 16 : 8;
  f.samples.channels = header.channels;
  const int blockAlign = f.samples.channels * f.samples.bitsPerSample / 8;
  f.rate = header.sampleRate;
  f.order = FftOrderOfChoice(FftSizeOfLength(options.fftLength));
  f.n = 1 << f.order;
  f.frameBytes = f.native ? static_cast<uint64_t>(blockAlign) : static_cast<uint64_t>(header.FrameBytes());
  f.dataLength = f.native ? std::min<uint64_t>(header.dataLength, 0xFFFFFFFFu) : header.dataLength;

  f.start = LogFrameStart(static_cast<float>(options.atMs), f.rate, blockAlign);
  // Frames the data holds, a last partial one included (its first sample may be there);
  // counted in frames, so no product of the start and a huge frame can overflow. A frame
  // must start before the last sample: one starting on it would hold that sample alone.
  const uint64_t frames = f.native ? (f.dataLength + f.frameBytes - 1) / f.frameBytes : f.dataLength / f.frameBytes;
  if (static_cast<uint64_t>(f.start) + 1 < frames) return kExitOk;
  const double dataMs = static_cast<double>(f.dataLength) / f.frameBytes / f.rate * 1000.0;
  char why[160];
  std::snprintf(why, sizeof why, "--at %.0f ms starts %s the last sample (the data lasts %.0f ms)", options.atMs,
                static_cast<uint64_t>(f.start) < frames ? "on" : "past", std::floor(dataMs));
  return RefuseInput(Message::ImproperBeginOrEnd, WithWarning(why, header.warning));
}

// Run: only the frame is read, its n frames of all channels, or, when a frame of that many
// channels would be large, its first-channel samples one by one. What lies past the data
// reads as zero.
int ReadFrame(const std::string& path, SpectrumFrame& f, std::vector<uint8_t>& bytes) {
  InputSource& input = f.source;
  if (!input.Open(path)) return OutcomeError(Outcome::Failed, OpenFailure(path));
  const uint64_t dataStart = (f.header.wavFlag ? f.header.dataOffset : 0);
  const uint64_t frameStart = static_cast<uint64_t>(f.start) * f.frameBytes;  // < dataLength + frameBytes
  const uint64_t wanted = static_cast<uint64_t>(f.n) * f.frameBytes;
  const uint64_t held = std::min<uint64_t>(wanted, f.dataLength - std::min<uint64_t>(frameStart, f.dataLength));
  const int bytesPerSample = f.native ? f.samples.bitsPerSample / 8 : EncodingBytes(f.header.encoding);
  f.stride = f.frameBytes;
  bool read = true;
  if (wanted <= kWholeFrameReadBytes) {
    bytes.resize(static_cast<size_t>(held));
    read = input.ReadAt(dataStart + frameStart, bytes.size(), bytes.data());
  } else {
    for (int i = 0; read && i < f.n; ++i) {
      const uint64_t at = frameStart + static_cast<uint64_t>(i) * f.frameBytes;
      if (at + bytesPerSample > f.dataLength) break;
      bytes.resize(bytes.size() + bytesPerSample);
      read = input.ReadAt(dataStart + at, bytesPerSample, bytes.data() + bytes.size() - bytesPerSample);
    }
    f.samples.channels = 1;
    f.stride = static_cast<uint64_t>(bytesPerSample);
  }
  if (!read) {
    std::fprintf(stderr, "harrowlight-cli: %s became shorter while it was read\n", path.c_str());
    return kExitFileError;
  }
  return kExitOk;
}

// The samples the transform takes: the bytes read, or for the wider encodings the frame's
// first channel on the 16-bit scale, as a mono 16-bit file would hold it, in `decoded`.
void TakeSamples(SpectrumFrame& f, const std::vector<uint8_t>& bytes, std::vector<int16_t>& decoded) {
  if (f.native) {
    f.samples.data = bytes.data();
    f.samples.byteCount = static_cast<uint32_t>(bytes.size());
    return;
  }
  const size_t count = static_cast<size_t>(bytes.size() / f.stride);
  decoded.assign(static_cast<size_t>(f.n), 0);
  DecodeSamples(bytes.data(), count, static_cast<size_t>(f.stride), f.header.encoding, decoded.data());
  f.samples.data = reinterpret_cast<const uint8_t*>(decoded.data());
  f.samples.byteCount = static_cast<uint32_t>(2 * count);
  f.samples.channels = 1;
}

// Finish: the transform and the table written.
int WriteSpectrum(const SpectrumOptions& options, const SpectrumFrame& f) {
  std::vector<int16_t> spectrum;
  if (!TransformLogFrame(f.samples, 0, f.order, f.rate, true, spectrum)) return RefuseInput(Message::NotEnoughMemory, "");
  const float binWidth = static_cast<float>(f.rate) / static_cast<float>(f.n);
  const std::string text =
      SpectrumLogText(FullPath(options.input), static_cast<unsigned>(options.atMs), f.n, binWidth, spectrum.data());
  const std::string failure = WriteOutput(options.output, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  if (!failure.empty()) return OutcomeError(Outcome::Failed, failure);
  if (f.header.warning != Message::None) {
    std::fprintf(stderr, "harrowlight-cli: warning: %s\n", MessageText(f.header.warning));
  }
  return kExitOk;
}

}  // namespace

int RunSpectrum(const SpectrumOptions& options) {
  SpectrumFrame frame;
  if (int code = ReadSpectrumHeader(options.input, frame)) return code;
  if (int code = PlanFrame(options, frame)) return code;
  std::vector<uint8_t> bytes;
  if (int code = ReadFrame(options.input, frame, bytes)) return code;
  std::vector<int16_t> decoded;
  TakeSamples(frame, bytes, decoded);
  return WriteSpectrum(options, frame);
}

}  // namespace hl
