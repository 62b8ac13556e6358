// The command-line tool's decoding of compressed sound files: libsndfile on Linux
// (sound_decoder_sndfile.cpp), the system's Media Foundation on Windows
// (sound_decoder_win32.cpp). Both fill the same DecodedSound, a WAV image in memory.
#pragma once

#include <cstdint>
#include <string>

#include "core/files/decoded_sound.h"
#include "core/files/wave_format.h"

namespace hl {

struct DecodeResult {
  bool ok = false;
  std::string message;  // one line for the user when !ok
};

// Decodes the whole file. `path` names it for messages (and for a decoder that opens files
// by name); `read` and `size` give its bytes (standard input arrives as its spooled copy).
DecodeResult DecodeSound(const std::string& path, const ReadBytesAt& read, uint64_t size, SoundContainer kind,
                         DecodedSound& out);

}  // namespace hl
