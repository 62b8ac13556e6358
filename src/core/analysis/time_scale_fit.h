// The time scale that makes a span's image a chosen number of columns wide.
#pragma once

#include "core/analysis/column_geometry.h"

namespace hl {

// The time scale (ms per column, within 1..500) whose column step gives the widest entire
// export (columns cut down to a multiple of 4) of at most `width` columns for `req`; its
// timeScaleMs is ignored. Steps move by whole frames, so the width is the nearest the
// geometry allows. A span too short for `width` columns even at 1 ms gets 1 ms, one too long
// for them at 500 ms gets 500 ms. Returns 0 when `req` cannot be planned at all.
float TimeScaleForWidth(const SpanRequest& req, int width);

}  // namespace hl
