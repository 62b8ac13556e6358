#include "cli/output_file.h"

#include <windows.h>

#include <cstring>
#include <new>
#include <string>

namespace hl {

bool FileSizeOf(const std::string& path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info)) return false;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  *size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return true;
}

size_t ReadFileRange(const std::string& path, uint64_t offset, size_t count, uint8_t* out) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  size_t done = 0;
  if (SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) {
    while (done < count) {
      DWORD chunk = count - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(count - done);
      DWORD got = 0;
      if (!ReadFile(file, out + done, chunk, &got, nullptr) || got == 0) break;
      done += got;
    }
  }
  CloseHandle(file);
  return done;
}

bool FileView::Open(const std::string& path, uint64_t offset, size_t count) {
  Close();
  size_ = count;
  if (count == 0) return true;
  buffer_ = new (std::nothrow) uint8_t[count];
  if (!buffer_) return false;
  size_t got = ReadFileRange(path, offset, count, buffer_);
  std::memset(buffer_ + got, 0, count - got);
  data_ = buffer_;
  return true;
}

void FileView::Close() {
  delete[] buffer_;
  buffer_ = nullptr;
  data_ = nullptr;
  size_ = 0;
}

bool WriteFileReplacing(const std::string& path, const uint8_t* data, size_t size) {
  const ByteChunk chunk{data, size};
  return WriteFileReplacing(path, &chunk, 1);
}

bool WriteFileReplacing(const std::string& path, const ByteChunk* chunks, size_t count) {
  // The temporary file sits in the target's folder so the final move never copies.
  std::string folder = ".";
  size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos) folder = path.substr(0, slash + 1);
  char temporary[MAX_PATH];
  if (!GetTempFileNameA(folder.c_str(), "hl", 0, temporary)) return false;
  HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DeleteFileA(temporary);
    return false;
  }
  bool ok = true;
  for (size_t i = 0; ok && i < count; ++i) {
    size_t done = 0;
    while (ok && done < chunks[i].size) {
      DWORD piece = chunks[i].size - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(chunks[i].size - done);
      DWORD wrote = 0;
      if (!WriteFile(file, chunks[i].data + done, piece, &wrote, nullptr) || wrote != piece) ok = false;
      done += wrote;
    }
  }
  // A full disk may show up only when the data is flushed.
  if (ok && !FlushFileBuffers(file)) ok = false;
  if (!CloseHandle(file)) ok = false;
  if (ok && !MoveFileExA(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
  }
  if (!ok) DeleteFileA(temporary);
  return ok;
}

}  // namespace hl
