#include "core/analysis/analysis_settings.h"

#include "core/base/limits.h"

namespace hl {

// The comparisons are written so that a value that is not a number fails them.

Message CheckTimeScale(float timeScaleMs) {
  if (timeScaleMs >= kShortestTimeScaleMs && timeScaleMs <= kLongestTimeScaleMs) return Message::None;
  return Message::TimeScaleOutOfRange;
}

Message CheckSampleRate(double sampleRate) {
  if (sampleRate >= kLowestSampleRate && sampleRate <= kHighestSampleRate) return Message::None;
  return Message::SampleRateOutOfRange;
}

Message CheckFileRate(double sampleRate, uint32_t fileRate) {
  if (CheckSampleRate(sampleRate) == Message::None) return Message::None;
  const bool own = sampleRate == static_cast<double>(fileRate) && fileRate >= static_cast<uint32_t>(kLowestSampleRate) &&
                   fileRate <= static_cast<uint32_t>(kHighestFileRate);
  return own ? Message::None : Message::SampleRateOutOfRange;
}

Message CheckWindowLength(float windowMs) {
  if (windowMs >= kShortestWindowMs) return Message::None;
  return Message::FftWindowTooSmall;
}

float NbWindowLength(int fftLength, float sampleRate) {
  if (!(sampleRate >= 1.0f)) return 0.0f;
  // Each step goes through a float in memory, so neither excess precision nor
  // a fused operation can skip the rounding of the quotient.
  volatile float perSecond = static_cast<float>(fftLength) / sampleRate;
  volatile float ms = perSecond * 1000.0f;
  return ms;
}

float BbWindowLength(float enteredMs, float fftLengthMs) {
  float ms = enteredMs;
  if (ms > fftLengthMs) ms = fftLengthMs;
  if (!(ms > 0.0f)) ms = 1.0f;
  return ms;
}

int FftLengthOfChoice(FftSize fftSizeChoice) { return 1 << FftOrderOfChoice(fftSizeChoice); }

int FftOrderOfChoice(FftSize fftSizeChoice) {
  switch (fftSizeChoice) {
    case FftSize::Fft1024:
      return 10;
    case FftSize::Fft2048:
      return 11;
    default:
      return 9;
  }
}

FftSize FftSizeOfOrder(int fftOrder) {
  if (fftOrder == 10) return FftSize::Fft1024;
  if (fftOrder == 11) return FftSize::Fft2048;
  return FftSize::Fft512;
}

FftSize FftSizeOfLength(int fftLength) {
  if (fftLength == 1024) return FftSize::Fft1024;
  if (fftLength == 2048) return FftSize::Fft2048;
  return FftSize::Fft512;
}

int AnalysisSettings::FftOrder() const { return FftOrderOfChoice(fftSize); }

}  // namespace hl
