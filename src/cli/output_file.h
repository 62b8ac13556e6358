// File access for the command-line tool: reads of an input file by range, and safe
// replacement of an output file through a temporary file beside it. In every command "-"
// names standard input as an input and standard output as an output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/base/messages.h"

namespace hl {

// "standard input" for "-", else the path: how messages name an input.
std::string InputName(const std::string& path);

// Size of a regular file in bytes; false when it cannot be opened. For "-" standard input is
// first copied, once, to a temporary file no name points to (so it goes however the tool
// ends), and then read like any file: memory never holds more of it than of a file.
bool FileSizeOf(const std::string& path, uint64_t* size);

// When a regular file was last written, in nanoseconds since an epoch of the system's own;
// false when it cannot be read. Only for comparing two files' times: std::filesystem's
// clock on MinGW keeps whole seconds, so a file written within the same second as another
// would not count as newer.
bool LastWriteTime(const std::string& path, int64_t* nanoseconds);

// Why FileSizeOf failed, one line: the message and its cause ("Cannot Open File: a.wav",
// "Error Writing File: the copy of standard input in /tmp: No space left on device").
std::string OpenFailure(const std::string& path);

// Reads up to `count` bytes from `offset` into `out`; returns how many were read
// (0 on any failure). The caller zero-fills what was not read.
size_t ReadFileRange(const std::string& path, uint64_t offset, size_t count, uint8_t* out);

// An input file kept open for reads of byte ranges. Reads are plain reads, never a
// mapping, so a file that another process shortens makes a read fail instead of
// killing the tool. ReadAt may be called from several threads at once.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() { Close(); }
  bool Open(const std::string& path);
  void Close();
  // True only when all `count` bytes from `offset` were read: a range the file no
  // longer holds is a failure.
  bool ReadAt(uint64_t offset, size_t count, uint8_t* out) const;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// Makes SIGINT, SIGTERM and SIGHUP (on Windows Ctrl+C and closing the console) remove the
// temporary file of a replacement in progress before the tool ends; a file-size limit
// makes the write fail (SIGXFSZ is ignored) so that it is reported like any failed write,
// and so does a closed pipe on standard output (SIGPIPE is ignored). An interruption that
// comes when every output is in place no longer ends the tool: it ends as it would have.
void InstallInterruptCleanup();

// How many outputs the command writes (1 unless told). OutputSettled counts one down: an
// output moved into place or written to standard output (WriteOutput calls it), or given up.
void ExpectOutputs(int count);
void OutputSettled();

struct ByteChunk {
  const uint8_t* data;
  size_t size;
};

// The temporary file a replacement is written to, in the target's folder under a short
// name of its own (so a target name near the system's limit still has room). While it
// exists the interruption handlers know its name. One at a time.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() { Discard(); }
  // CannotOpenFile when the target exists and is not a regular file (a device, a pipe,
  // a folder or a symbolic link are never replaced) or may not be written (no write
  // permission, which is refused for root too); ErrorWritingFile when the temporary file
  // cannot be made. Problem() then says why.
  Message Create(const std::string& target);
  bool Write(const ByteChunk* chunks, size_t count);
  // Closes the file (checked), gives it the target's owner and group where the process
  // may, and its permission bits without setuid, setgid and sticky (a new file's when the
  // target is absent), and moves it over the target; ErrorWritingFile on any failure.
  Message Commit();
  void Discard();
  // What went wrong, to follow the target's name in a message: " is not a regular file
  // and is never replaced", ": Permission denied", ...
  const std::string& Problem() const { return problem_; }

 private:
  std::string target_;
  std::string problem_;
  bool open_ = false;
  bool ok_ = true;
  int slot_ = -1;  // this file's entry in the interruption handler's table
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
  unsigned mode_ = 0;
  long owner_ = -1, group_ = -1;  // the target's, when it exists
#endif
};

// Writes the pieces one after the other to a temporary file and moves it over `path`, or
// for "-" to standard output. On failure the temporary file is removed and an existing file
// is left untouched. Returns "" when written, else one line: the message, the output's name
// and why ("Error Writing File: standard output: Broken pipe").
std::string WriteOutput(const std::string& path, const ByteChunk* chunks, size_t count);
std::string WriteOutput(const std::string& path, const uint8_t* data, size_t size);

// A log that only grows, such as the batch's manifest: each Append is one write of a whole
// line at the end of the file, so a process killed at any moment leaves whole lines, and
// nothing waits in a buffer of this process. Not for several threads at once.
class AppendFile {
 public:
  AppendFile() = default;
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;
  ~AppendFile() { Close(); }
  // Opens `path` for appending, creating it when absent; false when it cannot be.
  bool Open(const std::string& path);
  bool Append(const std::string& text);
  void Close();

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace hl
