// Driving the program's dialogs and the system's file choosers from the test thread, as a
// user's typing and clicking would: texts set with WM_SETTEXT, buttons pressed with posted
// clicks (only when enabled).
#pragma once

#include <windows.h>

#include <string>

namespace hl::e2e {

// Sets a control's text; false when the control did not answer in time.
bool SendText(HWND window, const std::string& text);
// A control's text ("" when it did not answer).
std::string TextOf(HWND window);
// Whether a check box or radio button of a dialog is checked.
bool IsChecked(HWND dialog, int id);
// Posts a click to an enabled button of a dialog; false when it is missing or disabled.
bool Click(HWND dialog, int id);

// Types `path` into the file-name box of the chooser captioned `caption`, presses OK and
// answers Yes when the chooser asks whether to replace or create the file. Returns "" once
// the chooser has closed, else what went wrong.
std::string Choose(const char* caption, const std::string& path);

}  // namespace hl::e2e
