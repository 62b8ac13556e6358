// The replacement of an output file, the same on every system: TemporaryFile does the
// system's part.
#include "cli/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace hl {

std::string InputName(const std::string& path) { return path == "-" ? "standard input" : path; }

namespace {

std::string WriteStandardOutput(const ByteChunk* chunks, size_t count) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  errno = 0;
  bool ok = true;
  for (size_t i = 0; ok && i < count; ++i) {
    ok = std::fwrite(chunks[i].data, 1, chunks[i].size, stdout) == chunks[i].size;
  }
  if (ok) ok = std::fflush(stdout) == 0;
  if (ok) return "";
  const int cause = errno;
  return std::string(MessageText(Message::ErrorWritingFile)) + ": standard output" +
         (cause ? std::string(": ") + std::strerror(cause) : std::string());
}

}  // namespace

std::string WriteOutput(const std::string& path, const ByteChunk* chunks, size_t count) {
  std::string failure;
  if (path == "-") {
    failure = WriteStandardOutput(chunks, count);
    if (failure.empty()) OutputSettled();
    return failure;
  }
  TemporaryFile file;
  Message result = file.Create(path);
  if (result == Message::None) {
    file.Write(chunks, count);
    result = file.Commit();
  }
  if (result == Message::None) return "";
  return std::string(MessageText(result)) + ": " + path + file.Problem();
}

std::string WriteOutput(const std::string& path, const uint8_t* data, size_t size) {
  const ByteChunk chunk{data, size};
  return WriteOutput(path, &chunk, 1);
}

}  // namespace hl
