// Every save command of the program with the disk filling in the middle of the write: the
// suite runs each test again in a child process whose files may not grow beyond
// kFileSizeLimit bytes (RLIMIT_FSIZE, with SIGXFSZ ignored, so that a write past the limit is
// a real short write or a failed one, as on a full disk). This works unprivileged wherever the
// tests run. The parent makes the files first (the child could not write them): the file to
// analyse and, in a folder of their own, the files the saves aim at. The child drives the
// command, and checks the message, that the old file is byte-identical and that nothing else
// (no temporary file) is left in the folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "windows/base/analysis_win32.h"
#include "windows/program/main_window_win32.h"
#include "cli/example_signals.h"
#include "windows/view/view_win32.h"
#include "windows/files/data_log_win32.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl::e2e {
namespace {

// Below every file a save writes here (a 3 s wave is 66 kB, a bitmap at least 75 kB, the
// table of a 512-point spectrum more than 3 kB), above what the child writes otherwise.
constexpr unsigned kFileSizeLimit = 2048;
// The parent's process id, in the child's environment.
constexpr char kParentVariable[] = "HL_FAILED_SAVE_PARENT";
constexpr char kParametersCaption[] = "Choose Analysis Parameters";
constexpr char kPointsCaption[] = "Data Log - Points    (Click on Harrowlight)";
constexpr char kSpectrumCaption[] = "Data Log - Spectrum    (Click on Harrowlight)";
constexpr char kWriteError[] = "Error Writing File";

std::string Variable(const char* name) {
  char value[64] = {};
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value) : std::string();
}

bool InChild() { return !Variable(kParentVariable).empty(); }

// The parent's folder for this suite: its files are made there and the child finds it by the
// parent's process id.
std::string Folder() {
  const std::string parent = InChild() ? Variable(kParentVariable) : std::to_string(GetCurrentProcessId());
  char base[MAX_PATH] = {};
  GetTempPathA(sizeof base, base);
  return std::string(base) + "hl-e2e-failed-save-" + parent + "\\";
}
std::string Targets() { return Folder() + "targets\\"; }
std::string ToneWave() { return Folder() + "tone.wav"; }

// The names in a folder, "." and ".." left out.
std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// The old files the saves aim at, each with contents of its own. The point log ends 7 bytes
// short of the limit, so the appended point is cut in the middle of its line.
std::vector<std::pair<std::string, std::string>> OldFiles() {
  std::string points = "a\t1000\t440\t-20\r\n";
  while (points.size() < kFileSizeLimit - 7) points += "b\t2000\t880\t-31\r\n";
  points.resize(kFileSizeLimit - 7);
  return {{"old.wav", "RIFF the wave saved last time"},
          {"window.bmp", "BM a window bitmap saved last time"},
          {"entire.bmp", "BM an entire bitmap saved last time"},
          {"spectrum.txt", "Harrowlight 3.2 Data\r\nthe table saved last time\r\n"},
          {"points.txt", points}};
}

std::vector<uint8_t> OldBytes(const std::string& name) {
  for (const auto& [file, text] : OldFiles()) {
    if (file == name) return std::vector<uint8_t>(text.begin(), text.end());
  }
  return {};
}

::testing::AssertionResult MakeFiles() {
  CreateDirectoryA(Folder().c_str(), nullptr);
  CreateDirectoryA(Targets().c_str(), nullptr);
  ExampleSignal example;
  example.kind = ExampleKind::Tone;
  example.sampleRate = 11025;
  example.bitsPerSample = 16;
  example.channels = 1;
  example.seconds = 3.0;
  example.frequency = 1000.0;
  example.amplitude = 0.3;
  if (!WriteWholeFile(ToneWave(), MakeExampleWave(example))) return ::testing::AssertionFailure() << ToneWave();
  for (const auto& [name, text] : OldFiles()) {
    if (!WriteWholeFile(Targets() + name, text)) return ::testing::AssertionFailure() << Targets() + name;
  }
  return ::testing::AssertionSuccess();
}

// Runs test `test` of this suite in a child whose files may not grow beyond the limit, and
// returns the child's output, which ends in "child exit N". Wine hands a Windows child the
// environment of the Unix process it starts from, so the child is started through the Unix
// shell, which sets the limit and the variable and ignores SIGXFSZ for it. Its output goes
// through a pipe: a file it wrote to would be held to the limit too.
std::string RunChild(const std::string& test) {
  const std::string output = "/tmp/hl-failed-save-" + std::to_string(GetCurrentProcessId()) + ".txt";
  DeleteFileA(WindowsPath(output).c_str());
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  const std::string script = "trap '' XFSZ; { " + std::string(kParentVariable) + "=" +
                             std::to_string(GetCurrentProcessId()) + " prlimit --fsize=" +
                             std::to_string(kFileSizeLimit) + " /usr/lib/wine/wine64 '" + self +
                             "' --gtest_filter=FailedSave." + test + " 2>&1; echo child exit $?; } </dev/null | cat >" +
                             output;
  std::string command = "/bin/sh -c \"" + script + "\"";
  std::vector<char> commandLine(command.begin(), command.end());
  commandLine.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return "(the child could not be started)";
  }
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  std::string text;
  const bool finished = WaitUntil(
      [&] {
        const std::vector<uint8_t> bytes = ReadWholeFile(WindowsPath(output));
        text.assign(bytes.begin(), bytes.end());
        return text.find("child exit ") != std::string::npos;
      },
      180000);
  DeleteFileA(WindowsPath(output).c_str());
  if (!finished) text += "\n(the child did not finish)";
  return text;
}

// The window runs in the child only; the parent makes the files and runs the child.
class FailedSave : public MainWindowSuite {
 protected:
  static void SetUpTestSuite() {
    if (InChild()) MainWindowSuite::SetUpTestSuite();
  }
  void SetUp() override {
    if (!InChild()) return;
    MainWindowSuite::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(Analyse(ToneWave()));
  }
  void TearDown() override {
    if (InChild()) MainWindowSuite::TearDown();
  }

  // In the parent: makes the files, runs this test in the child and expects it to pass there.
  static void ExpectPassInChild() {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(MakeFiles());
    const std::string text = RunChild(test);
    std::printf("---- the child with files of at most %u bytes ----\n%s---- end of the child ----\n", kFileSizeLimit,
                text.c_str());
    EXPECT_NE(text.find("child exit 0"), std::string::npos) << "the child failed";
    EXPECT_NE(text.find("[  PASSED  ] 1 test"), std::string::npos);
  }

  // "&Analyze File" with the parameters as offered.
  static ::testing::AssertionResult Analyse(const std::string& path) {
    if (!ui_->PostCommand(IDM_ANALYZE_FILE)) return ::testing::AssertionFailure() << "not posted";
    if (!ChooseFile("Open WAV File", path)) return ::testing::AssertionFailure() << "no chooser for " << path;
    HWND dialog = WaitForDialog(kParametersCaption);
    if (!dialog) return ::testing::AssertionFailure() << "no parameters dialog for " << path;
    if (!PressAndWaitUntilClosed(dialog, IDOK)) return ::testing::AssertionFailure() << "OK did not close it";
    if (!WaitForAnalysisEnd()) return ::testing::AssertionFailure() << "the analysis did not end";
    if (!Display().exists() || !Analysis().sampleBuffer) return ::testing::AssertionFailure() << "no analysis held";
    return ::testing::AssertionSuccess();
  }

  // A save command through its chooser onto the old file `name`; returns the message shown.
  static std::string Save(int command, const char* chooser, const std::string& name) {
    if (!ui_->PostCommand(command)) return "(not posted)";
    const std::string problem = Choose(chooser, Targets() + name);
    if (!problem.empty()) return problem;
    const std::string message = TakeMessage();
    if (!ui_->Flush() || !WaitForAnalysisEnd()) return message + " (and the command did not end)";
    return message;
  }

  // A log command through the "Save Data Log" chooser to its dialog.
  static HWND OpenLog(int command, const std::string& name, const char* caption) {
    if (!ui_->PostCommand(command)) return nullptr;
    if (!ChooseFile("Save Data Log", Targets() + name)) return nullptr;
    HWND dialog = WaitForDialog(caption);
    return dialog && ui_->Flush() ? dialog : nullptr;
  }

  // The old file is as it was and the folder holds the old files alone.
  static void ExpectNothingLost(const std::string& name) {
    EXPECT_EQ(ReadWholeFile(Targets() + name), OldBytes(name)) << name << " changed";
    std::vector<std::string> names;
    for (const auto& [file, text] : OldFiles()) names.push_back(file);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(FolderNames(Targets()), names) << "a file was left beside the old ones";
  }
};

TEST_F(FailedSave, SaveWaveKeepsTheOldFile) {
  if (!InChild()) return ExpectPassInChild();
  EXPECT_EQ(Save(IDM_SAVE_WAVE, "Save Windows Wave File", "old.wav"), kWriteError);
  ExpectNothingLost("old.wav");
}

TEST_F(FailedSave, WindowBitmapKeepsTheOldFile) {
  if (!InChild()) return ExpectPassInChild();
  EXPECT_EQ(Save(IDM_SAVE_WINDOW_BITMAP, "Save Bitmap", "window.bmp"), kWriteError);
  ExpectNothingLost("window.bmp");
}

TEST_F(FailedSave, EntireBitmapKeepsTheOldFile) {
  if (!InChild()) return ExpectPassInChild();
  EXPECT_EQ(Save(IDM_SAVE_ENTIRE_BITMAP, "Save Bitmap", "entire.bmp"), kWriteError);
  ExpectNothingLost("entire.bmp");
}

TEST_F(FailedSave, SpectrumLogKeepsTheOldFileAndItsDialog) {
  if (!InChild()) return ExpectPassInChild();
  HWND dialog = OpenLog(IDM_LOG_SPECTRUM, "spectrum.txt", kSpectrumCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PostMessageA(dialog, WM_COMMAND, IDC_LOG_CLICK, 0) && ui_->Flush());
  ASSERT_TRUE(Click(dialog, IDC_LOG_SAVE_EXIT));
  EXPECT_EQ(TakeMessage(), kWriteError);
  ASSERT_TRUE(ui_->Flush());
  // The spectrum is not lost: its dialog stays, to try again or cancel.
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_EQ(OpenDataLogDialog(), dialog);
  ExpectNothingLost("spectrum.txt");
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_LOG_CANCEL));
  ASSERT_TRUE(ui_->Flush());
  ExpectNothingLost("spectrum.txt");
}

// Regression: a point whose line reached the log only in part left that part in the file;
// every later point then continued a broken line.
TEST_F(FailedSave, PointLogAppendKeepsTheOldLog) {
  if (!InChild()) return ExpectPassInChild();
  HWND dialog = OpenLog(IDM_LOG_POINTS, "points.txt", kPointsCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Click(dialog, IDC_EVENT_C));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_EVENT_ID)) == "c"; }));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_POINT_TIME), "1500"));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_POINT_FREQ), "1000"));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_POINT_LEVEL), "-12"));
  ASSERT_TRUE(Click(dialog, IDC_LOG_ENTER_POINT));
  EXPECT_EQ(TakeMessage(), kWriteError);
  ASSERT_TRUE(ui_->Flush());
  EXPECT_TRUE(IsWindow(dialog)) << "the log closed on the failed point";
  // The log is held open without sharing while its dialog is open.
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_LOG_SAVE_EXIT));
  ASSERT_TRUE(ui_->Flush());
  ExpectNothingLost("points.txt");
}

}  // namespace
}  // namespace hl::e2e
