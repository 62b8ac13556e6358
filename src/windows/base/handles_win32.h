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

// A movable, zero-filled global block, counted in AllocationCount() while it is held. It
// may be locked (Lock) for a stretch and stay held unlocked between (the sample buffer),
// and is unlocked before it is freed, whichever way its owner goes.
class GlobalBlock {
 public:
  GlobalBlock() = default;
  ~GlobalBlock() { Free(); }
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  GlobalBlock(GlobalBlock&& other) noexcept : block_(other.block_), locked_(other.locked_) {
    other.block_ = nullptr;
    other.locked_ = nullptr;
  }
  GlobalBlock& operator=(GlobalBlock&& other) noexcept {
    if (this != &other) {
      Free();
      block_ = other.block_;
      locked_ = other.locked_;
      other.block_ = nullptr;
      other.locked_ = nullptr;
    }
    return *this;
  }

  // Replaces what is held by a new block of `bytes`; false (and nothing held) when the
  // memory is refused.
  bool Allocate(size_t bytes);
  // The same, locked: false (and nothing held) when it cannot be locked either.
  bool AllocateLocked(size_t bytes);
  void Free();
  // The block's memory, locked until Unlock(); nullptr when nothing is held or the lock is
  // refused. Locking a locked block gives the same memory.
  uint8_t* Lock();
  void Unlock();

  HGLOBAL get() const { return block_; }
  uint8_t* locked() const { return locked_; }
  explicit operator bool() const { return block_ != nullptr; }

 private:
  HGLOBAL block_ = nullptr;
  uint8_t* locked_ = nullptr;
};

// A counted global block that stays locked while it is held: the ring and header blocks
// a loop works on from start to end.
class LockedBlock {
 public:
  // Replaces what is held by a new block of `bytes`; false (and nothing held) when the
  // memory is refused or cannot be locked.
  bool Allocate(size_t bytes) { return block_.AllocateLocked(bytes); }
  void Free() { block_.Free(); }
  uint8_t* data() const { return block_.locked(); }
  explicit operator bool() const { return data() != nullptr; }

 private:
  GlobalBlock block_;
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

  // False when the system reports the close failed (for a file written to: its last data
  // may not have reached the disk).
  bool Close() {
    const bool closed = !valid() || CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }
  void Reset(HANDLE handle) {
    Close();
    handle_ = handle;
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
