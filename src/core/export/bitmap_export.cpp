#include "core/export/bitmap_export.h"

#include <algorithm>
#include <cstring>

#include "core/image/bitmap_file.h"

namespace hl {

ExportPlan PlanBitmapExport(bool entire, const ExportView& view) {
  ExportPlan plan;
  if (entire) {
    plan.width = ExportWidth(view.columnCount);
    plan.height = view.bitmapHeight;
    plan.sourceX = 0;
    plan.sourceFrequencyY = kMarginRows;
  } else {
    plan.width = ExportWidth(view.imageWidth);
    plan.height = view.imageHeight;
    plan.sourceX = view.horizontalOffset;
    plan.sourceFrequencyY = view.verticalOffset + kMarginRows;
  }
  if (plan.width <= 0 || plan.height <= kMarginRows) plan = ExportPlan();
  return plan;
}

namespace {

// Copies `count` pixels of display row `y` from column x into `out`, index 3 where the
// display has no pixel.
void CopyRow(const PaletteImage& display, int y, int x, int count, uint8_t* out) {
  std::fill_n(out, count, kIndexFloor);
  if (y < 0 || y >= display.height) return;
  const int first = std::max(x, 0);
  const int last = std::min(x + count, display.width);
  if (last <= first) return;
  std::memcpy(out + (first - x), display.Row(y) + first, static_cast<size_t>(last - first));
}

}  // namespace

bool ComposeExport(const PaletteImage& display, const ExportPlan& plan, PaletteImage& picture) {
  if (plan.width <= 0 || plan.height <= kMarginRows) return false;
  if (!PrepareImage(picture, plan.width, plan.height)) return false;
  for (int y = 0; y < kMarginRows; ++y) CopyRow(display, y, plan.sourceX, plan.width, picture.Row(y));
  for (int y = kMarginRows; y < plan.height; ++y) {
    CopyRow(display, plan.sourceFrequencyY + (y - kMarginRows), plan.sourceX, plan.width, picture.Row(y));
  }
  std::fill_n(picture.Row(kSeparatorRow), plan.width, kIndexSeparator);
  std::fill_n(picture.Row(kEnvelopeCentreRow), plan.width, kIndexEnvelope);
  return true;
}

}  // namespace hl
