// The command-line tool's commands: render a file's entire time–frequency image, describe
// a file's format, write an example file. Each returns the process exit code and prints
// errors to stderr as the program's own message texts.
#pragma once

#include <cstdint>
#include <string>

#include "app/messages.h"
#include "cli/example_signals.h"
#include "display/palette.h"

namespace hl {

// What the parameters dialog sets; unset values take what "&Analyze File" starts with.
struct RenderOptions {
  std::string input, output;
  double beginMs = 0;
  double endMs = 0;
  bool toDataEnd = true;   // true: endMs is not used, the span runs to the end of the data
  int fftLength = 512;     // 512, 1024 or 2048
  bool broadband = false;  // "BB": the window is windowMs; "NB": as long as the FFT
  float windowMs = 8.0f;
  float timeScaleMs = 12.0f;
  int bits = 0;            // 8 or 16; 0: 16 when the file says 16, else 8
  uint32_t sampleRate = 0; // 0: the file's rate
  PaletteScheme scheme = PaletteScheme::CB;
  int attenuation = 0;
  int threads = 0;         // 0: one per core
  bool progress = false;   // a progress line on stderr
};

int RunRender(const RenderOptions& options);
int RunInfo(const std::string& input);
int RunGenerate(const ExampleSignal& example, const std::string& output);

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitRefused = 2;    // the input or a parameter was refused
constexpr int kExitFileError = 3;  // a file could not be read or written

// One line on stderr, "harrowlight-cli: <message>: <why>" (the message alone when `why` is
// empty); returns kExitRefused.
int RefuseInput(Message message, const std::string& why);
// "harrowlight-cli: <message>: <path>"; returns kExitFileError.
int FileError(Message message, const std::string& path);
// FileError for what WriteFileReplacing gave, saying so when the target was not replaced
// because it is not a regular file.
int OutputError(Message message, const std::string& path);

}  // namespace hl
