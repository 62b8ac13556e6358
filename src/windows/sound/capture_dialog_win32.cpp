// The "S&can Audio" and "&Record Audio" dialogs (103 and 106): rate, resolution, colours,
// attenuation and latency, and the display type or the record length. OK turns the choices
// into settings and rebuilds the palette they ask for.
#include "windows/sound/capture_dialog_win32.h"

#include "core/analysis/analysis_settings.h"
#include "windows/base/dialog_choices_win32.h"
#include "windows/base/dialog_place_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/sound/capture.h"
#include "windows/sound/scan_display_win32.h"
#include "core/image/palette.h"
#include "windows/view/palette_win32.h"
#include "windows/view/view_win32.h"
#include "resources/resource.h"

namespace hl {

namespace {

constexpr int kMaxLatency = 250;

struct DialogWork {
  HWND owner = nullptr;
  bool record = false;  // dialog 106: record length in place of the display type
  RateChoice rate = RateChoice::Rate11k;
  Resolution resolution = Resolution::Bits8;
  PaletteScheme palette = PaletteScheme::CB;
  DisplayType displayType = DisplayType::Scroll;
  RecordLength recordLength = RecordLength::Seconds10;
  int32_t attenuation = 0;
  int32_t latency = 60;
};

void ShowNumber(HWND dialog, int editId, int barId, int32_t value) {
  SetScrollPos(GetDlgItem(dialog, barId), SB_CTL, value, TRUE);
  SetDlgItemInt(dialog, editId, static_cast<UINT>(value), FALSE);
}

// With "Scope" the colours and the attenuation are out of use (the Scope draws in "CB" at
// 0 dB); the latency stays.
void ApplyDisplayTypeRule(HWND dialog, const DialogWork& w) {
  if (w.record) return;
  const BOOL on = w.displayType == DisplayType::Scope ? FALSE : TRUE;
  for (int id : {IDC_PALETTE_CB, IDC_PALETTE_CG, IDC_PALETTE_BW, IDC_PALETTE_WB, IDC_ATTENUATION, IDC_ATTENUATION_BAR}) {
    EnableWindow(GetDlgItem(dialog, id), on);
  }
}

void InitialiseDialog(HWND dialog, DialogWork& w) {
  const ScreenMetrics& m = MainWindow().metrics;
  const int screenWidth = m.screenWidth > 0 ? m.screenWidth : GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = m.screenHeight > 0 ? m.screenHeight : GetSystemMetrics(SM_CYSCREEN);
  PlaceDialog(dialog, screenWidth, screenHeight);

  SetScrollRange(GetDlgItem(dialog, IDC_ATTENUATION_BAR), SB_CTL, 0, kMaxAttenuation, FALSE);
  SetScrollRange(GetDlgItem(dialog, IDC_LATENCY_BAR), SB_CTL, 0, kMaxLatency, FALSE);
  ShowNumber(dialog, IDC_ATTENUATION, IDC_ATTENUATION_BAR, w.attenuation);
  ShowNumber(dialog, IDC_LATENCY, IDC_LATENCY_BAR, w.latency);
  CheckRadio(dialog, kRateGroup, w.rate);
  CheckRadio(dialog, kResolutionGroup, w.resolution);
  CheckRadio(dialog, kPaletteGroup, w.palette);
  if (w.record) {
    CheckRadio(dialog, kRecordLengthGroup, w.recordLength);
  } else {
    CheckRadio(dialog, kDisplayTypeGroup, w.displayType);
  }
  ApplyDisplayTypeRule(dialog, w);
}

void ScrollDialogBar(HWND dialog, DialogWork& w, HWND bar, WPARAM wParam) {
  const int code = LOWORD(wParam);
  const int thumb = static_cast<short>(HIWORD(wParam));
  if (bar == GetDlgItem(dialog, IDC_ATTENUATION_BAR)) {
    const BarValue v = ScrollBarValue(code, thumb, w.attenuation, kMaxAttenuation);
    if (!v.changed) return;
    w.attenuation = v.value;
    ShowNumber(dialog, IDC_ATTENUATION, IDC_ATTENUATION_BAR, w.attenuation);
  } else if (bar == GetDlgItem(dialog, IDC_LATENCY_BAR)) {
    const BarValue v = ScrollBarValue(code, thumb, w.latency, kMaxLatency);
    if (!v.changed) return;
    w.latency = v.value;
    ShowNumber(dialog, IDC_LATENCY, IDC_LATENCY_BAR, w.latency);
  }
}

// OK: the choices become settings, the capture's analysis is fixed at 512 points "NB", and
// the palette is rebuilt for the chosen scheme and attenuation.
void AcceptDialog(DialogWork& w) {
  AnalysisSettings& s = Settings();
  s.sampleRateChoice = w.rate;
  s.resolution = w.resolution;
  s.palette = w.palette;
  s.attenuation = static_cast<int16_t>(w.attenuation);
  s.latencyMs = static_cast<int16_t>(w.latency);
  if (w.record) {
    s.recordLength = w.recordLength;
    s.displayType = DisplayType::Scroll;
  } else {
    s.displayType = w.displayType;
  }
  s.timeScaleMs = CaptureTimeScale(CaptureRateOfChoice(w.rate));
  s.fftSize = FftSize::Fft512;
  s.frequencyMode = FrequencyMode::NB;
  SetScopeWindowStyle(w.owner, s.displayType == DisplayType::Scope);
  DrainMessageQueue();
  Drawing().scheme = s.palette;
  LoadPalette(w.owner, PaletteOffset(s.attenuation));
  UpdateDisplayColourTable();
}

void DialogCommand(HWND dialog, DialogWork& w, int id) {
  if (InGroup(kRateGroup, id)) {
    w.rate = ChoiceOfId(kRateGroup, id);
  } else if (InGroup(kResolutionGroup, id)) {
    w.resolution = ChoiceOfId(kResolutionGroup, id);
  } else if (InGroup(kPaletteGroup, id)) {
    w.palette = ChoiceOfId(kPaletteGroup, id);
  } else if (InGroup(kDisplayTypeGroup, id)) {
    if (w.record) return;
    w.displayType = ChoiceOfId(kDisplayTypeGroup, id);
    ApplyDisplayTypeRule(dialog, w);
  } else if (InGroup(kRecordLengthGroup, id)) {
    if (w.record) w.recordLength = ChoiceOfId(kRecordLengthGroup, id);
  }
  switch (id) {
    case IDC_OK:
    case IDOK:
      AcceptDialog(w);
      EndDialog(dialog, 1);
      return;
    case IDC_CANCEL:
    case IDCANCEL:
      EndDialog(dialog, 0);
      return;
    default:
      return;
  }
}

INT_PTR CALLBACK CaptureDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogWork* w = reinterpret_cast<DialogWork*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      InitialiseDialog(dialog, *reinterpret_cast<DialogWork*>(lParam));
      return TRUE;
    case WM_HSCROLL:
      if (w) ScrollDialogBar(dialog, *w, reinterpret_cast<HWND>(lParam), wParam);
      return TRUE;
    case WM_COMMAND:
      if (w && HIWORD(wParam) == BN_CLICKED) DialogCommand(dialog, *w, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

bool RunCaptureDialog(HWND owner, bool record) {
  const AnalysisSettings& s = Settings();
  DialogWork w;
  w.owner = owner;
  w.record = record;
  w.rate = s.sampleRateChoice;
  w.resolution = s.resolution;
  w.palette = s.palette;
  w.displayType = s.displayType;
  w.recordLength = s.recordLength;
  w.attenuation = s.attenuation;
  w.latency = s.latencyMs;
  const INT_PTR result =
      DialogBoxParamA(MainWindow().instance, MAKEINTRESOURCEA(record ? IDD_RECORD_AUDIO : IDD_SCAN_AUDIO), owner,
                      CaptureDialogProc, reinterpret_cast<LPARAM>(&w));
  return result == 1;
}

}  // namespace hl
