// harrowlight-cli render over one file or many, and levels: each input is planned, its columns
// drawn by one pool of threads shared by all inputs, then saved as BMP or PNG (optionally with
// the grid or axes), or its levels written as CSV or .npy.
#pragma once

#include <string>
#include <vector>

#include "cli/batch_manifest.h"
#include "cli/render_command.h"
#include "core/export/image_texts.h"

namespace hl {

struct BatchOptions {
  RenderOptions render;             // the analysis parameters
  std::vector<std::string> inputs;  // files, folders (their .wav files), or "-" for stdin
  std::string output;               // -o: one output file, or "-" for stdout
  std::string outputFolder;         // -d: one image per input, named after it
  bool recurse = false;             // -r: folders' subfolders too
  bool formatGiven = false;
  ImageFormat format = ImageFormat::Bmp;
  int widthPx = 0;                  // --width: the time scale that fits this many columns
  bool grid = false, axes = false;
  Shard shard;                      // --shard K/N: this share of the sorted inputs
  bool skipExisting = false;        // --skip-existing: keep outputs complete and newer than their input
  std::string manifest;             // --manifest: one JSON line appended per input as it ends
};

// Reads "render|levels IN... [options]" (args[0] is the command). False with `problem` set
// for an unknown option, a bad value or a missing input or output.
bool ParseBatchArguments(const std::vector<std::string>& args, bool levels, BatchOptions* out, std::string* problem);

// Exit code: 0 when every input was written; for one input its own code (2 refused,
// 3 unreadable or unwritable); for several, 3 when any failed, else 2 when any was refused.
int RunImageBatch(const BatchOptions& options);

// levels IN -o OUT.csv|OUT.npy (by the extension; "-" writes CSV to stdout).
int RunLevels(const BatchOptions& options);

}  // namespace hl
