// The analysis and display choices, their start-up defaults, and the checks
// that decide which message a refused value gets.
//
// Choices made with radio buttons are stored as the id of the selected button,
// so a dialog checks its group straight from the field.
#pragma once

#include <cstdint>

#include "app/messages.h"
#include "display/palette.h"

namespace hl {

// Radio-button ids of the choice fields.
namespace choice {
constexpr int16_t kRate5k = 1021;   // 5513 Hz
constexpr int16_t kRate11k = 1022;  // 11025 Hz
constexpr int16_t kRate22k = 1023;  // 22050 Hz
constexpr int16_t kRate44k = 1024;  // 44100 Hz
constexpr int16_t kResolution8Bit = 1007;
constexpr int16_t kResolution16Bit = 1008;
constexpr int16_t kFft512 = 1015;
constexpr int16_t kFft1024 = 1016;
constexpr int16_t kFft2048 = 1017;
constexpr int16_t kModeBb = 1009;  // window length chosen by the user
constexpr int16_t kModeNb = 1010;  // window as long as the FFT
constexpr int16_t kRecord10s = 1071;
constexpr int16_t kRecord20s = 1072;
constexpr int16_t kRecord30s = 1073;
constexpr int16_t kRecordAny = 1074;
constexpr int16_t kDisplayScroll = 1061;
constexpr int16_t kDisplayScope = 1062;
constexpr int16_t kAnalysisOn = 1064;
constexpr int16_t kAnalysisOff = 1065;
}  // namespace choice

struct AnalysisSettings {
  int16_t sampleRateChoice = choice::kRate11k;  // used by the scan and record dialogs
  int16_t resolution = choice::kResolution8Bit;
  int16_t fftSize = choice::kFft512;
  int16_t palette = static_cast<int16_t>(PaletteScheme::CB);
  int16_t frequencyMode = choice::kModeNb;
  int16_t recordLength = choice::kRecord10s;
  int16_t displayType = choice::kDisplayScroll;
  int16_t analysisAtStop = choice::kAnalysisOff;
  int16_t attenuation = 0;      // dB, 0..36
  int16_t latencyMs = 60;       // 0..250, scan and record latency
  float windowLengthMs = 8.0f;  // "BB": as entered; "NB": the FFT length in ms
  float savedWindowLengthMs = 8.0f;  // last "BB" window, brought back with "BB"
  float timeScaleMs = 12.0f;    // time between two image columns
  int32_t fftOrder = 9;         // log2 of the FFT length: 9, 10 or 11
};

// Time between columns: 1.0 to 500.0 ms inclusive, else TimeScaleOutOfRange.
// A value that is not a number is refused as well.
Message CheckTimeScale(float timeScaleMs);

// Sample rate: 4000 to 44100 Hz inclusive, else SampleRateOutOfRange.
Message CheckSampleRate(double sampleRate);

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

// The program's settings: one record, from the defaults at start.
AnalysisSettings& Settings();

}  // namespace hl
