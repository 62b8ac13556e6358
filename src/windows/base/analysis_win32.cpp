#include "windows/base/analysis_win32.h"

#include <utility>

namespace hl {

void HandOverAnalysis(AnalysisState& from, AnalysisState& to) {
  static_cast<AnalysisFacts&>(to) = from;
  to.sampleBuffer = std::move(from.sampleBuffer);
}

AnalysisState& Analysis() { return WindowAnalyses().shown; }

HeldAnalysis& SetAsideAnalysis() { return WindowAnalyses().held; }

}  // namespace hl
