#include "app/operating_mode.h"

namespace hl {

OperatingMode& Mode() {
  static OperatingMode mode;
  return mode;
}

int& AllocationCount() {
  static int count = 0;
  return count;
}

}  // namespace hl
