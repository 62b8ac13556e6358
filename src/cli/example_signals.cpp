#include "cli/example_signals.h"

#include <cmath>

namespace hl {

namespace {

const double kPi = std::acos(-1.0);

// A small deterministic noise source, so every run writes the same bytes.
double NoiseAt(uint64_t frame) {
  uint64_t z = frame * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) / static_cast<double>(1ull << 53) * 2.0 - 1.0;
}

double Tone(double frequency, double t) { return std::sin(2 * kPi * frequency * t); }

// Linear sweep up over the first half and down over the second; the phase is the integral
// of the instantaneous frequency, so the sweep is continuous.
double Sweep(const ExampleSignal& example, double t) {
  const double low = 100.0, high = 0.45 * example.sampleRate;
  const double half = example.seconds / 2;
  const double rate = (high - low) / half;
  double phase;
  if (t < half) {
    phase = low * t + rate * t * t / 2;
  } else {
    double u = t - half;
    phase = low * half + rate * half * half / 2 + high * u - rate * u * u / 2;
  }
  return std::sin(2 * kPi * phase);
}

double Harmonics(const ExampleSignal& example, double t) {
  double sum = 0, norm = 0;
  for (int k = 1; k <= 10 && k * example.frequency < 0.45 * example.sampleRate; ++k) {
    sum += Tone(k * example.frequency, t) / k;
    norm += 1.0 / k;
  }
  return norm > 0 ? sum / norm : 0;
}

double Bursts(uint64_t frame, double t) {
  double inCycle = std::fmod(t, 0.5);
  return inCycle < 0.1 ? NoiseAt(frame) : 0.0;
}

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

bool ParseExampleKind(const std::string& name, ExampleKind* kind) {
  struct Row {
    const char* name;
    ExampleKind kind;
  } rows[] = {{"tone", ExampleKind::Tone},
              {"sweep", ExampleKind::Sweep},
              {"harmonics", ExampleKind::Harmonics},
              {"bursts", ExampleKind::Bursts},
              {"demo", ExampleKind::Demo}};
  for (const Row& row : rows) {
    if (name == row.name) {
      *kind = row.kind;
      return true;
    }
  }
  return false;
}

double ExampleSample(const ExampleSignal& example, int channel, uint64_t frame) {
  const double t = static_cast<double>(frame) / example.sampleRate;
  if (channel > 0) return example.amplitude * Tone(1.5 * example.frequency, t);
  double value = 0;
  switch (example.kind) {
    case ExampleKind::Tone: value = Tone(example.frequency, t); break;
    case ExampleKind::Sweep: value = Sweep(example, t); break;
    case ExampleKind::Harmonics: value = Harmonics(example, t); break;
    case ExampleKind::Bursts: value = Bursts(frame, t); break;
    case ExampleKind::Demo:
      value = 0.5 * Sweep(example, t) + 0.3 * Tone(example.frequency, t) + 0.2 * Bursts(frame, t);
      break;
  }
  return example.amplitude * value;
}

std::vector<uint8_t> MakeExampleWave(const ExampleSignal& example) {
  const int bytesPerSample = example.bitsPerSample / 8;
  const uint64_t frames = static_cast<uint64_t>(std::llround(example.seconds * example.sampleRate));
  const uint32_t dataLength = static_cast<uint32_t>(frames * example.channels * bytesPerSample);
  std::vector<uint8_t> out;
  out.reserve(44 + dataLength);
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  PutLe(out, 36 + dataLength, 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(out, 16, 4);
  PutLe(out, 1, 2);
  PutLe(out, static_cast<uint32_t>(example.channels), 2);
  PutLe(out, example.sampleRate, 4);
  PutLe(out, example.sampleRate * example.channels * bytesPerSample, 4);
  PutLe(out, static_cast<uint32_t>(example.channels * bytesPerSample), 2);
  PutLe(out, static_cast<uint32_t>(example.bitsPerSample), 2);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  PutLe(out, dataLength, 4);
  for (uint64_t frame = 0; frame < frames; ++frame) {
    for (int channel = 0; channel < example.channels; ++channel) {
      double value = ExampleSample(example, channel, frame);
      if (value > 1.0) value = 1.0;
      if (value < -1.0) value = -1.0;
      if (bytesPerSample == 1) {
        out.push_back(static_cast<uint8_t>(128 + std::lround(value * 127)));
      } else {
        PutLe(out, static_cast<uint16_t>(static_cast<int16_t>(std::lround(value * 32767))), 2);
      }
    }
  }
  return out;
}

}  // namespace hl
