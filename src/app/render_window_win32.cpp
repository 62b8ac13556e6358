#include "app/render_window_win32.h"

#include "app/analysis_settings.h"
#include "app/analysis_win32.h"
#include "app/file_analysis.h"
#include "app/file_analysis_win32.h"
#include "app/main_window_win32.h"
#include "app/operating_mode_win32.h"
#include "display/palette_win32.h"
#include "display/view_win32.h"
#include "dsp/column_renderer.h"

namespace hl {

namespace {

// Columns drawn in one go between two looks at the clock: a few dozen columns are well under
// a millisecond of work.
constexpr int kColumnsPerPass = 32;
// The message queue is looked at, and the drawn columns copied to the screen, at most this
// often. Both cost a trip to the window system (under Wine far more than the columns
// themselves); a display frame's time keeps the image growing smoothly and Stop prompt.
constexpr double kPumpSeconds = 0.016;
constexpr double kCopySeconds = 0.016;
// The horizontal scroll bar follows the render; redrawing it is slow on some systems, so its
// picture is renewed at most this often (its position is always set).
constexpr DWORD kScrollBarRedrawMs = 50;

RenderTimings lastTimings;

// Seconds on the performance counter.
class Stopwatch {
 public:
  Stopwatch() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }
  // Seconds since the start or the previous lap, without starting a new lap.
  double Elapsed() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency_.QuadPart);
  }
  // Seconds since the start or the previous lap.
  double Lap() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const double seconds = static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency_.QuadPart);
    start_ = now;
    return seconds;
  }

 private:
  LARGE_INTEGER frequency_{}, start_{};
};

// Copies bitmap columns to the image area in its two parts: the frequency rows at the
// vertical scroll offset below the margin, then the 44-row margin itself.
void CopyColumns(HDC screen, const ScreenUpdate& u, int imageHeight) {
  const DisplayBitmap& display = Display();
  const int frequencyRows = imageHeight - kEnvelopeRows;
  if (frequencyRows > 0) {
    BitBlt(screen, u.destX, kEnvelopeRows, u.width, frequencyRows, display.dc, u.sourceX,
           View().verticalOffset + kEnvelopeRows, SRCCOPY);
  }
  BitBlt(screen, u.destX, 0, u.width, kEnvelopeRows, display.dc, u.sourceX, 0, SRCCOPY);
}

// The loop's state between its passes.
struct RenderRun {
  HDC screen = nullptr;
  HWND scrollBar = nullptr;
  DWORD scrollBarDrawn = 0;
  bool scrollBarBehind = false;  // its position was set without its picture being renewed
  const uint8_t* bits = nullptr;  // the bitmap drawn into; another one there ends the run
  int32_t firstNotCopied = 0;
  int32_t last = 0;  // the last column drawn
  RenderTimings timings;
  Stopwatch passClock, sincePump, sinceCopy;
};

enum class PumpOutcome { Idle, Handled, Quit };

// Looks at one message and handles it. Quit when the program is quitting (the WM_QUIT put
// back for the message loop outside, and the stop request set).
PumpOutcome PumpOneMessage(RenderRun& run) {
  MSG message;
  ++run.timings.passes;
  run.passClock.Lap();
  const BOOL waiting = PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);
  run.timings.pump += run.passClock.Lap();
  if (!waiting) return PumpOutcome::Idle;
  ++run.timings.messages;
  if (message.message == WM_QUIT) {
    PostQuitMessage(static_cast<int>(message.wParam));
    Mode().stopRequest = 1;
    return PumpOutcome::Quit;
  }
  if (!IsModelessDialogMessage(&message)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  run.timings.pump += run.passClock.Lap();
  return PumpOutcome::Handled;
}

// The columns drawn since the last copy, copied as one, the view following the render. The
// scroll bar's picture is renewed when `redrawDue` allows and its time has come. False when
// there was nothing to copy.
bool CopyDrawnColumns(RenderRun& run, bool redrawDue) {
  const ScreenUpdate update = ScreenUpdateForColumns(run.firstNotCopied, run.last, ImageAreaWidth());
  run.firstNotCopied = run.last + 1;
  if (!update.copy) return false;
  CopyColumns(run.screen, update, ImageAreaHeight());
  if (!update.scroll) return true;
  View().horizontalOffset = update.scrollPosition;
  if (!redrawDue) {
    run.scrollBarBehind = true;
    return true;
  }
  const DWORD now = GetTickCount();
  const bool redraw = now - run.scrollBarDrawn >= kScrollBarRedrawMs;
  SetScrollPos(run.scrollBar, SB_CTL, update.scrollPosition, redraw ? TRUE : FALSE);
  if (redraw) run.scrollBarDrawn = now;
  run.scrollBarBehind = !redraw;
  return true;
}

// Draws the planned columns a pass at a time, looking at the message queue and copying to
// the screen between passes, until they are all drawn or the stop request is set.
void RenderColumns(ColumnRenderer& renderer, RenderRun& run, int32_t planned) {
  PaletteImage image = Display().Image();
  int32_t column = 0;
  bool pumpDue = true;
  while (planned > 0) {
    if (Mode().stopRequest) break;
    if (pumpDue || run.sincePump.Elapsed() >= kPumpSeconds) {
      // One message per look; while messages wait, no columns are drawn.
      const PumpOutcome outcome = PumpOneMessage(run);
      if (outcome == PumpOutcome::Quit) break;
      if (outcome == PumpOutcome::Handled) {
        // Only the stop request may end a run from inside a message; should the bitmap have
        // gone all the same, nothing more is drawn into it.
        if (Display().bits != run.bits) break;
        pumpDue = true;
        continue;
      }
      pumpDue = false;
      run.sincePump.Lap();
    }
    run.passClock.Lap();
    const int first = column;
    const int count = planned - first < kColumnsPerPass ? planned - first : kColumnsPerPass;
    renderer.DrawColumns(first, count, image);
    run.timings.compute += run.passClock.Lap();
    run.last = first + count - 1;
    column = run.last + 1;
    View().renderColumn = run.last;
    if (column < planned && run.sinceCopy.Elapsed() < kCopySeconds) continue;
    run.sinceCopy.Lap();
    if (CopyDrawnColumns(run, true)) run.timings.copy += run.passClock.Lap();
    if (column >= planned) break;
  }
}

}  // namespace

RenderTimings& LastRenderTimings() { return lastTimings; }

double SecondsNow() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int RenderImage(HWND window, const uint8_t* firstSample) {
  AnalysisState& analysis = Analysis();
  const AnalysisSettings& settings = Settings();

  const SampleSpan span{firstSample, analysis.byteCount, analysis.format.bitsPerSample == 8 ? 1 : 2,
                        analysis.format.channels};
  const RenderSettings renderSettings{settings.fftOrder, static_cast<int32_t>(analysis.format.sampleRate),
                                      settings.windowLengthMs, analysis.step};
  ColumnRenderer renderer;
  if (renderer.Begin(span, renderSettings) != 0) return -1;

  Stopwatch loopClock;
  RenderRun run;
  run.screen = GetDC(window);
  SelectPalette(run.screen, Drawing().palette, FALSE);
  RealizePalette(run.screen);
  // Nothing GDI drew into the bitmap may still be pending when its bits are written.
  GdiFlush();
  run.scrollBar = MainWindow().horizontalScrollBar;
  run.scrollBarDrawn = GetTickCount();
  run.bits = Display().bits;
  const int32_t planned = analysis.columnCount;
  RenderColumns(renderer, run, planned);

  // A stop leaves the columns drawn since the last copy on the screen too.
  if (run.firstNotCopied <= run.last && Display().bits == run.bits) CopyDrawnColumns(run, false);
  renderer.End();
  if (run.scrollBarBehind && IsWindow(run.scrollBar)) SetScrollPos(run.scrollBar, SB_CTL, View().horizontalOffset, TRUE);
  ReleaseDC(window, run.screen);
  run.timings.loop = loopClock.Lap();
  const RenderTimings& t = run.timings;
  lastTimings.loop = t.loop, lastTimings.compute = t.compute, lastTimings.pump = t.pump, lastTimings.copy = t.copy;
  lastTimings.passes = t.passes, lastTimings.messages = t.messages;
  lastTimings.loopEnded = SecondsNow();

  analysis.dataLength = ScaledDataLength(analysis.dataLength, planned, run.last + 1);
  analysis.columnCount = run.last + 1;
  return 0;
}

}  // namespace hl
