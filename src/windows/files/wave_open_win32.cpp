#include "windows/files/wave_open_win32.h"

#include "windows/base/handles_win32.h"
#include "windows/base/sound_source_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/base/window_state_win32.h"
#include "core/base/limits.h"
#include "windows/base/wide_text_win32.h"

namespace hl {

OpenedWave ReadChosenWave(const char* path, DWORD accessHint) {
  OpenedWave opened;
  // A compressed file decoded when it was chosen is read as its WAV image.
  SoundFile file;
  if (!file.Open(path, accessHint)) {
    opened.refusal = Message::CannotOpenFile;
    return opened;
  }
  opened.fileSize = file.Size();
  if (opened.fileSize < kShortestFileBytes) {
    opened.refusal = Message::SampleSizeTooSmall;
    return opened;
  }
  // A header whose format cannot be measured is read as raw samples, never divided by; a RIFF
  // file is walked chunk by chunk and never read as raw samples.
  const AnalysedWave wave = ReadAnalysedWave(file.Bytes(), opened.fileSize);
  opened.header = wave.header;
  opened.source = wave.layout;
  if (wave.layout.problem == Message::CannotOpenFile) {
    opened.refusal = Message::CannotOpenFile;
  } else if (wave.layout.refused) {
    opened.formatRefusal = FormatRefusalText(wave.layout);
  }
  return opened;
}

std::string FormatRefusalText(const SampleLayout& source) { return LayoutRefusalText(source); }

ReadBytesAt HandleBytes(HANDLE file) {
  return [file](uint64_t offset, uint8_t* out, size_t count) -> size_t {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD got = 0;
    const DWORD want = count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(count);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !ReadFile(file, out, want, &got, nullptr)) return 0;
    return got;
  };
}

bool RefuseUnreadableFormat(HWND owner, const OpenedWave& opened) {
  if (opened.formatRefusal.empty()) return false;
  ShowMessage(owner, opened.formatRefusal.c_str(), MB_ICONEXCLAMATION);
  return true;
}

std::string NameWithoutFolder(const std::string& path) {
  const size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace hl
