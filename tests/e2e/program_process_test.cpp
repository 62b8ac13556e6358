// The real Harrowlight.exe as a process of its own: its entry point registers the class,
// shows the window and runs the loop, and closing the window ends the process with code 0.
// Menus cannot be read across processes under Wine, so this covers only what the entry
// point adds; the window itself is tested in-process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cli/example_signals.h"
#include "common/wide_text_win32.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl::e2e {
namespace {

// A started process that is ended at scope exit if a failed assertion left it running.
struct ChildProcess {
  PROCESS_INFORMATION info{};
  ~ChildProcess() {
    if (info.hProcess) {
      if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, kWaitMs);
      }
      CloseHandle(info.hProcess);
      CloseHandle(info.hThread);
    }
  }
};

TEST(ProgramProcess, StartsShowsItsWindowAndExitsWithZeroOnClose) {
  const char* program = std::getenv("HL_E2E_PROGRAM");
  ASSERT_TRUE(program && *program) << "HL_E2E_PROGRAM must name Harrowlight.exe (scripts/e2e-run.sh sets it)";
  const std::string path = WindowsPath(program);
  ASSERT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path << " does not exist";

  std::string commandLine = "\"" + path + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  ChildProcess child;
  ASSERT_TRUE(CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &child.info))
      << "CreateProcess failed for " << path << ", error " << GetLastError();

  HWND window = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    window = FindTopLevelWindow("Harrowlight", child.info.dwProcessId);
    return window && IsWindowVisible(window);
  })) << "timed out waiting for a visible window of class \"Harrowlight\" from " << path;

  std::string caption;
  ASSERT_TRUE(ReadWindowText(window, caption)) << "the program's window did not answer WM_GETTEXT";
  EXPECT_EQ(caption, "Harrowlight");
  // The create step ran to its end: the four buttons exist, all disabled.
  for (int id : {IDB_PLAY, IDB_PLAY_WINDOW, IDB_TOGGLE_GRID, IDB_STOP}) {
    HWND button = GetDlgItem(window, id);
    ASSERT_NE(button, nullptr) << "no button " << id;
    EXPECT_FALSE(IsWindowEnabled(button)) << "button " << id;
  }
  EXPECT_TRUE(OpenDialogs(child.info.dwProcessId).empty()) << "the program opened a dialog at start";

  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  ASSERT_EQ(WaitForSingleObject(child.info.hProcess, kWaitMs), WAIT_OBJECT_0)
      << "timed out waiting for the program to exit after WM_CLOSE";
  DWORD exitCode = 1;
  ASSERT_TRUE(GetExitCodeProcess(child.info.hProcess, &exitCode));
  EXPECT_EQ(exitCode, 0u);
}

// "Open with" and a file association start the program with the file's path as its one
// argument; the name is read wide, so any script arrives whole.
TEST(ProgramProcess, AFileOnItsCommandLineIsAnalysedFromTheParametersDialogOn) {
  const char* program = std::getenv("HL_E2E_PROGRAM");
  ASSERT_TRUE(program && *program) << "HL_E2E_PROGRAM must name Harrowlight.exe (scripts/e2e-run.sh sets it)";
  const std::string path = WindowsPath(program);
  const std::string name = "given Łódź — 音.wav";
  const std::string wave = ScratchFolder() + name;
  ExampleSignal example;
  example.sampleRate = 22050;
  example.seconds = 3.0;
  ASSERT_TRUE(WriteWholeFile(wave, MakeExampleWave(example))) << wave;

  std::wstring commandLine = Wide("\"" + path + "\" \"" + wave + "\"");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ChildProcess child;
  ASSERT_TRUE(CreateProcessW(Wide(path).c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &child.info))
      << "CreateProcess failed for " << path << ", error " << GetLastError();

  HWND dialog = WaitForDialog("Choose Analysis Parameters", child.info.dwProcessId);
  ASSERT_NE(dialog, nullptr) << "no parameters dialog for the file on the command line";
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "22050");
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "3000");
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  HWND window = FindTopLevelWindow("Harrowlight", child.info.dwProcessId);
  ASSERT_NE(window, nullptr);
  std::string caption;
  EXPECT_TRUE(WaitUntil([&] { return ReadWindowText(window, caption) && caption == name; }))
      << "the caption is \"" << caption << "\", not the file's name";

  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  ASSERT_EQ(WaitForSingleObject(child.info.hProcess, kWaitMs), WAIT_OBJECT_0)
      << "timed out waiting for the program to exit after WM_CLOSE";
  DWORD exitCode = 1;
  ASSERT_TRUE(GetExitCodeProcess(child.info.hProcess, &exitCode));
  EXPECT_EQ(exitCode, 0u);
}

}  // namespace
}  // namespace hl::e2e
