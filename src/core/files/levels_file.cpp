#include "core/files/levels_file.h"

#include <cstdio>
#include <cstring>

namespace hl {

namespace {

// Shortest text that reads back as the same double for the whole numbers and simple
// fractions that times and bin centres are; up to three decimals otherwise.
void AppendNumber(std::string& out, double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.3f", value);
  size_t length = std::strlen(text);
  while (length > 0 && text[length - 1] == '0') --length;
  if (length > 0 && text[length - 1] == '.') --length;
  out.append(text, length);
}

bool Consistent(const LevelsTable& t) {
  return t.columns >= 0 && t.bins >= 0 &&
         t.levels.size() == static_cast<size_t>(t.columns) * static_cast<size_t>(t.bins);
}

}  // namespace

std::string LevelsCsv(const LevelsTable& table) {
  std::string out;
  if (!Consistent(table)) return out;
  out.reserve(static_cast<size_t>(table.columns + 1) * (table.bins * 4 + 12));
  out += "time_ms";
  for (int b = 0; b < table.bins; ++b) {
    out += ',';
    AppendNumber(out, b * table.hzPerBin);
  }
  out += '\n';
  char level[8];
  for (int x = 0; x < table.columns; ++x) {
    AppendNumber(out, table.firstColumnMs + x * table.columnMs);
    const int16_t* row = table.levels.data() + static_cast<size_t>(x) * table.bins;
    for (int b = 0; b < table.bins; ++b) {
      const int n = std::snprintf(level, sizeof level, ",%d", row[b]);
      out.append(level, static_cast<size_t>(n));
    }
    out += '\n';
  }
  return out;
}

std::vector<uint8_t> LevelsNpy(const LevelsTable& table) {
  std::vector<uint8_t> out;
  if (!Consistent(table)) return out;
  char dict[128];
  std::snprintf(dict, sizeof dict, "{'descr': '<i2', 'fortran_order': False, 'shape': (%d, %d), }",
                table.columns, table.bins);
  std::string header = dict;
  // Magic, version and length take 10 bytes; the header is padded with spaces and ends
  // with a newline so that the data starts on a multiple of 64.
  const size_t total = (10 + header.size() + 1 + 63) / 64 * 64;
  header.append(total - 10 - header.size() - 1, ' ');
  header += '\n';
  const uint8_t magic[8] = {0x93, 'N', 'U', 'M', 'P', 'Y', 1, 0};
  out.insert(out.end(), magic, magic + 8);
  out.push_back(static_cast<uint8_t>(header.size() & 0xFF));
  out.push_back(static_cast<uint8_t>(header.size() >> 8));
  out.insert(out.end(), header.begin(), header.end());
  out.reserve(out.size() + 2 * table.levels.size());
  for (int16_t v : table.levels) {
    const uint16_t u = static_cast<uint16_t>(v);
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

}  // namespace hl
