// A stand-in for SniffContainer until decoded_sound.cpp arrives with its own; this file is
// deleted then. It knows only what the Windows decoding needs to tell the files apart.
#include <cstring>

#include "core/files/decoded_sound.h"

namespace hl {

SoundContainer SniffContainer(const uint8_t* head, size_t count) {
  if (count >= 12 && (std::memcmp(head, "RIFF", 4) == 0 || std::memcmp(head, "RF64", 4) == 0 ||
                      std::memcmp(head, "BW64", 4) == 0) && std::memcmp(head + 8, "WAVE", 4) == 0) {
    return SoundContainer::Wave;
  }
  if (count >= 4 && std::memcmp(head, "fLaC", 4) == 0) return SoundContainer::Flac;
  if (count >= 4 && std::memcmp(head, "OggS", 4) == 0) return SoundContainer::Ogg;
  size_t at = 0;
  if (count >= 10 && std::memcmp(head, "ID3", 3) == 0) {
    at = 10 + ((size_t{head[6]} & 0x7F) << 21 | (size_t{head[7]} & 0x7F) << 14 | (size_t{head[8]} & 0x7F) << 7 |
               (size_t{head[9]} & 0x7F));
  }
  // An MPEG audio frame: 11 sync bits, a layer that is not 0 and a bitrate index not 15.
  if (at + 4 <= count && head[at] == 0xFF && (head[at + 1] & 0xE0) == 0xE0 && (head[at + 1] & 0x06) != 0 &&
      (head[at + 2] & 0xF0) != 0xF0) {
    return SoundContainer::Mp3;
  }
  return SoundContainer::Unknown;
}

}  // namespace hl
