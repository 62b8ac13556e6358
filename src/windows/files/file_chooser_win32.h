// The program's open and save file dialogs. One shared record, set up once when the main
// window is created, serves all four choosers; each chooser fills in its own row (title,
// filter, flags, default extension, path buffer) before it calls the system dialog, so no
// chooser inherits another's settings or proposes a previous name.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include "core/files/file_chooser.h"

namespace hl {

// Process-wide chooser state, owned by file_chooser_win32.cpp.
// The dialog works in UTF-16 (any name the file system holds); what it returns is kept as
// UTF-8, the program's one form of a name.
struct FileChooser {
  OPENFILENAMEW record;  // the shared open/save record
  bool initialised;      // InitFileChooser has run
  // The chosen name without its folder, written by every chooser (the window caption uses it).
  char title[kChooserTitleBytes];
  // One full-path buffer per kind of file.
  char openWavePath[kChooserPathBytes];  // "&Analyze File" and "&Scan File" open this
  char bitmapPath[kChooserPathBytes];
  char waveSavePath[kChooserPathBytes];  // also the file a recording is written to
  char dataLogPath[kChooserPathBytes];   // the spectrum log deletes it on "Cancel"
  // Writable copies of the four filters, in ChooserKind order; "|" is turned into NUL in place.
  char filters[4][kChooserFilterCapacity];
  // What the dialog itself reads and writes: the prepared filter, the path and the title.
  wchar_t wideFilter[kChooserFilterCapacity];
  wchar_t widePath[kChooserPathLength];
  wchar_t wideTitle[kChooserTitleLength];
};

FileChooser& Chooser();

// Sets up the shared record with `owner` as the dialogs' owner window. Called once, from the
// main window's create step; the choosers return false until it has run.
void InitFileChooser(HWND owner);

// Each shows its dialog with an empty file name and returns true when the user chose a file:
// its full path is then in the chooser's path buffer and the bare name in ChosenTitle(). False
// when the dialog was cancelled or failed; the path buffer is then empty.
bool ChooseOpenWave();     // "Open WAV File"
bool ChooseSaveBitmap();   // "Save Bitmap"
bool ChooseSaveWave();     // "Save Windows Wave File"
bool ChooseSaveDataLog();  // "Save Data Log"

const char* OpenWavePath();
const char* BitmapPath();
const char* WaveSavePath();
const char* DataLogPath();
const char* ChosenTitle();
// The 1-based filter the last chooser was left on ("Save Bitmap": 1 BMP, 2 PNG, 3 all files).
int ChosenFilterIndex();

// Puts a path chosen elsewhere (a scanned or recorded file) where "&Analyze File" reads it.
// Returns false, leaving the buffer as it was, when the path does not fit.
bool SetOpenWavePath(const char* path);

}  // namespace hl
