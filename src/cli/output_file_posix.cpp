#include "cli/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <cerrno>
#include <cstring>
#include <vector>

namespace hl {

bool FileSizeOf(const std::string& path, uint64_t* size) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

namespace {

// Reads until `count` bytes are in or the file has no more; returns how many were read.
size_t ReadFully(int fd, uint64_t offset, size_t count, uint8_t* out) {
  size_t done = 0;
  while (done < count) {
    ssize_t got = pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

}  // namespace

size_t ReadFileRange(const std::string& path, uint64_t offset, size_t count, uint8_t* out) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return 0;
  const size_t done = ReadFully(fd, offset, count, out);
  close(fd);
  return done;
}

bool InputFile::Open(const std::string& path) {
  Close();
  fd_ = open(path.c_str(), O_RDONLY);
  return fd_ >= 0;
}

void InputFile::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool InputFile::ReadAt(uint64_t offset, size_t count, uint8_t* out) const {
  return fd_ >= 0 && ReadFully(fd_, offset, count, out) == count;
}

// ---------------------------------------------------------------------------
// Interruptions. The handler may only use async-signal-safe calls, so every temporary
// file's name is prepared in a fixed slot before the file exists, and a flag says
// whether it does. The signals are held back while the flag and the file change
// together, so the handler never removes a name that is not ours. A batch writes from
// several threads at once, so each temporary file has a slot of its own.

namespace {

struct TemporarySlot {
  char name[PATH_MAX + 16];
  volatile sig_atomic_t exists;
  bool taken;  // guarded by gSlotsLock
};
constexpr int kSlots = 72;  // more than the batch's most threads, each writing one file
TemporarySlot gSlots[kSlots];
std::mutex gSlotsLock;
const int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};

int TakeSlot() {
  std::lock_guard<std::mutex> lock(gSlotsLock);
  for (int i = 0; i < kSlots; ++i) {
    if (!gSlots[i].taken) {
      gSlots[i].taken = true;
      return i;
    }
  }
  return -1;
}

void GiveBackSlot(int slot) {
  std::lock_guard<std::mutex> lock(gSlotsLock);
  gSlots[slot].taken = false;
}

void RemoveTemporaryAndEnd(int signal) {
  for (TemporarySlot& slot : gSlots) {
    if (slot.exists) unlink(slot.name);
    slot.exists = 0;
  }
  // Ends the process as the signal would have, so the caller sees how it ended.
  ::signal(signal, SIG_DFL);
  raise(signal);
}

class HoldInterruptions {
 public:
  HoldInterruptions() {
    sigset_t held;
    sigemptyset(&held);
    for (int s : kInterruptions) sigaddset(&held, s);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~HoldInterruptions() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

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

void InstallInterruptCleanup() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = RemoveTemporaryAndEnd;
  sigemptyset(&action.sa_mask);
  for (int s : kInterruptions) {
    // A signal the caller chose to ignore (nohup) stays ignored.
    struct sigaction before;
    if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
  // Beyond the file-size limit a write then fails with EFBIG and is reported.
  signal(SIGXFSZ, SIG_IGN);
}

Message TemporaryFile::Create(const std::string& target) {
  Discard();
  target_ = target;
  ok_ = true;
  struct stat info;
  if (lstat(target.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) return Message::CannotOpenFile;
    mode_ = info.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode_ = 0666 & ~mask;
  }
  const size_t slash = target.find_last_of('/');
  const std::string name = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + ".hl-XXXXXX";
  if (name.size() >= sizeof gSlots[0].name) return Message::ErrorWritingFile;
  slot_ = TakeSlot();
  if (slot_ < 0) return Message::ErrorWritingFile;
  TemporarySlot& slot = gSlots[slot_];
  HoldInterruptions hold;
  std::memcpy(slot.name, name.c_str(), name.size() + 1);
  fd_ = mkstemp(slot.name);
  if (fd_ < 0) {
    GiveBackSlot(slot_);
    slot_ = -1;
    return Message::ErrorWritingFile;
  }
  slot.exists = 1;
  open_ = true;
  return Message::None;
}

bool TemporaryFile::Write(const ByteChunk* chunks, size_t count) {
  if (!open_ || !ok_) return false;
  ok_ = WriteChunks(fd_, chunks, count);
  return ok_;
}

Message TemporaryFile::Commit() {
  if (!open_) return Message::ErrorWritingFile;
  bool ok = ok_ && fchmod(fd_, static_cast<mode_t>(mode_)) == 0;
  // No fsync: every write and the close are checked, and the rename makes the new file
  // appear whole or not at all. (Waiting for the disk would triple the time of a render,
  // and ext4 already flushes a file renamed over another.)
  if (close(fd_) != 0) ok = false;
  fd_ = -1;
  TemporarySlot& slot = gSlots[slot_];
  {
    HoldInterruptions hold;
    if (ok && rename(slot.name, target_.c_str()) != 0) ok = false;
    if (!ok) unlink(slot.name);
    slot.exists = 0;
  }
  GiveBackSlot(slot_);
  slot_ = -1;
  open_ = false;
  return ok ? Message::None : Message::ErrorWritingFile;
}

void TemporaryFile::Discard() {
  if (!open_) return;
  close(fd_);
  fd_ = -1;
  TemporarySlot& slot = gSlots[slot_];
  {
    HoldInterruptions hold;
    unlink(slot.name);
    slot.exists = 0;
  }
  GiveBackSlot(slot_);
  slot_ = -1;
  open_ = false;
}

bool AppendFile::Open(const std::string& path) {
  Close();
  fd_ = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) return false;
  struct stat info;
  if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    Close();
    return false;
  }
  return true;
}

bool AppendFile::Append(const std::string& text) {
  size_t done = 0;
  while (fd_ >= 0 && done < text.size()) {
    const ssize_t put = write(fd_, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return fd_ >= 0;
}

void AppendFile::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace hl
