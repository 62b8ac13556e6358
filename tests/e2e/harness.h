// End-to-end harness: the program's main window runs on a thread of its own inside the test
// process (menus can only be read from the process that owns them), and the test thread
// drives it the way a user's input would arrive: by posted messages.
//
// Rules the helpers follow, because anything that can open a modal window blocks the
// thread that sent it:
//   - commands, keys, clicks and WM_CLOSE are posted, never sent;
//   - only reads (window text, button state) are sent, always with a timeout;
//   - every wait polls with a timeout and says in its failure what it waited for;
//   - the program's state is read where the window's thread may be changing it (while a
//     command runs, in a wait for its end) only on that thread, by OnWindowThread. Reads
//     after a Flush or a wait that ended with one see what the thread wrote before it: the
//     flush's event orders them.
//
// The shell keeps its state per process and the create step runs once per process, so a
// process holds at most one main window. scripts/e2e-run.sh runs each test suite in a
// process of its own: a suite is one life of the window. A test brings the window to the
// state it needs itself, so that the suite's tests run in any order and alone (the suites
// the run script lists as ordered are still written as steps, in the order they run); a
// test that closes the window is a suite of its own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hl::e2e {

// Long enough for Wine under load; a wait that times out is a failure, never a pass.
constexpr DWORD kWaitMs = 15000;

// Polls `condition` every 20 ms until it holds; false when `timeoutMs` passed first.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

// The main window, created by the shell's own RegisterMainWindowClass / CreateMainWindow and
// served by its RunMessageLoop on a thread of this process.
class MainWindowThread {
 public:
  MainWindowThread() = default;
  MainWindowThread(const MainWindowThread&) = delete;
  MainWindowThread& operator=(const MainWindowThread&) = delete;
  ~MainWindowThread();

  // Starts the thread and waits until the window exists (shown with SW_SHOW). On failure
  // returns false and says why in `error`. Refused for a second window in one process.
  bool Start(std::string& error);

  HWND window() const { return window_; }
  bool running() const;

  // Posts a message to the main window. False when it could not be posted.
  bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  bool PostCommand(int id) const { return Post(WM_COMMAND, static_cast<WPARAM>(id), 0); }

  // Waits until the window's thread has taken every message posted to it before this call
  // (its queue is first in, first out). A command that opened a modal box counts as taken
  // once the box's own loop runs.
  bool Flush(DWORD timeoutMs = kWaitMs) const;

  // Runs `work` on the window's thread, between two of its messages (also inside a modal
  // box's loop or a render's message pump), and returns once it ran. After the loop ended
  // nothing changes the state any more and `work` runs on the calling thread. False when the
  // thread did not take it within `timeoutMs`.
  bool RunHere(const std::function<void()>& work, DWORD timeoutMs = kWaitMs) const;

  // Waits for the thread's message loop to end; `loopResult` is RunMessageLoop's value.
  bool WaitForExit(int& loopResult, DWORD timeoutMs = kWaitMs);

  // The window thread of this process (there is at most one), nullptr before Start.
  static const MainWindowThread* Current() { return current_; }

 private:
  static DWORD WINAPI ThreadMain(void* self);
  void Run();

  static const MainWindowThread* current_;

  HANDLE thread_ = nullptr;
  HANDLE ready_ = nullptr;     // set once the window exists or could not be made
  HANDLE flushed_ = nullptr;   // set by the sync window when a flush marker arrives
  HWND window_ = nullptr;
  HWND sync_ = nullptr;        // message-only window of the same thread
  std::string startError_;
  int loopResult_ = -1;
};

// RunHere on this process's window thread; false when there is none or it did not answer.
bool OnWindowThread(const std::function<void()>& work, DWORD timeoutMs = kWaitMs);

// `read()` evaluated on the window's thread, for a state that thread may be changing; false
// when the thread did not answer.
bool ReadOnWindowThread(const std::function<bool()>& read);

// Text of a window of any thread or process, read with WM_GETTEXT and a timeout.
// False when the window did not answer.
bool ReadWindowText(HWND window, std::string& text);

// The top-level dialog (class "#32770") of process `processId` with caption `caption`,
// waited for; nullptr when none appeared in time.
HWND WaitForDialog(const std::string& caption, DWORD processId = GetCurrentProcessId(),
                   DWORD timeoutMs = kWaitMs);

// Every top-level dialog of this process that is visible now (none should be, when idle).
std::vector<HWND> OpenDialogs(DWORD processId = GetCurrentProcessId());

// Closes every open dialog of this process (Cancel, else OK, else WM_CLOSE) and returns
// their captions, so that a test that failed with a box open does not leave it to the next.
std::vector<std::string> CloseOpenDialogs();

// A message box's text: its longest static child.
std::string MessageBoxText(HWND box);

// Presses push button `id` of a dialog (posted BM_CLICK), then waits for the dialog to go.
// False when the button is missing or disabled, or the dialog stayed.
bool PressAndWaitUntilClosed(HWND dialog, int id, DWORD timeoutMs = kWaitMs);

// The first top-level window of class `className` that belongs to process `processId`,
// nullptr when there is none.
HWND FindTopLevelWindow(const char* className, DWORD processId);

// A Linux path as Wine's Z: drive sees it; Windows paths are returned as they are.
std::string WindowsPath(const std::string& path);

// The folder for files a person looks at after the run (HL_E2E_ARTIFACTS, else ".").
std::string ArtifactFolder();

// A screen capture: rows top to bottom, pixels as 0x00RRGGBB.
struct Capture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Copies the screen rectangle `area` (screen coordinates). False when GDI failed.
bool CaptureScreen(const RECT& area, Capture& capture);

// Writes a capture as a 24-bit BMP file; false on any failed write.
bool WriteBmp(const Capture& capture, const std::string& path);

}  // namespace hl::e2e
