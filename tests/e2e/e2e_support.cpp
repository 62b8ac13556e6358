#include "tests/e2e/e2e_support.h"

#include <cmath>
#include <sstream>

#include "windows/program/main_window_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/base/wide_text_win32.h"
#include "core/layout/readout.h"
#include "windows/view/readout_win32.h"
#include "windows/view/view_win32.h"
#include "tests/e2e/dialog_driver.h"
#include "resources/resource.h"

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

namespace {

int ExtentOf(HDC dc, const std::string& text) {
  SIZE extent{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  return extent.cx;
}

}  // namespace

::testing::AssertionResult TextsUnderTheImageFit() {
  std::ostringstream problems;
  const bool ran = OnWindowThread([&] {
    const MainWindowState& w = MainWindow();
    HDC dc = GetDC(w.window);
    HGDIOBJ previous = w.font ? SelectObject(dc, w.font) : nullptr;
    struct Field {
      StatusField field;
      std::vector<std::string> texts;
    };
    const Field fields[] = {
        {StatusField::Title, {"Audio Analysis ", "File Scan ", "Audio Recording ", "Audio Scan"}},
        {StatusField::TimeLabel, {"Time (msec) :", "Time Now (sec) : ", "Sig Level (dB) :"}},
        {StatusField::TimeValue, {"00000 + - 00", "000         ", TimeField(99999, 6), TimeField(12345, 99)}},
        {StatusField::FrequencyLabel, {"Frequency (Hz) :"}},
        {StatusField::FrequencyValue, {"00000 + - 00", FrequencyField(22050, 11), FrequencyField(3219, 22)}},
    };
    for (const Field& f : fields) {
      const RECT box = ShownStatusField(f.field).box;
      for (const std::string& text : f.texts) {
        const int extent = ExtentOf(dc, text);
        if (extent > box.right - box.left) {
          problems << "\"" << text << "\" is " << extent << " pixels wide in a field of " << box.right - box.left
                   << "; ";
        }
      }
    }
    const RECT label = ShownStatusField(StatusField::FrequencyLabel).box;
    const RECT value = ShownStatusField(StatusField::FrequencyValue).box;
    if (label.right > value.left) problems << "the labels reach into the values; ";
    const InfoPanelLayout p = CurrentInfoPanel(44100, 16, 999999);
    for (int row = 0; row < 3; ++row) {
      if (p.labelX + ExtentOf(dc, p.labels[row]) >= p.valueX) problems << "\"" << p.labels[row] << "\" runs into its value; ";
      if (p.valueX + ExtentOf(dc, p.values[row]) > p.x + p.width) problems << "\"" << p.values[row] << "\" leaves the panel; ";
    }
    RECT play;
    GetWindowRect(w.playButton, &play);
    MapWindowPoints(nullptr, w.window, reinterpret_cast<POINT*>(&play), 2);
    if (p.x + p.width >= play.left) problems << "the panel reaches the buttons (" << p.x + p.width << " >= " << play.left << "); ";
    if (previous) SelectObject(dc, previous);
    ReleaseDC(w.window, dc);
  });
  if (!ran) return ::testing::AssertionFailure() << "the window's thread did not answer";
  const std::string found = problems.str();
  if (!found.empty()) return ::testing::AssertionFailure() << found;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult DialogTextsFit(HWND dialog) {
  std::ostringstream problems;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char className[16] = {};
    GetClassNameA(child, className, sizeof className);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if (lstrcmpiA(className, "Static") != 0 || (style & SS_TYPEMASK) > SS_RIGHT) continue;
    const std::string text = TextOf(child);
    if (text.empty()) continue;
    RECT client;
    GetClientRect(child, &client);
    HDC dc = GetDC(child);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, client.right, 0};
    DrawTextA(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    SelectObject(dc, previous);
    ReleaseDC(child, dc);
    if (needed.right > client.right || needed.bottom > client.bottom) {
      problems << "\"" << text << "\" needs " << needed.right << " x " << needed.bottom << " in " << client.right
               << " x " << client.bottom << "; ";
    }
  }
  const std::string found = problems.str();
  if (!found.empty()) return ::testing::AssertionFailure() << found;
  return ::testing::AssertionSuccess();
}

HWND AnalysisWindowSuite::OpenParameters(const std::string& path) {
  if (!ui_->PostCommand(IDM_ANALYZE_FILE)) return nullptr;
  if (!ChooseFile("Open WAV File", path)) return nullptr;
  return WaitForDialog("Choose Analysis Parameters");
}

::testing::AssertionResult AnalysisWindowSuite::Render(HWND dialog) {
  if (!dialog) return ::testing::AssertionFailure() << "no parameters dialog: " << TakeMessage(1000);
  if (!PressAndWaitUntilClosed(dialog, IDOK)) return ::testing::AssertionFailure() << "OK did not close it";
  if (!WaitForAnalysisEnd()) return ::testing::AssertionFailure() << "the analysis did not end";
  if (!Display().exists()) return ::testing::AssertionFailure() << "no display bitmap after the analysis";
  return ::testing::AssertionSuccess();
}

std::vector<uint8_t> AnalysisWindowSuite::EntireBitmap(const std::string& name) {
  const std::string path = ScratchFolder() + name;
  if (!ui_->PostCommand(IDM_SAVE_ENTIRE_BITMAP) || !ChooseFile("Save Bitmap", path)) return {};
  if (!ui_->Flush() || !WaitForAnalysisEnd()) {
    ADD_FAILURE() << "saving " << name << " ended in the box \"" << TakeMessage(1000) << "\"";
    return {};
  }
  return ReadWholeFile(path);
}

}  // namespace hl::e2e
