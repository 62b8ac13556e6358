#include "core/files/sound_coding.h"

#include <cstring>

namespace hl {

namespace {

bool HasAt(const uint8_t* head, size_t count, size_t at, const char* text) {
  const size_t length = std::strlen(text);
  return at + length <= count && std::memcmp(head + at, text, length) == 0;
}

}  // namespace

SoundCodec CodecOf(SoundContainer kind, const uint8_t* head, size_t count) {
  switch (kind) {
    case SoundContainer::Flac:
      return SoundCodec::Flac;
    case SoundContainer::Mp3:
      return SoundCodec::Mp3;
    case SoundContainer::Ogg: {
      // The first page's header is 27 bytes and its segment table as long as byte 26 says;
      // the codec's identification packet starts right after.
      if (count < 27) return SoundCodec::Unknown;
      const size_t packet = 27 + size_t{head[26]};
      if (HasAt(head, count, packet, "OpusHead")) return SoundCodec::Opus;
      if (HasAt(head, count, packet, "\x01vorbis")) return SoundCodec::Vorbis;
      return SoundCodec::Unknown;
    }
    default:
      return SoundCodec::Unknown;
  }
}

int FlacBitsPerSample(const uint8_t* head, size_t count) {
  // "fLaC", a 4-byte block header whose type (low 7 bits) is 0, then STREAMINFO: block sizes
  // (2 + 2), frame sizes (3 + 3), 20 bits of rate, 3 of channels - 1, 5 of bits - 1.
  if (count < 22 || !HasAt(head, count, 0, "fLaC") || (head[4] & 0x7F) != 0) return 0;
  return (((head[20] & 0x01) << 4) | (head[21] >> 4)) + 1;
}

const char* CodecFormatName(SoundCodec codec) {
  switch (codec) {
    case SoundCodec::Flac:
      return "FLAC";
    case SoundCodec::Mp3:
      return "MP3";
    case SoundCodec::Vorbis:
      return "Ogg";
    case SoundCodec::Opus:
      return "Opus";
    default:
      return "sound";
  }
}

std::string CodingText(SoundCodec codec, int flacBits, uint32_t bitsPerSecond) {
  std::string text = codec == SoundCodec::Vorbis ? "Ogg Vorbis" : CodecFormatName(codec);
  if (codec == SoundCodec::Flac) {
    if (flacBits > 0) text += " " + std::to_string(flacBits) + "-bit";
  } else if (bitsPerSecond > 0) {
    // Rounded to whole kbit/s: 191,999 from an encoder's average reads as 192.
    text += " " + std::to_string((bitsPerSecond + 500) / 1000) + " kbit/s";
  }
  return text;
}

std::string NoDecoderText(SoundCodec codec) {
  return std::string("This computer has no decoder for this ") + CodecFormatName(codec) + " file";
}

SoundCodec CodecOfName(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || path.find_first_of("\\/", dot) != std::string::npos) return SoundCodec::Unknown;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (extension == "flac") return SoundCodec::Flac;
  if (extension == "mp3") return SoundCodec::Mp3;
  if (extension == "ogg" || extension == "oga") return SoundCodec::Vorbis;
  if (extension == "opus") return SoundCodec::Opus;
  return SoundCodec::Unknown;
}

std::string NotThatCodingText(SoundCodec named) {
  const std::string name = CodecFormatName(named);
  return "This file is named as " + name + ", but its bytes are not " + name + " sound";
}

}  // namespace hl
