#include "files/wave_open_win32.h"

#include "app/handles_win32.h"
#include "app/main_window_win32.h"
#include "common/limits.h"
#include "common/wide_text_win32.h"

namespace hl {

OpenedWave ReadChosenWave(const char* path, DWORD accessHint) {
  OpenedWave opened;
  FileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, accessHint, nullptr));
  if (!file.valid()) {
    opened.refusal = Message::CannotOpenFile;
    return opened;
  }
  LARGE_INTEGER size{};
  GetFileSizeEx(file.get(), &size);
  opened.fileSize = static_cast<uint64_t>(size.QuadPart);
  if (opened.fileSize < kShortestFileBytes) {
    opened.refusal = Message::SampleSizeTooSmall;
    return opened;
  }
  uint8_t block[kWaveSearchBlockLength] = {};
  DWORD got = 0;
  if (!ReadFile(file.get(), block, sizeof block, &got, nullptr)) got = 0;
  // A header whose format cannot be measured is read as raw samples, never divided by.
  const AnalysedWave wave = ReadAnalysedWave(block, got, opened.fileSize);
  opened.header = wave.header;
  opened.source = wave.layout;
  if (wave.layout.refused) opened.formatRefusal = FormatRefusalText(wave.layout);
  return opened;
}

std::string FormatRefusalText(const SampleLayout& source) {
  return std::string(source.formatName) + " files cannot be analysed";
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
