// The two data-log commands, "Log Data > &Points" and "Log Data > &Spectrum", and their
// modeless dialogs.
//
// Points: the chosen text file is opened for appending (never truncated) and stays open
// while the dialog is; each "Enter Point" appends the fields as one line.
// Spectrum: the chosen file is only checked at the command; "Save / Exit" writes the table
// to a temporary file beside it and moves that over the chosen name once complete, and
// "Cancel" leaves whatever was there untouched.
//
// Only one log dialog is open at a time; while it is, the menu is in its busy state.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "windows/base/handles_win32.h"

namespace hl {

// The open data-log dialog (points or spectrum), or nullptr when none is open.
HWND OpenDataLogDialog();

// A left click in the image while a log dialog is open: the dialog measures at the
// readout's column (a point line, or the spectrum), as its own click button does.
void MeasureForLog();

// The log dialogs' state.
enum class LogKind { Points, Spectrum };

struct DataLogState {
  HWND dialog = nullptr;  // set while a log dialog is open: the left button then clicks it
  LogKind kind = LogKind::Points;
  FileHandle pointFile;  // the point log, open at its end
  // The spectrum log.
  std::string spectrumTarget;  // full path chosen for the table
  int fftOrder = 9;
  std::vector<int16_t> spectrum;  // N values: re, im of bins 0 .. N/2 - 1
  float binWidthHz = 0;
  WNDPROC plotProc = nullptr;  // the plot frame's own procedure, under ours
  // The time of the last click of a spectrum log; a table saved before any click of its
  // dialog carries the time of the previous one (0 until the first click of the run).
  unsigned spectrumSampleStart = 0;
};

DataLogState& DataLog();

}  // namespace hl
