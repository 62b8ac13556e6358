// The picture "&Window Bitmap" and "&Entire Bitmap" save, composed from the display
// image of palette indices exactly as the window shows it: the frequency rows at the
// scroll offsets, the 44-row time-axis margin on top, and the two margin lines.
#pragma once

#include "core/image/palette_image.h"

namespace hl {

struct ExportPlan {
  int width = 0;   // a multiple of 4; 0 when there is nothing to save
  int height = 0;
  int sourceX = 0;          // first display column saved
  int sourceFrequencyY = 0;  // display row that lands on picture row 44
};

struct ExportView {
  int columnCount = 0;   // columns of the analysis
  int bitmapHeight = 0;  // N / 2 + 44
  int imageWidth = 0, imageHeight = 0;  // the window's image area
  int horizontalOffset = 0;  // first column shown
  int verticalOffset = 0;    // first frequency row shown below the margin
};

// Entire: every whole group of four columns from column 0, all N / 2 + 44 rows.
// Window: the image area cut down to a multiple of 4 columns, at the scroll offsets.
ExportPlan PlanBitmapExport(bool entire, const ExportView& view);

// Fills `picture` (plan.width x plan.height, allocated here) from `display`: picture rows
// 44.. from display rows plan.sourceFrequencyY.., rows 0..43 from the display's margin, all
// from column plan.sourceX; pixels the display does not have are index 3. Then the margin
// lines: row 43 in index 1 and row 21 in index 2 across the whole width. False when the
// plan is empty or the picture cannot be allocated.
bool ComposeExport(const PaletteImage& display, const ExportPlan& plan, PaletteImage& picture);

}  // namespace hl
