// The status block under the image: the cursor readouts and the mouse gestures on the image
// (left-drag selection, right-drag measurement, the click handed to an open data-log dialog).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/layout/window_layout.h"

namespace hl {

// The values the readout last showed, in the units the status block shows them.
struct ReadoutValues {
  unsigned timeMs = 0;       // the time row's value, msec
  unsigned frequencyHz = 0;  // the frequency row's value, Hz
  int column = 0;            // the cursor's column of the display bitmap (x + horizontal offset)
};
const ReadoutValues& CurrentReadout();

// WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN and WM_RBUTTONUP.
// What a mouse gesture asks of the rooms above the view: a click to measure for the open
// data log, or a span selected (its ms are in the analysis's selection) for "&Change".
enum class Gesture { None, LogClick, SpanSelected };

// `logOpen`: a data log dialog is open, so that a left click measures for it.
Gesture OnMouseMessage(HWND window, UINT message, LPARAM lParam, bool logOpen);

// What the status block's title names. The scans and the recording set theirs when they start,
// with the sample rate they run at (0: the analysed data's rate); the title says
// "Audio Analysis " whenever an analysed image is shown and no input or file scan runs.
enum class ReadoutActivity { None, Analysis, FileScan, Recording, LiveScan };
void SetReadoutActivity(ReadoutActivity activity, uint32_t sampleRate = 0);


// The scans' and playback's clock: shows `elapsedMs` (rounded to whole seconds) in the
// "Time Now (sec) : " row while input, a file scan or playback runs in the "Scroll" display.
// Call it once per column; it rewrites the row only when the second changed.
void DrawReadoutElapsed(HWND window, float elapsedMs);

// One field of the status block: where the window draws it and the text it drew there last.
// The box is in client coordinates, cut where the information panel begins (empty when the
// panel covers the field). Window thread only.
enum class StatusField { Title, TimeLabel, TimeValue, FrequencyLabel, FrequencyValue };
struct ShownField {
  RECT box;
  std::string text;
};
ShownField ShownStatusField(StatusField field);

// The widest texts of the status block and the information panel in the font selected into
// `dc`, for the layout that places them beside each other.
TextWidths MeasureTextsUnderImage(HDC dc);

// Erases `box` to the button face and writes `text` from its top left corner in the window's
// font, clipped to the box: how every field of the status block is drawn.
void DrawStatusField(HDC dc, const RECT& box, const std::string& text);

// Draws the whole status block again into `dc` (painting has just filled the panel under it).
void RepaintReadout(HDC dc);

// The end of a playback, recording or scan: the clock row goes, and the status block shows
// what it shows with the pointer off the image ("Time (msec) :" and blank values, or the
// level row in "Scope"), until the pointer moves over the image again.
void ClearReadout(HWND window);

// Blanks the cursor readout when the mouse leaves the client area.
void BlankReadoutOutsideImage(HWND window);

// The cursor readout's state.
// The five texts of the status block, in the order they are kept and drawn.
enum Field { kTitle, kTimeLabelField, kTimeValueField, kFrequencyLabelField, kFrequencyValueField, kFieldCount };

struct ReadoutState {
  int x = 0, y = 0;            // cursor, client pixels
  int imageX = 0, imageY = 0;  // cursor in display-bitmap coordinates
  bool inImage = false;
  bool leftDrag = false;
  int dragStartX = 0, lastX = 0;
  bool rightDrag = false;
  int anchorX = 0, anchorY = 0, anchorImageX = 0, anchorImageY = 0;
  RECT lastRect{};
  bool rectShown = false;
  ReadoutActivity activity = ReadoutActivity::None;
  uint32_t activityRate = 0;
  float elapsedMs = 0;
  std::string shown[kFieldCount];
  ReadoutValues values;
};
ReadoutState& Readout();

}  // namespace hl
