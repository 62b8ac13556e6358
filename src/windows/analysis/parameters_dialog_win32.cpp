#include "windows/analysis/parameters_dialog_win32.h"

#include <cstdio>

#include "windows/base/dialog_choices_win32.h"
#include "windows/base/window_state_win32.h"
#include "core/analysis/parameters_dialog.h"
#include "core/image/palette.h"
#include "windows/view/palette_win32.h"
#include "windows/view/view_win32.h"
#include "core/layout/window_layout.h"
#include "resources/resource.h"

namespace hl {

namespace {

constexpr char kDialogCaption[] = "Choose Analysis Parameters";

// What the dialog works on while it is open; the settings change only when OK closes it.
struct DialogState {
  HWND owner = nullptr;
  AnalysisSettings* settings = nullptr;
  ParametersDialogValues* values = nullptr;
  Resolution resolution = Resolution::Bits8;  // the resolution the begin and end texts are for
  FftSize fftSize = FftSize::Fft512;
  FrequencyMode frequencyMode = FrequencyMode::NB;
  PaletteScheme palette = PaletteScheme::CB;
  int16_t attenuation = 0;
  float windowMs = 8.0f;
  float savedWindowMs = 8.0f;  // the "BB" window brought back when "BB" is chosen again
  float previousRate = 0.0f;   // the rate the begin and end texts are for
  bool newRateEntry = false;   // "New" was pressed: OK takes the rate and keeps the dialog
};

// Every control that "New" takes out of use while the rate is typed.
const int kControlsBesideTheRate[] = {
    IDC_NEW_RATE,   IDC_RES_8_BIT,   IDC_RES_16_BIT,  IDC_BEGIN,          IDC_END,
    IDC_FFT_512,    IDC_FFT_1024,    IDC_FFT_2048,    IDC_MODE_BB,        IDC_MODE_NB,
    IDC_TIME_SCALE, IDC_ATTENUATION, IDC_PALETTE_CB,  IDC_ATTENUATION_BAR, IDC_PALETTE_CG,
    IDC_PALETTE_BW, IDC_PALETTE_WB,  IDC_WINDOW_LENGTH};

int32_t ReadInteger(HWND dialog, int id) {
  char text[kEditTextLimit + 1] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return EditInteger(text);
}

void WriteInteger(HWND dialog, int id, int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  SetDlgItemTextA(dialog, id, text);
}

void Enable(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE); }

float SampleRateShown(HWND dialog) { return static_cast<float>(ReadInteger(dialog, IDC_SAMPLE_RATE)); }

void ShowAttenuation(HWND dialog, const DialogState& s) {
  SetScrollPos(GetDlgItem(dialog, IDC_ATTENUATION_BAR), SB_CTL, s.attenuation, TRUE);
  WriteInteger(dialog, IDC_ATTENUATION, s.attenuation);
}

// "NB": the window is the frame, and its edit is blank and out of use. "BB": the saved
// window, editable.
void ShowFrequencyMode(HWND dialog, DialogState& s) {
  if (s.frequencyMode == FrequencyMode::NB) {
    const float rate = SampleRateShown(dialog);
    if (rate >= 1.0f) s.windowMs = NbWindowLength(FftLengthOfChoice(s.fftSize), rate);
    SetDlgItemTextA(dialog, IDC_WINDOW_LENGTH, "");
    Enable(dialog, IDC_WINDOW_LENGTH, false);
  } else {
    s.windowMs = s.savedWindowMs;
    WriteInteger(dialog, IDC_WINDOW_LENGTH, static_cast<int32_t>(s.windowMs));
    Enable(dialog, IDC_WINDOW_LENGTH, true);
  }
}

// A decoded file is held as 16-bit samples whatever it stores, so the dialog names what it
// stores and offers no choice: "8 bit" would read the 16-bit samples as bytes.
void ShowDecodedResolution(HWND dialog, const char* text) {
  SetDlgItemTextA(dialog, IDC_RES_16_BIT, text);
  Enable(dialog, IDC_RES_8_BIT, false);
  Enable(dialog, IDC_RES_16_BIT, false);
}

void Initialise(HWND dialog, DialogState& s) {
  const AnalysisSettings& settings = *s.settings;
  SetWindowTextA(dialog, kDialogCaption);
  s.resolution = settings.resolution;
  s.fftSize = settings.fftSize;
  s.frequencyMode = settings.frequencyMode;
  s.palette = settings.palette;
  s.attenuation = settings.attenuation;
  s.windowMs = settings.windowLengthMs;
  s.savedWindowMs = settings.savedWindowLengthMs;
  s.previousRate = static_cast<float>(s.values->sampleRate);
  s.newRateEntry = false;

  WriteInteger(dialog, IDC_SAMPLE_RATE, s.values->sampleRate);
  WriteInteger(dialog, IDC_BEGIN, s.values->beginMs);
  WriteInteger(dialog, IDC_END, s.values->endMs);
  WriteInteger(dialog, IDC_TIME_SCALE, static_cast<int32_t>(settings.timeScaleMs));
  for (int id : {IDC_SAMPLE_RATE, IDC_BEGIN, IDC_END, IDC_WINDOW_LENGTH, IDC_TIME_SCALE}) {
    SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, kEditTextLimit, 0);
  }
  CheckRadio(dialog, kResolutionGroup, s.resolution);
  if (s.values->decodedResolution) ShowDecodedResolution(dialog, s.values->decodedResolution);
  CheckRadio(dialog, kFftSizeGroup, s.fftSize);
  CheckRadio(dialog, kFrequencyModeGroup, s.frequencyMode);
  CheckRadio(dialog, kPaletteGroup, s.palette);
  SetScrollRange(GetDlgItem(dialog, IDC_ATTENUATION_BAR), SB_CTL, 0, kMaxAttenuation, FALSE);
  ShowAttenuation(dialog, s);
  if (s.frequencyMode == FrequencyMode::NB) {
    SetDlgItemTextA(dialog, IDC_WINDOW_LENGTH, "");
    Enable(dialog, IDC_WINDOW_LENGTH, false);
  } else {
    WriteInteger(dialog, IDC_WINDOW_LENGTH, static_cast<int32_t>(s.windowMs));
  }
}

void ChooseResolution(HWND dialog, DialogState& s, Resolution chosen) {
  if (chosen == s.resolution) return;
  for (int id : {IDC_BEGIN, IDC_END}) {
    WriteInteger(dialog, id, RescaleForResolution(ReadInteger(dialog, id), s.resolution, chosen));
  }
  s.resolution = chosen;
}

void BeginNewRate(HWND dialog, DialogState& s) {
  s.newRateEntry = true;
  for (int id : kControlsBesideTheRate) Enable(dialog, id, false);
  Enable(dialog, IDC_SAMPLE_RATE, true);
  HWND rate = GetDlgItem(dialog, IDC_SAMPLE_RATE);
  SetFocus(rate);
  SendMessageA(rate, EM_SETSEL, 0, -1);
}

// OK while a new rate is typed: the rate is taken, pulled into range, and begin and end
// follow it; the dialog stays open.
void EndNewRate(HWND dialog, DialogState& s) {
  const int32_t rate = ClampNewRate(ReadInteger(dialog, IDC_SAMPLE_RATE), s.values->fileRate);
  WriteInteger(dialog, IDC_SAMPLE_RATE, rate);
  const float newRate = static_cast<float>(rate);
  for (int id : {IDC_BEGIN, IDC_END}) {
    WriteInteger(dialog, id, RescaleForNewRate(ReadInteger(dialog, id), s.previousRate, newRate));
  }
  for (int id : kControlsBesideTheRate) Enable(dialog, id, true);
  if (s.values->decodedResolution) ShowDecodedResolution(dialog, s.values->decodedResolution);
  Enable(dialog, IDC_WINDOW_LENGTH, s.frequencyMode == FrequencyMode::BB);
  Enable(dialog, IDC_SAMPLE_RATE, false);
  s.previousRate = newRate;
  s.newRateEntry = false;
  if (s.frequencyMode == FrequencyMode::NB) s.windowMs = NbWindowLength(FftLengthOfChoice(s.fftSize), newRate);
  SetFocus(GetDlgItem(dialog, IDOK));
}

void Accept(HWND dialog, DialogState& s) {
  AnalysisSettings& settings = *s.settings;
  ParametersDialogValues& values = *s.values;
  values.sampleRate = ReadInteger(dialog, IDC_SAMPLE_RATE);
  values.beginMs = ReadInteger(dialog, IDC_BEGIN);
  values.endMs = ReadInteger(dialog, IDC_END);
  const int32_t enteredWindow = ReadInteger(dialog, IDC_WINDOW_LENGTH);
  settings.timeScaleMs = static_cast<float>(ReadInteger(dialog, IDC_TIME_SCALE));
  settings.displayType = DisplayType::Scroll;
  settings.resolution = s.resolution;
  values.fftSize = s.fftSize;
  settings.palette = s.palette;
  settings.frequencyMode = s.frequencyMode;
  settings.attenuation = s.attenuation;
  settings.windowLengthMs = WindowLengthAtOk(s.frequencyMode, enteredWindow, FftLengthOfChoice(s.fftSize),
                                             static_cast<float>(values.sampleRate), s.windowMs);
  DrainMessageQueue();
  // The image keeps palette indices, so the new scheme and attenuation recolour it here.
  DrawingObjects& drawing = Drawing();
  drawing.scheme = settings.palette;
  LoadPalette(s.owner, PaletteOffset(settings.attenuation));
  UpdateDisplayColourTable();
}

void Scroll(HWND dialog, DialogState& s, WPARAM wParam) {
  const BarValue v =
      ScrollBarValue(LOWORD(wParam), static_cast<int16_t>(HIWORD(wParam)), s.attenuation, kMaxAttenuation);
  if (!v.changed) return;
  s.attenuation = static_cast<int16_t>(v.value);
  ShowAttenuation(dialog, s);
}

void Command(HWND dialog, DialogState& s, int id) {
  switch (id) {
    case IDOK:
      if (s.newRateEntry) {
        EndNewRate(dialog, s);
        return;
      }
      Accept(dialog, s);
      EndDialog(dialog, 1);
      return;
    case IDCANCEL:
      EndDialog(dialog, 0);
      return;
    case IDC_NEW_RATE:
      BeginNewRate(dialog, s);
      return;
    case IDC_RES_8_BIT:
    case IDC_RES_16_BIT:
      ChooseResolution(dialog, s, ChoiceOfId(kResolutionGroup, id));
      return;
    case IDC_FFT_512:
    case IDC_FFT_1024:
    case IDC_FFT_2048:
      s.fftSize = ChoiceOfId(kFftSizeGroup, id);
      if (s.frequencyMode == FrequencyMode::NB) ShowFrequencyMode(dialog, s);
      return;
    case IDC_MODE_BB:
    case IDC_MODE_NB:
      s.frequencyMode = ChoiceOfId(kFrequencyModeGroup, id);
      ShowFrequencyMode(dialog, s);
      return;
    case IDC_PALETTE_CB:
    case IDC_PALETTE_CG:
    case IDC_PALETTE_BW:
    case IDC_PALETTE_WB:
      s.palette = ChoiceOfId(kPaletteGroup, id);
      return;
    default:
      return;
  }
}

INT_PTR CALLBACK ParametersProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogState* s = reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      Initialise(dialog, *reinterpret_cast<DialogState*>(lParam));
      return TRUE;
    case WM_HSCROLL:
      if (s && reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, IDC_ATTENUATION_BAR)) Scroll(dialog, *s, wParam);
      return TRUE;
    case WM_COMMAND:
      if (s && HIWORD(wParam) == BN_CLICKED) Command(dialog, *s, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

bool RunAnalysisParametersDialog(HWND owner, AnalysisSettings& settings, ParametersDialogValues& values) {
  DialogState state;
  state.owner = owner;
  state.settings = &settings;
  state.values = &values;
  const INT_PTR result = DialogBoxParamA(MainWindow().instance, MAKEINTRESOURCEA(IDD_ANALYSIS_PARAMETERS), owner,
                                         ParametersProc, reinterpret_cast<LPARAM>(&state));
  return result == 1;
}

}  // namespace hl
