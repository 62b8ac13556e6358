// harrowlight-cli: the analysis core without a window.
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

#include "cli/image_batch.h"
#include "cli/render_command.h"
#include "cli/spectrum_command.h"
#include "harrowlight_version.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  harrowlight-cli render IN.wav -o OUT.bmp|OUT.png [options]\n"
    "  harrowlight-cli render IN.wav|FOLDER... -d OUTDIR [-r] [options]\n"
    "      Writes the file's entire time-frequency image as an 8-bit BMP or palette PNG\n"
    "      (by -o's extension, or --format png|bmp; PNG for -d): the picture\n"
    "      Harrowlight's \"Entire Bitmap\" export saves with the grid off (every whole\n"
    "      group of four columns; N/2 + 44 rows, the 44-row envelope strip on top).\n"
    "      With -d, one image per input named after it; a folder stands for its .wav\n"
    "      files (-r: and its subfolders'); a summary follows, and one bad file never\n"
    "      stops the others. \"-\" as input reads a WAV from stdin; -o - writes stdout.\n"
    "        --width PX          the time scale that fits the span in PX columns\n"
    "        --grid              the grid of crosses the program draws with the grid on\n"
    "        --axes              time, kHz and dB axes, a colour bar and a title line\n"
    "      Options, as the analysis parameters dialog sets them (defaults in brackets):\n"
    "        --begin MS          start of the span in ms [0]\n"
    "        --end MS            end of the span in ms [end of the data]\n"
    "        --fft 512|1024|2048 FFT length [512]\n"
    "        --mode nb|bb        nb: window as long as the FFT; bb: --window-ms [nb]\n"
    "        --window-ms MS      bb window length, cut to the FFT length [8]\n"
    "        --time-scale MS     time between two columns, 1..500 [12]\n"
    "        --bits 8|16         sample resolution [16 for a 16-bit file, else 8]\n"
    "        --rate HZ           sample rate, 4000..44100 [the file's]\n"
    "        --scheme CB|CG|BW|WB colour scheme [CB]\n"
    "        --attenuation DB    0..36 [0]\n"
    "        --threads N         renderers working at once [one per core]\n"
    "  harrowlight-cli levels IN.wav -o OUT.csv|OUT.npy [render's analysis options]\n"
    "      Writes the engine's level of every bin of every column (4 per dB, before\n"
    "      the palette): CSV with time_ms then one column per bin centre in Hz, or a\n"
    "      NumPy int16 array of shape (columns, bins).\n"
    "  harrowlight-cli spectrum IN.wav --at MS -o OUT.txt [--fft 512|1024|2048]\n"
    "      Writes the spectrum log Harrowlight's \"Log Data > Spectrum\" saves for the\n"
    "      frame of --fft samples [512] that starts MS msec (a whole number) into the\n"
    "      file's data: frequency, amplitude and phase of each bin, full-frame window.\n"
    "  harrowlight-cli info IN.wav\n"
    "      Prints the format Harrowlight takes from the file.\n"
    "  harrowlight-cli generate KIND OUT.wav [--rate HZ] [--bits 8|16] [--channels 1|2]\n"
    "                           [--seconds S] [--freq HZ] [--amplitude A]\n"
    "      Writes an example file. KIND: tone, sweep (up then down), harmonics,\n"
    "      bursts (noise), demo (all of them) [rate 11025, 16 bit, mono, 5 s,\n"
    "      1000 Hz, amplitude 0.5]. A second channel carries a tone at 1.5 x freq.\n"
    "  harrowlight-cli --help\n"
    "  harrowlight-cli --version     prints \"harrowlight-cli\" and the version\n"
    "Errors are printed as Harrowlight's own messages; exit code 2 for refused input,\n"
    "3 for a file that cannot be read or written. An existing output file is replaced\n"
    "only when the new one has been written completely.\n";

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "harrowlight-cli: %s\n\n", problem);
  std::fputs(kUsage, problem ? stderr : stdout);
  return problem ? 64 : 0;
}

bool ParseNumber(const char* text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text, &end);
  return end != text && *end == '\0';
}

// Walks "--name value" pairs; `take` returns false for an unknown or invalid option.
template <typename Take>
int ParseOptions(const std::vector<std::string>& args, size_t first, Take take) {
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (i + 1 >= args.size()) return Usage(("missing value for " + name).c_str());
    const std::string& value = args[++i];
    if (!take(name, value)) return Usage(("bad option or value: " + name + " " + value).c_str());
  }
  return -1;
}

int Render(const std::vector<std::string>& args, bool levels) {
  hl::BatchOptions options;
  std::string problem;
  if (!hl::ParseBatchArguments(args, levels, &options, &problem)) return Usage(problem.c_str());
  return levels ? hl::RunLevels(options) : hl::RunImageBatch(options);
}

int Spectrum(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage("spectrum needs an input file");
  hl::SpectrumOptions options;
  options.input = args[1];
  bool at = false;
  int parsed = ParseOptions(args, 2, [&](const std::string& name, const std::string& value) {
    double number = 0;
    const bool numeric = ParseNumber(value.c_str(), &number);
    if (name == "-o" || name == "--output") options.output = value;
    else if (name == "--at" && numeric && number >= 0 && number <= 4e9 && number == static_cast<double>(static_cast<int64_t>(number))) options.atMs = number, at = true;
    else if (name == "--fft" && (value == "512" || value == "1024" || value == "2048")) options.fftLength = std::atoi(value.c_str());
    else return false;
    return true;
  });
  if (parsed >= 0) return parsed;
  if (!at) return Usage("spectrum needs --at MS");
  if (options.output.empty()) return Usage("spectrum needs -o OUT.txt");
  return hl::RunSpectrum(options);
}

int Generate(const std::vector<std::string>& args) {
  if (args.size() < 3) return Usage("generate needs a kind and an output file");
  hl::ExampleSignal example;
  if (!hl::ParseExampleKind(args[1], &example.kind)) return Usage(("unknown example kind: " + args[1]).c_str());
  int parsed = ParseOptions(args, 3, [&](const std::string& name, const std::string& value) {
    double number = 0;
    if (!ParseNumber(value.c_str(), &number)) return false;
    if (name == "--rate" && number >= 1000 && number <= 192000) example.sampleRate = static_cast<uint32_t>(number);
    else if (name == "--bits" && (number == 8 || number == 16)) example.bitsPerSample = static_cast<int>(number);
    else if (name == "--channels" && (number == 1 || number == 2)) example.channels = static_cast<int>(number);
    else if (name == "--seconds" && number > 0 && number <= 3600) example.seconds = number;
    else if (name == "--freq" && number > 0) example.frequency = number;
    else if (name == "--amplitude" && number >= 0 && number <= 1) example.amplitude = number;
    else return false;
    return true;
  });
  if (parsed >= 0) return parsed;
  return hl::RunGenerate(example, args[2]);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("no command given");
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") return Usage(nullptr);
  if (command == "--version") {
    std::printf("harrowlight-cli %s\n", HL_VERSION);
    return 0;
  }
  if (command == "render") return Render(args, false);
  if (command == "levels") return Render(args, true);
  if (command == "info") return args.size() == 2 ? hl::RunInfo(args[1]) : Usage("info takes one file");
  if (command == "generate") return Generate(args);
  if (command == "spectrum") return Spectrum(args);
  return Usage(("unknown command: " + command).c_str());
}
