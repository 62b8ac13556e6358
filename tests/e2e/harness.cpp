#include "tests/e2e/harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "windows/program/main_window_win32.h"
#include "windows/base/wide_text_win32.h"

namespace hl::e2e {

namespace {

constexpr char kSyncClass[] = "HarrowlightE2eSync";
constexpr UINT kFlushMarker = WM_APP + 1;
constexpr UINT kRunMarker = WM_APP + 2;

// Only one main window per process: the shell's create step runs once.
bool windowStartedInThisProcess = false;

LRESULT CALLBACK SyncWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kFlushMarker) {
    SetEvent(reinterpret_cast<HANDLE>(lParam));
    return 0;
  }
  if (message == kRunMarker) {
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 1;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool IsDialogOf(HWND window, DWORD processId) {
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == processId && std::strcmp(className, "#32770") == 0;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return condition();
    Sleep(20);
  }
}

const MainWindowThread* MainWindowThread::current_ = nullptr;

MainWindowThread::~MainWindowThread() {
  if (current_ == this) current_ = nullptr;
  if (thread_) {
    int ignored = 0;
    if (running() && window_) Post(WM_CLOSE);
    WaitForExit(ignored);
    CloseHandle(thread_);
  }
  if (ready_) CloseHandle(ready_);
  if (flushed_) CloseHandle(flushed_);
}

bool MainWindowThread::Start(std::string& error) {
  if (windowStartedInThisProcess) {
    error = "a main window was already made in this process; run one test suite per process "
            "(scripts/e2e-run.sh does)";
    return false;
  }
  windowStartedInThisProcess = true;
  current_ = this;
  ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  flushed_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!ready_ || !flushed_) {
    error = "CreateEvent failed";
    return false;
  }
  thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
  if (!thread_) {
    error = "CreateThread failed";
    return false;
  }
  if (WaitForSingleObject(ready_, kWaitMs) != WAIT_OBJECT_0) {
    error = "timed out waiting for the main window to be created";
    return false;
  }
  if (!window_) {
    error = startError_;
    return false;
  }
  return true;
}

DWORD WINAPI MainWindowThread::ThreadMain(void* self) {
  static_cast<MainWindowThread*>(self)->Run();
  return 0;
}

void MainWindowThread::Run() {
  // The test executable carries the program's resources (menu, icon, cursor), so the class
  // is registered for this module exactly as the program registers it for its own.
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSEXA syncClass{};
  syncClass.cbSize = sizeof syncClass;
  syncClass.lpfnWndProc = SyncWindowProc;
  syncClass.hInstance = instance;
  syncClass.lpszClassName = kSyncClass;
  if (!RegisterClassExA(&syncClass) ||
      !(sync_ = CreateWindowExA(0, kSyncClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr))) {
    startError_ = "could not create the harness's message-only window";
    SetEvent(ready_);
    return;
  }
  if (!RegisterMainWindowClass(instance)) {
    startError_ = "RegisterMainWindowClass failed";
    SetEvent(ready_);
    return;
  }
  HWND window = CreateMainWindow(instance, SW_SHOW);
  if (!window) {
    startError_ = "CreateMainWindow failed (is DISPLAY a running X server?)";
    SetEvent(ready_);
    return;
  }
  window_ = window;
  SetEvent(ready_);
  loopResult_ = RunMessageLoop();
  DestroyWindow(sync_);
}

bool MainWindowThread::running() const {
  return thread_ && WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT;
}

bool MainWindowThread::Post(UINT message, WPARAM wParam, LPARAM lParam) const {
  return window_ && PostMessageA(window_, message, wParam, lParam) != 0;
}

bool MainWindowThread::Flush(DWORD timeoutMs) const {
  if (!running()) return false;
  ResetEvent(flushed_);
  if (!PostMessageA(sync_, kFlushMarker, 0, reinterpret_cast<LPARAM>(flushed_))) return false;
  return WaitForSingleObject(flushed_, timeoutMs) == WAIT_OBJECT_0;
}

bool MainWindowThread::RunHere(const std::function<void()>& work, DWORD timeoutMs) const {
  if (!thread_) return false;
  if (!running()) {
    work();
    return true;
  }
  DWORD_PTR result = 0;
  // Sent, not posted: a sent message is taken before any posted one and by every loop that
  // looks at the queue, so the work runs at the thread's next look, with nothing half done.
  return SendMessageTimeoutA(sync_, kRunMarker, 0, reinterpret_cast<LPARAM>(&work), SMTO_NORMAL, timeoutMs,
                             &result) != 0 &&
         result == 1;
}

bool OnWindowThread(const std::function<void()>& work, DWORD timeoutMs) {
  const MainWindowThread* ui = MainWindowThread::Current();
  return ui && ui->RunHere(work, timeoutMs);
}

bool ReadOnWindowThread(const std::function<bool()>& read) {
  bool value = false;
  return OnWindowThread([&] { value = read(); }) && value;
}

bool MainWindowThread::WaitForExit(int& loopResult, DWORD timeoutMs) {
  if (!thread_ || WaitForSingleObject(thread_, timeoutMs) != WAIT_OBJECT_0) return false;
  loopResult = loopResult_;
  return true;
}

bool ReadWindowText(HWND window, std::string& text) {
  wchar_t buffer[1024] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, kWaitMs,
                           &copied)) {
    return false;
  }
  buffer[copied < 1024 ? copied : 1023] = L'\0';
  text = Utf8(buffer);
  return true;
}

HWND WaitForDialog(const std::string& caption, DWORD processId, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        HWND candidate = nullptr;
        while ((candidate = FindWindowExA(nullptr, candidate, "#32770", caption.c_str())) != nullptr) {
          if (IsDialogOf(candidate, processId) && IsWindowVisible(candidate)) {
            found = candidate;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return found;
}

namespace {

struct DialogSearch {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<DialogSearch*>(data);
  if (IsDialogOf(window, search->processId) && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

}  // namespace

std::vector<HWND> OpenDialogs(DWORD processId) {
  DialogSearch search{processId, {}};
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<std::string> CloseOpenDialogs() {
  std::vector<std::string> captions;
  for (HWND dialog : OpenDialogs()) {
    std::string caption;
    ReadWindowText(dialog, caption);
    captions.push_back(caption);
    for (int id : {IDCANCEL, IDOK, 0}) {
      if (!IsWindow(dialog)) break;
      if (id == 0) {
        PostMessageA(dialog, WM_CLOSE, 0, 0);
      } else if (GetDlgItem(dialog, id)) {
        PostMessageA(dialog, WM_COMMAND, id, 0);
      } else {
        continue;
      }
      WaitUntil([&] { return !IsWindow(dialog); }, 2000);
    }
  }
  return captions;
}

namespace {

BOOL CALLBACK CollectStatic(HWND child, LPARAM data) {
  char className[16] = {};
  GetClassNameA(child, className, sizeof className);
  if (_stricmp(className, "Static") == 0) reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
  return TRUE;
}

}  // namespace

std::string MessageBoxText(HWND box) {
  std::vector<HWND> statics;
  EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&statics));
  std::string longest;
  for (HWND child : statics) {
    std::string text;
    if (ReadWindowText(child, text) && text.size() > longest.size()) longest = text;
  }
  return longest;
}

bool PressAndWaitUntilClosed(HWND dialog, int id, DWORD timeoutMs) {
  HWND button = GetDlgItem(dialog, id);
  // A disabled button would still act on BM_CLICK under Wine; a user could not press it.
  if (!button || !IsWindowEnabled(button)) return false;
  if (!PostMessageA(button, BM_CLICK, 0, 0)) return false;
  return WaitUntil([&] { return !IsWindow(dialog); }, timeoutMs);
}

HWND FindTopLevelWindow(const char* className, DWORD processId) {
  HWND candidate = nullptr;
  while ((candidate = FindWindowExA(nullptr, candidate, className, nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(candidate, &owner);
    if (owner == processId) return candidate;
  }
  return nullptr;
}

std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string converted = "Z:" + path;
  for (char& c : converted) {
    if (c == '/') c = '\\';
  }
  return converted;
}

std::string ArtifactFolder() {
  const char* folder = std::getenv("HL_E2E_ARTIFACTS");
  if (!folder || !*folder) return ".";
  const std::string path = WindowsPath(folder);
  CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

bool CaptureScreen(const RECT& area, Capture& capture) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = screen && memory && bitmap && bits;
  if (ok) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT) != 0;
    GdiFlush();
    SelectObject(memory, old);
  }
  if (ok) {
    capture.width = width;
    capture.height = height;
    capture.pixels.assign(static_cast<const uint32_t*>(bits),
                          static_cast<const uint32_t*>(bits) + static_cast<size_t>(width) * height);
    for (uint32_t& p : capture.pixels) p &= 0x00FFFFFF;
  }
  if (bitmap) DeleteObject(bitmap);
  if (memory) DeleteDC(memory);
  if (screen) ReleaseDC(nullptr, screen);
  return ok;
}

bool WriteBmp(const Capture& capture, const std::string& path) {
  const int rowBytes = (capture.width * 3 + 3) & ~3;
  const DWORD imageBytes = static_cast<DWORD>(rowBytes) * capture.height;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER header{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + imageBytes;
  header.biSize = sizeof header;
  header.biWidth = capture.width;
  header.biHeight = capture.height;  // bottom-up rows, as every reader expects
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = imageBytes;

  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&header, sizeof header, 1, out) == 1;
  std::vector<unsigned char> row(static_cast<size_t>(rowBytes), 0);
  for (int y = capture.height - 1; ok && y >= 0; --y) {
    for (int x = 0; x < capture.width; ++x) {
      const uint32_t p = capture.at(x, y);
      row[3 * x + 0] = static_cast<unsigned char>(p & 0xFF);
      row[3 * x + 1] = static_cast<unsigned char>((p >> 8) & 0xFF);
      row[3 * x + 2] = static_cast<unsigned char>((p >> 16) & 0xFF);
    }
    ok = std::fwrite(row.data(), row.size(), 1, out) == 1;
  }
  return std::fclose(out) == 0 && ok;
}

}  // namespace hl::e2e
