// "&Analyze File" (40020), Parameters "&Change" (40005) and "&Restore" (40023), the FFT-size
// commands (40012..40014), "Stop" and the analysis's part of closing the window.
#include "app/file_analysis_win32.h"

#include <cstring>
#include <string>

#include "app/column_geometry.h"
#include "app/commands_win32.h"
#include "app/file_analysis.h"
#include "app/main_window_win32.h"
#include "app/menu_state_win32.h"
#include "app/operating_mode.h"
#include "app/parameters_dialog.h"
#include "app/parameters_dialog_win32.h"
#include "app/render_window_win32.h"
#include "display/palette_win32.h"
#include "files/file_chooser_win32.h"
#include "files/wave_format.h"
#include "resources/resource.h"

namespace hl {

namespace {

constexpr uint64_t kShortestFile = 2048;
constexpr char kLowResolutionText[] =
    "Wave file and display bitmap exceed available RAM.\n\nThe file will now be scanned at low resolution.\n"
    "Detailed analysis will be performed at the stopping point";
constexpr char kLowResolutionCaption[] = "Not Enough Memory";

// ---------------------------------------------------------------------------
// Buttons, menu and messages.

void EnableButton(HWND button, bool on) {
  if (button) EnableWindow(button, on ? TRUE : FALSE);
}

void DisableFourButtons() {
  const MainWindowState& w = MainWindow();
  for (HWND b : {w.playButton, w.playWindowButton, w.toggleGridButton, w.stopButton}) EnableButton(b, false);
}

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
  MainWindow().displayBitmapExists = false;
}

void FreeSampleBlock(HGLOBAL block, uint8_t** locked) {
  if (!block) return;
  if (locked && *locked) {
    GlobalUnlock(block);
    *locked = nullptr;
  }
  GlobalFree(block);
  --AllocationCount();
}

void ReleaseSampleBuffer() {
  AnalysisState& a = Analysis();
  FreeSampleBlock(a.sampleBuffer, &a.lockedSampleBuffer);
  a.sampleBuffer = nullptr;
  a.waveDataFlag = false;
  Mode().sampleBufferHeld = 0;
}

// A new zero-filled sample buffer of `byteCount` samples behind the 46-byte header, counted.
HGLOBAL AllocateSampleBlock(uint32_t byteCount) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(byteCount) + kWaveHeaderLength);
  if (block) ++AllocationCount();
  return block;
}

// Releases the analysis "&Change" set aside: its bitmap through the view's own routine (the
// shown bitmap is kept aside meanwhile) and its sample buffer.
void ReleaseHeldAnalysis() {
  OperatingMode& mode = Mode();
  if (!mode.fullResolutionBitmapExists) return;
  HeldAnalysis& held = HeldFullResolution();
  if (held.bitmap.exists()) {
    const DisplayBitmap shown = Display();
    const uint8_t shownFlag = mode.displayBitmapExists;
    const bool shownWindowFlag = MainWindow().displayBitmapExists;
    Display() = held.bitmap;
    DestroyDisplayBitmap();
    Display() = shown;
    mode.displayBitmapExists = shownFlag;
    MainWindow().displayBitmapExists = shownWindowFlag;
  }
  FreeSampleBlock(held.analysis.sampleBuffer, &held.analysis.lockedSampleBuffer);
  held = HeldAnalysis();
  mode.fullResolutionBitmapExists = 0;
}

// Moves the shown analysis aside as the point "&Restore" returns to, with the settings it
// was made with.
void SetShownAnalysisAside(const AnalysisSettings& madeWith) {
  HeldAnalysis& held = HeldFullResolution();
  held.bitmap = Display();
  held.analysis = Analysis();
  held.view = View();
  held.settings = madeWith;
  Display() = DisplayBitmap();
  Analysis().sampleBuffer = nullptr;
  Analysis().lockedSampleBuffer = nullptr;
  OperatingMode& mode = Mode();
  mode.fullResolutionBitmapExists = 1;
  mode.displayBitmapExists = 0;
  mode.sampleBufferHeld = 0;
  MainWindow().displayBitmapExists = false;
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
  SetWindowTextA(window, kCaption);
  RedrawView(window, false);
  InvalidateRect(window, nullptr, FALSE);
}

// ---------------------------------------------------------------------------
// Files.

std::string NameWithoutFolder(const std::string& path) {
  const size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

HANDLE OpenForAnalysis(const char* path) {
  return CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
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

// The header facts of the file at `path`, read as "&Analyze File" reads them, for a
// re-analysis that hands the whole file to the scan. False when the file cannot be opened.
bool ReadHeaderOf(const std::string& path, WaveHeaderInfo& header) {
  HANDLE file = OpenForAnalysis(path.c_str());
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  uint8_t block[kWaveSearchBlockLength] = {};
  DWORD got = 0;
  if (!ReadFile(file, block, sizeof block, &got, nullptr)) got = 0;
  CloseHandle(file);
  header = ReadWaveHeader(block, got, static_cast<uint64_t>(size.QuadPart));
  return true;
}

// ---------------------------------------------------------------------------
// The analysis itself, shared by "&Analyze File" and "&Change".

struct LoadedSpan {
  std::string path;       // the file the samples came from
  WaveHeaderInfo header;  // what the file's header said
  ColumnGeometry geometry;
};

void LowResolutionFallback(HWND window, const LoadedSpan& span, bool afterBitmapCheck) {
  MessageBoxA(window, kLowResolutionText, kLowResolutionCaption, MB_OK);
  Mode().fileAnalysisInProgress = 0;
  Settings().analysisAtStop = choice::kAnalysisOn;
  Mode().lowResolutionScan = 1;
  // The scan works on the whole file.
  AnalysisState& a = Analysis();
  a.filePath = span.path;
  a.wavFlag = span.header.wavFlag;
  a.dataOffset = span.header.dataOffset;
  a.dataLength = span.header.dataLength;
  if (afterBitmapCheck) {
    Settings().windowLengthMs = NbWindowLength(512, static_cast<float>(a.format.sampleRate));
  }
  SetOpenWavePath(span.path.c_str());
  SendMessageA(window, WM_COMMAND, IDM_SCAN_FILE, 1);
}

// The refusals of the column geometry: the message, then back to the analysis before.
bool RefuseGeometry(HWND window, Message refusal) {
  if (refusal != Message::ImproperEntry && refusal != Message::TimeScaleTooSmall) return false;
  ShowProgramMessage(window, refusal);
  DisableFourButtons();
  SendMessageA(window, WM_COMMAND, IDM_PARAMETERS_RESTORE, 0);
  Mode().fileAnalysisInProgress = 0;
  return true;
}

// The loaded sample buffer becomes an image: bitmap, scroll bars, the render, the result.
// The analysis's format, span, step and column count are set.
void RenderLoadedSpan(HWND window) {
  AnalysisState& a = Analysis();
  AnalysisSettings& settings = Settings();
  OperatingMode& mode = Mode();
  const int bitmapHeight = (1 << settings.fftOrder) / 2 + kEnvelopeRows;
  const int bitmapWidth = DisplayBitmapWidth(a.columnCount, MainWindow().metrics.screenWidth);

  if (!CreateDisplayBitmap(window, bitmapWidth, bitmapHeight)) {
    ShowProgramMessage(window, Message::NotEnoughDisplayMemory);
    mode.fileAnalysisInProgress = 0;
    SendMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    return;
  }
  mode.displayBitmapExists = 1;
  MainWindow().displayBitmapExists = true;

  // The view starts at the first column, and vertically where the kept fraction puts it
  // in the new bitmap's range (the FFT-size command has just set the fraction).
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
  settings.displayType = choice::kDisplayScroll;

  PaletteImage image = Display().Image();
  GdiFlush();
  ClearImage(image);
  HDC screen = GetDC(window);
  SelectPalette(screen, Drawing().palette, FALSE);
  RealizePalette(screen);
  CopyView(screen);
  ReleaseDC(window, screen);

  const MainWindowState& w = MainWindow();
  EnableButton(w.stopButton, true);
  EnableButton(w.playButton, false);
  EnableButton(w.playWindowButton, false);
  EnableButton(w.toggleGridButton, false);
  SetMenuState(window, MenuState::Busy);
  mode.stopRequest = 0;
  mode.rendering = 1;

  a.lockedSampleBuffer = static_cast<uint8_t*>(GlobalLock(a.sampleBuffer));
  const int rendered = a.lockedSampleBuffer ? RenderImage(window, a.lockedSampleBuffer + kWaveHeaderLength) : -1;

  if (!IsWindow(window) || !Display().exists()) {
    // The window was closed while the columns were drawn: the close step has released
    // everything already.
    mode.rendering = 0;
    mode.fileAnalysisInProgress = 0;
    return;
  }
  if (a.lockedSampleBuffer) {
    GlobalUnlock(a.sampleBuffer);
    a.lockedSampleBuffer = nullptr;
  }
  if (rendered != 0) {
    ShowProgramMessage(window, Message::NotEnoughMemory);
    ReturnToIdle(window);
    return;
  }

  screen = GetDC(window);
  SelectPalette(screen, Drawing().palette, FALSE);
  RealizePalette(screen);
  // The view, with the margin lines across an image area wider than the image.
  CopyView(screen);
  if (mode.gridOn) DrawGrid(screen, false);
  ReleaseDC(window, screen);

  SetHorizontalScrollRange();
  // A stopped render has shortened the data: the panel shows what the image holds.
  DrawInfoPanel(window, a.format.sampleRate, a.format.bitsPerSample, a.dataLength);
  SetMenuState(window, MenuState::DataLoaded);
  EnableButtonsForShownAnalysis();
  mode.rendering = 0;
  if (settings.frequencyMode == choice::kModeBb) settings.savedWindowLengthMs = settings.windowLengthMs;
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
    if (settings.frequencyMode == choice::kModeNb) settings.windowLengthMs = prefill.windowMs;
    ParametersDialogValues values{prefill.sampleRate, prefill.beginMs, prefill.endMs};
    if (!RunAnalysisParametersDialog(window, settings, values)) return Confirmed::Cancelled;

    DrainMessageQueue();
    UpdateWindow(window);
    const uint16_t bits = settings.resolution == choice::kResolution16Bit ? 16 : 8;
    SendMessageA(window, WM_COMMAND, FftSizeCommand(FftOrderOfChoice(settings.fftSize)), 0);

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

HeldAnalysis& HeldFullResolution() {
  static HeldAnalysis held;
  return held;
}

void ShowProgramMessage(HWND window, Message message) {
  ShowMessage(window, MessageText(message),
              MessageIconOf(message) == MessageIcon::Hand ? MB_ICONHAND : MB_ICONEXCLAMATION);
}

int ImageAreaWidth() {
  const int width = View().imageWidth;
  return width > 0 ? width : MainWindow().layout.imageAreaWidth;
}

int ImageAreaHeight() {
  const int height = View().imageHeight;
  return height > 0 ? height : MainWindow().layout.imageAreaHeight;
}

// ---------------------------------------------------------------------------
// "&Analyze File".

void OnAnalyzeFile(HWND window, LPARAM lParam) {
  OperatingMode& mode = Mode();
  // Posted again while an analysis runs (the menu item is grey then): ignored.
  if (mode.fileAnalysisInProgress || mode.rendering) return;
  AnalysisState& a = Analysis();
  AnalysisSettings& settings = Settings();

  a.beginOffset = 0;
  a.accumulatedBeginMs = 0;
  settings.timeScaleMs = 12.0f;
  settings.fftSize = choice::kFft512;
  settings.frequencyMode = choice::kModeNb;
  mode.fileAnalysisInProgress = 1;
  RedrawView(window, false);

  const bool fromMenu = lParam == 0;
  LoadedSpan span;
  std::string title;
  for (;;) {
    if (fromMenu && !ChooseOpenWave()) {
      RedrawView(window, true);
      mode.fileAnalysisInProgress = 0;
      return;
    }
    span.path = OpenWavePath();
    title = fromMenu ? std::string(ChosenTitle()) : NameWithoutFolder(span.path);
    HANDLE file = OpenForAnalysis(span.path.c_str());
    if (file == INVALID_HANDLE_VALUE) {
      ShowProgramMessage(window, Message::CannotOpenFile);
      mode.fileAnalysisInProgress = 0;
      return;
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    const uint64_t fileSize = static_cast<uint64_t>(size.QuadPart);
    if (fileSize < kShortestFile) {
      ShowProgramMessage(window, Message::SampleSizeTooSmall);
      CloseHandle(file);
      if (fromMenu) continue;
      mode.fileAnalysisInProgress = 0;
      return;
    }
    uint8_t block[kWaveSearchBlockLength] = {};
    DWORD got = 0;
    if (!ReadFile(file, block, sizeof block, &got, nullptr)) got = 0;
    CloseHandle(file);
    // A header whose format cannot be measured (no channels, no whole-byte samples, no
    // rate) is reported here and read as raw samples, never divided by.
    span.header = ReadWaveHeader(block, got, fileSize);
    if (span.header.warning != Message::None) ShowProgramMessage(window, span.header.warning);
    break;
  }

  const Confirmed confirmed = ConfirmParameters(window, span, lParam == 2);
  if (confirmed == Confirmed::Cancelled) {
    ReturnToIdle(window);
    return;
  }
  if (confirmed == Confirmed::HandedOver) return;

  // Commit: the new analysis replaces what was shown and anything set aside.
  ReleaseHeldAnalysis();
  const ColumnGeometry& g = span.geometry;
  a.wavFlag = span.header.wavFlag;
  a.dataOffset = span.header.dataOffset;
  a.beginOffset = g.beginOffset;
  a.byteCount = g.byteCount;
  a.dataLength = g.byteCount;
  a.step = g.step;
  a.columnCount = g.columnCount;
  a.filePath = span.path;
  a.fileTitle = title;
  a.imageStartMs = a.accumulatedBeginMs + a.beginMs;
  a.restorePoint = false;
  DrawInfoPanel(window, a.format.sampleRate, a.format.bitsPerSample, a.dataLength);

  HANDLE file = OpenForAnalysis(span.path.c_str());
  if (file == INVALID_HANDLE_VALUE) {
    ShowProgramMessage(window, Message::CannotOpenFile);
    mode.fileAnalysisInProgress = 0;
    return;
  }
  ReleaseSampleBuffer();
  a.sampleBuffer = AllocateSampleBlock(g.byteCount);
  if (!a.sampleBuffer) {
    CloseHandle(file);
    ShowProgramMessage(window, Message::NotEnoughMemory);
    mode.fileAnalysisInProgress = 0;
    SendMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    return;
  }
  mode.sampleBufferHeld = 1;
  uint8_t* buffer = static_cast<uint8_t*>(GlobalLock(a.sampleBuffer));
  const uint64_t firstByte = (a.wavFlag ? uint64_t{a.dataOffset} : 0) + g.beginOffset;
  ReadAt(file, firstByte, buffer + kWaveHeaderLength, g.byteCount);
  WriteWaveHeader(buffer, a.format, g.byteCount);
  GlobalUnlock(a.sampleBuffer);
  CloseHandle(file);
  a.waveDataFlag = true;
  SetWindowTextA(window, title.c_str());
  InvalidateRect(window, nullptr, FALSE);

  RenderLoadedSpan(window);
}

// ---------------------------------------------------------------------------
// Parameters "&Change".

void OnParametersChange(HWND window, LPARAM lParam) {
  OperatingMode& mode = Mode();
  if (!Display().exists() || mode.rendering || mode.fileAnalysisInProgress) return;
  AnalysisState& a = Analysis();
  AnalysisSettings& settings = Settings();
  // A re-analysis is an analysis in progress from here until it is shown or refused.
  mode.fileAnalysisInProgress = 1;

  // The data the dialog offers is what is shown now; its samples are read from its buffer.
  const HGLOBAL source = a.sampleBuffer;
  const uint32_t sourceBytes = a.dataLength < a.byteCount ? a.dataLength : a.byteCount;
  const WaveFormat shownFormat = a.format;
  const bool setAside = !mode.fullResolutionBitmapExists && !mode.lowMemory;
  const AnalysisSettings shownSettings = settings;

  ParametersDialogValues values;
  values.sampleRate = static_cast<int32_t>(shownFormat.sampleRate);
  if (lParam == 1) {
    values.beginMs = static_cast<int32_t>(a.selectionBeginMs);
    values.endMs = static_cast<int32_t>(a.selectionEndMs);
  } else {
    values.beginMs = 0;
    values.endMs = static_cast<int32_t>(
        DataLengthMs(sourceBytes, shownFormat.channels, shownFormat.bitsPerSample, shownFormat.sampleRate));
  }
  if (CheckTimeScale(settings.timeScaleMs) != Message::None) settings.timeScaleMs = 20.0f;

  if (!RunAnalysisParametersDialog(window, settings, values)) {
    mode.fileAnalysisInProgress = 0;
    RedrawView(window, true);
    return;
  }
  // The shown analysis becomes the point "&Restore" returns to only now, so that it stays on
  // screen, and in use, while the dialog is open and after a Cancel.
  if (setAside) SetShownAnalysisAside(shownSettings);
  // The grid's time of the first column counts from the start of the analysis before.
  a.accumulatedBeginMs += a.beginMs;
  DrainMessageQueue();
  SendMessageA(window, WM_COMMAND, FftSizeCommand(FftOrderOfChoice(settings.fftSize)), 0);

  const uint16_t bits = settings.resolution == choice::kResolution16Bit ? 16 : 8;
  const uint32_t rate = values.sampleRate > 0 ? static_cast<uint32_t>(values.sampleRate) : 0;
  const SpanRequest request{static_cast<double>(values.beginMs), static_cast<double>(values.endMs), rate,
                            shownFormat.channels, bits, sourceBytes, settings.timeScaleMs,
                            settings.windowLengthMs, settings.fftOrder};
  const ColumnGeometry g = PlanReanalysis(request);
  switch (g.refusal) {
    case Message::None:
      break;
    case Message::ImproperEntry:
    case Message::TimeScaleTooSmall:
      a.restorePoint = true;
      RefuseGeometry(window, g.refusal);
      return;
    default:
      ShowProgramMessage(window, g.refusal);
      a.restorePoint = true;
      SendMessageA(window, WM_COMMAND, IDM_PARAMETERS_RESTORE, 0);
      mode.fileAnalysisInProgress = 0;
      return;
  }
  const int bitmapWidth = DisplayBitmapWidth(g.columnCount, MainWindow().metrics.screenWidth);
  if (ImageExceedsBudget(g.bitmapHeight, bitmapWidth, g.byteCount, MainWindow().memory.budget)) {
    // The scan works on the whole file, not the span shown, in the format the dialog chose.
    LoadedSpan span;
    span.path = a.filePath;
    if (!ReadHeaderOf(a.filePath, span.header)) {
      ShowProgramMessage(window, Message::CannotOpenFile);
      a.restorePoint = true;
      SendMessageA(window, WM_COMMAND, IDM_PARAMETERS_RESTORE, 0);
      mode.fileAnalysisInProgress = 0;
      return;
    }
    span.header.format = WaveFormat{1, shownFormat.channels, rate, bits};
    a.format = span.header.format;
    LowResolutionFallback(window, span, true);
    return;
  }

  HGLOBAL block = AllocateSampleBlock(g.byteCount);
  if (!block) {
    ShowProgramMessage(window, Message::NotEnoughMemory);
    mode.fileAnalysisInProgress = 0;
    SendMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    return;
  }
  uint8_t* target = static_cast<uint8_t*>(GlobalLock(block));
  const uint8_t* from = static_cast<const uint8_t*>(GlobalLock(source));
  if (target && from) std::memcpy(target + kWaveHeaderLength, from + kWaveHeaderLength + g.beginOffset, g.byteCount);
  if (from) GlobalUnlock(source);
  const WaveFormat format{1, shownFormat.channels, rate, bits};
  if (target) WriteWaveHeader(target, format, g.byteCount);
  GlobalUnlock(block);
  // Without a set-aside analysis the samples shown are not needed any more.
  if (!setAside && a.sampleBuffer == source) ReleaseSampleBuffer();

  a.sampleBuffer = block;
  mode.sampleBufferHeld = 1;
  a.waveDataFlag = true;
  a.format = format;
  a.beginMs = static_cast<float>(values.beginMs);
  a.endMs = static_cast<float>(g.endMs);
  a.beginOffset = g.beginOffset;
  a.byteCount = g.byteCount;
  a.dataLength = g.byteCount;
  a.step = g.step;
  a.columnCount = g.columnCount;
  a.imageStartMs = a.accumulatedBeginMs + a.beginMs;
  a.restorePoint = true;
  DrawInfoPanel(window, a.format.sampleRate, a.format.bitsPerSample, a.dataLength);
  RenderLoadedSpan(window);
}

// ---------------------------------------------------------------------------
// Parameters "&Restore".

void OnParametersRestore(HWND window, LPARAM) {
  OperatingMode& mode = Mode();
  AnalysisState& a = Analysis();
  if (!a.restorePoint || mode.rendering) return;
  a.restorePoint = false;
  if (mode.lowMemory) {
    // ReturnToIdle empties the panel before the flags say idle, so that nothing sees an idle
    // window still naming the old data.
    ReturnToIdle(window);
    return;
  }
  if (!mode.fullResolutionBitmapExists) return;

  ReleaseDisplay();
  ReleaseSampleBuffer();
  HeldAnalysis& held = HeldFullResolution();
  Display() = held.bitmap;
  a = held.analysis;
  a.restorePoint = false;
  ViewState& view = View();
  view.horizontalOffset = held.view.horizontalOffset;
  view.horizontalRange = held.view.horizontalRange;
  view.horizontallyScrollable = held.view.horizontallyScrollable;
  view.verticalOffset = held.view.verticalOffset;
  view.verticalRange = held.view.verticalRange;
  view.verticallyScrollable = held.view.verticallyScrollable;
  view.verticalFraction = held.view.verticalFraction;
  AnalysisSettings& settings = Settings();
  const AnalysisSettings& was = held.settings;
  settings.resolution = was.resolution;
  settings.fftSize = was.fftSize;
  settings.fftOrder = was.fftOrder;
  settings.frequencyMode = was.frequencyMode;
  settings.windowLengthMs = was.windowLengthMs;
  settings.savedWindowLengthMs = was.savedWindowLengthMs;
  settings.timeScaleMs = was.timeScaleMs;
  settings.displayType = was.displayType;
  settings.palette = was.palette;
  settings.attenuation = was.attenuation;
  held = HeldAnalysis();
  mode.fullResolutionBitmapExists = 0;
  mode.displayBitmapExists = 1;
  mode.sampleBufferHeld = a.sampleBuffer ? 1 : 0;
  mode.dataPresent = 1;
  MainWindow().displayBitmapExists = true;

  // The restored image is shown in the colours it had: its colour table is rewritten.
  Drawing().scheme = static_cast<PaletteScheme>(settings.palette);
  LoadPalette(window, PaletteOffset(settings.attenuation));
  SetHorizontalScrollRange();
  SetVerticalScrollBar();
  SetMenuState(window, MenuState::DataLoaded);
  EnableButtonsForShownAnalysis();
  SetWindowTextA(window, a.fileTitle.empty() ? kCaption : a.fileTitle.c_str());
  DrawInfoPanel(window, a.format.sampleRate, a.format.bitsPerSample, a.dataLength);
  RedrawView(window, true);
  InvalidateRect(window, nullptr, FALSE);
}

// ---------------------------------------------------------------------------
// FFT size (40012..40014, sent by the analysis commands).

namespace {

void SetFftSize(HWND window, int order) {
  AnalysisSettings& settings = Settings();
  settings.fftOrder = order;
  settings.fftSize = static_cast<int16_t>(choice::kFft512 + (order - 9));
  View().verticalFraction = 1.0f;
  View().verticallyScrollable = order > 9;
  RECT r;
  if (!GetWindowRect(window, &r)) return;
  const MainWindowState& w = MainWindow();
  const int height = PreferredWindowHeight(w.sizes.defaultHeight, r.bottom - r.top, order);
  int top = CentredTop(w.metrics.screenHeight, height);
  if (top < 0) top = 0;
  // Not repainted here: the next layout pass takes the height.
  MoveWindow(window, r.left, top, r.right - r.left, height, FALSE);
  MainWindow().windowHeight = height;
}

}  // namespace

void OnFftSize512(HWND window, LPARAM) { SetFftSize(window, 9); }
void OnFftSize1024(HWND window, LPARAM) { SetFftSize(window, 10); }
void OnFftSize2048(HWND window, LPARAM) { SetFftSize(window, 11); }

// ---------------------------------------------------------------------------
// Closing.

void ReleaseAnalysisForClose() {
  ReleaseDisplay();
  if (!Mode().lowMemory) ReleaseHeldAnalysis();
  ReleaseSampleBuffer();
}

}  // namespace hl
