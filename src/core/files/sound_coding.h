// What a compressed sound file's first bytes say about its coding, and the texts that name it:
// the information panel's coding ("FLAC 24-bit", "MP3 192 kbit/s") and the messages for a
// file the system cannot decode or whose name promises a coding its bytes do not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/files/decoded_sound.h"

namespace hl {

enum class SoundCodec { Unknown, Flac, Mp3, Vorbis, Opus };

// The codec of a file of `kind` whose first bytes are `head`: an Ogg stream's first packet
// says "OpusHead" or "\x01vorbis"; an Ogg stream of neither is Unknown.
SoundCodec CodecOf(SoundContainer kind, const uint8_t* head, size_t count);

// The bits per sample a FLAC stream's STREAMINFO block stores (4 to 32); 0 when `head` does
// not begin with "fLaC" and a STREAMINFO block.
int FlacBitsPerSample(const uint8_t* head, size_t count);

// The format as the messages name it: "FLAC", "MP3", "Ogg" (Vorbis), "Opus"; "sound" else.
const char* CodecFormatName(SoundCodec codec);

// The information panel's coding: "FLAC 24-bit" (bits 0: "FLAC"), "MP3 192 kbit/s",
// "Ogg Vorbis 128 kbit/s", "Opus 96 kbit/s" (bits per second 0: the codec's name alone).
std::string CodingText(SoundCodec codec, int flacBits, uint32_t bitsPerSecond);

// "This computer has no decoder for this MP3 file".
std::string NoDecoderText(SoundCodec codec);

// The codec a file name's extension promises (.flac, .mp3, .ogg, .oga, .opus; any letter
// case); Unknown for any other name. Content decides how a file is read; the name only
// words the message for a file whose bytes are not what its name says.
SoundCodec CodecOfName(const std::string& path);

// "This file is named as FLAC, but its bytes are not FLAC sound".
std::string NotThatCodingText(SoundCodec named);

}  // namespace hl
