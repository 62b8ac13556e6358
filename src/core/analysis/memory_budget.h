// How much sample and image data the program lets one analysis hold in memory.
#pragma once

#include <cstdint>

namespace hl {

constexpr uint64_t kLowMemoryThreshold = 12000000;  // bytes of available physical memory
constexpr uint64_t kMemoryReserve = 6291456;         // 6 MiB left for everything else
constexpr uint64_t kBudgetGranule = 65536;

struct MemoryBudget {
  bool lowMemory;   // available physical memory below 12,000,000 bytes
  uint64_t budget;  // bytes an analysis may use for its samples and its image
};

// The budget is taken from the smaller of the available physical memory and the available
// address space of the process: a 32-bit process on a machine with plenty of memory still
// cannot allocate past its address space. From that amount: amount - 6 MiB, or a quarter of
// the amount when that is negative, cut down to a multiple of 65,536.
MemoryBudget ComputeMemoryBudget(uint64_t availablePhysical, uint64_t availableVirtual);

}  // namespace hl
