#include "windows/program/commands_win32.h"
#include "windows/program/program_state_win32.h"

#include <vector>

#include "windows/base/operating_mode_win32.h"
#include "resources/resource.h"

namespace hl {

namespace {

struct CommandRoute {
  int id;
  CommandHandler handler;
};

const CommandRoute kRoutes[] = {
    {IDB_PLAY, OnPlay},
    {IDB_PLAY_WINDOW, OnPlayWindow},
    {IDB_STOP, OnStop},
    {IDB_TOGGLE_GRID, OnToggleGrid},
    {IDM_EXIT, OnExit},
    {IDM_PARAMETERS_CHANGE, OnParametersChange},
    {IDM_SCAN_FILE, OnScanFile},
    {IDM_SCAN_AUDIO, OnScanAudio},
    {IDM_FFT_512, OnFftSize512},
    {IDM_FFT_1024, OnFftSize1024},
    {IDM_FFT_2048, OnFftSize2048},
    {IDM_ANALYZE_FILE, OnAnalyzeFile},
    {IDM_RECORD_AUDIO, OnRecordAudio},
    {IDM_PARAMETERS_RESTORE, OnParametersRestore},
    {IDM_ABOUT, OnAbout},
    {IDM_COLORS_CHANGE, OnColorsChange},
    {IDM_LOG_POINTS, OnLogPoints},
    {IDM_SAVE_WAVE, OnSaveWave},
    {IDM_SAVE_WINDOW_BITMAP, OnSaveWindowBitmap},
    {IDM_SAVE_ENTIRE_BITMAP, OnSaveEntireBitmap},
    {IDM_HELP_TOPICS, OnHelpTopics},
    {IDM_LOG_SPECTRUM, OnLogSpectrum},
};

// The commands that work on the image or the data shown, which an analysis replaces.
bool WaitsForAnalysis(int id) {
  switch (id) {
    case IDM_SAVE_WAVE:
    case IDM_SAVE_WINDOW_BITMAP:
    case IDM_SAVE_ENTIRE_BITMAP:
    case IDM_LOG_POINTS:
    case IDM_LOG_SPECTRUM:
      return true;
    default:
      return false;
  }
}

bool AnalysisBusy() {
  const OperatingMode& mode = Mode();
  return mode.fileAnalysisInProgress || mode.rendering;
}


}  // namespace

void RunCommand(HWND window, int commandId, LPARAM lParam) {
  CommandHandler handler = HandlerOf(commandId);
  if (!handler) return;
  std::vector<HeldCommand>& held = Program().heldCommands;
  if (AnalysisBusy() && WaitsForAnalysis(commandId)) {
    held.push_back({commandId, lParam});
    return;
  }
  handler(window, lParam);
  RunHandedOverScan(window);
  // The outermost command has returned and nothing is busy: the held ones go back to the
  // queue, in the order they came, behind whatever is waiting there already.
  if (AnalysisBusy() || held.empty() || !IsWindow(window)) return;
  for (const HeldCommand& c : held) PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(c.id), c.lParam);
  held.clear();
}

void RunHandedOverScan(HWND window) {
  if (Mode().lowResolutionScan && IsWindow(window)) OnScanFile(window, 0);
}

CommandHandler HandlerOf(int commandId) {
  for (const CommandRoute& route : kRoutes) {
    if (route.id == commandId) return route.handler;
  }
  return nullptr;
}

}  // namespace hl
