#include "cli/render_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/analysis_settings.h"
#include "app/column_geometry.h"
#include "cli/output_file.h"
#include "common/limits.h"
#include "common/messages.h"
#include "dsp/column_renderer.h"
#include "files/bitmap_file.h"
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

// Opens a file as "&Analyze File" does: the length check, then the header.
int ReadHeader(const std::string& path, uint64_t* fileSize, WaveHeaderInfo* header) {
  if (!FileSizeOf(path, fileSize)) return FileError(Message::CannotOpenFile, path);
  if (*fileSize < kShortestFileBytes) return Refuse(Message::SampleSizeTooSmall);
  uint8_t block[kWaveSearchBlockLength] = {};
  size_t got = ReadFileRange(path, 0, sizeof block, block);
  if (got == 0) return FileError(Message::CannotOpenFile, path);
  *header = ReadWaveHeader(block, got, *fileSize);
  return kExitOk;
}

// Draws columns 0 .. width - 1 with `threads` renderers taking chunks of columns in turn.
bool RenderColumns(const SampleSpan& span, const RenderSettings& settings, int threads,
                   bool progress, PaletteImage& image) {
  const int width = image.width;
  constexpr int kChunk = 256;
  std::atomic<int> next{0}, done{0};
  std::atomic<bool> failed{false};
  auto worker = [&]() {
    ColumnRenderer renderer;
    if (renderer.Begin(span, settings) != 0) {
      failed = true;
      return;
    }
    for (int first; (first = next.fetch_add(kChunk)) < width;) {
      renderer.DrawColumns(first, std::min(kChunk, width - first), image);
      done += std::min(kChunk, width - first);
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
    while (done.load() < width && !failed.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (Clock::now() - start > std::chrono::milliseconds(500)) {
        std::fprintf(stderr, "\rrendering column %d of %d (%d%%)", done.load(), width,
                     static_cast<int>(100.0 * done.load() / width));
        shown = true;
      }
    }
    self.join();
    if (shown) std::fprintf(stderr, "\rrendering column %d of %d (100%%)\n", width, width);
  }
  for (std::thread& t : pool) t.join();
  return !failed.load();
}

}  // namespace

int RunRender(const RenderOptions& options) {
  uint64_t fileSize = 0;
  WaveHeaderInfo header;
  if (int code = ReadHeader(options.input, &fileSize, &header)) return code;
  if (header.warning != Message::None) {
    std::fprintf(stderr, "harrowlight-cli: warning: %s\n", MessageText(header.warning));
  }

  // The parameters dialog: the file's rate and resolution unless chosen, the whole data.
  const uint32_t rate = options.sampleRate ? options.sampleRate : header.format.sampleRate;
  if (options.sampleRate && CheckSampleRate(rate) != Message::None) return Refuse(CheckSampleRate(rate));
  const int bits = options.bits ? options.bits : (header.format.bitsPerSample == 16 ? 16 : 8);
  const int channels = header.format.channels;
  const int order = options.fftLength == 2048 ? 11 : options.fftLength == 1024 ? 10 : 9;
  const float fftLength = static_cast<float>(1 << order);
  const float windowMs = options.broadband
                             ? BbWindowLength(options.windowMs, fftLength / static_cast<float>(rate) * 1000.0f)
                             : NbWindowLength(1 << order, static_cast<float>(rate));
  double endMs = options.endMs;
  if (endMs < 0) {
    const double bytesPerSecond = static_cast<double>(channels) * bits * rate / 8;
    endMs = std::floor(header.dataLength / bytesPerSecond * 1000.0);
  }

  SpanRequest request{options.beginMs, endMs,         rate,     static_cast<uint16_t>(channels),
                      static_cast<uint16_t>(bits), header.dataLength, options.timeScaleMs, windowMs, order};
  ColumnGeometry geometry = PlanColumns(request);
  if (geometry.refusal != Message::None) return Refuse(geometry.refusal);

  // The entire export keeps every whole group of four columns.
  const int width = ExportWidth(geometry.columnCount);
  if (width <= 0) {
    std::fprintf(stderr, "harrowlight-cli: fewer than 4 columns, no image to save\n");
    return kExitRefused;
  }

  const uint64_t fileOffset = (header.wavFlag ? header.dataOffset : 0) + uint64_t{geometry.beginOffset};
  FileView samples;
  if (!samples.Open(options.input, fileOffset, geometry.byteCount)) return FileError(Message::CannotOpenFile, options.input);

  PaletteImage image;
  if (!PrepareImage(image, width, geometry.bitmapHeight)) return Refuse(Message::NotEnoughMemoryForBitmap);
  const SampleSpan span{samples.data(), samples.size(), bits / 8, channels};
  const RenderSettings settings{order, static_cast<int32_t>(rate), windowMs, geometry.step};
  int threads = options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency());
  threads = std::max(1, std::min(threads, 64));
  if (!RenderColumns(span, settings, threads, options.progress, image)) return Refuse(Message::NotEnoughMemory);
  samples.Close();

  auto entries = PaletteEntries(BuildSourceTable(options.scheme), PaletteOffset(options.attenuation));
  BitmapColor colors[kPaletteSize];
  for (int i = 0; i < kPaletteSize; ++i) colors[i] = {entries[i].red, entries[i].green, entries[i].blue};
  uint8_t headers[kBitmapHeaderLength];
  if (!WriteBitmapHeaders(headers, width, image.height, colors, kPaletteSize)) return Refuse(Message::BitmapError);
  // The rows go straight from the image to the file, bottom row first.
  std::vector<ByteChunk> chunks;
  chunks.push_back({headers, sizeof headers});
  for (int y = image.height - 1; y >= 0; --y) chunks.push_back({image.Row(y), static_cast<size_t>(width)});
  if (!WriteFileReplacing(options.output, chunks.data(), chunks.size())) {
    return FileError(Message::ErrorWritingFile, options.output);
  }
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
  if (!WriteFileReplacing(output, file.data(), file.size())) return FileError(Message::ErrorWritingFile, output);
  return kExitOk;
}

}  // namespace hl
