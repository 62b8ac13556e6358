// "&Analyze File" (40020), the steps it shares with Parameters "&Change" and "&Restore"
// (parameters_change_win32.cpp), the FFT-size commands (40012..40014) and the analysis's
// part of closing the window.
#include "windows/base/analysis_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "windows/analysis/analysis_steps_win32.h"
#include "core/analysis/column_geometry.h"
#include "windows/analysis/analysis_commands_win32.h"
#include "windows/base/dialog_choices_win32.h"
#include "core/analysis/file_analysis.h"
#include "windows/base/handles_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/menu_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/analysis/parameters_dialog.h"
#include "windows/analysis/parameters_dialog_win32.h"
#include "windows/view/render_window_win32.h"
#include "core/base/limits.h"
#include "windows/base/wide_text_win32.h"
#include "windows/view/palette_win32.h"
#include "windows/files/file_chooser_win32.h"
#include "core/files/wave_format.h"
#include "windows/files/wave_open_win32.h"
#include "resources/resource.h"

namespace hl {

namespace {

constexpr char kLowResolutionText[] =
    "Wave file and display bitmap exceed available RAM.\n\nThe file will now be scanned at low resolution.\n"
    "Detailed analysis will be performed at the stopping point";
constexpr char kLowResolutionCaption[] = "Not Enough Memory";

// Releases the analysis "&Change" set aside: its bitmap and its sample buffer.
void ReleaseHeldAnalysis() {
  OperatingMode& mode = Mode();
  if (!mode.fullResolutionBitmapExists) return;
  HeldFullResolution() = HeldAnalysis();
  mode.fullResolutionBitmapExists = 0;
}

// ---------------------------------------------------------------------------
// Files.

HANDLE OpenForAnalysis(const char* path) {
  return CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
}

// Reads up to `bytes` bytes at `offset`; read errors leave the rest as it was (zeros).
void ReadAt(HANDLE file, uint64_t offset, uint8_t* buffer, uint32_t bytes) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return;
  while (bytes > 0) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, bytes, &got, nullptr) || got == 0) return;
    buffer += got;
    bytes -= got;
  }
}

// Reads `samples` samples of `encoding` from `offset` on and stores them as 16-bit samples
// at `into` (little-endian, as a 16-bit file holds them), a piece at a time so that the
// file's wider bytes never need a buffer of the whole span. Samples a short read leaves
// out stay as they were (zeros).
void ReadDecoded(HANDLE file, uint64_t offset, SampleEncoding encoding, uint8_t* into, uint32_t samples) {
  constexpr uint32_t kPieceSamples = 16384;
  const uint32_t width = static_cast<uint32_t>(EncodingBytes(encoding));
  std::vector<uint8_t> raw(static_cast<size_t>(kPieceSamples) * width);
  std::vector<int16_t> decoded(kPieceSamples);
  for (uint32_t done = 0; done < samples;) {
    const uint32_t count = samples - done < kPieceSamples ? samples - done : kPieceSamples;
    std::fill(raw.begin(), raw.end(), 0);
    ReadAt(file, offset + uint64_t{done} * width, raw.data(), count * width);
    DecodeSamples(raw.data(), count, width, encoding, decoded.data());
    for (uint32_t i = 0; i < count; ++i) {
      const uint16_t v = static_cast<uint16_t>(decoded[i]);
      into[2 * (done + i)] = static_cast<uint8_t>(v & 0xFF);
      into[2 * (done + i) + 1] = static_cast<uint8_t>(v >> 8);
    }
    done += count;
  }
}

// The view of a new bitmap of `bitmapHeight` rows: at the first column, and vertically where
// the kept fraction puts it in the new range (the FFT-size command has just set the fraction).
void PlaceViewForRender(int bitmapHeight) {
  ViewState& view = View();
  view.horizontalOffset = 0;
  view.renderColumn = 0;
  SetHorizontalScrollRange();
  const int verticalRange = bitmapHeight - ImageAreaHeight();
  view.verticalRange = verticalRange > 0 ? verticalRange : 0;
  view.verticalOffset = static_cast<int>(view.verticalFraction * static_cast<float>(view.verticalRange));
  if (view.verticalOffset > view.verticalRange) view.verticalOffset = view.verticalRange;
  if (view.verticalOffset < 0) view.verticalOffset = 0;
  SetVerticalScrollBar();
}

// Copies the view to the window in the program's palette, with the grid when `grid`.
void ShowView(HWND window, bool grid) {
  WindowDc screen(window);
  SelectPalette(screen.get(), Drawing().palette, FALSE);
  RealizePalette(screen.get());
  CopyView(screen.get());
  if (grid) DrawGrid(screen.get(), false);
}

// The buttons and menu while the columns are drawn: only Stop.
void EnterRendering(HWND window) {
  const MainWindowState& w = MainWindow();
  EnableButton(w.stopButton, true);
  EnableButton(w.playButton, false);
  EnableButton(w.playWindowButton, false);
  EnableButton(w.toggleGridButton, false);
  SetMenuState(window, MenuState::Busy);
  Mode().stopRequest = 0;
  Mode().rendering = 1;
}

// The rendered image shown, with the margin lines across an image area wider than it, and
// the window in the data-loaded state.
void FinishRender(HWND window) {
  OperatingMode& mode = Mode();
  AnalysisSettings& settings = Settings();
  const AnalysisState& a = Analysis();
  // The view followed the columns as they were drawn; the finished image is shown from its
  // first column.
  View().horizontalOffset = 0;
  ShowView(window, mode.gridOn != 0);
  SetHorizontalScrollRange();
  // A stopped render has shortened the data: the panel shows what the image holds.
  DrawInfoPanel(window, a.format.sampleRate, PanelBits(a), PanelLength(a));
  SetMenuState(window, MenuState::DataLoaded);
  EnableButtonsForShownAnalysis();
  mode.rendering = 0;
  if (settings.frequencyMode == FrequencyMode::BB) settings.savedWindowLengthMs = settings.windowLengthMs;
  mode.fileScanPlaybackActive = 0;
  mode.playbackActive = 0;
  mode.dataPresent = 1;
  mode.fileAnalysisInProgress = 0;
}

// Asks for the parameters until they pass the checks of a new file. False when the dialog
// was cancelled or the analysis went elsewhere (the fallback or a geometry refusal).
enum class Confirmed { Yes, Cancelled, HandedOver };

Confirmed ConfirmParameters(HWND window, LoadedSpan& span, bool keepSpan) {
  AnalysisSettings& settings = Settings();
  AnalysisState& a = Analysis();
  const WaveFormat& file = span.header.format;
  for (;;) {
    const DialogPrefill prefill = PrefillForFile(file.channels, file.bitsPerSample, file.sampleRate,
                                                 span.header.dataLength, settings, keepSpan, a.beginMs, a.endMs);
    settings.resolution = prefill.resolution;
    if (settings.frequencyMode == FrequencyMode::NB) settings.windowLengthMs = prefill.windowMs;
    ParametersDialogValues values{prefill.sampleRate, prefill.beginMs, prefill.endMs};
    values.fileRate = span.source.sampleRate;
    values.decodedResolution = span.source.wavFlag ? DecodedResolutionText(span.source.encoding) : nullptr;
    if (!RunAnalysisParametersDialog(window, settings, values)) return Confirmed::Cancelled;
    LastRenderTimings().dialogClosed = SecondsNow();

    DrainMessageQueue();
    UpdateWindow(window);
    const uint16_t bits = values.decodedResolution ? 16 : BitsOf(settings.resolution);
    ApplyFftSize(window, settings.fftSize);

    const uint32_t rate = values.sampleRate > 0 ? static_cast<uint32_t>(values.sampleRate) : 0;
    const SpanRequest request{static_cast<double>(values.beginMs), static_cast<double>(values.endMs), rate,
                              file.channels, bits, span.header.dataLength, settings.timeScaleMs,
                              settings.windowLengthMs, settings.fftOrder};
    span.geometry = PlanColumns(request);
    const ColumnGeometry& g = span.geometry;
    a.format = WaveFormat{1, file.channels, rate, bits};

    if (SpanExceedsBudget(g.byteCount, MainWindow().memory.budget)) {
      LowResolutionFallback(window, span, false);
      return Confirmed::HandedOver;
    }
    switch (g.refusal) {
      case Message::TimeScaleOutOfRange:
      case Message::FftWindowTooSmall:
      case Message::ImproperBeginOrEnd:
      case Message::SampleSizeTooSmall:
        ShowProgramMessage(window, g.refusal);
        continue;
      default:
        break;
    }
    // The column geometry and the image's memory are known now; they are checked before the
    // new samples replace the ones shown, so that a refusal leaves the shown analysis whole.
    if (RefuseGeometry(window, g.refusal)) return Confirmed::HandedOver;
    const int bitmapWidth = DisplayBitmapWidth(g.columnCount, MainWindow().metrics.screenWidth);
    if (ImageExceedsBudget(g.bitmapHeight, bitmapWidth, g.byteCount, MainWindow().memory.budget)) {
      LowResolutionFallback(window, span, true);
      return Confirmed::HandedOver;
    }
    a.beginMs = static_cast<float>(values.beginMs);
    a.endMs = static_cast<float>(g.endMs);
    return Confirmed::Yes;
  }
}


}  // namespace

// ---------------------------------------------------------------------------
// Buttons, menu and messages.

// The buttons of an analysis that is shown and not running.
void EnableButtonsForShownAnalysis() {
  const MainWindowState& w = MainWindow();
  EnableButton(w.playWindowButton, true);
  EnableButton(w.toggleGridButton, true);
  EnableButton(w.stopButton, false);
  EnableButton(w.playButton, Analysis().columnCount > ImageAreaWidth());
}

void SetHorizontalScrollRange() {
  ViewState& view = View();
  const int columns = Analysis().columnCount;
  const int width = ImageAreaWidth();
  view.horizontallyScrollable = columns > width;
  view.horizontalRange = view.horizontallyScrollable ? columns - width : 0;
  if (view.horizontalOffset > view.horizontalRange) view.horizontalOffset = view.horizontalRange;
  if (view.horizontalOffset < 0) view.horizontalOffset = 0;
  HWND bar = MainWindow().horizontalScrollBar;
  SetScrollRange(bar, SB_CTL, 0, view.horizontalRange, FALSE);
  SetScrollPos(bar, SB_CTL, view.horizontalOffset, TRUE);
}

void SetVerticalScrollBar() {
  const ViewState& view = View();
  HWND bar = MainWindow().verticalScrollBar;
  SetScrollRange(bar, SB_CTL, 0, view.verticalRange, FALSE);
  SetScrollPos(bar, SB_CTL, view.verticalOffset, TRUE);
}

// ---------------------------------------------------------------------------
// What an analysis holds: the display bitmap, the sample buffer, the analysis set aside.

void ReleaseDisplay() {
  if (Display().exists()) DestroyDisplayBitmap();
  Mode().displayBitmapExists = 0;
}

void ReleaseSampleBuffer() {
  StopColumnWorkers();  // they read the samples
  AnalysisState& a = Analysis();
  a.sampleBuffer.Free();
  a.waveDataFlag = false;
  Mode().sampleBufferHeld = 0;
}

bool AllocateSampleBlock(GlobalBlock& block, uint32_t byteCount) {
  return block.Allocate(static_cast<size_t>(byteCount) + kWaveHeaderLength);
}

// Moves the shown analysis aside as the point "&Restore" returns to, with the settings it
// was made with.
void SetShownAnalysisAside(const AnalysisSettings& madeWith) {
  HeldAnalysis& held = HeldFullResolution();
  held.bitmap = std::move(Display());
  HandOverAnalysis(Analysis(), held.analysis);
  held.view = View();
  held.settings = madeWith;
  OperatingMode& mode = Mode();
  mode.fullResolutionBitmapExists = 1;
  mode.displayBitmapExists = 0;
  mode.sampleBufferHeld = 0;
}

// Everything an analysis holds goes, and the window returns to idle (a cancelled
// "&Analyze File", a "&Restore" on a low-memory machine, a render without memory).
void ReturnToIdle(HWND window) {
  ReleaseDisplay();
  ReleaseHeldAnalysis();
  ReleaseSampleBuffer();
  DisableFourButtons();
  AnalysisState& a = Analysis();
  a.format.bitsPerSample = 0;
  a.format.sampleRate = 0;
  a.dataLength = 0;
  a.columnCount = 0;
  a.restorePoint = false;
  // Nothing is held any more: the panel must not go on naming the file that was.
  DrawInfoPanel(window, 0, 0, 0);
  OperatingMode& mode = Mode();
  mode.fileAnalysisInProgress = 0;
  mode.rendering = 0;
  mode.dataPresent = 0;
  mode.fileScanPlaybackActive = 0;
  mode.playbackActive = 0;
  View().horizontalOffset = 0;
  SetHorizontalScrollRange();
  SetMenuState(window, MenuState::Idle);
  SetWindowTextW(window, Wide(kCaption).c_str());
  RedrawView(window, false);
  InvalidateRect(window, nullptr, FALSE);
}

// The header facts of the file at `path`, read as "&Analyze File" reads them, for a
// re-analysis that hands the whole file to the scan. False when the file cannot be opened.
bool ReadHeaderOf(const std::string& path, WaveHeaderInfo& header) {
  HANDLE file = OpenForAnalysis(path.c_str());
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  header = ReadAnalysedWave(HandleBytes(file), static_cast<uint64_t>(size.QuadPart)).header;
  CloseHandle(file);
  return true;
}

void LowResolutionFallback(HWND window, const LoadedSpan& span, bool afterBitmapCheck) {
  MessageBoxA(window, kLowResolutionText, kLowResolutionCaption, MB_OK);
  Mode().fileAnalysisInProgress = 0;
  Settings().analysisAtStop = AnalysisAtStop::On;
  Mode().lowResolutionScan = 1;
  // The scan works on the whole file.
  AnalysisState& a = Analysis();
  a.filePath = span.path;
  a.wavFlag = span.header.wavFlag;
  a.dataOffset = span.header.dataOffset;
  a.dataLength = span.header.dataLength;
  a.source = span.source;
  if (afterBitmapCheck) {
    Settings().windowLengthMs = NbWindowLength(512, static_cast<float>(a.format.sampleRate));
  }
  // The scan starts once the command that fell back here has returned.
  SetOpenWavePath(span.path.c_str());
}

// The refusals of the column geometry: the message, then back to the analysis before.
bool RefuseGeometry(HWND window, Message refusal) {
  if (refusal != Message::ImproperEntry && refusal != Message::TimeScaleTooSmall) return false;
  ShowProgramMessage(window, refusal);
  DisableFourButtons();
  RestoreAnalysis(window);
  Mode().fileAnalysisInProgress = 0;
  return true;
}

namespace {

// The display bitmap for the analysis's column count made, cleared and shown, the view
// placed for the render and the buttons those of a render. False when the bitmap cannot be
// had; nothing is shown then.
bool PrepareDisplay(HWND window) {
  const AnalysisState& a = Analysis();
  const int bitmapHeight = (1 << Settings().fftOrder) / 2 + kMarginRows;
  const int bitmapWidth = DisplayBitmapWidth(a.columnCount, MainWindow().metrics.screenWidth);
  if (!CreateDisplayBitmap(window, bitmapWidth, bitmapHeight)) return false;
  Mode().displayBitmapExists = 1;
  PlaceViewForRender(bitmapHeight);
  Settings().displayType = DisplayType::Scroll;

  PaletteImage image = Display().Image();
  GdiFlush();
  ClearImage(image);
  ShowView(window, false);
  EnterRendering(window);
  return true;
}

// No display bitmap for the span: the message, and the program ends.
void RefuseDisplay(HWND window) {
  ShowProgramMessage(window, Message::NotEnoughDisplayMemory);
  Mode().fileAnalysisInProgress = 0;
  SendMessageA(window, WM_CLOSE, 0, 0);
}

// The loaded sample buffer drawn into the prepared display bitmap, then the result. The
// analysis's format, span, step and column count are set.
void RenderIntoDisplay(HWND window) {
  AnalysisState& a = Analysis();
  OperatingMode& mode = Mode();
  const uint8_t* samples = a.sampleBuffer.Lock();
  const int rendered = samples ? RenderImage(window, samples + kWaveHeaderLength) : -1;
  if (!IsWindow(window) || !Display().exists()) {
    // The window was closed while the columns were drawn: the close step has released
    // everything already.
    mode.rendering = 0;
    mode.fileAnalysisInProgress = 0;
    return;
  }
  a.sampleBuffer.Unlock();
  if (rendered != 0) {
    ShowProgramMessage(window, Message::NotEnoughMemory);
    ReturnToIdle(window);
    return;
  }
  RenderTimings& timings = LastRenderTimings();
  const double drawn = SecondsNow();
  FinishRender(window);
  timings.finish = SecondsNow() - drawn;
}

}  // namespace

void RenderLoadedSpan(HWND window) {
  if (!PrepareDisplay(window)) return RefuseDisplay(window);
  RenderIntoDisplay(window);
}

// ---------------------------------------------------------------------------
// "&Analyze File".

namespace {

// The file chosen (or handed over in the chooser's path) and its header read; false when
// there is nothing to analyse: the chooser was cancelled or the file refused.
bool ChooseAnalysisFile(HWND window, bool fromMenu, LoadedSpan& span, std::string& title) {
  for (;;) {
    if (fromMenu && !ChooseOpenWave()) {
      RedrawView(window, true);
      return false;
    }
    span.path = OpenWavePath();
    title = fromMenu ? std::string(ChosenTitle()) : NameWithoutFolder(span.path);
    const OpenedWave opened = ReadChosenWave(span.path.c_str(), FILE_FLAG_RANDOM_ACCESS);
    if (opened.refusal != Message::None) {
      ShowProgramMessage(window, opened.refusal);
      if (opened.refusal == Message::SampleSizeTooSmall && fromMenu) continue;
      return false;
    }
    if (RefuseUnreadableFormat(window, opened)) return false;
    // A header whose format cannot be measured (no channels, no whole-byte samples, no
    // rate) is reported here.
    span.header = opened.header;
    span.source = opened.source;
    if (span.header.warning != Message::None) ShowProgramMessage(window, span.header.warning);
    return true;
  }
}

// The confirmed span replaces what was shown and anything set aside.
void CommitSpan(HWND window, const LoadedSpan& span, const std::string& title) {
  ReleaseHeldAnalysis();
  AnalysisState& a = Analysis();
  const ColumnGeometry& g = span.geometry;
  a.wavFlag = span.header.wavFlag;
  a.dataOffset = span.header.dataOffset;
  a.source = span.source;
  a.beginOffset = g.beginOffset;
  a.fileBeginOffset = g.beginOffset;
  a.byteCount = g.byteCount;
  a.dataLength = g.byteCount;
  a.step = g.step;
  a.columnCount = g.columnCount;
  a.filePath = span.path;
  a.fileTitle = title;
  a.imageStartMs = a.accumulatedBeginMs + a.beginMs;
  a.restorePoint = false;
  DrawInfoPanel(window, a.format.sampleRate, PanelBits(a), PanelLength(a));
}

// The span's samples read into a new sample buffer behind their wave header, on a thread of
// their own while the window thread makes and clears the display bitmap: both are mostly
// first touches of fresh pages, and the two cores share them. Done() joins the thread and
// unlocks the buffer; the buffer is not looked at, and no message is handled, before then.
class SampleLoad {
 public:
  SampleLoad() = default;
  ~SampleLoad() { Done(); }
  SampleLoad(const SampleLoad&) = delete;
  SampleLoad& operator=(const SampleLoad&) = delete;

  // Opens the file, allocates the buffer (with its header) and starts the read.
  Message Start(const LoadedSpan& span);
  void Done();

 private:
  FileHandle file_;
  std::thread reader_;
  bool locked_ = false;
};

Message SampleLoad::Start(const LoadedSpan& span) {
  AnalysisState& a = Analysis();
  const ColumnGeometry& g = span.geometry;
  file_ = FileHandle(OpenForAnalysis(span.path.c_str()));
  if (!file_.valid()) return Message::CannotOpenFile;
  ReleaseSampleBuffer();
  if (!AllocateSampleBlock(a.sampleBuffer, g.byteCount)) return Message::NotEnoughMemory;
  Mode().sampleBufferHeld = 1;
  uint8_t* buffer = a.sampleBuffer.Lock();
  if (!buffer) return Message::NotEnoughMemory;
  locked_ = true;
  WriteWaveHeader(buffer, a.format, g.byteCount);
  const uint64_t firstByte = (a.wavFlag ? uint64_t{a.dataOffset} : 0) + SourceBytesOf(g.beginOffset, span.source);
  const SampleEncoding encoding = span.source.encoding;
  const uint32_t bytes = g.byteCount;
  uint8_t* samples = buffer + kWaveHeaderLength;
  const HANDLE file = file_.get();
  const auto read = [file, firstByte, encoding, bytes, samples]() {
    // The block's pages are touched first and the span then read in one call: under Wine a
    // read into pages never touched costs about twice the touching and the read together
    // (about 0.1 s against 0.06 s for ten minutes of 44.1 kHz mono).
    std::memset(samples, 0, bytes);
    if (IsNativeEncoding(encoding)) {
      ReadAt(file, firstByte, samples, bytes);
    } else {
      ReadDecoded(file, firstByte, encoding, samples, bytes / 2);
    }
  };
  try {
    reader_ = std::thread(read);
  } catch (const std::system_error&) {
    read();  // no thread to be had: read here
  }
  return Message::None;
}

void SampleLoad::Done() {
  if (reader_.joinable()) reader_.join();
  file_.Close();
  if (!locked_) return;
  locked_ = false;
  Analysis().sampleBuffer.Unlock();
  Analysis().waveDataFlag = true;
}

}  // namespace

// Choose, read the header, confirm the parameters, load the samples, render.
void AnalyzeFile(HWND window, AnalysisStart start) {
  OperatingMode& mode = Mode();
  // Posted again while an analysis runs (the menu item is grey then): ignored.
  if (mode.fileAnalysisInProgress || mode.rendering) return;
  AnalysisState& a = Analysis();
  AnalysisSettings& settings = Settings();

  a.beginOffset = 0;
  a.accumulatedBeginMs = 0;
  settings.timeScaleMs = 12.0f;
  settings.fftSize = FftSize::Fft512;
  settings.frequencyMode = FrequencyMode::NB;
  BusyFlag busy(mode.fileAnalysisInProgress);
  RedrawView(window, false);

  LoadedSpan span;
  std::string title;
  if (!ChooseAnalysisFile(window, start == AnalysisStart::ChooseFile, span, title)) return;
  const Confirmed confirmed = ConfirmParameters(window, span, start == AnalysisStart::AfterScan);
  if (confirmed == Confirmed::Cancelled) {
    ReturnToIdle(window);
    return;
  }
  if (confirmed == Confirmed::HandedOver) return;

  RenderTimings& timings = LastRenderTimings();
  const double loading = SecondsNow();
  timings.confirm = loading - timings.dialogClosed;
  CommitSpan(window, span, title);
  SampleLoad load;
  const Message loaded = load.Start(span);
  if (loaded != Message::None) {
    load.Done();
    ShowProgramMessage(window, loaded);
    if (loaded == Message::NotEnoughMemory) {
      busy.Clear();
      SendMessageA(window, WM_CLOSE, 0, 0);
    }
    return;
  }
  SetWindowTextW(window, Wide(title).c_str());
  InvalidateRect(window, nullptr, FALSE);
  const double preparing = SecondsNow();
  const bool prepared = PrepareDisplay(window);
  const double waiting = SecondsNow();
  load.Done();
  timings.prepare = waiting - preparing;
  timings.load = (preparing - loading) + (SecondsNow() - waiting);
  if (!prepared) return RefuseDisplay(window);
  RenderIntoDisplay(window);
}

// ---------------------------------------------------------------------------
// FFT size (40012..40014, sent by the analysis commands).

void ApplyFftSize(HWND window, FftSize size) {
  AnalysisSettings& settings = Settings();
  settings.fftSize = size;
  settings.fftOrder = FftOrderOfChoice(size);
  View().verticalFraction = 1.0f;
  View().verticallyScrollable = settings.fftOrder > 9;
  RECT r;
  if (!GetWindowRect(window, &r)) return;
  const MainWindowState& w = MainWindow();
  const int height = PreferredWindowHeight(w.sizes.defaultHeight, r.bottom - r.top, settings.fftOrder);
  int top = CentredTop(w.metrics.screenHeight, height);
  if (top < 0) top = 0;
  // Not repainted here: the next layout pass takes the height.
  MoveWindow(window, r.left, top, r.right - r.left, height, FALSE);
  MainWindow().windowHeight = height;
}

void OnAnalyzeFile(HWND window, LPARAM lParam) { AnalyzeFile(window, static_cast<AnalysisStart>(lParam)); }
void OnFftSize512(HWND window, LPARAM) { ApplyFftSize(window, FftSize::Fft512); }
void OnFftSize1024(HWND window, LPARAM) { ApplyFftSize(window, FftSize::Fft1024); }
void OnFftSize2048(HWND window, LPARAM) { ApplyFftSize(window, FftSize::Fft2048); }

// ---------------------------------------------------------------------------
// Closing.

void ReleaseAnalysisForClose() {
  ReleaseDisplay();
  if (!Mode().lowMemory) ReleaseHeldAnalysis();
  ReleaseSampleBuffer();
}

}  // namespace hl
