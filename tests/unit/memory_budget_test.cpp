#include "core/analysis/memory_budget.h"

#include <gtest/gtest.h>

namespace hl {
namespace {

TEST(MemoryBudget, WorkedExamples) {
  struct Case {
    uint64_t physical, address;
    bool low;
    uint64_t budget;
  } cases[] = {
      // 10,000,000 - 6,291,456 = 3,708,544, cut to 56 x 65,536.
      {10000000, 1ull << 40, true, 3670016},
      // Below the reserve: 4,000,000 / 4 = 1,000,000, cut to 15 x 65,536.
      {4000000, 1ull << 40, true, 983040},
      // Exactly the reserve leaves 0.
      {6291456, 1ull << 40, true, 0},
      // 12,000,000 is not low.
      {12000000, 1ull << 40, false, 5701632},
      // 16 GiB free but a 32-bit process with 1.9 GB of address space left: the address
      // space decides (1,900,000,000 - 6,291,456 = 1,893,708,544 -> 28,895 x 65,536).
      {16ull << 30, 1900000000, false, 1893662720},
      // 8 GiB of address space and 3,000,000,000 bytes of memory: memory decides
      // (2,993,708,544 -> 45,680 x 65,536).
      {3000000000ull, 8ull << 30, false, 2993684480},
  };
  for (const auto& c : cases) {
    MemoryBudget b = ComputeMemoryBudget(c.physical, c.address);
    EXPECT_EQ(b.lowMemory, c.low) << c.physical;
    EXPECT_EQ(b.budget, c.budget) << c.physical;
    EXPECT_EQ(b.budget % 65536, 0u);
  }
}

}  // namespace
}  // namespace hl
