// What a file is, told by its first bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/files/decoded_sound.h"

namespace hl {
namespace {

SoundContainer Sniff(const std::vector<uint8_t>& bytes) { return SniffContainer(bytes.data(), bytes.size()); }

std::vector<uint8_t> Bytes(const char* text, size_t size) {
  std::vector<uint8_t> bytes(text, text + size);
  bytes.resize(4096, 0);
  return bytes;
}

// An MPEG-1 layer III frame header at 128 kbit/s, 44.1 kHz: frames of 417 bytes.
void PutFrame(std::vector<uint8_t>& bytes, size_t at) {
  bytes[at] = 0xFF, bytes[at + 1] = 0xFB, bytes[at + 2] = 0x90, bytes[at + 3] = 0x64;
}

std::vector<uint8_t> Id3Tag(uint32_t size) {
  std::vector<uint8_t> tag = {'I', 'D', '3', 4, 0, 0};
  for (int shift : {21, 14, 7, 0}) tag.push_back(static_cast<uint8_t>((size >> shift) & 0x7F));
  return tag;
}

TEST(SniffContainer, TellsWavFlacAndOggByTheirSignatures) {
  EXPECT_EQ(Sniff(Bytes("RIFF\x24\0\0\0WAVEfmt ", 16)), SoundContainer::Wave);
  EXPECT_EQ(Sniff(Bytes("RF64\xFF\xFF\xFF\xFFWAVEds64", 16)), SoundContainer::Wave);
  EXPECT_EQ(Sniff(Bytes("fLaC\0\0\0\x22", 8)), SoundContainer::Flac);
  EXPECT_EQ(Sniff(Bytes("OggS\0\x02", 6)), SoundContainer::Ogg);
  EXPECT_EQ(Sniff(Bytes("RIFF\x24\0\0\0AVI ", 12)), SoundContainer::Unknown);
}

TEST(SniffContainer, Mp3NeedsAFrameHeaderAfterItsId3Tag) {
  std::vector<uint8_t> file = Id3Tag(1000);
  file.resize(4096, 0);
  EXPECT_EQ(Sniff(file), SoundContainer::Unknown);  // zeros after the tag
  PutFrame(file, 1010);
  EXPECT_EQ(Sniff(file), SoundContainer::Mp3);
}

TEST(SniffContainer, AnId3TagLargerThanTheHeadIsSkippedByTheReader) {
  // 20 MB of tag: the head alone cannot see past it, the reader reads the frame after it.
  const uint32_t size = 20u << 20;
  std::vector<uint8_t> file = Id3Tag(size);
  file.resize(10 + size + 4, 0);
  EXPECT_EQ(Sniff(std::vector<uint8_t>(file.begin(), file.begin() + 65536)), SoundContainer::Mp3);
  EXPECT_EQ(SniffContainer(MemoryBytes(file.data(), file.size()), file.size()), SoundContainer::Unknown);
  PutFrame(file, 10 + size);
  EXPECT_EQ(SniffContainer(MemoryBytes(file.data(), file.size()), file.size()), SoundContainer::Mp3);
  const MpegFrameStart frame = FindMpegFrame(MemoryBytes(file.data(), file.size()), file.size());
  EXPECT_TRUE(frame.found);
  EXPECT_EQ(frame.offset, 10u + size);
  EXPECT_EQ(frame.kbps, 128);
}

TEST(SniffContainer, AnUntaggedFrameMustBeFollowedByTheNext) {
  std::vector<uint8_t> file(4096, 0);
  PutFrame(file, 0);
  EXPECT_EQ(Sniff(file), SoundContainer::Unknown);  // headerless samples that begin 0xFFFB
  PutFrame(file, 417);
  EXPECT_EQ(Sniff(file), SoundContainer::Mp3);
}

}  // namespace
}  // namespace hl
