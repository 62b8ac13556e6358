#include "cli/output_file.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "windows/base/wide_text_win32.h"

namespace hl {

namespace {

// The copy of standard input, made once by the first FileSizeOf("-"): a temporary file
// the system deletes when its handle closes, so it goes however the tool ends.
struct StandardInputCopy {
  std::once_flag once;
  HANDLE handle = INVALID_HANDLE_VALUE;
  uint64_t size = 0;
  std::string failure;
};
StandardInputCopy gStandardInput;
// More than any analysis reads; past it standard input is not read.
constexpr uint64_t kLargestCopy = (uint64_t{17} << 30);

void SpoolStandardInput() {
  const std::string failed = std::string(MessageText(Message::ErrorWritingFile)) + ": the copy of standard input";
  wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
  if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"hl", 0, name)) {
    gStandardInput.failure = failed;
    return;
  }
  HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DeleteFileW(name);
    gStandardInput.failure = failed;
    return;
  }
  constexpr DWORD kBlock = 1 << 20;
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[kBlock]);
  if (!block) gStandardInput.failure = MessageText(Message::NotEnoughMemory);
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  uint64_t size = 0;
  while (block && size < kLargestCopy) {
    DWORD got = 0, wrote = 0;
    const DWORD want = static_cast<DWORD>(kLargestCopy - size < kBlock ? kLargestCopy - size : kBlock);
    if (!ReadFile(in, block.get(), want, &got, nullptr)) {
      // A pipe whose writer closed it ends this way.
      if (GetLastError() != ERROR_BROKEN_PIPE) {
        gStandardInput.failure = std::string(MessageText(Message::CannotOpenFile)) + ": standard input";
      }
      break;
    }
    if (got == 0) break;
    if (!WriteFile(file, block.get(), got, &wrote, nullptr) || wrote != got) {
      gStandardInput.failure = failed;
      break;
    }
    size += got;
  }
  if (!gStandardInput.failure.empty()) {
    CloseHandle(file);
    return;
  }
  gStandardInput.handle = file;
  gStandardInput.size = size;
}

}  // namespace

std::string OpenFailure(const std::string& path) {
  if (path == "-" && !gStandardInput.failure.empty()) return gStandardInput.failure;
  return std::string(MessageText(Message::CannotOpenFile)) + ": " + InputName(path);
}

bool FileSizeOf(const std::string& path, uint64_t* size) {
  if (path == "-") {
    std::call_once(gStandardInput.once, SpoolStandardInput);
    if (gStandardInput.handle == INVALID_HANDLE_VALUE) return false;
    *size = gStandardInput.size;
    return true;
  }
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &info)) return false;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  *size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return true;
}

bool LastWriteTime(const std::string& path, int64_t* nanoseconds) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (path == "-" || !GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &info)) return false;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  const uint64_t ticks = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                         info.ftLastWriteTime.dwLowDateTime;  // 100 ns since 1601
  *nanoseconds = static_cast<int64_t>(ticks) * 100;
  return true;
}

size_t ReadFileRange(const std::string& path, uint64_t offset, size_t count, uint8_t* out) {
  if (path == "-") {
    InputFile copy;
    if (!copy.Open(path)) return 0;
    size_t done = count;
    // The copy's size is known: read only what it holds.
    if (offset >= gStandardInput.size) return 0;
    if (done > gStandardInput.size - offset) done = static_cast<size_t>(gStandardInput.size - offset);
    return copy.ReadAt(offset, done, out) ? done : 0;
  }
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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

bool InputFile::Open(const std::string& path) {
  Close();
  if (path == "-") {
    HANDLE copy = nullptr;
    if (gStandardInput.handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), gStandardInput.handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
      return false;
    }
    handle_ = copy;
    return true;
  }
  // No write sharing: nobody can shorten the file while it is read.
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle_ = file;
  return true;
}

void InputFile::Close() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

bool InputFile::ReadAt(uint64_t offset, size_t count, uint8_t* out) const {
  if (!handle_) return false;
  size_t done = 0;
  while (done < count) {
    // An offset in OVERLAPPED makes each read independent of the file pointer, so
    // several threads can read at once.
    OVERLAPPED at = {};
    const uint64_t position = offset + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD piece = count - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(count - done);
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(handle_), out + done, piece, &got, &at) || got == 0) return false;
    done += got;
  }
  return true;
}

namespace {

// The names of the temporary files while they exist, for the console handler, which runs
// on a thread of its own when Ctrl+C is pressed or the console is closed. A batch writes
// from several threads at once, so each temporary file has an entry of its own.
struct TemporarySlot {
  wchar_t name[MAX_PATH];
  volatile LONG exists;
  volatile LONG taken;
};
constexpr int kSlots = 72;  // more than the batch's most threads, each writing one file
// What the console handler reads: the temporary files to remove, and how many outputs are
// still to be moved into place.
struct Interruptions {
  TemporarySlot slots[kSlots];
  std::atomic<int> outputsLeft{1};
};
Interruptions gInterruptions;

int TakeSlot() {
  for (int i = 0; i < kSlots; ++i) {
    if (InterlockedCompareExchange(&gInterruptions.slots[i].taken, 1, 0) == 0) return i;
  }
  return -1;
}

// Deletes the slot's file when it still exists and gives the slot back.
void ReleaseSlot(int& slot, bool removeFile) {
  if (slot < 0) return;
  if (InterlockedExchange(&gInterruptions.slots[slot].exists, 0) && removeFile) DeleteFileW(gInterruptions.slots[slot].name);
  InterlockedExchange(&gInterruptions.slots[slot].taken, 0);
  slot = -1;
}

BOOL WINAPI RemoveTemporaryOnInterrupt(DWORD) {
  // The files are open with delete sharing, so they go when the process closes them.
  for (TemporarySlot& slot : gInterruptions.slots) {
    if (InterlockedExchange(&slot.exists, 0)) DeleteFileW(slot.name);
  }
  // Every output complete: the tool ends as it would have, with its own exit code.
  if (gInterruptions.outputsLeft.load() <= 0) return TRUE;
  return FALSE;  // the default handler then ends the process
}

// A target that exists must be an ordinary disk file: devices (NUL, CON, COM1), pipes,
// folders and links are never replaced.
bool ReplaceableTarget(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    return false;
  }
  HANDLE file = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return true;  // absent (or unreadable: the move will tell)
  const bool disk = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  return disk;
}

}  // namespace

void InstallInterruptCleanup() { SetConsoleCtrlHandler(RemoveTemporaryOnInterrupt, TRUE); }

void ExpectOutputs(int count) { gInterruptions.outputsLeft = count; }
void OutputSettled() { --gInterruptions.outputsLeft; }

Message TemporaryFile::Create(const std::string& target) {
  Discard();
  target_ = target;
  problem_.clear();
  ok_ = true;
  if (!ReplaceableTarget(target)) {
    problem_ = " is not a regular file and is never replaced";
    return Message::CannotOpenFile;
  }
  const DWORD attributes = GetFileAttributesW(Wide(target).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    problem_ = " may not be written and is not replaced";
    return Message::CannotOpenFile;
  }
  // The temporary file sits in the target's folder so the final move never copies.
  std::string folder = ".";
  size_t slash = target.find_last_of("\\/");
  if (slash != std::string::npos) folder = target.substr(0, slash + 1);
  slot_ = TakeSlot();
  if (slot_ < 0) return Message::ErrorWritingFile;
  TemporarySlot& slot = gInterruptions.slots[slot_];
  if (!GetTempFileNameW(Wide(folder).c_str(), L"hl", 0, slot.name)) {
    ReleaseSlot(slot_, false);
    return Message::ErrorWritingFile;
  }
  InterlockedExchange(&slot.exists, 1);
  HANDLE file = CreateFileW(slot.name, GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ReleaseSlot(slot_, true);
    return Message::ErrorWritingFile;
  }
  handle_ = file;
  open_ = true;
  return Message::None;
}

bool TemporaryFile::Write(const ByteChunk* chunks, size_t count) {
  if (!open_ || !ok_) return false;
  HANDLE file = static_cast<HANDLE>(handle_);
  for (size_t i = 0; ok_ && i < count; ++i) {
    size_t done = 0;
    while (ok_ && done < chunks[i].size) {
      DWORD piece = chunks[i].size - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(chunks[i].size - done);
      DWORD wrote = 0;
      if (!WriteFile(file, chunks[i].data + done, piece, &wrote, nullptr) || wrote != piece) ok_ = false;
      done += wrote;
    }
  }
  return ok_;
}

Message TemporaryFile::Commit() {
  if (!open_) return Message::ErrorWritingFile;
  HANDLE file = static_cast<HANDLE>(handle_);
  bool ok = ok_;
  // A full disk may show up only when the data is flushed.
  if (ok && !FlushFileBuffers(file)) ok = false;
  if (!CloseHandle(file)) ok = false;
  handle_ = nullptr;
  open_ = false;
  if (ok && !MoveFileExW(gInterruptions.slots[slot_].name, Wide(target_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
  }
  if (ok) OutputSettled();
  ReleaseSlot(slot_, !ok);
  return ok ? Message::None : Message::ErrorWritingFile;
}

void TemporaryFile::Discard() {
  if (!open_) return;
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  open_ = false;
  ReleaseSlot(slot_, true);
}

bool AppendFile::Open(const std::string& path) {
  Close();
  HANDLE file = CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return false;
  }
  handle_ = file;
  return true;
}

bool AppendFile::Append(const std::string& text) {
  if (!handle_) return false;
  DWORD put = 0;
  return WriteFile(static_cast<HANDLE>(handle_), text.data(), static_cast<DWORD>(text.size()), &put, nullptr) &&
         put == text.size();
}

void AppendFile::Close() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

}  // namespace hl
