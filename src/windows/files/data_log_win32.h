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

namespace hl {

// The open data-log dialog (points or spectrum), or nullptr when none is open.
HWND OpenDataLogDialog();

// A left click in the image while a log dialog is open: the dialog measures at the
// readout's column (a point line, or the spectrum), as its own click button does.
void MeasureForLog();

}  // namespace hl
