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

}  // namespace

const RenderTimings& LastRenderTimings() { return lastTimings; }

int RenderImage(HWND window, const uint8_t* firstSample) {
  AnalysisState& analysis = Analysis();
  const AnalysisSettings& settings = Settings();
  OperatingMode& mode = Mode();

  const SampleSpan span{firstSample, analysis.byteCount, analysis.format.bitsPerSample == 8 ? 1 : 2,
                        analysis.format.channels};
  const RenderSettings renderSettings{settings.fftOrder, static_cast<int32_t>(analysis.format.sampleRate),
                                      settings.windowLengthMs, analysis.step};
  ColumnRenderer renderer;
  if (renderer.Begin(span, renderSettings) != 0) return -1;

  HDC screen = GetDC(window);
  SelectPalette(screen, Drawing().palette, FALSE);
  RealizePalette(screen);
  // Nothing GDI drew into the bitmap may still be pending when its bits are written.
  GdiFlush();

  HWND scrollBar = MainWindow().horizontalScrollBar;
  DWORD scrollBarDrawn = GetTickCount();
  bool scrollBarBehind = false;
  PaletteImage image = Display().Image();
  const uint8_t* const bits = Display().bits;
  const int32_t planned = analysis.columnCount;
  int32_t column = 0, last = 0;
  int32_t firstNotCopied = 0;
  RenderTimings timings;
  Stopwatch loopClock, passClock, sincePump, sinceCopy;
  bool pumpDue = true;
  while (planned > 0) {
    if (mode.stopRequest) break;
    if (pumpDue || sincePump.Elapsed() >= kPumpSeconds) {
      // One message per look; while messages wait, no columns are drawn.
      MSG message;
      ++timings.passes;
      passClock.Lap();
      const BOOL waiting = PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
      timings.pump += passClock.Lap();
      if (waiting) {
        ++timings.messages;
        if (message.message == WM_QUIT) {
          // The message loop outside must still see it.
          PostQuitMessage(static_cast<int>(message.wParam));
          mode.stopRequest = 1;
          break;
        }
        if (!IsModelessDialogMessage(&message)) {
          TranslateMessage(&message);
          DispatchMessageA(&message);
        }
        timings.pump += passClock.Lap();
        // Only the stop request may end a run from inside a message; should the bitmap have
        // gone all the same, nothing more is drawn into it.
        if (Display().bits != bits) break;
        pumpDue = true;
        continue;
      }
      pumpDue = false;
      sincePump.Lap();
    }
    passClock.Lap();
    const int first = column;
    const int count = planned - first < kColumnsPerPass ? planned - first : kColumnsPerPass;
    renderer.DrawColumns(first, count, image);
    timings.compute += passClock.Lap();
    last = first + count - 1;
    column = last + 1;
    View().renderColumn = last;
    if (column < planned && sinceCopy.Elapsed() < kCopySeconds) continue;
    // The updates of every column drawn since the last copy, as one copy.
    const ScreenUpdate update = ScreenUpdateForColumns(firstNotCopied, last, ImageAreaWidth());
    firstNotCopied = column;
    sinceCopy.Lap();
    if (update.copy) {
      CopyColumns(screen, update, ImageAreaHeight());
      if (update.scroll) {
        View().horizontalOffset = update.scrollPosition;
        const DWORD now = GetTickCount();
        const bool redraw = now - scrollBarDrawn >= kScrollBarRedrawMs;
        SetScrollPos(scrollBar, SB_CTL, update.scrollPosition, redraw ? TRUE : FALSE);
        if (redraw) scrollBarDrawn = now;
        scrollBarBehind = !redraw;
      }
      timings.copy += passClock.Lap();
    }
    if (column >= planned) break;
  }
  // A stop leaves the columns drawn since the last copy on the screen too.
  if (firstNotCopied <= last && Display().bits == bits) {
    const ScreenUpdate update = ScreenUpdateForColumns(firstNotCopied, last, ImageAreaWidth());
    if (update.copy) {
      CopyColumns(screen, update, ImageAreaHeight());
      if (update.scroll) {
        View().horizontalOffset = update.scrollPosition;
        scrollBarBehind = true;
      }
    }
  }
  renderer.End();
  if (scrollBarBehind && IsWindow(scrollBar)) SetScrollPos(scrollBar, SB_CTL, View().horizontalOffset, TRUE);
  ReleaseDC(window, screen);
  timings.loop = loopClock.Lap();
  lastTimings = timings;

  analysis.dataLength = ScaledDataLength(analysis.dataLength, planned, last + 1);
  analysis.columnCount = last + 1;
  return 0;
}

}  // namespace hl
