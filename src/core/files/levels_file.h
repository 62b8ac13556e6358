// The levels behind a time–frequency image as data: the engine's level of every bin of every
// column (40 units per decade of power, 4 per dB; silence 31), before the window correction
// and the palette, as CSV text or a NumPy .npy array.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hl {

struct LevelsTable {
  int columns = 0;
  int bins = 0;                 // N / 2
  std::vector<int16_t> levels;  // column after column: levels[x * bins + b]
  double firstColumnMs = 0;     // time of column 0: the span's begin
  double columnMs = 0;          // time scale: column x is at firstColumnMs + x * columnMs
  double hzPerBin = 0;          // rate / N: bin b is centred on b * hzPerBin
};

// A header line "time_ms" followed by one field per bin centre in Hz, then one line per
// column: its time and its levels. Fields are separated by commas, lines end with "\n".
std::string LevelsCsv(const LevelsTable& table);

// A version 1.0 .npy file of little-endian int16 in C order, shape (columns, bins): row x is
// column x, as in the CSV. Empty when the table's size does not match its levels.
std::vector<uint8_t> LevelsNpy(const LevelsTable& table);

}  // namespace hl
