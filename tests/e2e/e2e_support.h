// Small helpers the end-to-end suites share: scratch files, menu states, message boxes, and
// listening to the null sink the program plays into.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace hl::e2e {

// A folder of this process's own under the Wine user's temporary folder, ending in "\".
// Each suite runs in a process of its own, so suites never share one.
std::string ScratchFolder();

// Writes `bytes` as the whole file (clearing a read-only attribute first); false on any failure.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteWholeFile(const std::string& path, const std::string& bytes);

bool Exists(const std::string& path);

// The whole file, or nothing when it cannot be read whole.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// Answers the open or save chooser captioned `caption` with `path`.
::testing::AssertionResult ChooseFile(const char* caption, const std::string& path);

// An analysis has ended: nothing renders, no analysis is in progress and no dialog is open.
bool WaitForAnalysisEnd();

// The main menu's flags for command `id`, and whether it can be chosen.
UINT MenuFlags(HWND window, UINT id);
bool MenuEnabled(HWND window, UINT id);

// Waits for a message box captioned `caption`, returns its text and presses its OK;
// "(no box "caption")" when none came.
std::string TakeBox(const char* caption, DWORD timeoutMs = kWaitMs);
// The same for the program's own caption, "Harrowlight".
std::string TakeMessage(DWORD timeoutMs = kWaitMs);

// Root-mean-square of what the null sink plays during the next `ms` milliseconds, heard
// through its monitor (the default capture device) at 11025 Hz 16-bit mono; -1 when the
// capture device failed.
double SinkLevel(DWORD ms);

// Whether every text under the image fits its place in the window as it is now, by its
// extent in the window's font: each status field's possible texts inside the field's box (cut
// where the information panel begins), the panel's labels before its values and its values
// inside its box, and the panel clear of the buttons.
::testing::AssertionResult TextsUnderTheImageFit();

// Whether every static text of `dialog` shows whole: laid out at its control's width, wrapped
// at words, it fits the control's width and height.
::testing::AssertionResult DialogTextsFit(HWND dialog);

// One main window per test suite, on its own thread: started before the suite's first test
// and closed after its last. A derived SetUp calls this one first and returns on a fatal
// failure; a derived TearDown calls this one, which closes (and fails on) every dialog the
// test left open.
class MainWindowSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ui_ = new MainWindowThread;
    started_ = ui_->Start(startError_);
  }
  static void TearDownTestSuite() {
    delete ui_;
    ui_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(started_) << startError_;
    ASSERT_TRUE(ui_->running()) << "the main window's thread has ended before this test";
  }
  void TearDown() override {
    for (const std::string& caption : CloseOpenDialogs()) {
      ADD_FAILURE() << "the test left the dialog \"" << caption << "\" open";
    }
  }
  static HWND window() { return ui_->window(); }

  static inline MainWindowThread* ui_ = nullptr;
  static inline bool started_ = false;
  static inline std::string startError_;
};

// A window suite whose tests each start and leave with no analysis running.
class AnalysisWindowSuite : public MainWindowSuite {
 protected:
  // "&Analyze File" on `path`, to its parameters dialog (nullptr when none opens).
  static HWND OpenParameters(const std::string& path);
  // OK in the parameters dialog, to the end of the render.
  static ::testing::AssertionResult Render(HWND dialog);
  // The "&Entire Bitmap" file of the analysis shown (empty when it could not be saved).
  static std::vector<uint8_t> EntireBitmap(const std::string& name);

  void SetUp() override {
    MainWindowSuite::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(WaitForAnalysisEnd()) << "an analysis or a dialog is still open before the test";
  }
  void TearDown() override {
    MainWindowSuite::TearDown();
    WaitForAnalysisEnd();
  }
};

}  // namespace hl::e2e
