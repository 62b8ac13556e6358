#include "app/operating_mode.h"

namespace hl {

OperatingMode& Mode() {
  static OperatingMode mode;
  return mode;
}

}  // namespace hl
