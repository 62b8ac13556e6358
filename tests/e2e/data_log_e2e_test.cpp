// "Log Data > &Points" and "Log Data > &Spectrum" in the real window: the chooser, the
// modeless dialogs, clicks handed over as WM_COMMAND 1062, the appended point lines, the
// saved spectrum table, Cancel over an existing file, and the menu while a log is open.
// Each suite is one life of the main window (one process).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "windows/program/main_window_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "cli/example_signals.h"
#include "windows/view/readout_win32.h"
#include "windows/view/view_win32.h"
#include "core/files/data_log.h"
#include "windows/files/data_log_win32.h"
#include "core/files/wave_format.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl::e2e {
namespace {

constexpr char kPointsCaption[] = "Data Log - Points    (Click on Harrowlight)";
constexpr char kSpectrumCaption[] = "Data Log - Spectrum    (Click on Harrowlight)";
constexpr char kParametersCaption[] = "Choose Analysis Parameters";

// ---------------------------------------------------------------------------
// Files.

std::string ReadText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

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

// A tone file made by the example generator (canonical 44-byte header).
std::string ToneFile(const std::string& folder, const std::string& name, double seconds, double frequency,
                     double amplitude) {
  ExampleSignal example;
  example.kind = ExampleKind::Tone;
  example.sampleRate = 11025;
  example.bitsPerSample = 16;
  example.channels = 1;
  example.seconds = seconds;
  example.frequency = frequency;
  example.amplitude = amplitude;
  const std::vector<uint8_t> bytes = MakeExampleWave(example);
  const std::string path = folder + name;
  EXPECT_TRUE(WriteWholeFile(path, std::string(bytes.begin(), bytes.end()))) << path;
  return path;
}

// ---------------------------------------------------------------------------
// One window per suite, with one file analysed in it.

class LogSuite : public AnalysisWindowSuite {
 protected:
  // "&Analyze File" on `path` with the dialog's values as offered (512 points, NB, 12 ms).
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

  // The log command `command` through the "Save Data Log" chooser to its dialog.
  static HWND OpenLog(int command, const std::string& path, const char* caption) {
    if (!ui_->PostCommand(command)) return nullptr;
    if (!ChooseFile("Save Data Log", path)) return nullptr;
    HWND dialog = WaitForDialog(caption);
    // The dialog shows while the command is still running; it returns once the menu is set.
    return dialog && ui_->Flush() ? dialog : nullptr;
  }

  // Hands an open log dialog the click the left-button handler sends, on the window's thread
  // (the measuring opens no modal window), and returns in `readout` the readout the click
  // measured at, read in the same step: a pointer move the system delivers on its own (a
  // window appearing under the X pointer makes one) cannot come between the two.
  static bool PostClick(HWND dialog, ReadoutValues* readout = nullptr) {
    bool handled = false;
    return OnWindowThread([&] {
             SendMessageA(dialog, WM_COMMAND, IDC_LOG_CLICK, 0);
             if (readout) *readout = CurrentReadout();
             handled = true;
           }) &&
           handled;
  }
};


// The menu as the busy state leaves it, and as an analysis on show leaves it.
void ExpectMenuBusy(HWND window) {
  EXPECT_FALSE(MenuEnabled(window, IDM_ANALYZE_FILE));
  EXPECT_FALSE(MenuEnabled(window, IDM_PARAMETERS_CHANGE));
  EXPECT_FALSE(MenuEnabled(window, IDM_SAVE_WAVE));
  EXPECT_FALSE(MenuEnabled(window, IDM_EXIT));
}
void ExpectMenuDataLoaded(HWND window) {
  EXPECT_TRUE(MenuEnabled(window, IDM_ANALYZE_FILE));
  EXPECT_TRUE(MenuEnabled(window, IDM_PARAMETERS_CHANGE));
  EXPECT_TRUE(MenuEnabled(window, IDM_SAVE_WAVE));
  EXPECT_TRUE(MenuEnabled(window, IDM_EXIT));
}

// ===========================================================================
// Points, over a silent file: every frame of it (and the zeros past its end) reads level
// 31, -83 dB, wherever the readout's column and frequency are.

class PointLog : public LogSuite {
 protected:
  static std::string Folder() {
    static std::string folder = [] {
      const std::string f = ScratchFolder() + "points\\";
      CreateDirectoryA(f.c_str(), nullptr);
      return f;
    }();
    return folder;
  }
};

TEST_F(PointLog, AnalyseASilentFile) { ASSERT_TRUE(Analyse(ToneFile(ScratchFolder(), "silence.wav", 5.0, 1000.0, 0.0))); }

TEST_F(PointLog, PointsAreAppendedAfterTheFilesLastByte) {
  const std::string log = Folder() + "points.txt";
  const std::string earlier = "earlier\tline\r\nno end";
  ASSERT_TRUE(WriteWholeFile(log, earlier));
  HWND dialog = OpenLog(IDM_LOG_POINTS, log, kPointsCaption);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(OpenDataLogDialog(), dialog);
  ExpectMenuBusy(window());
  // The log is held open without sharing while the dialog is open.
  HANDLE reader = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);

  // A letter button fills the event id; the other fields as typed.
  ASSERT_TRUE(Click(dialog, IDC_EVENT_A));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_EVENT_ID)) == "a"; }));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_POINT_TIME), "1500"));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_POINT_FREQ), "440"));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_POINT_LEVEL), "-20"));
  ASSERT_TRUE(Click(dialog, IDC_LOG_ENTER_POINT));
  ASSERT_TRUE(ui_->Flush());

  // No level: no line end, and the next point continues the line. An empty event id
  // writes nothing, not even its tab.
  ASSERT_TRUE(Click(dialog, IDC_EVENT_H));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_EVENT_ID)) == "h"; }));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_POINT_LEVEL), ""));
  ASSERT_TRUE(Click(dialog, IDC_LOG_ENTER_POINT));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_EVENT_ID), ""));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_POINT_TIME), "2000"));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_POINT_LEVEL), "loud"));
  ASSERT_TRUE(Click(dialog, IDC_LOG_ENTER_POINT));
  ASSERT_TRUE(ui_->Flush());

  // Escape in the dialog (its cancel, through the message loop's dialog handling) closes it.
  ASSERT_TRUE(PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(OpenDataLogDialog(), nullptr);
  ExpectMenuDataLoaded(window());
  EXPECT_EQ(ReadText(log), earlier + "a\t1500\t440\t-20\r\n" + "h\t1500\t440\t" + "2000\t440\tloud\r\n");

  // Opened again, the log goes on after its last byte (a new dialog starts with empty fields).
  dialog = OpenLog(IDM_LOG_POINTS, log, kPointsCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_EVENT_ID), "z"));
  ASSERT_TRUE(Click(dialog, IDC_LOG_ENTER_POINT));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_LOG_SAVE_EXIT));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(ReadText(log), earlier + "a\t1500\t440\t-20\r\n" + "h\t1500\t440\t" + "2000\t440\tloud\r\n" + "z\t");
}

TEST_F(PointLog, ClicksFillTheReadoutAndTheLevelAtIt) {
  const std::string log = Folder() + "clicked.txt";
  HWND dialog = OpenLog(IDM_LOG_POINTS, log, kPointsCaption);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(Exists(log)) << "the point log is created when missing";

  ASSERT_TRUE(Click(dialog, IDC_EVENT_B));
  ReadoutValues readout;
  ASSERT_TRUE(PostClick(dialog, &readout));
  const std::string time = std::to_string(readout.timeMs), frequency = std::to_string(readout.frequencyHz);
  ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_POINT_LEVEL)) == "-83"; }))
      << "level " << TextOf(GetDlgItem(dialog, IDC_POINT_LEVEL));
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_POINT_TIME)), time);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_POINT_FREQ)), frequency);
  ASSERT_TRUE(Click(dialog, IDC_LOG_ENTER_POINT));
  ASSERT_TRUE(ui_->Flush());

  // A second point, with the level changed by hand and clicked again.
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_POINT_LEVEL), "-1"));
  ASSERT_TRUE(PostClick(dialog));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_POINT_LEVEL)) == "-83"; }));
  ASSERT_TRUE(Click(dialog, IDC_EVENT_C));
  ASSERT_TRUE(Click(dialog, IDC_LOG_ENTER_POINT));
  ASSERT_TRUE(ui_->Flush());

  // Command 1025 closes the log as "Save/Exit" does; the points stay.
  ASSERT_TRUE(PostMessageA(dialog, WM_COMMAND, IDC_LOG_CLOSE, 0));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  ASSERT_TRUE(ui_->Flush());
  const std::string line = time + "\t" + frequency + "\t-83\r\n";
  EXPECT_EQ(ReadText(log), "b\t" + line + "c\t" + line);
  ExpectMenuDataLoaded(window());
}

TEST_F(PointLog, AFileThatCannotBeOpenedIsReported) {
  const std::string locked = Folder() + "locked.txt";
  ASSERT_TRUE(WriteWholeFile(locked, "read only"));
  ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(ui_->PostCommand(IDM_LOG_POINTS));
  ASSERT_TRUE(ChooseFile("Save Data Log", locked));
  EXPECT_EQ(TakeMessage(), "Cannot Open File");
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(OpenDataLogDialog(), nullptr);
  EXPECT_EQ(ReadText(locked), "read only");
  ExpectMenuDataLoaded(window());
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// ===========================================================================
// Spectrum, over a 20 s tone on the centre of bin 100 (100 x 11025 / 512 Hz) at half of
// full scale: every column the window can show lies inside the tone.

constexpr double kToneHz = 100 * 11025.0 / 512;
constexpr double kToneAmplitude = 0.5;

class SpectrumLog : public LogSuite {
 protected:
  static std::string Folder() {
    static std::string folder = [] {
      const std::string f = ScratchFolder() + "spectra\\";
      CreateDirectoryA(f.c_str(), nullptr);
      return f;
    }();
    return folder;
  }
  static std::string& TonePath() {
    static std::string path;
    return path;
  }

  // What the table must hold for the readout's column: the same frame taken from the file
  // on disk (not from the program's sample buffer) through the core.
  static std::string ExpectedTable(const ReadoutValues& readout) {
    const std::vector<uint8_t> file = ReadWholeFile(TonePath());
    const WaveHeaderInfo header = ReadWaveHeader(file.data(), file.size() < 2048 ? file.size() : 2048, file.size());
    const LogSamples samples{file.data() + header.dataOffset, header.dataLength, 16, 1};
    const int64_t start = LogFrameStart(ColumnStartMs(readout.column, 12.0f, 0.0f), 11025, 2);
    std::vector<int16_t> spectrum;
    EXPECT_TRUE(TransformLogFrame(samples, start, 9, 11025, true, spectrum));
    return SpectrumLogText(Analysis().filePath, readout.timeMs, 512, 11025.0f / 512, spectrum.data());
  }
};

TEST_F(SpectrumLog, AnalyseATone) {
  TonePath() = ToneFile(ScratchFolder(), "tone.wav", 20.0, kToneHz, kToneAmplitude);
  ASSERT_TRUE(Analyse(TonePath()));
  EXPECT_EQ(Settings().FftOrder(), 9);
  char full[MAX_PATH];
  GetFullPathNameA(TonePath().c_str(), sizeof full, full, nullptr);
  EXPECT_EQ(Analysis().filePath, full);
}

TEST_F(SpectrumLog, SaveBeforeAnyClickWritesAZeroTableWithPhaseZero) {
  const std::string log = Folder() + "zero.txt";
  HWND dialog = OpenLog(IDM_LOG_SPECTRUM, log, kSpectrumCaption);
  ASSERT_NE(dialog, nullptr);
  ExpectMenuBusy(window());
  EXPECT_FALSE(Exists(log)) << "nothing is written before \"Save / Exit\"";
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_LOG_SAVE_EXIT));
  ASSERT_TRUE(ui_->Flush());
  ExpectMenuDataLoaded(window());

  std::string expected = "Harrowlight 3.2 Data\r\n" + Analysis().filePath +
                         "\r\n0 Sample Start (msec)\r\n256 Frequency Points\r\n\r\nPoint   Freq    Amp     Phase\r\n";
  const double width = 11025.0 / 512;
  for (int i = 0; i < 256; ++i) {
    const double centre = i * width + width / 2;  // exact here: the width is a binary fraction
    const int hz = static_cast<int>(centre) + (centre - std::floor(centre) >= 0.5 ? 1 : 0);
    expected += std::to_string(i) + "\t" + std::to_string(hz) + "\t0\t0.000\r\n";
  }
  EXPECT_EQ(ReadText(log), expected);
  EXPECT_EQ(FolderNames(Folder()), std::vector<std::string>{"zero.txt"}) << "a temporary file was left behind";
}

TEST_F(SpectrumLog, AClickedToneIsSavedWithItsPeakInItsBin) {
  const std::string log = Folder() + "tone.txt";
  ASSERT_TRUE(WriteWholeFile(log, "an older table"));
  HWND dialog = OpenLog(IDM_LOG_SPECTRUM, log, kSpectrumCaption);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ReadText(log), "an older table") << "the chosen file was emptied when the dialog opened";
  ReadoutValues readout;
  ASSERT_TRUE(PostClick(dialog, &readout));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_LOG_SAVE_EXIT));
  ASSERT_TRUE(ui_->Flush());

  const std::string text = ReadText(log);
  EXPECT_EQ(text, ExpectedTable(readout));
  // The peak, read back from the table: bin 100. A sine of amplitude A on a bin centre,
  // under a raised-cosine window of L = 507 samples (46 ms) in a 512-point frame scaled by
  // 2/N, gives |X| = A x (L - 1) / 2 / N; Amp = sqrt(|X|^2 x 5.2).
  std::vector<int> amps;
  size_t at = text.find("Phase\r\n");
  ASSERT_NE(at, std::string::npos);
  at += 7;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(at, end - at);
    const size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1), t3 = line.find('\t', t2 + 1);
    ASSERT_NE(t3, std::string::npos) << line;
    amps.push_back(std::stoi(line.substr(t2 + 1, t3 - t2 - 1)));
    at = end + 2;
  }
  ASSERT_EQ(amps.size(), 256u);
  int peak = 0;
  for (int i = 1; i < 256; ++i) {
    if (amps[i] > amps[peak]) peak = i;
  }
  EXPECT_EQ(peak, 100);
  const double expectedAmp = kToneAmplitude * 32767 * 506.0 / 2 / 512 * std::sqrt(5.2);
  EXPECT_NEAR(amps[100], expectedAmp, expectedAmp * 0.02);
  EXPECT_EQ(FolderNames(Folder()).size(), 2u) << "a temporary file was left behind";
}

// A left click on the image, as the mouse delivers it: the readout takes the point and
// hands the click to the open log dialog. The pointer itself is put there too: the system
// reports moves of the real pointer (when a dialog opens or closes over it, say), and one
// left elsewhere over the image would move the readout away from the click.
void ClickImage(const MainWindowThread& ui, int x, int y) {
  POINT p{x, y};
  ClientToScreen(ui.window(), &p);
  SetCursorPos(p.x, p.y);
  WaitUntil([&] {
    POINT now{};
    return GetCursorPos(&now) && now.x == p.x && now.y == p.y;
  });
  const LPARAM at = MAKELPARAM(x, y);
  ui.Post(WM_MOUSEMOVE, 0, at);
  ui.Post(WM_LBUTTONDOWN, MK_LBUTTON, at);
  ui.Post(WM_LBUTTONUP, 0, at);
}

// The window row that shows frequency bin `bin`: bin 0 is the bitmap's bottom row.
int RowOfBin(int bin) { return Display().height - 1 - bin - View().verticalOffset; }

TEST_F(SpectrumLog, MouseClicksOnTheToneMeasureThereInBothLogs) {
  // Points: the level at the clicked column and frequency, from one full-window transform.
  const std::string points = Folder() + "mouse-points.txt";
  HWND dialog = OpenLog(IDM_LOG_POINTS, points, kPointsCaption);
  ASSERT_NE(dialog, nullptr);
  ClickImage(*ui_, 60, RowOfBin(100));
  ASSERT_TRUE(ui_->Flush());
  ReadoutValues readout = CurrentReadout();
  EXPECT_EQ(readout.column, 60 + View().horizontalOffset);
  EXPECT_NEAR(static_cast<double>(readout.frequencyHz), kToneHz, 11025.0 / 512);
  const std::vector<uint8_t> file = ReadWholeFile(TonePath());
  const LogSamples samples{file.data() + 44, static_cast<uint32_t>(file.size() - 44), 16, 1};
  std::vector<int16_t> levels;
  ASSERT_TRUE(TransformLogFrame(samples, LogFrameStart(ColumnStartMs(readout.column, 12.0f, 0.0f), 11025, 2), 9, 11025,
                                false, levels));
  const int db = LevelDecibels(levels[BinOfFrequency(readout.frequencyHz, 11025, 512)]);
  EXPECT_GT(db, -40) << "the tone is far above silence (-83 dB)";
  ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_POINT_LEVEL)) == std::to_string(db); }))
      << TextOf(GetDlgItem(dialog, IDC_POINT_LEVEL)) << " instead of " << db;
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_POINT_TIME)), std::to_string(readout.timeMs));
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_POINT_FREQ)), std::to_string(readout.frequencyHz));
  ASSERT_TRUE(Click(dialog, IDC_EVENT_D));
  ASSERT_TRUE(Click(dialog, IDC_LOG_ENTER_POINT));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_LOG_SAVE_EXIT));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(ReadText(points), "d\t" + std::to_string(readout.timeMs) + "\t" + std::to_string(readout.frequencyHz) +
                                  "\t" + std::to_string(db) + "\r\n");

  // Spectrum: the frame at the clicked column, the clicked time as the sample start.
  const std::string spectrum = Folder() + "mouse-spectrum.txt";
  dialog = OpenLog(IDM_LOG_SPECTRUM, spectrum, kSpectrumCaption);
  ASSERT_NE(dialog, nullptr);
  ClickImage(*ui_, 90, RowOfBin(40));
  ASSERT_TRUE(ui_->Flush());
  readout = CurrentReadout();
  EXPECT_EQ(readout.column, 90 + View().horizontalOffset);
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_LOG_SAVE_EXIT));
  ASSERT_TRUE(ui_->Flush());
  const std::string text = ReadText(spectrum);
  EXPECT_EQ(text, ExpectedTable(readout));
  EXPECT_NE(text.find("\r\n" + std::to_string(readout.timeMs) + " Sample Start (msec)\r\n"), std::string::npos);
  ExpectMenuDataLoaded(window());
}

TEST_F(SpectrumLog, TheClickedSpectrumIsPlottedInTheFrame) {
  HWND dialog = OpenLog(IDM_LOG_SPECTRUM, Folder() + "plot.txt", kSpectrumCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PostClick(dialog));
  HWND plot = GetDlgItem(dialog, IDC_SPECTRUM_PLOT);
  ASSERT_NE(plot, nullptr);
  ASSERT_TRUE(ui_->Flush());
  RECT client;
  GetClientRect(plot, &client);
  POINT origin{0, 0};
  ClientToScreen(plot, &origin);
  const RECT area{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  const int x0 = (client.right - 256) / 2, y0 = (client.bottom - 50) / 2;
  ASSERT_GE(x0, 0);
  ASSERT_GE(y0, 0);
  // Bar 50 holds bins 100 and 101 (the tone): full height. Bar 20 and the gaps between bars
  // are white. The screen shows the painting once the display server has drawn it.
  const uint32_t black = 0x000000, white = 0xFFFFFF;
  Capture shot;
  auto plotted = [&] {
    // Giving the focus back to the image activates the main window, which Wine without a
    // window manager may raise over its owned dialog, now or a moment later; a user would
    // click the dialog's caption.
    SetWindowPos(dialog, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return CaptureScreen(area, shot) && shot.at(x0 + 100, y0 + 49) == black && shot.at(x0 + 100, y0 + 5) == black &&
           shot.at(x0 + 101, y0 + 49) == white && shot.at(x0 + 40, y0 + 10) == white && shot.at(2, 2) == white;
  };
  EXPECT_TRUE(WaitUntil(plotted)) << "bar 50 at the top " << std::hex << shot.at(x0 + 100, y0 + 5) << ", beside it "
                                  << shot.at(x0 + 101, y0 + 49) << ", bar 20 " << shot.at(x0 + 40, y0 + 10);
  WriteBmp(shot, ArtifactFolder() + "/spectrum-plot.bmp");
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_LOG_CANCEL));
}

TEST_F(SpectrumLog, CancelLeavesAnExistingFileAndCreatesNothing) {
  const std::string existing = Folder() + "keep.txt";
  ASSERT_TRUE(WriteWholeFile(existing, "precious\r\n"));
  const std::vector<std::string> before = FolderNames(Folder());

  HWND dialog = OpenLog(IDM_LOG_SPECTRUM, existing, kSpectrumCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PostClick(dialog));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_LOG_CANCEL));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(ReadText(existing), "precious\r\n");
  ExpectMenuDataLoaded(window());

  // A new name: nothing is created.
  dialog = OpenLog(IDM_LOG_SPECTRUM, Folder() + "new.txt", kSpectrumCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PostClick(dialog));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_LOG_CANCEL));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(FolderNames(Folder()), before);
  EXPECT_EQ(OpenDataLogDialog(), nullptr);
}

TEST_F(SpectrumLog, AReadOnlyFileCannotBeChosen) {
  const std::string locked = Folder() + "locked.txt";
  ASSERT_TRUE(WriteWholeFile(locked, "read only"));
  ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(ui_->PostCommand(IDM_LOG_SPECTRUM));
  ASSERT_TRUE(ChooseFile("Save Data Log", locked));
  EXPECT_EQ(TakeMessage(), "Cannot Open File");
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(OpenDataLogDialog(), nullptr);
  EXPECT_EQ(ReadText(locked), "read only");
  ExpectMenuDataLoaded(window());
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SpectrumLog, AFailedSaveIsReportedAndKeepsTheDialog) {
  // The folder goes away while the dialog is open: the table cannot be written.
  const std::string folder = Folder() + "gone\\";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  HWND dialog = OpenLog(IDM_LOG_SPECTRUM, folder + "lost.txt", kSpectrumCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(RemoveDirectoryA(folder.c_str()));
  ASSERT_TRUE(PostClick(dialog));
  ASSERT_TRUE(Click(dialog, IDC_LOG_SAVE_EXIT));
  EXPECT_EQ(TakeMessage(), "Error Writing File");
  ASSERT_TRUE(ui_->Flush());
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_EQ(OpenDataLogDialog(), dialog);
  ExpectMenuBusy(window());
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_LOG_CANCEL));
  // The dialog is gone before its command has set the menu.
  ASSERT_TRUE(ui_->Flush());
  ExpectMenuDataLoaded(window());
}

// A 32-bit float file of the tone's samples / 32768 is logged from its decoded samples: the
// table is the 16-bit tone's, under the float file's name. (Last: it replaces the analysis.)
TEST_F(SpectrumLog, AFloatFileOfTheTonesSamplesGivesTheTonesTable) {
  const std::vector<uint8_t> tone = ReadWholeFile(TonePath());
  ASSERT_GT(tone.size(), 44u);
  std::vector<uint8_t> wide(tone.begin(), tone.begin() + 44);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) wide[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  const uint32_t dataLength = static_cast<uint32_t>(tone.size() - 44) * 2;
  put32(4, 36 + dataLength);
  wide[20] = 3;  // IEEE float
  put32(28, 11025 * 4);
  wide[32] = 4;
  wide[34] = 32;
  put32(40, dataLength);
  for (size_t i = 44; i + 1 < tone.size(); i += 2) {
    const float x = static_cast<int16_t>(tone[i] | (tone[i + 1] << 8)) / 32768.0f;
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    for (int b = 0; b < 4; ++b) wide.push_back(static_cast<uint8_t>(bits >> (8 * b)));
  }
  const std::string path = ScratchFolder() + "tone-float.wav";
  ASSERT_TRUE(WriteWholeFile(path, std::string(wide.begin(), wide.end())));
  ASSERT_TRUE(Analyse(path));

  const std::string log = Folder() + "float.txt";
  HWND dialog = OpenLog(IDM_LOG_SPECTRUM, log, kSpectrumCaption);
  ASSERT_NE(dialog, nullptr);
  ReadoutValues readout;
  ASSERT_TRUE(PostClick(dialog, &readout));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_LOG_SAVE_EXIT));
  ASSERT_TRUE(ui_->Flush());
  EXPECT_NE(ReadText(log).find("tone-float.wav"), std::string::npos);
  EXPECT_EQ(ReadText(log), ExpectedTable(readout));
}

}  // namespace
}  // namespace hl::e2e
