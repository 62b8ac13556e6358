#include "windows/files/file_chooser_win32.h"

#include <cstring>

#include "windows/base/wide_text_win32.h"

namespace hl {

static_assert(kChooserCreatePrompt == OFN_CREATEPROMPT, "flag differs from the system's");
static_assert(kChooserOverwritePrompt == OFN_OVERWRITEPROMPT, "flag differs from the system's");
static_assert(kChooserHideReadOnly == OFN_HIDEREADONLY, "flag differs from the system's");
static_assert(kChooserPathLength == MAX_PATH, "path buffers hold one full Windows path");


namespace {

// Copies `source` with its NUL into `target` of `capacity` bytes; false when it does not fit.
bool CopyText(char* target, size_t capacity, const char* source) {
  const size_t length = std::strlen(source);
  if (length >= capacity) return false;
  std::memcpy(target, source, length + 1);
  return true;
}

char* PathBufferOf(ChooserKind kind) {
  switch (kind) {
    case ChooserKind::OpenWave:
      return Chooser().openWavePath;
    case ChooserKind::SaveBitmap:
      return Chooser().bitmapPath;
    case ChooserKind::SaveWave:
      return Chooser().waveSavePath;
    case ChooserKind::SaveDataLog:
      return Chooser().dataLogPath;
  }
  return Chooser().openWavePath;
}

bool RunChooser(ChooserKind kind) {
  FileChooser& chooser = Chooser();
  if (!chooser.initialised) return false;

  const ChooserSpec& row = ChooserSpecOf(kind);
  char* filter = chooser.filters[static_cast<int>(kind)];
  char* path = PathBufferOf(kind);

  // The filter copy already holds NULs after the first call; preparing it again is harmless.
  PrepareFilter(filter);
  // The whole buffer, so that the NULs between the pairs are carried over too.
  MultiByteToWideChar(CP_UTF8, 0, filter, static_cast<int>(kChooserFilterCapacity), chooser.wideFilter,
                      static_cast<int>(kChooserFilterCapacity));
  std::memset(path, 0, kChooserPathBytes);
  std::memset(chooser.title, 0, sizeof chooser.title);
  std::memset(chooser.widePath, 0, sizeof chooser.widePath);
  std::memset(chooser.wideTitle, 0, sizeof chooser.wideTitle);
  const std::wstring title = Wide(row.title);
  const std::wstring extension = Wide(row.defaultExtension);

  OPENFILENAMEW& record = chooser.record;
  record.lpstrFilter = chooser.wideFilter;
  record.lpstrFile = chooser.widePath;
  record.lpstrTitle = title.c_str();
  // Set on every call: the dialog writes result bits (read-only box, extension differs)
  // back into the flags.
  record.Flags = row.flags;
  // Every chooser starts on its first filter; the dialog leaves the one last picked here.
  record.nFilterIndex = 1;
  record.lpstrDefExt = row.defaultExtension ? extension.c_str() : nullptr;

  const BOOL chosen = row.save ? GetSaveFileNameW(&record) : GetOpenFileNameW(&record);
  record.lpstrTitle = nullptr;
  record.lpstrDefExt = nullptr;
  // Both buffers hold any name the dialog can return (three bytes per UTF-16 unit at most).
  const std::string chosenPath = chosen ? Utf8(chooser.widePath) : std::string();
  const std::string chosenTitle = chosen ? Utf8(chooser.wideTitle) : std::string();
  if (chosenPath.empty() || !CopyText(path, kChooserPathBytes, chosenPath.c_str()) ||
      !CopyText(chooser.title, sizeof chooser.title, chosenTitle.c_str())) {
    // A failed dialog may leave part of a name behind; the callers expect nothing chosen.
    std::memset(path, 0, kChooserPathBytes);
    std::memset(chooser.title, 0, sizeof chooser.title);
    return false;
  }
  return true;
}

}  // namespace

void InitFileChooser(HWND owner) {
  FileChooser& chooser = Chooser();
  chooser = FileChooser{};

  OPENFILENAMEW& record = chooser.record;
  // The full record of the current system. The record the program was first written for
  // ended after lpTemplateName, 76 bytes on 32-bit Windows; the larger one is accepted
  // everywhere we run, and on 64-bit Windows it is the only size there is.
  record.lStructSize = sizeof(OPENFILENAMEW);
  record.hwndOwner = owner;
  record.nFilterIndex = 1;
  record.nMaxFile = kChooserPathLength;
  record.lpstrFileTitle = chooser.wideTitle;
  record.nMaxFileTitle = kChooserTitleLength;
  // No instance, custom filter, initial folder, hook or template: all left zero.

  const ChooserKind kinds[] = {ChooserKind::OpenWave, ChooserKind::SaveBitmap,
                               ChooserKind::SaveWave, ChooserKind::SaveDataLog};
  bool filtersFit = true;
  for (ChooserKind kind : kinds) {
    filtersFit = CopyText(chooser.filters[static_cast<int>(kind)], kChooserFilterCapacity,
                          ChooserSpecOf(kind).filter) && filtersFit;
  }
  // The filters are the program's own constants and the unit tests check that they fit;
  // should one ever not, the choosers stay off rather than show a cut filter.
  chooser.initialised = filtersFit;
}

bool ChooseOpenWave() { return RunChooser(ChooserKind::OpenWave); }
bool ChooseSaveBitmap() { return RunChooser(ChooserKind::SaveBitmap); }
bool ChooseSaveWave() { return RunChooser(ChooserKind::SaveWave); }
bool ChooseSaveDataLog() { return RunChooser(ChooserKind::SaveDataLog); }

const char* OpenWavePath() { return Chooser().openWavePath; }
const char* BitmapPath() { return Chooser().bitmapPath; }
const char* WaveSavePath() { return Chooser().waveSavePath; }
const char* DataLogPath() { return Chooser().dataLogPath; }
const char* ChosenTitle() { return Chooser().title; }
int ChosenFilterIndex() { return static_cast<int>(Chooser().record.nFilterIndex); }

bool SetOpenWavePath(const char* path) {
  if (path == nullptr) return false;
  return CopyText(Chooser().openWavePath, kChooserPathBytes, path);
}

}  // namespace hl
