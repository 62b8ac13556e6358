// Whole-file reads and safe replacement of an output file, for the command-line tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hl {

// Size of a regular file in bytes; false when it cannot be opened.
bool FileSizeOf(const std::string& path, uint64_t* size);

// Reads up to `count` bytes from `offset` into `out`; returns how many were read
// (0 on any failure). The caller zero-fills what was not read.
size_t ReadFileRange(const std::string& path, uint64_t offset, size_t count, uint8_t* out);

// Read-only view of a byte range of a file: mapped where the system allows, else read
// into memory. Bytes past the end of the file read as zero.
class FileView {
 public:
  FileView() = default;
  FileView(const FileView&) = delete;
  FileView& operator=(const FileView&) = delete;
  ~FileView() { Close(); }
  // False when the file cannot be opened or the memory cannot be had.
  bool Open(const std::string& path, uint64_t offset, size_t count);
  void Close();
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  void* mapping_ = nullptr;  // what to unmap
  size_t mappingSize_ = 0;
  uint8_t* buffer_ = nullptr;  // what to free
};

// Writes `size` bytes to a temporary file beside `path`, checks every write and the close,
// then moves it over `path`. On failure the temporary file is removed and an existing file
// of that name is left untouched. Returns false on failure.
bool WriteFileReplacing(const std::string& path, const uint8_t* data, size_t size);

// The same for a file written from several pieces, one after the other.
struct ByteChunk {
  const uint8_t* data;
  size_t size;
};
bool WriteFileReplacing(const std::string& path, const ByteChunk* chunks, size_t count);

}  // namespace hl
