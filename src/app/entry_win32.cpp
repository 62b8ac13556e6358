// Process entry: register the class, create the window, run the message loop.
#include <windows.h>

#include "app/main_window_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  if (!hl::RegisterMainWindowClass(instance)) return 0;
  if (!hl::CreateMainWindow(instance, showCommand)) return 0;
  return hl::RunMessageLoop();
}
