#include "cli/render_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "core/analysis/analysis_settings.h"
#include "core/analysis/time_scale_fit.h"
#include "core/base/limits.h"
#include "core/image/bitmap_file.h"
#include "core/samples/frame_decoder.h"
#include "core/files/wave_format.h"

namespace hl {

namespace {

constexpr int kChunkColumns = 256;
// Input read per chunk of columns: enough for long reads, little beside the image.
constexpr uint64_t kChunkBytes = 4u << 20;
// The largest image held: what a BMP file's 32-bit size can describe beside its headers. A
// PNG or a levels table of more would be no more useful and would take that much memory.
constexpr uint64_t kLargestImageBytes = 0xFFFFFFFFu - kBitmapHeaderLength;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// "1 byte", "2 bytes".
std::string Count(unsigned long long n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

// Why PlanColumns refused, in terms of the options that were given.
std::string Explain(Message refusal, const RenderOptions& o, const PlannedInput& job, const ColumnGeometry& g, double dataMs) {
  switch (refusal) {
    case Message::TimeScaleOutOfRange:
      return Format("--time-scale %g ms lies outside %s", job.timeScaleMs, LimitText(Limit::TimeScaleRange).c_str());
    case Message::FftWindowTooSmall:
      if (o.broadband) {
        return Format("--window-ms %g is shorter than %s", o.windowMs, LimitText(Limit::ShortestWindow).c_str());
      }
      return Format("the %d-point window at %u Hz lasts %.3f ms, under %s", o.fftLength, job.rate, job.windowMs,
                    LimitText(Limit::ShortestWindow).c_str());
    case Message::ImproperBeginOrEnd:
      if (o.toDataEnd) {
        return Format("--begin %g ms and the data's end (%.3f ms) select no span", o.beginMs, dataMs);
      }
      return Format("--begin %g and --end %g ms select no span inside the data (0 to %.0f ms)", o.beginMs, o.endMs,
                    std::floor(dataMs));
    case Message::SampleSizeTooSmall:
      return Format("the span from %g to %g ms holds %s, fewer than %s", o.beginMs, g.endMs,
                    Count(g.byteCount, "byte").c_str(), LimitText(Limit::ShortestFile).c_str());
    case Message::ImproperEntry:
      return Format("%u Hz x %s x %g ms gives less than one frame between columns", job.rate,
                    Count(static_cast<unsigned>(job.channels), "channel").c_str(), job.timeScaleMs);
    case Message::TimeScaleTooSmall:
      if (job.channels == 1) return Format("the span holds less than one %d-point frame of its 1 channel", o.fftLength);
      return Format("the span holds less than one %d-point frame of all %d channels", o.fftLength, job.channels);
    default:
      return "";
  }
}

// The span's bytes [begin, begin + count) of a planned input, read from the file (or the
// copy of standard input) into `buffer`. Null when the file no longer holds them.
const uint8_t* ReadChunk(PlannedInput& job, uint64_t begin, size_t count, std::vector<uint8_t>& buffer, bool* memory) {
  *memory = false;
  try {
    if (buffer.size() < count) buffer.resize(count);
  } catch (const std::bad_alloc&) {
    *memory = true;
    return nullptr;
  }
  return job.file.ReadAt(job.spanOffset + begin, count, buffer.data()) ? buffer.data() : nullptr;
}

// The span bytes columns first .. first + count - 1 read: from the first one's first sample
// to the last one's last, clipped to the span.
void ChunkBytes(const PlannedInput& job, int first, int count, uint64_t* begin, size_t* length) {
  const uint64_t bytesPerColumn = static_cast<uint64_t>(job.settings.step) * job.span.bytesPerSample;
  const uint64_t frameBytes = static_cast<uint64_t>(job.channels) * (1u << job.order) * job.span.bytesPerSample;
  *begin = static_cast<uint64_t>(first) * bytesPerColumn;
  const uint64_t end = std::min<uint64_t>(static_cast<uint64_t>(first + count - 1) * bytesPerColumn + frameBytes,
                                          job.span.byteCount);
  *length = static_cast<size_t>(end > *begin ? end - *begin : 0);
}

std::string ShortRead(const PlannedInput& job) { return job.input + " became shorter while it was read"; }

void Refused(PlannedInput& job, Message message, const std::string& why = std::string()) {
  job.outcome = Outcome::Refused;
  job.reason = MessageText(message);
  if (!why.empty()) job.reason += ": " + why;
}

void Failed(PlannedInput& job, const std::string& reason) {
  job.outcome = Outcome::Failed;
  job.reason = reason;
}


// What the plan keeps of the header beside the job's own fields. Wider and companded
// encodings are planned as the 16-bit file of the same samples, so they give its image;
// their byte offsets are scaled back to the file's own sample size.
struct InputLayout {
  SampleLayout header;
  bool native = true;        // 8- or 16-bit PCM or raw samples, read as they are
  uint64_t sampleBytes = 2;  // one sample in the file
  uint64_t SourceBytes(uint64_t planBytes) const { return native ? planBytes : planBytes / 2 * sampleBytes; }
};

// Open: the file's (or standard input's) size and first block; the length check and the
// header.
void ReadInputHeader(PlannedInput& job, InputLayout& layout) {
  uint64_t fileSize = 0;
  if (!FileSizeOf(job.input, &fileSize)) return Failed(job, OpenFailure(job.input));
  if (fileSize >= kShortestFileBytes) {
    uint8_t first[1];
    if (ReadFileRange(job.input, 0, 1, first) == 0) return Failed(job, OpenFailure(job.input));
  }
  // A compressed file is read as the WAV it decodes to from here on.
  const std::string undecoded = job.file.Take(job.input, fileSize);
  if (!undecoded.empty()) {
    job.outcome = Outcome::Refused;
    job.reason = undecoded;
    return;
  }
  fileSize = job.file.Size();
  if (fileSize < kShortestFileBytes) {
    return Refused(job, Message::SampleSizeTooSmall,
                   Format("%s%s holds %s, fewer than %s", job.file.Decoded() ? "the WAV decoded from " : "",
                          InputName(job.input).c_str(), Count(fileSize, "byte").c_str(),
                          LimitText(Limit::ShortestFile).c_str()));
  }
  // Standard input is read from its copy, so it is walked like a file of its length.
  const ReadBytesAt read = job.file.Bytes();
  const SampleLayout& header = layout.header = ReadSampleLayout(read, fileSize);
  job.warning = header.warning;
  if (header.problem == Message::CannotOpenFile) {
    return Failed(job, OpenFailure(job.input));
  }
  if (header.refused) {
    job.outcome = Outcome::Refused;
    job.reason = LayoutRefusalText(header);
    return;
  }
  layout.native = IsNativeEncoding(header.encoding);
  layout.sampleBytes = static_cast<uint64_t>(EncodingBytes(header.encoding));
}

// Check: the rate and the resolution the analysis reads the samples at.
void TakeRateAndBits(PlannedInput& job, const RenderOptions& o, const InputLayout& layout) {
  const SampleLayout& header = layout.header;
  // A rate typed for the file is one the parameters dialog accepts or the file's own; the
  // file's own rate may be anything from 4000 Hz to 384 kHz (the image covers a wider band).
  job.rate = o.sampleRate ? o.sampleRate : header.sampleRate;
  const bool ownRate = job.rate == header.sampleRate && job.rate >= static_cast<uint32_t>(kLowestSampleRate) &&
                       job.rate <= static_cast<uint32_t>(kHighestFileRate);
  if (CheckSampleRate(job.rate) != Message::None && !ownRate) {
    return Refused(job, Message::SampleRateOutOfRange,
                   o.sampleRate ? Format("--rate %u Hz lies outside %s and is not the file's own rate", job.rate,
                                         LimitText(Limit::SampleRateRange).c_str())
                                : Format("the file's rate of %u Hz lies outside %s (choose one with --rate)", job.rate,
                                         LimitText(Limit::FileRateRange).c_str()));
  }
  if (!layout.native && o.bits) {
    return Refused(job, Message::ImproperEntry,
                   Format("--bits applies to 8- and 16-bit PCM and raw files only, not to %s", header.formatName));
  }
  job.bits = o.bits ? o.bits : (header.containerBytes == 2 || !layout.native ? 16 : 8);
  job.channels = header.channels;
}

// Plan: window, span and column geometry, the time scale fitted to widthPx when given.
void PlanGeometry(PlannedInput& job, const RenderOptions& o, const InputLayout& layout, int widthPx) {
  const uint64_t planLength =
      layout.native ? layout.header.dataLength : layout.header.dataLength / layout.sampleBytes * 2;
  const uint32_t dataLength = static_cast<uint32_t>(std::min<uint64_t>(planLength, 0xFFFFFFFFu));
  job.order = FftOrderOfChoice(FftSizeOfLength(o.fftLength));
  const float fftLength = static_cast<float>(1 << job.order);
  job.windowMs = o.broadband ? BbWindowLength(o.windowMs, fftLength / static_cast<float>(job.rate) * 1000.0f)
                             : NbWindowLength(1 << job.order, static_cast<float>(job.rate));
  const double bytesPerSecond = static_cast<double>(job.channels) * job.bits * job.rate / 8;
  const double dataMs = bytesPerSecond > 0 ? dataLength / bytesPerSecond * 1000.0 : 0;
  job.beginMs = o.beginMs;
  job.endMs = o.toDataEnd ? std::floor(dataMs) : o.endMs;
  SpanRequest request{job.beginMs, job.endMs, job.rate, static_cast<uint16_t>(job.channels),
                      static_cast<uint16_t>(job.bits), dataLength, o.timeScaleMs, job.windowMs, job.order};
  if (widthPx > 0) {
    const float fitted = TimeScaleForWidth(request, widthPx);
    if (fitted > 0) request.timeScaleMs = fitted;
  }
  job.timeScaleMs = request.timeScaleMs;
  job.geometry = PlanColumns(request);
  if (job.geometry.refusal != Message::None) {
    return Refused(job, job.geometry.refusal, Explain(job.geometry.refusal, o, job, job.geometry, dataMs));
  }
  job.endMs = job.geometry.endMs;
}

// Check: the image's width, and before anything is allocated, its size: an image no BMP
// can describe is refused for every format.
void CheckImageSize(PlannedInput& job, bool forLevels) {
  // An image keeps every whole group of four columns; levels keep every column.
  job.width = forLevels ? job.geometry.columnCount : ExportWidth(job.geometry.columnCount);
  if (job.width <= 0) return Refused(job, Message::TimeScaleTooSmall, "fewer than 4 columns, no image to save");
  const uint64_t imageBytes = forLevels ? uint64_t{2} * static_cast<uint64_t>(job.width) * ((1u << job.order) / 2)
                                        : static_cast<uint64_t>(job.width) * job.geometry.bitmapHeight;
  if (imageBytes <= kLargestImageBytes) return;
  const double gib = static_cast<double>(imageBytes + kBitmapHeaderLength) / (1u << 30);
  if (forLevels) {
    return Refused(job, Message::NotEnoughMemory,
                   Format("the levels of %d columns would take %.1f GiB (choose a shorter span or a longer "
                          "--time-scale)", job.width, gib));
  }
  return Refused(job, Message::BitmapError,
                 Format("the image of %d x %d pixels would make a %.1f GiB file, larger than the 4 GiB a BMP "
                        "file can hold (choose a shorter span or a longer --time-scale)",
                        job.width, job.geometry.bitmapHeight, gib));
}

// Open for the run: the file (or the copy of standard input) opened for reading chunk by
// chunk.
void HoldSpan(PlannedInput& job, const InputLayout& layout) {
  job.spanOffset = (layout.header.wavFlag ? layout.header.dataOffset : 0) + layout.SourceBytes(job.geometry.beginOffset);
  if (!job.file.Open(job.input)) return Failed(job, OpenFailure(job.input));
}

// Finish: the span and the renderer's settings, the image allocated, the chunk size.
void FinishPlan(PlannedInput& job, const InputLayout& layout, uint64_t spanBytes, bool forLevels) {
  const SampleEncoding encoding =
      layout.native ? (job.bits == 8 ? SampleEncoding::Unsigned8 : SampleEncoding::Pcm16) : layout.header.encoding;
  job.span = SampleSpan{nullptr, static_cast<size_t>(spanBytes),
                        layout.native ? job.bits / 8 : static_cast<int>(layout.sampleBytes), job.channels, encoding};
  job.settings = RenderSettings{job.order, static_cast<int32_t>(job.rate), job.windowMs, job.geometry.step};
  if (!forLevels && !AllocateImage(job.image, job.width, job.geometry.bitmapHeight)) {
    return Refused(job, Message::NotEnoughMemoryForBitmap, Format("%d x %d pixels", job.width, job.geometry.bitmapHeight));
  }
  // A chunk reads at most about kChunkBytes of input (but always one whole frame).
  const uint64_t bytesPerColumn = static_cast<uint64_t>(job.settings.step) * job.span.bytesPerSample;
  job.chunkColumns = static_cast<int>(std::max<uint64_t>(1, std::min<uint64_t>(kChunkColumns, kChunkBytes / bytesPerColumn)));
}

}  // namespace

// The parameters dialog and "&Analyze File" for one input: header, rate and resolution,
// span, column geometry, the image's size; then the input opened for reading chunk by
// chunk and the image allocated. Leaves job.outcome set when it cannot go on.
void PlanInput(PlannedInput& job, const RenderOptions& o, int widthPx, bool forLevels) {
  const auto going = [&job] { return job.outcome == Outcome::Rendered; };
  InputLayout layout;
  ReadInputHeader(job, layout);
  if (going()) TakeRateAndBits(job, o, layout);
  if (going()) PlanGeometry(job, o, layout, widthPx);
  if (going()) CheckImageSize(job, forLevels);
  if (!going()) return;
  // The step moves by whole frames up to 500 ms: a long span may still be wider than asked.
  if (widthPx > 0 && job.width > widthPx) {
    job.note = Format("--width %d: the time scale is capped at %s, so the image is %d columns wide", widthPx,
                      LimitText(Limit::LongestTimeScale).c_str(), job.width);
  }
  const uint64_t spanBytes = layout.SourceBytes(job.geometry.byteCount);
  if (spanBytes > SIZE_MAX) return Refused(job, Message::NotEnoughMemory);
  HoldSpan(job, layout);
  if (going()) FinishPlan(job, layout, spanBytes, forLevels);
}

int BeginRenderer(const PlannedInput& job, ColumnRenderer& renderer) {
  return renderer.Begin(SampleSpan{nullptr, 0, job.span.bytesPerSample, job.channels, job.span.encoding}, job.settings);
}

bool DrawChunk(PlannedInput& job, ColumnRenderer& renderer, int first, int count, std::vector<uint8_t>& buffer,
               int16_t* levels, Outcome* outcome, std::string* reason) {
  uint64_t begin = 0;
  size_t length = 0;
  ChunkBytes(job, first, count, &begin, &length);
  bool memory = false;
  const uint8_t* bytes = ReadChunk(job, begin, length, buffer, &memory);
  if (!bytes) {
    *outcome = memory ? Outcome::Refused : Outcome::Failed;
    *reason = memory ? MessageText(Message::NotEnoughMemory) : ShortRead(job);
    return false;
  }
  renderer.Rebase(SampleSpan{bytes, length, job.span.bytesPerSample, job.channels, job.span.encoding}, first);
  if (levels) {
    renderer.ColumnLevels(first, count, levels);
  } else {
    // The image was allocated unset: each chunk's columns are cleared by the thread that draws them.
    ClearColumns(job.image, first, count);
    renderer.DrawColumns(first, count, job.image);
  }
  return true;
}

ReadBytesAt FileBytes(const std::string& path) {
  return [path](uint64_t offset, uint8_t* out, size_t count) { return ReadFileRange(path, offset, count, out); };
}

int RefuseInput(Message message, const std::string& why) {
  if (why.empty()) {
    std::fprintf(stderr, "harrowlight-cli: %s\n", MessageText(message));
  } else {
    std::fprintf(stderr, "harrowlight-cli: %s: %s\n", MessageText(message), why.c_str());
  }
  return kExitRefused;
}

std::string WithWarning(const std::string& reason, Message warning) {
  if (warning == Message::None) return reason;
  return reason + " (" + MessageText(warning) + ")";
}

int ThreadCount(const RenderOptions& options) {
  const int threads = options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency());
  return std::max(1, std::min(threads, 64));
}

int OutcomeError(Outcome outcome, const std::string& reason) {
  std::fprintf(stderr, "harrowlight-cli: %s\n", reason.c_str());
  return outcome == Outcome::Refused ? kExitRefused : kExitFileError;
}

Outcome DrawAllColumns(PlannedInput& job, int threads, int16_t* levels, std::string* reason) {
  const size_t bins = (1u << job.order) / 2;
  std::atomic<int> next{0};
  std::atomic<bool> stop{false};
  Outcome outcome = Outcome::Rendered;
  std::mutex failure;
  auto worker = [&]() {
    ColumnRenderer renderer;
    std::vector<uint8_t> buffer;
    Outcome mine = Outcome::Rendered;
    std::string why;
    if (BeginRenderer(job, renderer) != 0) {
      mine = Outcome::Refused;
      why = MessageText(Message::NotEnoughMemory);
    }
    for (int first; mine == Outcome::Rendered && !stop.load() && (first = next.fetch_add(job.chunkColumns)) < job.width;) {
      DrawChunk(job, renderer, first, std::min(job.chunkColumns, job.width - first), buffer,
                levels ? levels + static_cast<size_t>(first) * bins : nullptr, &mine, &why);
    }
    renderer.End();
    // The first failure is the one reported; the others stop at their next chunk.
    if (mine != Outcome::Rendered) {
      stop = true;
      std::lock_guard<std::mutex> hold(failure);
      if (outcome == Outcome::Rendered) outcome = mine, *reason = why;
    }
  };
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; ++i) pool.emplace_back(worker);
  for (std::thread& t : pool) t.join();
  job.file.Close();
  return outcome;
}

}  // namespace hl
