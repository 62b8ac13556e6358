#include "cli/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/uio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace hl {

bool FileSizeOf(const std::string& path, uint64_t* size) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

size_t ReadFileRange(const std::string& path, uint64_t offset, size_t count, uint8_t* out) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return 0;
  size_t done = 0;
  while (done < count) {
    ssize_t got = pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  close(fd);
  return done;
}

bool FileView::Open(const std::string& path, uint64_t offset, size_t count) {
  Close();
  uint64_t fileSize = 0;
  if (!FileSizeOf(path, &fileSize)) return false;
  size_ = count;
  if (count == 0) return true;
  // The mapping covers what the file holds; a range running past its end is read instead,
  // so the missing bytes can be zero.
  // A 32-bit process cannot name a mapping that, rounded out to whole pages, passes 4 GiB.
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  const uint64_t start = offset - offset % page;
  if (offset + count <= fileSize && offset - start + count <= SIZE_MAX) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    mappingSize_ = static_cast<size_t>(offset - start + count);
    void* mapped = mmap(nullptr, mappingSize_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, static_cast<off_t>(start));
    close(fd);
    if (mapped != MAP_FAILED) {
      mapping_ = mapped;
      data_ = static_cast<const uint8_t*>(mapped) + (offset - start);
      return true;
    }
    mappingSize_ = 0;
  }
  buffer_ = new (std::nothrow) uint8_t[count];
  if (!buffer_) return false;
  size_t got = ReadFileRange(path, offset, count, buffer_);
  std::memset(buffer_ + got, 0, count - got);
  data_ = buffer_;
  return true;
}

void FileView::Close() {
  if (mapping_) munmap(mapping_, mappingSize_);
  delete[] buffer_;
  mapping_ = nullptr;
  mappingSize_ = 0;
  buffer_ = nullptr;
  data_ = nullptr;
  size_ = 0;
}

bool WriteFileReplacing(const std::string& path, const uint8_t* data, size_t size) {
  const ByteChunk chunk{data, size};
  return WriteFileReplacing(path, &chunk, 1);
}

namespace {

// Writes every chunk, resuming after short writes; false on any error.
bool WriteChunks(int fd, const ByteChunk* chunks, size_t count) {
  std::vector<iovec> pending;
  for (size_t i = 0; i < count; ++i) {
    if (chunks[i].size) pending.push_back({const_cast<uint8_t*>(chunks[i].data), chunks[i].size});
  }
  size_t first = 0;
  while (first < pending.size()) {
    const int batch = static_cast<int>(std::min<size_t>(pending.size() - first, IOV_MAX));
    ssize_t wrote = writev(fd, pending.data() + first, batch);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    size_t left = static_cast<size_t>(wrote);
    while (left > 0 && left >= pending[first].iov_len) left -= pending[first++].iov_len;
    if (left > 0) {
      pending[first].iov_base = static_cast<uint8_t*>(pending[first].iov_base) + left;
      pending[first].iov_len -= left;
    }
  }
  return true;
}

}  // namespace

bool WriteFileReplacing(const std::string& path, const ByteChunk* chunks, size_t count) {
  std::string pattern = path + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return false;
  bool ok = WriteChunks(fd, chunks, count);
  // mkstemp creates the file 0600; give it the permissions a new file normally gets.
  mode_t mask = umask(0);
  umask(mask);
  if (ok && fchmod(fd, 0666 & ~mask) != 0) ok = false;
  // No fsync: every write and the close are checked, and the rename makes the new file
  // appear whole or not at all. (Waiting for the disk would triple the time of a render,
  // and ext4 already flushes a file renamed over another.)
  if (close(fd) != 0) ok = false;
  if (ok && rename(name.data(), path.c_str()) != 0) ok = false;
  if (!ok) unlink(name.data());
  return ok;
}

}  // namespace hl
