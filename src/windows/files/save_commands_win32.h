// Writing a file the user chose without destroying what was there: the new contents go to a
// temporary file in the same folder, which replaces the chosen name only once every byte of
// it has been written and the file closed. A failure at any point leaves an existing file as
// it was and removes the temporary file.
#pragma once

#include <windows.h>

#include "windows/base/handles_win32.h"

#include <cstddef>
#include <string>

namespace hl {

class ReplacingFile {
 public:
  ReplacingFile() = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();

  // Checks that `target` can be written (an existing file that cannot be opened for writing,
  // for instance one that is read-only or in use, cannot be replaced either) and creates the
  // temporary file beside it. False when either fails: nothing was written anywhere.
  bool Open(const char* target);

  // Appends `bytes` bytes; false (and every later call false) when fewer were written.
  bool Write(const void* data, size_t bytes);

  // Closes the temporary file and moves it over the target. False when anything failed,
  // now or in an earlier Write; the temporary file is then deleted and the target untouched.
  bool Commit();

  // Deletes the temporary file without touching the target.
  void Abandon();

  const std::string& temporaryPath() const { return temporary_; }

 private:
  FileHandle file_;
  std::string target_, temporary_;
  bool failed_ = false;
};

}  // namespace hl
