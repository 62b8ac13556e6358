// Dialog 104 "Scan Wave File" of "&Scan File": resolution, colours, display type, the
// analysis at the stopping point, attenuation, and the rate of a file without a header.
#include "windows/sound/file_scan_dialog_win32.h"

#include <cstdlib>

#include "core/analysis/analysis_settings.h"
#include "windows/base/dialog_choices_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/sound/capture.h"
#include "core/sound/playback.h"
#include "windows/sound/scan_display_win32.h"
#include "core/image/palette.h"
#include "windows/view/palette_win32.h"
#include "windows/view/view_win32.h"
#include "resources/resource.h"

namespace hl {

namespace {

constexpr int kRateTextLength = 8;


struct ScanDialog {
  Resolution resolution = Resolution::Bits16;
  PaletteScheme palette = PaletteScheme::CB;
  DisplayType displayType = DisplayType::Scroll;
  AnalysisAtStop analysisAtStop = AnalysisAtStop::Off;
  int16_t attenuation = 0;
  uint32_t rate = 0;        // in: the rate shown; out: the edit's value at OK
  bool rateValid = false;   // out: the edit held a number
  uint32_t remembered = 0;  // the rate shown before "New" emptied the edit
  bool newRateEntry = false;
  uint32_t fileRate = 0;                    // the file's own rate, the highest "New" goes to
  const char* decodedResolution = nullptr;  // what a decoded file stores, e.g. "24 bit"
};

void ApplyScopeEnabling(HWND dialog, const ScanDialog& d) {
  const BOOL on = d.displayType == DisplayType::Scope ? FALSE : TRUE;
  for (int id = IDC_PALETTE_CB; id <= IDC_PALETTE_WB; ++id) EnableWindow(GetDlgItem(dialog, id), on);
  EnableWindow(GetDlgItem(dialog, IDC_ATTENUATION), on);
  EnableWindow(GetDlgItem(dialog, IDC_ATTENUATION_BAR), on);
}

void ShowAttenuation(HWND dialog, int16_t value) {
  SetScrollPos(GetDlgItem(dialog, IDC_ATTENUATION_BAR), SB_CTL, value, TRUE);
  SetDlgItemInt(dialog, IDC_ATTENUATION, static_cast<UINT>(value), FALSE);
}

void InitScanDialog(HWND dialog, ScanDialog& d) {
  RECT box;
  GetWindowRect(dialog, &box);
  const int width = box.right - box.left, height = box.bottom - box.top;
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  CheckRadio(dialog, kResolutionGroup, d.resolution);
  CheckRadio(dialog, kPaletteGroup, d.palette);
  CheckRadio(dialog, kDisplayTypeGroup, d.displayType);
  CheckRadio(dialog, kAnalysisAtStopGroup, d.analysisAtStop);
  SetScrollRange(GetDlgItem(dialog, IDC_ATTENUATION_BAR), SB_CTL, 0, kMaxAttenuation, FALSE);
  ShowAttenuation(dialog, d.attenuation);
  SetDlgItemInt(dialog, IDC_SAMPLE_RATE, d.rate, FALSE);
  EnableWindow(GetDlgItem(dialog, IDC_SAMPLE_RATE), FALSE);
  d.newRateEntry = false;
  if (d.decodedResolution) {
    // The scan plays and analyses a decoded file as its 16-bit samples whatever is chosen.
    SetDlgItemTextA(dialog, IDC_RES_16_BIT, d.decodedResolution);
    EnableWindow(GetDlgItem(dialog, IDC_RES_8_BIT), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_RES_16_BIT), FALSE);
  }
  ApplyScopeEnabling(dialog, d);
}

// "New", second press (or OK while the rate is being entered): the rate typed, 0 for the
// one shown before, held in 5513..44100 (or up to the file's own higher rate).
void AcceptNewRate(HWND dialog, ScanDialog& d) {
  char text[kRateTextLength + 1] = {};
  GetDlgItemTextA(dialog, IDC_SAMPLE_RATE, text, sizeof text);
  const uint32_t rate = NewScanRate(text, d.remembered, d.fileRate);
  SetDlgItemInt(dialog, IDC_SAMPLE_RATE, rate, FALSE);
  EnableWindow(GetDlgItem(dialog, IDC_SAMPLE_RATE), FALSE);
  SetDlgItemTextA(dialog, IDC_NEW_RATE, "New");
  d.newRateEntry = false;
}

void StartNewRate(HWND dialog, ScanDialog& d) {
  BOOL ok = FALSE;
  d.remembered = GetDlgItemInt(dialog, IDC_SAMPLE_RATE, &ok, FALSE);
  SetDlgItemTextA(dialog, IDC_NEW_RATE, "OK");
  HWND edit = GetDlgItem(dialog, IDC_SAMPLE_RATE);
  SetWindowTextA(edit, "");
  EnableWindow(edit, TRUE);
  SetFocus(edit);
  d.newRateEntry = true;
}

void ConfirmScanDialog(HWND dialog, ScanDialog& d) {
  char text[kRateTextLength + 2] = {};
  GetDlgItemTextA(dialog, IDC_SAMPLE_RATE, text, sizeof text);
  char* end = nullptr;
  const long rate = std::strtol(text, &end, 10);
  d.rateValid = end != text && rate > 0;
  d.rate = d.rateValid ? static_cast<uint32_t>(rate) : 0;

  AnalysisSettings& settings = Settings();
  settings.resolution = d.resolution;
  settings.palette = d.palette;
  settings.displayType = d.displayType;
  settings.analysisAtStop = d.analysisAtStop;
  settings.attenuation = d.attenuation;
  HWND window = MainWindow().window;
  SetScopeWindowStyle(window, d.displayType == DisplayType::Scope);
  DrainMessageQueue();
  Drawing().scheme = d.palette;
  LoadPalette(window, PaletteOffset(d.attenuation));
  EndDialog(dialog, 1);
}

INT_PTR CALLBACK ScanDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  ScanDialog* d = reinterpret_cast<ScanDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      InitScanDialog(dialog, *reinterpret_cast<ScanDialog*>(lParam));
      return TRUE;
    case WM_HSCROLL: {
      if (!d || reinterpret_cast<HWND>(lParam) != GetDlgItem(dialog, IDC_ATTENUATION_BAR)) return FALSE;
      const BarValue v = ScrollBarValue(LOWORD(wParam), static_cast<int16_t>(HIWORD(wParam)), d->attenuation,
                                        kMaxAttenuation);
      if (v.changed) {
        d->attenuation = static_cast<int16_t>(v.value);
        ShowAttenuation(dialog, d->attenuation);
      }
      return TRUE;
    }
    case WM_COMMAND: {
      if (!d) return FALSE;
      const int id = LOWORD(wParam);
      if (InGroup(kResolutionGroup, id)) {
        d->resolution = ChoiceOfId(kResolutionGroup, id);
      } else if (InGroup(kPaletteGroup, id)) {
        d->palette = ChoiceOfId(kPaletteGroup, id);
      } else if (InGroup(kDisplayTypeGroup, id)) {
        d->displayType = ChoiceOfId(kDisplayTypeGroup, id);
        ApplyScopeEnabling(dialog, *d);
      } else if (InGroup(kAnalysisAtStopGroup, id)) {
        d->analysisAtStop = ChoiceOfId(kAnalysisAtStopGroup, id);
      } else if (id == IDC_NEW_RATE) {
        if (d->newRateEntry) {
          AcceptNewRate(dialog, *d);
        } else {
          StartNewRate(dialog, *d);
        }
      } else if (id == IDC_OK || id == IDOK) {
        if (d->newRateEntry) {
          AcceptNewRate(dialog, *d);
          SetFocus(GetDlgItem(dialog, IDC_OK));
        } else {
          ConfirmScanDialog(dialog, *d);
        }
      } else if (id == IDC_CANCEL || id == IDCANCEL) {
        EndDialog(dialog, 0);
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

// Runs dialog 104 for `rate`; true on OK, with the edit's rate in `rate` (0 when it held no
// number).
bool RunScanDialog(HWND window, uint32_t& rate, uint32_t fileRate, const char* decodedResolution) {
  const AnalysisSettings& settings = Settings();
  ScanDialog d;
  d.resolution = settings.resolution;
  d.palette = settings.palette;
  d.displayType = settings.displayType;
  d.analysisAtStop = settings.analysisAtStop;
  d.attenuation = settings.attenuation;
  d.rate = rate;
  d.fileRate = fileRate;
  d.decodedResolution = decodedResolution;
  const INT_PTR result = DialogBoxParamA(MainWindow().instance, MAKEINTRESOURCEA(IDD_SCAN_WAVE_FILE), window,
                                         ScanDialogProc, reinterpret_cast<LPARAM>(&d));
  if (result != 1) return false;
  rate = d.rate;
  return true;
}

}  // namespace hl
