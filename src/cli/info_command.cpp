// harrowlight-cli info: how a file's header was read and how the analysis takes it.
#include <cstdio>
#include <string>

#include "cli/render_command.h"
#include "cli/sound_input.h"
#include "core/base/limits.h"
#include "core/base/messages.h"
#include "core/files/wave_format.h"

namespace hl {

namespace {

std::string HeaderKind(const SampleLayout& f) {
  switch (f.container) {
    case WaveContainer::Riff: return "RIFF WAVE, chunks walked";
    case WaveContainer::Rf64: return "RF64 WAVE, chunks walked, 64-bit sizes from ds64";
    case WaveContainer::Rifx: return "RIFX WAVE (big-endian)";
    case WaveContainer::None: break;
  }
  return f.wavFlag ? "none: \"fmt \" and \"data\" found by searching the first " + LimitText(Limit::ShortestFile) +
                         " bytes"
                   : "none, read as raw samples";
}

void PrintChunks(const ChunkWalk& walk) {
  for (const WaveChunk& c : walk.chunks) {
    // A tag's bytes are shown as they are where printable.
    char tag[5] = {};
    for (int i = 0; i < 4; ++i) tag[i] = c.tag[i] >= 0x20 && c.tag[i] <= 0x7E ? c.tag[i] : '?';
    const bool data = walk.hasData && c.offset + 8 == walk.dataOffset;
    std::printf("chunk: \"%s\" at %llu, %llu bytes%s\n", tag, static_cast<unsigned long long>(c.offset),
                static_cast<unsigned long long>(data ? walk.dataLength : c.size),
                data && walk.toEnd ? " (to the end of the file)" : "");
  }
  if (walk.chunkCount > walk.chunks.size()) {
    std::printf("chunk: %llu more\n", static_cast<unsigned long long>(walk.chunkCount - walk.chunks.size()));
  }
}

}  // namespace

// Describes any file, whatever its size: how its header was read, the chunks walked, the
// format and how the analysis takes it. A file the analysis refuses is described as far as
// it can be, then refused (exit 2).
int RunInfo(const std::string& input) {
  uint64_t fileSize = 0;
  if (!FileSizeOf(input, &fileSize)) return OutcomeError(Outcome::Failed, OpenFailure(input));
  uint8_t first = 0;
  if (fileSize > 0 && ReadFileRange(input, 0, 1, &first) == 0) return OutcomeError(Outcome::Failed, OpenFailure(input));
  // A compressed file is described as the WAV it decodes to, after its coding.
  InputSource source;
  const std::string undecoded = source.Take(input, fileSize);
  if (!undecoded.empty()) return OutcomeError(Outcome::Refused, undecoded);
  const ReadBytesAt read = source.Bytes();
  const SampleLayout f = ReadSampleLayout(read, source.Size());
  if (f.problem == Message::CannotOpenFile) return OutcomeError(Outcome::Failed, OpenFailure(input));
  std::printf("file: %s\n", InputName(input).c_str());
  std::printf("size: %llu bytes\n", static_cast<unsigned long long>(fileSize));
  if (const DecodedSound* sound = source.Decoded()) {
    std::printf("coding: %s\n", sound->coding.c_str());
    std::printf("decoded to: a %u-bit PCM WAV of %llu bytes in memory\n", sound->bitsPerSample,
                static_cast<unsigned long long>(sound->wave.size()));
    fileSize = source.Size();
  }
  if (fileSize < kShortestFileBytes) {
    std::printf("note: fewer than %s bytes, so render, levels and the program refuse it (%s)\n",
                LimitText(Limit::ShortestFile).c_str(), MessageText(Message::SampleSizeTooSmall));
  }
  std::printf("header: %s\n", HeaderKind(f).c_str());
  if (f.container == WaveContainer::Riff || f.container == WaveContainer::Rf64) PrintChunks(WalkWaveChunks(read, fileSize));
  // The fields are the file's only where its format record was read (or, for headerless data,
  // what the analysis takes): RIFX's are big-endian and not read at all.
  const bool formatRead = f.container == WaveContainer::None || f.recordBytes >= 16;
  std::printf("format: %s\n", f.container == WaveContainer::Rifx ? "RIFX (big-endian) Wave"
                              : formatRead                        ? f.formatName
                                                                  : "unknown");
  if (formatRead) {
    std::printf("format tag: %u\n", f.formatTag);
    if (f.formatTag != f.subFormat) std::printf("sub-format tag: %u\n", f.subFormat);
    std::printf("channels: %u\n", f.channels);
    std::printf("sample rate: %u Hz\n", f.sampleRate);
    std::printf("bits per sample: %u\n", f.bitsPerSample);
    if (f.validBits != f.bitsPerSample) std::printf("valid bits: %u\n", f.validBits);
  }
  if (!f.refused) {
    std::printf("block align: %d bytes\n", f.FrameBytes());
    std::printf("sample container: %d bytes\n", EncodingBytes(f.encoding));
    std::printf("data offset: %llu\n", static_cast<unsigned long long>(f.dataOffset));
    std::printf("data length: %llu bytes\n", static_cast<unsigned long long>(f.dataLength));
    const double bytesPerSecond = static_cast<double>(f.FrameBytes()) * f.sampleRate;
    if (bytesPerSecond > 0) std::printf("duration: %.3f s\n", f.dataLength / bytesPerSecond);
  } else if (formatRead) {
    std::printf("block align: %u bytes\n", f.blockAlign);
  }
  const char* channel = f.channels > 1 ? ", the first channel" : "";
  const int analysedBits = IsNativeEncoding(f.encoding) && f.containerBytes == 1 ? 8 : 16;
  const std::string refusal = LayoutRefusalText(f);
  if (f.refused) {
    std::printf("analysed as: not analysed, %s\n", refusal.c_str());
  } else {
    // The information panel's resolution for the whole file at the analysis's default bits.
    std::printf("resolution: %d bits\n", PanelResolution(f, analysedBits));
    if (IsNativeEncoding(f.encoding)) {
      std::printf("analysed as: %d bit%s\n", analysedBits, channel);
    } else {
      const char* how = f.encoding == SampleEncoding::Pcm24 || f.encoding == SampleEncoding::Pcm32
                            ? "the top 16 bits of each sample"
                        : f.encoding == SampleEncoding::ALaw || f.encoding == SampleEncoding::MuLaw
                            ? "each sample expanded"
                            : "each sample x 32768, clipped";
      std::printf("analysed as: 16 bit, %s%s\n", how, channel);
    }
  }
  if (f.warning != Message::None) std::printf("warning: %s\n", MessageText(f.warning));
  if (f.refused) {
    std::fflush(stdout);
    std::fprintf(stderr, "harrowlight-cli: %s\n", refusal.c_str());
    return kExitRefused;
  }
  return kExitOk;
}

}  // namespace hl
