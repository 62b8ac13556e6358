// "Play", "Play Wdw", "Stop", MM_WOM_DONE, and the output device's part of closing the window.
#include "windows/sound/transport_win32.h"

#include <mmsystem.h>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "windows/sound/sound_commands_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/base/handles_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/menu_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/sound/capture_state_win32.h"
#include "windows/sound/capture_win32.h"
#include "windows/sound/file_scan_win32.h"
#include "core/sound/playback.h"
#include "core/base/little_endian.h"
#include "core/base/messages.h"
#include "windows/view/palette_win32.h"
#include "windows/view/readout_win32.h"
#include "core/dsp/column_renderer.h"
#include "core/files/wave_format.h"

namespace hl {

namespace {

constexpr char kCannotOpenAudioDevice[] = "Cannot Open Audio Device";
constexpr int kCursorSourceColumn = 0;  // the strip's cursor colour
constexpr int kCursorSavedColumn = 4;   // the window column under the cursor

// The program's palette realised in a window DC, when there is one.
void RealizeProgramPalette(HDC dc) {
  if (dc && Drawing().palette) {
    SelectPalette(dc, Drawing().palette, FALSE);
    RealizePalette(dc);
  }
}

// Bitmap columns from `sourceX` to window column 0 on: frequency rows from the vertical
// offset, then the 44-row strip.
void CopyColumns(HDC dc, int sourceX, int width) {
  const DisplayBitmap& d = Display();
  const ViewState& v = View();
  if (width <= 0 || !d.exists()) return;
  const int frequencyRows = v.imageHeight - kMarginRows;
  if (frequencyRows > 0) {
    BitBlt(dc, 0, kMarginRows, width, frequencyRows, d.dc, sourceX, v.verticalOffset + kMarginRows, SRCCOPY);
  }
  BitBlt(dc, 0, 0, width, kMarginRows, d.dc, sourceX, 0, SRCCOPY);
}

void SetHorizontalPosition(int position) {
  View().horizontalOffset = position;
  if (MainWindow().horizontalScrollBar) SetScrollPos(MainWindow().horizontalScrollBar, SB_CTL, position, TRUE);
}

// Whether the image shown is a fixed-length recording's, kept in memory with its samples:
// its step is the recording's samples per column and the time scale the column time the
// recording measured, for the file the recording wrote. An analysis of that file made
// afterwards has its own step and time scale.
bool ShowingRecording() {
  const CaptureState& c = Capture();
  const AnalysisState& a = Analysis();
  return a.sampleBuffer && c.samplesPerColumn > 0 && a.step == c.samplesPerColumn &&
         Settings().timeScaleMs == c.measuredColumnTimeMs && !c.outputPath.empty() && a.filePath == c.outputPath;
}

// Milliseconds of sound under one column of the image shown: a recording's columns are as
// far apart as the recording measured; an analysed file's are its step at its rate and
// channels (the time scale only when there is no step).
double PlayColumnTimeMs() {
  if (ShowingRecording()) return static_cast<double>(Capture().measuredColumnTimeMs);
  const AnalysisState& a = Analysis();
  const double t = ColumnTimeMs(a.step, a.format.channels, a.format.sampleRate);
  return t > 0.0 ? t : static_cast<double>(Settings().timeScaleMs);
}

// The lead added to the elapsed play time: a recording's own (latency + the time scale's
// integer part, set by the recording); an image made by the file analysis plays with none.
double PlaybackLeadMs() { return ShowingRecording() ? static_cast<double>(Capture().playbackLeadMs) : 0.0; }

// What both buttons need before they can play: an image and its samples, nothing running.
bool CanPlay() {
  const OperatingMode& mode = Mode();
  if (mode.playbackActive || mode.fileScanPlaybackActive || mode.audioInputActive || mode.rendering ||
      mode.fileAnalysisInProgress) {
    return false;
  }
  const AnalysisState& a = Analysis();
  return a.sampleBuffer && Display().exists() && a.dataLength > 0 && Analysis().columnCount > 0;
}

// Locks the sample buffer and opens the device on `length` bytes from `offset` of its
// samples. On refusal the message is shown and the buffer is left as it was.
bool StartOutput(HWND window, uint32_t offset, uint32_t length) {
  AnalysisState& a = Analysis();
  uint8_t* block = a.sampleBuffer.Lock();
  if (!block) return false;
  const WAVEFORMATEX format = FormatOfWaveHeader(block);
  if (!OpenOutputDevice(window, format, block + kWaveHeaderLength + offset, length, 0, 0) ||
      !WriteOutputDevice()) {
    ReleaseOutputDevice();
    a.sampleBuffer.Unlock();
    ShowMessage(window, kCannotOpenAudioDevice, MB_ICONHAND);
    return false;
  }
  // Stays locked in the analysis until the playback ends; a close meanwhile unlocks it
  // before freeing it.
  return true;
}

// After the loop of either button: the grid, the buffer unlocked, the clock row cleared,
// the data-loaded menu. The data is still held, so the information panel keeps its values.
void EndPlayback(HWND window) {
  if (!IsWindow(window)) return;  // closed meanwhile: the close step released everything
  AnalysisState& a = Analysis();
  if (Mode().gridOn) {
    WindowDc dcOwner(window);
    HDC dc = dcOwner.get();
    RealizeProgramPalette(dc);
    DrawGrid(dc, false);
  }
  a.sampleBuffer.Unlock();
  Mode().rendering = 0;
  ClearReadout(window);
  SetMenuState(window, MenuState::DataLoaded);
}

// Runs until MM_WOM_DONE clears the play flag; `onIdle` draws for the elapsed time.
template <typename Draw>
void PlayLoop(Draw draw) {
  CaptureState& c = Capture();
  const double lead = PlaybackLeadMs();
  while (Mode().playbackActive) {
    const PumpResult pumped = PumpOneMessage();
    if (pumped == PumpResult::Quit) break;
    if (pumped == PumpResult::Dispatched) continue;
    const double elapsed = NowMs() - c.playStartTimeMs + lead;
    if (!draw(elapsed)) SleepEx(2, FALSE);
  }
}

// MM_WOM_DONE of "Play" / "Play Wdw": device closed, header freed, buttons back, the image
// area repainted from the display bitmap (which takes the cursor away).
void FinishPlayback(HWND window) {
  ReleaseOutputDevice();
  Capture().playing = 0;
  if (IsWindow(window)) {
    SetButtons(ButtonsState::Shown);
    WindowDc dcOwner(window);
    HDC dc = dcOwner.get();
    RealizeProgramPalette(dc);
    CopyView(dc);
  }
  Mode().playbackActive = 0;
}

}  // namespace

// The capture's clock: one clock for every loop, extended past the 32-bit wrap.
double NowMs() { return CaptureClockMs(); }

PumpResult PumpOneMessage() {
  MSG message;
  if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return PumpResult::Idle;
  if (message.message == WM_QUIT) {
    // The message loop outside must still see it.
    PostQuitMessage(static_cast<int>(message.wParam));
    return PumpResult::Quit;
  }
  if (!IsModelessDialogMessage(&message)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return PumpResult::Dispatched;
}

WAVEFORMATEX FormatOfWaveHeader(const uint8_t* header) {
  const uint8_t* f = header + 20;
  WAVEFORMATEX format{};
  format.wFormatTag = ReadU16(f);
  format.nChannels = ReadU16(f + 2);
  format.nSamplesPerSec = ReadU32(f + 4);
  format.nAvgBytesPerSec = ReadU32(f + 8);
  format.nBlockAlign = ReadU16(f + 12);
  format.wBitsPerSample = ReadU16(f + 14);
  format.cbSize = 0;
  return format;
}

bool OpenOutputDevice(HWND window, const WAVEFORMATEX& format, uint8_t* data, uint32_t length, DWORD flags,
                      DWORD loops) {
  CaptureState& c = Capture();
  if (c.outputDevice) return false;
  if (!c.playHeaderBlock.Allocate(sizeof(WAVEHDR))) return false;
  WAVEHDR* header = reinterpret_cast<WAVEHDR*>(c.playHeaderBlock.data());
  header->lpData = reinterpret_cast<LPSTR>(data);
  header->dwBufferLength = length;
  header->dwBytesRecorded = length;
  header->dwFlags = flags;
  header->dwLoops = loops;
  c.playHeader = header;

  WAVEFORMATEX wanted = format;
  HWAVEOUT device = nullptr;
  if (waveOutOpen(&device, WAVE_MAPPER, &wanted, reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW) !=
      MMSYSERR_NOERROR) {
    ReleaseOutputDevice();
    return false;
  }
  c.outputDevice = device;
  c.outputResetSent = 0;
  if (waveOutPrepareHeader(device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
    ReleaseOutputDevice();
    return false;
  }
  return true;
}

bool WriteOutputDevice() {
  CaptureState& c = Capture();
  if (!c.outputDevice || !c.playHeader) return false;
  return waveOutWrite(c.outputDevice, c.playHeader, sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
}

void ReleaseOutputDevice() {
  CaptureState& c = Capture();
  if (c.outputDevice && c.playHeader && (c.playHeader->dwFlags & WHDR_PREPARED)) {
    // A header still queued is returned first, or it could not be unprepared.
    if (!(c.playHeader->dwFlags & WHDR_DONE) && !c.outputResetSent) waveOutReset(c.outputDevice);
    waveOutUnprepareHeader(c.outputDevice, c.playHeader, sizeof(WAVEHDR));
  }
  if (c.outputDevice) waveOutClose(c.outputDevice);
  c.outputDevice = nullptr;
  c.playHeaderBlock.Free();
  c.playHeader = nullptr;
  c.outputResetSent = 0;
}

void ResetOutputDevice() {
  CaptureState& c = Capture();
  if (!c.outputDevice || c.outputResetSent) return;
  c.outputResetSent = 1;
  waveOutReset(c.outputDevice);
}

// ---------------------------------------------------------------------------
// "Play": the whole sample buffer, the image revealed column by column with it.

void OnPlay(HWND window, LPARAM) {
  if (!CanPlay()) return;
  AnalysisState& a = Analysis();
  if (!StartOutput(window, 0, a.dataLength)) return;
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  const ViewState& v = View();

  WindowDc dcOwner(window);
  HDC dc = dcOwner.get();

  RealizeProgramPalette(dc);
  FillWithIndex(dc, v.imageWidth, v.imageHeight, kIndexFloor);
  DrawMarginLines(dc, v.imageWidth);
  View().gridOnScreen = false;

  SetMenuState(window, MenuState::Busy);
  SetButtons(ButtonsState::Running);
  mode.playbackActive = 1;
  c.playing = 1;
  DrawInfoPanel(window, a.format.sampleRate, PanelBits(a), PanelLength(a), a.coding);
  SetHorizontalPosition(0);
  c.lastDrawnColumn = -1;
  c.playStartTimeMs = NowMs();

  const double columnMs = PlayColumnTimeMs();
  PlayLoop([&](double elapsed) {
    DrawReadoutElapsed(window, static_cast<float>(elapsed));
    const PlayReveal r =
        RevealForColumn(PlayColumn(elapsed, columnMs), c.lastDrawnColumn, View().imageWidth, a.columnCount);
    if (!r.copy) return false;
    c.lastDrawnColumn = r.lastDrawn;
    if (r.scroll) SetHorizontalPosition(r.scrollPosition);
    WindowDc screenOwner(window);
    HDC screen = screenOwner.get();
    RealizeProgramPalette(screen);
    CopyColumns(screen, r.sourceX, r.width);
    return true;
  });
  EndPlayback(window);
}

// ---------------------------------------------------------------------------
// "Play Wdw": from the view's left edge, with a one-pixel cursor across the image area.

void OnPlayWindow(HWND window, LPARAM) {
  if (!CanPlay()) return;
  AnalysisState& a = Analysis();
  const ViewState& v = View();
  const PlaySpan span = PlayWindowSpan(a.step, static_cast<uint32_t>(a.format.BytesPerSample()),
                                       v.horizontalOffset, a.columnCount, v.imageWidth, a.dataLength);
  if (span.length == 0) return;  // the view starts past the data: nothing to play
  if (!StartOutput(window, span.offset, span.length)) return;
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();

  c.lastDrawnColumn = kNoCursorColumn;
  c.leftAreaAtColumn = -1;
  mode.playbackActive = 1;
  mode.rendering = 1;
  c.playing = 1;
  c.playStartTimeMs = NowMs();
  SetMenuState(window, MenuState::Busy);
  SetButtons(ButtonsState::Running);

  const double columnMs = PlayColumnTimeMs();
  HDC cursor = Drawing().cursorDc;
  PlayLoop([&](double elapsed) {
    const int height = View().imageHeight;
    const int32_t column = PlayColumn(elapsed, columnMs);
    const CursorStep s = StepCursor(column, c.lastDrawnColumn, View().imageWidth);
    if (s.leftArea) {
      // The sound stops where the cursor leaves the part of the image shown.
      c.leftAreaAtColumn = column;
      ResetOutputDevice();
      return false;
    }
    if (!s.move || !cursor) return false;
    WindowDc screenOwner(window);
    HDC screen = screenOwner.get();
    RealizeProgramPalette(screen);
    if (s.restoreX >= 0) BitBlt(screen, s.restoreX, 0, 1, height, cursor, kCursorSavedColumn, 0, SRCCOPY);
    BitBlt(cursor, kCursorSavedColumn, 0, 1, height, screen, s.drawX, 0, SRCCOPY);
    BitBlt(screen, s.drawX, 0, 1, height, cursor, kCursorSourceColumn, 0, SRCCOPY);
    c.lastDrawnColumn = s.drawX;
    return true;
  });
  EndPlayback(window);
}

// ---------------------------------------------------------------------------
// "Stop", MM_WOM_DONE and closing.

void OnStop(HWND window, LPARAM) {
  OperatingMode& mode = Mode();
  mode.stopRequest = 1;
  if (mode.playbackActive || mode.fileScanPlaybackActive) ResetOutputDevice();
  StopCaptureDevice();
  // The buffers the devices return are handled now.
  DrainMessageQueue();
  EnableButton(MainWindow().stopButton, false);
  (void)window;
}

LRESULT OnWaveOutDone(HWND window, WPARAM wParam, LPARAM) {
  // A device already released (by the close step or a refused start) has nothing more to
  // return; a late message of an earlier device is not this one's.
  const HWAVEOUT device = Capture().outputDevice;
  if (!device || reinterpret_cast<HWAVEOUT>(wParam) != device) return 0;
  if (Mode().fileScanPlaybackActive) {
    FinishFileScanOutput();
  } else {
    FinishPlayback(window);
  }
  return 0;
}

void ResetAudioDevicesForClose() {
  if (Capture().outputDevice) {
    ResetOutputDevice();
    // The window is about to go, and with it the device's last message: the device and its
    // buffers are released here rather than left to a message that may come too late.
    if (Mode().fileScanPlaybackActive) {
      FinishFileScanOutput();
    } else {
      FinishPlayback(MainWindow().window);
    }
  }
  StopCaptureDevice();
}

}  // namespace hl
