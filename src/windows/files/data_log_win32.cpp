// "&Points" (40028) and "&Spectrum" (40038): the data-log dialogs, fed by clicks on the
// image through WM_COMMAND 1062 from the main window's left-button handler.
#include "windows/files/data_log_win32.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "windows/files/files_commands_win32.h"
#include "windows/base/dialog_place_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/menu_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/base/wide_text_win32.h"
#include "windows/base/gdi_objects_win32.h"
#include "windows/view/readout_win32.h"
#include "core/files/data_log.h"
#include "windows/files/file_chooser_win32.h"
#include "windows/files/save_commands_win32.h"
#include "resources/resource.h"

namespace hl {

namespace {




unsigned& SpectrumSampleStart() { return DataLog().spectrumSampleStart; }

HWND MainHandle() { return MainWindow().window; }

// The keyboard focus goes back to the image, so the next click lands there.
void FocusImage() {
  if (MainHandle()) SetFocus(MainHandle());
}

// Transforms the frame of 1 << `order` samples that starts `startMs` into the sample buffer
// into `out` (levels, or raw bins). False when there is no buffer or the engine could not be
// built; `out` is then as it was.
bool TransformAt(float startMs, int order, bool raw, std::vector<int16_t>& out) {
  AnalysisState& a = Analysis();
  if (!a.sampleBuffer) return false;
  auto* buffer = static_cast<const uint8_t*>(GlobalLock(a.sampleBuffer.get()));
  if (!buffer) return false;
  const SIZE_T blockSize = GlobalSize(a.sampleBuffer.get());
  const SIZE_T held = blockSize > kWaveHeaderLength ? blockSize - kWaveHeaderLength : 0;
  uint32_t byteCount = a.dataLength < a.byteCount ? a.dataLength : a.byteCount;
  if (byteCount > held) byteCount = static_cast<uint32_t>(held);
  LogSamples samples;
  samples.data = buffer + kWaveHeaderLength;
  samples.byteCount = byteCount;
  samples.bitsPerSample = a.format.bitsPerSample == 8 ? 8 : 16;
  samples.channels = a.format.channels;
  const int64_t start = LogFrameStart(startMs, a.format.sampleRate, a.format.BlockAlign());
  const bool done = TransformLogFrame(samples, start, order, a.format.sampleRate, raw, out);
  GlobalUnlock(a.sampleBuffer.get());
  return done;
}

// The log dialog has gone (closed by its buttons, or destroyed with the main window).
void Forget(HWND dialog) {
  DataLogState& s = DataLog();
  RemoveModelessDialog(dialog);
  s.pointFile.Close();
  s.spectrum.clear();
  s.spectrum.shrink_to_fit();
  s.spectrumTarget.clear();
  if (s.dialog == dialog) s.dialog = nullptr;
}

// Closes the dialog; the menu goes back to the state of an analysis on show.
void CloseLog(HWND dialog) {
  DestroyWindow(dialog);  // WM_DESTROY forgets the state and closes the point log
  if (MainHandle()) SetMenuState(MainHandle(), MenuState::DataLoaded);
}

// A file chosen with the "Save Data Log" chooser; false (after the chooser's cancel) when
// none was chosen.
bool ChooseLogFile(HWND window) {
  RedrawView(window, true);
  Mode().fileAnalysisInProgress = 0;
  if (!ChooseSaveDataLog()) {
    RedrawView(window, true);
    return false;
  }
  return true;
}

// Whether a log command may start now: an analysis with its samples, nothing running, no
// other log open (which is brought forward instead).
bool LogMayStart() {
  DataLogState& s = DataLog();
  if (s.dialog) {
    SetActiveWindow(s.dialog);
    return false;
  }
  return Analysis().sampleBuffer && !Mode().rendering;
}

// ---------------------------------------------------------------------------
// Points.

std::string FieldText(HWND dialog, int id) {
  char text[kPointFieldLength + 1] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

void EnterPoint(HWND dialog) {
  DataLogState& s = DataLog();
  const std::string line = PointLogLine(FieldText(dialog, IDC_EVENT_ID), FieldText(dialog, IDC_POINT_TIME),
                                        FieldText(dialog, IDC_POINT_FREQ), FieldText(dialog, IDC_POINT_LEVEL));
  if (!line.empty() && s.pointFile.valid()) {
    LARGE_INTEGER end{};
    const LARGE_INTEGER here{};
    const bool known = SetFilePointerEx(s.pointFile.get(), here, &end, FILE_CURRENT) != 0;
    DWORD wrote = 0;
    // A full disk may show up only when the data is flushed, so a point counts as written
    // once it is on the disk.
    const bool ok = WriteFile(s.pointFile.get(), line.data(), static_cast<DWORD>(line.size()), &wrote, nullptr) &&
                    wrote == line.size() && FlushFileBuffers(s.pointFile.get());
    if (!ok) {
      // A point that did not reach the file must not pass for one that did, and the part of
      // it that did is taken back: the log keeps whole points and every byte it had.
      if (known && SetFilePointerEx(s.pointFile.get(), end, nullptr, FILE_BEGIN)) SetEndOfFile(s.pointFile.get());
      ShowProgramMessage(MainHandle(), Message::ErrorWritingFile);
    }
  }
  FocusImage();
}

// A click on the image: the readout's time and frequency, and the level of the clicked
// frequency at the start of the clicked column, measured with a full-length window.
void MeasurePoint(HWND dialog) {
  const ReadoutValues& readout = CurrentReadout();
  SetDlgItemInt(dialog, IDC_POINT_FREQ, readout.frequencyHz, FALSE);
  SetDlgItemInt(dialog, IDC_POINT_TIME, readout.timeMs, FALSE);
  const AnalysisSettings& settings = Settings();
  std::vector<int16_t> levels;
  const float startMs = ColumnStartMs(readout.column, settings.timeScaleMs, 0.0f);
  if (TransformAt(startMs, settings.FftOrder(), false, levels)) {
    const int bin = BinOfFrequency(readout.frequencyHz, Analysis().format.sampleRate, 1 << settings.FftOrder());
    SetDlgItemInt(dialog, IDC_POINT_LEVEL, static_cast<UINT>(LevelDecibels(levels[bin])), TRUE);
  }
  FocusImage();
}

char EventLetter(int id) {
  switch (id) {
    case IDC_EVENT_A: return 'a';
    case IDC_EVENT_B: return 'b';
    case IDC_EVENT_C: return 'c';
    case IDC_EVENT_D: return 'd';
    case IDC_EVENT_E: return 'e';
    case IDC_EVENT_F: return 'f';
    case IDC_EVENT_G: return 'g';
    case IDC_EVENT_H: return 'h';
    default: return 0;
  }
}

INT_PTR CALLBACK PointLogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      DataLog().dialog = dialog;
      DataLog().kind = LogKind::Points;
      PlaceDialogOnScreen(dialog, SWP_NOACTIVATE);
      FocusImage();
      return FALSE;  // the focus stays with the image
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (const char letter = EventLetter(id)) {
        const char text[2] = {letter, 0};
        SetDlgItemTextA(dialog, IDC_EVENT_ID, text);
        FocusImage();
        return TRUE;
      }
      switch (id) {
        case IDC_LOG_CLICK:
          // The frequency edit shares the click's id; its own notifications carry its handle.
          if (lParam == 0) MeasurePoint(dialog);
          return TRUE;
        case IDC_LOG_ENTER_POINT:
          EnterPoint(dialog);
          return TRUE;
        case IDC_LOG_SAVE_EXIT:
        case IDCANCEL:
        case IDC_LOG_CLOSE:
          CloseLog(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    }
    case WM_DESTROY:
      Forget(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

// ---------------------------------------------------------------------------
// Spectrum.

int SpectrumLength() { return 1 << DataLog().fftOrder; }

void MeasureSpectrum(HWND dialog) {
  DataLogState& s = DataLog();
  const ReadoutValues& readout = CurrentReadout();
  SpectrumSampleStart() = readout.timeMs;
  const AnalysisState& a = Analysis();
  // The time axis starts at the image start time; the stored offset is what the grid
  // subtracts from the begin times (0 after a file analysis).
  const float timeAxisOffset = (a.accumulatedBeginMs + a.beginMs) - a.imageStartMs;
  const float startMs = ColumnStartMs(readout.column, Settings().timeScaleMs, timeAxisOffset);
  std::vector<int16_t> raw;
  if (TransformAt(startMs, s.fftOrder, true, raw)) s.spectrum.swap(raw);
  FocusImage();
  // The plot is repainted at once, not when the dialog's turn to paint comes.
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// The plot frame's painting: white, with 128 bars two pixels apart and at most 50 high,
// centred in the frame.
void PaintPlot(HWND plot) {
  const DataLogState& s = DataLog();
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(plot, &paint);
  RECT r;
  GetClientRect(plot, &r);
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  if (static_cast<int>(s.spectrum.size()) == SpectrumLength()) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    int x0 = (w - 2 * kSpectrumBars) / 2, y0 = (h - kSpectrumBarHeight) / 2;
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    const auto bars = SpectrumBars(s.spectrum.data(), SpectrumLength());
    SelectedObject pen(dc, GetStockObject(BLACK_PEN));
    for (int b = 0; b < kSpectrumBars; ++b) {
      if (bars[b] <= 0) continue;
      MoveToEx(dc, x0 + 2 * b, y0 + kSpectrumBarHeight, nullptr);
      LineTo(dc, x0 + 2 * b, y0 + kSpectrumBarHeight - bars[b]);
    }
  }
  EndPaint(plot, &paint);
}

LRESULT CALLBACK PlotProc(HWND plot, UINT message, WPARAM wParam, LPARAM lParam) {
  const WNDPROC original = DataLog().plotProc;
  if (message == WM_PAINT) {
    PaintPlot(plot);
    return 0;
  }
  if (message == WM_ERASEBKGND) return 1;  // painting fills the whole frame
  return original ? CallWindowProcA(original, plot, message, wParam, lParam) : DefWindowProcA(plot, message, wParam, lParam);
}

// "Save / Exit": the table goes to a temporary file beside the chosen one, which replaces
// it only once every byte is written and the file closed. False when it could not be saved
// (the chosen file is then as it was).
bool SaveSpectrum() {
  const DataLogState& s = DataLog();
  const int n = SpectrumLength();
  std::vector<int16_t> zero;
  const int16_t* values = s.spectrum.data();
  if (static_cast<int>(s.spectrum.size()) != n) {
    zero.assign(static_cast<size_t>(n), 0);
    values = zero.data();
  }
  const std::string text = SpectrumLogText(Analysis().filePath, SpectrumSampleStart(), n, s.binWidthHz, values);
  ReplacingFile file;
  if (!file.Open(s.spectrumTarget.c_str())) return false;
  if (!file.Write(text.data(), text.size())) {
    file.Abandon();
    return false;
  }
  return file.Commit();
}

INT_PTR CALLBACK SpectrumLogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DataLogState& s = DataLog();
  switch (message) {
    case WM_INITDIALOG: {
      s.dialog = dialog;
      s.kind = LogKind::Spectrum;
      s.fftOrder = Settings().FftOrder();
      s.spectrum.assign(static_cast<size_t>(SpectrumLength()), 0);
      s.binWidthHz = static_cast<float>(Analysis().format.sampleRate) / static_cast<float>(SpectrumLength());
      PlaceDialogOnScreen(dialog, SWP_NOACTIVATE);
      if (HWND plot = GetDlgItem(dialog, IDC_SPECTRUM_PLOT)) {
        s.plotProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(plot, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PlotProc)));
      }
      FocusImage();
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_LOG_CLICK:
          if (lParam == 0) MeasureSpectrum(dialog);
          return TRUE;
        case IDC_LOG_SAVE_EXIT:
          if (!SaveSpectrum()) {
            // Nothing is lost: the dialog stays with its spectrum, to try again or cancel.
            ShowProgramMessage(MainHandle(), Message::ErrorWritingFile);
            return TRUE;
          }
          CloseLog(dialog);
          return TRUE;
        case IDC_LOG_CANCEL:
        case IDC_LOG_CLOSE:
          CloseLog(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_DESTROY:
      if (HWND plot = GetDlgItem(dialog, IDC_SPECTRUM_PLOT); plot && s.plotProc) {
        SetWindowLongPtrA(plot, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s.plotProc));
      }
      s.plotProc = nullptr;
      Forget(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

// Opens a log dialog; on success the menu goes busy. False when it could not be made.
bool OpenLogDialog(HWND window, int resource, DLGPROC procedure) {
  HWND dialog = CreateDialogParamA(MainWindow().instance, MAKEINTRESOURCEA(resource), window, procedure, 0);
  if (!dialog) {
    DataLog().dialog = nullptr;
    return false;
  }
  AddModelessDialog(dialog);
  SetMenuState(window, MenuState::Busy);
  return true;
}

}  // namespace

HWND OpenDataLogDialog() { return DataLog().dialog; }

void MeasureForLog() {
  const DataLogState& s = DataLog();
  if (!s.dialog) return;
  if (s.kind == LogKind::Spectrum) {
    MeasureSpectrum(s.dialog);
  } else {
    MeasurePoint(s.dialog);
  }
}

void OnLogPoints(HWND window, LPARAM) {
  if (!LogMayStart() || !ChooseLogFile(window)) return;
  // A read-only file is refused by its attribute, as the system refuses it to a user (an
  // administrator's open would otherwise succeed and append to it).
  const DWORD attributes = GetFileAttributesW(Wide(DataLogPath()).c_str());
  const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  // Appended to: an existing log keeps every byte it had.
  FileHandle file(readOnly ? INVALID_HANDLE_VALUE
                           : CreateFileW(Wide(DataLogPath()).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) {
    ShowProgramMessage(window, Message::CannotOpenFile);
    return;
  }
  if (SetFilePointer(file.get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    ShowProgramMessage(window, Message::CannotOpenFile);
    return;
  }
  DataLog().pointFile = std::move(file);
  if (!OpenLogDialog(window, IDD_POINT_LOG, PointLogProc)) DataLog().pointFile.Close();
}

void OnLogSpectrum(HWND window, LPARAM) {
  if (!LogMayStart() || !ChooseLogFile(window)) return;
  // Only checked here: nothing is written, and an existing file keeps its contents, until
  // "Save / Exit".
  ReplacingFile probe;
  const bool writable = probe.Open(DataLogPath());
  probe.Abandon();
  if (!writable) {
    ShowProgramMessage(window, Message::CannotOpenFile);
    return;
  }
  wchar_t full[MAX_PATH];
  const DWORD length = GetFullPathNameW(Wide(DataLogPath()).c_str(), MAX_PATH, full, nullptr);
  DataLog().spectrumTarget = length > 0 && length < MAX_PATH ? Utf8(full) : std::string(DataLogPath());
  OpenLogDialog(window, IDD_SPECTRUM_LOG, SpectrumLogProc);
}

}  // namespace hl
