#include "core/files/sound_coding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hl {
namespace {

// "fLaC", a STREAMINFO block header, then the block's first 14 bytes as flac writes them for
// 44.1 kHz mono: bytes 20 and 21 carry channels - 1 and bits - 1 across their boundary.
std::vector<uint8_t> FlacHead(uint8_t byte20, uint8_t byte21) {
  return {'f', 'L', 'a', 'C', 0x00, 0x00, 0x00, 0x22, 0x10, 0x00, 0x10, 0x00, 0x00,
          0x09, 0xb6, 0x00, 0x11, 0x23, 0x0a, 0xc4, byte20, byte21, 0x00, 0x01};
}

TEST(SoundCoding, FlacBitsAreReadAcrossTheByteBoundary) {
  EXPECT_EQ(FlacBitsPerSample(FlacHead(0x41, 0x70).data(), 24), 24);  // 24-bit, from a real file
  EXPECT_EQ(FlacBitsPerSample(FlacHead(0x42, 0xF0).data(), 24), 16);  // 16-bit stereo
  std::vector<uint8_t> notStreamInfo = FlacHead(0x41, 0x70);
  notStreamInfo[4] = 0x01;  // a PADDING block first is no STREAMINFO
  EXPECT_EQ(FlacBitsPerSample(notStreamInfo.data(), 24), 0);
}

TEST(SoundCoding, OggCodecIsTheFirstPacketsAfterTheSegmentTable) {
  std::vector<uint8_t> page(27, 0);
  page[26] = 1;     // one segment
  page.push_back(19);  // its length
  const std::string opus = "OpusHead";
  page.insert(page.end(), opus.begin(), opus.end());
  EXPECT_EQ(CodecOf(SoundContainer::Ogg, page.data(), page.size()), SoundCodec::Opus);
  page[26] = 0;  // the packet would then start a byte earlier: neither codec
  EXPECT_EQ(CodecOf(SoundContainer::Ogg, page.data(), page.size()), SoundCodec::Unknown);
}

TEST(SoundCoding, PanelTextNamesResolutionForFlacAndBitrateForLossyCodecs) {
  EXPECT_EQ(CodingText(SoundCodec::Flac, 24, 900000), "FLAC 24-bit");
  EXPECT_EQ(CodingText(SoundCodec::Mp3, 0, 191999), "MP3 192 kbit/s");
  EXPECT_EQ(CodingText(SoundCodec::Vorbis, 0, 0), "Ogg Vorbis");
  EXPECT_EQ(NoDecoderText(SoundCodec::Vorbis), "This computer has no decoder for this Ogg file");
}

TEST(SoundCoding, NameExtensionIgnoresADotInAFolderName) {
  EXPECT_EQ(CodecOfName("C:\\Music\\Tone.FLAC"), SoundCodec::Flac);
  EXPECT_EQ(CodecOfName("C:\\a.flac\\tone"), SoundCodec::Unknown);
  EXPECT_EQ(CodecOfName("tone.oga"), SoundCodec::Vorbis);
}

}  // namespace
}  // namespace hl
