#include "windows/view/render_window_win32.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "core/analysis/file_analysis.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/view/palette_win32.h"
#include "core/dsp/column_renderer.h"

namespace hl {

namespace {

// Columns a worker draws in one go: a few dozen columns are well under a millisecond of
// work, so a stop waits no longer than that for the workers.
constexpr int kColumnsPerPass = 32;
// The message queue is looked at, and the drawn columns copied to the screen, at most this
// often while nothing arrives. Both cost a trip to the window system (under Wine far more
// than the columns themselves); a display frame's time keeps the image growing smoothly.
constexpr double kPumpSeconds = 0.016;
constexpr double kCopySeconds = 0.016;
// The horizontal scroll bar follows the render; redrawing it is slow on some systems, so its
// picture is renewed at most this often (its position is always set).
constexpr DWORD kScrollBarRedrawMs = 50;

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

}  // namespace

// The columns drawn on every core: a worker thread for each core but one, and the window's
// thread between its looks at the message queue and its copies to the screen. Under Wine
// every message and copy is also work for the window system's own processes, so a worker
// on each core would slow them more than it adds. All take passes of columns in column
// order; the workers write palette indices into the display bitmap's bits only, and every
// GDI object stays the window thread's. The columns shown are the ones from the first on
// that are all drawn, so the image is revealed from left to right as when one thread drew
// it.
class ColumnWorkers {
 public:
  ColumnWorkers() = default;
  ~ColumnWorkers() { StopAndJoin(); }
  ColumnWorkers(const ColumnWorkers&) = delete;
  ColumnWorkers& operator=(const ColumnWorkers&) = delete;

  // Begins a renderer per core and starts a worker thread for each but the first (the
  // calling thread's), as far as threads can be had. False when not even one renderer
  // could be begun (its memory).
  bool Start(const SampleSpan& span, const RenderSettings& settings, PaletteImage image, int32_t planned) {
    image_ = std::move(image);
    planned_ = planned;
    passCount_ = (planned + kColumnsPerPass - 1) / kColumnsPerPass;
    done_.reset(new (std::nothrow) std::atomic<uint8_t>[static_cast<size_t>(std::max(passCount_, 1))]());
    allDrawn_.Reset(CreateEventW(nullptr, TRUE, passCount_ == 0, nullptr));
    if (!done_ || !allDrawn_.valid()) return false;
    const int cores = std::max(1, std::min(64, static_cast<int>(std::thread::hardware_concurrency())));
    try {
      renderers_.reserve(static_cast<size_t>(cores));
      threads_.reserve(static_cast<size_t>(cores));
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (int i = 0; i < cores; ++i) {
      std::unique_ptr<ColumnRenderer> renderer(new (std::nothrow) ColumnRenderer);
      if (!renderer || renderer->Begin(span, settings) != 0) break;
      renderers_.push_back(std::move(renderer));
    }
    if (renderers_.empty()) return false;
    for (size_t i = 1; i < renderers_.size(); ++i) {
      ColumnRenderer* mine = renderers_[i].get();
      try {
        threads_.emplace_back([this, mine] {
          while (!stop_.load() && DrawNextPass(*mine)) {
          }
        });
      } catch (const std::system_error&) {
        break;  // the threads started share the work
      }
    }
    return true;
  }

  // Draws the next pass on the calling thread; false when none is left.
  bool DrawPassHere() { return DrawNextPass(*renderers_.front()); }

  // Waits until every column is drawn, input arrives for the window's thread or `ms` pass.
  // True when input is waiting.
  bool Wait(DWORD ms) {
    HANDLE event = allDrawn_.get();
    return MsgWaitForMultipleObjectsEx(1, &event, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0 + 1;
  }

  // The columns from the first on that are all drawn.
  int32_t DrawnColumns() {
    while (shownPasses_ < passCount_ && done_[static_cast<size_t>(shownPasses_)].load(std::memory_order_acquire)) {
      ++shownPasses_;
    }
    return std::min(planned_, shownPasses_ * kColumnsPerPass);
  }

  bool Stopped() const { return stop_.load(); }

  // The workers told to stop and waited for (each finishes the pass it is drawing); the
  // columns they drew beyond the first gap are cleared again, so that the image ends where
  // the columns shown end. Nothing after the first call.
  void StopAndJoin() {
    stop_ = true;
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    if (!renderers_.empty()) {
      const int32_t shown = DrawnColumns();
      const int32_t taken = std::min(planned_, std::min(next_.load(), passCount_) * kColumnsPerPass);
      if (taken > shown) ClearColumns(image_, shown, taken - shown);
      for (auto& renderer : renderers_) renderer->End();
      renderers_.clear();
    }
    allDrawn_.Close();
  }

 private:
  bool DrawNextPass(ColumnRenderer& renderer) {
    const int pass = next_.fetch_add(1);
    if (pass >= passCount_) return false;
    const int first = pass * kColumnsPerPass;
    renderer.DrawColumns(first, std::min(kColumnsPerPass, planned_ - first), image_);
    done_[static_cast<size_t>(pass)].store(1, std::memory_order_release);
    if (drawnPasses_.fetch_add(1) + 1 == passCount_) SetEvent(allDrawn_.get());
    return true;
  }

  PaletteImage image_;
  int32_t planned_ = 0;
  int passCount_ = 0;
  std::unique_ptr<std::atomic<uint8_t>[]> done_;
  std::atomic<int> next_{0}, drawnPasses_{0};
  std::atomic<bool> stop_{false};
  FileHandle allDrawn_;  // an event: the same owner closes it once
  int shownPasses_ = 0;  // the window thread's own
  std::vector<std::unique_ptr<ColumnRenderer>> renderers_;
  std::vector<std::thread> threads_;
};

namespace {

// Copies bitmap columns to the image area in its two parts: the frequency rows at the
// vertical scroll offset below the margin, then the 44-row margin itself.
void CopyColumns(HDC screen, const ScreenUpdate& u, int imageHeight) {
  const DisplayBitmap& display = Display();
  const int frequencyRows = imageHeight - kMarginRows;
  if (frequencyRows > 0) {
    BitBlt(screen, u.destX, kMarginRows, u.width, frequencyRows, display.dc, u.sourceX,
           View().verticalOffset + kMarginRows, SRCCOPY);
  }
  BitBlt(screen, u.destX, 0, u.width, kMarginRows, display.dc, u.sourceX, 0, SRCCOPY);
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

// Draws passes of columns beside the workers, looking at the message queue and copying the
// columns drawn to the screen between passes, until they are all drawn or the stop request
// is set. While messages wait they are handled one per look and no pass is drawn here;
// otherwise the queue is looked at, and the screen brought up to date, every 16 ms.
void RenderColumns(ColumnWorkers& workers, RenderRun& run, int32_t planned) {
  bool pumpDue = true;
  while (planned > 0) {
    if (Mode().stopRequest || workers.Stopped()) break;
    if (pumpDue || run.sincePump.Elapsed() >= kPumpSeconds) {
      const PumpOutcome outcome = PumpOneMessage(run);
      if (outcome == PumpOutcome::Quit) break;
      // Only the stop request may end a run from inside a message; should the bitmap have
      // gone all the same (its workers were stopped first), nothing more is drawn into it.
      if (outcome == PumpOutcome::Handled && Display().bits != run.bits) break;
      pumpDue = outcome == PumpOutcome::Handled;
      if (!pumpDue) run.sincePump.Lap();
    }
    run.passClock.Lap();
    // With no pass left it waits for the workers' last ones.
    if (!pumpDue && !workers.DrawPassHere()) {
      const double due = std::min(kPumpSeconds - run.sincePump.Elapsed(), kCopySeconds - run.sinceCopy.Elapsed());
      pumpDue = workers.Wait(due > 0 ? static_cast<DWORD>(due * 1000.0) + 1 : 0);
    }
    run.timings.compute += run.passClock.Lap();
    const int32_t drawn = workers.DrawnColumns();
    if (drawn > run.last + 1) {
      run.last = drawn - 1;
      View().renderColumn = run.last;
    }
    if (drawn < planned && run.sinceCopy.Elapsed() < kCopySeconds) continue;
    run.sinceCopy.Lap();
    if (CopyDrawnColumns(run, true)) run.timings.copy += run.passClock.Lap();
    if (drawn >= planned) break;
  }
}

}  // namespace

RenderTimings& LastRenderTimings() { return Render().lastTimings; }

void StopColumnWorkers() {
  if (Render().runningWorkers) Render().runningWorkers->StopAndJoin();
}

double SecondsNow() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int RenderImage(HWND window, const RenderRequest& request) {
  Stopwatch loopClock;
  RenderRun run;
  WindowDc screen(window);
  run.screen = screen.get();
  SelectPalette(run.screen, Drawing().palette, FALSE);
  RealizePalette(run.screen);
  // Nothing GDI drew into the bitmap may still be pending when its bits are written.
  GdiFlush();
  run.scrollBar = MainWindow().horizontalScrollBar;
  run.scrollBarDrawn = GetTickCount();
  run.bits = Display().bits;
  const int32_t planned = request.columns;
  ColumnWorkers workers;
  if (!workers.Start(request.span, request.settings, Display().Image(), planned)) {
    return -1;
  }
  Render().runningWorkers = &workers;
  RenderColumns(workers, run, planned);
  Render().runningWorkers = nullptr;
  const bool bitmapKept = Display().bits == run.bits;
  if (bitmapKept) {
    workers.StopAndJoin();
    // The passes that ended while the workers stopped are kept.
    const int32_t drawn = workers.DrawnColumns();
    if (drawn > run.last + 1) run.last = drawn - 1;
    View().renderColumn = run.last;
  }

  // A stop leaves the columns drawn since the last copy on the screen too.
  if (run.firstNotCopied <= run.last && bitmapKept) CopyDrawnColumns(run, false);
  if (run.scrollBarBehind && IsWindow(run.scrollBar)) SetScrollPos(run.scrollBar, SB_CTL, View().horizontalOffset, TRUE);
  run.timings.loop = loopClock.Lap();
  const RenderTimings& t = run.timings;
  Render().lastTimings.loop = t.loop, Render().lastTimings.compute = t.compute, Render().lastTimings.pump = t.pump, Render().lastTimings.copy = t.copy;
  Render().lastTimings.passes = t.passes, Render().lastTimings.messages = t.messages;
  Render().lastTimings.loopEnded = SecondsNow();
  return run.last + 1;
}

}  // namespace hl
