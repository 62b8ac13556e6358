#include "windows/sound/capture_state_win32.h"

namespace hl {

CaptureState& Capture() {
  static CaptureState state;
  return state;
}

}  // namespace hl
