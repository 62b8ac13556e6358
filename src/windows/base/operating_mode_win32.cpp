#include "windows/base/operating_mode_win32.h"

namespace hl {

OperatingMode& Mode() {
  static OperatingMode mode;
  return mode;
}

AnalysisSettings& Settings() {
  static AnalysisSettings settings;
  return settings;
}

}  // namespace hl
