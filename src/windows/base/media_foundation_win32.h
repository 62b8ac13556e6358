// A compressed sound file (FLAC, MP3, Ogg Vorbis, Opus) decoded whole by the system's Media
// Foundation into a DecodedSound: the WAV image in memory that the rest of the program reads
// as it reads a wave file. Used by the program and by harrowlight-cli.exe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/files/decoded_sound.h"

namespace hl {

// Called after each decoded piece with the share of the file's duration decoded so far
// (0..1; 0 throughout when the duration is not known). Returning false stops the decoding.
using DecodeProgress = std::function<bool(double fraction)>;

struct MediaDecodeResult {
  bool ok = false;
  bool cancelled = false;  // the progress callback said stop; `message` is empty then
  std::string message;     // one line for the user when !ok and !cancelled
};

// Decodes the file at `path` (UTF-8), whose content SniffContainer found to be `kind`
// (Flac, Mp3 or Ogg), into `out`. PCM is asked for at the source's own resolution where the
// decoder offers it (a 16-bit FLAC gives its 16-bit samples, a 24-bit one its 24-bit
// samples); a decoder that gives only floating point has its samples written as 16-bit,
// x × 32768 truncated toward zero. `out` is left empty unless the result is ok.
MediaDecodeResult DecodeWithMediaFoundation(const std::string& path, SoundContainer kind, DecodedSound& out,
                                            const DecodeProgress& progress);

}  // namespace hl
