// The command table: the handler of each command id of the main window. Each handler takes
// the window and the command's lParam.
#pragma once

#include <windows.h>

#include "windows/analysis/analysis_commands_win32.h"
#include "windows/files/files_commands_win32.h"
#include "windows/sound/sound_commands_win32.h"
#include "windows/view/view_commands_win32.h"

namespace hl {

using CommandHandler = void (*)(HWND window, LPARAM lParam);

// The program's own commands; every room's handlers are declared in its folder.
void OnExit(HWND window, LPARAM lParam);
void OnHelpTopics(HWND window, LPARAM lParam);
void OnAbout(HWND window, LPARAM lParam);

// How "&Help Topics" opens the user guide: ShellExecute's "open" of the page, true when it
// opened. The end-to-end tests put a recorder in its place, so that no browser starts.
using DocumentOpener = bool (*)(HWND window, const char* path);
void SetDocumentOpener(DocumentOpener opener);  // nullptr: ShellExecute again

// The handler of a command id, or nullptr for an id the window ignores.
CommandHandler HandlerOf(int commandId);

// WM_COMMAND: runs the command's handler. A save or log command that arrives while an
// analysis is in progress or its columns are drawn (handled inside the render's message
// pump, posted while the menu and buttons still offered the image shown before) is kept and
// posted again once the window is no longer busy, instead of being refused.
void RunCommand(HWND window, int commandId, LPARAM lParam);

// An analysis whose image would not fit in memory hands its whole file to "Scan &File" at
// low resolution: the scan runs here, once the command that handed it over has returned.
void RunHandedOverScan(HWND window);

}  // namespace hl
