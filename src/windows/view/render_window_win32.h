// The renderer on the window's side: draws the columns of the analysis into the display
// bitmap while the window stays responsive.
#pragma once

#include <windows.h>

#include <cstdint>

namespace hl {

// Draws Analysis().columnCount columns of the samples at `firstSample` (Analysis().byteCount
// bytes, Analysis().format, Analysis().step) into the display bitmap with the window length
// and FFT order of Settings(), on a worker thread per core. The window's thread handles
// messages as they arrive, one per look and at least every 16 ms or so; every 16 ms or so
// it brings the screen to what the update of every fourth column would show, scrolling
// once the image is wider than the image area, with one copy, revealing the columns from
// the left as they are all drawn. A raised stop request ends the run after the passes the
// workers are drawing. On return the column count holds the columns drawn and the data
// length is scaled to them. Returns 0, or -1 when the transform's memory could not be had
// (nothing drawn).
int RenderImage(HWND window, const uint8_t* firstSample);

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
