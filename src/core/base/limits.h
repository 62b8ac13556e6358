// The numbers several subsystems must agree on, named once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hl {

// Rows above the frequency rows of every image: the waveform envelope strip, the second
// labels and the elapsed-time readout live there.
constexpr int kMarginRows = 44;

// The wave header the program writes and keeps in front of its samples in memory: RIFF,
// WAVE, an 18-byte "fmt " record and the "data" chunk's tag and length.
constexpr size_t kWaveHeaderLength = 46;

// A file or span shorter than this holds too few samples for one analysis column, and
// the header reader looks at no more than this many bytes (those of a shorter file read as
// zero).
constexpr uint32_t kShortestFileBytes = 2048;

// The time between two columns the analysis accepts, in ms, both ends included.
constexpr int kShortestTimeScaleMs = 1;
constexpr int kLongestTimeScaleMs = 500;
// The shortest analysis window, in ms.
constexpr int kShortestWindowMs = 1;

// Sample rates the analysis accepts, and the range a rate typed after "New" is pulled into.
constexpr int32_t kLowestSampleRate = 4000;
constexpr int32_t kHighestSampleRate = 44100;
// The highest rate a file may carry for its own analysis: the image simply covers a wider band.
constexpr int32_t kHighestFileRate = 384000;
constexpr int32_t kLowestNewRate = 5513;
constexpr int32_t kHighestNewRate = kHighestSampleRate;

}  // namespace hl
