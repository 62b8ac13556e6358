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

#include "core/files/wave_format.h"

namespace hl {

// What a file is, read from its first bytes, never from its name.
enum class SoundContainer { Unknown, Wave, Flac, Mp3, Ogg };

// `head` is the file's first bytes (at most `count`; 64 KiB is enough for any ID3 tag's
// size field and the first MPEG frame header after it).
//  - "RIFF", "RF64" or "BW64" with "WAVE" at 8: Wave;  "fLaC": Flac;  "OggS": Ogg (Vorbis, Opus
//    or FLAC inside);
//  - an ID3v2 tag ("ID3", version, flags, a synchsafe size), however large, followed by an MPEG
//    audio frame header (or by "fLaC"), or an MPEG audio frame header at the start whose next
//    frame, where `count` reaches it, starts with one too: Mp3 (or Flac);
//  - an ID3v2 tag that ends past `count`: Mp3, since what follows it cannot be seen here (the
//    reader form below looks);
//  - anything else: Unknown, which the readers take for headerless data.
SoundContainer SniffContainer(const uint8_t* head, size_t count);
// The same for the whole file: reads its first bytes and those after each ID3v2 tag, however
// far on they lie.
SoundContainer SniffContainer(const ReadBytesAt& read, uint64_t fileSize);

// The first MPEG audio frame of a file, after its ID3v2 tags.
struct MpegFrameStart {
  bool found = false;
  uint64_t offset = 0;  // of the frame header
  int kbps = 0;         // the frame's bitrate; 0 for the free format
};
MpegFrameStart FindMpegFrame(const ReadBytesAt& read, uint64_t fileSize);

// The largest data a DecodedSound's WAV can describe: its 32-bit RIFF size holds the data
// length plus the rest of the 46-byte header.
constexpr uint64_t kLargestDecodedData = 0xFFFFFFFFull - (kWaveHeaderLength - 8);

struct DecodedSound {
  uint32_t sampleRate = 0;
  uint16_t channels = 0;
  uint16_t bitsPerSample = 0;  // of the WAV image: 16 or 24
  std::string coding;          // for the information panel: "FLAC 24-bit", "MP3 192 kbit/s"
  std::vector<uint8_t> wave;   // header + interleaved samples of every channel
};

}  // namespace hl
