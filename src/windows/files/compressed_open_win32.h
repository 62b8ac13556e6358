// A chosen file whose content is compressed sound (FLAC, MP3, Ogg Vorbis, Opus): decoded
// whole when it is opened, with the share decoded in the window's caption and "Stop" (or
// Esc) to cancel, and its WAV image held under its path (base/sound_source_win32.h), so that
// every reader after this one sees a wave file. What a file is comes from its bytes; its
// name only words the message for bytes that are not what the name says.
#pragma once

#include <windows.h>

#include <string>

namespace hl {

enum class CompressedOpen {
  NotCompressed,  // a wave file or headerless data: read from disk as always
  Decoded,        // the image is held under the path
  Cancelled,      // "Stop" during the decoding; nothing changed
  Refused,        // `message` says why; nothing changed
};

struct CompressedOpenResult {
  CompressedOpen outcome = CompressedOpen::NotCompressed;
  std::string message;
};

// Decodes `path` when its first bytes are FLAC, MP3 or Ogg. `keep` is the file the window
// shows: its image stays held beside the new one. `stopButton` is enabled while the decoding
// runs and disabled after.
CompressedOpenResult DecodeIfCompressed(HWND window, HWND stopButton, const std::string& path,
                                        const std::string& keep);

}  // namespace hl
