// libFuzzer target over the decoding of compressed sound files: any bytes, told by the
// sniffer and decoded by the platform's decoder through its virtual I/O over them. A decoded
// sound must be a WAV the header reader takes as the decoder described it; a refusal must be
// one line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/sound_decoder.h"
#include "core/files/decoded_sound.h"
#include "core/files/wave_format.h"
#include "fuzz_input.h"

// libsndfile leaves a codec's state behind on some of its failure paths (a Vorbis header that
// breaks off after its first packet leaks libvorbis's vorbis_info). Leaks of memory the codec
// libraries allocated are theirs; what libsndfile itself or this program allocates is still
// reported, so a handle left open is found.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libvorbis.so\nleak:libogg.so\nleak:libFLAC.so\nleak:libmpg123.so\nleak:libopus.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using hl_fuzz::Require;
  const hl::ReadBytesAt read = hl::MemoryBytes(data, size);
  hl::SoundContainer kind = hl::SniffContainer(read, size);
  // The decoder looks at the bytes itself: what the sniffer does not know is tried too.
  if (kind == hl::SoundContainer::Unknown || kind == hl::SoundContainer::Wave) kind = hl::SoundContainer::Flac;
  hl::DecodedSound sound;
  const hl::DecodeResult result = hl::DecodeSound("fuzz.bin", read, size, kind, sound);
  if (!result.ok) {
    Require(!result.message.empty() && result.message.find('\n') == std::string::npos, "sound decoder",
            "a refusal is one line");
    return 0;
  }
  Require(sound.wave.size() > hl::kWaveHeaderLength, "sound decoder", "a decoded sound has samples");
  Require(sound.bitsPerSample == 16 || sound.bitsPerSample == 24, "sound decoder", "16 or 24 bits");
  Require(!sound.coding.empty(), "sound decoder", "the coding is named");
  const hl::SampleLayout layout = hl::ReadSampleLayout(sound.wave.data(), sound.wave.size(), sound.wave.size());
  Require(!layout.refused && layout.wavFlag && layout.channels == sound.channels &&
              layout.sampleRate == sound.sampleRate && layout.bitsPerSample == sound.bitsPerSample,
          "sound decoder", "the WAV reads back as decoded");
  Require(layout.dataOffset == hl::kWaveHeaderLength && layout.dataLength == sound.wave.size() - hl::kWaveHeaderLength &&
              layout.dataLength % static_cast<uint64_t>(layout.FrameBytes()) == 0,
          "sound decoder", "whole frames fill the data");
  return 0;
}
