#include "core/analysis/file_analysis.h"

#include "core/analysis/analysis_settings.h"

namespace hl {

ColumnGeometry PlanReanalysis(const SpanRequest& req, uint32_t fileRate) {
  // The span is measured the same way whatever the time scale and window are, so a plan
  // with values that pass their checks tells whether begin and end alone are acceptable.
  SpanRequest spanOnly = req;
  spanOnly.timeScaleMs = 12.0f;
  spanOnly.windowMs = 8.0f;
  ColumnGeometry span = PlanColumns(spanOnly);
  if (span.refusal == Message::ImproperBeginOrEnd || span.refusal == Message::ImproperEntry) {
    span.step = 0;
    span.columnCount = 0;
    return span;
  }
  const Message rate = CheckFileRate(static_cast<double>(req.sampleRate), fileRate);
  if (rate != Message::None) {
    span.refusal = rate;
    span.step = 0;
    span.columnCount = 0;
    return span;
  }
  // Time scale, window, size, then the columns: PlanColumns' own order from here on.
  return PlanColumns(req);
}

bool SpanExceedsBudget(uint32_t byteCount, uint64_t budget) { return byteCount > budget; }

int DisplayBitmapWidth(int32_t columnCount, int screenWidth) {
  return columnCount > screenWidth ? columnCount : screenWidth;
}

bool ImageExceedsBudget(int bitmapHeight, int bitmapWidth, uint32_t byteCount, uint64_t budget) {
  const uint64_t pixels = static_cast<uint64_t>(bitmapHeight > 0 ? bitmapHeight : 0) *
                          static_cast<uint64_t>(bitmapWidth > 0 ? bitmapWidth : 0);
  return pixels + byteCount > budget;
}

int PreferredWindowHeight(int defaultHeight, int currentHeight, int fftOrder) {
  int height = defaultHeight + (1 << fftOrder) / 2 - 256;
  if (height > currentHeight) height = currentHeight;
  if (height < defaultHeight) height = defaultHeight;
  return height;
}

int CentredTop(int screenHeight, int height) { return (screenHeight - height) / 2; }

ScreenUpdate ScreenUpdateAt(int x, int imageWidth) {
  ScreenUpdate u;
  if (x <= 0 || x % 4 != 0 || imageWidth <= 0) return u;
  u.copy = true;
  if (x <= imageWidth) {
    u.sourceX = x - 4;
    u.destX = x - 4;
    u.width = 4;
  } else {
    u.sourceX = x - imageWidth;
    u.destX = 0;
    u.width = imageWidth;
    u.scroll = true;
    u.scrollPosition = x - imageWidth;
  }
  return u;
}

ScreenUpdate ScreenUpdateForColumns(int firstX, int lastX, int imageWidth) {
  if (imageWidth <= 0 || lastX < firstX) return ScreenUpdate();
  // The last column of the run at which an update is due, and the first.
  int last = lastX - lastX % 4;
  int first = firstX + (4 - firstX % 4) % 4;
  if (first <= 0) first = 4;
  if (last < first) return ScreenUpdate();
  ScreenUpdate u = ScreenUpdateAt(last, imageWidth);
  // A scrolled update copies the whole image area, covering every update before it; copies
  // in place cover their own four columns each, so together they are one wider copy.
  if (!u.scroll) {
    u.sourceX = first - 4;
    u.destX = first - 4;
    u.width = last - first + 4;
  }
  return u;
}

uint32_t ScaledDataLength(uint32_t dataLength, int32_t plannedColumns, int32_t drawnColumns) {
  if (plannedColumns <= 0 || drawnColumns == plannedColumns) return dataLength;
  const long double perColumn = static_cast<long double>(dataLength) / static_cast<long double>(plannedColumns);
  const long double scaled = perColumn * static_cast<long double>(drawnColumns);
  if (!(scaled > 0.0L)) return 0;
  if (scaled >= 4294967295.0L) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(scaled);
}

}  // namespace hl
