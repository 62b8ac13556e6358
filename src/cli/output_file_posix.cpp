#include "cli/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

bool WriteFileReplacing(const std::string& path, const uint8_t* data, size_t size) {
  std::string pattern = path + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < size) {
    ssize_t wrote = write(fd, data + done, size - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) ok = false;
    else done += static_cast<size_t>(wrote);
  }
  // mkstemp creates the file 0600; give it the permissions a new file normally gets.
  mode_t mask = umask(0);
  umask(mask);
  if (ok && fchmod(fd, 0666 & ~mask) != 0) ok = false;
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (ok && rename(name.data(), path.c_str()) != 0) ok = false;
  if (!ok) unlink(name.data());
  return ok;
}

}  // namespace hl
