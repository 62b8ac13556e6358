// libFuzzer target over the WAV header readers and the frame decoder: any bytes, as a file
// of that size.
// Each result must satisfy what callers rely on; a broken invariant aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "files/frame_decoder.h"
#include "files/wave_format.h"

namespace {

void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "wave header invariant broken: %s\n", what);
    std::abort();
  }
}

// The decoding reader: its data inside the file, its 8- and 16-bit PCM where the program
// reads it, and its first frames decodable from the bytes the file holds.
void CheckLayout(const uint8_t* data, size_t size, const hl::WaveHeaderInfo& info) {
  const size_t count = size < hl::kWaveSearchBlockLength ? size : hl::kWaveSearchBlockLength;
  const hl::SampleLayout layout = hl::ReadSampleLayout(data, count, size);
  Require(layout.dataOffset + layout.dataLength <= size, "layout data ends within the file");
  if (layout.refused) return;
  Require(layout.channels >= 1 && layout.sampleRate >= 1, "channels and rate >= 1");
  const bool legacy =
      layout.formatTag == 1 && (layout.bitsPerSample == 8 || layout.bitsPerSample == 16) && !layout.rf64;
  if (legacy || !layout.wavFlag) {
    Require(layout.dataOffset == info.dataOffset && layout.dataLength == info.dataLength &&
                layout.channels == info.format.channels && layout.sampleRate == info.format.sampleRate,
            "8- and 16-bit PCM lies where the program reads it");
  }
  const size_t frameBytes = static_cast<size_t>(layout.FrameBytes());
  Require(frameBytes >= 1, "a frame has bytes");
  size_t frames = static_cast<size_t>(layout.dataLength / frameBytes);
  if (frames > 64) frames = 64;
  int16_t out[64];
  hl::DecodeSamples(data + layout.dataOffset, frames, frameBytes, layout.encoding, out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t count = size < hl::kWaveSearchBlockLength ? size : hl::kWaveSearchBlockLength;
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
  return 0;
}
