// File "&Exit", Help "&Help Topics" and "&About Harrowlight".
#include <cstdlib>
#include <string>

#include "app/commands_win32.h"
#include "app/main_window_win32.h"

namespace hl {

void OnExit(HWND window, LPARAM) { SendMessageA(window, WM_CLOSE, 0, 0); }

void OnAbout(HWND window, LPARAM) {
  MessageBoxA(window,
              "Harrowlight 3.2.1\n"
              "A time-frequency analyser for sound files and live audio.\n\n"
              "Copyright 2026 the Harrowlight developers.\n"
              "The FFT routine is Harrowlight's own fixed-point code.\n\n"
              "Harrowlight is distributed free of charge.\n"
              "Questions and reports: the Harrowlight issue tracker.",
              "Harrowlight Version 3.2.1", MB_OK);
}

// The help file sits beside the program. A missing file counts as a failure of the help
// system: some WinHelp implementations start their viewer for any name and report success.
void OnHelpTopics(HWND window, LPARAM) {
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  char drive[_MAX_DRIVE], directory[_MAX_DIR];
  _splitpath(program, drive, directory, nullptr, nullptr);
  const std::string path = std::string(drive) + directory + "Tulm32" + "." + "hlp";
  const bool present = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (!present || !WinHelpA(window, path.c_str(), HELP_INDEX, 0)) {
    ShowMessage(window, "Cannot Access Help", MB_ICONEXCLAMATION);
  }
}

}  // namespace hl
