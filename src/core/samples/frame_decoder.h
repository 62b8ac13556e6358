// Sample encodings a Wave file's data may hold, and their decoding to the engine's 16-bit
// scale (full scale is -32768..32767, as a 16-bit PCM file stores it).
//
// The decoded value of each encoding:
//  - Unsigned8: (u - 128) * 256;  Pcm16: the value as stored;
//  - Pcm24, Pcm32: the top 16 bits (an arithmetic shift right by 8 or 16), so a wider file
//    made from a 16-bit one by scaling gives back exactly the 16-bit samples;
//  - Float32, Float64: x * 32768, clipped to -32768..32767, truncated toward zero; a NaN is 0;
//  - ALaw, MuLaw: the G.711 expansions, on the 16-bit scale (largest magnitudes 32256 and
//    32124).
// Every multi-byte encoding is little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hl {

enum class SampleEncoding : uint8_t { Unsigned8, Pcm16, Pcm24, Pcm32, Float32, Float64, ALaw, MuLaw };

// Bytes one sample of the encoding occupies in the data.
int EncodingBytes(SampleEncoding encoding);

// True for the encodings the renderer reads by its own 8- and 16-bit paths.
inline bool IsNativeEncoding(SampleEncoding encoding) {
  return encoding == SampleEncoding::Unsigned8 || encoding == SampleEncoding::Pcm16;
}

int16_t ALawSample(uint8_t code);
int16_t MuLawSample(uint8_t code);
int16_t FloatSample(double x);

// The sample that starts at `p`.
int16_t DecodeSample(const uint8_t* p, SampleEncoding encoding);

// Decodes `count` samples, the first at `data` and each next one `strideBytes` further on
// (the frame size, to read one channel of interleaved data), into out[0 .. count - 1].
void DecodeSamples(const uint8_t* data, size_t count, size_t strideBytes, SampleEncoding encoding,
                   int16_t* out);

}  // namespace hl
