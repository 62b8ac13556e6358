// What a sound file is, from its first bytes: the containers the platform's decoder reads
// beside the WAV the program reads itself.
#include "core/files/decoded_sound.h"

#include <cstring>

namespace hl {

namespace {

// Files tagged twice (a second tag added by another program in front of the first) are
// common enough; more than a few tags in a row is no sound file.
constexpr int kMostTags = 8;

bool Starts(const uint8_t* p, size_t count, const char* tag) {
  const size_t n = std::strlen(tag);
  return count >= n && std::memcmp(p, tag, n) == 0;
}

// The length of the ID3v2 tag at `p` (its header, body and footer), or 0 when `p` holds none.
// The size is synchsafe: four bytes of seven bits each, so it never exceeds 256 MiB.
uint64_t Id3TagLength(const uint8_t* p, size_t count) {
  if (count < 10 || !Starts(p, count, "ID3")) return 0;
  if (p[3] == 0xFF || p[4] == 0xFF) return 0;
  if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
  const uint64_t size = (uint64_t{p[6]} << 21) | (uint64_t{p[7]} << 14) | (uint64_t{p[8]} << 7) | p[9];
  const bool footer = (p[5] & 0x10) != 0;
  return 10 + size + (footer ? 10 : 0);
}

// An MPEG audio frame header at `p` (4 bytes): its length in bytes, 0 for a valid header of
// the free format (no length in the header), -1 for no header. `kbps` gets the bitrate.
int MpegFrameLength(const uint8_t* p, int* kbps) {
  static const int kBitrates[2][3][16] = {
      // MPEG-1: layer I, II, III
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1}},
      // MPEG-2 and 2.5
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1}}};
  static const int kRates[3] = {44100, 48000, 32000};
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return -1;
  const int version = (p[1] >> 3) & 3;  // 0: 2.5, 1: reserved, 2: MPEG-2, 3: MPEG-1
  const int layerBits = (p[1] >> 1) & 3;  // 1: III, 2: II, 3: I
  const int rateIndex = (p[2] >> 2) & 3;
  if (version == 1 || layerBits == 0 || rateIndex == 3) return -1;
  const int layer = 4 - layerBits;  // 1, 2 or 3
  const int bitrate = kBitrates[version == 3 ? 0 : 1][layer - 1][p[2] >> 4];
  if (bitrate < 0) return -1;
  const int rate = kRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
  const int padding = (p[2] >> 1) & 1;
  *kbps = bitrate;
  if (bitrate == 0) return 0;
  if (layer == 1) return (12 * bitrate * 1000 / rate + padding) * 4;
  const int perFrame = layer == 3 && version != 3 ? 72 : 144;
  return perFrame * bitrate * 1000 / rate + padding;
}

// What follows the ID3v2 tags at the start of the bytes `read` gives (`size` of them are
// there): the offset after the tags, and whether one ended past `size`.
uint64_t SkipTags(const ReadBytesAt& read, uint64_t size, int* tags, bool* pastEnd) {
  uint64_t at = 0;
  *tags = 0;
  *pastEnd = false;
  for (; *tags < kMostTags; ++*tags) {
    uint8_t header[10] = {};
    if (at + 10 > size || read(at, header, 10) != 10) break;
    const uint64_t length = Id3TagLength(header, 10);
    if (length == 0) break;
    at += length;
    if (at >= size) {
      *pastEnd = true;
      ++*tags;
      break;
    }
  }
  return at;
}

// The frame header at `at`, when `size` bytes are there; -2 when it lies past them.
int FrameAt(const ReadBytesAt& read, uint64_t size, uint64_t at, int* kbps) {
  uint8_t header[4] = {};
  if (at + 4 > size || read(at, header, 4) != 4) return -2;
  return MpegFrameLength(header, kbps);
}

SoundContainer Sniff(const ReadBytesAt& read, uint64_t size) {
  uint8_t head[12] = {};
  const size_t got = read(0, head, size < sizeof head ? static_cast<size_t>(size) : sizeof head);
  const bool riff = Starts(head, got, "RIFF") || Starts(head, got, "RF64") || Starts(head, got, "BW64");
  if (riff && got >= 12 && std::memcmp(head + 8, "WAVE", 4) == 0) return SoundContainer::Wave;
  if (Starts(head, got, "fLaC")) return SoundContainer::Flac;
  if (Starts(head, got, "OggS")) return SoundContainer::Ogg;
  int tags = 0;
  bool pastEnd = false;
  const uint64_t at = SkipTags(read, size, &tags, &pastEnd);
  if (pastEnd) return SoundContainer::Mp3;
  int kbps = 0;
  if (tags > 0) {
    uint8_t after[4] = {};
    if (at + 4 <= size && read(at, after, 4) == 4 && std::memcmp(after, "fLaC", 4) == 0) return SoundContainer::Flac;
    return FrameAt(read, size, at, &kbps) >= 0 ? SoundContainer::Mp3 : SoundContainer::Unknown;
  }
  // Untagged: two bytes of 0xFF start many a sample of headerless data too, so the frame the
  // first one's length points to must start with a header as well, where the bytes reach it.
  const int length = FrameAt(read, size, 0, &kbps);
  if (length < 0) return SoundContainer::Unknown;
  if (length == 0) return SoundContainer::Mp3;
  const int next = FrameAt(read, size, static_cast<uint64_t>(length), &kbps);
  return next >= 0 || next == -2 ? SoundContainer::Mp3 : SoundContainer::Unknown;
}

}  // namespace

SoundContainer SniffContainer(const uint8_t* head, size_t count) { return Sniff(MemoryBytes(head, count), count); }

SoundContainer SniffContainer(const ReadBytesAt& read, uint64_t fileSize) { return Sniff(read, fileSize); }

MpegFrameStart FindMpegFrame(const ReadBytesAt& read, uint64_t fileSize) {
  MpegFrameStart start;
  int tags = 0;
  bool pastEnd = false;
  const uint64_t at = SkipTags(read, fileSize, &tags, &pastEnd);
  int kbps = 0;
  if (pastEnd || FrameAt(read, fileSize, at, &kbps) < 0) return start;
  start.found = true;
  start.offset = at;
  start.kbps = kbps;
  return start;
}

}  // namespace hl
