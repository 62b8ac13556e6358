// The scan and record dialogs of sound capture.
#pragma once

#include <windows.h>

namespace hl {

// Runs dialog 103 ("S&can Audio", record false) or 106 ("&Record Audio", record true) over
// `owner`. OK stores the choices in the settings, fixes the capture's analysis at 512
// points "NB" and loads the palette: true then; Cancel changes nothing: false.
bool RunCaptureDialog(HWND owner, bool record);

}  // namespace hl
