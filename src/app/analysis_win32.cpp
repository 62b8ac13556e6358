#include "app/analysis_win32.h"

namespace hl {

AnalysisState& Analysis() {
  static AnalysisState state;
  return state;
}

}  // namespace hl
