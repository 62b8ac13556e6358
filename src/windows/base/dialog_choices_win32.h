// Where the core's choices meet the resource ids: each radio group is a run of consecutive
// control ids in the order of its enum, so a choice is its group's first id plus its value.
// The static_asserts hold resources/resource.h to that order.
#pragma once

#include <windows.h>

#include "core/analysis/analysis_settings.h"
#include "core/analysis/menu_state.h"
#include "resources/resource.h"

namespace hl {

template <typename Choice>
struct RadioGroup {
  int first, last;
};

constexpr RadioGroup<RateChoice> kRateGroup{IDC_RATE_5K, IDC_RATE_44K};
constexpr RadioGroup<Resolution> kResolutionGroup{IDC_RES_8_BIT, IDC_RES_16_BIT};
constexpr RadioGroup<FftSize> kFftSizeGroup{IDC_FFT_512, IDC_FFT_2048};
constexpr RadioGroup<FrequencyMode> kFrequencyModeGroup{IDC_MODE_BB, IDC_MODE_NB};
constexpr RadioGroup<PaletteScheme> kPaletteGroup{IDC_PALETTE_CB, IDC_PALETTE_WB};
constexpr RadioGroup<RecordLength> kRecordLengthGroup{IDC_RECORD_10, IDC_RECORD_ANY};
constexpr RadioGroup<DisplayType> kDisplayTypeGroup{IDC_DISPLAY_SCROLL, IDC_DISPLAY_SCOPE};
constexpr RadioGroup<AnalysisAtStop> kAnalysisAtStopGroup{IDC_ANALYSIS_ON, IDC_ANALYSIS_OFF};

template <typename Choice>
constexpr int RadioId(RadioGroup<Choice> group, Choice choice) {
  return group.first + static_cast<int>(choice);
}

template <typename Choice>
constexpr bool InGroup(RadioGroup<Choice> group, int id) {
  return id >= group.first && id <= group.last;
}

// The choice of a button of the group (callers ask InGroup first).
template <typename Choice>
constexpr Choice ChoiceOfId(RadioGroup<Choice> group, int id) {
  return static_cast<Choice>(id - group.first);
}

template <typename Choice>
void CheckRadio(HWND dialog, RadioGroup<Choice> group, Choice choice) {
  CheckRadioButton(dialog, group.first, group.last, RadioId(group, choice));
}

static_assert(RadioId(kRateGroup, RateChoice::Rate11k) == IDC_RATE_11K, "rate buttons out of order");
static_assert(RadioId(kRateGroup, RateChoice::Rate22k) == IDC_RATE_22K, "rate buttons out of order");
static_assert(RadioId(kRateGroup, RateChoice::Rate44k) == IDC_RATE_44K, "rate buttons out of order");
static_assert(RadioId(kResolutionGroup, Resolution::Bits16) == IDC_RES_16_BIT, "resolution buttons out of order");
static_assert(RadioId(kFftSizeGroup, FftSize::Fft1024) == IDC_FFT_1024, "FFT buttons out of order");
static_assert(RadioId(kFftSizeGroup, FftSize::Fft2048) == IDC_FFT_2048, "FFT buttons out of order");
static_assert(RadioId(kFrequencyModeGroup, FrequencyMode::NB) == IDC_MODE_NB, "mode buttons out of order");
static_assert(RadioId(kPaletteGroup, PaletteScheme::CG) == IDC_PALETTE_CG, "palette buttons out of order");
static_assert(RadioId(kPaletteGroup, PaletteScheme::BW) == IDC_PALETTE_BW, "palette buttons out of order");
static_assert(RadioId(kPaletteGroup, PaletteScheme::WB) == IDC_PALETTE_WB, "palette buttons out of order");
static_assert(RadioId(kRecordLengthGroup, RecordLength::Seconds20) == IDC_RECORD_20, "record buttons out of order");
static_assert(RadioId(kRecordLengthGroup, RecordLength::Seconds30) == IDC_RECORD_30, "record buttons out of order");
static_assert(RadioId(kRecordLengthGroup, RecordLength::Any) == IDC_RECORD_ANY, "record buttons out of order");
static_assert(RadioId(kDisplayTypeGroup, DisplayType::Scope) == IDC_DISPLAY_SCOPE, "display buttons out of order");
static_assert(RadioId(kAnalysisAtStopGroup, AnalysisAtStop::Off) == IDC_ANALYSIS_OFF, "analysis buttons out of order");

// The command id of a menu item the menu-state table names.
constexpr int MenuCommandId(MenuCommand command) {
  switch (command) {
    case MenuCommand::AnalyzeFile:
      return IDM_ANALYZE_FILE;
    case MenuCommand::RecordAudio:
      return IDM_RECORD_AUDIO;
    case MenuCommand::ParametersChange:
      return IDM_PARAMETERS_CHANGE;
    case MenuCommand::ParametersRestore:
      return IDM_PARAMETERS_RESTORE;
    case MenuCommand::ScanFile:
      return IDM_SCAN_FILE;
    case MenuCommand::ScanAudio:
      return IDM_SCAN_AUDIO;
    case MenuCommand::SaveWave:
      return IDM_SAVE_WAVE;
    case MenuCommand::SaveWindowBitmap:
      return IDM_SAVE_WINDOW_BITMAP;
    case MenuCommand::SaveEntireBitmap:
      return IDM_SAVE_ENTIRE_BITMAP;
    case MenuCommand::Exit:
      return IDM_EXIT;
    case MenuCommand::ColorsChange:
      return IDM_COLORS_CHANGE;
  }
  return 0;
}

}  // namespace hl
