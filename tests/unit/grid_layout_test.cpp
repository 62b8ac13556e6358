#include "core/layout/grid_layout.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace hl {

void PrintTo(const GridPoint& p, std::ostream* out) { *out << "(" << p.x << ", " << p.y << ")"; }
void PrintTo(const GridLabel& l, std::ostream* out) { *out << "(" << l.x << ", " << l.y << ", \"" << l.text << "\")"; }

namespace {

// The default window of a 7 x 16 font: image area 552 x 300.
GridInputs WindowGrid() {
  GridInputs in;
  in.bitmapExists = true;
  in.width = 552;
  in.height = 300;
  in.charWidth = 7;
  in.charHeight = 16;
  return in;
}

// Every cross of a lattice, columns outer and rows inner (the order they are drawn).
std::vector<GridPoint> Lattice(const std::vector<int>& xs, const std::vector<int>& ys) {
  std::vector<GridPoint> points;
  for (int x : xs) {
    for (int y : ys) points.push_back({x, y});
  }
  return points;
}

// ---------------------------------------------------------------------------
// Tick spacing in time and frequency.

struct SpacingRow {
  const char* name;
  float timeScaleMs;
  int32_t sampleRate;
  int fftOrder;
  int timeSpacingMs;      // T
  float columnsPerTick;   // P = T / ts
  int frequencyStep;      // K
  float rowsPerTick;      // R = 1000 K N / rate
};

class GridSpacingTest : public ::testing::TestWithParam<SpacingRow> {};

TEST_P(GridSpacingTest, TimeAndFrequencyTicks) {
  const SpacingRow& row = GetParam();
  GridInputs in = WindowGrid();
  in.timeScaleMs = row.timeScaleMs;
  in.sampleRate = row.sampleRate;
  in.fftOrder = row.fftOrder;
  const GridTicks t = ComputeGrid(in).ticks;
  EXPECT_EQ(t.timeSpacingMs, row.timeSpacingMs);
  EXPECT_NEAR(t.columnsPerTick, row.columnsPerTick, 0.01f);
  EXPECT_EQ(t.frequencyStep, row.frequencyStep);
  EXPECT_NEAR(t.rowsPerTick, row.rowsPerTick, 0.01f);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, GridSpacingTest,
    ::testing::Values(
        // 12 ms per column: a tick every second, 83.3 columns apart; 1 kHz below 22050 Hz.
        SpacingRow{"ts12", 12.0f, 11025, 9, 1000, 83.333f, 1, 46.440f},
        // 25 ms: every 2 s, 80 columns apart.
        SpacingRow{"ts25", 25.0f, 11025, 9, 2000, 80.0f, 1, 46.440f},
        // 19.9 ms still ticks every second (the time scale's whole part is 19).
        SpacingRow{"ts19_9", 19.9f, 11025, 9, 1000, 50.251f, 1, 46.440f},
        SpacingRow{"ts20", 20.0f, 11025, 9, 2000, 100.0f, 1, 46.440f},
        // Below 10 ms the spacing formula gives 0 and falls back to a second.
        SpacingRow{"ts1", 1.0f, 11025, 9, 1000, 1000.0f, 1, 46.440f},
        SpacingRow{"ts500", 500.0f, 11025, 9, 50000, 100.0f, 1, 46.440f},
        // 44100 Hz at 512 points: rows 86.13 Hz apart, a tick every 4 kHz, 46.4 rows.
        SpacingRow{"rate44100", 12.0f, 44100, 9, 1000, 83.333f, 4, 46.440f},
        SpacingRow{"rate22050", 12.0f, 22050, 9, 1000, 83.333f, 2, 46.440f},
        SpacingRow{"rate22049", 12.0f, 22049, 9, 1000, 83.333f, 1, 23.221f},
        // Below 11025 Hz K stays 1.
        SpacingRow{"rate8000", 12.0f, 8000, 9, 1000, 83.333f, 1, 64.0f},
        SpacingRow{"rate44100n2048", 12.0f, 44100, 11, 1000, 83.333f, 4, 185.760f}),
    [](const ::testing::TestParamInfo<SpacingRow>& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------
// Whole layouts, worked out by hand from the rule (binary32 at each step).

TEST(GridLayoutTest, DefaultWindowAt12MsAnd11025Hz) {
  const GridLayout g = ComputeGrid(WindowGrid());
  // t0 = 0, so the first tick is k0 = 1 second: x = trunc(1000 / 12) = 83, then every 83.3.
  EXPECT_EQ(g.ticks.timeTicks, 7);  // trunc(552 x 12 / 1000) + 1
  EXPECT_EQ(g.ticks.firstTick, 1);
  EXPECT_EQ(g.ticks.firstX, 83);
  // 512 points: no vertical scrolling, first tick trunc(1000 / 21.533 + 1) = 47 rows up.
  EXPECT_EQ(g.ticks.frequencyTicks, 6);  // trunc(0.021533 x 256) + 1
  EXPECT_EQ(g.ticks.firstOffset, 47);
  EXPECT_EQ(g.ticks.bottomBin, 0.0f);
  // Columns 499 and 583 are within 10 character widths of the right edge (482) and row 20
  // is inside the margin's reach (60): no crosses there.
  EXPECT_EQ(g.crosses, Lattice({83, 166, 249, 333, 416}, {253, 206, 160, 113, 67}));
  const std::vector<GridLabel> labels = {
      {76, 36, "1  Sec"},  {159, 36, "2  Sec"},  {242, 36, "3  Sec"},  {326, 36, "4  Sec"},
      {409, 36, "5  Sec"},  {496, 245, "1  kHz"}, {496, 198, "2  kHz"}, {496, 152, "3  kHz"},
      {496, 105, "4  kHz"}, {496, 59, "5  kHz"},
  };
  EXPECT_EQ(g.labels, labels);
}

TEST(GridLayoutTest, ScrolledRightAt25MsTicksEveryTwoSeconds) {
  GridInputs in = WindowGrid();
  in.timeScaleMs = 25.0f;
  in.horizontalPosition = 100;  // t0 = 100 columns = 2.5 s: the next tick is at 4 s
  const GridLayout g = ComputeGrid(in);
  EXPECT_EQ(g.ticks.firstTick, 2);
  EXPECT_EQ(g.ticks.firstX, 60);  // trunc(4000 / 25) - 100
  EXPECT_EQ(g.crosses, Lattice({60, 140, 220, 300, 380, 460}, {253, 206, 160, 113, 67}));
  std::vector<std::string> seconds;
  for (const GridLabel& l : g.labels) {
    if (l.y == 36) seconds.push_back(l.text);
  }
  EXPECT_EQ(seconds, (std::vector<std::string>{"4  Sec", "6  Sec", "8  Sec", "10 Sec", "12 Sec", "14 Sec"}));
}

TEST(GridLayoutTest, StartTimeAndScrollPositionBothMoveTheTicks) {
  GridInputs in = WindowGrid();
  in.sampleRate = 22050;
  in.imageStartMs = 1500.0f;  // 125 columns
  in.horizontalPosition = 37;
  const GridLayout g = ComputeGrid(in);
  // t0 = 162 columns = 1.944 s: next tick at 2 s, x = trunc(2000 / 12) - 162 = 4.
  EXPECT_EQ(g.ticks.firstX, 4);
  // x = 4 is not right of one character width: its label is drawn, its crosses are not.
  ASSERT_FALSE(g.labels.empty());
  EXPECT_EQ(g.labels.front(), (GridLabel{-3, 36, "2  Sec"}));
  ASSERT_FALSE(g.crosses.empty());
  EXPECT_EQ(g.crosses.front(), (GridPoint{87, 253}));
  // 22050 Hz: ticks every 2 kHz.
  EXPECT_EQ(g.labels.back(), (GridLabel{496, 59, "10 kHz"}));
}

TEST(GridLayoutTest, ScrolledFrequencyViewStartsAtTheNextTickAboveTheBottomRow) {
  GridInputs in = WindowGrid();
  in.sampleRate = 44100;
  in.fftOrder = 10;
  in.verticalScrollOn = true;
  in.verticalOffset = 100;
  const GridLayout g = ComputeGrid(in);
  // Bottom row shows bin 512 - 100 - 256 = 156 (6718 Hz): the next 4 kHz tick is 8 kHz at
  // bin 185.76, trunc(8000 / 43.066 + 1) - 156 = 30 rows up.
  EXPECT_EQ(g.ticks.bottomBin, 156.0f);
  EXPECT_EQ(g.ticks.firstOffset, 30);
  EXPECT_EQ(g.ticks.frequencyTicks, 3);
  EXPECT_EQ(g.crosses, Lattice({83, 166, 249, 333, 416}, {270, 177, 84}));
  const std::vector<GridLabel> khz(g.labels.end() - 3, g.labels.end());
  EXPECT_EQ(khz, (std::vector<GridLabel>{{496, 262, "8  kHz"}, {496, 169, "12 kHz"}, {496, 76, "16 kHz"}}));
}

TEST(GridLayoutTest, WholeBitmapIgnoresTheScrollPositions) {
  GridInputs in = WindowGrid();
  in.sampleRate = 44100;
  in.fftOrder = 10;
  in.verticalScrollOn = true;
  in.verticalOffset = 100;
  in.horizontalPosition = 500;
  in.wholeBitmap = true;
  in.height = 556;  // the bitmap: 512 rows + the margin
  const GridLayout g = ComputeGrid(in);
  EXPECT_EQ(g.ticks.t0, 0.0f);
  EXPECT_EQ(g.ticks.firstX, 83);
  EXPECT_EQ(g.ticks.bottomBin, 0.0f);
  EXPECT_EQ(g.ticks.firstOffset, 93);  // trunc(4000 / 43.066 + 1): 4 kHz from bin 0
  EXPECT_EQ(g.crosses, Lattice({83, 166, 249, 333, 416}, {463, 370, 277, 184, 91}));
  const std::vector<GridLabel> khz(g.labels.end() - 5, g.labels.end());
  EXPECT_EQ(khz, (std::vector<GridLabel>{{496, 455, "4  kHz"},
                                         {496, 362, "8  kHz"},
                                         {496, 269, "12 kHz"},
                                         {496, 176, "16 kHz"},
                                         {496, 83, "20 kHz"}}));
}

// ---------------------------------------------------------------------------
// What is left out.

TEST(GridLayoutTest, NothingInScopeOrWithoutAnImage) {
  GridInputs scope = WindowGrid();
  scope.scopeDisplay = true;
  GridInputs empty = WindowGrid();
  empty.bitmapExists = false;
  for (const GridInputs& in : {scope, empty}) {
    const GridLayout g = ComputeGrid(in);
    EXPECT_TRUE(g.crosses.empty());
    EXPECT_TRUE(g.labels.empty());
    EXPECT_EQ(g.ticks.timeTicks, 0);
  }
}

TEST(GridLayoutTest, NothingWithinTenCharactersOfTheRightEdgeOrOneCharacterOfTheMarginAndBottom) {
  for (int cw : {5, 7, 9}) {
    for (int ch : {12, 16, 20}) {
      GridInputs in = WindowGrid();
      in.charWidth = cw;
      in.charHeight = ch;
      in.sampleRate = 44100;
      in.horizontalPosition = 13;
      const GridLayout g = ComputeGrid(in);
      ASSERT_FALSE(g.crosses.empty());
      for (const GridPoint& p : g.crosses) {
        EXPECT_GT(p.x, cw);
        EXPECT_LT(p.x, in.width - 10 * cw);
        EXPECT_GT(p.y, ch + 44);
        EXPECT_LT(p.y, in.height - ch);
      }
      int khzLabels = 0;
      for (const GridLabel& l : g.labels) {
        if (l.y == 36) {
          EXPECT_LT(l.x + cw, in.width - 10 * cw) << l.text;
        } else {
          ++khzLabels;
          EXPECT_EQ(l.x, in.width - 8 * cw) << l.text;
          EXPECT_GT(l.y + ch / 2, ch + 44) << l.text;
          EXPECT_LT(l.y + ch / 2, in.height - ch) << l.text;
        }
      }
      // The kHz labels are written once, one per row of crosses.
      ASSERT_GT(khzLabels, 0);
      EXPECT_EQ(g.crosses.size() % static_cast<size_t>(khzLabels), 0u);
    }
  }
}

TEST(GridLayoutTest, AnImageAreaNarrowerThanTenCharactersHasNoCrossesButItsKilohertzLabels) {
  GridInputs in = WindowGrid();
  in.width = 70;  // 10 x 7
  const GridLayout g = ComputeGrid(in);
  EXPECT_TRUE(g.crosses.empty());
  ASSERT_EQ(g.labels.size(), 5u);
  EXPECT_EQ(g.labels.front().text, "1  kHz");
}

// ---------------------------------------------------------------------------
// Rounding of label values.

struct RoundRow {
  float value;
  int64_t rounded;
};

class RoundHalfUpTest : public ::testing::TestWithParam<RoundRow> {};

TEST_P(RoundHalfUpTest, HalfGoesUpAndNothingBelowAHalfDoes) {
  EXPECT_EQ(RoundHalfUp(GetParam().value), GetParam().rounded) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Values, RoundHalfUpTest,
                         ::testing::Values(RoundRow{0.0f, 0}, RoundRow{0.5f, 1}, RoundRow{1.5f, 2},
                                           RoundRow{2.5f, 3}, RoundRow{0.996f, 1}, RoundRow{1.4999999f, 1},
                                           // The largest float below a half: adding 0.5f
                                           // would round the sum up to 1.
                                           RoundRow{0.49999997f, 0}, RoundRow{8388607.5f, 8388608},
                                           RoundRow{20.0102f, 20}));

// ---------------------------------------------------------------------------
// The information panel.

TEST(InfoPanelTest, MeasuredTextsPlaceThePanelAfterTheStatusBlockAndWidenIt) {
  TextWidths t;
  t.title = 110;
  t.label = 120;
  t.value = 80;
  t.panelLabel = 100;
  t.panelValue = 100;
  // The status block ends at 277 (see the readout tests): the panel starts a character after
  // it rather than at 224; its values stand at 17 C (284 + 119, past 284 + 7 + 100 + 3) and
  // the box reaches a character past the widest value: 403 + 100 + 7 - 284.
  const InfoPanelLayout p = PlaceInfoPanel(574, 300, 14, 7, 16, t, 11025, 16, 1234567);
  EXPECT_EQ(p.x, 284);
  EXPECT_EQ(p.labelX, 291);
  EXPECT_EQ(p.valueX, 403);
  EXPECT_EQ(p.width, 226);
  EXPECT_EQ(p.values[2], "1234 kb");
  // Nothing measured: where the character cells put it.
  EXPECT_EQ(PlaceInfoPanel(574, 300, 14, 7, 16, TextWidths(), 0, 0, 0).x, 224);
}

TEST(InfoPanelTest, OriginRowsAndTexts) {
  // Default window 574 wide (82 x 7): x = 0 / 4 + 224, y = 300 + 14 + 8.
  const InfoPanelLayout p = ComputeInfoPanel(574, 300, 7, 16, 11025, 16, 1234567);
  EXPECT_EQ(p.x, 224);
  EXPECT_EQ(p.y, 322);
  EXPECT_EQ(p.width, 203);
  EXPECT_EQ(p.height, 64);
  EXPECT_EQ(p.labelX, 231);
  EXPECT_EQ(p.valueX, 343);
  EXPECT_EQ(p.rowY[0], 330);
  EXPECT_EQ(p.rowY[1], 346);
  EXPECT_EQ(p.rowY[2], 362);
  EXPECT_STREQ(p.labels[0], "Resolution :");
  EXPECT_STREQ(p.labels[1], "Sample Rate :");
  EXPECT_STREQ(p.labels[2], "Sample Length :");
  EXPECT_EQ(p.values[0], "16   bits");
  EXPECT_EQ(p.values[1], "11   kHz");
  EXPECT_EQ(p.values[2], "1234 kb");
}

struct PanelRow {
  int windowWidth;
  int expectedX;
  uint32_t rate;
  uint32_t bits;
  uint32_t length;
  const char* bitsText;
  const char* rateText;
  const char* lengthText;
};

class InfoPanelRowTest : public ::testing::TestWithParam<PanelRow> {};

TEST_P(InfoPanelRowTest, ValuesAreWholeThousandsCutDown) {
  const PanelRow& r = GetParam();
  const InfoPanelLayout p = ComputeInfoPanel(r.windowWidth, 300, 7, 16, r.rate, r.bits, r.length);
  EXPECT_EQ(p.x, r.expectedX);
  EXPECT_EQ(p.values[0], r.bitsText);
  EXPECT_EQ(p.values[1], r.rateText);
  EXPECT_EQ(p.values[2], r.lengthText);
}

INSTANTIATE_TEST_SUITE_P(
    Values, InfoPanelRowTest,
    ::testing::Values(
        // 999 bytes show as 0 kb; 44100 Hz as 44 kHz.
        PanelRow{574, 224, 44100, 8, 999, "8    bits", "44   kHz", "0    kb"},
        PanelRow{577, 224, 5513, 16, 1000, "16   bits", "5    kHz", "1    kb"},
        // A wider window moves the panel right by a quarter of the width gained.
        PanelRow{578, 225, 999, 8, 52920000, "8    bits", "0    kHz", "52920 kb"},
        PanelRow{974, 324, 22050, 16, 0, "16   bits", "22   kHz", "0    kb"}));

// K stays sample rate / 11025 up to 55124 Hz; wider bands are marked at 5, 10, 20 or 25 kHz.
struct TickStepRow {
  int32_t sampleRate;
  int expected;
};

class FrequencyTickStepTest : public ::testing::TestWithParam<TickStepRow> {};

TEST_P(FrequencyTickStepTest, RoundKilohertzStepsAtHighRates) {
  EXPECT_EQ(FrequencyTickStep(GetParam().sampleRate), GetParam().expected) << GetParam().sampleRate;
}

INSTANTIATE_TEST_SUITE_P(
    Rates, FrequencyTickStepTest,
    ::testing::Values(TickStepRow{4000, 1}, TickStepRow{22050, 2}, TickStepRow{44100, 4}, TickStepRow{48000, 4},
                      TickStepRow{55125, 5}, TickStepRow{96000, 5}, TickStepRow{110250, 10},
                      TickStepRow{192000, 10}, TickStepRow{220500, 20}, TickStepRow{275625, 25},
                      TickStepRow{384000, 25}));

}  // namespace
}  // namespace hl
