// A wave file handed to the program from outside its chooser: named on the command line
// ("Open with", a file association) or dropped on the window. Either runs "&Analyze File"
// on it from the parameters dialog on, as if the chooser had returned it.
#pragma once

#include <windows.h>

#include <string>

namespace hl {

// The first command-line argument (read wide, so any name arrives whole) as a full path in
// UTF-8; empty when none was given.
std::string FileOfCommandLine();

// Starts "&Analyze File" on `path` once the message loop runs (posted, so the window is up
// first). A path that does not fit the chooser's buffer gets the chooser path's message.
void AnalyzeGivenFile(HWND window, const std::string& path);

// WM_DROPFILES: true when the first dropped file is to be analysed now (the open path is
// set to it), which is when "&Analyze File" could be chosen; while the program is busy the
// drop is ignored. The drop's memory is released always.
bool TakeDroppedFile(HWND window, HDROP drop);

}  // namespace hl
