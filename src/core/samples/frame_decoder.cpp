#include "core/samples/frame_decoder.h"

#include <cstring>

namespace hl {

namespace {

float LoadFloat(const uint8_t* p) {
  const uint32_t bits = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                        (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  float x;
  std::memcpy(&x, &bits, sizeof x);
  return x;
}

double LoadDouble(const uint8_t* p) {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | p[i];
  double x;
  std::memcpy(&x, &bits, sizeof x);
  return x;
}

// Binary32 has the exact product too (32768 is a power of two), and keeping to it lets the
// loop run without branches: NaN fails both comparisons and ends as 0.
int16_t Float32Sample(float x) {
  const float scaled = x * 32768.0f;
  float clipped = scaled < 32767.0f ? scaled : 32767.0f;
  clipped = clipped > -32768.0f ? clipped : -32768.0f;
  return scaled == scaled ? static_cast<int16_t>(static_cast<int32_t>(clipped)) : 0;
}

int16_t TopWord(uint8_t low, uint8_t high) {
  return static_cast<int16_t>(static_cast<uint16_t>(low | (high << 8)));
}

// One loop per encoding, so the per-sample work has no switch in it.
template <typename Decode>
void DecodeEach(const uint8_t* data, size_t count, size_t stride, int16_t* out, Decode decode) {
  for (size_t i = 0; i < count; ++i, data += stride) out[i] = decode(data);
}

}  // namespace

int EncodingBytes(SampleEncoding encoding) {
  switch (encoding) {
    case SampleEncoding::Unsigned8:
    case SampleEncoding::ALaw:
    case SampleEncoding::MuLaw: return 1;
    case SampleEncoding::Pcm16: return 2;
    case SampleEncoding::Pcm24: return 3;
    case SampleEncoding::Pcm32:
    case SampleEncoding::Float32: return 4;
    case SampleEncoding::Float64: return 8;
  }
  return 2;
}

// A-law: the even bits are inverted on the line; then sign (1 is positive), a 3-bit segment
// and a 4-bit step. Segment 0 is linear; each further segment doubles the step size, and the
// value is taken at the middle of its step.
int16_t ALawSample(uint8_t code) {
  const int a = code ^ 0x55;
  const int segment = (a >> 4) & 7;
  const int step = a & 0x0F;
  int magnitude = (step << 4) + 8;
  if (segment > 0) magnitude = ((step << 4) + 0x108) << (segment - 1);
  return static_cast<int16_t>((a & 0x80) ? magnitude : -magnitude);
}

// mu-law: all bits are inverted on the line; sign (1 is negative), a 3-bit segment and a
// 4-bit step. The segments follow a biased logarithm: (step * 2 + 33) * 2^segment - 33 on the
// 14-bit scale, four times that here.
int16_t MuLawSample(uint8_t code) {
  const int u = static_cast<uint8_t>(~code);
  const int segment = (u >> 4) & 7;
  const int step = u & 0x0F;
  const int magnitude = (((step << 3) + 0x84) << segment) - 0x84;
  return static_cast<int16_t>((u & 0x80) ? -magnitude : magnitude);
}

int16_t FloatSample(double x) {
  const double scaled = x * 32768.0;
  if (!(scaled == scaled)) return 0;  // NaN has no level
  if (scaled >= 32767.0) return 32767;
  if (scaled <= -32768.0) return -32768;
  return static_cast<int16_t>(scaled);  // the conversion truncates toward zero
}

int16_t DecodeSample(const uint8_t* p, SampleEncoding encoding) {
  switch (encoding) {
    case SampleEncoding::Unsigned8: return static_cast<int16_t>((p[0] - 128) * 256);
    case SampleEncoding::Pcm16: return TopWord(p[0], p[1]);
    case SampleEncoding::Pcm24: return TopWord(p[1], p[2]);
    case SampleEncoding::Pcm32: return TopWord(p[2], p[3]);
    case SampleEncoding::Float32: return Float32Sample(LoadFloat(p));
    case SampleEncoding::Float64: return FloatSample(LoadDouble(p));
    case SampleEncoding::ALaw: return ALawSample(p[0]);
    case SampleEncoding::MuLaw: return MuLawSample(p[0]);
  }
  return 0;
}

void DecodeSamples(const uint8_t* data, size_t count, size_t strideBytes, SampleEncoding encoding,
                   int16_t* out) {
  switch (encoding) {
    case SampleEncoding::Pcm24:
      return DecodeEach(data, count, strideBytes, out, [](const uint8_t* p) { return TopWord(p[1], p[2]); });
    case SampleEncoding::Pcm32:
      return DecodeEach(data, count, strideBytes, out, [](const uint8_t* p) { return TopWord(p[2], p[3]); });
    case SampleEncoding::Float32:
      return DecodeEach(data, count, strideBytes, out, [](const uint8_t* p) { return Float32Sample(LoadFloat(p)); });
    default:
      return DecodeEach(data, count, strideBytes, out, [encoding](const uint8_t* p) { return DecodeSample(p, encoding); });
  }
}

}  // namespace hl
