// The input device of a capture: its buffer returns (MM_WIM_DATA), its close (MM_WIM_CLOSE),
// the recording's output file, and the memory of the capture block and its header. The
// handlers run nested in the poll loop's message drains.
//
// The card records into one block through a single buffer header. "Any" length alternates
// the header between two halves: each returned buffer is re-queued on the other half at
// once, and a recording then writes the rest of the half just filled to its file (what the
// card had put in it is written each whole second while it fills). A fixed length (10, 20,
// 30 s) records the whole block in one buffer, written the same way, and keeps it as the
// sample buffer.
#include "windows/sound/capture_device_win32.h"

#include <mmsystem.h>

#include "windows/base/handles_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/sound/capture.h"
#include "windows/sound/capture_state_win32.h"
#include "windows/sound/capture_win32.h"
#include "windows/base/wide_text_win32.h"
#include "windows/view/view_win32.h"
#include "core/files/wave_format.h"

namespace hl {

namespace {

// How long the end of a capture waits for the device's last buffer and its close message
// before it finishes the capture itself.
constexpr double kCloseWaitMs = 3000.0;
// A restart of the card that keeps being refused ends the capture instead of hanging.
constexpr int kRestartAttempts = 500;

CaptureRun& Run() { return Capture().run; }

// ---------------------------------------------------------------------------
// The output file.

// The header in front of the capture block gets the lengths of what the file holds now and
// goes over its first 46 bytes; the file pointer goes back to the end of the samples, and the
// file is flushed to the disk. A recording cut off by a crash, a kill or a power loss is then
// a valid wave file of everything written before: the samples go to the file at least once a
// second (WriteRecordingSoFar), so at most about a second and the card's buffer are lost.
void CommitRecordingHeader() {
  CaptureState& c = Capture();
  uint8_t* header = c.block.locked();
  if (!c.outputFile.valid() || !header) return;
  // The limit keeps the count within 32 bits.
  PatchRecordingHeader(header, static_cast<uint32_t>(Run().bytesWritten));
  LARGE_INTEGER start{};
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(kWaveHeaderLength + Run().bytesWritten);
  DWORD written = 0;
  if (!SetFilePointerEx(c.outputFile.get(), start, nullptr, FILE_BEGIN) ||
      !WriteFile(c.outputFile.get(), header, kWaveHeaderLength, &written, nullptr) || written != kWaveHeaderLength ||
      !SetFilePointerEx(c.outputFile.get(), end, nullptr, FILE_BEGIN) || !FlushFileBuffers(c.outputFile.get())) {
    Run().writeFailed = true;
  }
}

// Appends samples to the output file and commits the header. At the wave file's limit the
// part that fits is written and the recording stops (the capture loop ends on the stop
// request; the device returns its buffer and closes as on "Stop"); nothing is written after.
void WriteSamples(const uint8_t* bytes, uint32_t count) {
  CaptureState& c = Capture();
  if (!c.outputFile.valid() || count == 0 || Run().limitReached) return;
  const uint32_t fits = RecordingBytesThatFit(Run().bytesWritten, count, static_cast<uint32_t>(c.bytesPerSample));
  DWORD written = 0;
  if (fits > 0 && (!WriteFile(c.outputFile.get(), bytes, fits, &written, nullptr) || written != fits)) Run().writeFailed = true;
  Run().bytesWritten += written;
  if (fits < count) {
    Run().limitReached = true;
    Mode().stopRequest = 1;
  }
  CommitRecordingHeader();
}

// The header gets the true length and the file is closed. The length is what reached the
// file, which is every byte the card delivered unless a write failed or the limit was met.
void FinishOutputFile() {
  CaptureState& c = Capture();
  if (!c.outputFile.valid()) return;
  CommitRecordingHeader();
  if (!c.outputFile.Close()) Run().writeFailed = true;
}

// The device closes: the header is unprepared and waveInClose posts MM_WIM_CLOSE.
void CloseDevice() {
  CaptureState& c = Capture();
  if (!c.inputDevice || Run().closeRequested) return;
  if (c.header) waveInUnprepareHeader(c.inputDevice, c.header, sizeof(WAVEHDR));
  Run().closeRequested = true;
  waveInClose(c.inputDevice);
}

// MM_WIM_CLOSE's work: the file's header and close, the block released ("Any") or kept
// (fixed length, for the sample buffer), the buffer header freed, the capture over.
void FinishCapture() {
  CaptureState& c = Capture();
  if (c.recording) FinishOutputFile();
  if (FixedLengthCapture()) {
    c.block.Unlock();
    c.firstHalf = c.secondHalf = nullptr;
  } else {
    ReleaseCaptureBlock();
  }
  ReleaseHeaderBlock();
  c.inputDevice = nullptr;
  c.captureActive = 0;
  c.scanRunning = 0;
  Run().bufferQueued = false;
}

// A buffer came back from the card.
void HandleReturnedBuffer(WAVEHDR* h) {
  CaptureState& c = Capture();
  OperatingMode& mode = Mode();
  Run().bufferQueued = false;
  const DWORD recorded = h->dwBytesRecorded;
  c.totalBytesCaptured += recorded;
  if (Run().resetPending) {
    Run().samplesBeforeHalf = 0;
    Run().resetPending = false;
  } else if (c.bytesPerSample > 0) {
    Run().samplesBeforeHalf += recorded / static_cast<DWORD>(c.bytesPerSample);
  }
  if (FixedLengthCapture()) {
    mode.stopRequest = 1;
    // What the loop wrote as the card filled the buffer is there already; the rest follows.
    if (c.recording && recorded > Run().bytesWritten) {
      WriteSamples(c.firstHalf + Run().bytesWritten, recorded - static_cast<uint32_t>(Run().bytesWritten));
    }
    CloseDevice();
    return;
  }
  ++c.completedBuffers;
  // The part of the half written while the card filled it; the rest is written below.
  const uint32_t already = static_cast<uint32_t>(Run().queuedBytesWritten < recorded ? Run().queuedBytesWritten : recorded);
  Run().queuedBytesWritten = 0;
  c.previousHalfSamples = c.bytesPerSample > 0 ? static_cast<int32_t>(recorded / static_cast<DWORD>(c.bytesPerSample)) : 0;
  uint8_t* justFilled;
  if (c.completedBuffers % 2 == 1) {
    h->lpData = reinterpret_cast<LPSTR>(c.secondHalf);
    c.currentHalf = 1;
    justFilled = c.firstHalf;
  } else {
    h->lpData = reinterpret_cast<LPSTR>(c.firstHalf);
    c.currentHalf = 0;
    justFilled = c.secondHalf;
  }
  if (!mode.stopRequest) {
    // Re-queue first, so that the card loses as little as possible; then write.
    bool started = false;
    for (int attempt = 0; attempt < kRestartAttempts && !started; ++attempt) {
      waveInUnprepareHeader(c.inputDevice, h, sizeof(WAVEHDR));
      h->dwBufferLength = static_cast<DWORD>(c.bytesPerHalf);
      h->dwBytesRecorded = 0;
      h->dwUser = 0;
      h->dwFlags = 0;
      h->dwLoops = 0;
      if (waveInPrepareHeader(c.inputDevice, h, sizeof(WAVEHDR)) == MMSYSERR_NOERROR &&
          waveInAddBuffer(c.inputDevice, h, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) {
        Run().bufferQueued = true;
        started = waveInStart(c.inputDevice) == MMSYSERR_NOERROR;
      }
      if (!started) {
        if (Run().bufferQueued) {
          // The reset returns the buffer at once: its message is not a half of sound.
          waveInReset(c.inputDevice);
          MSG stale;
          while (PeekMessageW(&stale, nullptr, MM_WIM_DATA, MM_WIM_DATA, PM_REMOVE)) {
          }
          Run().samplesBeforeHalf = 0;
        }
        Run().bufferQueued = false;
        SleepEx(2, FALSE);
      }
    }
    c.switchTimeMs = CaptureClockMs();
    if (c.recording) WriteSamples(justFilled + already, recorded - already);
    if (!started) {
      // The card refuses to go on: the capture ends as if stopped, keeping what it has.
      mode.stopRequest = 1;
      CloseDevice();
    }
    return;
  }
  if (c.recording) WriteSamples(justFilled + already, recorded - already);
  CloseDevice();
}

}  // namespace

// ---------------------------------------------------------------------------
// Messages and the capture block.

// Peeks and dispatches every waiting message. A WM_QUIT is put back for the outer loop and
// ends the drain: false then.
bool PumpCaptureMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    if (IsModelessDialogMessage(&message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

bool FixedLengthCapture() { return Capture().recordSeconds > 0; }

// ---------------------------------------------------------------------------
// Memory of the capture.

void ReleaseHeaderBlock() {
  CaptureState& c = Capture();
  c.headerBlock.Free();
  c.header = nullptr;
}

void ReleaseCaptureBlock() {
  CaptureState& c = Capture();
  c.block.Free();
  c.firstHalf = c.secondHalf = nullptr;
}

void ReleaseDisplayBitmap() {
  DestroyDisplayBitmap();
}

// How far the card has written into the current half, by its own position; -1 when the
// device does not say.
int64_t CardSamplesInHalf() {
  const CaptureState& c = Capture();
  if (!c.inputDevice) return -1;
  MMTIME position{};
  position.wType = TIME_SAMPLES;
  if (waveInGetPosition(c.inputDevice, &position, sizeof position) != MMSYSERR_NOERROR) return -1;
  int64_t samples;
  if (position.wType == TIME_SAMPLES) {
    samples = position.u.sample;
  } else if (position.wType == TIME_BYTES && c.bytesPerSample > 0) {
    samples = position.u.cb / static_cast<DWORD>(c.bytesPerSample);
  } else {
    return -1;
  }
  return samples - Run().samplesBeforeHalf;
}

// How far the card has written into the current half by its buffer header's own count; -1
// when the header cannot say. A driver may count only when it returns the buffer (WHDR_DONE),
// so a queued buffer's 0 says nothing.
int64_t HeaderSamplesInHalf() {
  const CaptureState& c = Capture();
  if (!c.header || !Run().bufferQueued || c.bytesPerSample <= 0) return -1;
  const DWORD recorded = c.header->dwBytesRecorded;
  if (recorded == 0 && !(c.header->dwFlags & WHDR_DONE)) return -1;
  return recorded / static_cast<DWORD>(c.bytesPerSample);
}

// Ends a capture whose device messages cannot be waited for any longer (the window is gone,
// or the driver never answered): what the card has returned is taken from the header itself.
void FinishCaptureNow() {
  CaptureState& c = Capture();
  Mode().stopRequest = 1;
  if (c.inputDevice && !Run().closeRequested) {
    waveInStop(c.inputDevice);
    waveInReset(c.inputDevice);
    if (Run().bufferQueued && c.header && (c.header->dwFlags & WHDR_DONE)) {
      HandleReturnedBuffer(c.header);
    } else if (!Run().bufferQueued) {
      CloseDevice();
    }
  }
  if (Run().bufferQueued) {
    // The driver still holds the buffer: its memory cannot be freed under it. The file is
    // still completed with what was written.
    if (c.recording) FinishOutputFile();
    c.captureActive = 0;
    return;
  }
  if (c.captureActive) FinishCapture();
}

// Waits, pumping messages, until the device's close has been handled; bounded.
void AwaitDeviceClose(HWND window) {
  CaptureState& c = Capture();
  // The loop ends on the stop request alone; a device still recording is stopped here
  // whoever raised it.
  StopCaptureDevice();
  const double start = CaptureClockMs();
  while (c.captureActive && IsWindow(window) && CaptureClockMs() - start < kCloseWaitMs) {
    if (!PumpCaptureMessages()) break;
    if (!c.captureActive) break;
    SleepEx(2, FALSE);
  }
  if (c.captureActive) FinishCaptureNow();
}

// The output file of a recording, created (or truncated) with the header of no samples
// yet, so that it is a wave file from the start; the samples follow from byte 46.
bool CreateRecordingFile() {
  CaptureState& c = Capture();
  c.outputFile.Reset(CreateFileW(Wide(c.outputPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!c.outputFile.valid()) return false;
  CommitRecordingHeader();
  return true;
}

// The card fills its buffer as the sound arrives: a fixed length's one area, returned only
// when full, or the half of an "Any" length being filled, returned after several seconds.
// Every whole second more it holds goes to the file (and the header is committed), so that a
// recording cut off keeps what was captured. The card's count is the buffer header's, or,
// for a driver that counts only on return, its position in the half.
void WriteRecordingSoFar() {
  CaptureState& c = Capture();
  if (!c.recording || !c.outputFile.valid() || !c.header || !Run().bufferQueued || c.bytesPerSample <= 0) return;
  const bool fixed = FixedLengthCapture();
  const uint64_t size = fixed ? c.areaBytes : static_cast<uint64_t>(c.bytesPerHalf);
  uint64_t held = c.header->dwBytesRecorded;
  if (held == 0 && !fixed) {
    const int64_t samples = CardSamplesInHalf();
    held = samples > 0 ? static_cast<uint64_t>(samples) * static_cast<uint64_t>(c.bytesPerSample) : 0;
  }
  if (held > size) held = size;
  uint64_t& done = fixed ? Run().bytesWritten : Run().queuedBytesWritten;
  const uint64_t second = static_cast<uint64_t>(c.sampleRate) * static_cast<uint64_t>(c.bytesPerSample);
  if (second == 0 || held < done + second) return;
  const uint64_t whole = held - held % static_cast<uint64_t>(c.bytesPerSample);
  const uint8_t* buffer = reinterpret_cast<const uint8_t*>(c.header->lpData);
  const uint64_t before = Run().bytesWritten;
  WriteSamples(buffer + done, static_cast<uint32_t>(whole - done));
  if (!fixed) Run().queuedBytesWritten += Run().bytesWritten - before;
}

// The format the card is opened with.
WAVEFORMATEX CaptureFormat(const CaptureState& c) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = static_cast<WORD>(c.channels);
  f.nSamplesPerSec = static_cast<DWORD>(c.sampleRate);
  f.nAvgBytesPerSec = static_cast<DWORD>(c.channels * c.bytesPerSample * c.sampleRate);
  f.nBlockAlign = static_cast<WORD>(c.bytesPerSample * c.channels);
  f.wBitsPerSample = static_cast<WORD>(c.bitsPerSample);
  f.cbSize = 0;
  return f;
}

double CaptureClockMs() {
  MMTIME time{};
  time.wType = TIME_MS;
  while (timeGetSystemTime(&time, sizeof time) != TIMERR_NOERROR) {
    time.wType = TIME_MS;
  }
  return static_cast<double>(Capture().clock.Extend(time.u.ms));
}

void StopCaptureDevice() {
  CaptureState& c = Capture();
  if (!c.captureActive) return;
  Mode().stopRequest = 1;
  if (c.inputDevice && !Run().closeRequested) {
    waveInStop(c.inputDevice);
    waveInReset(c.inputDevice);
  }
}

LRESULT OnWaveInData(HWND, WPARAM wParam, LPARAM lParam) {
  CaptureState& c = Capture();
  WAVEHDR* h = reinterpret_cast<WAVEHDR*>(lParam);
  // A buffer of a device this capture no longer owns (or one already taken) is ignored.
  if (!c.captureActive || !c.inputDevice || reinterpret_cast<HWAVEIN>(wParam) != c.inputDevice || h != c.header ||
      !Run().bufferQueued) {
    return 0;
  }
  HandleReturnedBuffer(h);
  return 0;
}

LRESULT OnWaveInClose(HWND, WPARAM wParam, LPARAM) {
  CaptureState& c = Capture();
  if (!c.captureActive || !c.inputDevice || reinterpret_cast<HWAVEIN>(wParam) != c.inputDevice) return 0;
  FinishCapture();
  return 0;
}

}  // namespace hl
