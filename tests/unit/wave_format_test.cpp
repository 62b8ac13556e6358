#include "core/files/wave_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace hl {
namespace {

// Little-endian byte builder for hand-made files.
class Bytes {
 public:
  Bytes& Raw(const std::string& text) {
    v.insert(v.end(), text.begin(), text.end());
    return *this;
  }
  Bytes& U16(uint16_t value) {
    v.push_back(static_cast<uint8_t>(value));
    v.push_back(static_cast<uint8_t>(value >> 8));
    return *this;
  }
  Bytes& U32(uint32_t value) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return *this;
  }
  Bytes& Fill(size_t count, uint8_t value) {
    v.insert(v.end(), count, value);
    return *this;
  }
  // Sample bytes up to a total length; 0x11 never forms part of a tag.
  Bytes& PadTo(size_t length) {
    if (v.size() < length) v.resize(length, 0x11);
    return *this;
  }
  std::vector<uint8_t> v;
};

// The 16-byte format record most recorders write (average bytes per second and block align
// stored as a writer would compute them; the reader ignores both).
Bytes& FormatRecord(Bytes& b, uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  const uint32_t align = static_cast<uint32_t>(channels) * bits / 8;
  return b.U16(tag).U16(channels).U32(rate).U32(rate * align).U16(static_cast<uint16_t>(align))
      .U16(bits);
}

// A canonical file: 44-byte header (fmt chunk of 16 bytes) and samples to `fileSize`.
std::vector<uint8_t> Canonical(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                               uint32_t dataLength, size_t fileSize) {
  Bytes b;
  b.Raw("RIFF").U32(36 + dataLength).Raw("WAVE").Raw("fmt ").U32(16);
  FormatRecord(b, tag, channels, rate, bits);
  b.Raw("data").U32(dataLength);
  return b.PadTo(fileSize).v;
}

std::vector<uint8_t> Pcm16Mono(uint32_t rate, size_t fileSize) {
  return Canonical(1, 1, rate, 16, static_cast<uint32_t>(fileSize - 44), fileSize);
}

// Reads as the program does: the first min(2048, file size) bytes.
WaveHeaderInfo Read(const std::vector<uint8_t>& file, uint64_t fileSize) {
  const size_t count = std::min<size_t>(file.size(), kShortestFileBytes);
  return ReadWaveHeader(file.data(), count, fileSize);
}

WaveHeaderInfo Read(const std::vector<uint8_t>& file) { return Read(file, file.size()); }

struct Expected {
  bool wavFlag;
  uint16_t formatTag;
  uint16_t channels;
  uint32_t sampleRate;
  uint16_t bits;
  uint64_t dataOffset;
  uint32_t dataLength;
  Message warning;
};

Expected Raw(uint32_t fileSize, Message warning) {
  return {false, 1, 1, 11025, 16, 0, fileSize, warning};
}

void ExpectHeader(const WaveHeaderInfo& actual, const Expected& expected) {
  EXPECT_EQ(actual.wavFlag, expected.wavFlag);
  EXPECT_EQ(actual.format.formatTag, expected.formatTag);
  EXPECT_EQ(actual.format.channels, expected.channels);
  EXPECT_EQ(actual.format.sampleRate, expected.sampleRate);
  EXPECT_EQ(actual.format.bitsPerSample, expected.bits);
  EXPECT_EQ(actual.dataOffset, expected.dataOffset);
  EXPECT_EQ(actual.dataLength, expected.dataLength);
  EXPECT_EQ(actual.warning, expected.warning);
}

// ---------------------------------------------------------------------------------------
// Derived format values.

struct DerivedCase {
  uint16_t channels;
  uint16_t bits;
  int bytesPerSample;
  int blockAlign;
};

class WaveFormatDerived : public ::testing::TestWithParam<DerivedCase> {};

TEST_P(WaveFormatDerived, BytesPerSampleAndBlockAlignUseIntegerDivision) {
  const DerivedCase& c = GetParam();
  WaveFormat format;
  format.channels = c.channels;
  format.bitsPerSample = c.bits;
  EXPECT_EQ(format.BytesPerSample(), c.bytesPerSample);
  EXPECT_EQ(format.BlockAlign(), c.blockAlign);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WaveFormatDerived,
    ::testing::Values(DerivedCase{1, 8, 1, 1}, DerivedCase{1, 16, 2, 2},
                      DerivedCase{2, 16, 2, 4}, DerivedCase{2, 24, 3, 6},
                      // channels × bits is divided as a whole: 2 × 12 / 8 = 3, not 1 × 2.
                      DerivedCase{2, 12, 1, 3}, DerivedCase{1, 4, 0, 0},
                      // 65535 × 65535 = 4294836225 does not fit an int; / 8 = 536854528.
                      DerivedCase{65535, 65535, 8191, 536854528}));

// ---------------------------------------------------------------------------------------
// Files as they come.

TEST(ReadWaveHeader, CanonicalFortyFourByteHeaderGivesDataOffset44) {
  const auto file = Canonical(1, 1, 22050, 16, 4052, 4096);
  ExpectHeader(Read(file), {true, 1, 1, 22050, 16, 44, 4052, Message::None});
}

TEST(ReadWaveHeader, StereoSixteenBitKeepsTwoChannelsAndBlockAlignFour) {
  const auto file = Canonical(1, 2, 44100, 16, 8000, 8044);
  const WaveHeaderInfo info = Read(file);
  ExpectHeader(info, {true, 1, 2, 44100, 16, 44, 8000, Message::None});
  EXPECT_EQ(info.format.BlockAlign(), 4);
  EXPECT_EQ(info.format.BytesPerSample(), 2);
}

TEST(ReadWaveHeader, TwentyFourBitFileIsReadAsTwentyFourBit) {
  const auto file = Canonical(1, 1, 48000, 24, 3000, 3044);
  const WaveHeaderInfo info = Read(file);
  ExpectHeader(info, {true, 1, 1, 48000, 24, 44, 3000, Message::None});
  EXPECT_EQ(info.format.BytesPerSample(), 3);
  EXPECT_EQ(info.format.BlockAlign(), 3);
}

TEST(ReadWaveHeader, FormatTagOtherThanOneWarnsAndTheValuesAreUsed) {
  const auto file = Canonical(3, 2, 32000, 32, 4000, 4044);  // IEEE float
  ExpectHeader(Read(file), {true, 3, 2, 32000, 32, 44, 4000, Message::NotPcmWaveFormat});
}

TEST(ReadWaveHeader, FormatTagOtherThanOneWithoutDataTagGivesNoWarning) {
  Bytes b;
  b.Raw("RIFF").U32(0).Raw("WAVE").Raw("fmt ").U32(16);
  FormatRecord(b, 3, 1, 8000, 32);
  const auto file = b.PadTo(2048).v;
  ExpectHeader(Read(file), Raw(2048, Message::None));
}

TEST(ReadWaveHeader, ListChunkBetweenFmtAndDataIsSkipped) {
  Bytes b;
  b.Raw("RIFF").U32(0).Raw("WAVE").Raw("fmt ").U32(16);
  FormatRecord(b, 1, 1, 11025, 8);
  b.Raw("LIST").U32(26).Raw("INFO").Raw("ISFT").U32(14).Raw("Harrowlight 3").Fill(1, 0);
  ASSERT_EQ(b.v.size(), 70u);
  b.Raw("data").U32(2000);
  const auto file = b.PadTo(2078).v;
  ExpectHeader(Read(file), {true, 1, 1, 11025, 8, 78, 2000, Message::None});
}

// "data" is looked for at the 1024 positions fmt+0 .. fmt+1023.
struct DataDistanceCase {
  size_t distance;  // from the "fmt " tag to the "data" tag
  bool found;
};

class ReadWaveHeaderDataDistance : public ::testing::TestWithParam<DataDistanceCase> {};

TEST_P(ReadWaveHeaderDataDistance, DataTagMustStartWithin1023BytesOfFmt) {
  const DataDistanceCase& c = GetParam();
  Bytes b;
  b.Raw("RIFF").U32(0).Raw("WAVE").Raw("fmt ").U32(16);
  FormatRecord(b, 1, 1, 22050, 16);
  const size_t listStart = b.v.size();
  const size_t dataPos = 12 + c.distance;
  b.Raw("LIST").U32(static_cast<uint32_t>(dataPos - listStart - 8));
  b.Fill(dataPos - b.v.size(), 0x20);
  b.Raw("data").U32(1000);
  const size_t fileSize = dataPos + 8 + 1000;
  const auto file = b.PadTo(fileSize).v;
  if (c.found) {
    ExpectHeader(Read(file), {true, 1, 1, 22050, 16, static_cast<uint32_t>(dataPos + 8), 1000,
                              Message::None});
  } else {
    ExpectHeader(Read(file), Raw(static_cast<uint32_t>(fileSize), Message::None));
  }
}

INSTANTIATE_TEST_SUITE_P(Boundary, ReadWaveHeaderDataDistance,
                         ::testing::Values(DataDistanceCase{1022, true},
                                           DataDistanceCase{1023, true},
                                           DataDistanceCase{1024, false},
                                           DataDistanceCase{1200, false}));

// "fmt " is looked for at positions 0..511.
struct FmtPositionCase {
  size_t position;
  bool found;
};

class ReadWaveHeaderFmtPosition : public ::testing::TestWithParam<FmtPositionCase> {};

TEST_P(ReadWaveHeaderFmtPosition, FmtTagMustStartBefore512) {
  const FmtPositionCase& c = GetParam();
  Bytes b;
  b.Raw("RIFF").U32(0).Raw("WAVE").Raw("JUNK").U32(static_cast<uint32_t>(c.position - 20));
  b.Fill(c.position - b.v.size(), 0);
  b.Raw("fmt ").U32(16);
  FormatRecord(b, 1, 1, 8000, 8);
  b.Raw("data").U32(2048);
  const size_t fileSize = c.position + 32 + 2048;
  const auto file = b.PadTo(fileSize).v;
  if (c.found) {
    ExpectHeader(Read(file), {true, 1, 1, 8000, 8, static_cast<uint32_t>(c.position + 32), 2048,
                              Message::None});
  } else {
    ExpectHeader(Read(file), Raw(static_cast<uint32_t>(fileSize), Message::NotPcmWaveFormat));
  }
}

INSTANTIATE_TEST_SUITE_P(Boundary, ReadWaveHeaderFmtPosition,
                         ::testing::Values(FmtPositionCase{20, true}, FmtPositionCase{511, true},
                                           FmtPositionCase{512, false},
                                           FmtPositionCase{600, false}));

struct TagSpellingCase {
  const char* fmt;
  const char* data;
};

class ReadWaveHeaderTagCase : public ::testing::TestWithParam<TagSpellingCase> {};

TEST_P(ReadWaveHeaderTagCase, TagsMatchWithoutRegardToLetterCase) {
  Bytes b;
  b.Raw("RIFF").U32(0).Raw("WAVE").Raw(GetParam().fmt).U32(16);
  FormatRecord(b, 1, 1, 11025, 16);
  b.Raw(GetParam().data).U32(100);
  const auto file = b.PadTo(2048).v;
  ExpectHeader(Read(file), {true, 1, 1, 11025, 16, 44, 100, Message::None});
}

INSTANTIATE_TEST_SUITE_P(Spellings, ReadWaveHeaderTagCase,
                         ::testing::Values(TagSpellingCase{"fmt ", "data"},
                                           TagSpellingCase{"FMT ", "DATA"},
                                           TagSpellingCase{"Fmt ", "dAtA"},
                                           TagSpellingCase{"fMT ", "Data"}));

TEST(ReadWaveHeader, NulByteNeverMatchesTheSpaceOfFmt) {
  // A compare that folds case by ignoring bit 5 would take "fmt\0" for "fmt ".
  Bytes b;
  b.Raw("RIFF").U32(0).Raw("WAVE").Raw("fmt").Fill(1, 0).U32(16);
  FormatRecord(b, 1, 1, 11025, 16);
  b.Raw("data").U32(100);
  const auto file = b.PadTo(2048).v;
  ExpectHeader(Read(file), Raw(2048, Message::NotPcmWaveFormat));
}

// ---------------------------------------------------------------------------------------
// The program's own header.

TEST(WriteWaveHeader, WritesTheFortySixByteLayoutFieldByField) {
  WaveFormat format;
  format.formatTag = 1;
  format.channels = 2;
  format.sampleRate = 22050;
  format.bitsPerSample = 16;
  uint8_t header[kWaveHeaderLength + 2] = {};
  header[46] = 0xAB;  // the byte after the header must stay as it is
  header[47] = 0xCD;
  WriteWaveHeader(header, format, 1000);
  const std::vector<uint8_t> expected = Bytes()
                                            .Raw("RIFF")
                                            .U32(1038)
                                            .Raw("WAVE")
                                            .Raw("fmt ")
                                            .U32(18)
                                            .U16(1)
                                            .U16(2)
                                            .U32(22050)
                                            .U32(88200)  // 2 × 2 × 22050
                                            .U16(4)
                                            .U16(16)
                                            .U16(0)
                                            .Raw("data")
                                            .U32(1000)
                                            .v;
  ASSERT_EQ(expected.size(), kWaveHeaderLength);
  EXPECT_EQ(std::vector<uint8_t>(header, header + kWaveHeaderLength), expected);
  EXPECT_EQ(header[46], 0xAB);
  EXPECT_EQ(header[47], 0xCD);
}

TEST(WriteWaveHeader, AlwaysWritesFormatTagOne) {
  WaveFormat format;
  format.formatTag = 3;
  uint8_t header[kWaveHeaderLength] = {};
  WriteWaveHeader(header, format, 0);
  EXPECT_EQ(header[20], 1);
  EXPECT_EQ(header[21], 0);
}

TEST(WriteWaveHeader, BlockAlignFieldIsBytesPerSampleTimesChannels) {
  // Written as bytes per sample × channels, which for 12-bit stereo is 1 × 2 = 2, while
  // BlockAlign() divides 2 × 12 as a whole (3).
  WaveFormat format;
  format.channels = 2;
  format.sampleRate = 8000;
  format.bitsPerSample = 12;
  uint8_t header[kWaveHeaderLength] = {};
  WriteWaveHeader(header, format, 0);
  EXPECT_EQ(std::vector<uint8_t>(header + 28, header + 34), Bytes().U32(16000).U16(2).v);
}

struct RoundTripCase {
  uint16_t channels;
  uint32_t rate;
  uint16_t bits;
  uint32_t dataLength;
};

class WaveHeaderRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(WaveHeaderRoundTrip, ProgramWrittenFileReadsBackWithDataOffset46) {
  const RoundTripCase& c = GetParam();
  WaveFormat format;
  format.formatTag = 1;
  format.channels = c.channels;
  format.sampleRate = c.rate;
  format.bitsPerSample = c.bits;
  std::vector<uint8_t> file(kWaveHeaderLength + c.dataLength, 0x11);
  WriteWaveHeader(file.data(), format, c.dataLength);
  ExpectHeader(Read(file), {true, 1, c.channels, c.rate, c.bits, 46, c.dataLength,
                            Message::None});
}

INSTANTIATE_TEST_SUITE_P(Formats, WaveHeaderRoundTrip,
                         ::testing::Values(RoundTripCase{1, 11025, 8, 2002},
                                           RoundTripCase{1, 44100, 16, 4000},
                                           RoundTripCase{2, 22050, 16, 4096},
                                           RoundTripCase{1, 48000, 24, 3000},
                                           RoundTripCase{6, 96000, 32, 2400}));

TEST(WaveHeaderRoundTrip, RateWhoseBytesSpellDataMovesTheDataStart) {
  // Found by the fuzzer. The tag search takes the rate field at 24 ("data" as bytes) for the
  // data tag: the format reads back intact, the samples appear to start at 32, and the length
  // (the average bytes per second at 28) is clipped to the file. No sound file has this rate;
  // the reader keeps the program's search rather than walking the chunks.
  WaveFormat format;
  format.channels = 1;
  format.sampleRate = 0x61746164u;
  format.bitsPerSample = 8;
  std::vector<uint8_t> file(kWaveHeaderLength + 100, 0x11);
  WriteWaveHeader(file.data(), format, 100);
  ExpectHeader(Read(file), {true, 1, 1, 0x61746164u, 8, 32, 114, Message::None});
}

TEST(SetWaveDataLength, RewritesOnlyTheTwoSizeFields) {
  WaveFormat format;
  format.channels = 1;
  format.sampleRate = 11025;
  format.bitsPerSample = 8;
  uint8_t header[kWaveHeaderLength];
  WriteWaveHeader(header, format, 12345);
  uint8_t before[kWaveHeaderLength];
  std::copy(header, header + kWaveHeaderLength, before);

  const uint32_t length = 70000;
  SetWaveDataLength(header, length);
  const uint32_t fileLength = length + kWaveHeaderLength;
  const std::vector<uint8_t> riffSize = Bytes().U32(fileLength - 8).v;
  const std::vector<uint8_t> dataSize = Bytes().U32(fileLength - 46).v;
  for (size_t i = 0; i < kWaveHeaderLength; ++i) {
    SCOPED_TRACE(i);
    if (i >= 4 && i < 8) {
      EXPECT_EQ(header[i], riffSize[i - 4]);
    } else if (i >= 42) {
      EXPECT_EQ(header[i], dataSize[i - 42]);
    } else {
      EXPECT_EQ(header[i], before[i]);
    }
  }
}

TEST(WriteWaveHeader, FieldsTooLargeForTheirWidthAreWrittenAsTheirLargestValue) {
  // 65535 channels of 32 bits at 0xFFFFFFFF Hz: block align 262140 does not fit 16 bits,
  // bytes per second does not fit 32; a wrapped value would look plausible and be wrong.
  WaveFormat format;
  format.channels = 65535;
  format.sampleRate = 0xFFFFFFFFu;
  format.bitsPerSample = 32;
  uint8_t header[kWaveHeaderLength] = {};
  WriteWaveHeader(header, format, 0xFFFFFFFFu);
  const std::vector<uint8_t> got(header, header + kWaveHeaderLength);
  EXPECT_EQ(std::vector<uint8_t>(got.begin() + 4, got.begin() + 8), Bytes().U32(0xFFFFFFFFu).v);
  EXPECT_EQ(std::vector<uint8_t>(got.begin() + 28, got.begin() + 32),
            Bytes().U32(0xFFFFFFFFu).v);
  EXPECT_EQ(std::vector<uint8_t>(got.begin() + 32, got.begin() + 34), Bytes().U16(0xFFFF).v);
  EXPECT_EQ(std::vector<uint8_t>(got.begin() + 42, got.begin() + 46),
            Bytes().U32(0xFFFFFFFFu).v);
}

struct RiffSizeCase {
  uint32_t dataLength;
  uint32_t riffSize;
};

class SetWaveDataLengthRiffSize : public ::testing::TestWithParam<RiffSizeCase> {};

TEST_P(SetWaveDataLengthRiffSize, RiffSizeIsLengthPlus38CappedAt32Bits) {
  uint8_t header[kWaveHeaderLength] = {};
  SetWaveDataLength(header, GetParam().dataLength);
  EXPECT_EQ(std::vector<uint8_t>(header + 4, header + 8), Bytes().U32(GetParam().riffSize).v);
  EXPECT_EQ(std::vector<uint8_t>(header + 42, header + 46),
            Bytes().U32(GetParam().dataLength).v);
}

INSTANTIATE_TEST_SUITE_P(Table, SetWaveDataLengthRiffSize,
                         ::testing::Values(RiffSizeCase{0, 38}, RiffSizeCase{1000, 1038},
                                           RiffSizeCase{0xFFFFFFD9u, 0xFFFFFFFFu},
                                           // + 38 would wrap round to 0.
                                           RiffSizeCase{0xFFFFFFDAu, 0xFFFFFFFFu},
                                           RiffSizeCase{0xFFFFFFFFu, 0xFFFFFFFFu}));

// ---------------------------------------------------------------------------------------
// "Save Wave" length: whole frames only.

struct WholeFramesCase {
  uint32_t byteCount;
  uint16_t channels;
  uint16_t bits;
  uint32_t expected;
};

class WholeFramesTable : public ::testing::TestWithParam<WholeFramesCase> {};

TEST_P(WholeFramesTable, DropsTheIncompleteLastFrame) {
  const WholeFramesCase& c = GetParam();
  WaveFormat format;
  format.channels = c.channels;
  format.bitsPerSample = c.bits;
  EXPECT_EQ(WholeFrames(c.byteCount, format), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WholeFramesTable,
    ::testing::Values(WholeFramesCase{4096, 2, 16, 4096}, WholeFramesCase{4097, 2, 16, 4096},
                      WholeFramesCase{4099, 2, 16, 4096}, WholeFramesCase{5, 1, 8, 5},
                      WholeFramesCase{7, 1, 24, 6}, WholeFramesCase{11, 2, 24, 6},
                      WholeFramesCase{0xFFFFFFFFu, 2, 16, 0xFFFFFFFCu},
                      WholeFramesCase{100, 65535, 16, 0},  // frame of 131070 bytes
                      // A frame of no bytes has no whole frame, and must not divide by 0.
                      WholeFramesCase{100, 1, 4, 0}, WholeFramesCase{100, 0, 16, 0},
                      WholeFramesCase{0, 1, 16, 0}));

// ---------------------------------------------------------------------------------------
// Malformed headers: each has a defined outcome, never a crash or a read past the file.

struct MalformedCase {
  const char* name;
  std::vector<uint8_t> file;  // its first min(2048, size) bytes are handed to the reader
  uint64_t fileSize;
  Expected expected;
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

std::vector<uint8_t> FmtChunkOf14Bytes() {
  // A WAVEFORMAT without the bits field: the bits are read from the "da" of the data tag
  // (0x6164 = 24932, not a multiple of 8).
  Bytes b;
  b.Raw("RIFF").U32(0).Raw("WAVE").Raw("fmt ").U32(14);
  b.U16(1).U16(1).U32(11025).U32(11025).U16(1);
  b.Raw("data").U32(2000);
  return b.PadTo(2042).v;
}

std::vector<uint8_t> RecordCutShortByEndOfFile() {
  // "fmt " at 508 of a 524-byte file, "data" inside its record: tag 'da', channels 'ta',
  // rate 16, and bits (at 530) past the end of the file read as 0.
  Bytes b;
  b.Fill(508, 0).Raw("fmt ").U32(16).Raw("data").U32(16);
  return b.v;
}

std::vector<uint8_t> FmtTextInsideInfoChunk() {
  // The first "fmt " is text inside a LIST chunk and wins; its "record" is zeros.
  Bytes b;
  b.Raw("RIFF").U32(0).Raw("WAVE").Raw("LIST").U32(28).Raw("INFO").Raw("fmt ").Fill(20, 0);
  b.Raw("fmt ").U32(16);
  FormatRecord(b, 1, 1, 11025, 16);
  b.Raw("data").U32(1000);
  return b.PadTo(4096).v;
}

std::vector<uint8_t> DataTextInsideListChunk() {
  // "metadata here" holds "data" at 60; the next four bytes " her" read as the length
  // 0x72656820, which the file cannot hold.
  Bytes b;
  b.Raw("RIFF").U32(0).Raw("WAVE").Raw("fmt ").U32(16);
  FormatRecord(b, 1, 1, 22050, 16);
  b.Raw("LIST").U32(26).Raw("INFO").Raw("ICMT").U32(14).Raw("metadata here").Fill(1, 0);
  b.Raw("data").U32(1000);
  return b.PadTo(4096).v;
}

std::vector<uint8_t> HugeSizesAndTags(uint32_t size) {
  Bytes b;
  b.Raw("RIFF").U32(size).Raw("WAVE").Raw("fmt ").U32(size);
  FormatRecord(b, 1, 1, 11025, 16);
  b.Raw("LIST").U32(size).Raw("INFO");
  b.Raw("data").U32(1000);
  return b.PadTo(2056).v;
}

std::vector<uint8_t> StoredBlockAlignZero() {
  Bytes b;
  b.Raw("RIFF").U32(0).Raw("WAVE").Raw("fmt ").U32(16);
  b.U16(1).U16(2).U32(44100).U32(0).U16(0).U16(16);
  b.Raw("data").U32(4000);
  return b.PadTo(4044).v;
}

// Found by the fuzzer: "fmt " at 5, and the "data" tag inside the format record, where its
// bytes are also read as the sample rate 0x61746164; tag 16, 21321 channels, bits 16 at 27.
std::vector<uint8_t> FuzzerRateSpellsData() {
  return {0x39, 0x49, 0x46, 0x56, 0x45, 0x66, 0x6d, 0x74, 0x20, 0x00, 0x06, 0x07, 0x00, 0x10,
          0x00, 0x49, 0x53, 0x64, 0x61, 0x74, 0x61, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x10,
          0x00, 0x00, 0x00, 0x00, 0x01, 0x44, 0xac, 0x00, 0x02, 0x00, 0x00, 0x10, 0x01, 0x00,
          0x06, 0x07, 0x00, 0x10, 0x00, 0x49, 0x53, 0x64, 0x61, 0x74, 0x61, 0x11, 0x11, 0x11,
          0x11, 0x11, 0x11};
}

std::vector<uint8_t> Prefix(std::vector<uint8_t> file, size_t length) {
  file.resize(length);
  return file;
}

std::vector<MalformedCase> MalformedCases() {
  const Message W = Message::NotPcmWaveFormat;
  const Message N = Message::None;
  const auto c44 = Pcm16Mono(11025, 4096);
  return {
      // Format fields.
      {"ZeroChannels", Canonical(1, 0, 11025, 16, 4052, 4096), 4096, Raw(4096, W)},
      {"HugeChannelCount", Canonical(1, 65535, 11025, 16, 4052, 4096), 4096,
       {true, 1, 65535, 11025, 16, 44, 4052, N}},
      {"ZeroBits", Canonical(1, 1, 11025, 0, 4052, 4096), 4096, Raw(4096, W)},
      {"FourBits", Canonical(1, 1, 11025, 4, 4052, 4096), 4096, Raw(4096, W)},
      {"SevenBits", Canonical(1, 1, 11025, 7, 4052, 4096), 4096, Raw(4096, W)},
      {"TwelveBits", Canonical(1, 1, 11025, 12, 4052, 4096), 4096, Raw(4096, W)},
      {"FortyBits", Canonical(1, 1, 11025, 40, 4052, 4096), 4096, Raw(4096, W)},
      {"ThirtyTwoBitsKept", Canonical(1, 1, 11025, 32, 4052, 4096), 4096,
       {true, 1, 1, 11025, 32, 44, 4052, N}},
      {"ZeroSampleRate", Canonical(1, 1, 0, 16, 4052, 4096), 4096, Raw(4096, W)},
      {"StoredBlockAlignZeroIsIgnored", StoredBlockAlignZero(), 4044,
       {true, 1, 2, 44100, 16, 44, 4000, N}},
      {"RateTimesAlignOverflows32Bits", Canonical(1, 65535, 0xFFFFFFFFu, 32, 4052, 4096), 4096,
       {true, 1, 65535, 0xFFFFFFFFu, 32, 44, 4052, N}},
      {"NonPcmAndZeroChannels", Canonical(3, 0, 11025, 32, 4052, 4096), 4096, Raw(4096, W)},
      // Data length.
      {"DataLengthZero", Canonical(1, 1, 11025, 16, 0, 4096), 4096,
       {true, 1, 1, 11025, 16, 44, 0, N}},
      {"DataLengthAllOnes", Canonical(1, 1, 11025, 16, 0xFFFFFFFFu, 4096), 4096,
       {true, 1, 1, 11025, 16, 44, 4052, N}},
      {"DataLengthOnePastEnd", Canonical(1, 1, 11025, 16, 4053, 4096), 4096,
       {true, 1, 1, 11025, 16, 44, 4052, N}},
      {"DataLengthExactlyToEnd", Canonical(1, 1, 11025, 16, 4052, 4096), 4096,
       {true, 1, 1, 11025, 16, 44, 4052, N}},
      {"DataNotWholeFramesIsKept", Canonical(1, 2, 11025, 16, 4051, 4096), 4096,
       {true, 1, 2, 11025, 16, 44, 4051, N}},
      {"HeaderOnlyFileHasNoSamples", Prefix(c44, 44), 44, {true, 1, 1, 11025, 16, 44, 0, N}},
      {"DataOffsetBeyondFile", Prefix(c44, 40), 40, Raw(40, W)},
      // Handed more bytes than the file has: the "data" tag at 36 lies past a 36-byte file.
      {"BytesPastTheFileSizeAreIgnored", c44, 36, Raw(36, N)},
      // Chunks and tags.
      {"FmtChunkOf14Bytes", FmtChunkOf14Bytes(), 2042, Raw(2042, W)},
      {"FmtRecordCutShortByEndOfFile", RecordCutShortByEndOfFile(), 524, Raw(524, W)},
      {"ChunkSizesAllOnes", HugeSizesAndTags(0xFFFFFFFFu), 2056,
       {true, 1, 1, 11025, 16, 56, 1000, N}},
      {"ChunkSizesNearAllOnes", HugeSizesAndTags(0xFFFFFFF0u), 2056,
       {true, 1, 1, 11025, 16, 56, 1000, N}},
      {"FmtTextInsideInfoChunk", FmtTextInsideInfoChunk(), 4096, Raw(4096, W)},
      {"DataTextInsideListChunk", DataTextInsideListChunk(), 4096,
       {true, 1, 1, 22050, 16, 68, 4028, N}},
      // Length 0x11111111 from 21, clipped to 59 - 25.
      {"FuzzerRateSpellsData", FuzzerRateSpellsData(), 59,
       {true, 16, 21321, 0x61746164u, 16, 25, 34, W}},
      // Truncated files.
      {"Truncated0", {}, 0, Raw(0, W)},
      {"Truncated1", Prefix(c44, 1), 1, Raw(1, W)},
      {"Truncated12", Prefix(c44, 12), 12, Raw(12, W)},
      {"Truncated28", Prefix(c44, 28), 28, Raw(28, N)},  // "fmt " found, "data" not
      {"Truncated36", Prefix(c44, 36), 36, Raw(36, N)},
      // Files of 2 to 4 GiB: lengths past 31 bits are kept, never taken as negative.
      {"RawFileOf3GiB", Bytes().PadTo(2048).v, 0xC0000000ull, Raw(0xC0000000u, W)},
      {"DataLengthPast31BitsIn3GiBFile", Canonical(1, 2, 44100, 16, 0xBFFFFFD4u, 2048),
       0xC0000000ull, {true, 1, 2, 44100, 16, 44, 0xBFFFFFD4u, N}},
      {"DataLengthAllOnesInFileOneByteShort", Canonical(1, 1, 11025, 16, 0xFFFFFFFFu, 2048),
       0xFFFFFFFFull + 43, {true, 1, 1, 11025, 16, 44, 0xFFFFFFFFu - 1, N}},
      // Files of 4 GiB and more: lengths are 32-bit.
      {"RawFileOf5GiB", Bytes().PadTo(2048).v, 5000000000ull, Raw(0xFFFFFFFFu, W)},
      {"DataLengthAllOnesIn5GiBFile", Canonical(1, 1, 11025, 16, 0xFFFFFFFFu, 2048),
       5000000000ull, {true, 1, 1, 11025, 16, 44, 0xFFFFFFFFu, N}},
  };
}

class ReadWaveHeaderMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(ReadWaveHeaderMalformed, HasItsDefinedOutcome) {
  const MalformedCase& c = GetParam();
  const WaveHeaderInfo info = Read(c.file, c.fileSize);
  ExpectHeader(info, c.expected);
  EXPECT_LE(static_cast<uint64_t>(info.dataOffset) + info.dataLength, c.fileSize);
}

INSTANTIATE_TEST_SUITE_P(Guide, ReadWaveHeaderMalformed, ::testing::ValuesIn(MalformedCases()),
                         [](const ::testing::TestParamInfo<MalformedCase>& param) {
                           return std::string(param.param.name);
                         });

TEST(ReadWaveHeader, NullBytesWithNothingReadIsAnEmptyBlock) {
  ExpectHeader(ReadWaveHeader(nullptr, 0, 3000), Raw(3000, Message::NotPcmWaveFormat));
}

// ---------------------------------------------------------------------------
// The file as the program analyses it.

AnalysedWave ReadAnalysed(const std::vector<uint8_t>& file) {
  return ReadAnalysedWave(file.data(), std::min<size_t>(file.size(), kShortestFileBytes), file.size());
}

TEST(ReadAnalysedWave, SixteenBitPcmAndRawAreReadWaveHeadersOwnResult) {
  for (const std::vector<uint8_t>& file : {Canonical(1, 2, 22050, 16, 4000, 4044), Canonical(1, 1, 8000, 8, 3000, 3044),
                                           Bytes().Fill(3000, 0x11).v}) {
    const AnalysedWave wave = ReadAnalysed(file);
    const WaveHeaderInfo h = Read(file);
    ExpectHeader(wave.header, Expected{h.wavFlag, h.format.formatTag, h.format.channels, h.format.sampleRate,
                                       h.format.bitsPerSample, h.dataOffset, h.dataLength, h.warning});
    EXPECT_FALSE(wave.Decoded());
    EXPECT_EQ(SourceBytesOf(1234, wave.layout), 1234u);
  }
}

TEST(ReadAnalysedWave, TwentyFourBitIsHeldAsItsSixteenBitSamples) {
  const AnalysedWave wave = ReadAnalysed(Canonical(1, 2, 96000, 24, 6000, 6044));
  ExpectHeader(wave.header, Expected{true, 1, 2, 96000, 16, 44, 4000, Message::None});
  EXPECT_TRUE(wave.Decoded());
  EXPECT_EQ(SourceBytesOf(4000, wave.layout), 6000u);
  EXPECT_EQ(SourceBytesOf(400, wave.layout), 600u);
}

TEST(ReadAnalysedWave, FloatCountsFourBytesPerSampleAndExtensibleSixteenBitNeedsNoWarning) {
  EXPECT_EQ(ReadAnalysed(Canonical(3, 1, 48000, 32, 8000, 8044)).header.dataLength, 4000u);
  Bytes b;
  b.Raw("RIFF").U32(2000).Raw("WAVE").Raw("fmt ").U32(40);
  FormatRecord(b, 0xFFFE, 1, 44100, 16).U16(22).U16(16).U32(4).U16(1).Fill(14, 0);
  b.Raw("data").U32(2500);
  const AnalysedWave wave = ReadAnalysed(b.PadTo(2568).v);
  ExpectHeader(wave.header, Expected{true, 1, 1, 44100, 16, 68, 2500, Message::None});
  EXPECT_FALSE(wave.Decoded());
}

// Regression: a 16-bit RF64 file was analysed to the end of the file, trailing chunks and
// all, because its data chunk says 0xFFFFFFFF; the length is ds64's.
TEST(ReadAnalysedWave, SixteenBitRf64TakesItsLengthFromDs64) {
  Bytes b;
  b.Raw("RF64").U32(0xFFFFFFFF).Raw("WAVE").Raw("ds64").U32(28).U32(3100).U32(0).U32(3000).U32(0).U32(1500).U32(0).U32(0);
  b.Raw("fmt ").U32(16);
  FormatRecord(b, 1, 1, 22050, 16).Raw("data").U32(0xFFFFFFFF).Fill(3000, 0x22).Raw("LIST").U32(200).Fill(200, 0x7F);
  const AnalysedWave wave = ReadAnalysed(b.v);
  ExpectHeader(wave.header, Expected{true, 1, 1, 22050, 16, 80, 3000, Message::None});
}

TEST(ReadAnalysedWave, CompressedFormatIsRefusedByName) {
  const AnalysedWave wave = ReadAnalysed(Canonical(0x11, 1, 22050, 4, 3000, 3044));
  EXPECT_TRUE(wave.layout.refused);
  EXPECT_NE(std::string(wave.layout.formatName).find("ADPCM"), std::string::npos) << wave.layout.formatName;
}

}  // namespace
}  // namespace hl
