// The replacement of an output file, the same on every system: TemporaryFile does the
// system's part.
#include "cli/output_file.h"

namespace hl {

Message WriteFileReplacing(const std::string& path, const ByteChunk* chunks, size_t count) {
  TemporaryFile file;
  Message result = file.Create(path);
  if (result != Message::None) return result;
  file.Write(chunks, count);
  return file.Commit();
}

Message WriteFileReplacing(const std::string& path, const uint8_t* data, size_t size) {
  const ByteChunk chunk{data, size};
  return WriteFileReplacing(path, &chunk, 1);
}

}  // namespace hl
