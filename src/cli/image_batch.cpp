#include "cli/image_batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define HL_ISATTY _isatty
#define HL_FILENO _fileno
#else
#include <unistd.h>
#define HL_ISATTY isatty
#define HL_FILENO fileno
#endif

#include "app/analysis_settings.h"
#include "app/column_geometry.h"
#include "common/messages.h"
#include "app/time_scale_fit.h"
#include "cli/output_file.h"
#include "display/image_annotation.h"
#include "dsp/column_renderer.h"
#include "files/bitmap_file.h"
#include "files/levels_file.h"
#include "files/png_file.h"
#include "files/wave_format.h"

namespace hl {

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kShortestFile = 2048;
constexpr int kChunkColumns = 256;

enum class Outcome { Rendered, Refused, Failed };

// One input on its way through: planned, drawn chunk by chunk, saved.
struct Job {
  std::string input, output;
  Outcome outcome = Outcome::Rendered;
  std::string reason;
  Message warning = Message::None;  // "File may not be PCM Wave Format", told for a single file
  // What the plan found.
  uint32_t rate = 0;
  int bits = 0, channels = 0, order = 9;
  float windowMs = 0, timeScaleMs = 0;
  double beginMs = 0, endMs = 0;
  ColumnGeometry geometry;
  std::vector<uint8_t> stdinData;  // the samples of "-", held here
  FileView samples;
  SampleSpan span;
  RenderSettings settings;
  PaletteImage image;
  int width = 0;
  int nextChunk = 0, chunksDone = 0, chunkCount = 0;
};

bool ReadAllOfStdin(std::vector<uint8_t>& out) {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  uint8_t block[1 << 16];
  size_t got;
  try {
    while ((got = std::fread(block, 1, sizeof block, stdin)) > 0) out.insert(out.end(), block, block + got);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return !std::ferror(stdin);
}

void Refused(Job& job, Message message) {
  job.outcome = Outcome::Refused;
  job.reason = MessageText(message);
}

void Failed(Job& job, Message message, const std::string& path) {
  job.outcome = Outcome::Failed;
  job.reason = std::string(MessageText(message)) + ": " + path;
}

// The parameters dialog and "&Analyze File" for one input: header, rate and resolution,
// span, column geometry; then the samples. Leaves job.outcome set when it cannot go on.
void PlanJob(Job& job, const BatchOptions& batch, bool forLevels) {
  const RenderOptions& o = batch.render;
  const bool fromStdin = job.input == "-";
  uint64_t fileSize = 0;
  uint8_t block[kWaveSearchBlockLength] = {};
  size_t got = 0;
  if (fromStdin) {
    if (!ReadAllOfStdin(job.stdinData)) return Failed(job, Message::CannotOpenFile, "standard input");
    fileSize = job.stdinData.size();
    got = std::min<size_t>(sizeof block, job.stdinData.size());
    std::copy_n(job.stdinData.begin(), got, block);
  } else {
    if (!FileSizeOf(job.input, &fileSize)) return Failed(job, Message::CannotOpenFile, job.input);
    if (fileSize >= kShortestFile) {
      got = ReadFileRange(job.input, 0, sizeof block, block);
      if (got == 0) return Failed(job, Message::CannotOpenFile, job.input);
    }
  }
  if (fileSize < kShortestFile) return Refused(job, Message::SampleSizeTooSmall);
  const WaveHeaderInfo header = ReadWaveHeader(block, got, fileSize);
  job.warning = header.warning;

  job.rate = o.sampleRate ? o.sampleRate : header.format.sampleRate;
  if (o.sampleRate && CheckSampleRate(job.rate) != Message::None) return Refused(job, CheckSampleRate(job.rate));
  job.bits = o.bits ? o.bits : (header.format.bitsPerSample == 16 ? 16 : 8);
  job.channels = header.format.channels;
  job.order = o.fftLength == 2048 ? 11 : o.fftLength == 1024 ? 10 : 9;
  const float fftLength = static_cast<float>(1 << job.order);
  job.windowMs = o.broadband ? BbWindowLength(o.windowMs, fftLength / static_cast<float>(job.rate) * 1000.0f)
                             : NbWindowLength(1 << job.order, static_cast<float>(job.rate));
  job.beginMs = o.beginMs;
  job.endMs = o.endMs;
  if (job.endMs < 0 && job.channels > 0 && job.rate > 0) {
    const double bytesPerSecond = static_cast<double>(job.channels) * job.bits * job.rate / 8;
    job.endMs = std::floor(header.dataLength / bytesPerSecond * 1000.0);
  }
  SpanRequest request{job.beginMs, job.endMs, job.rate, static_cast<uint16_t>(job.channels),
                      static_cast<uint16_t>(job.bits), header.dataLength, o.timeScaleMs, job.windowMs, job.order};
  if (batch.widthPx > 0) {
    const float fitted = TimeScaleForWidth(request, batch.widthPx);
    if (fitted > 0) request.timeScaleMs = fitted;
  }
  job.timeScaleMs = request.timeScaleMs;
  job.geometry = PlanColumns(request);
  if (job.geometry.refusal != Message::None) return Refused(job, job.geometry.refusal);
  job.endMs = job.geometry.endMs;
  // An image keeps every whole group of four columns; levels keep every column.
  job.width = forLevels ? job.geometry.columnCount : ExportWidth(job.geometry.columnCount);
  if (job.width <= 0) return Refused(job, Message::TimeScaleTooSmall);

  const uint64_t offset = (header.wavFlag ? header.dataOffset : 0) + uint64_t{job.geometry.beginOffset};
  if (fromStdin) {
    // Bytes the data does not have read as zero, as they do from a file.
    std::vector<uint8_t> span(job.geometry.byteCount, 0);
    if (offset < job.stdinData.size()) {
      const size_t have = static_cast<size_t>(std::min<uint64_t>(job.geometry.byteCount, job.stdinData.size() - offset));
      std::copy_n(job.stdinData.begin() + static_cast<std::ptrdiff_t>(offset), have, span.begin());
    }
    job.stdinData.swap(span);
    job.span = SampleSpan{job.stdinData.data(), job.stdinData.size(), job.bits / 8, job.channels};
  } else {
    if (!job.samples.Open(job.input, offset, job.geometry.byteCount)) return Failed(job, Message::CannotOpenFile, job.input);
    job.span = SampleSpan{job.samples.data(), job.samples.size(), job.bits / 8, job.channels};
  }
  job.settings = RenderSettings{job.order, static_cast<int32_t>(job.rate), job.windowMs, job.geometry.step};
  if (!forLevels && !PrepareImage(job.image, job.width, job.geometry.bitmapHeight)) {
    return Refused(job, Message::NotEnoughMemoryForBitmap);
  }
  job.chunkCount = (job.width + kChunkColumns - 1) / kChunkColumns;
}

bool WriteOut(const std::string& path, const uint8_t* data, size_t size) {
  if (path == "-") {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    return std::fwrite(data, 1, size, stdout) == size && std::fflush(stdout) == 0;
  }
  return WriteFileReplacing(path, data, size);
}

// The drawn image as the export picture, annotated as asked, in the chosen format.
void SaveJob(Job& job, const BatchOptions& batch, ImageFormat format) {
  job.samples.Close();
  job.stdinData = std::vector<uint8_t>();
  const RenderOptions& o = batch.render;
  PaletteImage* picture = &job.image;
  if (batch.grid) {
    // The image starts at the span's begin, as the program's does after "&Analyze File".
    DrawGridInto(job.image, ComputeGrid(WholePictureGrid(job.image, job.geometry.columnCount, job.timeScaleMs, static_cast<float>(job.beginMs),
                                                          static_cast<int32_t>(job.rate), job.order)));
  }
  AxesPicture framed;
  if (batch.axes) {
    AxesInputs in;
    in.timeScaleMs = job.timeScaleMs;
    in.imageStartMs = static_cast<float>(job.beginMs);
    in.sampleRate = static_cast<int32_t>(job.rate);
    in.fftOrder = job.order;
    in.correction = PlanRender(job.settings).correction;
    const std::string name = job.input == "-" ? "standard input" : fs::path(job.input).filename().string();
    char title[160];
    std::snprintf(title, sizeof title, "  FFT %d %s, %g ms per column, %s, %d dB", 1 << job.order,
                  o.broadband ? "BB" : "NB", job.timeScaleMs, PaletteSchemeName(o.scheme), o.attenuation);
    in.title = name + title;
    if (!ComposeWithAxes(job.image, in, framed)) return Refused(job, Message::NotEnoughMemoryForBitmap);
    picture = &framed.image;
  }
  const auto entries = PaletteEntries(BuildSourceTable(o.scheme), PaletteOffset(o.attenuation));
  BitmapColor colors[kPaletteSize];
  for (int i = 0; i < kPaletteSize; ++i) colors[i] = {entries[i].red, entries[i].green, entries[i].blue};
  std::vector<uint8_t> file;
  if (format == ImageFormat::Png) {
    ImageDescription d;
    d.file = job.input;
    d.beginMs = job.beginMs;
    d.endMs = job.endMs;
    d.fftLength = 1 << job.order;
    d.broadband = o.broadband;
    d.windowMs = job.windowMs;
    d.timeScaleMs = job.timeScaleMs;
    d.scheme = o.scheme;
    d.attenuation = o.attenuation;
    file = BuildPngFile(picture->data, picture->stride, picture->width, picture->height, colors, kPaletteSize,
                        DescribeImage(d));
  } else {
    file = BuildBitmapFile(picture->data, picture->stride, picture->width, picture->height, colors, kPaletteSize);
  }
  job.image = PaletteImage();
  if (file.empty()) return Refused(job, Message::NotEnoughMemoryForBitmap);
  if (!WriteOut(job.output, file.data(), file.size())) return Failed(job, Message::ErrorWritingFile, job.output);
}

// The .wav files of a folder (and of its subfolders with -r), in name order.
void CollectInputs(const std::string& argument, bool recurse, std::vector<std::pair<std::string, std::string>>& out) {
  std::error_code error;
  if (argument != "-" && fs::is_directory(argument, error)) {
    std::vector<std::pair<std::string, std::string>> found;
    auto take = [&](const fs::directory_entry& entry) {
      std::string ext = entry.path().extension().string();
      std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (ext == ".wav" && entry.is_regular_file(error)) {
        found.push_back({entry.path().string(), fs::relative(entry.path(), argument, error).replace_extension().string()});
      }
    };
    if (recurse) {
      for (const auto& e : fs::recursive_directory_iterator(argument, fs::directory_options::skip_permission_denied, error)) take(e);
    } else {
      for (const auto& e : fs::directory_iterator(argument, error)) take(e);
    }
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
  } else {
    out.push_back({argument, argument == "-" ? std::string("stdin") : fs::path(argument).stem().string()});
  }
}

int ThreadCount(const RenderOptions& o) {
  const int threads = o.threads > 0 ? o.threads : static_cast<int>(std::thread::hardware_concurrency());
  return std::max(1, std::min(threads, 64));
}

// The pool: every thread takes the next chunk of columns of a planned input; when none is
// left it plans the next input (at most threads + 1 are held at once, so memory stays that
// of a few images), and the thread that draws an input's last chunk saves it.
class Pool {
 public:
  Pool(std::vector<std::unique_ptr<Job>>& jobs, const BatchOptions& batch, ImageFormat format, int threads)
      : jobs_(jobs), batch_(batch), format_(format), threads_(threads) {}

  void Run(bool progress) {
    std::vector<std::thread> pool;
    for (int i = 0; i < threads_; ++i) pool.emplace_back([this] { Work(); });
    if (progress) {
      using Clock = std::chrono::steady_clock;
      const auto start = Clock::now();
      bool shown = false;
      std::unique_lock<std::mutex> lock(mutex_);
      while (finished_ < jobs_.size()) {
        changed_.wait_for(lock, std::chrono::milliseconds(200));
        if (Clock::now() - start < std::chrono::milliseconds(500)) continue;
        std::fprintf(stderr, "\r%zu of %zu files done, %d columns drawn", finished_, jobs_.size(), columns_.load());
        shown = true;
      }
      if (shown) std::fprintf(stderr, "\r%zu of %zu files done, %d columns drawn\n", finished_, jobs_.size(), columns_.load());
    }
    for (std::thread& t : pool) t.join();
  }

 private:
  void Work() {
    ColumnRenderer renderer;
    Job* begun = nullptr;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      Job* job = nullptr;
      int chunk = -1;
      for (Job* j : active_) {
        if (j->nextChunk < j->chunkCount) {
          job = j;
          chunk = j->nextChunk++;
          break;
        }
      }
      if (job) {
        lock.unlock();
        if (begun != job) {
          if (begun) renderer.End();
          begun = renderer.Begin(job->span, job->settings) == 0 ? job : nullptr;
        }
        const int first = chunk * kChunkColumns, count = std::min(kChunkColumns, job->width - first);
        if (begun) renderer.DrawColumns(first, count, job->image);
        columns_ += count;
        lock.lock();
        if (!begun) job->outcome = Outcome::Failed, job->reason = MessageText(Message::NotEnoughMemory);
        if (++job->chunksDone == job->chunkCount) {
          active_.erase(std::find(active_.begin(), active_.end(), job));
          lock.unlock();
          if (begun == job) renderer.End(), begun = nullptr;
          if (job->outcome == Outcome::Rendered) SaveJob(*job, batch_, format_);
          job->image = PaletteImage();
          job->samples.Close();
          lock.lock();
          Finish();
        }
        continue;
      }
      if (next_ < jobs_.size() && active_.size() <= static_cast<size_t>(threads_)) {
        Job* planned = jobs_[next_++].get();
        lock.unlock();
        if (planned->outcome == Outcome::Rendered) PlanJob(*planned, batch_, false);
        lock.lock();
        if (planned->outcome == Outcome::Rendered) active_.push_back(planned);
        else Finish();
        changed_.notify_all();
        continue;
      }
      if (next_ >= jobs_.size() && active_.empty()) break;
      changed_.wait(lock);
    }
    lock.unlock();
    if (begun) renderer.End();
    changed_.notify_all();
  }

  void Finish() {
    ++finished_;
    changed_.notify_all();
  }

  std::vector<std::unique_ptr<Job>>& jobs_;
  const BatchOptions& batch_;
  const ImageFormat format_;
  const int threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Job*> active_;
  size_t next_ = 0, finished_ = 0;
  std::atomic<int> columns_{0};
};

}  // namespace

bool ParseBatchArguments(const std::vector<std::string>& args, bool levels, BatchOptions* out, std::string* problem) {
  BatchOptions& b = *out;
  RenderOptions& o = b.render;
  auto number = [](const std::string& text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
  };
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "-" || name.empty() || name[0] != '-') {
      b.inputs.push_back(name);
      continue;
    }
    if (!levels && name == "--grid") { b.grid = true; continue; }
    if (!levels && name == "--axes") { b.axes = true; continue; }
    if (!levels && name == "-r") { b.recurse = true; continue; }
    if (i + 1 >= args.size()) return *problem = "missing value for " + name, false;
    const std::string& value = args[++i];
    double v = 0;
    const bool numeric = number(value, &v);
    bool ok = true;
    if (name == "-o" || name == "--output") b.output = value;
    else if (!levels && name == "-d") b.outputFolder = value;
    else if (!levels && name == "--format" && (value == "png" || value == "bmp"))
      b.formatGiven = true, b.format = value == "png" ? ImageFormat::Png : ImageFormat::Bmp;
    else if (!levels && name == "--width" && numeric && v >= 4 && v <= 1e7 && v == std::floor(v)) b.widthPx = static_cast<int>(v);
    else if (name == "--begin" && numeric) o.beginMs = v;
    else if (name == "--end" && numeric) o.endMs = v;
    else if (name == "--fft" && (value == "512" || value == "1024" || value == "2048")) o.fftLength = std::atoi(value.c_str());
    else if (name == "--mode" && (value == "nb" || value == "NB")) o.broadband = false;
    else if (name == "--mode" && (value == "bb" || value == "BB")) o.broadband = true;
    else if (name == "--window-ms" && numeric) o.windowMs = static_cast<float>(v);
    else if (name == "--time-scale" && numeric) o.timeScaleMs = static_cast<float>(v);
    else if (name == "--bits" && (value == "8" || value == "16")) o.bits = std::atoi(value.c_str());
    else if (name == "--rate" && numeric && v >= 1 && v <= 1e6) o.sampleRate = static_cast<uint32_t>(v);
    else if (name == "--scheme") ok = ParsePaletteScheme(value.c_str(), &o.scheme);
    else if (name == "--attenuation" && numeric && v >= 0 && v <= 36 && v == std::floor(v)) o.attenuation = static_cast<int>(v);
    else if (name == "--threads" && numeric && v >= 1 && v <= 64) o.threads = static_cast<int>(v);
    else ok = false;
    if (!ok) return *problem = "bad option or value: " + name + " " + value, false;
  }
  const char* command = levels ? "levels" : "render";
  if (b.inputs.empty()) return *problem = std::string(command) + " needs an input file", false;
  if (levels && b.inputs.size() > 1) return *problem = "levels takes one input file", false;
  if (!b.output.empty() && !b.outputFolder.empty()) return *problem = "give either -o or -d", false;
  if (b.outputFolder.empty() && b.output.empty()) {
    return *problem = std::string(command) + (levels ? " needs -o OUT.csv|OUT.npy" : " needs -o OUT.bmp|OUT.png or -d OUTDIR"), false;
  }
  if (!levels && b.outputFolder.empty()) {
    std::error_code error;
    if (b.inputs.size() > 1 || (b.inputs[0] != "-" && fs::is_directory(b.inputs[0], error))) {
      return *problem = "several inputs need -d OUTDIR", false;
    }
  }
  o.progress = HL_ISATTY(HL_FILENO(stderr)) != 0;
  return true;
}

int RunImageBatch(const BatchOptions& options) {
  std::vector<std::pair<std::string, std::string>> inputs;
  for (const std::string& argument : options.inputs) CollectInputs(argument, options.recurse, inputs);
  const bool toFolder = !options.outputFolder.empty();
  ImageFormat format = options.format;
  if (!options.formatGiven) format = toFolder ? ImageFormat::Png : ImageFormatOfName(options.output);
  std::vector<std::unique_ptr<Job>> jobs;
  std::vector<std::string> taken;
  for (const auto& input : inputs) {
    auto job = std::make_unique<Job>();
    job->input = input.first;
    job->output = toFolder ? (fs::path(options.outputFolder) / input.second).string() +
                                 (format == ImageFormat::Png ? ".png" : ".bmp")
                           : options.output;
    if (toFolder) {
      std::error_code error;
      fs::create_directories(fs::path(job->output).parent_path(), error);
      // Two inputs of one name from different folders would overwrite each other's image.
      if (std::find(taken.begin(), taken.end(), job->output) != taken.end()) {
        job->outcome = Outcome::Failed;
        job->reason = "an earlier input has the same name: " + job->output;
      }
      taken.push_back(job->output);
    }
    jobs.push_back(std::move(job));
  }
  if (jobs.empty()) {
    std::fprintf(stderr, "harrowlight-cli: no .wav files found\n");
    return kExitRefused;
  }
  const bool single = jobs.size() == 1 && !toFolder;
  Pool pool(jobs, options, format, ThreadCount(options.render));
  pool.Run(options.render.progress && options.output != "-");

  int rendered = 0, refused = 0, failed = 0;
  for (const auto& job : jobs) {
    rendered += job->outcome == Outcome::Rendered;
    refused += job->outcome == Outcome::Refused;
    failed += job->outcome == Outcome::Failed;
  }
  if (single) {
    const Job& job = *jobs.front();
    if (job.warning != Message::None) std::fprintf(stderr, "harrowlight-cli: warning: %s\n", MessageText(job.warning));
    if (job.outcome != Outcome::Rendered) std::fprintf(stderr, "harrowlight-cli: %s\n", job.reason.c_str());
  } else {
    std::fprintf(stderr, "rendered %d, refused %d, failed %d\n", rendered, refused, failed);
    for (const auto& job : jobs) {
      if (job->outcome == Outcome::Refused) std::fprintf(stderr, "  refused %s: %s\n", job->input.c_str(), job->reason.c_str());
      if (job->outcome == Outcome::Failed) std::fprintf(stderr, "  failed %s: %s\n", job->input.c_str(), job->reason.c_str());
    }
  }
  if (failed) return kExitFileError;
  if (refused) return kExitRefused;
  return kExitOk;
}

int RunLevels(const BatchOptions& options) {
  Job job;
  job.input = options.inputs.front();
  PlanJob(job, options, true);
  if (job.outcome != Outcome::Rendered) {
    std::fprintf(stderr, "harrowlight-cli: %s\n", job.reason.c_str());
    return job.outcome == Outcome::Refused ? kExitRefused : kExitFileError;
  }
  LevelsTable table;
  table.columns = job.width;
  table.bins = (1 << job.order) / 2;
  table.firstColumnMs = job.beginMs;
  table.columnMs = job.timeScaleMs;
  table.hzPerBin = static_cast<double>(job.rate) / (1 << job.order);
  try {
    table.levels.resize(static_cast<size_t>(table.columns) * table.bins);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "harrowlight-cli: %s\n", MessageText(Message::NotEnoughMemory));
    return kExitRefused;
  }
  const int threads = ThreadCount(options.render);
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    ColumnRenderer renderer;
    if (renderer.Begin(job.span, job.settings) != 0) return void(failed = true);
    for (int first; (first = next.fetch_add(kChunkColumns)) < table.columns;) {
      renderer.ColumnLevels(first, std::min(kChunkColumns, table.columns - first),
                            table.levels.data() + static_cast<size_t>(first) * table.bins);
    }
    renderer.End();
  };
  std::vector<std::thread> pool;
  for (int i = 0; i < threads; ++i) pool.emplace_back(work);
  for (std::thread& t : pool) t.join();
  if (failed) {
    std::fprintf(stderr, "harrowlight-cli: %s\n", MessageText(Message::NotEnoughMemory));
    return kExitRefused;
  }
  std::string ext = fs::path(options.output).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  bool written;
  if (ext == ".npy") {
    const std::vector<uint8_t> npy = LevelsNpy(table);
    written = WriteOut(options.output, npy.data(), npy.size());
  } else {
    const std::string csv = LevelsCsv(table);
    written = WriteOut(options.output, reinterpret_cast<const uint8_t*>(csv.data()), csv.size());
  }
  if (!written) {
    std::fprintf(stderr, "harrowlight-cli: %s: %s\n", MessageText(Message::ErrorWritingFile), options.output.c_str());
    return kExitFileError;
  }
  return kExitOk;
}

}  // namespace hl
