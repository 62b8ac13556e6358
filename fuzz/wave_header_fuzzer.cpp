// libFuzzer target over the WAV header readers (the chunk walk of RIFF files, the tag search
// of headerless data) and the frame decoder: any bytes, as a file of that size.
// Each result must satisfy what callers rely on; a broken invariant aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/samples/frame_decoder.h"
#include "core/files/wave_format.h"

namespace {

void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "wave header invariant broken: %s\n", what);
    std::abort();
  }
}

// The decoding reader: its data inside the file, a RIFF file never read as raw samples, its
// containers consistent with the stored block align, headerless 8- and 16-bit PCM where the
// program reads it, and its first frames decodable from the bytes the file holds.
void CheckLayout(const uint8_t* data, size_t size, const hl::WaveHeaderInfo& info) {
  const hl::SampleLayout layout = hl::ReadSampleLayout(data, size, size);
  Require(layout.dataOffset + layout.dataLength <= size, "layout data ends within the file");
  if (layout.container != hl::WaveContainer::None) {
    Require(layout.warning == hl::Message::None && (layout.wavFlag || layout.refused), "a RIFF file is never raw");
  }
  if (layout.problem != hl::Message::None) {
    Require(layout.refused && !layout.wavFlag && layout.dataLength == 0, "a missing chunk leaves no data");
  }
  if (layout.refused) return;
  Require(layout.channels >= 1 && layout.sampleRate >= 1, "channels and rate >= 1");
  const size_t frameBytes = static_cast<size_t>(layout.FrameBytes());
  Require(frameBytes >= 1, "a frame has bytes");
  if (layout.container != hl::WaveContainer::None) {
    Require(layout.containerBytes == hl::EncodingBytes(layout.encoding), "the encoding is the container's");
    Require(layout.blockAlign == 0 || layout.blockAlign == frameBytes, "a frame is the stored block align");
    Require(layout.containerBytes * 8 >= layout.bitsPerSample && layout.validBits <= layout.bitsPerSample,
            "the container holds the bits");
    // The header Save Wave writes for these samples reads back as the same format.
    std::vector<uint8_t> saved = hl::SourceWaveHeader(layout, frameBytes);
    if (!saved.empty()) {
      saved.resize(saved.size() + frameBytes, 0);
      const hl::SampleLayout back = hl::ReadSampleLayout(saved.data(), saved.size(), saved.size());
      Require(!back.refused && back.encoding == layout.encoding && back.channels == layout.channels &&
                  back.sampleRate == layout.sampleRate && back.dataLength == frameBytes,
              "the saved header reads back");
    }
  } else {
    const bool legacy = layout.formatTag == 1 && (layout.bitsPerSample == 8 || layout.bitsPerSample == 16);
    if (legacy || !layout.wavFlag) {
      Require(layout.dataOffset == info.dataOffset && layout.dataLength == info.dataLength &&
                  layout.channels == info.format.channels && layout.sampleRate == info.format.sampleRate,
              "headerless 8- and 16-bit PCM lies where the program reads it");
    }
  }
  const hl::AnalysedWave wave = hl::ReadAnalysedWave(data, size, size);
  if (!wave.Decoded()) {
    Require(wave.header.dataOffset + wave.header.dataLength <= size, "the program's data ends within the file");
  }
  size_t frames = static_cast<size_t>(layout.dataLength / frameBytes);
  if (frames > 64) frames = 64;
  int16_t out[64];
  hl::DecodeSamples(data + layout.dataOffset, frames, frameBytes, layout.encoding, out);
}

// The walk: chunks in file order, each header inside the file.
void CheckWalk(const uint8_t* data, size_t size) {
  const hl::ChunkWalk walk = hl::WalkWaveChunks(hl::MemoryBytes(data, size), size);
  Require(walk.chunkCount >= walk.chunks.size() && walk.chunks.size() <= hl::kListedChunks, "chunks counted");
  uint64_t last = 0;
  for (const hl::WaveChunk& c : walk.chunks) {
    Require(c.offset >= 12 && c.offset + 8 <= size && (last == 0 || c.offset > last), "chunks in file order");
    last = c.offset;
  }
  Require(!walk.hasData || walk.dataOffset + walk.dataLength <= size, "walked data within the file");
  Require(walk.recordBytes <= hl::kFormatRecordBytes, "record within its buffer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t count = size < hl::kShortestFileBytes ? size : hl::kShortestFileBytes;
  const uint64_t fileSize = size;
  const hl::WaveHeaderInfo info = hl::ReadWaveHeader(data, count, fileSize);
  const hl::WaveFormat& f = info.format;

  Require(static_cast<uint64_t>(info.dataOffset) + info.dataLength <= fileSize,
          "data ends within the file");
  if (info.wavFlag) {
    Require(f.channels >= 1, "channels >= 1");
    Require(f.bitsPerSample != 0 && f.bitsPerSample % 8 == 0 && f.bitsPerSample <= 32,
            "bits 8, 16, 24 or 32");
    Require(f.sampleRate >= 1, "sample rate >= 1");
    Require(f.BlockAlign() >= 1, "block align >= 1");
    Require(info.dataOffset >= 8 && info.dataOffset <= 511 + 1023 + 8,
            "data offset just past a tag found by the search");
    Require(info.warning == (f.formatTag == 1 ? hl::Message::None
                                              : hl::Message::NotPcmWaveFormat),
            "warning exactly for a format tag other than 1");
  } else {
    Require(f.channels == 1 && f.bitsPerSample == 16 && f.sampleRate == 11025,
            "raw fallback is 16-bit mono 11025 Hz");
    Require(info.dataOffset == 0, "raw data starts at 0");
    Require(info.dataLength == (fileSize > 0xFFFFFFFFu ? 0xFFFFFFFFu : fileSize),
            "raw data is the whole file");
  }
  // The header the program would write for this format must read back the same format.
  // Its data offset can come back below 46: format fields whose bytes spell "data" are
  // taken for the tag by the search (found by this fuzzer; see the reader's tests).
  if (info.wavFlag) {
    uint8_t header[hl::kWaveHeaderLength + 4] = {};
    hl::WriteWaveHeader(header, f, 0);
    const hl::WaveHeaderInfo back = hl::ReadWaveHeader(header, sizeof header, sizeof header);
    Require(back.wavFlag && back.format.channels == f.channels &&
                back.format.sampleRate == f.sampleRate &&
                back.format.bitsPerSample == f.bitsPerSample && back.dataOffset <= 46,
            "written header reads back");
  }
  CheckLayout(data, size, info);
  CheckWalk(data, size);
  return 0;
}
