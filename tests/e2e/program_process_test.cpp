// The real Harrowlight.exe as a process of its own: its entry point registers the class,
// shows the window and runs the loop, and closing the window ends the process with code 0.
// A file on its command line, and one dropped from another process, reach the parameters
// dialog. Menus cannot be read across processes under Wine, so this covers only what the
// entry point and an outside sender add; the window itself is tested in-process.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/example_signals.h"
#include "windows/base/wide_text_win32.h"
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

// Harrowlight.exe started with `arguments` after its own quoted path (wide, so any name
// arrives whole); an empty string when it started, else why not.
std::string StartProgram(const std::string& arguments, ChildProcess& child) {
  const char* program = std::getenv("HL_E2E_PROGRAM");
  if (!program || !*program) return "HL_E2E_PROGRAM must name Harrowlight.exe (scripts/e2e-run.sh sets it)";
  const std::string path = WindowsPath(program);
  std::wstring commandLine = Wide("\"" + path + "\"" + (arguments.empty() ? "" : " " + arguments));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessW(Wide(path).c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &child.info)) {
    return "CreateProcess failed for " + path + ", error " + std::to_string(GetLastError());
  }
  return "";
}

// A 22050 Hz tone of 3 s under `name` in the scratch folder.
std::string GivenWave(const std::string& name) {
  ExampleSignal example;
  example.sampleRate = 22050;
  example.seconds = 3.0;
  const std::string wave = ScratchFolder() + name;
  EXPECT_TRUE(WriteWholeFile(wave, MakeExampleWave(example))) << wave;
  return wave;
}

// The parameters dialog of process `child` shows the given wave's rate and length; after
// OK the window's caption is `name`. Then the window is closed and the process ends with 0.
void ExpectAnalysedThenClose(const ChildProcess& child, const std::string& name) {
  HWND dialog = WaitForDialog("Choose Analysis Parameters", child.info.dwProcessId);
  ASSERT_NE(dialog, nullptr) << "no parameters dialog for " << name;
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

// "Open with" and a file association start the program with the file's path as its one
// argument.
TEST(ProgramProcess, AFileOnItsCommandLineIsAnalysedFromTheParametersDialogOn) {
  const std::string name = "given Łódź — 音.wav";
  const std::string wave = GivenWave(name);
  ChildProcess child;
  const std::string started = StartProgram("\"" + wave + "\"", child);
  ASSERT_EQ(started, "");
  ExpectAnalysedThenClose(child, name);
}

// A drop from another process, as a file manager's: the window's process must own the
// drop's memory. Under Wine a block written into the program with VirtualAllocEx and
// WriteProcessMemory serves, as GlobalLock hands a plain pointer back unchanged.
TEST(ProgramProcess, AFileDroppedFromAnotherProcessIsAnalysed) {
  const std::string name = "dropped Łódź — 音.wav";
  const std::wstring wave = Wide(GivenWave(name));
  ChildProcess child;
  ASSERT_EQ(StartProgram("", child), "");
  HWND window = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    window = FindTopLevelWindow("Harrowlight", child.info.dwProcessId);
    return window && IsWindowVisible(window);
  })) << "no window of the started program";

  std::vector<uint8_t> block(sizeof(DROPFILES) + (wave.size() + 2) * sizeof(wchar_t), 0);
  DROPFILES header{};
  header.pFiles = sizeof(DROPFILES);
  header.fWide = TRUE;
  std::memcpy(block.data(), &header, sizeof header);
  std::memcpy(block.data() + sizeof header, wave.c_str(), wave.size() * sizeof(wchar_t));
  void* remote = VirtualAllocEx(child.info.hProcess, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(remote, nullptr) << "VirtualAllocEx failed, error " << GetLastError();
  SIZE_T written = 0;
  ASSERT_TRUE(WriteProcessMemory(child.info.hProcess, remote, block.data(), block.size(), &written));
  ASSERT_EQ(written, block.size());
  ASSERT_TRUE(PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0));
  ExpectAnalysedThenClose(child, name);
}

}  // namespace
}  // namespace hl::e2e
