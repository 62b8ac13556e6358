// Example sounds made from formulas, for the README's example, the tests and benchmarks.
// Every file is a canonical PCM WAV file with a 44-byte header (a 16-byte fmt chunk), as
// most recorders write them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hl {

enum class ExampleKind {
  Tone,       // a sine at `frequency`
  Sweep,      // rising from 100 Hz to 0.45 x rate over the first half, falling back over the second
  Harmonics,  // `frequency` and its harmonics 2..10, amplitude 1/k, up to 0.45 x rate
  Bursts,     // white-noise bursts of 100 ms every 500 ms, silence between
  Demo,       // a sweep under a steady tone, with noise bursts
};

struct ExampleSignal {
  ExampleKind kind = ExampleKind::Demo;
  uint32_t sampleRate = 11025;
  int bitsPerSample = 16;  // 8 or 16
  int channels = 1;        // the second channel carries the tone at 1.5 x the frequency
  double seconds = 5.0;
  double frequency = 1000.0;  // Hz, for Tone and Harmonics (and Demo's tone)
  double amplitude = 0.5;     // of full scale
};

bool ParseExampleKind(const std::string& name, ExampleKind* kind);

// The sample value of channel `channel` at frame `frame`, in -1..1.
double ExampleSample(const ExampleSignal& example, int channel, uint64_t frame);

// The whole file: header and interleaved samples.
std::vector<uint8_t> MakeExampleWave(const ExampleSignal& example);

}  // namespace hl
