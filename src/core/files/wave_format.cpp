#include "core/files/wave_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/base/little_endian.h"

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
  for (size_t pos = first; pos < first + positions && pos + 4 <= kShortestFileBytes;
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
  uint8_t block[kShortestFileBytes] = {};
  size_t used = count < kShortestFileBytes ? count : kShortestFileBytes;
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
  const uint64_t dataOffset = dataPos + 8;
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
constexpr size_t kChunkHeaderBytes = 8;
constexpr uint64_t kFirstChunk = 12;  // past "RIFF", its size and "WAVE"

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
  static_assert(sizeof layout.formatName == 48, "the precision below cuts a name to the field");
  std::snprintf(layout.formatName, sizeof layout.formatName, "%.47s", text);
}

void Refuse(SampleLayout& layout, const char* text) {
  layout.refused = true;
  Name(layout, text);
}

// A RIFF file that cannot be analysed for what it lacks or contradicts; nothing of it is
// read as samples.
SampleLayout& Problem(SampleLayout& layout, Message problem, const char* detail = "") {
  layout.refused = true;
  layout.problem = problem;
  layout.wavFlag = false;
  layout.dataOffset = 0;
  layout.dataLength = 0;
  std::snprintf(layout.detail, sizeof layout.detail, "%s", detail);
  return layout;
}

// The encoding of a known tag and container; false when the pair is not one we decode.
bool EncodingOf(uint16_t tag, uint16_t containerBytes, SampleEncoding* encoding) {
  if (tag == kTagPcm && containerBytes == 1) *encoding = SampleEncoding::Unsigned8;
  else if (tag == kTagPcm && containerBytes == 2) *encoding = SampleEncoding::Pcm16;
  else if (tag == kTagPcm && containerBytes == 3) *encoding = SampleEncoding::Pcm24;
  else if (tag == kTagPcm && containerBytes == 4) *encoding = SampleEncoding::Pcm32;
  else if (tag == kTagFloat && containerBytes == 4) *encoding = SampleEncoding::Float32;
  else if (tag == kTagFloat && containerBytes == 8) *encoding = SampleEncoding::Float64;
  else if (tag == kTagALaw && containerBytes == 1) *encoding = SampleEncoding::ALaw;
  else if (tag == kTagMuLaw && containerBytes == 1) *encoding = SampleEncoding::MuLaw;
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

// Reads through a window of the file, so that a walk over many small chunks is not one read
// of the file per chunk.
class WindowedReader {
 public:
  WindowedReader(const ReadBytesAt& read, uint64_t fileSize) : read_(read), fileSize_(fileSize) {}

  // `count` bytes at `offset` (count <= kWindow); false when the file ends first or the
  // read fails (then `failed` tells which).
  bool Get(uint64_t offset, uint8_t* out, size_t count) {
    if (offset > fileSize_ || count > fileSize_ - offset) return false;
    if (offset < start_ || offset + count > start_ + held_) {
      start_ = offset;
      const uint64_t left = fileSize_ - offset;
      const size_t want = left < kWindow ? static_cast<size_t>(left) : kWindow;
      held_ = read_ ? read_(offset, window_, want) : 0;
      if (held_ > want) held_ = want;
      if (held_ < count) {
        failed = true;
        return false;
      }
    }
    std::memcpy(out, window_ + (offset - start_), count);
    return true;
  }

  bool failed = false;

 private:
  static constexpr size_t kWindow = 4096;
  const ReadBytesAt& read_;
  uint64_t fileSize_;
  uint64_t start_ = 0;
  size_t held_ = 0;
  uint8_t window_[kWindow];
};

bool Printable(uint8_t c) { return c >= 0x20 && c <= 0x7E; }

// True when a chunk header starts at `at`: a tag of printable ASCII (not starting with a
// space) and, when `sizeFits`, a size no larger than what follows it. (A truncated recording's
// data chunk says more than the file holds, so only the tag tells a chunk after a pad byte.)
bool ChunkStartsAt(WindowedReader& reader, uint64_t at, uint64_t fileSize, bool sizeFits) {
  uint8_t h[kChunkHeaderBytes];
  if (!reader.Get(at, h, sizeof h)) return false;
  if (h[0] == ' ') return false;
  for (int i = 0; i < 4; ++i) {
    if (!Printable(h[i])) return false;
  }
  return !sizeFits || ReadU32(h + 4) <= fileSize - at - kChunkHeaderBytes;
}

struct Ds64 {
  bool found = false;
  uint64_t dataSize = 0;
  // The table of other chunks' 64-bit sizes (few writers use it; a handful is kept).
  struct Entry { uint8_t tag[4]; uint64_t size; };
  Entry entries[8] = {};
  uint32_t entryCount = 0;
};

void ReadDs64(WindowedReader& reader, uint64_t body, uint64_t size, Ds64& ds64) {
  uint8_t fixed[28];
  if (size < sizeof fixed || !reader.Get(body, fixed, sizeof fixed)) return;
  ds64.found = true;
  ds64.dataSize = ReadU64(fixed + 8);
  const uint32_t tableLength = ReadU32(fixed + 24);
  for (uint32_t i = 0; i < tableLength && ds64.entryCount < 8; ++i) {
    const uint64_t at = 28 + uint64_t{i} * 12;
    uint8_t entry[12];
    if (at + 12 > size || !reader.Get(body + at, entry, sizeof entry)) break;
    Ds64::Entry& e = ds64.entries[ds64.entryCount++];
    std::memcpy(e.tag, entry, 4);
    e.size = ReadU64(entry + 4);
  }
}

}  // namespace

ReadBytesAt MemoryBytes(const uint8_t* bytes, size_t count) {
  return [bytes, count](uint64_t offset, uint8_t* out, size_t want) -> size_t {
    if (bytes == nullptr || offset >= count) return 0;
    const size_t n = want < count - offset ? want : static_cast<size_t>(count - offset);
    std::memcpy(out, bytes + offset, n);
    return n;
  };
}

ChunkWalk WalkWaveChunks(const ReadBytesAt& read, uint64_t fileSize) {
  ChunkWalk walk;
  WindowedReader reader(read, fileSize);
  uint8_t head[kFirstChunk];
  if (!reader.Get(0, head, sizeof head) || !TagAt(head + 8, "wave")) {
    walk.readFailed = reader.failed;
    return walk;
  }
  if (TagAt(head, "riff")) walk.container = WaveContainer::Riff;
  else if (TagAt(head, "rf64") || TagAt(head, "bw64")) walk.container = WaveContainer::Rf64;
  else if (TagAt(head, "rifx")) walk.container = WaveContainer::Rifx;
  if (walk.container == WaveContainer::None || walk.container == WaveContainer::Rifx) return walk;

  Ds64 ds64;
  uint64_t at = kFirstChunk;
  while (at <= fileSize && fileSize - at >= kChunkHeaderBytes) {
    uint8_t h[kChunkHeaderBytes];
    if (!reader.Get(at, h, sizeof h)) break;
    const uint64_t body = at + kChunkHeaderBytes;
    const uint64_t left = fileSize - body;
    const uint32_t stored = ReadU32(h + 4);
    uint64_t size = stored;
    bool toEnd = false;
    if (stored == kMaxUint32) {
      toEnd = true;
      if (ds64.found && TagAt(h, "data")) {
        size = ds64.dataSize, toEnd = false;
      }
      for (uint32_t i = 0; toEnd && i < ds64.entryCount; ++i) {
        if (std::memcmp(ds64.entries[i].tag, h, 4) == 0) size = ds64.entries[i].size, toEnd = false;
      }
      if (toEnd) size = left;
    }
    if (walk.container == WaveContainer::Rf64 && walk.chunkCount == 0 && TagAt(h, "ds64")) {
      ReadDs64(reader, body, size, ds64);
    }
    if (TagAt(h, "fmt ") && !walk.hasFmt) {
      walk.hasFmt = true;
      walk.fmtSize = size;
      const uint64_t want = std::min<uint64_t>({size, left, kFormatRecordBytes});
      // A record cut short by the end of the file keeps what could be read.
      for (size_t n = static_cast<size_t>(want); n > 0; --n) {
        if (reader.Get(body, walk.record, n)) {
          walk.recordBytes = n;
          break;
        }
      }
    }
    const bool data = TagAt(h, "data") && !walk.hasData;
    if (data) {
      walk.hasData = true;
      walk.dataOffset = body;
      // A stream's writer that never came back leaves 0: the samples are the rest of the file,
      // unless another chunk follows at once.
      if (!toEnd && stored == 0 && left > 0 && !ChunkStartsAt(reader, body, fileSize, true)) toEnd = true, size = left;
      walk.toEnd = toEnd;
      walk.dataLength = size > left ? left : size;
    }
    if (walk.chunks.size() < kListedChunks) {
      WaveChunk chunk;
      for (int i = 0; i < 4; ++i) chunk.tag[i] = static_cast<char>(h[i]);
      chunk.offset = at;
      chunk.size = size;
      walk.chunks.push_back(chunk);
    }
    ++walk.chunkCount;
    if (toEnd || size >= left) break;  // nothing can follow
    uint64_t next = body + size + (size & 1);
    // A writer that left out the pad byte after an odd size.
    if ((size & 1) && !ChunkStartsAt(reader, next, fileSize, false) && ChunkStartsAt(reader, body + size, fileSize, false)) {
      next = body + size;
    }
    at = next;
  }
  walk.readFailed = reader.failed;
  return walk;
}

namespace {

// The sample encoding of a layout whose format record and data were found, or the refusal
// of a format that cannot be, or cannot be analysed.
SampleLayout EncodedLayout(SampleLayout layout) {
  char text[sizeof layout.detail];
  const uint16_t tag = layout.subFormat;
  const uint16_t bits = layout.bitsPerSample;
  const char* compressed = CompressedName(tag);
  const bool known = tag == kTagPcm || tag == kTagFloat || tag == kTagALaw || tag == kTagMuLaw;
  if (layout.channels == 0) return Problem(layout, Message::InconsistentFormat, "0 channels");
  if (layout.sampleRate == 0) return Problem(layout, Message::InconsistentFormat, "a sample rate of 0 Hz");
  // A compressed format's block align is its block's, its bits its own (4 for ADPCM).
  if (compressed != nullptr) return Refuse(layout, compressed), layout;
  if (!known) {
    std::snprintf(text, sizeof text, "%sformat tag 0x%04X", layout.formatTag == kTagExtensible ? "extensible sub-" : "",
                  static_cast<unsigned>(tag));
    return Refuse(layout, text), layout;
  }
  if (bits == 0) return Problem(layout, Message::InconsistentFormat, "0 bits per sample");
  const uint16_t blockAlign = layout.blockAlign != 0 ? layout.blockAlign
                                                     : static_cast<uint16_t>(std::min<uint32_t>(0xFFFF, layout.channels * ((bits + 7u) / 8)));
  if (blockAlign % layout.channels != 0 || blockAlign == 0) {
    std::snprintf(text, sizeof text, "a block align of %u bytes for %u channels", static_cast<unsigned>(blockAlign),
                  static_cast<unsigned>(layout.channels));
    return Problem(layout, Message::InconsistentFormat, text);
  }
  layout.containerBytes = static_cast<uint16_t>(blockAlign / layout.channels);
  const unsigned container = layout.containerBytes;
  if (container * 8u < bits || layout.validBits > bits) {
    std::snprintf(text, sizeof text, "%u-bit samples in %u-byte containers",
                  static_cast<unsigned>(std::max(bits, layout.validBits)), container);
    return Problem(layout, Message::InconsistentFormat, text);
  }
  if (tag == kTagFloat && container != 4 && container != 8) {
    std::snprintf(text, sizeof text, "%u-bit float", static_cast<unsigned>(bits));
    Name(layout, text);
    std::snprintf(text, sizeof text, "a float of %u bytes", container);
    return Problem(layout, Message::InconsistentFormat, text);
  }
  const unsigned valid = layout.validBits;
  const char* extensible = layout.formatTag == kTagExtensible ? " (extensible)" : "";
  if (tag == kTagPcm && valid > 32) {
    std::snprintf(text, sizeof text, "%u-bit PCM", valid);
    return Refuse(layout, text), layout;
  }
  // The name says the container when the bits do not fill it.
  char containerText[32] = "";
  if ((valid + 7) / 8 != container) std::snprintf(containerText, sizeof containerText, " in %u-byte containers", container);
  std::snprintf(text, sizeof text, "%u-bit %s%s%s", valid, KindName(tag), containerText, extensible);
  if (!EncodingOf(tag, layout.containerBytes, &layout.encoding)) return Refuse(layout, text), layout;
  Name(layout, text);
  return layout;
}

// A RIFF WAVE file's layout from its walked chunks.
SampleLayout WalkedLayout(const ChunkWalk& walk) {
  SampleLayout layout;
  layout.container = walk.container;
  layout.rf64 = walk.container == WaveContainer::Rf64;
  layout.dataLength = 0;
  if (walk.container == WaveContainer::Rifx) {
    Refuse(layout, "RIFX (big-endian) Wave");
    return layout;
  }
  char text[sizeof layout.detail];
  if (!walk.hasFmt) return Problem(layout, walk.readFailed ? Message::CannotOpenFile : Message::NoFmtChunk);
  const uint8_t* r = walk.record;
  if (walk.recordBytes < 16) {
    std::snprintf(text, sizeof text, "it holds %u bytes, fewer than the 16 of a format record", static_cast<unsigned>(walk.recordBytes));
    return Problem(layout, walk.readFailed ? Message::CannotOpenFile : Message::UnreadableFmtChunk, text);
  }
  layout.recordBytes = walk.recordBytes;
  std::memcpy(layout.record, r, walk.recordBytes);
  layout.formatTag = ReadU16(r + 0);
  layout.channels = ReadU16(r + 2);
  layout.sampleRate = ReadU32(r + 4);
  layout.blockAlign = ReadU16(r + 12);
  layout.bitsPerSample = ReadU16(r + 14);
  layout.subFormat = layout.formatTag;
  layout.validBits = layout.bitsPerSample;
  if (layout.formatTag == kTagExtensible) {
    if (walk.recordBytes < kFormatRecordBytes) {
      std::snprintf(text, sizeof text, "an extensible record of %u bytes, fewer than 40", static_cast<unsigned>(walk.recordBytes));
      return Problem(layout, Message::UnreadableFmtChunk, text);
    }
    layout.subFormat = ReadU16(r + 24);
    const uint16_t valid = ReadU16(r + 18);
    layout.validBits = valid != 0 ? valid : layout.bitsPerSample;  // 0: not stated
  }
  if (!walk.hasData) return Problem(layout, walk.readFailed ? Message::CannotOpenFile : Message::NoDataChunk);
  layout.wavFlag = true;
  layout.dataOffset = walk.dataOffset;
  layout.dataLength = walk.dataLength;

  return EncodedLayout(layout);
}

// Headerless data: the tag search over the first block, read further for the encodings.
SampleLayout SearchedLayout(const uint8_t* bytes, size_t count, uint64_t fileSize) {
  uint8_t block[kShortestFileBytes] = {};
  size_t used = count < kShortestFileBytes ? count : kShortestFileBytes;
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
  layout.blockAlign = ReadU16(record + 12);
  layout.bitsPerSample = ReadU16(record + 14);
  layout.subFormat = layout.formatTag;
  layout.validBits = layout.bitsPerSample;
  layout.recordBytes = kFormatRecordBytes;
  std::memcpy(layout.record, record, kFormatRecordBytes);
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
  layout.containerBytes = static_cast<uint16_t>(bits / 8);

  layout.wavFlag = true;
  layout.dataOffset = dataPos + 8;
  const uint64_t stored = ReadU32(block + dataPos + 4);
  const uint64_t available = fileSize - layout.dataOffset;
  layout.dataLength = stored > available ? available : stored;

  const char* compressed = CompressedName(tag);
  char text[sizeof layout.formatName];
  if (known && EncodingOf(tag, layout.containerBytes, &layout.encoding)) {
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

// The first block of the file, zero past what could be read.
size_t FirstBlock(const ReadBytesAt& read, uint64_t fileSize, uint8_t* block) {
  const size_t want = fileSize < kShortestFileBytes ? static_cast<size_t>(fileSize) : kShortestFileBytes;
  size_t got = read && want > 0 ? read(0, block, want) : 0;
  return got > want ? want : got;
}

}  // namespace

SampleLayout ReadSampleLayout(const ReadBytesAt& read, uint64_t fileSize) {
  const ChunkWalk walk = WalkWaveChunks(read, fileSize);
  if (walk.container != WaveContainer::None) return WalkedLayout(walk);
  uint8_t block[kShortestFileBytes] = {};
  const size_t got = FirstBlock(read, fileSize, block);
  return SearchedLayout(block, got, fileSize);
}

SampleLayout ReadSampleLayout(const uint8_t* bytes, size_t count, uint64_t fileSize) {
  return ReadSampleLayout(MemoryBytes(bytes, count), fileSize);
}

std::string LayoutRefusalText(const SampleLayout& layout) {
  if (layout.problem == Message::None) return std::string(layout.formatName) + " files cannot be analysed";
  std::string text = MessageText(layout.problem);
  if (layout.detail[0] != '\0') text += std::string(": ") + layout.detail;
  return text;
}

int PanelResolution(const SampleLayout& layout, int analysedBits) {
  if (!layout.wavFlag) return analysedBits;
  const bool ownContainers = !IsNativeEncoding(layout.encoding) || analysedBits == 8 * layout.containerBytes;
  return ownContainers && layout.validBits != 0 ? layout.validBits : analysedBits;
}

AnalysedWave ReadAnalysedWave(const ReadBytesAt& read, uint64_t fileSize) {
  AnalysedWave wave;
  wave.layout = ReadSampleLayout(read, fileSize);
  const SampleLayout& l = wave.layout;
  WaveHeaderInfo& h = wave.header;
  if (l.container == WaveContainer::None) {
    uint8_t block[kShortestFileBytes] = {};
    const size_t got = FirstBlock(read, fileSize, block);
    h = ReadWaveHeader(block, got, fileSize);
    // Headerless 8- and 16-bit PCM and the raw fallback are the tag search's own result.
    if (l.refused || !l.wavFlag || (l.formatTag == kTagPcm && IsNativeEncoding(l.encoding))) return wave;
  } else if (l.refused) {
    return wave;
  }
  // A readable header, so no warning.
  const uint64_t analysedLength = wave.Decoded() ? l.dataLength / EncodingBytes(l.encoding) * 2 : l.dataLength;
  h.format = WaveFormat{kTagPcm, l.channels, l.sampleRate, static_cast<uint16_t>(wave.Decoded() ? 16 : l.containerBytes * 8)};
  h.wavFlag = true;
  h.dataOffset = l.dataOffset;
  h.dataLength = static_cast<uint32_t>(analysedLength > kMaxUint32 ? kMaxUint32 : analysedLength);
  h.warning = Message::None;
  return wave;
}

AnalysedWave ReadAnalysedWave(const uint8_t* bytes, size_t count, uint64_t fileSize) {
  return ReadAnalysedWave(MemoryBytes(bytes, count), fileSize);
}

uint64_t SourceBytesOf(uint64_t analysedBytes, const SampleLayout& layout) {
  if (!layout.wavFlag || IsNativeEncoding(layout.encoding)) return analysedBytes;
  return analysedBytes / 2 * static_cast<uint64_t>(EncodingBytes(layout.encoding));
}

}  // namespace hl
