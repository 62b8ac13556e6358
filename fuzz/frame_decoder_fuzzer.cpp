// libFuzzer target over the frame decoders of every sample encoding: any bytes as the data
// of any encoding, read one channel of interleaved frames at a time as the renderer does.
// Each value must be the one its encoding's rule gives; a broken invariant aborts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/samples/frame_decoder.h"
#include "fuzz_input.h"

namespace {

void Require(bool holds, const char* what) { hl_fuzz::Require(holds, "frame decoder", what); }

int16_t Word(uint8_t low, uint8_t high) { return static_cast<int16_t>(static_cast<uint16_t>(low | (high << 8))); }

// The rule of each encoding, written out independently of the decoder.
void CheckOne(const uint8_t* p, hl::SampleEncoding encoding, int16_t got) {
  switch (encoding) {
    case hl::SampleEncoding::Unsigned8: Require(got == (p[0] - 128) * 256, "8-bit is (u - 128) x 256"); break;
    case hl::SampleEncoding::Pcm16: Require(got == Word(p[0], p[1]), "16-bit as stored"); break;
    case hl::SampleEncoding::Pcm24: Require(got == Word(p[1], p[2]), "24-bit keeps its top 16 bits"); break;
    case hl::SampleEncoding::Pcm32: Require(got == Word(p[2], p[3]), "32-bit keeps its top 16 bits"); break;
    case hl::SampleEncoding::Float32:
    case hl::SampleEncoding::Float64: {
      double x;
      if (encoding == hl::SampleEncoding::Float32) {
        float f;
        std::memcpy(&f, p, 4);
        x = f;
      } else {
        std::memcpy(&x, p, 8);
      }
      if (std::isnan(x)) {
        Require(got == 0, "a NaN is 0");
      } else if (std::fabs(x) < 0.999) {
        // Well inside full scale the value is x x 32768 truncated toward zero (binary32 for
        // float32 files: the product of a float and a power of two is exact).
        Require(got == static_cast<int16_t>(std::trunc(x * 32768.0)), "float is x x 32768, truncated");
      } else {
        Require(x > 0 ? got >= 32735 : got <= -32735, "full-scale float clips at full scale");
      }
      break;
    }
    case hl::SampleEncoding::ALaw:
      Require(got == -hl::ALawSample(static_cast<uint8_t>(p[0] ^ 0x80)), "A-law's sign bit only flips the sign");
      Require(got >= -32256 && got <= 32256, "A-law stays within 32256");
      break;
    case hl::SampleEncoding::MuLaw:
      Require(got == -hl::MuLawSample(static_cast<uint8_t>(p[0] ^ 0x80)), "mu-law's sign bit only flips the sign");
      Require(got >= -32124 && got <= 32124, "mu-law stays within 32124");
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  hl_fuzz::Input in(data, size);
  const uint8_t choice = in.Take<uint8_t>();
  const uint8_t channels = in.Take<uint8_t>();
  const auto encoding = static_cast<hl::SampleEncoding>(choice % 8);
  const size_t sampleBytes = static_cast<size_t>(hl::EncodingBytes(encoding));
  Require(sampleBytes >= 1 && sampleBytes <= 8, "a sample has 1 to 8 bytes");
  const size_t stride = sampleBytes * (1 + channels % 8);
  const uint8_t* bytes = in.Rest();
  const size_t count = in.RestSize() >= sampleBytes ? (in.RestSize() - sampleBytes) / stride + 1 : 0;
  // Exactly as many values as asked for: the next one must stay untouched.
  std::vector<int16_t> out(count + 1, 0x5A5A);
  hl::DecodeSamples(bytes, count, stride, encoding, out.data());
  Require(out[count] == 0x5A5A, "nothing written past the count");
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = bytes + i * stride;
    Require(out[i] == hl::DecodeSample(p, encoding), "the bulk decoder agrees with the one-sample decoder");
    CheckOne(p, encoding, out[i]);
  }
  return 0;
}
