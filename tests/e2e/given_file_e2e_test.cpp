// Files named outside the system code page, and files handed to the window from outside its
// chooser: chosen, analysed, saved as a bitmap and logged under a name such as
// "Łódź — 音.wav"; dropped on the window (WM_DROPFILES) into "&Analyze File" from the
// parameters dialog on; ignored while the program is busy; refused with the chooser path's
// message when unreadable. Each suite is one life of the main window (one process).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "windows/base/analysis_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "cli/example_signals.h"
#include "windows/base/wide_text_win32.h"
#include "windows/files/data_log_win32.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl::e2e {
namespace {

constexpr char kParametersCaption[] = "Choose Analysis Parameters";
constexpr char kPointsCaption[] = "Data Log - Points    (Click on Harrowlight)";
constexpr char kSpectrumCaption[] = "Data Log - Spectrum    (Click on Harrowlight)";
// Polish letters, an em dash and a CJK character: none of them in one ANSI code page.
constexpr char kName[] = "Łódź — 音";

// A folder of that name in the scratch folder, so the folder part of a path is tried too.
std::string UnicodeFolder() {
  static const std::string folder = [] {
    const std::string f = ScratchFolder() + kName + "\\";
    CreateDirectoryW(Wide(f).c_str(), nullptr);
    return f;
  }();
  return folder;
}

// A 16-bit mono tone of `seconds` at `rate`, written to `path`.
std::string ToneAt(const std::string& path, uint32_t rate, double seconds) {
  ExampleSignal example;
  example.kind = ExampleKind::Tone;
  example.sampleRate = rate;
  example.seconds = seconds;
  EXPECT_TRUE(WriteWholeFile(path, MakeExampleWave(example))) << path;
  return path;
}

std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

// The block a file manager hands over: a DROPFILES header and the wide, double-NUL-ended
// list, in this process's global memory (the window's process: the drop's memory must be
// the receiver's). The window's DragFinish frees it.
HGLOBAL DropOf(const std::string& path) {
  const std::wstring wide = Wide(path);
  const size_t bytes = sizeof(DROPFILES) + (wide.size() + 2) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
  if (!block) return nullptr;
  auto* header = static_cast<DROPFILES*>(GlobalLock(block));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  std::memcpy(reinterpret_cast<uint8_t*>(header) + sizeof(DROPFILES), wide.c_str(), wide.size() * sizeof(wchar_t));
  GlobalUnlock(block);
  return block;
}

class GivenFileSuite : public AnalysisWindowSuite {
 protected:
  static bool Drop(const std::string& path) {
    HGLOBAL block = DropOf(path);
    return block && ui_->Post(WM_DROPFILES, reinterpret_cast<WPARAM>(block), 0);
  }

  // The parameters dialog that came for a file of `rate` Hz and `ms` msec, OK pressed, the
  // analysis waited for; the window's caption then.
  static std::string ConfirmAndCaption(uint32_t rate, int ms) {
    HWND dialog = WaitForDialog(kParametersCaption);
    if (!dialog) return "(no parameters dialog)";
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), std::to_string(rate));
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), std::to_string(ms));
    if (!PressAndWaitUntilClosed(dialog, IDOK)) return "(OK did not close the dialog)";
    if (!WaitForAnalysisEnd()) return "(the analysis did not end)";
    std::string caption;
    return ReadWindowText(window(), caption) ? caption : "(no caption)";
  }
};

// ===========================================================================

class UnicodeNames : public GivenFileSuite {};

TEST_F(UnicodeNames, AFileNamedOutsideTheCodePageIsAnalysedSavedAndLogged) {
  const std::string wave = ToneAt(UnicodeFolder() + kName + ".wav", 11025, 3.0);
  ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
  ASSERT_TRUE(ChooseFile("Open WAV File", wave));
  EXPECT_EQ(ConfirmAndCaption(11025, 3000), std::string(kName) + ".wav") << "the caption shows the name as it is";
  EXPECT_EQ(Analysis().filePath, wave);

  const std::string bitmap = UnicodeFolder() + kName + ".bmp";
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_ENTIRE_BITMAP));
  ASSERT_TRUE(ChooseFile("Save Bitmap", bitmap));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_TRUE(OpenDialogs().empty()) << "the save reported a failure";
  EXPECT_EQ(ReadText(bitmap).substr(0, 2), "BM") << "no bitmap under " << bitmap;

  // Appended to an existing log of that name, whose bytes stay.
  const std::string log = UnicodeFolder() + kName + " points.txt";
  ASSERT_TRUE(WriteWholeFile(log, "earlier\r\n"));
  ASSERT_TRUE(ui_->PostCommand(IDM_LOG_POINTS));
  ASSERT_TRUE(ChooseFile("Save Data Log", log));
  HWND points = WaitForDialog(kPointsCaption);
  ASSERT_NE(points, nullptr) << "no point log opened for " << log;
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(SendText(GetDlgItem(points, IDC_EVENT_ID), "a"));
  ASSERT_TRUE(SendText(GetDlgItem(points, IDC_POINT_TIME), "1500"));
  ASSERT_TRUE(SendText(GetDlgItem(points, IDC_POINT_FREQ), "440"));
  ASSERT_TRUE(SendText(GetDlgItem(points, IDC_POINT_LEVEL), "-20"));
  ASSERT_TRUE(Click(points, IDC_LOG_ENTER_POINT));
  ASSERT_TRUE(PressAndWaitUntilClosed(points, IDC_LOG_SAVE_EXIT));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(ReadText(log), "earlier\r\na\t1500\t440\t-20\r\n");
}

TEST_F(UnicodeNames, TheSpectrumLogNamesTheFileInUtf8) {
  const std::string wave = ToneAt(UnicodeFolder() + kName + " spectrum.wav", 11025, 2.0);
  ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
  ASSERT_TRUE(ChooseFile("Open WAV File", wave));
  ConfirmAndCaption(11025, 2000);
  const std::string log = UnicodeFolder() + kName + " spectrum.txt";
  ASSERT_TRUE(ui_->PostCommand(IDM_LOG_SPECTRUM));
  ASSERT_TRUE(ChooseFile("Save Data Log", log));
  HWND spectrum = WaitForDialog(kSpectrumCaption);
  ASSERT_NE(spectrum, nullptr);
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(PressAndWaitUntilClosed(spectrum, IDC_LOG_SAVE_EXIT));
  ASSERT_TRUE(ui_->Flush());
  const std::string text = ReadText(log);
  EXPECT_EQ(text.substr(0, text.find("\r\n0 Sample Start")), "Harrowlight 3.2 Data\r\n" + wave);
}

// ===========================================================================

class DroppedFile : public GivenFileSuite {};

TEST_F(DroppedFile, OpensTheParametersDialogForItAndAnalysesIt) {
  const std::string wave = ToneAt(UnicodeFolder() + "dropped " + kName + ".wav", 22050, 2.0);
  ASSERT_TRUE(Drop(wave));
  EXPECT_EQ(ConfirmAndCaption(22050, 2000), "dropped " + std::string(kName) + ".wav");
  EXPECT_EQ(Analysis().filePath, wave);
}

TEST_F(DroppedFile, AnUnreadableFileGetsTheChoosersMessage) {
  ASSERT_TRUE(Drop(UnicodeFolder() + "absent " + kName + ".wav"));
  EXPECT_EQ(TakeMessage(), "Cannot Open File");
  ASSERT_TRUE(ui_->Flush());
  bool analysing = true;
  ASSERT_TRUE(OnWindowThread([&] { analysing = Mode().fileAnalysisInProgress != 0; }));
  EXPECT_FALSE(analysing) << "the analysis went on past the refusal";
}

// The point log keeps the menu busy while its window, owned by the main window, leaves
// that window enabled: only the busy state tells the drop to wait for nothing.
TEST_F(DroppedFile, ADropWhileBusyIsIgnored) {
  const std::string first = ToneAt(UnicodeFolder() + "busy first.wav", 11025, 2.0);
  const std::string second = ToneAt(UnicodeFolder() + "busy second.wav", 22050, 2.0);
  ASSERT_TRUE(Drop(first));
  ConfirmAndCaption(11025, 2000);
  ASSERT_TRUE(ui_->PostCommand(IDM_LOG_POINTS));
  ASSERT_TRUE(ChooseFile("Save Data Log", UnicodeFolder() + "busy.txt"));
  HWND points = WaitForDialog(kPointsCaption);
  ASSERT_NE(points, nullptr);
  ASSERT_TRUE(ui_->Flush());

  ASSERT_TRUE(Drop(second));
  // Once the flush is through, an analysis the drop started would be in its dialog already.
  ASSERT_TRUE(ui_->Flush());
  bool analysing = true;
  ASSERT_TRUE(OnWindowThread([&] { analysing = Mode().fileAnalysisInProgress != 0; }));
  EXPECT_FALSE(analysing) << "the drop started an analysis while the log was open";
  ASSERT_TRUE(PressAndWaitUntilClosed(points, IDC_LOG_SAVE_EXIT));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_TRUE(OpenDialogs().empty()) << "the ignored drop was carried out later";
  EXPECT_EQ(Analysis().filePath, first);
}

}  // namespace
}  // namespace hl::e2e
