// The renderer on the window's side: draws the columns of the analysis into the display
// bitmap while the window stays responsive.
#pragma once

#include <windows.h>

#include "core/dsp/column_renderer.h"

#include <cstdint>

namespace hl {

// What a render draws: `columns` columns of the samples in `span`, each with `settings`.
struct RenderRequest {
  SampleSpan span;
  RenderSettings settings;
  int32_t columns = 0;
};

// Draws the request's columns into the display bitmap on a worker thread per core. The
// window's thread handles messages as they arrive, one per look and at least every 16 ms
// or so; every 16 ms or so it brings the screen to what the update of every fourth column
// would show, scrolling once the image is wider than the image area, with one copy,
// revealing the columns from the left as they are all drawn. A raised stop request ends the
// run after the passes the workers are drawing. Returns the columns drawn (fewer than asked
// after a stop), or -1 when the transform's memory could not be had (nothing drawn).
int RenderImage(HWND window, const RenderRequest& request);

// Stops the workers of a render under way and waits for them (each ends the pass it is
// drawing): called before the display bitmap or the sample buffer goes, so that no worker
// writes into freed pages. Nothing when no render runs.
void StopColumnWorkers();

// Where the last RenderImage spent its time (seconds), for the benchmark: the window thread
// drawing its own passes of columns and waiting for the workers', looking at and
// dispatching messages, and copying to the screen (scroll bar included);
// and, around it, the steps of "&Analyze File" after the parameters dialog: the span checked,
// the samples read, the display bitmap made and cleared, the data-loaded state set.
struct RenderTimings {
  double loop = 0, compute = 0, pump = 0, copy = 0;
  int32_t passes = 0, messages = 0;
  double confirm = 0, load = 0, prepare = 0, finish = 0;
  double dialogClosed = 0;  // SecondsNow() when the parameters dialog returned
  double loopEnded = 0;     // SecondsNow() when the last RenderImage stopped drawing
};
RenderTimings& LastRenderTimings();
// Seconds on the performance counter, from an arbitrary origin.
double SecondsNow();

class ColumnWorkers;

// The render's state: the timings of the last one, and the workers of the one under way
// (for StopColumnWorkers).
struct RenderState {
  RenderTimings lastTimings;
  ColumnWorkers* runningWorkers = nullptr;
};
RenderState& Render();

}  // namespace hl
