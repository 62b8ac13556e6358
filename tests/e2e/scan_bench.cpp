// Benchmark of "S&can Audio" in the real window under Wine: a live scan at 44100 Hz, 16 bit,
// for a given time (30 s by default) in the "Scroll" and then the "Scope" display, with a tone
// played into the sound server so the image has something to draw. Reports the columns drawn
// against the clock, the late-half resets the poll loop had to force, the half switches, and
// the CPU time the process used; then a 10 s recording's columns against those planned.
// Prints figures; it checks nothing (scripts/bench-scan.sh). Real-time pace belongs here,
// not in the end-to-end tests, which a loaded machine must not fail.
//
//   scan_bench.exe [seconds]
#include <windows.h>

#include <mmsystem.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "windows/base/operating_mode_win32.h"
#include "windows/sound/capture_state_win32.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/harness.h"

namespace {

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) * 1e-7;
  };
  return seconds(kernel) + seconds(user);
}

// A 1 kHz tone at 44100 Hz looped into the sound server for the whole run.
struct Tone {
  HWAVEOUT device = nullptr;
  WAVEHDR header{};
  std::vector<int16_t> samples;
  bool Start() {
    samples.resize(44100);
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] = static_cast<int16_t>(3000.0 * std::sin(2.0 * 3.14159265358979 * 1000.0 * i / 44100.0));
    }
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = 44100;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 2;
    f.nAvgBytesPerSec = 88200;
    if (waveOutOpen(&device, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return false;
    header.lpData = reinterpret_cast<LPSTR>(samples.data());
    header.dwBufferLength = static_cast<DWORD>(samples.size() * 2);
    header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header.dwLoops = 100000;
    return waveOutPrepareHeader(device, &header, sizeof header) == MMSYSERR_NOERROR &&
           waveOutWrite(device, &header, sizeof header) == MMSYSERR_NOERROR;
  }
  ~Tone() {
    if (!device) return;
    waveOutReset(device);
    waveOutUnprepareHeader(device, &header, sizeof header);
    waveOutClose(device);
  }
};

bool RunScan(hl::e2e::MainWindowThread& ui, int displayId, int seconds) {
  using namespace hl::e2e;
  if (!ui.PostCommand(IDM_SCAN_AUDIO)) return false;
  HWND dialog = WaitForDialog("Scan Audio");
  if (!dialog) {
    std::printf("no Scan Audio dialog\n");
    return false;
  }
  Click(dialog, IDC_RATE_44K);
  Click(dialog, IDC_RES_16_BIT);
  Click(dialog, displayId);
  if (!PressAndWaitUntilClosed(dialog, IDC_OK)) return false;
  const hl::CaptureState& c = hl::Capture();
  if (!WaitUntil([&] { return c.scanRunning && c.columnCount > 0; })) {
    std::printf("the scan did not start\n");
    return false;
  }
  const double cpu0 = CpuSeconds();
  const DWORD t0 = timeGetTime();
  const int columns0 = c.columnCount;
  const uint32_t resets0 = c.lateResets;
  const uint32_t halves0 = c.completedBuffers;
  Sleep(static_cast<DWORD>(seconds) * 1000);
  const double cpu = CpuSeconds() - cpu0;
  const DWORD elapsed = timeGetTime() - t0;
  const int columns = c.columnCount - columns0;
  const uint32_t resets = c.lateResets - resets0;
  const uint32_t halves = c.completedBuffers - halves0;
  const double interval = displayId == IDC_DISPLAY_SCOPE ? 30.0 : 10.0;
  std::printf("%-6s 44100 Hz 16 bit, %.1f s: %d columns (%.1f%% of one per %.0f ms), measured column time %.2f ms,\n"
              "       %u half switches, %u late-half resets, CPU %.2f s (%.1f%% of one core)\n",
              displayId == IDC_DISPLAY_SCOPE ? "Scope" : "Scroll", elapsed / 1000.0, columns,
              100.0 * columns / (elapsed / interval), interval, c.measuredColumnTimeMs, halves, resets, cpu,
              100.0 * cpu / (elapsed / 1000.0));
  std::fflush(stdout);
  ui.PostCommand(IDB_STOP);
  HWND box = WaitForDialog("Scanning Complete");
  if (box) PressAndWaitUntilClosed(box, IDOK);
  return WaitUntil([&] { return !c.captureActive && !c.scanRunning; });
}

// "&Record Audio" for its preset 10 s at 22050 Hz, 16 bit: the columns drawn against the
// 995 planned, and the column time the loop measured (the e2e tests only hold it to never
// coming sooner than one per 10 ms).
bool RunRecording(hl::e2e::MainWindowThread& ui) {
  using namespace hl::e2e;
  char folder[MAX_PATH] = {};
  GetTempPathA(sizeof folder, folder);
  const std::string path = std::string(folder) + "hl-scan-bench-recording.wav";
  if (!ui.PostCommand(IDM_RECORD_AUDIO)) return false;
  const std::string problem = Choose("Save Windows Wave File", path);
  if (!problem.empty()) {
    std::printf("%s\n", problem.c_str());
    return false;
  }
  HWND dialog = WaitForDialog("Record Audio");
  if (!dialog || !PressAndWaitUntilClosed(dialog, IDC_OK)) {
    std::printf("no Record Audio dialog\n");
    return false;
  }
  const hl::CaptureState& c = hl::Capture();
  const DWORD t0 = timeGetTime();
  if (!WaitUntil([&] { return c.captureActive && c.columnCount > 0; }) ||
      !WaitUntil([&] { return !c.captureActive && !c.recording; }, 120000)) {
    std::printf("the recording did not run to its end\n");
    return false;
  }
  std::printf("Record 22050 Hz 16 bit, 10 s (%.1f s from OK to the end): %d columns of %d planned (%.1f%%), "
              "measured column time %.2f ms\n",
              (timeGetTime() - t0) / 1000.0, c.columnCount, c.plannedColumns,
              c.plannedColumns > 0 ? 100.0 * c.columnCount / c.plannedColumns : 0.0, c.measuredColumnTimeMs);
  std::fflush(stdout);
  DeleteFileA(path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  hl::e2e::MainWindowThread ui;
  std::string error;
  if (!ui.Start(error)) {
    std::printf("the main window did not start: %s\n", error.c_str());
    return 1;
  }
  Tone tone;
  if (!tone.Start()) std::printf("(no tone: the scan runs on silence)\n");
  const bool ok =
      RunScan(ui, IDC_DISPLAY_SCROLL, seconds) && RunScan(ui, IDC_DISPLAY_SCOPE, seconds) && RunRecording(ui);
  ui.Post(WM_CLOSE);
  int result = 0;
  ui.WaitForExit(result);
  return ok ? 0 : 1;
}
