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

#include "cli/render_command.h"
#include "cli/spectrum_command.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  harrowlight-cli render IN.wav -o OUT.bmp [options]\n"
    "      Writes the file's entire time-frequency image as an 8-bit BMP: the picture\n"
    "      Harrowlight's \"Entire Bitmap\" export saves with the grid off (every whole\n"
    "      group of four columns; N/2 + 44 rows, the 44-row envelope strip on top).\n"
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
    "        --threads N         renderers working at once [one per core]\n"
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

int Render(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage("render needs an input file");
  hl::RenderOptions options;
  options.input = args[1];
  int parsed = ParseOptions(args, 2, [&](const std::string& name, const std::string& value) {
    double number = 0;
    const bool numeric = ParseNumber(value.c_str(), &number);
    if (name == "-o" || name == "--output") options.output = value;
    else if (name == "--begin" && numeric) options.beginMs = number;
    else if (name == "--end" && numeric) options.endMs = number;
    else if (name == "--fft" && (value == "512" || value == "1024" || value == "2048")) options.fftLength = std::atoi(value.c_str());
    else if (name == "--mode" && (value == "nb" || value == "NB")) options.broadband = false;
    else if (name == "--mode" && (value == "bb" || value == "BB")) options.broadband = true;
    else if (name == "--window-ms" && numeric) options.windowMs = static_cast<float>(number);
    else if (name == "--time-scale" && numeric) options.timeScaleMs = static_cast<float>(number);
    else if (name == "--bits" && (value == "8" || value == "16")) options.bits = std::atoi(value.c_str());
    else if (name == "--rate" && numeric && number >= 1 && number <= 1e6) options.sampleRate = static_cast<uint32_t>(number);
    else if (name == "--scheme") return hl::ParsePaletteScheme(value.c_str(), &options.scheme);
    else if (name == "--attenuation" && numeric && number >= 0 && number <= 36 && number == static_cast<int>(number)) options.attenuation = static_cast<int>(number);
    else if (name == "--threads" && numeric && number >= 1 && number <= 64) options.threads = static_cast<int>(number);
    else return false;
    return true;
  });
  if (parsed >= 0) return parsed;
  if (options.output.empty()) return Usage("render needs -o OUT.bmp");
  options.progress = HL_ISATTY(HL_FILENO(stderr)) != 0;
  return hl::RunRender(options);
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
  if (command == "render") return Render(args);
  if (command == "info") return args.size() == 2 ? hl::RunInfo(args[1]) : Usage("info takes one file");
  if (command == "generate") return Generate(args);
  if (command == "spectrum") return Spectrum(args);
  return Usage(("unknown command: " + command).c_str());
}
