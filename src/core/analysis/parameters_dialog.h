// The arithmetic of the analysis parameters dialog (dialog 102): how its edit texts are
// read, how begin and end follow a change of resolution or sample rate, what the file
// analysis fills in before the dialog opens, and the window length that OK stores.
// The dialog itself (parameters_dialog_win32.cpp) only moves these values in and out of
// its controls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/analysis/analysis_settings.h"
#include "core/base/limits.h"
#include "core/samples/frame_decoder.h"

namespace hl {

// Edit texts are read with a limit of 8 characters.
constexpr size_t kEditTextLimit = 8;

// The value of an edit text as the dialog converts it: a decimal integer from the first
// 8 characters, after leading blanks and an optional sign, up to the first character that
// is not a digit. "12.5" reads 12, "abc" and "" read 0. Never overflows (8 characters
// hold at most 99,999,999).
int32_t EditInteger(const char* text);

// Begin or end text after the other resolution was chosen: the same sample bytes read as
// 8-bit samples last twice as long, as 16-bit samples half as long. Choosing "8 bit"
// doubles the value, choosing "16 bit" halves it (integer division, so an odd value loses
// its half). A choice of the resolution already shown leaves the value alone.
int32_t RescaleForResolution(int32_t ms, Resolution shownResolution, Resolution chosenResolution);

// Lowest and highest rate the "New" entry accepts; a rate typed outside is pulled in. The
// highest is 44100 Hz, or the file's own rate `fileRate` when that is higher (up to 384000).
int32_t ClampNewRate(int32_t enteredRate, uint32_t fileRate = 0);

// The resolution the parameters dialog shows for a file held as its decoded 16-bit
// samples: "24 bit", "32 bit", "32 bit float", "64 bit float", "A-law" or "mu-law";
// nullptr for 8- and 16-bit PCM, which the resolution buttons choose between.
const char* DecodedResolutionText(SampleEncoding encoding);

// Begin or end text after a new rate: the same samples played at the new rate, so the
// time scales by previous rate / new rate (binary32, the product truncated).
int32_t RescaleForNewRate(int32_t ms, float previousRate, float newRate);


// The analysis window stored when OK is pressed: in "BB" the entered length, cut to the
// FFT length in ms and raised to 1.0 ms when 0 or less; in "NB" the FFT length in ms at
// `sampleRate` (for a rate below 1 Hz the window is left as `currentMs`).
float WindowLengthAtOk(FrequencyMode frequencyMode, int32_t enteredBbMs, int fftLength, float sampleRate,
                       float currentMs);

// Length of a file's sample data in ms at a format: data length / (channels x bits x
// rate / 8) x 1000, in binary32 step by step; 0 for a format with no bytes per second.
float DataLengthMs(uint32_t dataLength, int channels, int bitsPerSample, uint32_t sampleRate);

// What "&Analyze File" puts into the dialog before it opens.
struct DialogPrefill {
  int32_t sampleRate;  // edit 1001
  int32_t beginMs;     // edit 1002: the integer part
  int32_t endMs;       // edit 1004: the integer part
  Resolution resolution;  // "16 bit" when the file has 16 bits, else "8 bit"
  float windowMs;      // the "NB" window of the FFT size, or the settings' "BB" window
};

// Pre-fill for a file whose header gave `format` values (channels, bits, rate) and
// `dataLength` sample bytes: begin 0 and end the data length in ms at the file's own
// format, or, when `keepSpan` (a hand-over with the span already chosen), the stored
// `beginMs` and `endMs`. In "NB" mode the window becomes the FFT length in ms at the
// file's rate.
DialogPrefill PrefillForFile(uint16_t channels, uint16_t bitsPerSample, uint32_t sampleRate,
                             uint32_t dataLength, const AnalysisSettings& settings, bool keepSpan,
                             float beginMs, float endMs);

}  // namespace hl
