// RIFF WAVE files as other programs write them: the chunk walk and the sample containers.
// Every readable layout is made from the same 16-bit stereo samples and must decode to them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/samples/frame_decoder.h"
#include "core/files/wave_format.h"

namespace hl {
namespace {

constexpr int kFrames = 1500;

// The source: 16-bit stereo, a tone on the left, its negation on the right.
std::vector<int16_t> Source() {
  std::vector<int16_t> s;
  for (int i = 0; i < kFrames; ++i) {
    const int16_t v = static_cast<int16_t>(std::lround(20000 * std::sin(i * 0.05)));
    s.push_back(v);
    s.push_back(static_cast<int16_t>(-v));
  }
  return s;
}

void Put(std::vector<uint8_t>& v, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) v.push_back(i < 8 ? static_cast<uint8_t>(value >> (8 * i)) : 0);  // wider fields: zeros
}

template <size_t N>
std::vector<uint8_t> Text(const char (&s)[N]) { return std::vector<uint8_t>(s, s + N - 1); }  // NULs kept

// A small WAV writer: chunks appended as given, each padded to an even size.
struct Wav {
  std::vector<uint8_t> v = Text("RIFF\0\0\0\0WAVE");
  Wav& Chunk(const char* tag, const std::vector<uint8_t>& body, int64_t storedSize = -1) {
    v.insert(v.end(), tag, tag + 4);
    Put(v, storedSize < 0 ? body.size() : static_cast<uint64_t>(storedSize), 4);
    v.insert(v.end(), body.begin(), body.end());
    if (body.size() % 2) v.push_back(0);
    return *this;
  }
  std::vector<uint8_t> Done() {
    std::vector<uint8_t> out = v;
    const uint32_t size = static_cast<uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(size >> (8 * i));
    return out;
  }
};

// A format record of `tag`, stereo at 44100 Hz, with `bits` and a block align of two
// containers; extensible (sub-format PCM) when `validBits` is given.
std::vector<uint8_t> Fmt(uint16_t tag, uint16_t bits, int container, int validBits = -1) {
  std::vector<uint8_t> r;
  const bool extensible = validBits >= 0;
  Put(r, extensible ? 0xFFFE : tag, 2);
  Put(r, 2, 2);
  Put(r, 44100, 4);
  Put(r, 44100u * 2 * container, 4);
  Put(r, 2 * container, 2);
  Put(r, bits, 2);
  if (extensible) {
    Put(r, 22, 2);
    Put(r, static_cast<uint64_t>(validBits), 2);
    Put(r, 3, 4);
    Put(r, tag, 2);
    const uint8_t guid[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    r.insert(r.end(), guid, guid + 14);
  }
  return r;
}

// The source's samples left-justified in containers of `bytes` (the low bytes zero).
std::vector<uint8_t> Samples(int bytes) {
  std::vector<uint8_t> d;
  for (int16_t s : Source()) Put(d, static_cast<uint64_t>(static_cast<uint16_t>(s)) << (8 * (bytes - 2)), bytes);
  return d;
}

std::vector<uint8_t> Filler(size_t n, const std::string& text = "x") {
  std::vector<uint8_t> b;
  while (b.size() < n) b.insert(b.end(), text.begin(), text.end());
  b.resize(n);
  return b;
}

std::vector<uint8_t> CuePoints() {
  std::vector<uint8_t> b;
  Put(b, 3, 4);
  for (uint32_t i = 0; i < 3; ++i) {
    Put(b, i, 4);
    Put(b, i * 100, 4);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put(b, 0, 12);
  }
  return b;
}

struct Layout {
  const char* name;
  std::vector<uint8_t> file;
  SampleEncoding encoding;
  const char* formatName;
};

std::vector<Layout> Layouts() {
  const std::vector<uint8_t> fmt16 = Fmt(1, 16, 2);
  const std::vector<uint8_t> s16 = Samples(2);
  std::vector<uint8_t> list = Text("INFOICMT");
  Put(list, 18, 4);
  const std::vector<uint8_t> comment = Text("Field Data, site 4");
  list.insert(list.end(), comment.begin(), comment.end());
  std::vector<uint8_t> ds64;
  Put(ds64, 0, 8);
  Put(ds64, s16.size(), 8);
  Put(ds64, kFrames, 8);
  Put(ds64, 0, 4);
  Wav rf64;
  rf64.v = Text("RF64\xff\xff\xff\xffWAVE");
  rf64.Chunk("ds64", ds64).Chunk("fmt ", fmt16).Chunk("data", s16, 0xFFFFFFFF).Chunk("LIST", list);
  std::vector<uint8_t> rf64File = rf64.v;  // its RIFF size stays 0xFFFFFFFF
  std::vector<uint8_t> streamed = Wav().Chunk("fmt ", fmt16).Done();
  const std::vector<uint8_t> streamedData = Text("data\0\0\0\0");
  streamed.insert(streamed.end(), streamedData.begin(), streamedData.end());
  streamed.insert(streamed.end(), s16.begin(), s16.end());
  Wav unpadded = Wav().Chunk("junk", Filler(7));
  unpadded.v.pop_back();  // a writer that left out the pad byte
  unpadded.Chunk("fmt ", fmt16).Chunk("data", s16);
  return {
      {"odd chunk without its pad byte", unpadded.Done(), SampleEncoding::Pcm16, "16-bit PCM"},
      {"bext before fmt", Wav().Chunk("bext", Filler(602)).Chunk("fmt ", fmt16).Chunk("data", s16).Done(),
       SampleEncoding::Pcm16, "16-bit PCM"},
      {"4 KB of iXML between fmt and data",
       Wav().Chunk("fmt ", fmt16).Chunk("iXML", Filler(4096, "<data>")).Chunk("data", s16).Done(), SampleEncoding::Pcm16,
       "16-bit PCM"},
      {"cue before data", Wav().Chunk("fmt ", fmt16).Chunk("cue ", CuePoints()).Chunk("data", s16).Done(),
       SampleEncoding::Pcm16, "16-bit PCM"},
      {"LIST holding the word data", Wav().Chunk("LIST", list).Chunk("fmt ", fmt16).Chunk("data", s16).Done(),
       SampleEncoding::Pcm16, "16-bit PCM"},
      {"odd chunk and its pad byte", Wav().Chunk("junk", Filler(7)).Chunk("fmt ", fmt16).Chunk("data", s16).Done(),
       SampleEncoding::Pcm16, "16-bit PCM"},
      {"12 bits in 2 bytes", Wav().Chunk("fmt ", Fmt(1, 12, 2)).Chunk("data", s16).Done(), SampleEncoding::Pcm16,
       "12-bit PCM"},
      {"20 bits in 3 bytes", Wav().Chunk("fmt ", Fmt(1, 20, 3)).Chunk("data", Samples(3)).Done(), SampleEncoding::Pcm24,
       "20-bit PCM"},
      {"24 bits in 4 bytes, tag 1", Wav().Chunk("fmt ", Fmt(1, 24, 4)).Chunk("data", Samples(4)).Done(),
       SampleEncoding::Pcm32, "24-bit PCM in 4-byte containers"},
      {"24 bits in 4 bytes, extensible", Wav().Chunk("fmt ", Fmt(1, 32, 4, 24)).Chunk("data", Samples(4)).Done(),
       SampleEncoding::Pcm32, "24-bit PCM in 4-byte containers (extensible)"},
      {"fmt after data", Wav().Chunk("data", s16).Chunk("fmt ", fmt16).Done(), SampleEncoding::Pcm16, "16-bit PCM"},
      {"RF64 with a trailing LIST", rf64File, SampleEncoding::Pcm16, "16-bit PCM"},
      {"data size 0, the last chunk", streamed, SampleEncoding::Pcm16, "16-bit PCM"},
  };
}

TEST(WaveChunks, EveryLayoutDecodesToTheSixteenBitSamplesItWasMadeFrom) {
  const std::vector<int16_t> source = Source();
  for (const Layout& c : Layouts()) {
    const SampleLayout layout = ReadSampleLayout(c.file.data(), c.file.size(), c.file.size());
    ASSERT_FALSE(layout.refused) << c.name << ": " << LayoutRefusalText(layout);
    EXPECT_EQ(layout.warning, Message::None) << c.name;
    EXPECT_EQ(layout.encoding, c.encoding) << c.name;
    EXPECT_STREQ(layout.formatName, c.formatName) << c.name;
    EXPECT_EQ(layout.channels, 2) << c.name;
    EXPECT_EQ(layout.sampleRate, 44100u) << c.name;
    const size_t frameBytes = static_cast<size_t>(layout.FrameBytes());
    ASSERT_EQ(layout.dataLength, kFrames * frameBytes) << c.name;
    ASSERT_LE(layout.dataOffset + layout.dataLength, c.file.size()) << c.name;
    std::vector<int16_t> left(kFrames), right(kFrames);
    const uint8_t* data = c.file.data() + layout.dataOffset;
    DecodeSamples(data, kFrames, frameBytes, layout.encoding, left.data());
    DecodeSamples(data + EncodingBytes(layout.encoding), kFrames, frameBytes, layout.encoding, right.data());
    for (int i = 0; i < kFrames; ++i) {
      ASSERT_EQ(left[i], source[2 * i]) << c.name << " frame " << i;
      ASSERT_EQ(right[i], source[2 * i + 1]) << c.name << " frame " << i;
    }
    // The program holds 8- and 16-bit containers as they are and the rest as 16-bit samples.
    const AnalysedWave wave = ReadAnalysedWave(c.file.data(), c.file.size(), c.file.size());
    EXPECT_TRUE(wave.header.wavFlag) << c.name;
    EXPECT_EQ(wave.header.format.bitsPerSample, 16) << c.name;
    EXPECT_EQ(wave.header.dataOffset, layout.dataOffset) << c.name;
    EXPECT_EQ(wave.header.dataLength, kFrames * 4u) << c.name;
  }
}

struct RefusedCase {
  const char* name;
  std::vector<uint8_t> file;
  const char* text;
};

TEST(WaveChunks, ARiffFileWithoutAUsableHeaderIsRefusedNeverReadAsRawSamples) {
  const std::vector<uint8_t> s16 = Samples(2);
  std::vector<uint8_t> rifx = Wav().Chunk("fmt ", Fmt(1, 16, 2)).Chunk("data", s16).Done();
  std::memcpy(rifx.data(), "RIFX", 4);
  const RefusedCase cases[] = {
      {"fmt without data", Wav().Chunk("fmt ", Fmt(1, 16, 2)).Chunk("LIST", Filler(3000)).Done(),
       "No data chunk in the file"},
      {"data without fmt", Wav().Chunk("data", s16).Done(), "No fmt chunk in the file"},
      {"a 10-byte fmt", Wav().Chunk("fmt ", std::vector<uint8_t>(10, 1)).Chunk("data", s16).Done(),
       "Unreadable fmt chunk in the file: it holds 10 bytes, fewer than the 16 of a format record"},
      {"block align 3 for 2 channels", Wav().Chunk("fmt ", Fmt(1, 8, 2)).Chunk("data", s16).Done(), nullptr},
      {"24 bits in 2-byte containers", Wav().Chunk("fmt ", Fmt(1, 24, 2)).Chunk("data", s16).Done(),
       "Inconsistent format in the file: 24-bit samples in 2-byte containers"},
      {"a 2-byte float", Wav().Chunk("fmt ", Fmt(3, 16, 2)).Chunk("data", s16).Done(),
       "Inconsistent format in the file: a float of 2 bytes"},
      {"36-bit PCM", Wav().Chunk("fmt ", Fmt(1, 36, 5)).Chunk("data", Filler(5000)).Done(),
       "36-bit PCM files cannot be analysed"},
      {"RIFX", rifx, "RIFX (big-endian) Wave files cannot be analysed"},
  };
  for (const RefusedCase& c : cases) {
    std::vector<uint8_t> file = c.file;
    if (std::string(c.name) == "block align 3 for 2 channels") file[32] = 3;  // the record's block align
    const SampleLayout layout = ReadSampleLayout(file.data(), file.size(), file.size());
    EXPECT_TRUE(layout.refused) << c.name;
    EXPECT_EQ(layout.warning, Message::None) << c.name;
    const std::string text = LayoutRefusalText(layout);
    if (c.text) {
      EXPECT_EQ(text, c.text) << c.name;
    } else {
      EXPECT_EQ(text, "Inconsistent format in the file: a block align of 3 bytes for 2 channels") << c.name;
    }
    EXPECT_TRUE(ReadAnalysedWave(file.data(), file.size(), file.size()).layout.refused) << c.name;
  }
}

TEST(WaveChunks, AnEmptyDataChunkFollowedByAnotherChunkStaysEmpty) {
  const std::vector<uint8_t> file =
      Wav().Chunk("fmt ", Fmt(1, 16, 2)).Chunk("data", {}).Chunk("LIST", Filler(3000, "INFO")).Done();
  const SampleLayout layout = ReadSampleLayout(file.data(), file.size(), file.size());
  EXPECT_FALSE(layout.refused);
  EXPECT_EQ(layout.dataOffset, 44u);
  EXPECT_EQ(layout.dataLength, 0u);
  const ChunkWalk walk = WalkWaveChunks(MemoryBytes(file.data(), file.size()), file.size());
  ASSERT_EQ(walk.chunks.size(), 3u);
  EXPECT_STREQ(walk.chunks[2].tag, "LIST");
  EXPECT_EQ(walk.chunks[2].offset, 44u);
  EXPECT_FALSE(walk.toEnd);
}

TEST(WaveChunks, HeaderlessDataKeepsTheTagSearch) {
  // A file that does not begin with RIFF is searched for its tags as it always was.
  std::vector<uint8_t> file = Text("junk");
  const std::vector<uint8_t> riff = Wav().Chunk("fmt ", Fmt(1, 16, 2)).Chunk("data", Samples(2)).Done();
  file.insert(file.end(), riff.begin(), riff.end());
  const WaveHeaderInfo old = ReadWaveHeader(file.data(), kShortestFileBytes, file.size());
  const AnalysedWave wave = ReadAnalysedWave(file.data(), file.size(), file.size());
  EXPECT_TRUE(old.wavFlag);
  EXPECT_EQ(wave.layout.container, WaveContainer::None);
  EXPECT_EQ(wave.header.dataOffset, old.dataOffset);
  EXPECT_EQ(wave.header.dataLength, old.dataLength);
  EXPECT_EQ(wave.header.format.bitsPerSample, old.format.bitsPerSample);
}

TEST(WaveChunks, ThePanelShowsTheFilesOwnResolutionUnlessTheAnalysisChoseFewerBits) {
  const std::vector<uint8_t> twelve = Wav().Chunk("fmt ", Fmt(1, 12, 2)).Chunk("data", Samples(2)).Done();
  const SampleLayout layout = ReadSampleLayout(twelve.data(), twelve.size(), twelve.size());
  EXPECT_EQ(PanelResolution(layout, 16), 12);
  EXPECT_EQ(PanelResolution(layout, 8), 8);
  EXPECT_EQ(PanelResolution(SampleLayout(), 8), 8);  // headerless data: the analysis's bits
}

}  // namespace
}  // namespace hl
