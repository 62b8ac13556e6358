// Process entry: register the class, create the window, analyse a file named on the
// command line, run the message loop.
#include <windows.h>

#include <string>

#include "windows/analysis/given_file_win32.h"
#include "windows/program/main_window_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  if (!hl::RegisterMainWindowClass(instance)) return 0;
  HWND window = hl::CreateMainWindow(instance, showCommand);
  if (!window) return 0;
  const std::string file = hl::FileOfCommandLine();
  if (!file.empty()) hl::AnalyzeGivenFile(window, file);
  return hl::RunMessageLoop();
}
