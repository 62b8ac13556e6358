// The analysis and display choices, their start-up defaults, and the checks
// that decide which message a refused value gets.
//
// Choices are values of their own enums, in the order their radio buttons stand in the
// dialogs; which control shows a choice is the dialogs' business
// (app/dialog_choices_win32.h).
#pragma once

#include <cstdint>

#include "core/base/messages.h"
#include "core/image/palette.h"

namespace hl {

enum class RateChoice : uint8_t { Rate5k, Rate11k, Rate22k, Rate44k };  // 5513 .. 44100 Hz
enum class Resolution : uint8_t { Bits8, Bits16 };
enum class FftSize : uint8_t { Fft512, Fft1024, Fft2048 };
enum class FrequencyMode : uint8_t {
  BB,  // window length chosen by the user
  NB,  // window as long as the FFT
};
enum class RecordLength : uint8_t { Seconds10, Seconds20, Seconds30, Any };
enum class DisplayType : uint8_t { Scroll, Scope };
enum class AnalysisAtStop : uint8_t { On, Off };

constexpr uint16_t BitsOf(Resolution r) { return r == Resolution::Bits16 ? 16 : 8; }
constexpr Resolution ResolutionOfBits(uint16_t bits) { return bits == 16 ? Resolution::Bits16 : Resolution::Bits8; }

// FFT length of an FFT-size choice (512, 1024, 2048) and its order (9, 10, 11). A value
// that is no FFT-size choice gives 512 and 9. FftSizeOfOrder is the choice of an order;
// an order that is none of the three gives 512 points.
int FftLengthOfChoice(FftSize fftSizeChoice);
int FftOrderOfChoice(FftSize fftSizeChoice);
FftSize FftSizeOfOrder(int fftOrder);
// The choice of an FFT length (512, 1024, 2048; any other length gives 512 points).
FftSize FftSizeOfLength(int fftLength);

struct AnalysisSettings {
  RateChoice sampleRateChoice = RateChoice::Rate11k;  // used by the scan and record dialogs
  Resolution resolution = Resolution::Bits8;
  FftSize fftSize = FftSize::Fft512;  // of the image shown; its order is FftOrder()
  PaletteScheme palette = PaletteScheme::CB;
  FrequencyMode frequencyMode = FrequencyMode::NB;
  RecordLength recordLength = RecordLength::Seconds10;
  DisplayType displayType = DisplayType::Scroll;
  AnalysisAtStop analysisAtStop = AnalysisAtStop::Off;
  int16_t attenuation = 0;      // dB, 0..36
  int16_t latencyMs = 60;       // 0..250, scan and record latency
  float windowLengthMs = 8.0f;  // "BB": as entered; "NB": the FFT length in ms
  float savedWindowLengthMs = 8.0f;  // last "BB" window, brought back with "BB"
  float timeScaleMs = 12.0f;    // time between two image columns

  int FftOrder() const;  // log2 of the FFT length: 9, 10 or 11
};

// Time between columns: 1.0 to 500.0 ms inclusive, else TimeScaleOutOfRange.
// A value that is not a number is refused as well.
Message CheckTimeScale(float timeScaleMs);

// Sample rate: 4000 to 44100 Hz inclusive, else SampleRateOutOfRange.
Message CheckSampleRate(double sampleRate);

// A rate for a file's analysis: one CheckSampleRate accepts, or the file's own rate
// `fileRate` when it lies in 4000..384000 Hz (the image then covers the file's wider band).
Message CheckFileRate(double sampleRate, uint32_t fileRate);

// Analysis window: below 1.0 ms (or not a number) gives FftWindowTooSmall.
Message CheckWindowLength(float windowMs);

// The "NB" window: as long as the FFT, fftLength / sampleRate x 1000 ms,
// computed in binary32 with each operation rounded (the quotient first, then
// the product). This is not the correctly rounded value of 1000 x N / rate:
// at 11025, 22050 and 44100 Hz it comes out one unit in the last place lower.
// The dialog applies it only for a rate of at least 1 Hz; below that (or for
// a rate that is not a number) this returns 0.0f, which CheckWindowLength
// refuses.
float NbWindowLength(int fftLength, float sampleRate);

// The "BB" window as entered, cut to at most the FFT length in ms (pass
// NbWindowLength of the chosen FFT and rate); a result of 0 or less, or not a
// number, becomes 1.0 ms.
float BbWindowLength(float enteredMs, float fftLengthMs);

}  // namespace hl
