#include "cli/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <vector>

namespace hl {

namespace {

// The copy of standard input, made once by the first FileSizeOf("-").
struct StandardInputCopy {
  std::once_flag once;
  int fd = -1;
  uint64_t size = 0;
  std::string failure;
};
StandardInputCopy gStandardInput;
void SpoolStandardInput();

}  // namespace

bool FileSizeOf(const std::string& path, uint64_t* size) {
  if (path == "-") {
    std::call_once(gStandardInput.once, SpoolStandardInput);
    if (gStandardInput.fd < 0) return false;
    *size = gStandardInput.size;
    return true;
  }
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

bool LastWriteTime(const std::string& path, int64_t* nanoseconds) {
  struct stat info;
  if (path == "-" || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *nanoseconds = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

std::string OpenFailure(const std::string& path) {
  if (path == "-" && !gStandardInput.failure.empty()) return gStandardInput.failure;
  std::string line = std::string(MessageText(Message::CannotOpenFile)) + ": " + InputName(path);
  if (path == "-") return line;
  // What stands in the way: no such file (or a dangling link), a pipe or a device, no permission.
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return line + ": " + std::strerror(errno);
  if (!S_ISREG(info.st_mode)) return line + " is not a regular file";
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return line + ": " + std::strerror(errno);
  close(fd);
  return line;
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
  if (path == "-") return gStandardInput.fd >= 0 ? ReadFully(gStandardInput.fd, offset, count, out) : 0;
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return 0;
  const size_t done = ReadFully(fd, offset, count, out);
  close(fd);
  return done;
}

bool InputFile::Open(const std::string& path) {
  Close();
  if (path == "-") {
    fd_ = gStandardInput.fd >= 0 ? dup(gStandardInput.fd) : -1;
  } else {
    fd_ = open(path.c_str(), O_RDONLY);
  }
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
// file's name is prepared in a fixed slot before the file exists, and its state says
// whether it does. While a file is made, moved or removed its slot is Busy: the signals
// are held back in the thread doing it, and a handler running on another thread waits
// until it is done, so it never removes a name that is not ours, never misses a file and
// knows whether the move has happened. A batch writes from several threads at once, so
// each temporary file has a slot of its own.

namespace {

enum SlotState : int { kFree = 0, kExists = 1, kBusy = 2 };

struct TemporarySlot {
  char name[PATH_MAX + 16];
  std::atomic<int> state;
  bool taken;  // guarded by gInterruptions.slotsLock
};
constexpr int kSlots = 72;  // more than the batch's most threads, each writing one file
// What the interruption handler reads: the temporary files to remove, and how many outputs
// are still to be moved into place.
struct Interruptions {
  TemporarySlot slots[kSlots];
  std::mutex slotsLock;
  std::atomic<int> outputsLeft{1};
};
Interruptions gInterruptions;
const int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};

int TakeSlot() {
  std::lock_guard<std::mutex> lock(gInterruptions.slotsLock);
  for (int i = 0; i < kSlots; ++i) {
    if (!gInterruptions.slots[i].taken) {
      gInterruptions.slots[i].taken = true;
      return i;
    }
  }
  return -1;
}

void GiveBackSlot(int slot) {
  std::lock_guard<std::mutex> lock(gInterruptions.slotsLock);
  gInterruptions.slots[slot].taken = false;
}

void RemoveTemporaryAndEnd(int signal) {
  const int saved = errno;
  for (TemporarySlot& slot : gInterruptions.slots) {
    const timespec pause = {0, 1000000};
    while (slot.state.load() == kBusy) nanosleep(&pause, nullptr);
    int exists = kExists;
    if (slot.state.compare_exchange_strong(exists, kBusy)) {
      unlink(slot.name);
      slot.state = kFree;
    }
  }
  // Every output is complete: the tool ends as it would have, with its own exit code.
  if (gInterruptions.outputsLeft.load() <= 0) {
    errno = saved;
    return;
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

std::string Cause(int error) { return std::string(": ") + std::strerror(error); }

// More than any analysis reads: 4 GiB of 16-bit samples decoded from 64-bit ones, and the
// header. Past it standard input is not read: the analysis is the same without the rest.
constexpr uint64_t kLargestCopy = (uint64_t{17} << 30);

// Standard input into a temporary file that is removed the moment it is made, so no exit,
// not even SIGKILL, leaves it behind; it stays open for reading as gStandardInput.fd.
void SpoolStandardInput() {
  const char* folder = std::getenv("TMPDIR");
  if (!folder || !*folder) folder = "/tmp";
  const std::string where = std::string(MessageText(Message::ErrorWritingFile)) +
                            ": the copy of standard input in " + folder;
  const std::string name = std::string(folder) + "/.hl-stdin-XXXXXX";
  const int index = name.size() < sizeof gInterruptions.slots[0].name ? TakeSlot() : -1;
  if (index < 0) {
    gStandardInput.failure = where;
    return;
  }
  TemporarySlot& slot = gInterruptions.slots[index];
  int fd = -1;
  {
    HoldInterruptions hold;
    slot.state = kBusy;
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    fd = mkstemp(slot.name);
    const int error = errno;
    if (fd >= 0) unlink(slot.name);
    slot.state = kFree;
    if (fd < 0) gStandardInput.failure = where + Cause(error);
  }
  GiveBackSlot(index);
  if (fd < 0) return;
  constexpr size_t kBlock = 1 << 20;
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[kBlock]);
  if (!block) {
    close(fd);
    gStandardInput.failure = MessageText(Message::NotEnoughMemory);
    return;
  }
  uint64_t size = 0;
  while (size < kLargestCopy) {
    const ssize_t got = read(STDIN_FILENO, block.get(), static_cast<size_t>(std::min<uint64_t>(kBlock, kLargestCopy - size)));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      gStandardInput.failure = std::string(MessageText(Message::CannotOpenFile)) + ": standard input" + Cause(errno);
      break;
    }
    if (got == 0) break;
    const ByteChunk chunk{block.get(), static_cast<size_t>(got)};
    if (!WriteChunks(fd, &chunk, 1)) {
      gStandardInput.failure = where + Cause(errno);
      break;
    }
    size += static_cast<uint64_t>(got);
  }
  if (!gStandardInput.failure.empty()) {
    close(fd);
    return;
  }
  gStandardInput.fd = fd;
  gStandardInput.size = size;
}

// The target may be written: its write permission (for root, whose access no bit limits,
// any write bit at all: a file nobody may write is never replaced).
bool MayWrite(const std::string& target, const struct stat& info) {
  if (geteuid() == 0) return (info.st_mode & 0222) != 0;
  return faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

}  // namespace

void InstallInterruptCleanup() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = RemoveTemporaryAndEnd;
  sigemptyset(&action.sa_mask);
  for (int s : kInterruptions) sigaddset(&action.sa_mask, s);
  for (int s : kInterruptions) {
    // A signal the caller chose to ignore (nohup) stays ignored.
    struct sigaction before;
    if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
  // Beyond the file-size limit a write then fails with EFBIG and is reported; a reader of
  // standard output that went away makes the write fail with EPIPE.
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
}

void ExpectOutputs(int count) { gInterruptions.outputsLeft = count; }
void OutputSettled() { --gInterruptions.outputsLeft; }

Message TemporaryFile::Create(const std::string& target) {
  Discard();
  target_ = target;
  problem_.clear();
  ok_ = true;
  owner_ = group_ = -1;
  struct stat info;
  if (lstat(target.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) {
      problem_ = " is not a regular file and is never replaced";
      return Message::CannotOpenFile;
    }
    if (!MayWrite(target, info)) {
      problem_ = " may not be written and is not replaced";
      return Message::CannotOpenFile;
    }
    mode_ = info.st_mode & 0777;
    owner_ = static_cast<long>(info.st_uid);
    group_ = static_cast<long>(info.st_gid);
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode_ = 0666 & ~mask;
  }
  const size_t slash = target.find_last_of('/');
  const std::string name = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + ".hl-XXXXXX";
  if (name.size() >= sizeof gInterruptions.slots[0].name) {
    problem_ = Cause(ENAMETOOLONG);
    return Message::ErrorWritingFile;
  }
  slot_ = TakeSlot();
  if (slot_ < 0) return Message::ErrorWritingFile;
  TemporarySlot& slot = gInterruptions.slots[slot_];
  HoldInterruptions hold;
  slot.state = kBusy;
  std::memcpy(slot.name, name.c_str(), name.size() + 1);
  fd_ = mkstemp(slot.name);
  if (fd_ < 0) {
    problem_ = Cause(errno);
    slot.state = kFree;
    GiveBackSlot(slot_);
    slot_ = -1;
    return Message::ErrorWritingFile;
  }
  slot.state = kExists;
  open_ = true;
  return Message::None;
}

bool TemporaryFile::Write(const ByteChunk* chunks, size_t count) {
  if (!open_ || !ok_) return false;
  ok_ = WriteChunks(fd_, chunks, count);
  if (!ok_) problem_ = Cause(errno);
  return ok_;
}

Message TemporaryFile::Commit() {
  if (!open_) return Message::ErrorWritingFile;
  bool ok = ok_;
  // The target's owner and group where the process may give them (root: any; others: a
  // group of their own), then its permission bits: chown clears setuid and setgid, and
  // none of those nor the sticky bit is carried onto a new file.
  if (ok && owner_ >= 0) {
    const uid_t uid = static_cast<uid_t>(owner_);
    const gid_t gid = static_cast<gid_t>(group_);
    if (fchown(fd_, uid, gid) != 0) (void)fchown(fd_, static_cast<uid_t>(-1), gid);
  }
  if (ok && fchmod(fd_, static_cast<mode_t>(mode_)) != 0) ok = false, problem_ = Cause(errno);
  // No fsync: every write and the close are checked, and the rename makes the new file
  // appear whole or not at all. (Waiting for the disk would triple the time of a render,
  // and ext4 already flushes a file renamed over another.)
  if (close(fd_) != 0 && ok) ok = false, problem_ = Cause(errno);
  fd_ = -1;
  TemporarySlot& slot = gInterruptions.slots[slot_];
  {
    // An interruption during the move waits for it, and one after it finds the output
    // counted as complete.
    HoldInterruptions hold;
    slot.state = kBusy;
    if (ok && rename(slot.name, target_.c_str()) != 0) ok = false, problem_ = Cause(errno);
    if (!ok) unlink(slot.name);
    if (ok) OutputSettled();
    slot.state = kFree;
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
  TemporarySlot& slot = gInterruptions.slots[slot_];
  {
    HoldInterruptions hold;
    slot.state = kBusy;
    unlink(slot.name);
    slot.state = kFree;
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
