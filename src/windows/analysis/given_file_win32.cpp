#include "windows/analysis/given_file_win32.h"

#include <shellapi.h>

#include <vector>

#include "windows/analysis/analysis_commands_win32.h"
#include "windows/base/analysis_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/base/messages.h"
#include "windows/base/wide_text_win32.h"
#include "windows/files/file_chooser_win32.h"
#include "resources/resource.h"

namespace hl {

namespace {

// lParam of "&Analyze File" for a file already in the chooser's open path.

// The name made absolute against the current folder, as the chooser returns it; the
// analysis keeps the full path for its re-reads.
std::string FullPathOf(const std::wstring& name) {
  const DWORD length = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (length == 0) return Utf8(name);
  std::vector<wchar_t> full(length + 1);
  const DWORD written = GetFullPathNameW(name.c_str(), length + 1, full.data(), nullptr);
  return written > 0 && written <= length ? Utf8(full.data()) : Utf8(name);
}

// "&Analyze File" could be chosen from the menu now, and nothing long is running (the
// loops pump messages, so a drop can arrive inside one). A modal dialog or message box
// disables the window; its owner's drop waits for nothing and is dropped.
bool MayAnalyzeNow(HWND window) {
  const OperatingMode& mode = Mode();
  if (mode.fileAnalysisInProgress || mode.rendering || mode.audioInputActive || mode.fileScanPlaybackActive ||
      mode.playbackActive) {
    return false;
  }
  if (!IsWindowEnabled(window)) return false;
  const UINT state = GetMenuState(GetMenu(window), IDM_ANALYZE_FILE, MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

}  // namespace

std::string FileOfCommandLine() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!arguments) return std::string();
  const std::string path = count >= 2 && arguments[1][0] != L'\0' ? FullPathOf(arguments[1]) : std::string();
  LocalFree(arguments);
  return path;
}

void AnalyzeGivenFile(HWND window, const std::string& path) {
  if (!SetOpenWavePath(path.c_str())) {
    ShowProgramMessage(window, Message::CannotOpenFile);
    return;
  }
  PostMessageW(window, WM_COMMAND, IDM_ANALYZE_FILE, static_cast<LPARAM>(AnalysisStart::FileChosen));
}

bool TakeDroppedFile(HWND window, HDROP drop) {
  std::wstring name;
  if (MayAnalyzeNow(window) && DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    name.resize(length + 1);
    name.resize(DragQueryFileW(drop, 0, &name[0], length + 1));
  }
  DragFinish(drop);
  if (name.empty()) return false;
  if (!SetOpenWavePath(FullPathOf(name).c_str())) {
    ShowProgramMessage(window, Message::CannotOpenFile);
    return false;
  }
  return true;
}

}  // namespace hl
