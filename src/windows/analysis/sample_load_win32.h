// The samples of a span read into the sample buffer on a thread of their own, and the
// header facts of a file read as "&Analyze File" reads them.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

#include "core/base/messages.h"
#include "core/files/wave_format.h"
#include "windows/analysis/analysis_steps_win32.h"
#include "windows/base/sound_source_win32.h"
#include "windows/base/handles_win32.h"

namespace hl {

// The span's samples read into a new sample buffer behind their wave header, on a thread of
// their own while the window thread makes and clears the display bitmap: both are mostly
// first touches of fresh pages, and the two cores share them. Done() joins the thread and
// unlocks the buffer; the buffer is not looked at, and no message is handled, before then.
class SampleLoad {
 public:
  SampleLoad() = default;
  ~SampleLoad() { Done(); }
  SampleLoad(const SampleLoad&) = delete;
  SampleLoad& operator=(const SampleLoad&) = delete;

  // Opens the file, allocates the buffer (with its header) and starts the read.
  Message Start(const LoadedSpan& span);
  void Done();

 private:
  SoundFile file_;  // the file, or a compressed file's decoded WAV image
  std::thread reader_;
  bool locked_ = false;
};

}  // namespace hl
