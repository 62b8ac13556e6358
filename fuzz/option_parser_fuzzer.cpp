// libFuzzer target over the command-line tool's reader of render and levels arguments: any
// list of arguments (the input split at NUL bytes). Either the options are taken, each within
// the range the analysis accepts, or exactly one line says what is wrong.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/analysis/analysis_settings.h"
#include "cli/image_batch.h"
#include "fuzz_input.h"

namespace {

void Require(bool holds, const char* what) { hl_fuzz::Require(holds, "option parser", what); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool levels = data[0] & 1;
  std::vector<std::string> args{levels ? "levels" : "render"};
  std::string word;
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(word);
      word.clear();
    } else {
      word.push_back(static_cast<char>(data[i]));
    }
  }
  if (size > 1) args.push_back(word);

  hl::BatchOptions options;
  std::string problem;
  if (!hl::ParseBatchArguments(args, levels, &options, &problem)) {
    Require(!problem.empty(), "a refusal says what is wrong");
    // An argument's own line breaks are quoted back as they were given.
    bool breaks = false;
    for (const std::string& a : args) breaks = breaks || a.find('\n') != std::string::npos;
    Require(breaks || problem.find('\n') == std::string::npos, "in one line");
    return 0;
  }
  const hl::RenderOptions& o = options.render;
  Require(problem.empty(), "no problem for arguments taken");
  Require(!options.inputs.empty(), "at least one input");
  Require(options.output.empty() != options.outputFolder.empty(), "-o or -d, not both");
  Require(!levels || options.inputs.size() == 1, "levels reads one input");
  Require(o.fftLength == 512 || o.fftLength == 1024 || o.fftLength == 2048, "an FFT length of the three");
  Require(hl::CheckTimeScale(o.timeScaleMs) == hl::Message::None, "a time scale the dialog accepts");
  Require(hl::CheckWindowLength(o.windowMs) == hl::Message::None, "a window the dialog accepts");
  Require(std::isfinite(o.beginMs) && (o.toDataEnd || std::isfinite(o.endMs)), "finite span ends");
  Require(o.bits == 0 || o.bits == 8 || o.bits == 16, "8 or 16 bits, or the file's");
  Require(o.sampleRate == 0 || (o.sampleRate >= 4000 && o.sampleRate <= 384000), "a rate of 4000..384000 Hz");
  Require(o.attenuation >= 0 && o.attenuation <= 36, "attenuation 0..36");
  Require(o.threads >= 0 && o.threads <= 64, "threads 1..64, or one per core");
  Require(options.widthPx == 0 || (options.widthPx >= 4 && options.widthPx <= 10000000), "a width of 4..10^7");
  return 0;
}
