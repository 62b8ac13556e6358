#include "tests/e2e/e2e_support.h"

#include <cmath>

#include "app/operating_mode_win32.h"
#include "common/wide_text_win32.h"
#include "tests/e2e/dialog_driver.h"

namespace hl::e2e {

std::string ScratchFolder() {
  static std::string folder;
  if (folder.empty()) {
    char base[MAX_PATH] = {};
    GetTempPathA(sizeof base, base);
    folder = std::string(base) + "hl-e2e-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
  }
  return folder;
}

namespace {

bool WriteBytes(const std::string& path, const void* data, size_t size) {
  SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD wrote = 0;
  const bool ok = WriteFile(file, data, static_cast<DWORD>(size), &wrote, nullptr) && wrote == size;
  return CloseHandle(file) && ok;
}

}  // namespace

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  return WriteBytes(path, bytes.data(), bytes.size());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  return WriteBytes(path, bytes.data(), bytes.size());
}

bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  if (!bytes.empty() &&
      (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size())) {
    bytes.clear();
  }
  CloseHandle(file);
  return bytes;
}

::testing::AssertionResult ChooseFile(const char* caption, const std::string& path) {
  const std::string problem = Choose(caption, path);
  if (!problem.empty()) return ::testing::AssertionFailure() << problem;
  return ::testing::AssertionSuccess();
}

bool WaitForAnalysisEnd() {
  return WaitUntil([] {
    return ReadOnWindowThread([] {
             const OperatingMode& m = Mode();
             return !m.fileAnalysisInProgress && !m.rendering;
           }) &&
           OpenDialogs().empty();
  });
}

UINT MenuFlags(HWND window, UINT id) { return GetMenuState(GetMenu(window), id, MF_BYCOMMAND) & 0xFF; }

bool MenuEnabled(HWND window, UINT id) { return (MenuFlags(window, id) & (MF_GRAYED | MF_DISABLED)) == 0; }

std::string TakeBox(const char* caption, DWORD timeoutMs) {
  HWND box = WaitForDialog(caption, GetCurrentProcessId(), timeoutMs);
  if (!box) return std::string("(no box \"") + caption + "\")";
  const std::string text = MessageBoxText(box);
  PressAndWaitUntilClosed(box, IDOK);
  return text;
}

std::string TakeMessage(DWORD timeoutMs) { return TakeBox("Harrowlight", timeoutMs); }

double SinkLevel(DWORD ms) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = 11025;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = 22050;
  HWAVEIN device = nullptr;
  if (waveInOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return -1;
  std::vector<int16_t> samples(11025 * ms / 1000);
  WAVEHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(samples.data());
  header.dwBufferLength = static_cast<DWORD>(samples.size() * 2);
  double level = -1;
  if (waveInPrepareHeader(device, &header, sizeof header) == MMSYSERR_NOERROR) {
    if (waveInAddBuffer(device, &header, sizeof header) == MMSYSERR_NOERROR &&
        waveInStart(device) == MMSYSERR_NOERROR &&
        WaitUntil([&] { return (header.dwFlags & WHDR_DONE) != 0; }, ms + 3000)) {
      double sum = 0;
      const size_t n = header.dwBytesRecorded / 2;
      for (size_t i = 0; i < n; ++i) sum += static_cast<double>(samples[i]) * samples[i];
      level = n > 0 ? std::sqrt(sum / n) : 0.0;
    }
    waveInReset(device);
    waveInUnprepareHeader(device, &header, sizeof header);
  }
  waveInClose(device);
  return level;
}

}  // namespace hl::e2e
