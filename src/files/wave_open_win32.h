// Opening a chosen wave file and reading its header: the one path "&Analyze File" and
// "&Scan File" share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/messages.h"
#include "files/wave_format.h"

namespace hl {

struct OpenedWave {
  Message refusal = Message::None;  // CannotOpenFile, SampleSizeTooSmall, or None
  WaveHeaderInfo header;            // read from the first block when not refused
  SampleLayout source;              // the file's own format (ReadAnalysedWave)
  uint64_t fileSize = 0;
  // A readable header of a format the analysis does not decode (big-endian, compressed):
  // the message that names it. The file is not analysed; `refusal` stays None.
  std::string formatRefusal;
};

// The message for a file of a format that is not analysed, naming the format.
std::string FormatRefusalText(const SampleLayout& source);

// Shows FormatRefusalText's message; true when `opened` is such a file.
bool RefuseUnreadableFormat(HWND owner, const OpenedWave& opened);

// Opens `path` for reading with `accessHint` (FILE_FLAG_RANDOM_ACCESS or
// FILE_FLAG_SEQUENTIAL_SCAN), refuses a file it cannot open or one shorter than the shortest
// file, and reads the header from the file's first block; the file is closed again.
OpenedWave ReadChosenWave(const char* path, DWORD accessHint);

// The name after the last folder separator ("\", "/" or ":").
std::string NameWithoutFolder(const std::string& path);

}  // namespace hl
