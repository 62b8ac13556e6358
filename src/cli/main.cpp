// harrowlight-cli: the analysis core without a window.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

#include "windows/base/wide_text_win32.h"
#endif

#include "cli/image_batch.h"
#include "cli/option_values.h"
#include "cli/output_file.h"
#include "cli/render_command.h"
#include "cli/spectrum_command.h"
#include "harrowlight_version.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  IN.wav may be any WAV, or a FLAC, MP3, Ogg Vorbis or Opus file, told by its\n"
    "  content (never its name) and decoded to the WAV of its samples first.\n"
    "  harrowlight-cli render IN.wav -o OUT.bmp|OUT.png [options]\n"
    "  harrowlight-cli render IN.wav|FOLDER... -d OUTDIR [-r] [options]\n"
    "      Writes the file's entire time-frequency image as an 8-bit BMP or palette PNG\n"
    "      (by -o's extension, or --format png|bmp; PNG for -d): the picture\n"
    "      Harrowlight's \"Entire Bitmap\" export saves with the grid off (every whole\n"
    "      group of four columns; N/2 + 44 rows, the 44-row envelope strip on top).\n"
    "      With -d, one image per input named after it; a folder stands for its .wav,\n"
    "      .flac, .mp3, .ogg, .oga and .opus files (-r: and its subfolders'); a summary\n"
    "      follows, and one bad file never stops the others. \"-\" as input reads\n"
    "      stdin; -o - writes stdout.\n"
    "        --width PX          the time scale that fits the span in PX columns\n"
    "        --grid              the grid of crosses the program draws with the grid on\n"
    "        --axes              time, kHz and dB axes, a colour bar and a title line\n"
    "        --shard K/N         with -d: every N-th of the inputs sorted by name, from the\n"
    "                            K-th (K = 0..N-1), so N runs take each input once\n"
    "        --skip-existing     keep an output complete and newer than its input\n"
    "        --manifest FILE     append one JSON line per input as it ends: input, output,\n"
    "                            status, message, seconds, bytes, sha256\n"
    "      Options, as the analysis parameters dialog sets them (defaults in brackets):\n"
    "        --begin MS          start of the span in ms [0]\n"
    "        --end MS            end of the span in ms [end of the data]\n"
    "        --fft 512|1024|2048 FFT length [512]\n"
    "        --mode nb|bb        nb: window as long as the FFT; bb: --window-ms [nb]\n"
    "        --window-ms MS      bb window length, cut to the FFT length [8]\n"
    "        --time-scale MS     time between two columns, 1..500 [12]\n"
    "        --bits 8|16         sample resolution [16 for a 16-bit file, else 8]\n"
    "        --rate HZ           sample rate, 4000..44100 or the file's own up to 384000 [the file's]\n"
    "        --scheme CB|CG|BW|WB colour scheme [CB]\n"
    "        --attenuation DB    0..36 [0]\n"
    "        --threads N         renderers (and PNG compressors) working at once [one per core]\n"
    "  harrowlight-cli levels IN.wav -o OUT.csv|OUT.npy [render's analysis options]\n"
    "      Writes the engine's level of every bin of every column (4 per dB, before\n"
    "      the palette): CSV with time_ms then one column per bin centre in Hz, or a\n"
    "      NumPy int16 array of shape (columns, bins).\n"
    "  harrowlight-cli spectrum IN.wav --at MS -o OUT.txt [--fft 512|1024|2048]\n"
    "      Writes the spectrum log Harrowlight's \"Log Data > Spectrum\" saves for the\n"
    "      frame of --fft samples [512] that starts MS msec (a whole number) into the\n"
    "      file's data: frequency, amplitude and phase of each bin, full-frame window.\n"
    "      \"-\" as input reads stdin; -o - writes stdout.\n"
    "  harrowlight-cli info IN.wav\n"
    "      Prints the format Harrowlight takes from the file (\"-\": from stdin).\n"
    "  harrowlight-cli generate KIND OUT.wav [--rate HZ] [--bits 8|16] [--channels 1|2]\n"
    "                           [--seconds S] [--freq HZ] [--amplitude A]\n"
    "      Writes an example file. KIND: tone, sweep (up then down), harmonics,\n"
    "      bursts (noise), demo (all of them) [rate 11025, 16 bit, mono, 5 s,\n"
    "      1000 Hz, amplitude 0.5]. A second channel carries a tone at 1.5 x freq.\n"
    "      OUT.wav \"-\" writes stdout.\n"
    "  harrowlight-cli --help\n"
    "  harrowlight-cli --version     prints \"harrowlight-cli\" and the version\n"
    "Refused input gets one line, with Harrowlight's own message where it has one, and\n"
    "exit code 2; a file that cannot be read or written exit code 3. Numbers are plain\n"
    "decimals; an option is given once. An existing output file is replaced only when\n"
    "the new one has been written completely, and only when it is a regular file the\n"
    "user may write (devices, pipes, folders, symbolic links and files without write\n"
    "permission are refused); the new file keeps its owner, group and permission bits\n"
    "where the tool may set them, never setuid, setgid or sticky bits.\n";

// Every refused command line gets one line naming what is wrong, and exit code 2.
int Usage(const std::string& problem) {
  std::fprintf(stderr, "harrowlight-cli: %s (harrowlight-cli --help lists the commands)\n", problem.c_str());
  return hl::kExitRefused;
}

int Help() {
  std::fputs(kUsage, stdout);
  return hl::kExitOk;
}

// What `take` answers for a name it does not know.
const char kUnknown[] = "\x01";

// Walks "--name value" pairs after the first `first` arguments. `take` returns "" for an
// option it took, kUnknown for a name it does not know, or the text of what is wrong.
template <typename Take>
int ParseOptions(const std::vector<std::string>& args, size_t first, const char* command, Take take) {
  std::vector<std::string> seen;
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name.size() < 2 || name[0] != '-') {
      return Usage("unexpected argument \"" + name + "\": after the " + command +
                   " command's files come only options, each an option name and its value");
    }
    const std::string option = name == "--output" ? "-o" : name;
    if (std::find(seen.begin(), seen.end(), option) != seen.end()) return Usage(name + " is given more than once");
    seen.push_back(option);
    if (i + 1 >= args.size()) {
      const std::string known = take(name, std::string());
      return Usage(known == kUnknown ? "unknown option " + name + " for " + command : name + " needs a value");
    }
    const std::string& value = args[++i];
    const std::string problem = take(name, value);
    if (problem == kUnknown) return Usage("unknown option " + name + " for " + command);
    if (!problem.empty()) {
      std::fprintf(stderr, "harrowlight-cli: %s\n", problem.c_str());
      return hl::kExitRefused;
    }
  }
  return -1;
}

std::string FftLength(const std::string& name, const std::string& value, int* length) {
  if (value != "512" && value != "1024" && value != "2048") return name + " " + value + ": the FFT length is 512, 1024 or 2048";
  *length = std::atoi(value.c_str());
  return "";
}

// render and levels share the batch reader of inputs and options.
int Render(const std::vector<std::string>& args, bool levels) {
  hl::BatchOptions options;
  std::string problem;
  if (!hl::ParseBatchArguments(args, levels, &options, &problem)) {
    std::fprintf(stderr, "harrowlight-cli: %s\n", problem.c_str());
    return hl::kExitRefused;
  }
  return levels ? hl::RunLevels(options) : hl::RunImageBatch(options);
}

int Spectrum(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage("spectrum needs an input file");
  hl::SpectrumOptions options;
  options.input = args[1];
  bool at = false;
  int parsed = ParseOptions(args, 2, "spectrum", [&](const std::string& name, const std::string& value) -> std::string {
    double number = 0;
    if (name == "-o" || name == "--output") {
      options.output = value;
      return hl::CheckOutputName("spectrum", name, value);
    } else if (name == "--at") {
      if (!hl::ParseWholeIn(value, 0, 4e9, &number)) return name + " " + value + ": the time is a whole number of ms, 0 or more";
      options.atMs = number;
      at = true;
    } else if (name == "--fft") {
      return FftLength(name, value, &options.fftLength);
    } else {
      return kUnknown;
    }
    return "";
  });
  if (parsed >= 0) return parsed;
  if (!at) return Usage("spectrum needs --at MS");
  if (options.output.empty()) return Usage("spectrum needs -o OUT.txt");
  return hl::RunSpectrum(options);
}

int Generate(const std::vector<std::string>& args) {
  if (args.size() < 3) return Usage("generate needs a kind and an output file");
  hl::ExampleSignal example;
  if (!hl::ParseExampleKind(args[1], &example.kind)) {
    return Usage("unknown example kind \"" + args[1] + "\" (tone, sweep, harmonics, bursts or demo)");
  }
  int parsed = ParseOptions(args, 3, "generate", [&](const std::string& name, const std::string& value) -> std::string {
    double number = 0;
    const bool numeric = hl::ParseDecimal(value, &number);
    const std::string given = name + " " + value;
    if (name == "--rate") {
      if (!hl::ParseWholeIn(value, 1000, 192000, &number)) return given + ": the rate is a whole number of Hz, 1000..192000";
      example.sampleRate = static_cast<uint32_t>(number);
    } else if (name == "--bits") {
      if (value != "8" && value != "16") return given + ": the resolution is 8 or 16 bits";
      example.bitsPerSample = std::atoi(value.c_str());
    } else if (name == "--channels") {
      if (value != "1" && value != "2") return given + ": the channel count is 1 or 2";
      example.channels = std::atoi(value.c_str());
    } else if (name == "--seconds") {
      if (!numeric || number <= 0 || number > 3600) return given + ": the length is more than 0 and at most 3600 s";
      example.seconds = number;
    } else if (name == "--freq") {
      if (!numeric || number <= 0) return given + ": the frequency is a finite number of Hz above 0";
      example.frequency = number;
    } else if (name == "--amplitude") {
      if (!numeric || number < 0 || number > 1) return given + ": the amplitude is 0..1";
      example.amplitude = number;
    } else {
      return kUnknown;
    }
    return "";
  });
  if (parsed >= 0) return parsed;
  const std::string wrong = hl::CheckOutputName("generate", "OUT.wav", args[2]);
  if (!wrong.empty()) return Usage(wrong);
  return hl::RunGenerate(example, args[2]);
}

// The arguments after the program's name, as UTF-8. On Windows they are read wide: the
// narrow argv has already lost every character outside the console's code page.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide) {
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(hl::Utf8(wide[i]));
    LocalFree(wide);
    return args;
  }
#endif
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args = Arguments(argc, argv);
  if (args.empty()) return Usage("no command given");
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") return Help();
  hl::InstallInterruptCleanup();
  if (command == "--version") {
    std::printf("harrowlight-cli %s\n", HL_VERSION);
    return hl::kExitOk;
  }
  try {
    if (command == "render") return Render(args, false);
    if (command == "levels") return Render(args, true);
    if (command == "info") return args.size() == 2 ? hl::RunInfo(args[1]) : Usage("info takes one file");
    if (command == "generate") return Generate(args);
    if (command == "spectrum") return Spectrum(args);
  } catch (const std::bad_alloc&) {
    // Whatever allocation failed, the cause is named rather than the tool aborting.
    return hl::RefuseInput(hl::Message::NotEnoughMemory, "");
  }
  return Usage("unknown command \"" + command + "\"");
}
