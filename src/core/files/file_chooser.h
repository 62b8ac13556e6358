// The four file choosers of the program (open a wave file; save a bitmap, a wave file, a
// data log) as a table: the system dialog each one calls and what it sets before the call.
// The shell (file_chooser_win32.h) runs them on one shared open/save record.
#pragma once

#include <cstddef>

namespace hl {

enum class ChooserKind { OpenWave, SaveBitmap, SaveWave, SaveDataLog };

// Dialog flags, by their values in the system's open/save record (the shell checks them
// against the system header): ask before creating a missing file, ask before overwriting,
// hide the read-only box.
constexpr unsigned kChooserCreatePrompt = 0x2000;
constexpr unsigned kChooserOverwritePrompt = 0x0002;
constexpr unsigned kChooserHideReadOnly = 0x0004;

// Size of each chooser's full-path buffer and of the shared buffer for the chosen name
// without its folder, terminating NUL included.
constexpr size_t kChooserPathLength = 260;
constexpr size_t kChooserTitleLength = 512;
// The same names held as UTF-8, as the program keeps every name: the system dialog counts
// UTF-16 units, and each unit takes at most three bytes (a surrogate pair, two units, four).
constexpr size_t kChooserPathBytes = kChooserPathLength * 3;
constexpr size_t kChooserTitleBytes = kChooserTitleLength * 3;

// Room the shell keeps for a writable copy of a filter text, terminating NUL included.
constexpr size_t kChooserFilterCapacity = 160;

struct ChooserSpec {
  bool save;                     // the save-file dialog; the open-file dialog when false
  const char* title;             // the dialog's caption
  const char* filter;            // "description|pattern|" pairs, for PrepareFilter
  unsigned flags;                // kChooser* bits
  const char* defaultExtension;  // added to a name typed without one; nullptr for none
};

// The row of a chooser. Every ChooserKind has one; the reference stays valid for the run.
const ChooserSpec& ChooserSpecOf(ChooserKind kind);

// Turns a filter text into the NUL-separated (description, pattern) pairs the system dialog
// expects: every "|" up to and including the terminating NUL becomes a NUL, in place. The
// trailing "|" of a filter thus makes the empty string that ends the list. Nothing after the
// terminating NUL is touched, and a second call changes nothing: it stops at the first NUL,
// which is where the first "|" was.
void PrepareFilter(char* text);

}  // namespace hl
