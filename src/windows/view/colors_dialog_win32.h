// The modeless "Modify Colors" dialog's state; its command is OnColorsChange.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/image/palette.h"

namespace hl {

struct ColorsDialogState {
  HWND dialog = nullptr;
  PaletteScheme openedScheme = PaletteScheme::CB;  // what Cancel puts back
  int16_t openedAttenuation = 0;
  PaletteScheme selectedScheme = PaletteScheme::CB;  // clicked, not yet tried
};
ColorsDialogState& ColorsDialog();

}  // namespace hl
