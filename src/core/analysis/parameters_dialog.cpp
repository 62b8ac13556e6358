#include "core/analysis/parameters_dialog.h"

#include "core/base/limits.h"

namespace hl {

int32_t EditInteger(const char* text) {
  if (text == nullptr) return 0;
  size_t i = 0;
  while (i < kEditTextLimit && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < kEditTextLimit && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  int32_t value = 0;
  for (; i < kEditTextLimit && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
  return negative ? -value : value;
}

int32_t RescaleForResolution(int32_t ms, Resolution shownResolution, Resolution chosenResolution) {
  if (shownResolution == chosenResolution) return ms;
  if (chosenResolution == Resolution::Bits8) return ms * 2;
  return ms / 2;
}

int32_t ClampNewRate(int32_t enteredRate, uint32_t fileRate) {
  int32_t highest = kHighestNewRate;
  if (fileRate > static_cast<uint32_t>(highest)) {
    highest = fileRate < static_cast<uint32_t>(kHighestFileRate) ? static_cast<int32_t>(fileRate) : kHighestFileRate;
  }
  if (enteredRate < kLowestNewRate) return kLowestNewRate;
  if (enteredRate > highest) return highest;
  return enteredRate;
}

const char* DecodedResolutionText(SampleEncoding encoding) {
  switch (encoding) {
    case SampleEncoding::Pcm24: return "24 bit";
    case SampleEncoding::Pcm32: return "32 bit";
    case SampleEncoding::Float32: return "32 bit float";
    case SampleEncoding::Float64: return "64 bit float";
    case SampleEncoding::ALaw: return "A-law";
    case SampleEncoding::MuLaw: return "mu-law";
    default: return nullptr;
  }
}

int32_t RescaleForNewRate(int32_t ms, float previousRate, float newRate) {
  if (!(newRate > 0.0f)) return ms;
  volatile float factor = previousRate / newRate;
  volatile float scaled = static_cast<float>(ms) * factor;
  return static_cast<int32_t>(scaled);
}

float WindowLengthAtOk(FrequencyMode frequencyMode, int32_t enteredBbMs, int fftLength, float sampleRate,
                       float currentMs) {
  if (frequencyMode == FrequencyMode::BB) {
    return BbWindowLength(static_cast<float>(enteredBbMs), NbWindowLength(fftLength, sampleRate));
  }
  if (!(sampleRate >= 1.0f)) return currentMs;
  return NbWindowLength(fftLength, sampleRate);
}

float DataLengthMs(uint32_t dataLength, int channels, int bitsPerSample, uint32_t sampleRate) {
  volatile float bitsPerFrame = static_cast<float>(channels * bitsPerSample);
  volatile float bytesPerSecond = bitsPerFrame * static_cast<float>(sampleRate) / 8.0f;
  if (!(bytesPerSecond > 0.0f)) return 0.0f;
  volatile float seconds = static_cast<float>(dataLength) / bytesPerSecond;
  return seconds * 1000.0f;
}

DialogPrefill PrefillForFile(uint16_t channels, uint16_t bitsPerSample, uint32_t sampleRate,
                             uint32_t dataLength, const AnalysisSettings& settings, bool keepSpan,
                             float beginMs, float endMs) {
  DialogPrefill p{};
  p.sampleRate = static_cast<int32_t>(sampleRate);
  p.resolution = ResolutionOfBits(bitsPerSample);
  if (keepSpan) {
    p.beginMs = static_cast<int32_t>(beginMs);
    p.endMs = static_cast<int32_t>(endMs);
  } else {
    p.beginMs = 0;
    p.endMs = static_cast<int32_t>(DataLengthMs(dataLength, channels, bitsPerSample, sampleRate));
  }
  p.windowMs = settings.frequencyMode == FrequencyMode::NB
                   ? NbWindowLength(FftLengthOfChoice(settings.fftSize), static_cast<float>(sampleRate))
                   : settings.windowLengthMs;
  return p;
}

}  // namespace hl
