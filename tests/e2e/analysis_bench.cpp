// Benchmark of "&Analyze File" in the real window under Wine: a 10-minute 44.1 kHz 16-bit
// mono file at the dialog's defaults (512 points, 12 ms per column, about 50,000 columns),
// timed from pressing OK in the parameters dialog to the data-loaded state, with the split of
// the render loop between drawing columns, pumping messages and copying to the screen; then
// how long Stop takes to end a render. Prints figures and their medians; it checks nothing
// (scripts/bench-analysis.sh).
//
//   harrowlight_analysis_bench.exe [runs]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "windows/base/analysis_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/view/render_window_win32.h"
#include "windows/view/view_win32.h"
#include "cli/example_signals.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/harness.h"

namespace {

using hl::e2e::WaitForDialog;

double Now() {
  static LARGE_INTEGER frequency{};
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Polls every millisecond: the figures are finer than the harness's 20 ms polls.
bool WaitFast(bool (*condition)(), double seconds) {
  const double end = Now() + seconds;
  while (!condition()) {
    if (Now() > end) return false;
    Sleep(1);
  }
  return true;
}

bool AnalysisEnded() {
  const hl::OperatingMode& m = hl::Mode();
  return !m.fileAnalysisInProgress && !m.rendering;
}

// Mid-render: the whole render takes well under 0.1 s, so Stop waits only for a first stretch.
bool RenderingPastTheStart() { return hl::Mode().rendering != 0 && hl::View().renderColumn > 2000; }

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD wrote = 0;
  // Flushed, so that no writeback of the new file runs beside the timed reads.
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
                  wrote == bytes.size() && FlushFileBuffers(file);
  return CloseHandle(file) && ok;
}

// "&Analyze File" up to the parameters dialog; nullptr on failure.
HWND OpenParameters(const hl::e2e::MainWindowThread& ui, const std::string& path) {
  if (!ui.PostCommand(IDM_ANALYZE_FILE)) return nullptr;
  const std::string problem = hl::e2e::Choose("Open WAV File", path);
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return nullptr;
  }
  return WaitForDialog("Choose Analysis Parameters");
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
  hl::ExampleSignal example;
  example.kind = hl::ExampleKind::Demo;
  example.sampleRate = 44100;
  example.seconds = 600;
  char folder[MAX_PATH] = {};
  GetTempPathA(sizeof folder, folder);
  const std::string path = std::string(folder) + "harrowlight-bench-10min.wav";
  if (!WriteFileBytes(path, hl::MakeExampleWave(example))) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }

  hl::e2e::MainWindowThread ui;
  std::string error;
  if (!ui.Start(error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("10-minute 44.1 kHz 16-bit mono file, 512 points, 12 ms per column\n");
  std::vector<double> totals, loops;
  for (int run = 1; run <= runs; ++run) {
    HWND dialog = OpenParameters(ui, path);
    if (!dialog) return 1;
    // OK is pressed as a user would, after the dialog has painted itself; pressed at once,
    // the click waits behind the paint of every control (about 50-90 ms under Wine).
    Sleep(500);
    const double pressed = Now();
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    if (!WaitFast(AnalysisEnded, 120.0) || !hl::e2e::WaitUntil([] { return hl::e2e::OpenDialogs().empty(); })) {
      std::fprintf(stderr, "the analysis did not end\n");
      return 1;
    }
    const double total = Now() - pressed;
    const hl::RenderTimings& t = hl::LastRenderTimings();
    totals.push_back(total);
    loops.push_back(t.loop);
    std::printf(
        "run %d: OK to data loaded %.3f s; %d columns; render loop %.3f s: columns %.3f s, messages %.3f s "
        "(%d passes, %d messages), screen %.3f s; outside the loop %.3f s: dialog closed %.3f s, span checked "
        "%.3f s, samples read (beside the bitmap) %.3f s, bitmap made and cleared %.3f s, data-loaded state %.3f s\n",
        run, total, hl::Analysis().columnCount, t.loop, t.compute, t.pump, t.passes, t.messages, t.copy,
        total - t.loop, t.dialogClosed - pressed, t.confirm, t.load, t.prepare, t.finish);
    std::fflush(stdout);
  }

  std::sort(totals.begin(), totals.end());
  std::sort(loops.begin(), loops.end());
  const size_t middle = totals.size() / 2;
  if (!totals.empty()) {
    std::printf("median of %zu runs: OK to data loaded %.3f s, render loop %.3f s\n", totals.size(),
                totals.size() % 2 ? totals[middle] : (totals[middle - 1] + totals[middle]) / 2,
                loops.size() % 2 ? loops[middle] : (loops[middle - 1] + loops[middle]) / 2);
  }

  // Stop: from the posted click to the end of the render.
  HWND dialog = OpenParameters(ui, path);
  if (!dialog) return 1;
  PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  if (!WaitFast(RenderingPastTheStart, 30.0)) return 1;
  const double stopped = Now();
  ui.Post(WM_COMMAND, IDB_STOP, 0);
  if (!WaitFast(AnalysisEnded, 30.0)) return 1;
  const double ended = Now();
  std::printf("Stop: drawing ended %.1f ms after the click, the data-loaded state %.1f ms after it; %d columns drawn\n",
              (hl::LastRenderTimings().loopEnded - stopped) * 1000.0, (ended - stopped) * 1000.0,
              hl::Analysis().columnCount);
  DeleteFileA(path.c_str());
  return 0;
}
