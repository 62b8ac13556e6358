// What the program is doing: process-wide flags that every handler tests before it acts.
// Byte flags, set and cleared on the one user-interface thread; the long loops see a
// change at their next pass.
#pragma once

#include <cstdint>

#include "core/analysis/analysis_settings.h"

namespace hl {

struct OperatingMode {
  uint8_t stopRequest = 1;          // ends every long loop at its next pass
  uint8_t fileAnalysisInProgress = 0;
  uint8_t rendering = 0;
  uint8_t playbackActive = 0;
  uint8_t fileScanPlaybackActive = 0;
  uint8_t audioInputActive = 0;
  uint8_t gridOn = 0;
  uint8_t rightButtonHeld = 0;
  uint8_t lowMemory = 0;
  uint8_t nonPaletteDisplay = 0;
  uint8_t lowResolutionScan = 0;
};

// The process's flags (the shell owns the one instance).
OperatingMode& Mode();

// The program's settings: one record, from the defaults at start, changed by the dialogs.
AnalysisSettings& Settings();

}  // namespace hl
