#include "cli/render_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <thread>
#include <vector>

#include "app/analysis_settings.h"
#include "app/column_geometry.h"
#include "app/messages.h"
#include "cli/output_file.h"
#include "dsp/column_renderer.h"
#include "files/bitmap_file.h"
#include "files/wave_format.h"

namespace hl {

namespace {

constexpr uint64_t kShortestFile = 2048;
// Input read per piece of columns: enough for long reads, little beside the image.
constexpr uint64_t kPieceBytes = 4u << 20;
constexpr int kPieceColumns = 256;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// Why PlanColumns refused, in terms of the options that were given.
std::string Explain(Message refusal, const RenderOptions& options, uint32_t rate, int channels, float windowMs,
                    double endMs, const ColumnGeometry& g, double dataMs) {
  switch (refusal) {
    case Message::TimeScaleOutOfRange:
      return Format("--time-scale %g ms lies outside 1..500 ms", options.timeScaleMs);
    case Message::FftWindowTooSmall:
      if (options.broadband) return Format("--window-ms %g is shorter than 1 ms", options.windowMs);
      return Format("the %d-point window at %u Hz lasts %.3f ms, under 1 ms", options.fftLength, rate, windowMs);
    case Message::ImproperBeginOrEnd:
      if (options.toDataEnd) {
        return Format("--begin %g ms and the data's end (%.3f ms) select no span", options.beginMs, dataMs);
      }
      return Format("--begin %g and --end %g ms select no span inside the data (0 to %.0f ms)", options.beginMs,
                    endMs, std::floor(dataMs));
    case Message::SampleSizeTooSmall:
      return Format("the span from %g to %g ms holds %u bytes, fewer than 2048", options.beginMs, g.endMs,
                    g.byteCount);
    case Message::ImproperEntry:
      return Format("%u Hz x %d channels x %g ms gives less than one frame between columns", rate, channels,
                    options.timeScaleMs);
    case Message::TimeScaleTooSmall:
      return Format("the span holds less than one %d-point frame of all %d channels", options.fftLength, channels);
    default:
      return "";
  }
}

// Opens a file as "&Analyze File" does: the length check, then the header.
int ReadHeader(const std::string& path, uint64_t* fileSize, WaveHeaderInfo* header) {
  if (!FileSizeOf(path, fileSize)) return FileError(Message::CannotOpenFile, path);
  if (*fileSize < kShortestFile) {
    return RefuseInput(Message::SampleSizeTooSmall,
                       Format("%s holds %llu bytes, fewer than 2048", path.c_str(),
                              static_cast<unsigned long long>(*fileSize)));
  }
  uint8_t block[kWaveSearchBlockLength] = {};
  size_t got = ReadFileRange(path, 0, sizeof block, block);
  if (got == 0) return FileError(Message::CannotOpenFile, path);
  *header = ReadWaveHeader(block, got, *fileSize);
  return kExitOk;
}

enum class RenderFailure { None, Memory, ShortRead };

// Draws columns 0 .. width - 1 with `threads` renderers taking pieces of columns in turn.
// Each renderer reads its piece's stretch of the span from the file into a buffer of its
// own, so the input is never held whole: a piece is at most kPieceColumns columns or about
// kPieceBytes of input (but always one whole frame).
RenderFailure RenderColumns(const InputFile& input, uint64_t spanOffset, const ColumnGeometry& geometry,
                            const SampleSpan& whole, const RenderSettings& settings, int threads, bool progress,
                            PaletteImage& image) {
  const int width = image.width;
  const uint64_t bytesPerColumn = static_cast<uint64_t>(settings.step) * whole.bytesPerSample;
  const uint64_t frameBytes = static_cast<uint64_t>(whole.channels) * geometry.fftLength * whole.bytesPerSample;
  const int pieceColumns =
      static_cast<int>(std::max<uint64_t>(1, std::min<uint64_t>(kPieceColumns, kPieceBytes / bytesPerColumn)));
  std::atomic<int> next{0}, done{0};
  std::atomic<int> failure{static_cast<int>(RenderFailure::None)};
  auto fail = [&](RenderFailure why) {
    int none = static_cast<int>(RenderFailure::None);
    failure.compare_exchange_strong(none, static_cast<int>(why));
  };
  auto worker = [&]() {
    ColumnRenderer renderer;
    std::vector<uint8_t> buffer;
    if (renderer.Begin(SampleSpan{nullptr, 0, whole.bytesPerSample, whole.channels}, settings) != 0) {
      fail(RenderFailure::Memory);
      return;
    }
    for (int first; failure.load() == 0 && (first = next.fetch_add(pieceColumns)) < width;) {
      const int count = std::min(pieceColumns, width - first);
      const uint64_t begin = static_cast<uint64_t>(first) * bytesPerColumn;
      const uint64_t end = std::min<uint64_t>(
          static_cast<uint64_t>(first + count - 1) * bytesPerColumn + frameBytes, whole.byteCount);
      const size_t length = static_cast<size_t>(end - begin);
      try {
        if (buffer.size() < length) buffer.resize(length);
      } catch (const std::bad_alloc&) {
        fail(RenderFailure::Memory);
        break;
      }
      if (!input.ReadAt(spanOffset + begin, length, buffer.data())) {
        fail(RenderFailure::ShortRead);
        break;
      }
      renderer.Rebase(SampleSpan{buffer.data(), length, whole.bytesPerSample, whole.channels}, first);
      renderer.DrawColumns(first, count, image);
      done += count;
    }
    renderer.End();
  };
  std::vector<std::thread> pool;
  for (int i = 1; i < threads; ++i) pool.emplace_back(worker);
  if (!progress) {
    worker();
  } else {
    // The first thread reports while the others draw, so the line keeps moving.
    std::thread self(worker);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    bool shown = false;
    while (done.load() < width && failure.load() == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (Clock::now() - start > std::chrono::milliseconds(500)) {
        std::fprintf(stderr, "\rrendering column %d of %d (%d%%)", done.load(), width,
                     static_cast<int>(100.0 * done.load() / width));
        shown = true;
      }
    }
    self.join();
    if (shown) std::fprintf(stderr, "\rrendering column %d of %d (%d%%)\n", done.load(), width,
                            static_cast<int>(100.0 * done.load() / width));
  }
  for (std::thread& t : pool) t.join();
  return static_cast<RenderFailure>(failure.load());
}

}  // namespace

int RefuseInput(Message message, const std::string& why) {
  if (why.empty()) {
    std::fprintf(stderr, "harrowlight-cli: %s\n", MessageText(message));
  } else {
    std::fprintf(stderr, "harrowlight-cli: %s: %s\n", MessageText(message), why.c_str());
  }
  return kExitRefused;
}

int FileError(Message message, const std::string& path) {
  std::fprintf(stderr, "harrowlight-cli: %s: %s\n", MessageText(message), path.c_str());
  return kExitFileError;
}

int OutputError(Message message, const std::string& path) {
  if (message == Message::CannotOpenFile) {
    std::fprintf(stderr, "harrowlight-cli: %s: %s is not a regular file and is never replaced\n",
                 MessageText(message), path.c_str());
    return kExitFileError;
  }
  return FileError(message, path);
}

int RunRender(const RenderOptions& options) {
  uint64_t fileSize = 0;
  WaveHeaderInfo header;
  if (int code = ReadHeader(options.input, &fileSize, &header)) return code;
  if (header.warning != Message::None) {
    std::fprintf(stderr, "harrowlight-cli: warning: %s\n", MessageText(header.warning));
  }

  // The parameters dialog: the file's rate and resolution unless chosen, the whole data.
  const uint32_t rate = options.sampleRate ? options.sampleRate : header.format.sampleRate;
  if (CheckSampleRate(rate) != Message::None) {
    return RefuseInput(CheckSampleRate(rate),
                       options.sampleRate ? Format("--rate %u Hz lies outside 4000..44100 Hz", rate)
                                          : Format("the file's rate of %u Hz lies outside 4000..44100 Hz "
                                                   "(choose one with --rate)", rate));
  }
  const int bits = options.bits ? options.bits : (header.format.bitsPerSample == 16 ? 16 : 8);
  const int channels = header.format.channels;
  const int order = options.fftLength == 2048 ? 11 : options.fftLength == 1024 ? 10 : 9;
  const float fftLength = static_cast<float>(1 << order);
  const float windowMs = options.broadband
                             ? BbWindowLength(options.windowMs, fftLength / static_cast<float>(rate) * 1000.0f)
                             : NbWindowLength(1 << order, static_cast<float>(rate));
  const double bytesPerSecond = static_cast<double>(channels) * bits * rate / 8;
  const double dataMs = header.dataLength / bytesPerSecond * 1000.0;
  const double endMs = options.toDataEnd ? std::floor(dataMs) : options.endMs;

  SpanRequest request{options.beginMs, endMs,         rate,     static_cast<uint16_t>(channels),
                      static_cast<uint16_t>(bits), header.dataLength, options.timeScaleMs, windowMs, order};
  ColumnGeometry geometry = PlanColumns(request);
  if (geometry.refusal != Message::None) {
    return RefuseInput(geometry.refusal,
                       Explain(geometry.refusal, options, rate, channels, windowMs, endMs, geometry, dataMs));
  }

  // The entire export keeps every whole group of four columns.
  const int width = ExportWidth(geometry.columnCount);
  if (width <= 0) {
    std::fprintf(stderr, "harrowlight-cli: fewer than 4 columns, no image to save\n");
    return kExitRefused;
  }
  // Before anything is allocated: a picture the BMP layout's 32-bit size cannot describe.
  const uint64_t fileBytes = kBitmapHeaderLength + static_cast<uint64_t>(width) * geometry.bitmapHeight;
  if (fileBytes > 0xFFFFFFFFu) {
    return RefuseInput(Message::BitmapError,
                       Format("the image of %d x %d pixels would make a %.1f GiB file, larger than the 4 GiB "
                              "a BMP file can hold (choose a shorter span or a longer --time-scale)",
                              width, geometry.bitmapHeight, static_cast<double>(fileBytes) / (1u << 30)));
  }

  InputFile input;
  if (!input.Open(options.input)) return FileError(Message::CannotOpenFile, options.input);
  PaletteImage image;
  if (!PrepareImage(image, width, geometry.bitmapHeight)) {
    return RefuseInput(Message::NotEnoughMemoryForBitmap,
                       Format("%d x %d pixels", width, geometry.bitmapHeight));
  }
  const uint64_t spanOffset = (header.wavFlag ? header.dataOffset : 0) + uint64_t{geometry.beginOffset};
  const SampleSpan whole{nullptr, geometry.byteCount, bits / 8, channels};
  const RenderSettings settings{order, static_cast<int32_t>(rate), windowMs, geometry.step};
  int threads = options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency());
  threads = std::max(1, std::min(threads, 64));
  switch (RenderColumns(input, spanOffset, geometry, whole, settings, threads, options.progress, image)) {
    case RenderFailure::None: break;
    case RenderFailure::Memory: return RefuseInput(Message::NotEnoughMemory, "");
    case RenderFailure::ShortRead:
      std::fprintf(stderr, "harrowlight-cli: %s became shorter while it was read\n", options.input.c_str());
      return kExitFileError;
  }
  input.Close();

  auto entries = PaletteEntries(BuildSourceTable(options.scheme), PaletteOffset(options.attenuation));
  BitmapColor colors[kPaletteSize];
  for (int i = 0; i < kPaletteSize; ++i) colors[i] = {entries[i].red, entries[i].green, entries[i].blue};
  uint8_t headers[kBitmapHeaderLength];
  if (!WriteBitmapHeaders(headers, width, image.height, colors, kPaletteSize)) {
    return RefuseInput(Message::BitmapError, "");
  }
  // The rows go straight from the image to the file, bottom row first.
  std::vector<ByteChunk> chunks;
  chunks.push_back({headers, sizeof headers});
  for (int y = image.height - 1; y >= 0; --y) chunks.push_back({image.Row(y), static_cast<size_t>(width)});
  const Message written = WriteFileReplacing(options.output, chunks.data(), chunks.size());
  if (written != Message::None) return OutputError(written, options.output);
  return kExitOk;
}

int RunInfo(const std::string& input) {
  uint64_t fileSize = 0;
  WaveHeaderInfo header;
  if (int code = ReadHeader(input, &fileSize, &header)) return code;
  const WaveFormat& f = header.format;
  std::printf("file: %s\n", input.c_str());
  std::printf("size: %llu bytes\n", static_cast<unsigned long long>(fileSize));
  std::printf("header: %s\n", header.wavFlag ? "WAV (\"fmt \" and \"data\" found)" : "none, read as raw samples");
  std::printf("format tag: %u\n", f.formatTag);
  std::printf("channels: %u\n", f.channels);
  std::printf("sample rate: %u Hz\n", f.sampleRate);
  std::printf("bits per sample: %u\n", f.bitsPerSample);
  std::printf("block align: %d bytes\n", f.BlockAlign());
  std::printf("data offset: %u\n", header.dataOffset);
  std::printf("data length: %u bytes\n", header.dataLength);
  const double bytesPerSecond = static_cast<double>(f.BlockAlign()) * f.sampleRate;
  if (bytesPerSecond > 0) std::printf("duration: %.3f s\n", header.dataLength / bytesPerSecond);
  std::printf("analysed as: %d bit\n", f.bitsPerSample == 16 ? 16 : 8);
  if (header.warning != Message::None) std::printf("warning: %s\n", MessageText(header.warning));
  return kExitOk;
}

int RunGenerate(const ExampleSignal& example, const std::string& output) {
  std::vector<uint8_t> file = MakeExampleWave(example);
  const Message written = WriteFileReplacing(output, file.data(), file.size());
  if (written != Message::None) return OutputError(written, output);
  return kExitOk;
}

}  // namespace hl
