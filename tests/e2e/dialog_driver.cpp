#include "tests/e2e/dialog_driver.h"

#include "windows/base/wide_text_win32.h"
#include "tests/e2e/harness.h"

namespace hl::e2e {

namespace {

constexpr int kChooserFileNameId = 1148;  // the file-name box of the system's choosers

HWND FindEditIn(HWND parent) {
  char className[32] = {};
  GetClassNameA(parent, className, sizeof className);
  if (_stricmp(className, "Edit") == 0) return parent;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (HWND edit = FindEditIn(child)) return edit;
  }
  return nullptr;
}

}  // namespace

bool SendText(HWND window, const std::string& text) {
  DWORD_PTR ignored = 0;
  const std::wstring wide = Wide(text);
  return SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_ABORTIFHUNG,
                             kWaitMs, &ignored) != 0;
}

std::string TextOf(HWND window) {
  std::string text;
  ReadWindowText(window, text);
  return text;
}

bool IsChecked(HWND dialog, int id) {
  DWORD_PTR state = 0;
  SendMessageTimeoutA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &state);
  return state == BST_CHECKED;
}

bool Click(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (!button || !IsWindowEnabled(button)) return false;
  return PostMessageA(button, BM_CLICK, 0, 0) != 0;
}

std::string Choose(const char* caption, const std::string& path) {
  HWND chooser = WaitForDialog(caption);
  if (!chooser) return std::string("no chooser \"") + caption + "\" appeared";
  HWND box = GetDlgItem(chooser, kChooserFileNameId);
  HWND edit = box ? FindEditIn(box) : nullptr;
  if (!edit) return "the chooser has no file-name edit";
  if (!SendText(edit, path)) return "could not type the file name";
  PostMessageA(chooser, WM_COMMAND, IDOK, 0);
  const bool closed = WaitUntil([&] {
    if (!IsWindow(chooser)) return true;
    // A question of the chooser's own (replace? create?) has the chooser's caption too.
    HWND candidate = nullptr;
    while ((candidate = FindWindowExA(nullptr, candidate, "#32770", caption)) != nullptr) {
      if (candidate != chooser && IsWindowVisible(candidate) && GetDlgItem(candidate, IDYES)) {
        PostMessageA(GetDlgItem(candidate, IDYES), BM_CLICK, 0, 0);
      }
    }
    return false;
  });
  if (!closed) return std::string("the chooser \"") + caption + "\" stayed open";
  return "";
}

}  // namespace hl::e2e
