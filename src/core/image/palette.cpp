#include "core/image/palette.h"

#include <cmath>

namespace hl {

namespace {

struct Rgb {
  uint8_t red, green, blue;
};

// Fixed colours 0..3 and the floor colour shown below the ramp.
struct SchemeColours {
  PaletteScheme scheme;
  Rgb fixed[4];
  Rgb floor;
};

constexpr SchemeColours kSchemeColours[] = {
    {PaletteScheme::CB,
     {{255, 255, 255}, {0, 100, 255}, {255, 255, 60}, {0, 0, 0}},
     {0, 0, 0}},
    {PaletteScheme::CG,
     {{0, 0, 0}, {0, 100, 255}, {255, 255, 160}, {150, 150, 170}},
     {150, 150, 170}},
    {PaletteScheme::BW,
     {{0, 0, 0}, {80, 80, 80}, {80, 80, 80}, {255, 255, 255}},
     {236, 236, 236}},
    {PaletteScheme::WB,
     {{255, 255, 255}, {200, 200, 200}, {200, 200, 200}, {0, 0, 0}},
     {0, 0, 0}},
};

struct SchemeName {
  PaletteScheme scheme;
  const char* name;
};

constexpr SchemeName kSchemeNames[] = {
    {PaletteScheme::CB, "CB"},
    {PaletteScheme::CG, "CG"},
    {PaletteScheme::BW, "BW"},
    {PaletteScheme::WB, "WB"},
};

constexpr int kRampSteps = kSourceTableSize - kRampStart;  // 236

// Both angles are multiples of a constant held in double, not (i * pi) / n:
// the two differ in the last bit at some steps (113 and 141), which is enough
// to move a truncated component by one.
constexpr double kPi = 3.14159265358979323846;
constexpr double kPiOver77 = kPi / 77.0;
constexpr double kPiOver84 = kPi / 84.0;

const SchemeColours& ColoursOf(PaletteScheme scheme) {
  for (const SchemeColours& row : kSchemeColours) {
    if (row.scheme == scheme) return row;
  }
  return kSchemeColours[0];
}

PaletteEntry Entry(uint8_t red, uint8_t green, uint8_t blue) {
  return PaletteEntry{red, green, blue, kPaletteNoCollapse};
}

PaletteEntry Entry(const Rgb& rgb) { return Entry(rgb.red, rgb.green, rgb.blue); }

// 126 x (1 - cos) rises from 0 to 252 over half a period, 126 x (1 + cos)
// falls from 252 to 0. Converting to int truncates toward zero.
uint8_t Rising(int step, double angleUnit) {
  return static_cast<uint8_t>(static_cast<int>(126.0 * (1.0 - std::cos(step * angleUnit))));
}

uint8_t Falling(int step, double angleUnit) {
  return static_cast<uint8_t>(static_cast<int>(126.0 * (1.0 + std::cos(step * angleUnit))));
}

// Blue, up through cyan and green (green rises), then yellow (blue falls while
// red rises on a slightly longer period, starting 7 steps late), then red
// (green falls), and two steps of pure red at the top.
PaletteEntry ColourRampStep(int i) {
  if (i <= 77) return Entry(0, Rising(i, kPiOver77), 252);
  if (i <= 155) return Entry(Rising(i - 85, kPiOver84), 252, Falling(i - 78, kPiOver77));
  if (i <= 233) return Entry(252, Falling(i - 156, kPiOver77), 0);
  return Entry(252, 0, 0);
}

PaletteEntry RampStep(PaletteScheme scheme, int i) {
  switch (scheme) {
    case PaletteScheme::BW: {
      const auto grey = static_cast<uint8_t>(236 - i);
      return Entry(grey, grey, grey);
    }
    case PaletteScheme::WB: {
      const auto grey = static_cast<uint8_t>(i + 40 > 255 ? 255 : i + 40);
      return Entry(grey, grey, grey);
    }
    case PaletteScheme::CB:
    case PaletteScheme::CG:
      break;
  }
  return ColourRampStep(i);
}

int ClampInt(int value, int low, int high) {
  if (value < low) return low;
  if (value > high) return high;
  return value;
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::array<PaletteEntry, kSourceTableSize> BuildSourceTable(PaletteScheme scheme) {
  const SchemeColours& colours = ColoursOf(scheme);
  // An unknown value takes CB's colours, so take its ramp as well.
  const PaletteScheme ramp = colours.scheme;
  std::array<PaletteEntry, kSourceTableSize> table{};
  for (int n = 0; n < 4; ++n) table[n] = Entry(colours.fixed[n]);
  for (int n = 4; n < kRampStart; ++n) table[n] = Entry(colours.floor);
  for (int i = 0; i < kRampSteps; ++i) table[kRampStart + i] = RampStep(ramp, i);
  return table;
}

int PaletteOffset(int attenuation) {
  return 2 * (kMaxAttenuation - ClampInt(attenuation, 0, kMaxAttenuation));
}

std::array<PaletteEntry, kPaletteSize> PaletteEntries(
    const std::array<PaletteEntry, kSourceTableSize>& source, int offset) {
  const int a = ClampInt(offset, 0, kMaxPaletteOffset);
  std::array<PaletteEntry, kPaletteSize> entries{};
  for (int n = 0; n < kPaletteSize; ++n) entries[n] = source[a + n];
  for (int n = 0; n < 4; ++n) entries[n] = source[n];
  return entries;
}

bool ParsePaletteScheme(const char* name, PaletteScheme* scheme) {
  if (name == nullptr || scheme == nullptr) return false;
  // Each comparison fails on a terminating zero before the next character is
  // read, so a short string is never read past its end.
  for (const SchemeName& row : kSchemeNames) {
    if (UpperAscii(name[0]) == row.name[0] && UpperAscii(name[1]) == row.name[1] &&
        name[2] == '\0') {
      *scheme = row.scheme;
      return true;
    }
  }
  return false;
}

const char* PaletteSchemeName(PaletteScheme scheme) {
  for (const SchemeName& row : kSchemeNames) {
    if (row.scheme == scheme) return row.name;
  }
  return "";
}

}  // namespace hl
