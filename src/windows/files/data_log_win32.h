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

// The open data-log dialog (points or spectrum), or nullptr when none is open. The main
// window's left-button handler sends it WM_COMMAND 1062 (lParam 0) after updating the
// readouts; the dialog then measures at the readout's column.
HWND OpenDataLogDialog();

// Whether the open log dialog (if any) is the spectrum log.
bool SpectrumLogOpen();

}  // namespace hl
