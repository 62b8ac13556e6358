// The program's fixed message texts, and the one table that maps a result to them.
// Core code returns a Message; only the shell (or the command-line tool) shows it.
#pragma once

#include <string>

namespace hl {

enum class Message {
  None = 0,
  // Refused input (shown with a hand icon).
  ImproperEntry,
  TimeScaleTooSmall,
  SampleSizeTooSmall,
  ImproperBeginOrEnd,
  TimeScaleOutOfRange,
  FftWindowTooSmall,
  SampleRateOutOfRange,
  ErrorWritingFile,
  NotEnoughMemoryForBitmap,
  BitmapError,
  // Missing files, devices or resources, and warnings (exclamation icon).
  CannotOpenFile,
  NotPcmWaveFormat,
  NotEnoughMemory,
  NotEnoughDisplayMemory,
  RecordingLimitReached,
  // A RIFF WAVE file that cannot be analysed (exclamation icon); never read as raw samples.
  NoFmtChunk,
  UnreadableFmtChunk,
  NoDataChunk,
  InconsistentFormat,
  // A compressed sound file (FLAC, MP3, Ogg) its decoder cannot read through, or too long for
  // the WAV it is decoded to (exclamation icon).
  UndecodableSound,
};

enum class MessageIcon { Hand, Exclamation };

// The exact text the program shows for a message ("" for None).
const char* MessageText(Message message);
MessageIcon MessageIconOf(Message message);

// The limits of core/base/limits.h as the refusals name them.
enum class Limit {
  TimeScaleRange,    // "1..500 ms"
  LongestTimeScale,  // "500 ms"
  ShortestWindow,    // "1 ms"
  SampleRateRange,   // "4000..44100 Hz"
  FileRateRange,     // "4000..384000 Hz"
  HighestFileRate,   // "384000 Hz"
  ShortestFile,      // "2048" (bytes)
};
std::string LimitText(Limit limit);

}  // namespace hl
