// The program's state: one object, owning every concern's state for as long as the process
// runs. Each room reaches its own part through the accessor its header declares
// (Mode(), Analysis(), Display(), Readout(), Capture(), ...); they are defined here, over
// this one object, so that the rooms' headers never include a room above them.
#pragma once

#include <vector>

#include "windows/base/analysis_win32.h"
#include "windows/base/display_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/base/sound_source_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/files/data_log_win32.h"
#include "windows/files/file_chooser_win32.h"
#include "windows/program/commands_win32.h"
#include "windows/sound/capture_state_win32.h"
#include "windows/sound/file_scan_win32.h"
#include "windows/view/colors_dialog_win32.h"
#include "windows/view/palette_win32.h"
#include "windows/view/readout_win32.h"
#include "windows/view/render_window_win32.h"

namespace hl {

// A save or log command that came while an analysis was busy, to be posted again.
struct HeldCommand {
  int id;
  LPARAM lParam;
};

struct ProgramState {
  // First, so that it is destroyed last: the owners below count themselves out of it.
  int allocations = 0;
  // The window and what it shows.
  MainWindowState window;
  OperatingMode mode;
  AnalysisSettings settings;
  Analyses analyses;
  DisplayBitmap display;
  ViewState view;
  DecodedSoundsByPath decodedSounds;  // compressed files decoded, as WAV images
  // The view's drawing.
  DrawingObjects drawing;
  ReadoutState readout;
  ColorsDialogState colorsDialog;
  RenderState render;
  // Files.
  DataLogState dataLog;
  FileChooser chooser{};
  // Sound.
  CaptureState capture;
  FileScan scan;
  // Commands.
  std::vector<HeldCommand> heldCommands;
  DocumentOpener documentOpener = nullptr;  // nullptr: ShellExecute
};

ProgramState& Program();

}  // namespace hl
