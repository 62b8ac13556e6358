#include "windows/base/analysis_win32.h"

#include <utility>

namespace hl {

namespace {

// The analysis shown and the one "&Change" set aside: one owner, so that the samples and
// the bitmap of either are released exactly once.
struct Analyses {
  AnalysisState shown;
  HeldAnalysis held;
};

Analyses& State() {
  static Analyses state;
  return state;
}

}  // namespace

void HandOverAnalysis(AnalysisState& from, AnalysisState& to) {
  static_cast<AnalysisFacts&>(to) = from;
  to.sampleBuffer = std::move(from.sampleBuffer);
}

AnalysisState& Analysis() { return State().shown; }

HeldAnalysis& HeldFullResolution() { return State().held; }

}  // namespace hl
