// File "&Exit", Help "&Help Topics" and "&About Harrowlight".
#include "windows/program/commands_win32.h"
#include "windows/program/program_state_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/program/main_window_win32.h"
#include "windows/base/wide_text_win32.h"
#include "harrowlight_version.h"

#include <shellapi.h>

#include <cstdlib>
#include <string>

namespace hl {

namespace {

constexpr char kGuideName[] = "Harrowlight.html";

// ShellExecute reports success with a value above 32.
bool OpenWithShell(HWND window, const char* path) {
  const HINSTANCE result = ShellExecuteW(window, L"open", Wide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

void SetDocumentOpener(DocumentOpener opener) { Program().documentOpener = opener; }

void OnExit(HWND window, LPARAM) { SendMessageA(window, WM_CLOSE, 0, 0); }

void OnAbout(HWND window, LPARAM) {
  MessageBoxA(window,
              "Harrowlight " HL_VERSION "\n"
              "A time-frequency analyser for sound files and live audio.\n\n"
              "Copyright 2026 the Harrowlight developers.\n"
              "The FFT routine is Harrowlight's own fixed-point code.\n\n"
              "Harrowlight is distributed free of charge.\n"
              "Questions and reports: the Harrowlight issue tracker.",
              "Harrowlight Version " HL_VERSION, MB_OK);
}

// The help file sits beside the program. A missing file counts as a failure of the help
// system: some WinHelp implementations start their viewer for any name and report success.
// Current Windows has no WinHelp, so the HTML guide shipped beside the program is the usual
// way in; it is opened with whatever the user reads web pages with.
void OnHelpTopics(HWND window, LPARAM) {
  // The program may sit in a folder whose name the system code page cannot spell.
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  const std::string path = Utf8(program);
  const size_t cut = path.find_last_of("\\/");
  const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  const std::string helpFile = folder + "Tulm32" + "." + "hlp";
  if (Exists(helpFile) && WinHelpW(window, Wide(helpFile).c_str(), HELP_INDEX, 0)) return;
  const std::string guide = folder + kGuideName;
  const DocumentOpener opener = Program().documentOpener ? Program().documentOpener : OpenWithShell;
  if (Exists(guide) && opener(window, guide.c_str())) return;
  ShowMessage(window, "Cannot Access Help", MB_ICONEXCLAMATION);
}

}  // namespace hl
