#include "core/analysis/memory_budget.h"

#include <algorithm>

namespace hl {

MemoryBudget ComputeMemoryBudget(uint64_t availablePhysical, uint64_t availableVirtual) {
  const uint64_t amount = std::min(availablePhysical, availableVirtual);
  uint64_t budget = amount >= kMemoryReserve ? amount - kMemoryReserve : amount / 4;
  budget -= budget % kBudgetGranule;
  return {availablePhysical < kLowMemoryThreshold, budget};
}

}  // namespace hl
