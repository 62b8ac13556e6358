#include "core/samples/frame_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/files/wave_format.h"

namespace hl {
namespace {

struct File {
  std::vector<uint8_t> v;
  File& Raw(const std::string& text) {
    v.insert(v.end(), text.begin(), text.end());
    return *this;
  }
  File& U(uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) v.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return *this;
  }
  File& F32(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, 4);
    return U(bits, 4);
  }
  File& F64(double x) {
    uint64_t bits;
    std::memcpy(&bits, &x, 8);
    return U(bits, 8);
  }
};

// A canonical header, or an extensible one (sub-format tag in the GUID's first two bytes).
File Header(uint16_t tag, uint16_t channels, uint16_t bits, uint32_t dataLength, int subFormat = -1,
            const char* riff = "RIFF") {
  File f;
  f.Raw(riff).U(36 + dataLength, 4).Raw("WAVE").Raw("fmt ").U(subFormat < 0 ? 16 : 40, 4);
  f.U(tag, 2).U(channels, 2).U(48000, 4).U(48000u * channels * bits / 8, 4).U(channels * bits / 8, 2).U(bits, 2);
  if (subFormat >= 0) {
    f.U(22, 2).U(bits, 2).U(3, 4).U(static_cast<uint16_t>(subFormat), 2);
    f.U(0, 4).U(0x10, 2).U(0x719B3800AA000080ull, 8);  // the rest of the GUID, 16 bytes in all
  }
  return f.Raw("data").U(dataLength, 4);
}

struct Case {
  const char* name;
  File file;
  SampleEncoding encoding;
  std::vector<int16_t> first;  // the first channel's first samples
};

std::vector<int16_t> DecodeFirst(const File& file, const SampleLayout& layout, size_t count) {
  std::vector<int16_t> out(count);
  DecodeSamples(file.v.data() + layout.dataOffset, count, static_cast<size_t>(layout.FrameBytes()),
                layout.encoding, out.data());
  return out;
}

TEST(FrameDecoder, EveryFormatsHeaderGivesItsEncodingAndFirstSamples) {
  const Case cases[] = {
      {"pcm8", Header(1, 1, 8, 3).U(0x80, 1).U(0xFF, 1).U(0x00, 1), SampleEncoding::Unsigned8, {0, 32512, -32768}},
      {"pcm16", Header(1, 1, 16, 4).U(0x1234, 2).U(0xFFFE, 2), SampleEncoding::Pcm16, {0x1234, -2}},
      {"pcm24 stereo", Header(1, 2, 24, 12).U(0x123456, 3).U(0x7FFFFF, 3).U(0xFFFB00, 3).U(0, 3),
       SampleEncoding::Pcm24, {0x1234, -5}},
      {"pcm32", Header(1, 1, 32, 8).U(0x7FFF0000, 4).U(0x80000000, 4), SampleEncoding::Pcm32, {32767, -32768}},
      {"float32", Header(3, 1, 32, 32).F32(0.5f).F32(-1.5f).F32(1.0f).F32(-0.00002f).F32(0.99999f)
                      .F32(std::nanf("")).F32(INFINITY).F32(-INFINITY),
       SampleEncoding::Float32, {16384, -32768, 32767, 0, 32767, 0, 32767, -32768}},
      {"float64 extensible", Header(0xFFFE, 1, 64, 16, 3).F64(0.25).F64(-0.000031), SampleEncoding::Float64, {8192, -1}},
      {"pcm24 extensible", Header(0xFFFE, 1, 24, 3, 1).U(0x800000, 3), SampleEncoding::Pcm24, {-32768}},
      {"a-law", Header(6, 1, 8, 4).U(0xD5, 1).U(0x55, 1).U(0xAA, 1).U(0x2A, 1), SampleEncoding::ALaw,
       {8, -8, 32256, -32256}},
      {"mu-law", Header(7, 1, 8, 3).U(0xFF, 1).U(0x80, 1).U(0x00, 1), SampleEncoding::MuLaw, {0, 32124, -32124}},
  };
  for (const Case& c : cases) {
    const SampleLayout layout = ReadSampleLayout(c.file.v.data(), c.file.v.size(), c.file.v.size());
    EXPECT_FALSE(layout.refused) << c.name;
    EXPECT_EQ(layout.warning, Message::None) << c.name;
    EXPECT_EQ(layout.encoding, c.encoding) << c.name;
    EXPECT_EQ(DecodeFirst(c.file, layout, c.first.size()), c.first) << c.name;
  }
}

TEST(FrameDecoder, CompandedExpansionsAreOddSymmetricAndMonotonic) {
  // Level L (0..127, louder upwards) with a positive sign: A-law code (0x80 | L) ^ 0x55,
  // mu-law code 0xFF - L; the negative codes are A-law L ^ 0x55 and mu-law 0x7F - L.
  auto aPositive = [](int level) { return ALawSample(static_cast<uint8_t>((0x80 | level) ^ 0x55)); };
  auto muPositive = [](int level) { return MuLawSample(static_cast<uint8_t>(0xFF - level)); };
  for (int level = 1; level < 128; ++level) {
    EXPECT_GT(aPositive(level), aPositive(level - 1)) << level;
    EXPECT_GT(muPositive(level), muPositive(level - 1)) << level;
    EXPECT_EQ(ALawSample(static_cast<uint8_t>(level ^ 0x55)), -aPositive(level)) << level;
    EXPECT_EQ(MuLawSample(static_cast<uint8_t>(0x7F - level)), -muPositive(level)) << level;
  }
}

TEST(FrameDecoder, OtherEncodingsAreRefusedByName) {
  const struct {
    File file;
    const char* name;
  } cases[] = {
      {Header(2, 1, 4, 0), "Microsoft ADPCM"},
      {Header(0x11, 1, 4, 0), "IMA ADPCM"},
      {Header(0x55, 2, 0, 0), "MPEG Layer 3"},
      {Header(0x1234, 1, 16, 0), "format tag 0x1234"},
      {Header(0xFFFE, 1, 16, 0, 0x1234), "extensible sub-format tag 0x1234"},
      {Header(3, 1, 16, 0), "16-bit float"},
      {Header(1, 1, 16, 0, -1, "RIFX"), "RIFX (big-endian) Wave"},
  };
  for (const auto& c : cases) {
    File file = c.file;
    file.v.resize(2048, 0x11);
    const SampleLayout layout = ReadSampleLayout(file.v.data(), file.v.size(), file.v.size());
    EXPECT_TRUE(layout.refused) << c.name;
    EXPECT_STREQ(layout.formatName, c.name);
  }
}

TEST(FrameDecoder, UnreadableHeaderKeepsTheWarningAndTheRawFallback) {
  std::vector<uint8_t> noTags(2048, 0x11);
  const SampleLayout layout = ReadSampleLayout(noTags.data(), noTags.size(), noTags.size());
  EXPECT_FALSE(layout.refused);
  EXPECT_EQ(layout.warning, Message::NotPcmWaveFormat);
  EXPECT_FALSE(layout.wavFlag);
  EXPECT_EQ(layout.encoding, SampleEncoding::Pcm16);
  EXPECT_EQ(layout.dataLength, 2048u);
}

TEST(FrameDecoder, EightAndSixteenBitFilesLieWhereTheProgramReadsThem) {
  for (uint16_t bits : {8, 16}) {
    for (uint16_t channels : {1, 2, 6}) {
      File file = Header(1, channels, bits, 4000);
      file.v.resize(3000, 0x11);  // the data length runs past the end of the file
      const WaveHeaderInfo old = ReadWaveHeader(file.v.data(), file.v.size(), file.v.size());
      const SampleLayout layout = ReadSampleLayout(file.v.data(), file.v.size(), file.v.size());
      EXPECT_EQ(layout.dataOffset, old.dataOffset);
      EXPECT_EQ(layout.dataLength, old.dataLength);
      EXPECT_EQ(layout.channels, old.format.channels);
      EXPECT_EQ(layout.FrameBytes(), old.format.BlockAlign());
    }
  }
}

TEST(FrameDecoder, Rf64TakesTheDataSizeFromTheDs64Chunk) {
  File file;
  file.Raw("RF64").U(0xFFFFFFFF, 4).Raw("WAVE").Raw("ds64").U(28, 4);
  file.U(0, 8).U(5000000000ull, 8).U(0, 8).U(0, 4);
  const File rest = Header(1, 2, 24, 0xFFFFFFFF);
  file.v.insert(file.v.end(), rest.v.begin() + 12, rest.v.end());
  const uint64_t fileSize = 6000000000ull;
  const SampleLayout layout = ReadSampleLayout(file.v.data(), file.v.size(), fileSize);
  EXPECT_TRUE(layout.rf64);
  EXPECT_EQ(layout.encoding, SampleEncoding::Pcm24);
  EXPECT_EQ(layout.dataLength, 5000000000ull);
  // A ds64 size past the end of the file is clipped to it.
  const SampleLayout shorter = ReadSampleLayout(file.v.data(), file.v.size(), 4000000000ull);
  EXPECT_EQ(shorter.dataLength, 4000000000ull - shorter.dataOffset);
}

}  // namespace
}  // namespace hl
