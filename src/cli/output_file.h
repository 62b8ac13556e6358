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

// Writes `size` bytes to a temporary file beside `path`, checks every write and the close,
// then moves it over `path`. On failure the temporary file is removed and an existing file
// of that name is left untouched. Returns false on failure.
bool WriteFileReplacing(const std::string& path, const uint8_t* data, size_t size);

}  // namespace hl
