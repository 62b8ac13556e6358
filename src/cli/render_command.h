// The command-line tool's commands: render a file's entire time–frequency image, describe
// a file's format, write an example file. Each returns the process exit code and prints
// errors to stderr as the program's own message texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/analysis/column_geometry.h"
#include "cli/example_signals.h"
#include "cli/output_file.h"
#include "cli/sound_input.h"
#include "core/base/messages.h"
#include "core/image/palette.h"
#include "core/dsp/column_renderer.h"
#include "core/files/wave_format.h"

namespace hl {

// What the parameters dialog sets; unset values take what "&Analyze File" starts with.
struct RenderOptions {
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

int RunInfo(const std::string& input);
int RunGenerate(const ExampleSignal& example, const std::string& output);

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitRefused = 2;    // the input or a parameter was refused
constexpr int kExitFileError = 3;  // a file could not be read or written

// Reads of the file at `path` by position, for the header readers.
ReadBytesAt FileBytes(const std::string& path);

// One line on stderr, "harrowlight-cli: <message>: <why>" (the message alone when `why` is
// empty); returns kExitRefused.
int RefuseInput(Message message, const std::string& why);
// A refusal's or failure's reason with the header's warning, when there is one, in brackets
// after it: a refusal stays one line.
std::string WithWarning(const std::string& reason, Message warning);

enum class Outcome { Rendered, Refused, Failed };

// One input as "&Analyze File" and the parameters dialog plan it, for render and levels.
struct PlannedInput {
  std::string input;               // a file, or "-" for standard input
  Outcome outcome = Outcome::Rendered;
  std::string reason;              // one line: the message and what caused it
  Message warning = Message::None; // "File may not be PCM Wave Format"
  uint32_t rate = 0;
  int bits = 0, channels = 0, order = 9;
  float windowMs = 0, timeScaleMs = 0;
  double beginMs = 0, endMs = 0;
  ColumnGeometry geometry;
  std::string note;                // a warning line of the plan's own (a --width the time scale cannot reach)
  InputSource file;                // the input ("-": the copy of stdin), read chunk by chunk, never held
                                   // whole; a compressed file's decoded WAV image, read from memory
  uint64_t spanOffset = 0;         // where the span starts in the file
  SampleSpan span;                 // the whole span (its layout; the data is read chunk by chunk)
  RenderSettings settings;
  PaletteImage image;              // allocated unless planned for levels
  int width = 0;                   // image columns (every column for levels)
  int chunkColumns = 256;          // columns drawn from one read of the input
};

// Header, rate and resolution, span and column geometry; the image's size checked before
// anything is allocated; the input opened; the image allocated unless `forLevels`. With
// widthPx > 0 the time scale is the one that fits that many columns. Leaves outcome and
// reason set when the input cannot be rendered.
void PlanInput(PlannedInput& job, const RenderOptions& options, int widthPx, bool forLevels);

// A renderer begun for a planned input (0) or -1 when its memory cannot be had.
int BeginRenderer(const PlannedInput& job, ColumnRenderer& renderer);

// Reads the input columns first .. first + count - 1 need into `buffer` and draws them into
// job.image, or, when `levels` is given, writes their levels there (N / 2 per column). False
// with `outcome` and `reason` set when the input became shorter or memory ran out.
bool DrawChunk(PlannedInput& job, ColumnRenderer& renderer, int first, int count, std::vector<uint8_t>& buffer,
               int16_t* levels, Outcome* outcome, std::string* reason);

// Every column of a planned input drawn by `threads` renderers taking its chunks in turn, into
// job.image or, when `levels` is given, as levels there (N / 2 per column); the input closed
// after. Outcome::Rendered, or the first failure with `reason` set.
Outcome DrawAllColumns(PlannedInput& job, int threads, int16_t* levels, std::string* reason);

// The renderers options.threads asks for, one per core when 0; at most 64.
int ThreadCount(const RenderOptions& options);

// "harrowlight-cli: <reason>" on stderr; the exit code of a refused or failed input.
int OutcomeError(Outcome outcome, const std::string& reason);

}  // namespace hl
