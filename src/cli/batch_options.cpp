// The options of render and levels, read into BatchOptions: each value checked as it is read,
// then the options taken together.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define HL_ISATTY _isatty
#define HL_FILENO _fileno
#else
#include <unistd.h>
#define HL_ISATTY isatty
#define HL_FILENO fileno
#endif

#include "core/analysis/analysis_settings.h"
#include "cli/batch_manifest.h"
#include "cli/image_batch.h"
#include "cli/option_values.h"
#include "core/base/limits.h"
#include "core/base/messages.h"

namespace hl {

namespace {

namespace fs = std::filesystem;

std::string Refusal(Message message, const std::string& why) { return std::string(MessageText(message)) + ": " + why; }

const char kUnknownOption[] = "\x01";

// One analysis option of render and levels: "" when taken, kUnknownOption for a name that is
// none of them, else the line that says what is wrong with the value.
std::string TakeRenderOption(const std::string& name, const std::string& value, RenderOptions& o) {
  double number = 0;
  const bool numeric = ParseDecimal(value, &number);
  const std::string given = name + " " + value;
  const std::string notNumber = given + ": not a plain decimal number";
  if (name == "--begin") {
    if (!numeric) return notNumber;
    o.beginMs = number;
  } else if (name == "--end") {
    if (!numeric) return notNumber;
    o.endMs = number;
    o.toDataEnd = false;
  } else if (name == "--fft") {
    if (value != "512" && value != "1024" && value != "2048") return given + ": the FFT length is 512, 1024 or 2048";
    o.fftLength = std::atoi(value.c_str());
  } else if (name == "--mode") {
    if (value == "nb" || value == "NB") o.broadband = false;
    else if (value == "bb" || value == "BB") o.broadband = true;
    else return given + ": the mode is nb or bb";
  } else if (name == "--window-ms") {
    if (!numeric) return notNumber;
    const Message check = CheckWindowLength(static_cast<float>(number));
    if (check != Message::None) return Refusal(check, given + " is shorter than " + LimitText(Limit::ShortestWindow));
    o.windowMs = static_cast<float>(number);
  } else if (name == "--time-scale") {
    if (!numeric) return notNumber;
    const Message check = CheckTimeScale(static_cast<float>(number));
    if (check != Message::None) return Refusal(check, given + " lies outside " + LimitText(Limit::TimeScaleRange));
    o.timeScaleMs = static_cast<float>(number);
  } else if (name == "--bits") {
    if (value != "8" && value != "16") return given + ": the resolution is 8 or 16 bits";
    o.bits = std::atoi(value.c_str());
  } else if (name == "--rate") {
    if (!numeric) return notNumber;
    // Rates past 44100 Hz are a file's own, which the plan checks against the file.
    if (number < kLowestSampleRate || number > kHighestFileRate) {
      return Refusal(Message::SampleRateOutOfRange,
                     given + " Hz lies outside " + LimitText(Limit::SampleRateRange) + " (or a file's own rate up to " +
                         LimitText(Limit::HighestFileRate) + ")");
    }
    if (number != std::floor(number)) return given + ": the rate is a whole number of Hz";
    o.sampleRate = static_cast<uint32_t>(number);
  } else if (name == "--scheme") {
    if (!ParsePaletteScheme(value.c_str(), &o.scheme)) return given + ": the scheme is CB, CG, BW or WB";
  } else if (name == "--attenuation") {
    if (!ParseWholeIn(value, 0, 36, &number)) return given + ": the attenuation is a whole number of dB, 0..36";
    o.attenuation = static_cast<int>(number);
  } else if (name == "--threads") {
    if (!ParseWholeIn(value, 1, 64, &number)) return given + ": the thread count is a whole number, 1..64";
    o.threads = static_cast<int>(number);
  } else {
    return kUnknownOption;
  }
  return "";
}

// What is wrong with the options taken together ("" when nothing is): inputs and outputs that
// do not fit each other, and options that exclude each other.
std::string CombinationProblem(const BatchOptions& b, bool levels, bool shardGiven, bool timeScaleGiven) {
  const char* command = levels ? "levels" : "render";
  const std::string hint = " (harrowlight-cli --help lists the commands)";
  if (b.inputs.empty()) return std::string(command) + " needs an input file" + hint;
  if (b.widthPx > 0 && timeScaleGiven) {
    return "--width and --time-scale both set the time scale: give one of them" + hint;
  }
  if (levels && b.inputs.size() > 1) return "levels takes one input file" + hint;
  if (!b.output.empty() && !b.outputFolder.empty()) return "give either -o or -d" + hint;
  if (b.outputFolder.empty() && b.output.empty()) {
    if (b.inputs.size() > 1) {
      // "render IN.wav OUT.bmp": the output name without its option.
      return "unexpected argument \"" + b.inputs.back() + "\": " + command +
                        (levels ? " writes to -o OUT.csv|OUT.npy" : " writes one input to -o OUT.bmp|OUT.png, several to -d OUTDIR") + hint;
    }
    return std::string(command) + (levels ? " needs -o OUT.csv|OUT.npy" : " needs -o OUT.bmp|OUT.png or -d OUTDIR") + hint;
  }
  if (shardGiven && b.outputFolder.empty()) return "--shard needs -d OUTDIR" + hint;
  if (!levels && b.outputFolder.empty()) {
    std::error_code error;
    if (b.inputs.size() > 1 || (b.inputs[0] != "-" && fs::is_directory(fs::u8path(b.inputs[0]), error))) {
      return "several inputs need -d OUTDIR" + hint;
    }
  }
  return "";
}

}  // namespace

bool ParseBatchArguments(const std::vector<std::string>& args, bool levels, BatchOptions* out, std::string* problem) {
  BatchOptions& b = *out;
  RenderOptions& o = b.render;
  const char* command = levels ? "levels" : "render";
  const std::string hint = " (harrowlight-cli --help lists the commands)";
  bool shardGiven = false;
  std::vector<std::string> seen;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name.empty()) return *problem = "an input file needs a name" + hint, false;
    if (name == "-" || name[0] != '-') {
      b.inputs.push_back(name);
      continue;
    }
    const std::string option = name == "--output" ? "-o" : name;
    if (std::find(seen.begin(), seen.end(), option) != seen.end()) {
      return *problem = name + " is given more than once" + hint, false;
    }
    seen.push_back(option);
    if (!levels && (name == "--grid" || name == "--axes" || name == "-r" || name == "--skip-existing")) {
      // A switch takes no value: what follows it is an input, so it must be a file or folder.
      std::error_code error;
      const std::string next = i + 1 < args.size() ? args[i + 1] : std::string("-");
      if (!next.empty() && next != "-" && next[0] != '-' && !fs::exists(fs::u8path(next), error) &&
          !fs::is_symlink(fs::u8path(next), error)) {
        return *problem = name + " takes no value (\"" + next + "\" is no file or folder)" + hint, false;
      }
      (name == "--grid" ? b.grid : name == "--axes" ? b.axes : name == "-r" ? b.recurse : b.skipExisting) = true;
      continue;
    }
    const bool hasValue = i + 1 < args.size();
    const std::string value = hasValue ? args[i + 1] : std::string();
    std::string taken;
    if (name == "-o" || name == "--output") {
      b.output = value;
      if (hasValue) taken = CheckOutputName(command, name, value);
    } else if (!levels && name == "-d") {
      b.outputFolder = value;
      if (hasValue && value.empty()) taken = "-d \"\": the output folder needs a name";
    } else if (!levels && name == "--format") {
      if (value != "png" && value != "bmp") taken = name + " " + value + ": the format is png or bmp";
      b.formatGiven = true;
      b.format = value == "png" ? ImageFormat::Png : ImageFormat::Bmp;
    } else if (!levels && name == "--shard") {
      shardGiven = true;
      if (!ParseShard(value, &b.shard)) {
        taken = name + " " + value + ": the shard is K/N, plain whole numbers with 0 <= K < N <= " +
                std::to_string(kMostShards);
      }
    } else if (!levels && name == "--manifest") {
      if (value.empty()) taken = name + " needs a file name";
      b.manifest = value;
    } else if (!levels && name == "--width") {
      double v = 0;
      if (ParseWholeIn(value, 4, 1e7, &v)) b.widthPx = static_cast<int>(v);
      else taken = name + " " + value + ": the width is a whole number of columns, 4..10000000";
    } else {
      taken = TakeRenderOption(name, value, o);
    }
    if (taken == kUnknownOption) return *problem = "unknown option " + name + " for " + command + hint, false;
    if (!hasValue) return *problem = name + " needs a value" + hint, false;
    if (!taken.empty()) return *problem = taken, false;
    ++i;
  }
  const bool timeScaleGiven = std::find(seen.begin(), seen.end(), "--time-scale") != seen.end();
  *problem = CombinationProblem(b, levels, shardGiven, timeScaleGiven);
  if (!problem->empty()) return false;
  o.progress = HL_ISATTY(HL_FILENO(stderr)) != 0;
  return true;
}

}  // namespace hl
