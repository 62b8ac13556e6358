#include "app/commands_win32.h"

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

}  // namespace

CommandHandler HandlerOf(int commandId) {
  for (const CommandRoute& route : kRoutes) {
    if (route.id == commandId) return route.handler;
  }
  return nullptr;
}

}  // namespace hl
