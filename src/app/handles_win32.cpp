#include "app/handles_win32.h"

namespace hl {

int& AllocationCount() {
  static int count = 0;
  return count;
}

HGLOBAL AllocateCountedBlock(size_t bytes) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(bytes));
  if (block) ++AllocationCount();
  return block;
}

void* AllocateLockedBlock(HGLOBAL& block, size_t bytes) {
  block = AllocateCountedBlock(bytes);
  if (!block) return nullptr;
  void* locked = GlobalLock(block);
  if (!locked) {
    FreeBlock(block, false);
    block = nullptr;
  }
  return locked;
}

void FreeBlock(HGLOBAL block, bool locked) {
  if (!block) return;
  if (locked) GlobalUnlock(block);
  GlobalFree(block);
  --AllocationCount();
}

bool LockedBlock::Allocate(size_t bytes) {
  Free();
  data_ = static_cast<uint8_t*>(AllocateLockedBlock(block_, bytes));
  return data_ != nullptr;
}

}  // namespace hl
