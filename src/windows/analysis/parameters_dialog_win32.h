// The analysis parameters dialog (resource 102, "Choose Analysis Parameters").
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/analysis/analysis_settings.h"

namespace hl {

// The edits of the dialog that are not settings: what they show when it opens, and what
// they held when OK closed it.
struct ParametersDialogValues {
  int32_t sampleRate = 0;  // Hz, edit 1001
  int32_t beginMs = 0;     // edit 1002
  int32_t endMs = 0;       // edit 1004
  uint32_t fileRate = 0;   // the file's own rate: "New" may go up to it (ClampNewRate)
  // The file's own resolution when it is decoded to 16 bits ("24 bit", "32 bit float", ...):
  // shown in place of "16 bit", with both resolution buttons out of use. nullptr otherwise.
  const char* decodedResolution = nullptr;
  // The FFT size chosen. The settings keep the one of the image shown until the caller
  // applies it (ApplyFftSize), so that anything drawn meanwhile matches that image.
  FftSize fftSize = FftSize::Fft512;
};

// Runs the dialog modally over `owner`. It opens with the radio groups, the window length,
// the time scale and the attenuation of `settings` and with `values` in its three edits.
// OK stores every choice in `settings` (with the display type "Scroll" and the window length
// the frequency mode gives), the three edits in `values`, drains the message queue and
// reloads the palette for the chosen scheme and attenuation; it returns true. Cancel leaves
// both alone and returns false.
bool RunAnalysisParametersDialog(HWND owner, AnalysisSettings& settings, ParametersDialogValues& values);

}  // namespace hl
