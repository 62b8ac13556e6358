// The command-line tool's "spectrum" command: the spectrum log's table for the frame that
// starts at a given time of a file, without a window.
#pragma once

#include <string>

namespace hl {

struct SpectrumOptions {
  std::string input, output;
  double atMs = 0;      // start of the frame, msec from the first sample (whole msec)
  int fftLength = 512;  // 512, 1024 or 2048
};

// Writes the table; returns the process exit code (render_command.h's kExit* values).
int RunSpectrum(const SpectrumOptions& options);

}  // namespace hl
