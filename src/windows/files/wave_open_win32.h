// Opening a chosen wave file and reading its header: the one path "&Analyze File" and
// "&Scan File" share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/base/messages.h"
#include "core/files/wave_format.h"

namespace hl {

struct OpenedWave {
  Message refusal = Message::None;  // CannotOpenFile, SampleSizeTooSmall, or None
  WaveHeaderInfo header;            // read from the first block when not refused
  SampleLayout source;              // the file's own format (ReadAnalysedWave)
  uint64_t fileSize = 0;
  // A header the analysis cannot use (a RIFF file without its fmt or data chunk, an
  // inconsistent format, big-endian, compressed): the message that says so. The file is not
  // analysed; `refusal` stays None.
  std::string formatRefusal;
};

// Reads of an open file by position, for the header readers.
ReadBytesAt HandleBytes(HANDLE file);

// The message for a file that is not analysed: what its header lacks, or its format by name.
std::string FormatRefusalText(const SampleLayout& source);

// Shows FormatRefusalText's message; true when `opened` is such a file.
bool RefuseUnreadableFormat(HWND owner, const OpenedWave& opened);

// Opens `path` for reading with `accessHint` (FILE_FLAG_RANDOM_ACCESS or
// FILE_FLAG_SEQUENTIAL_SCAN), refuses a file it cannot open or one shorter than the shortest
// file, and reads the header (walking a RIFF file's chunks); the file is closed again.
OpenedWave ReadChosenWave(const char* path, DWORD accessHint);

// The name after the last folder separator ("\", "/" or ":").
std::string NameWithoutFolder(const std::string& path);

}  // namespace hl
