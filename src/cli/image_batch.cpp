#include "cli/image_batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <thread>


#include "core/analysis/analysis_settings.h"
#include "core/analysis/column_geometry.h"
#include "core/base/limits.h"
#include "core/base/messages.h"
#include "core/base/sha256.h"
#include "core/analysis/time_scale_fit.h"
#include "cli/option_values.h"
#include "cli/output_file.h"
#include "core/export/image_annotation.h"
#include "core/dsp/column_renderer.h"
#include "core/image/bitmap_file.h"
#include "core/files/levels_file.h"
#include "core/image/png_file.h"
#include "core/files/wave_format.h"

namespace hl {

namespace {

namespace fs = std::filesystem;
// Names are UTF-8 throughout (the Windows build reads its arguments wide and converts them):
// paths are made with u8path and read back with u8string, never through the narrow code page.

// One input on its way through the pool: planned, drawn chunk by chunk, saved.
struct Job : PlannedInput {
  std::string output;
  int nextChunk = 0, chunksDone = 0, chunkCount = 0;
  bool skipped = false;  // --skip-existing kept its output
  std::chrono::steady_clock::time_point started{};
  double seconds = 0;
  uint64_t outputBytes = 0;  // what was written, for the manifest
  std::string sha256;
};

void Refused(Job& job, Message message, const std::string& why = std::string()) {
  job.outcome = Outcome::Refused;
  job.reason = MessageText(message);
  if (!why.empty()) job.reason += ": " + why;
}

// The drawn image as the export picture, annotated as asked, in the chosen format.
void SaveJob(Job& job, const BatchOptions& batch, ImageFormat format) {
  job.file.Close();
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
    const std::string name = job.input == "-" ? "standard input" : fs::u8path(job.input).filename().u8string();
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
  std::string failure;
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
    const std::vector<uint8_t> file = BuildPngFile(picture->data, picture->stride, picture->width, picture->height,
                                                   colors, kPaletteSize, DescribeImage(d), ThreadCount(o));
    if (file.empty()) return Refused(job, Message::NotEnoughMemoryForBitmap);
    failure = WriteOutput(job.output, file.data(), file.size());
    if (!batch.manifest.empty() && failure.empty()) {
      Sha256 hash;
      hash.Update(file.data(), file.size());
      job.outputBytes = file.size();
      job.sha256 = hash.FinishHex();
    }
  } else {
    uint8_t headers[kBitmapHeaderLength];
    if (!WriteBitmapHeaders(headers, picture->width, picture->height, colors, kPaletteSize)) {
      return Refused(job, Message::BitmapError,
                     "the picture of " + std::to_string(picture->width) + " x " + std::to_string(picture->height) +
                         " pixels is larger than a BMP file can hold");
    }
    // The rows go straight from the image to the file, bottom row first, so the picture is
    // never copied.
    std::vector<ByteChunk> chunks;
    chunks.push_back({headers, sizeof headers});
    for (int y = picture->height - 1; y >= 0; --y) {
      chunks.push_back({picture->data + static_cast<size_t>(y) * picture->stride, static_cast<size_t>(picture->width)});
    }
    failure = WriteOutput(job.output, chunks.data(), chunks.size());
    if (!batch.manifest.empty() && failure.empty()) {
      Sha256 hash;
      for (const ByteChunk& c : chunks) hash.Update(c.data, c.size), job.outputBytes += c.size;
      job.sha256 = hash.FinishHex();
    }
  }
  job.image = PaletteImage();
  if (!failure.empty()) {
    job.outcome = Outcome::Failed;
    job.reason = failure;
  }
}

// One input of a batch: its path, the name its image takes under -d, and, when it cannot
// be read at all (a folder that cannot be listed), why.
struct BatchInput {
  std::string path, name, failure;
  bool operator<(const BatchInput& other) const { return path < other.path; }
};

// The sound files of a folder (and of its subfolders with -r), in name order: .wav, and the
// compressed .flac, .mp3, .ogg, .oga and .opus. Every entry so named that is not a folder is
// an input, so a pipe or a dangling link is reported as unreadable rather than passed over;
// a subfolder that cannot be listed is one too.
void CollectFolder(const fs::path& root, const fs::path& folder, bool recurse, std::vector<BatchInput>& found) {
  const auto unlisted = [&](const std::error_code& error) {
    found.push_back({folder.u8string(), "",
                     std::string(MessageText(Message::CannotOpenFile)) + ": " + folder.u8string() + ": " + error.message()});
  };
  std::error_code error;
  fs::directory_iterator entries(folder, error);
  if (error) return unlisted(error);
  for (; entries != fs::directory_iterator(); entries.increment(error)) {
    const fs::path path = entries->path();
    std::error_code ignored;
    // A link to a folder is a folder (it is not followed, as no folder is twice).
    const bool folderEntry = fs::is_directory(path, ignored);
    if (folderEntry && !fs::is_symlink(path, ignored) && recurse) CollectFolder(root, path, recurse, found);
    if (!folderEntry && (LowerExtension(path.u8string()) == ".wav" || NamedCompressed(path.u8string()))) {
      found.push_back({path.u8string(), fs::relative(path, root, ignored).replace_extension().u8string(), ""});
    }
  }
  if (error) unlisted(error);
}

void CollectInputs(const std::string& argument, bool recurse, std::vector<BatchInput>& out) {
  std::error_code error;
  if (argument != "-" && fs::is_directory(fs::u8path(argument), error)) {
    std::vector<BatchInput> found;
    CollectFolder(fs::u8path(argument), fs::u8path(argument), recurse, found);
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
  } else {
    out.push_back({argument, argument == "-" ? std::string("stdin") : fs::u8path(argument).stem().u8string(), ""});
  }
}

// The pool: every thread takes the next chunk of columns of a planned input; when none is
// left it plans the next input (at most threads + 1 are held at once, so memory stays that
// of a few images), and the thread that draws an input's last chunk saves it.
class Pool {
 public:
  // `ended` is called for each input as it ends, one at a time.
  Pool(std::vector<std::unique_ptr<Job>>& jobs, const BatchOptions& batch, ImageFormat format, int threads,
       std::function<void(Job&)> ended)
      : jobs_(jobs), batch_(batch), format_(format), threads_(threads), ended_(std::move(ended)) {}

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
    std::vector<uint8_t> buffer;  // this thread's chunk of input
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
        // A job whose earlier chunk failed only has its remaining chunks counted.
        const bool live = job->outcome == Outcome::Rendered;
        lock.unlock();
        if (begun != job) {
          if (begun) renderer.End();
          begun = BeginRenderer(*job, renderer) == 0 ? job : nullptr;
        }
        const int first = chunk * job->chunkColumns, count = std::min(job->chunkColumns, job->width - first);
        Outcome outcome = begun ? Outcome::Rendered : Outcome::Refused;
        std::string reason = begun ? "" : MessageText(Message::NotEnoughMemory);
        if (begun && live) DrawChunk(*job, renderer, first, count, buffer, nullptr, &outcome, &reason);
        columns_ += count;
        lock.lock();
        if (outcome != Outcome::Rendered && job->outcome == Outcome::Rendered) {
          job->outcome = outcome;
          job->reason = reason;
        }
        if (++job->chunksDone == job->chunkCount) {
          active_.erase(std::find(active_.begin(), active_.end(), job));
          lock.unlock();
          if (begun == job) renderer.End(), begun = nullptr;
          if (job->outcome == Outcome::Rendered) SaveJob(*job, batch_, format_);
          job->image = PaletteImage();
          job->file.Close();
          lock.lock();
          Finish(*job);
        }
        continue;
      }
      if (next_ < jobs_.size() && active_.size() <= static_cast<size_t>(threads_)) {
        Job* planned = jobs_[next_++].get();
        ++planning_;
        lock.unlock();
        planned->started = std::chrono::steady_clock::now();
        if (planned->outcome == Outcome::Rendered) {
          PlanInput(*planned, batch_.render, batch_.widthPx, false);
          planned->chunkCount = (planned->width + planned->chunkColumns - 1) / planned->chunkColumns;
        }
        lock.lock();
        --planning_;
        if (planned->outcome == Outcome::Rendered) active_.push_back(planned);
        else Finish(*planned);
        changed_.notify_all();
        continue;
      }
      // An input still being planned has chunks to come: wait for them rather than leave
      // the whole of a single file to the thread that plans it.
      if (next_ >= jobs_.size() && active_.empty() && planning_ == 0) break;
      changed_.wait(lock);
    }
    lock.unlock();
    if (begun) renderer.End();
    changed_.notify_all();
  }

  void Finish(Job& job) {
    job.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - job.started).count();
    // A written image was counted when it was moved into place.
    if (job.outcome != Outcome::Rendered) OutputSettled();
    if (ended_) ended_(job);
    ++finished_;
    changed_.notify_all();
  }

  std::vector<std::unique_ptr<Job>>& jobs_;
  const BatchOptions& batch_;
  const ImageFormat format_;
  const int threads_;
  const std::function<void(Job&)> ended_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Job*> active_;
  size_t next_ = 0, finished_ = 0;
  int planning_ = 0;  // inputs taken from jobs_ and not yet active or finished
  std::atomic<int> columns_{0};
};


}  // namespace

namespace {

using Jobs = std::vector<std::unique_ptr<Job>>;

// One job per input, with its output's name; an input that cannot be read, or whose image
// would replace another input's, is settled here.
Jobs PlanJobs(const BatchOptions& options, ImageFormat format) {
  std::vector<BatchInput> inputs;
  for (const std::string& argument : options.inputs) CollectInputs(argument, options.recurse, inputs);
  const bool toFolder = !options.outputFolder.empty();
  Jobs jobs;
  std::vector<std::pair<std::string, std::string>> taken;  // output, the input it is the image of
  for (const BatchInput& input : inputs) {
    auto job = std::make_unique<Job>();
    job->input = input.path;
    job->output = toFolder ? (fs::u8path(options.outputFolder) / fs::u8path(input.name)).u8string() +
                                 (format == ImageFormat::Png ? ".png" : ".bmp")
                           : options.output;
    if (!input.failure.empty()) {
      job->outcome = Outcome::Failed;
      job->reason = input.failure;
    } else if (toFolder) {
      std::error_code error;
      fs::create_directories(fs::u8path(job->output).parent_path(), error);
      // Two inputs of one name from different folders would overwrite each other's image.
      const auto earlier = std::find_if(taken.begin(), taken.end(), [&](const auto& t) { return t.first == job->output; });
      if (earlier != taken.end()) {
        job->outcome = Outcome::Refused;
        job->reason = "its image " + job->output + " would replace that of " + earlier->second +
                      " (give inputs of one name separate runs or folders)";
      } else {
        taken.push_back({job->output, job->input});
      }
    }
    jobs.push_back(std::move(job));
  }
  return jobs;
}

// The shard is taken from the inputs sorted by name, after the same-name check has seen all
// of them, so every shard agrees on which input is whose.
void TakeShard(Jobs& jobs, const Shard& shard) {
  if (shard.count <= 1) return;
  std::stable_sort(jobs.begin(), jobs.end(),
                   [](const std::unique_ptr<Job>& a, const std::unique_ptr<Job>& b) { return a->input < b->input; });
  Jobs share;
  for (size_t rank = 0; rank < jobs.size(); ++rank) {
    if (InShard(rank, shard)) share.push_back(std::move(jobs[rank]));
  }
  jobs.swap(share);
}

// The manifest's line of a job that has ended.
ManifestEntry EntryOf(const Job& job) {
  ManifestEntry entry;
  entry.input = job.input;
  entry.output = job.output;
  entry.status = job.skipped ? "skipped"
                 : job.outcome == Outcome::Rendered ? "rendered"
                 : job.outcome == Outcome::Refused  ? "refused"
                                                    : "failed";
  entry.message = job.skipped ? "complete and newer than its input"
                  : job.outcome != Outcome::Rendered ? job.reason
                  : job.warning != Message::None     ? MessageText(job.warning)
                                                     : "";
  entry.seconds = job.seconds;
  if (job.skipped || job.outcome == Outcome::Rendered) entry.bytes = job.outputBytes, entry.sha256 = job.sha256;
  return entry;
}

// --skip-existing: moves the jobs whose output is complete and newer than their input out of
// `jobs` and returns them, each recorded; the manifest hashes those outputs as they are.
Jobs KeepExisting(Jobs& jobs, const BatchOptions& options, ImageFormat format,
                  const std::function<void(Job&)>& record) {
  Jobs kept, toDraw;
  for (auto& job : jobs) {
    const auto started = std::chrono::steady_clock::now();
    job->skipped = job->outcome == Outcome::Rendered && job->input != "-" && job->output != "-" &&
                   OutputIsCurrent(job->input, job->output, format) &&
                   (options.manifest.empty() || HashFile(job->output, &job->outputBytes, &job->sha256));
    if (!job->skipped) {
      toDraw.push_back(std::move(job));
      continue;
    }
    job->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    record(*job);
    kept.push_back(std::move(job));
  }
  jobs.swap(toDraw);
  return kept;
}

// A single image's outcome is one line (a refusal or failure with the header's warning inside
// it; warnings before a success); a batch's is the summary and a line per input of note.
void PrintOutcome(const Jobs& jobs, const Jobs& kept, bool single, bool skipExisting) {
  if (single && !kept.empty()) {
    std::fprintf(stderr, "harrowlight-cli: skipped %s: complete and newer than its input\n", kept.front()->output.c_str());
    return;
  }
  if (single) {
    const Job& job = *jobs.front();
    if (job.outcome != Outcome::Rendered) {
      std::fprintf(stderr, "harrowlight-cli: %s\n", WithWarning(job.reason, job.warning).c_str());
    } else {
      if (job.warning != Message::None) std::fprintf(stderr, "harrowlight-cli: warning: %s\n", MessageText(job.warning));
      if (!job.note.empty()) std::fprintf(stderr, "harrowlight-cli: warning: %s\n", job.note.c_str());
    }
    return;
  }
  int rendered = 0, refused = 0, failed = 0;
  for (const auto& job : jobs) {
    rendered += job->outcome == Outcome::Rendered;
    refused += job->outcome == Outcome::Refused;
    failed += job->outcome == Outcome::Failed;
  }
  if (skipExisting) {
    std::fprintf(stderr, "rendered %d, skipped %d, refused %d, failed %d\n", rendered, static_cast<int>(kept.size()),
                 refused, failed);
  } else {
    std::fprintf(stderr, "rendered %d, refused %d, failed %d\n", rendered, refused, failed);
  }
  for (const auto& job : jobs) {
    if (job->outcome == Outcome::Refused) std::fprintf(stderr, "  refused %s: %s\n", job->input.c_str(), job->reason.c_str());
    if (job->outcome == Outcome::Failed) std::fprintf(stderr, "  failed %s: %s\n", job->input.c_str(), job->reason.c_str());
    if (job->outcome == Outcome::Rendered && !job->note.empty()) {
      std::fprintf(stderr, "  warning %s: %s\n", job->input.c_str(), job->note.c_str());
    }
  }
}

}  // namespace

int RunImageBatch(const BatchOptions& options) {
  const bool toFolder = !options.outputFolder.empty();
  ImageFormat format = options.format;
  if (!options.formatGiven) format = toFolder ? ImageFormat::Png : ImageFormatOfName(options.output);
  Jobs jobs = PlanJobs(options, format);
  if (jobs.empty()) {
    std::fprintf(stderr, "harrowlight-cli: no .wav, .flac, .mp3, .ogg, .oga or .opus files found\n");
    return kExitRefused;
  }
  const bool single = jobs.size() == 1 && !toFolder;
  TakeShard(jobs, options.shard);

  AppendFile manifest;
  bool manifestWritten = true;
  if (!options.manifest.empty() && !manifest.Open(options.manifest)) {
    return OutcomeError(Outcome::Failed, std::string(MessageText(Message::CannotOpenFile)) + ": " + options.manifest);
  }
  const auto record = [&](Job& job) {
    if (!options.manifest.empty() && !manifest.Append(ManifestLine(EntryOf(job)))) manifestWritten = false;
  };
  const Jobs kept = options.skipExisting ? KeepExisting(jobs, options, format, record) : Jobs();
  ExpectOutputs(static_cast<int>(jobs.size()));
  Pool pool(jobs, options, format, ThreadCount(options.render), record);
  pool.Run(options.render.progress && options.output != "-");
  PrintOutcome(jobs, kept, single, options.skipExisting);

  if (!manifestWritten) {
    return OutcomeError(Outcome::Failed, std::string(MessageText(Message::ErrorWritingFile)) + ": " + options.manifest);
  }
  const auto any = [&](Outcome o) {
    return std::any_of(jobs.begin(), jobs.end(), [o](const std::unique_ptr<Job>& job) { return job->outcome == o; });
  };
  if (any(Outcome::Failed)) return kExitFileError;
  if (any(Outcome::Refused)) return kExitRefused;
  return kExitOk;
}

int RunLevels(const BatchOptions& options) {
  PlannedInput job;
  job.input = options.inputs.front();
  PlanInput(job, options.render, 0, true);
  if (job.outcome != Outcome::Rendered) return OutcomeError(job.outcome, WithWarning(job.reason, job.warning));
  LevelsTable table;
  table.columns = job.width;
  table.bins = (1 << job.order) / 2;
  table.firstColumnMs = job.beginMs;
  table.columnMs = job.timeScaleMs;
  table.hzPerBin = static_cast<double>(job.rate) / (1 << job.order);
  try {
    table.levels.resize(static_cast<size_t>(table.columns) * table.bins);
  } catch (const std::bad_alloc&) {
    return OutcomeError(Outcome::Refused, MessageText(Message::NotEnoughMemory));
  }
  std::string reason;
  const Outcome outcome = DrawAllColumns(job, ThreadCount(options.render), table.levels.data(), &reason);
  if (outcome != Outcome::Rendered) return OutcomeError(outcome, reason);
  std::string failure;
  if (LowerExtension(options.output) == ".npy") {
    const std::vector<uint8_t> npy = LevelsNpy(table);
    failure = WriteOutput(options.output, npy.data(), npy.size());
  } else {
    const std::string csv = LevelsCsv(table);
    failure = WriteOutput(options.output, reinterpret_cast<const uint8_t*>(csv.data()), csv.size());
  }
  if (!failure.empty()) return OutcomeError(Outcome::Failed, failure);
  if (job.warning != Message::None) std::fprintf(stderr, "harrowlight-cli: warning: %s\n", MessageText(job.warning));
  return kExitOk;
}

}  // namespace hl
