#include "windows/base/handles_win32.h"

namespace hl {


bool GlobalBlock::Allocate(size_t bytes) {
  Free();
  block_ = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(bytes));
  if (block_) ++AllocationCount();
  return block_ != nullptr;
}

bool GlobalBlock::AllocateLocked(size_t bytes) {
  if (Allocate(bytes) && Lock()) return true;
  Free();
  return false;
}

void GlobalBlock::Free() {
  if (!block_) return;
  Unlock();
  GlobalFree(block_);
  block_ = nullptr;
  --AllocationCount();
}

uint8_t* GlobalBlock::Lock() {
  if (block_ && !locked_) locked_ = static_cast<uint8_t*>(GlobalLock(block_));
  return locked_;
}

void GlobalBlock::Unlock() {
  if (locked_) GlobalUnlock(block_);
  locked_ = nullptr;
}

}  // namespace hl
