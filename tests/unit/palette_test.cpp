#include "core/image/palette.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ostream>
#include <string>

namespace hl {
namespace {

constexpr PaletteScheme kAllSchemes[] = {PaletteScheme::CB, PaletteScheme::CG,
                                         PaletteScheme::BW, PaletteScheme::WB};

struct Rgb {
  int red, green, blue;
};

::testing::AssertionResult SameColour(const PaletteEntry& entry, const Rgb& expected) {
  if (entry.red == expected.red && entry.green == expected.green && entry.blue == expected.blue) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "got (" << int(entry.red) << ", " << int(entry.green) << ", " << int(entry.blue)
         << "), want (" << expected.red << ", " << expected.green << ", " << expected.blue << ")";
}

bool SameEntry(const PaletteEntry& a, const PaletteEntry& b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue && a.flags == b.flags;
}

// ---------------------------------------------------------------------------
// Fixed colours and floor of each scheme.

struct SchemeRow {
  PaletteScheme scheme;
  Rgb fixed[4];
  Rgb floor;
};

void PrintTo(const SchemeRow& row, std::ostream* os) { *os << PaletteSchemeName(row.scheme); }

class FixedColoursTest : public ::testing::TestWithParam<SchemeRow> {};

TEST_P(FixedColoursTest, EntriesZeroToThreeAndFloor) {
  const SchemeRow& row = GetParam();
  const auto table = BuildSourceTable(row.scheme);
  for (int n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    EXPECT_TRUE(SameColour(table[n], row.fixed[n]));
  }
  for (int n = 4; n < 72; ++n) {
    SCOPED_TRACE(n);
    EXPECT_TRUE(SameColour(table[n], row.floor));
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllSchemes, FixedColoursTest,
    ::testing::Values(
        SchemeRow{PaletteScheme::CB,
                  {{255, 255, 255}, {0, 100, 255}, {255, 255, 60}, {0, 0, 0}},
                  {0, 0, 0}},
        SchemeRow{PaletteScheme::CG,
                  {{0, 0, 0}, {0, 100, 255}, {255, 255, 160}, {150, 150, 170}},
                  {150, 150, 170}},
        SchemeRow{PaletteScheme::BW,
                  {{0, 0, 0}, {80, 80, 80}, {80, 80, 80}, {255, 255, 255}},
                  {236, 236, 236}},
        SchemeRow{PaletteScheme::WB,
                  {{255, 255, 255}, {200, 200, 200}, {200, 200, 200}, {0, 0, 0}},
                  {0, 0, 0}}));

TEST(PaletteTest, EveryEntryOfEveryTableAndPaletteIsNoCollapse) {
  EXPECT_EQ(kPaletteNoCollapse, 4);
  for (PaletteScheme scheme : kAllSchemes) {
    const auto table = BuildSourceTable(scheme);
    for (int n = 0; n < kSourceTableSize; ++n) {
      ASSERT_EQ(table[n].flags, 4) << PaletteSchemeName(scheme) << " source " << n;
    }
    for (int attenuation : {0, 17, 36}) {
      const auto palette = PaletteEntries(table, PaletteOffset(attenuation));
      for (int n = 0; n < kPaletteSize; ++n) {
        ASSERT_EQ(palette[n].flags, 4) << PaletteSchemeName(scheme) << " index " << n;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The CB/CG ramp, step i at source entry 72 + i.

struct RampRow {
  int step;
  Rgb colour;
};

void PrintTo(const RampRow& row, std::ostream* os) { *os << "step " << row.step; }

class ColourRampTest : public ::testing::TestWithParam<RampRow> {};

TEST_P(ColourRampTest, CbStepMatchesHandValue) {
  const auto table = BuildSourceTable(PaletteScheme::CB);
  EXPECT_TRUE(SameColour(table[72 + GetParam().step], GetParam().colour))
      << "ramp step " << GetParam().step;
}

// Expected values worked out from the ramp's cosines, truncated to a byte.
// c77 and c84 are the doubles nearest pi/77 and pi/84 (c84 is 8.6e-19 above
// pi/84, c77 2.9e-18 below pi/77, both well within half a unit of 6.9e-18).
INSTANTIATE_TEST_SUITE_P(
    CbRamp, ColourRampTest,
    ::testing::Values(
        // Green rising: 126 (1 - cos(i pi/77)).
        RampRow{0, {0, 0, 252}},      // cos 0 = 1
        RampRow{38, {0, 123, 252}},   // cos(38 pi/77) = 0.02040 -> 123.43
        RampRow{77, {0, 252, 252}},   // cos(77 c77) rounds to -1 -> 252
        // Blue falling with j = i - 78, red rising with k = i - 85.
        RampRow{78, {4, 252, 252}},   // k = -7: cos(pi/12) = 0.96593 -> 4.29
        RampRow{85, {0, 252, 246}},   // k = 0 -> 0; j = 7: 126 (1 + cos(pi/11)) = 246.90
        // k = 28: 28 c84 lies 1.07e-16 above pi/3, so cos is 0.5 - 9.3e-17,
        // which rounds to 0.5 - 2^-53; 126 (0.5 + 2^-53) = 63.000000000000014.
        // j = 35: 126 (1 + cos(5 pi/11)) = 143.93.
        RampRow{113, {63, 252, 143}},
        // k = 42: 42 c84 is the double nearest pi/2, whose cosine is 6.12e-17;
        // 1 - 6.12e-17 rounds to 1 - 2^-53, and 126 (1 - 2^-53) rounds to
        // 126 - 2^-46 = 125.99999999999999, truncated to 125.
        // j = 49: 126 (1 + cos(7 pi/11)) = 73.66.
        RampRow{127, {125, 252, 73}},
        // k = 56: 56 c84 lies 2.14e-16 above 2 pi/3, cos = -0.5 - 1.86e-16,
        // rounds to -0.5 - 2^-52; 126 (1.5 + 2^-52) = 189.00000000000003.
        // j = 63: 126 (1 + cos(9 pi/11)) = 20.002.
        RampRow{141, {189, 252, 20}},
        RampRow{155, {235, 252, 0}},  // k = 70: 126 (1 - cos(5 pi/6)) = 235.12; j = 77 -> 0
        // Green falling with j = i - 156: 126 (1 + cos(j pi/77)).
        RampRow{156, {252, 252, 0}},
        RampRow{194, {252, 128, 0}},  // j = 38: 126 (1 + 0.02040) = 128.57
        RampRow{233, {252, 0, 0}},    // j = 77: 1 + (-1) = 0
        RampRow{234, {252, 0, 0}},
        RampRow{235, {252, 0, 0}}));

// Red is 126 (1 - cos(k pi/84)) with k = i - 85, so it mirrors around step 85:
// k = -7..-4 give 4.29, 3.16, 2.20, 1.41 and |k| <= 3 stays below 1.
TEST(PaletteTest, CbRedFallsToZeroAtStep85BeforeRising) {
  const auto table = BuildSourceTable(PaletteScheme::CB);
  const int expected[] = {4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4};  // steps 78..92
  for (int i = 78; i <= 92; ++i) {
    EXPECT_EQ(table[72 + i].red, expected[i - 78]) << "step " << i;
  }
  for (int i = 85; i < 155; ++i) {
    EXPECT_LE(table[72 + i].red, table[72 + i + 1].red) << "step " << i;
  }
  EXPECT_EQ(table[72 + 155].red, 235);
}

// The steepest slope of 126 (1 -+ cos(i pi/77)) is 126 pi/77 = 5.14 per step
// (4.71 for pi/84), so after truncation neighbours differ by at most 6. The one
// jump the ramp has is red from 235 (step 155) to 252 (step 156).
TEST(PaletteTest, CbRampHasNoJumpExceptRedAtStep156) {
  const auto table = BuildSourceTable(PaletteScheme::CB);
  for (int i = 0; i < 235; ++i) {
    const PaletteEntry& a = table[72 + i];
    const PaletteEntry& b = table[72 + i + 1];
    SCOPED_TRACE(i);
    EXPECT_LE(std::abs(a.green - b.green), 6);
    EXPECT_LE(std::abs(a.blue - b.blue), 6);
    if (i != 155) {
      EXPECT_LE(std::abs(a.red - b.red), 6);
    }
  }
}

TEST(PaletteTest, CgSharesCbRampButNotItsFixedColours) {
  const auto cb = BuildSourceTable(PaletteScheme::CB);
  const auto cg = BuildSourceTable(PaletteScheme::CG);
  for (int n = 72; n < kSourceTableSize; ++n) {
    EXPECT_TRUE(SameEntry(cb[n], cg[n])) << "source " << n;
  }
  EXPECT_FALSE(SameEntry(cb[3], cg[3]));
}

// Grey ramps: one value for all three components.
struct GreyRow {
  PaletteScheme scheme;
  int step;
  int grey;
};

void PrintTo(const GreyRow& row, std::ostream* os) {
  *os << PaletteSchemeName(row.scheme) << " step " << row.step;
}

class GreyRampTest : public ::testing::TestWithParam<GreyRow> {};

TEST_P(GreyRampTest, StepHasGrey) {
  const GreyRow& row = GetParam();
  const auto table = BuildSourceTable(row.scheme);
  EXPECT_TRUE(SameColour(table[72 + row.step], {row.grey, row.grey, row.grey}))
      << PaletteSchemeName(row.scheme) << " step " << row.step;
}

INSTANTIATE_TEST_SUITE_P(
    BwAndWb, GreyRampTest,
    ::testing::Values(
        // BW: 236 - i.
        GreyRow{PaletteScheme::BW, 0, 236}, GreyRow{PaletteScheme::BW, 1, 235},
        GreyRow{PaletteScheme::BW, 100, 136}, GreyRow{PaletteScheme::BW, 234, 2},
        GreyRow{PaletteScheme::BW, 235, 1},
        // WB: i + 40, at most 255 (reached at i = 215).
        GreyRow{PaletteScheme::WB, 0, 40}, GreyRow{PaletteScheme::WB, 100, 140},
        GreyRow{PaletteScheme::WB, 214, 254}, GreyRow{PaletteScheme::WB, 215, 255},
        GreyRow{PaletteScheme::WB, 216, 255}, GreyRow{PaletteScheme::WB, 235, 255}));

TEST(PaletteTest, GreyRampsFollowTheirRuleAtEveryStep) {
  const auto bw = BuildSourceTable(PaletteScheme::BW);
  const auto wb = BuildSourceTable(PaletteScheme::WB);
  for (int i = 0; i < 236; ++i) {
    SCOPED_TRACE(i);
    const int wbGrey = i + 40 < 255 ? i + 40 : 255;
    EXPECT_TRUE(SameColour(bw[72 + i], {236 - i, 236 - i, 236 - i}));
    EXPECT_TRUE(SameColour(wb[72 + i], {wbGrey, wbGrey, wbGrey}));
  }
}

TEST(PaletteTest, UnknownSchemeValueGetsCbTable) {
  const auto cb = BuildSourceTable(PaletteScheme::CB);
  const auto unknown = BuildSourceTable(static_cast<PaletteScheme>(4));
  for (int n = 0; n < kSourceTableSize; ++n) {
    EXPECT_TRUE(SameEntry(cb[n], unknown[n])) << "source " << n;
  }
}

// ---------------------------------------------------------------------------
// Offset and the loaded palette.

struct OffsetRow {
  int attenuation;
  int offset;
};

void PrintTo(const OffsetRow& row, std::ostream* os) { *os << "attenuation " << row.attenuation; }

class PaletteOffsetTest : public ::testing::TestWithParam<OffsetRow> {};

TEST_P(PaletteOffsetTest, TwiceTheRemainingAttenuation) {
  EXPECT_EQ(PaletteOffset(GetParam().attenuation), GetParam().offset)
      << "attenuation " << GetParam().attenuation;
}

INSTANTIATE_TEST_SUITE_P(
    Range, PaletteOffsetTest,
    ::testing::Values(OffsetRow{0, 72}, OffsetRow{1, 70}, OffsetRow{18, 36}, OffsetRow{35, 2},
                      OffsetRow{36, 0},
                      // Outside 0..36: clamped.
                      OffsetRow{-1, 72}, OffsetRow{-1000, 72}, OffsetRow{37, 0},
                      OffsetRow{1000, 0}));

TEST(PaletteTest, AttenuationZeroShowsRampStepEqualToIndex) {
  // a = 72: index n (4..235) shows source 72 + n, ramp step n; no floor.
  for (PaletteScheme scheme : kAllSchemes) {
    const auto table = BuildSourceTable(scheme);
    const auto palette = PaletteEntries(table, PaletteOffset(0));
    for (int n = 4; n < kPaletteSize; ++n) {
      ASSERT_TRUE(SameEntry(palette[n], table[72 + n])) << PaletteSchemeName(scheme) << " " << n;
    }
  }
  const auto cb = PaletteEntries(BuildSourceTable(PaletteScheme::CB), PaletteOffset(0));
  EXPECT_TRUE(SameColour(cb[4], {0, 1, 252}));  // step 4: 126 (1 - cos(4 pi/77)) = 1.67
  EXPECT_TRUE(SameColour(cb[78], {4, 252, 252}));
  EXPECT_TRUE(SameColour(cb[235], {252, 0, 0}));
  const auto bw = PaletteEntries(BuildSourceTable(PaletteScheme::BW), PaletteOffset(0));
  EXPECT_TRUE(SameColour(bw[4], {232, 232, 232}));  // 236 - 4
  EXPECT_TRUE(SameColour(bw[235], {1, 1, 1}));
}

TEST(PaletteTest, AttenuationThirtySixShowsFloorThenRampFromIndex72) {
  for (PaletteScheme scheme : kAllSchemes) {
    const auto table = BuildSourceTable(scheme);
    const auto palette = PaletteEntries(table, PaletteOffset(36));
    for (int n = 4; n < 72; ++n) {
      ASSERT_TRUE(SameEntry(palette[n], table[4])) << PaletteSchemeName(scheme) << " " << n;
    }
    for (int n = 72; n < kPaletteSize; ++n) {
      ASSERT_TRUE(SameEntry(palette[n], table[n])) << PaletteSchemeName(scheme) << " " << n;
    }
  }
  const auto cb = PaletteEntries(BuildSourceTable(PaletteScheme::CB), PaletteOffset(36));
  EXPECT_TRUE(SameColour(cb[71], {0, 0, 0}));      // floor
  EXPECT_TRUE(SameColour(cb[72], {0, 0, 252}));    // step 0
  EXPECT_TRUE(SameColour(cb[150], {4, 252, 252}));  // step 78
  const auto wb = PaletteEntries(BuildSourceTable(PaletteScheme::WB), PaletteOffset(36));
  EXPECT_TRUE(SameColour(wb[72], {40, 40, 40}));
  EXPECT_TRUE(SameColour(wb[235], {203, 203, 203}));  // step 163: 163 + 40
}

TEST(PaletteTest, FixedIndicesKeepSchemeColoursAtEveryAttenuation) {
  for (PaletteScheme scheme : kAllSchemes) {
    const auto table = BuildSourceTable(scheme);
    for (int attenuation = 0; attenuation <= 36; ++attenuation) {
      const auto palette = PaletteEntries(table, PaletteOffset(attenuation));
      for (int n = 0; n < 4; ++n) {
        ASSERT_TRUE(SameEntry(palette[n], table[n]))
            << PaletteSchemeName(scheme) << " attenuation " << attenuation << " index " << n;
      }
    }
  }
  // Index 3 is the scheme's own entry 3 even where the ramp would put a colour.
  const auto cb = PaletteEntries(BuildSourceTable(PaletteScheme::CB), PaletteOffset(0));
  EXPECT_TRUE(SameColour(cb[3], {0, 0, 0}));
  const auto cg = PaletteEntries(BuildSourceTable(PaletteScheme::CG), PaletteOffset(0));
  EXPECT_TRUE(SameColour(cg[3], {150, 150, 170}));
  const auto bw = PaletteEntries(BuildSourceTable(PaletteScheme::BW), PaletteOffset(0));
  EXPECT_TRUE(SameColour(bw[3], {255, 255, 255}));
}

// One dB more attenuation lowers the offset by 2, so the colour of index n
// moves to index n + 2.
TEST(PaletteTest, EachDecibelMovesColoursTwoIndicesUp) {
  const auto table = BuildSourceTable(PaletteScheme::CB);
  for (int attenuation = 0; attenuation < 36; ++attenuation) {
    const auto before = PaletteEntries(table, PaletteOffset(attenuation));
    const auto after = PaletteEntries(table, PaletteOffset(attenuation + 1));
    for (int n = 4; n + 2 < kPaletteSize; ++n) {
      ASSERT_TRUE(SameEntry(after[n + 2], before[n])) << attenuation << " " << n;
    }
  }
}

TEST(PaletteTest, OffsetOutsideTheTableIsClamped) {
  const auto table = BuildSourceTable(PaletteScheme::WB);
  const auto high = PaletteEntries(table, 500);
  const auto low = PaletteEntries(table, -7);
  const auto top = PaletteEntries(table, 72);
  const auto bottom = PaletteEntries(table, 0);
  for (int n = 0; n < kPaletteSize; ++n) {
    ASSERT_TRUE(SameEntry(high[n], top[n])) << n;
    ASSERT_TRUE(SameEntry(low[n], bottom[n])) << n;
  }
}

// ---------------------------------------------------------------------------
// Names.

struct NameRow {
  const char* text;
  bool known;
  PaletteScheme scheme;
};

void PrintTo(const NameRow& row, std::ostream* os) {
  *os << (row.text ? row.text : "(null)");
}

class ParseSchemeTest : public ::testing::TestWithParam<NameRow> {};

TEST_P(ParseSchemeTest, ParsesKnownNamesOnly) {
  const NameRow& row = GetParam();
  // A sentinel that is none of the four, so an untouched output is visible.
  PaletteScheme parsed = static_cast<PaletteScheme>(7);
  EXPECT_EQ(ParsePaletteScheme(row.text, &parsed), row.known)
      << (row.text ? row.text : "(null)");
  EXPECT_EQ(parsed, row.known ? row.scheme : static_cast<PaletteScheme>(7));
}

INSTANTIATE_TEST_SUITE_P(
    Names, ParseSchemeTest,
    ::testing::Values(NameRow{"CB", true, PaletteScheme::CB},
                      NameRow{"CG", true, PaletteScheme::CG},
                      NameRow{"BW", true, PaletteScheme::BW},
                      NameRow{"WB", true, PaletteScheme::WB},
                      NameRow{"cb", true, PaletteScheme::CB},
                      NameRow{"wB", true, PaletteScheme::WB},
                      NameRow{"", false, PaletteScheme::CB},
                      NameRow{"C", false, PaletteScheme::CB},
                      NameRow{"CBX", false, PaletteScheme::CB},
                      NameRow{"BC", false, PaletteScheme::CB},
                      NameRow{"GB", false, PaletteScheme::CB},
                      NameRow{nullptr, false, PaletteScheme::CB}));

TEST(PaletteTest, NamesRoundTripAndUnknownHasEmptyName) {
  for (PaletteScheme scheme : kAllSchemes) {
    PaletteScheme parsed = PaletteScheme::CB;
    ASSERT_TRUE(ParsePaletteScheme(PaletteSchemeName(scheme), &parsed));
    EXPECT_EQ(parsed, scheme);
  }
  EXPECT_EQ(std::string(PaletteSchemeName(PaletteScheme::BW)), "BW");
  EXPECT_EQ(std::string(PaletteSchemeName(static_cast<PaletteScheme>(4))), "");
  EXPECT_FALSE(ParsePaletteScheme("CB", nullptr));
}

}  // namespace
}  // namespace hl
