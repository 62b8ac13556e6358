// Colour schemes of the time–frequency image: the 308-entry source table of
// each scheme and the 236 palette entries loaded for an attenuation.
//
// The image stores palette indices, never colours. Index 0..3 are fixed
// colours (0 marker cross, 1 separator and marker background, 2 envelope and
// centre line, 3 the lowest levels and an empty image); index 4..235 is the
// level ramp. The attenuation chooses which 232-entry window of the source
// table fills the ramp, so changing it (or the scheme) only rewrites the
// colour table and never recomputes the image.
#pragma once

#include <array>
#include <cstdint>

namespace hl {

// In the order of the schemes' radio buttons.
enum class PaletteScheme : uint8_t { CB, CG, BW, WB };

// One colour in the layout of a logical-palette entry.
struct PaletteEntry {
  uint8_t red, green, blue, flags;
};

// Every entry asks the system not to merge it with another palette colour
// (the value of the Win32 PC_NOCOLLAPSE flag; the core does not see windows.h).
constexpr uint8_t kPaletteNoCollapse = 4;

constexpr int kPaletteSize = 236;      // entries of the logical palette
constexpr int kSourceTableSize = 308;  // 4 fixed + 68 floor + 236 ramp steps
constexpr int kRampStart = 72;         // source entry of ramp step 0
constexpr int kMaxAttenuation = 36;    // dB; the attenuation runs 0..36
constexpr int kMaxPaletteOffset = kSourceTableSize - kPaletteSize;  // 72

// The source table of a scheme: entries 0..3 the fixed colours, 4..71 the
// floor colour, 72..307 ramp steps 0..235. The CB/CG ramp is evaluated in
// double with pi/77 and pi/84 held as double constants and each component
// truncated to a byte. A value that is not one of the four schemes gets CB.
std::array<PaletteEntry, kSourceTableSize> BuildSourceTable(PaletteScheme scheme);

// Offset a of the source window loaded into the palette: 2 x (36 - attenuation),
// 72 at 0 dB down to 0 at 36 dB. Callers keep the attenuation in 0..36 (the
// scroll bars are limited to that range); a value outside is clamped here, so
// the result is always in 0..72.
int PaletteOffset(int attenuation);

// The palette loaded for offset a: entry n = source[a + n] for n = 0..235,
// then entries 0..3 again from source 0..3, so the fixed colours never move.
// Palette index n (4..235) therefore shows source entry a + n. An offset
// outside 0..72 is clamped into that range.
std::array<PaletteEntry, kPaletteSize> PaletteEntries(
    const std::array<PaletteEntry, kSourceTableSize>& source, int offset);

// Scheme names "CB", "CG", "BW", "WB" (case-insensitive on input). On an
// unknown or null name ParsePaletteScheme returns false and leaves *scheme
// alone; PaletteSchemeName returns "" for a value that is not a scheme.
bool ParsePaletteScheme(const char* name, PaletteScheme* scheme);
const char* PaletteSchemeName(PaletteScheme scheme);

}  // namespace hl
