// The headers Harrowlight writes: the 46-byte header of the sample buffer, of saved waves and
// of recordings, and the header that keeps a source file's own format record for a span of it.
#include <algorithm>
#include <cstring>

#include "core/base/little_endian.h"
#include "core/files/wave_format.h"

namespace hl {

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagExtensible = 0xFFFE;
constexpr uint32_t kMaxUint32 = 0xFFFFFFFFu;

// A size field that cannot hold the value holds its largest value.
uint32_t CapToU32(uint64_t value) { return value > kMaxUint32 ? kMaxUint32 : static_cast<uint32_t>(value); }

}  // namespace

std::vector<uint8_t> SourceWaveHeader(const SampleLayout& layout, uint64_t dataLength) {
  if (!layout.wavFlag || layout.refused) return {};
  const uint32_t recordLength = layout.formatTag == kTagExtensible ? 40 : layout.formatTag == kTagPcm ? 16 : 18;
  if (layout.recordBytes < recordLength && layout.recordBytes < 16) return {};
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
  std::memcpy(record, layout.record, std::min<size_t>(recordLength, layout.recordBytes));
  const uint64_t blockAlign = static_cast<uint64_t>(layout.FrameBytes());
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
