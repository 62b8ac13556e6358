// The "Scope" display's labels and grid of crosses.
#include "windows/view/scope_axes_win32.h"

#include <vector>

#include "core/analysis/analysis_settings.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/view/palette_win32.h"
#include "core/layout/readout.h"
#include "core/dsp/column_renderer.h"

namespace hl {

const ScopePlacement& ShownScope() { return View().scope; }

void DrawScopeAxes(HDC dc, int xOrigin, int baselineY, uint32_t sampleRate, int charWidth, int charHeight) {
  ScopePlacement& p = View().scope;
  p.known = true;
  p.xOrigin = xOrigin;
  p.baselineY = baselineY;
  p.sampleRate = sampleRate;
  if (!dc) return;
  SetBkMode(dc, OPAQUE);
  SetTextColor(dc, PaletteColour(kIndexMarker));
  SetBkColor(dc, PaletteColour(kIndexFloor));
  const WindowFontIn font(dc);
  for (const ScopeLabel& label : ComputeScopeLabels(xOrigin, baselineY, sampleRate, charWidth, charHeight)) {
    TextOutA(dc, label.x, label.y, label.text.c_str(), static_cast<int>(label.text.size()));
  }
}

void DrawScopeGrid(HDC dc, int xOrigin, int baselineY, uint32_t sampleRate) {
  if (!dc || !Mode().gridOn || Settings().displayType != DisplayType::Scope) return;
  const DrawingObjects& o = Drawing();
  if (!o.markerDc) return;
  for (const ScopeGridPiece& piece : ComputeScopeGrid(xOrigin, baselineY, sampleRate)) {
    BitBlt(dc, piece.x, piece.y, piece.width, piece.height, o.markerDc, piece.sourceX, piece.sourceY, SRCCOPY);
  }
}

}  // namespace hl
