// Colors > "&Change": the modeless "Modify Colors" dialog. The scheme and the attenuation
// only rewrite the palette (and with it the image's colour table), so "Try It" recolours
// the image at once and Cancel can put back exactly what was shown when the dialog opened.
#include <cstdint>

#include "core/analysis/analysis_settings.h"
#include "windows/view/colors_dialog_win32.h"
#include "windows/view/view_commands_win32.h"
#include "windows/base/dialog_choices_win32.h"
#include "windows/base/dialog_place_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/image/palette.h"
#include "windows/view/palette_win32.h"
#include "core/layout/window_layout.h"
#include "resources/resource.h"

namespace hl {

namespace {



int16_t ClampAttenuation(int value) {
  if (value < 0) return 0;
  if (value > kMaxAttenuation) return kMaxAttenuation;
  return static_cast<int16_t>(value);
}

void ShowAttenuation(HWND dialog, int16_t attenuation) {
  SetScrollPos(GetDlgItem(dialog, IDC_ATTENUATION_BAR), SB_CTL, attenuation, TRUE);
  SetDlgItemInt(dialog, IDC_ATTENUATION, static_cast<UINT>(attenuation), FALSE);
}

// Makes `scheme` and `attenuation` current and recolours the image with them.
void Apply(PaletteScheme scheme, int16_t attenuation) {
  AnalysisSettings& settings = Settings();
  settings.palette = scheme;
  settings.attenuation = attenuation;
  Drawing().scheme = scheme;
  LoadPalette(MainWindow().window, PaletteOffset(attenuation));
}

void Open(HWND dialog) {
  ColorsDialogState& s = ColorsDialog();
  const AnalysisSettings& settings = Settings();
  PlaceDialogOnScreen(dialog, SWP_NOACTIVATE);
  s.openedScheme = Drawing().scheme;
  s.openedAttenuation = ClampAttenuation(settings.attenuation);
  s.selectedScheme = s.openedScheme;
  SetScrollRange(GetDlgItem(dialog, IDC_ATTENUATION_BAR), SB_CTL, 0, kMaxAttenuation, FALSE);
  ShowAttenuation(dialog, s.openedAttenuation);
  CheckRadio(dialog, kPaletteGroup, s.selectedScheme);
}

// The attenuation moves by 1 dB a line or a page, is stored at once, and waits for
// "Try It" or OK to be seen.
void Scroll(HWND dialog, WPARAM wParam) {
  const BarValue v = ScrollBarValue(LOWORD(wParam), static_cast<int16_t>(HIWORD(wParam)), Settings().attenuation,
                                    kMaxAttenuation);
  if (!v.changed) return;
  const int16_t attenuation = static_cast<int16_t>(v.value);
  Settings().attenuation = attenuation;
  ShowAttenuation(dialog, attenuation);
}

void Close(HWND dialog) { DestroyWindow(dialog); }

void Command(HWND dialog, int id) {
  ColorsDialogState& s = ColorsDialog();
  switch (id) {
    case IDC_PALETTE_CB:
    case IDC_PALETTE_CG:
    case IDC_PALETTE_BW:
    case IDC_PALETTE_WB:
      s.selectedScheme = ChoiceOfId(kPaletteGroup, id);
      CheckRadioButton(dialog, IDC_PALETTE_CB, IDC_PALETTE_WB, id);
      break;
    case IDC_TRY_IT:
      Apply(s.selectedScheme, Settings().attenuation);
      break;
    case IDC_OK:
      Apply(s.selectedScheme, Settings().attenuation);
      Close(dialog);
      break;
    case IDC_CANCEL:
    case IDCANCEL:
      Apply(s.openedScheme, s.openedAttenuation);
      Close(dialog);
      break;
    default:
      break;
  }
}

INT_PTR CALLBACK ColorsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      Open(dialog);
      return TRUE;
    case WM_HSCROLL:
      if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, IDC_ATTENUATION_BAR)) Scroll(dialog, wParam);
      return TRUE;
    case WM_COMMAND:
      Command(dialog, LOWORD(wParam));
      return TRUE;
    case WM_DESTROY:
      RemoveModelessDialog(dialog);
      ColorsDialog().dialog = nullptr;
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void OnColorsChange(HWND window, LPARAM) {
  ColorsDialogState& s = ColorsDialog();
  if (s.dialog) {
    // One at a time: a second request brings the open one forward.
    SetActiveWindow(s.dialog);
    return;
  }
  HWND dialog = CreateDialogParamA(MainWindow().instance, MAKEINTRESOURCEA(IDD_MODIFY_COLORS), window,
                                   ColorsDialogProc, 0);
  if (!dialog) return;
  s.dialog = dialog;
  AddModelessDialog(dialog);
}

}  // namespace hl
