// Owners for the system resources the shell holds: movable global memory, file handles,
// window device contexts, and the busy flags the long commands raise. Each owner is
// move-only, so a handle has one owner and is given back exactly once, whichever way its
// scope is left.
#pragma once

#include <windows.h>

#include <cstdint>

namespace hl {

// Global memory blocks currently held (sample buffers, bitmaps' memory, header blocks).
// Every allocation increments it and every release decrements it; closing the window
// beeps when it is not back to 0.
int& AllocationCount();

// A movable, zero-filled global block of `bytes`, counted; nullptr when refused.
HGLOBAL AllocateCountedBlock(size_t bytes);
// A counted block of `bytes`, locked: its memory, or nullptr (and no block) when refused.
void* AllocateLockedBlock(HGLOBAL& block, size_t bytes);
// Unlocks `block` when `locked` is set, frees it and counts it out; both become nullptr.
// Nothing happens for a null block.
void FreeBlock(HGLOBAL block, bool locked);
template <typename T>
void FreeCountedBlock(HGLOBAL& block, T*& locked) {
  FreeBlock(block, locked != nullptr);
  block = nullptr;
  locked = nullptr;
}

// A counted global block that stays locked while it is held: the ring and header blocks
// a loop works on from start to end.
class LockedBlock {
 public:
  LockedBlock() = default;
  ~LockedBlock() { Free(); }
  LockedBlock(const LockedBlock&) = delete;
  LockedBlock& operator=(const LockedBlock&) = delete;
  LockedBlock(LockedBlock&& other) noexcept : block_(other.block_), data_(other.data_) {
    other.block_ = nullptr;
    other.data_ = nullptr;
  }
  LockedBlock& operator=(LockedBlock&& other) noexcept {
    if (this != &other) {
      Free();
      block_ = other.block_;
      data_ = other.data_;
      other.block_ = nullptr;
      other.data_ = nullptr;
    }
    return *this;
  }

  // Replaces what is held by a new block of `bytes`; false (and nothing held) when the
  // memory is refused or cannot be locked.
  bool Allocate(size_t bytes);
  void Free() { FreeCountedBlock(block_, data_); }
  uint8_t* data() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  HGLOBAL block_ = nullptr;
  uint8_t* data_ = nullptr;
};

// A file handle closed when its owner goes.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle(FileHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = INVALID_HANDLE_VALUE;
    }
    return *this;
  }

  void Close() {
    if (valid()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A window's device context, given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;

  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Raises a busy flag (an OperatingMode byte) for a command's scope. The flag is clear once
// the scope is left, by any return; Clear() lowers it earlier where what follows must see
// the program idle.
class BusyFlag {
 public:
  explicit BusyFlag(uint8_t& flag) : flag_(flag) { flag_ = 1; }
  ~BusyFlag() { flag_ = 0; }
  BusyFlag(const BusyFlag&) = delete;
  BusyFlag& operator=(const BusyFlag&) = delete;

  void Clear() { flag_ = 0; }

 private:
  uint8_t& flag_;
};

}  // namespace hl
