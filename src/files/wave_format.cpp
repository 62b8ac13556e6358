#include "files/wave_format.h"

#include <cstdio>
#include <cstring>

#include "common/little_endian.h"

namespace hl {

namespace {

constexpr size_t kFmtSearchPositions = 512;
constexpr size_t kDataSearchPositions = 1024;
constexpr size_t kFormatRecordOffset = 8;  // past the tag and the chunk's own size field
constexpr uint32_t kRawSampleRate = 11025;
constexpr uint16_t kRawBits = 16;
constexpr uint32_t kMaxUint32 = 0xFFFFFFFFu;

uint32_t CapToU32(uint64_t value) {
  return value > kMaxUint32 ? kMaxUint32 : static_cast<uint32_t>(value);
}

uint8_t AsciiLower(uint8_t c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<uint8_t>(c + ('a' - 'A')) : c;
}

// `tag` is lower case. A NUL byte in the file never matches, even where a case fold that
// ignores bit 5 would turn it into the space of "fmt ".
bool TagAt(const uint8_t* p, const char* tag) {
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0 || AsciiLower(p[i]) != static_cast<uint8_t>(tag[i])) return false;
  }
  return true;
}

// First position in [first, first + positions) where `tag` starts, with all four bytes
// inside the block; `kNotFound` when there is none.
constexpr size_t kNotFound = static_cast<size_t>(-1);

size_t FindTag(const uint8_t* block, size_t first, size_t positions, const char* tag) {
  for (size_t pos = first; pos < first + positions && pos + 4 <= kWaveSearchBlockLength;
       ++pos) {
    if (TagAt(block + pos, tag)) return pos;
  }
  return kNotFound;
}

WaveHeaderInfo RawFallback(uint64_t fileSize, Message warning) {
  WaveHeaderInfo info;
  info.format.formatTag = 1;
  info.format.channels = 1;
  info.format.sampleRate = kRawSampleRate;
  info.format.bitsPerSample = kRawBits;
  info.wavFlag = false;
  info.dataOffset = 0;
  info.dataLength = CapToU32(fileSize);
  info.warning = warning;
  return info;
}

bool UsableFormat(const WaveFormat& format) {
  const uint16_t bits = format.bitsPerSample;
  return format.channels != 0 && bits != 0 && bits % 8 == 0 && bits <= 32 &&
         format.sampleRate != 0;
}

}  // namespace

int WaveFormat::BytesPerSample() const { return bitsPerSample / 8; }

int WaveFormat::BlockAlign() const {
  // 65535 × 65535 does not fit an int; divided by 8 it does.
  return static_cast<int>(static_cast<int64_t>(channels) * bitsPerSample / 8);
}

WaveHeaderInfo ReadWaveHeader(const uint8_t* bytes, size_t count, uint64_t fileSize) {
  // The block is zero-filled and holds at most what the file has, so a short file reads
  // zeros where it has no bytes.
  uint8_t block[kWaveSearchBlockLength] = {};
  size_t used = count < kWaveSearchBlockLength ? count : kWaveSearchBlockLength;
  if (used > fileSize) used = static_cast<size_t>(fileSize);
  if (bytes != nullptr && used > 0) std::memcpy(block, bytes, used);

  const size_t fmtPos = FindTag(block, 0, kFmtSearchPositions, "fmt ");
  if (fmtPos == kNotFound) return RawFallback(fileSize, Message::NotPcmWaveFormat);

  const size_t dataPos = FindTag(block, fmtPos, kDataSearchPositions, "data");
  if (dataPos == kNotFound) return RawFallback(fileSize, Message::None);

  // fmtPos <= 511 and dataPos <= 1534, so every field below lies inside the block.
  const uint8_t* record = block + fmtPos + kFormatRecordOffset;
  WaveFormat format;
  format.formatTag = ReadU16(record + 0);
  format.channels = ReadU16(record + 2);
  format.sampleRate = ReadU32(record + 4);
  format.bitsPerSample = ReadU16(record + 14);
  const uint32_t dataOffset = static_cast<uint32_t>(dataPos + 8);
  const uint32_t storedLength = ReadU32(block + dataPos + 4);

  if (!UsableFormat(format) || dataOffset > fileSize) {
    return RawFallback(fileSize, Message::NotPcmWaveFormat);
  }

  WaveHeaderInfo info;
  info.format = format;
  info.wavFlag = true;
  info.dataOffset = dataOffset;
  const uint64_t available = fileSize - dataOffset;
  // When available < storedLength it is below 2^32, so the narrowing is exact.
  info.dataLength =
      storedLength > available ? static_cast<uint32_t>(available) : storedLength;
  info.warning = format.formatTag != 1 ? Message::NotPcmWaveFormat : Message::None;
  return info;
}

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagALaw = 6;
constexpr uint16_t kTagMuLaw = 7;
constexpr uint16_t kTagExtensible = 0xFFFE;

uint64_t ReadU64(const uint8_t* p) { return ReadU32(p) | (static_cast<uint64_t>(ReadU32(p + 4)) << 32); }

// Names of the compressed formats a user is most likely to meet.
const char* CompressedName(uint16_t tag) {
  switch (tag) {
    case 0x0002: return "Microsoft ADPCM";
    case 0x0011: return "IMA ADPCM";
    case 0x0031: return "GSM 6.10";
    case 0x0040: return "G.721 ADPCM";
    case 0x0050: return "MPEG";
    case 0x0055: return "MPEG Layer 3";
    case 0x00FF: return "AAC";
    case 0x0161: return "Windows Media Audio";
    case 0x2000: return "AC-3";
    case 0xF1AC: return "FLAC";
    default: return nullptr;
  }
}

void Name(SampleLayout& layout, const char* text) {
  std::snprintf(layout.formatName, sizeof layout.formatName, "%s", text);
}

void Refuse(SampleLayout& layout, const char* text) {
  layout.refused = true;
  Name(layout, text);
}

// The encoding of a known tag and width; false when the pair is not one we decode.
bool EncodingOf(uint16_t tag, uint16_t bits, SampleEncoding* encoding) {
  if (tag == kTagPcm && bits == 8) *encoding = SampleEncoding::Unsigned8;
  else if (tag == kTagPcm && bits == 16) *encoding = SampleEncoding::Pcm16;
  else if (tag == kTagPcm && bits == 24) *encoding = SampleEncoding::Pcm24;
  else if (tag == kTagPcm && bits == 32) *encoding = SampleEncoding::Pcm32;
  else if (tag == kTagFloat && bits == 32) *encoding = SampleEncoding::Float32;
  else if (tag == kTagFloat && bits == 64) *encoding = SampleEncoding::Float64;
  else if (tag == kTagALaw && bits == 8) *encoding = SampleEncoding::ALaw;
  else if (tag == kTagMuLaw && bits == 8) *encoding = SampleEncoding::MuLaw;
  else return false;
  return true;
}

const char* KindName(uint16_t tag) {
  switch (tag) {
    case kTagPcm: return "PCM";
    case kTagFloat: return "float";
    case kTagALaw: return "A-law";
    default: return "mu-law";
  }
}

SampleLayout RawLayout(uint64_t fileSize, Message warning) {
  SampleLayout layout;
  layout.dataLength = fileSize;
  layout.warning = warning;
  Name(layout, "raw 16-bit PCM");
  return layout;
}

}  // namespace

SampleLayout ReadSampleLayout(const uint8_t* bytes, size_t count, uint64_t fileSize) {
  uint8_t block[kWaveSearchBlockLength] = {};
  size_t used = count < kWaveSearchBlockLength ? count : kWaveSearchBlockLength;
  if (used > fileSize) used = static_cast<size_t>(fileSize);
  if (bytes != nullptr && used > 0) std::memcpy(block, bytes, used);

  if (std::memcmp(block, "RIFX", 4) == 0) {
    SampleLayout layout = RawLayout(fileSize, Message::None);
    Refuse(layout, "RIFX (big-endian) Wave");
    return layout;
  }
  const size_t fmtPos = FindTag(block, 0, kFmtSearchPositions, "fmt ");
  if (fmtPos == kNotFound) return RawLayout(fileSize, Message::NotPcmWaveFormat);
  const size_t dataPos = FindTag(block, fmtPos, kDataSearchPositions, "data");
  if (dataPos == kNotFound) return RawLayout(fileSize, Message::None);

  // fmtPos <= 511, so the 40 bytes of an extensible record lie inside the block.
  const uint8_t* record = block + fmtPos + kFormatRecordOffset;
  SampleLayout layout;
  layout.formatTag = ReadU16(record + 0);
  layout.channels = ReadU16(record + 2);
  layout.sampleRate = ReadU32(record + 4);
  layout.bitsPerSample = ReadU16(record + 14);
  layout.subFormat = layout.formatTag;
  layout.validBits = layout.bitsPerSample;
  if (layout.formatTag == kTagExtensible) {
    layout.validBits = ReadU16(record + 18);
    layout.subFormat = ReadU16(record + 24);
  }
  const uint16_t bits = layout.bitsPerSample;
  const uint16_t tag = layout.subFormat;
  const bool known = tag == kTagPcm || tag == kTagFloat || tag == kTagALaw || tag == kTagMuLaw;
  // A compressed format's width is its own (4 bits for ADPCM), so only a known tag's is
  // checked here.
  if (layout.channels == 0 || layout.sampleRate == 0 || (known && (bits == 0 || bits % 8 != 0)) ||
      dataPos + 8 > fileSize) {
    return RawLayout(fileSize, Message::NotPcmWaveFormat);
  }

  layout.wavFlag = true;
  layout.dataOffset = dataPos + 8;
  uint64_t stored = ReadU32(block + dataPos + 4);
  layout.rf64 = std::memcmp(block, "RF64", 4) == 0 && TagAt(block + 12, "ds64");
  if (layout.rf64 && stored == kMaxUint32) stored = ReadU64(block + 28);
  const uint64_t available = fileSize - layout.dataOffset;
  layout.dataLength = stored > available ? available : stored;

  const char* compressed = CompressedName(tag);
  char text[sizeof layout.formatName];
  if (EncodingOf(tag, bits, &layout.encoding)) {
    std::snprintf(text, sizeof text, "%u-bit %s%s", static_cast<unsigned>(bits), KindName(tag),
                  layout.formatTag == kTagExtensible ? " (extensible)" : "");
    Name(layout, text);
  } else if (compressed != nullptr) {
    Refuse(layout, compressed);
  } else if (known) {
    std::snprintf(text, sizeof text, "%u-bit %s", static_cast<unsigned>(bits), KindName(tag));
    Refuse(layout, text);
  } else {
    std::snprintf(text, sizeof text, "%sformat tag 0x%04X",
                  layout.formatTag == kTagExtensible ? "extensible sub-" : "", static_cast<unsigned>(tag));
    Refuse(layout, text);
  }
  return layout;
}

AnalysedWave ReadAnalysedWave(const uint8_t* bytes, size_t count, uint64_t fileSize) {
  AnalysedWave wave;
  wave.layout = ReadSampleLayout(bytes, count, fileSize);
  wave.header = ReadWaveHeader(bytes, count, fileSize);
  const SampleLayout& l = wave.layout;
  if (l.refused || !l.wavFlag || (l.formatTag == kTagPcm && IsNativeEncoding(l.encoding) && !l.rf64)) return wave;
  // Extensible 8/16-bit PCM, the wider encodings and RF64 (whose data chunk may say 0xFFFFFFFF
  // and leave the length to ds64): a readable header, so no warning.
  const uint64_t analysedLength = wave.Decoded() ? l.dataLength / EncodingBytes(l.encoding) * 2 : l.dataLength;
  WaveHeaderInfo& h = wave.header;
  h.format = WaveFormat{kTagPcm, l.channels, l.sampleRate, static_cast<uint16_t>(wave.Decoded() ? 16 : l.bitsPerSample)};
  h.wavFlag = true;
  h.dataOffset = static_cast<uint32_t>(l.dataOffset);  // at most 2048 + 8
  h.dataLength = static_cast<uint32_t>(analysedLength > kMaxUint32 ? kMaxUint32 : analysedLength);
  h.warning = Message::None;
  return wave;
}

uint64_t SourceBytesOf(uint64_t analysedBytes, const SampleLayout& layout) {
  if (!layout.wavFlag || IsNativeEncoding(layout.encoding)) return analysedBytes;
  return analysedBytes / 2 * static_cast<uint64_t>(EncodingBytes(layout.encoding));
}

std::vector<uint8_t> SourceWaveHeader(const uint8_t* bytes, size_t count, const SampleLayout& layout,
                                      uint64_t dataLength) {
  uint8_t block[kWaveSearchBlockLength] = {};
  const size_t used = count < kWaveSearchBlockLength ? count : kWaveSearchBlockLength;
  if (bytes != nullptr && used > 0) std::memcpy(block, bytes, used);
  const size_t fmtPos = FindTag(block, 0, kFmtSearchPositions, "fmt ");
  if (!layout.wavFlag || layout.refused || fmtPos == kNotFound) return {};
  const uint32_t recordLength = layout.formatTag == kTagExtensible ? 40 : layout.formatTag == kTagPcm ? 16 : 18;
  const uint64_t headerLength = 12 + 8 + recordLength + 8;
  if (dataLength + headerLength - 8 > kMaxUint32) return {};

  std::vector<uint8_t> header(headerLength);
  uint8_t* p = header.data();
  std::memcpy(p, "RIFF", 4);
  WriteU32(p + 4, static_cast<uint32_t>(dataLength + headerLength - 8));
  std::memcpy(p + 8, "WAVE", 4);
  std::memcpy(p + 12, "fmt ", 4);
  WriteU32(p + 16, recordLength);
  uint8_t* record = p + 20;
  // fmtPos <= 511, so the 40 bytes of the record lie inside the block.
  std::memcpy(record, block + fmtPos + kFormatRecordOffset, recordLength);
  const uint64_t blockAlign = static_cast<uint64_t>(layout.channels) * (layout.bitsPerSample / 8);
  WriteU32(record + 8, CapToU32(blockAlign * layout.sampleRate));
  WriteU16(record + 12, static_cast<uint16_t>(blockAlign > 0xFFFFu ? 0xFFFFu : blockAlign));
  if (recordLength == 18) WriteU16(record + 16, 0);
  if (recordLength == 40) WriteU16(record + 16, 22);
  std::memcpy(record + recordLength, "data", 4);
  WriteU32(record + recordLength + 4, static_cast<uint32_t>(dataLength));
  return header;
}

void WriteWaveHeader(uint8_t* buffer, const WaveFormat& format, uint32_t dataLength) {
  const uint64_t bytesPerSample = static_cast<uint64_t>(format.BytesPerSample());
  const uint64_t blockAlign = bytesPerSample * format.channels;
  const uint64_t bytesPerSecond = blockAlign * format.sampleRate;

  std::memcpy(buffer + 0, "RIFF", 4);
  WriteU32(buffer + 4, 0);  // set below with the data length
  std::memcpy(buffer + 8, "WAVE", 4);
  std::memcpy(buffer + 12, "fmt ", 4);
  WriteU32(buffer + 16, 18);  // the record carries the extra-size field
  WriteU16(buffer + 20, 1);
  WriteU16(buffer + 22, format.channels);
  WriteU32(buffer + 24, format.sampleRate);
  WriteU32(buffer + 28, CapToU32(bytesPerSecond));
  WriteU16(buffer + 32, static_cast<uint16_t>(blockAlign > 0xFFFFu ? 0xFFFFu : blockAlign));
  WriteU16(buffer + 34, format.bitsPerSample);
  WriteU16(buffer + 36, 0);
  std::memcpy(buffer + 38, "data", 4);
  SetWaveDataLength(buffer, dataLength);
}

void SetWaveDataLength(uint8_t* header, uint32_t dataLength) {
  WriteU32(header + 4, CapToU32(static_cast<uint64_t>(dataLength) + (kWaveHeaderLength - 8)));
  WriteU32(header + 42, dataLength);
}

uint32_t WholeFrames(uint32_t byteCount, const WaveFormat& format) {
  const int blockAlign = format.BlockAlign();
  if (blockAlign <= 0) return 0;
  const uint32_t align = static_cast<uint32_t>(blockAlign);
  return byteCount - byteCount % align;
}

}  // namespace hl
