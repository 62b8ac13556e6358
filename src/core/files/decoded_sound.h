// Sound from a compressed file (FLAC, MP3, Ogg Vorbis, Opus), decoded into the form the rest
// of the program already reads: a complete PCM WAV image in memory. The decoder of the
// platform (libsndfile on Linux, Media Foundation on Windows) fills it; everything after the
// decoding - the header reader, the column renderer, playback, "Save &Wave" - sees a WAV.
//
// Sample values reach the WAV by the rules of frame_decoder.h: a lossless integer source
// keeps its own resolution (16-bit stays 16-bit, 24-bit stays 24-bit, so the time–frequency
// image equals the image of the same samples in a WAV); a floating-point decoder output is
// written as 16-bit, x × 32768 truncated toward zero and held to -32768..32767.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hl {

// What a file is, read from its first bytes, never from its name.
enum class SoundContainer { Unknown, Wave, Flac, Mp3, Ogg };

// `head` is the file's first bytes (at most `count`; 64 KiB is enough for any ID3 tag's
// size field and the first MPEG frame header after it).
SoundContainer SniffContainer(const uint8_t* head, size_t count);

struct DecodedSound {
  uint32_t sampleRate = 0;
  uint16_t channels = 0;
  uint16_t bitsPerSample = 0;  // of the WAV image: 16 or 24
  std::string coding;          // for the information panel: "FLAC 24-bit", "MP3 192 kbit/s"
  std::vector<uint8_t> wave;   // header + interleaved samples of every channel
};

}  // namespace hl
