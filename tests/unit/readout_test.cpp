// The status block's arithmetic, with expected values worked out by hand from the rules:
// bin width rate / N, the row of bin 0 at N/2 + 43, half columns, the half-up rounding, the
// "Scope" scale of 4 pixels per dB and 2 pixels per bin.
#include "core/layout/readout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hl {
namespace {

TEST(ReadoutNumbers, FrequencyResolution) {
  struct Case {
    uint32_t rate;
    int order;
    int expected;
  };
  const Case cases[] = {
      {11025, 9, 11},   // 11025 / 1024 = 10; 11025 mod 512 = 273, 546 >= 512
      {11025, 10, 6},   // 11025 / 2048 = 5; mod 1024 = 785, 1570 >= 1024
      {44100, 9, 43},   // 44100 / 1024 = 43; mod 512 = 68, 136 < 512
      {22050, 9, 21},   // mod 512 = 34
      {8000, 11, 2},    // 8000 / 4096 = 1; mod 2048 = 1856, 3712 >= 2048
      {4096, 9, 4},     // exact: mod 0
      {5376, 9, 6},     // mod 256: 512 >= 512 counts
      {5375, 9, 5},     // mod 255: 510 < 512 does not
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FrequencyResolution(c.rate, c.order), c.expected) << c.rate << " Hz, order " << c.order;
  }
}

TEST(ReadoutNumbers, HalfColumnIsHalfTheWholeMillisecondsRoundedUp) {
  const std::pair<float, int> cases[] = {{12.0f, 6},   {11.61f, 6},  {1.0f, 1},  {23.22f, 12},
                                         {500.0f, 250}, {199.9f, 100}, {198.0f, 99}, {2.5f, 1}};
  for (const auto& c : cases) EXPECT_EQ(HalfColumnMs(c.first), c.second) << c.first;
}

TEST(ReadoutNumbers, RoundHalfUpGoesUpOnExactHalves) {
  EXPECT_EQ(RoundHalfUpSigned(2.5), 3);
  EXPECT_EQ(RoundHalfUpSigned(2.4999), 2);
  EXPECT_EQ(RoundHalfUpSigned(-74.5), -74);
  EXPECT_EQ(RoundHalfUpSigned(-74.75), -75);
  EXPECT_EQ(RoundHalfUpSigned(0.49999997f), 0);
}

TEST(ReadoutNumbers, ScrollFrequencyIsTheRowsBinPlusResolution) {
  struct Case {
    uint32_t rate;
    int order, imageY, expected;
  };
  const Case cases[] = {
      {11025, 9, 299, 11},    // the row of bin 0: 0 Hz + 11
      {11025, 9, 298, 33},    // 21.533 -> 22, + 11
      {11025, 9, 44, 5502},   // bin 255: 5490.967 -> 5491, + 11
      {8000, 9, 295, 71},     // bin 4: 62.5 rounds up to 63, + 8
      {8000, 9, 287, 196},    // bin 12: 187.5 -> 188, + 8
      {11025, 10, 555, 6},    // 1024 points: row 555 holds bin 0, r = 6
      {44100, 9, 44, 22007},  // 86.133 x 255 = 21963.9 -> 21964, + 43
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RowFrequency(c.rate, c.order, c.imageY), c.expected) << c.rate << " Hz, row " << c.imageY;
  }
}

TEST(ReadoutNumbers, DragFrequencySpanTruncatesTowardZero) {
  EXPECT_EQ(DragFrequencySpan(11025, 9, 200, 100), 2153);   // 2153.32
  EXPECT_EQ(DragFrequencySpan(11025, 9, 100, 200), -2153);  // not -2154
  EXPECT_EQ(DragFrequencySpan(11025, 9, 150, 150), 0);
  EXPECT_EQ(DragFrequencySpan(8000, 9, 10, 6), 62);  // 62.5
}

TEST(ReadoutNumbers, ScopeFrequencyIsTwoPixelsPerBinWithinHalfTheRate) {
  struct Case {
    uint32_t rate;
    int x, expected;
  };
  const int x0 = 100;
  const Case cases[] = {
      {11025, 100, 0},     // at the origin
      {11025, 102, 22},    // one bin: 21.53
      {11025, 612, 5512},  // 512 pixels: 5512.5 -> 5513, limited to 11025 / 2
      {11025, 50, 0},      // left of the origin
      {11025, 900, 5512},  // far right
      {8000, 101, 8},      // half a bin: 7.8125
      {8000, 108, 63},     // 62.5 rounds up
  };
  for (const Case& c : cases) EXPECT_EQ(ScopeFrequency(c.rate, 9, c.x, x0), c.expected) << c.rate << " Hz, x " << c.x;
}

TEST(ReadoutNumbers, ColumnTimeAddsHalfAColumnAndTheBeginAndRoundsToTheMillisecond) {
  struct Case {
    int x;
    float scale, begin;
    int64_t expected;
  };
  const Case cases[] = {
      {0, 12.0f, 0.0f, 6},       // the first column's middle
      {10, 12.0f, 0.0f, 126},
      {10, 12.0f, 1000.0f, 1126},
      {0, 12.0f, 0.25f, 6},      // 6.25
      {3, 11.61f, 0.0f, 41},     // 34.83 + 6 = 40.83
      {1, 11.61f, 0.0f, 18},     // 17.61
      {1, 2.5f, 0.0f, 4},        // 2.5 + 1 = 3.5 rounds up
      {3, 2.5f, 0.0f, 9},        // 8.5 rounds up, not to the even 8
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ColumnTimeMs(c.x, c.scale, c.begin), c.expected) << "x " << c.x << ", " << c.scale << " ms";
  }
}

TEST(ReadoutNumbers, DragTimeSpanAndClock) {
  EXPECT_EQ(DragTimeSpanMs(50, 40, 12.0f), 120);
  EXPECT_EQ(DragTimeSpanMs(40, 50, 12.0f), -120);
  EXPECT_EQ(DragTimeSpanMs(41, 40, 2.5f), 3);
  EXPECT_EQ(DragTimeSpanMs(40, 41, 2.5f), -3);  // the same size either way
  EXPECT_EQ(ElapsedSeconds(0.0f), 0);
  EXPECT_EQ(ElapsedSeconds(1499.0f), 1);
  EXPECT_EQ(ElapsedSeconds(1500.0f), 2);
  EXPECT_EQ(ElapsedSeconds(62400.0f), 62);
}

TEST(ReadoutNumbers, ScopeLevelIsFourPixelsPerDbFromMinus75) {
  EXPECT_FLOAT_EQ(ScopeLevelDb(250, 250), -75.0f);
  EXPECT_FLOAT_EQ(ScopeLevelDb(250, 190), -60.0f);  // 60 pixels higher
  EXPECT_FLOAT_EQ(ScopeLevelDb(250, 10), -15.0f);
  EXPECT_FLOAT_EQ(ScopeLevelDb(250, 252), -75.5f);
}

TEST(ReadoutNumbers, MouseCoordinatesAreSigned16BitAndNeverNegative) {
  EXPECT_EQ(MouseCoordinate(5), 5);
  EXPECT_EQ(MouseCoordinate(0x7FFF), 32767);
  EXPECT_EQ(MouseCoordinate(0xFFFF), 0);  // -1
  EXPECT_EQ(MouseCoordinate(0x8000), 0);
}

TEST(ReadoutNumbers, ScopePlacement) {
  EXPECT_EQ(ScopeOriginX(640, 8), 64);  // centred
  EXPECT_EQ(ScopeOriginX(560, 8), 36);  // at least 9 C / 2
  EXPECT_EQ(ScopeOriginX(560, 7), 31);
  EXPECT_EQ(ScopeBaselineY(300, 16), 268);
}

TEST(ReadoutCursor, InImageRule) {
  struct Case {
    bool scope;
    int y, imageY, area, bitmap;
    bool expected;
  };
  const Case cases[] = {
      {false, 43, 43, 300, 300, false},   // last margin row
      {false, 44, 44, 300, 300, true},    // first frequency row
      {false, 10, 10, 300, 300, false},
      {false, 299, 299, 300, 300, true},  // bin 0
      {false, 300, 300, 300, 300, false}, // below the image area
      {false, 250, 300, 300, 300, false}, // scrolled past the last row
      {false, 250, 500, 300, 556, true},  // 1024 points scrolled down
      {true, 0, 0, 300, 0, false},        // "Scope": image y < 1
      {true, 1, 1, 300, 0, true},
      {true, 20, 20, 300, 0, true},       // no margin in "Scope"
      {true, 300, 300, 300, 0, false},
  };
  for (const Case& c : cases) {
    CursorPlace p;
    p.scopeDisplay = c.scope;
    p.y = c.y;
    p.imageY = c.imageY;
    p.imageAreaHeight = c.area;
    p.bitmapHeight = c.bitmap;
    EXPECT_EQ(CursorInImage(p), c.expected) << (c.scope ? "Scope" : "Scroll") << " y " << c.y;
  }
}

SelectionInput Drag(int from, int to, int offset = 0) {
  SelectionInput in;
  in.startX = from;
  in.endX = to;
  in.horizontalOffset = offset;
  in.timeScaleMs = 12.0f;
  in.bytesPerSample = 1;
  in.channels = 1;
  in.rate = 11025;
  return in;
}

TEST(ReadoutSelection, DragToTheRightTakesTheMiddlesOfItsColumns) {
  const Selection s = SelectSpan(Drag(100, 150));
  ASSERT_TRUE(s.made);
  EXPECT_DOUBLE_EQ(s.beginColumn, 100.5);
  EXPECT_DOUBLE_EQ(s.endColumn, 150.5);
  EXPECT_DOUBLE_EQ(s.beginMs, 1206.0);
  EXPECT_DOUBLE_EQ(s.endMs, 1806.0);
  EXPECT_NEAR(s.beginByte, 1206.0 * 11.025, 1e-6);  // 13296.15 bytes of 8-bit mono
  EXPECT_NEAR(s.endByte, 1806.0 * 11.025, 1e-6);
}

TEST(ReadoutSelection, DragToTheLeftIsHalfAColumnEarlierAtEachEnd) {
  const Selection right = SelectSpan(Drag(100, 150));
  const Selection left = SelectSpan(Drag(150, 100));
  ASSERT_TRUE(left.made);
  EXPECT_DOUBLE_EQ(left.beginColumn, 100.0);
  EXPECT_DOUBLE_EQ(left.endColumn, 150.0);
  EXPECT_DOUBLE_EQ(right.beginColumn - left.beginColumn, 0.5);
  EXPECT_DOUBLE_EQ(right.endColumn - left.endColumn, 0.5);
  EXPECT_DOUBLE_EQ(left.beginMs, 1200.0);
  EXPECT_DOUBLE_EQ(left.endMs, 1800.0);
  EXPECT_NEAR(right.beginByte - left.beginByte, 6.0 * 11.025, 1e-6);
}

TEST(ReadoutSelection, ClickWithoutMovementSelectsNothing) {
  for (int x : {0, 57, 640}) EXPECT_FALSE(SelectSpan(Drag(x, x, 300)).made) << x;
}

TEST(ReadoutSelection, ScrolledViewAndWideFramesCount) {
  const Selection s = SelectSpan(Drag(10, 20, 1000));
  EXPECT_DOUBLE_EQ(s.beginColumn, 1010.5);
  EXPECT_DOUBLE_EQ(s.endColumn, 1020.5);

  SelectionInput in = Drag(10, 30);
  in.timeScaleMs = 10.0f;
  in.bytesPerSample = 2;
  in.channels = 2;
  in.rate = 44100;
  const Selection wide = SelectSpan(in);
  EXPECT_DOUBLE_EQ(wide.beginMs, 105.0);
  EXPECT_NEAR(wide.beginByte, 105.0 * 176.4, 1e-6);  // 2 x 2 x 44.1 bytes per ms
  EXPECT_NEAR(wide.endByte, 305.0 * 176.4, 1e-6);
  // The times handed to the parameters dialog are the byte offsets at the data's rate.
  EXPECT_NEAR(wide.endByte / 176.4, wide.endMs, 1e-9);
}

TEST(ReadoutStatusBlock, Geometry) {
  struct Case {
    int width, imageHeight, bar, cw, ch;
    StatusBlockLayout expected;
  };
  const Case cases[] = {
      // origin x = 656 / 10 + 8 = 73, y = 8 + 16 + 300 = 324
      {656, 300, 16, 8, 16, {73, 324, 328, 348, 364, 81, 209}},
      // origin x = 574 / 10 + 7 = 64, y = 6 + 14 + 300 = 320; 13 / 4 = 3, 39 / 2 = 19, 65 / 2 = 32
      {574, 300, 14, 7, 13, {64, 320, 323, 339, 352, 71, 183}},
  };
  for (const Case& c : cases) {
    const StatusBlockLayout l = ComputeStatusBlock(c.width, c.imageHeight, c.bar, c.cw, c.ch);
    const StatusBlockLayout& e = c.expected;
    EXPECT_EQ(l.originX, e.originX);
    EXPECT_EQ(l.originY, e.originY);
    EXPECT_EQ(l.titleY, e.titleY);
    EXPECT_EQ(l.row1Y, e.row1Y);
    EXPECT_EQ(l.row2Y, e.row2Y);
    EXPECT_EQ(l.labelX, e.labelX);
    EXPECT_EQ(l.valueX, e.valueX);
  }
}

TEST(ReadoutStatusBlock, MeasuredTextsMoveTheValuesAndSizeTheFields) {
  // 574 wide, C 7: labels at 71, values at 183. A label 120 pixels wide moves the values half
  // a character after it, to 71 + 120 + 3; the title and the values are as wide as their
  // widest texts and half a character.
  TextWidths t;
  t.title = 110;
  t.label = 120;
  t.value = 80;
  const StatusBlockLayout l = ComputeStatusBlock(574, 300, 14, 7, 13, t);
  EXPECT_EQ(l.valueX, 194);
  EXPECT_EQ(l.labelWidth, 123);
  EXPECT_EQ(l.titleWidth, 113);
  EXPECT_EQ(l.valueWidth, 83);
  EXPECT_EQ(l.right, 277);
  // Labels narrower than 16 C keep the values at 17 C.
  t.label = 50;
  EXPECT_EQ(ComputeStatusBlock(574, 300, 14, 7, 13, t).valueX, 183);
}

TEST(ReadoutStatusBlock, FieldTexts) {
  EXPECT_EQ(TimeField(1206, 6), "1206 + - 6  ");
  EXPECT_EQ(TimeField(6, 6), "6    + - 6  ");
  EXPECT_EQ(TimeField(12345, 99), "12345 + - 99 ");
  EXPECT_EQ(TimeField(5000, 100), "5000");  // no "+ -" from h = 100
  EXPECT_EQ(TimeField(-120, 6), "-120 + - 6  ");
  EXPECT_EQ(FrequencyField(5502, 11), "5502 + - 11 ");
  EXPECT_EQ(FrequencyField(33, 11), "33   + - 11 ");
  EXPECT_EQ(FrequencyField(-2153, 11), "-2153 + - 11 ");
  EXPECT_EQ(FrequencyField(29999, 43), "29999 + - 43 ");
  EXPECT_EQ(FrequencyField(30000, 43), "");
  EXPECT_EQ(WholeNumberField(-75), "-75 ");
  EXPECT_EQ(WholeNumberField(3), "3   ");
  EXPECT_EQ(std::string(TitleText(ReadoutTitle::Analysis)), "Audio Analysis ");
  EXPECT_EQ(std::string(TitleText(ReadoutTitle::FileScan)), "File Scan ");
  EXPECT_EQ(std::string(TitleText(ReadoutTitle::Recording)), "Audio Recording ");
  EXPECT_EQ(std::string(TitleText(ReadoutTitle::LiveScan)), "Audio Scan");
  EXPECT_EQ(std::string(TitleText(ReadoutTitle::None)), "");
}

ReadoutInput ScrollPoint(int imageX, int imageY) {
  ReadoutInput in;
  in.inImage = true;
  in.imageX = imageX;
  in.imageY = imageY;
  in.rate = 11025;
  in.fftOrder = 9;
  in.timeScaleMs = 12.0f;
  in.title = ReadoutTitle::Analysis;
  return in;
}

TEST(ReadoutTexts, ScrollImage) {
  const ReadoutTexts t = ComputeReadout(ScrollPoint(100, 44));
  EXPECT_EQ(t.title, "Audio Analysis ");
  EXPECT_EQ(t.timeLabel, "Time (msec) :");
  EXPECT_EQ(t.timeValue, "1206 + - 6  ");
  EXPECT_EQ(t.frequencyLabel, "Frequency (Hz) :");
  EXPECT_EQ(t.frequencyValue, "5502 + - 11 ");
  EXPECT_EQ(t.timeMs, 1206);
  EXPECT_EQ(t.frequencyHz, 5502);
}

TEST(ReadoutTexts, OffTheImageShowsTheBlankPatterns) {
  ReadoutInput in = ScrollPoint(100, 20);
  in.inImage = false;
  const ReadoutTexts t = ComputeReadout(in);
  EXPECT_EQ(t.timeLabel, "Time (msec) :");
  EXPECT_EQ(t.timeValue, "00000 + - 00");
  EXPECT_EQ(t.frequencyValue, "00000 + - 00");

  in.scopeDisplay = true;
  const ReadoutTexts scope = ComputeReadout(in);
  EXPECT_EQ(scope.timeLabel, "Sig Level (dB) :");
  EXPECT_EQ(scope.timeValue, "000         ");
  EXPECT_EQ(scope.frequencyValue, "00000 + - 00");
}

TEST(ReadoutTexts, RightDragReadsSpansFromTheAnchor) {
  ReadoutInput in = ScrollPoint(150, 100);
  in.rightDrag = true;
  in.anchorImageX = 100;
  in.anchorImageY = 200;
  in.imageBeginMs = 5000.0f;  // a span does not depend on where the image begins
  const ReadoutTexts t = ComputeReadout(in);
  EXPECT_EQ(t.timeValue, "600  + - 6  ");
  EXPECT_EQ(t.frequencyValue, "2153 + - 11 ");
}

TEST(ReadoutTexts, ClockRowWhileInputOrPlaybackRuns) {
  ReadoutInput in = ScrollPoint(100, 44);
  in.clockRunning = true;
  in.elapsedMs = 62400.0f;
  in.title = ReadoutTitle::LiveScan;
  const ReadoutTexts t = ComputeReadout(in);
  EXPECT_EQ(t.title, "Audio Scan");
  EXPECT_EQ(t.timeLabel, "Time Now (sec) : ");
  EXPECT_EQ(t.timeValue, "62  ");
  EXPECT_EQ(t.frequencyValue, "5502 + - 11 ");
  in.inImage = false;  // the clock keeps running; the frequency goes blank
  const ReadoutTexts off = ComputeReadout(in);
  EXPECT_EQ(off.timeValue, "62  ");
  EXPECT_EQ(off.frequencyValue, "00000 + - 00");
}

TEST(ReadoutTexts, ScopeReadsLevelAndFrequency) {
  ReadoutInput in;
  in.scopeDisplay = true;
  in.inImage = true;
  in.rate = 11025;
  in.scopeOriginX = 64;
  in.baselineY = 268;
  in.x = 64 + 200;  // 100 bins: 2153.3
  in.y = 268 - 60;
  in.title = ReadoutTitle::FileScan;
  const ReadoutTexts t = ComputeReadout(in);
  EXPECT_EQ(t.timeLabel, "Sig Level (dB) :");
  EXPECT_EQ(t.timeValue, "-60 ");
  EXPECT_EQ(t.frequencyValue, "2153 + - 11 ");
  in.y = 268 - 2;  // -74.5 rounds up
  EXPECT_EQ(ComputeReadout(in).timeValue, "-74 ");
}

TEST(ReadoutScope, Scale) {
  struct Case {
    uint32_t rate;
    int step;
    float spacing;
    int count;
  };
  const Case cases[] = {
      {11025, 1, 1024000.0f / 11025, 6},  // 512 / 92.88 = 5.51
      {22050, 1, 1024000.0f / 22050, 11},  // 11.02
      {44100, 3, 3072000.0f / 44100, 7},   // 7.35
      {5513, 1, 1024000.0f / 5513, 3},     // 2.76
  };
  for (const Case& c : cases) {
    const ScopeScale s = ComputeScopeScale(c.rate);
    EXPECT_EQ(s.stepKhz, c.step) << c.rate;
    EXPECT_NEAR(s.spacing, c.spacing, 1e-3) << c.rate;
    EXPECT_EQ(s.count, c.count) << c.rate;
  }
}

TEST(ReadoutScope, LabelPositions) {
  const std::vector<ScopeLabel> labels = ComputeScopeLabels(100, 250, 11025, 8, 16);
  // x = trunc(100 - 4 + i x 92.88), half a character height under the baseline
  const std::vector<ScopeLabel> expected = {
      {96, 258, "0"},  {188, 258, "1"}, {281, 258, "2"},     {374, 258, "3"},
      {467, 258, "4"}, {560, 258, "5"}, {588, 258, "kHz"},  // 100 - 24 + 512
      {64, 242, "-75"}, {64, 182, "-60"}, {64, 122, "-45"}, {64, 62, "-30"}, {64, 2, "-15"},
  };
  EXPECT_EQ(labels, expected);

  const std::vector<ScopeLabel> fast = ComputeScopeLabels(100, 250, 44100, 8, 16);
  ASSERT_EQ(fast.size(), 7u + 1 + 5);
  EXPECT_EQ(fast[6].text, "18");  // 0, 3, .. 18 kHz
  EXPECT_EQ(fast[6].x, static_cast<int>(96.0f + 6 * (3072000.0f / 44100)));
}

TEST(ReadoutScope, GridPieces) {
  const std::vector<ScopeGridPiece> pieces = ComputeScopeGrid(100, 250, 11025);
  ASSERT_EQ(pieces.size(), 6u * 5 * 2);  // six columns of five rows, two bars each
  // First column, baseline: both bars stop at the corner.
  // The marker's bars cross at (5, 5): the vertical bar from its top, the horizontal one
  // from its left end, or from the crossing where only the right half is wanted.
  EXPECT_EQ(pieces[0], (ScopeGridPiece{100, 245, 1, 6, 5, 0}));
  EXPECT_EQ(pieces[1], (ScopeGridPiece{100, 250, 6, 1, 5, 5}));
  // First column, -60 dB row.
  EXPECT_EQ(pieces[2], (ScopeGridPiece{100, 185, 1, 11, 5, 0}));
  EXPECT_EQ(pieces[3], (ScopeGridPiece{100, 190, 6, 1, 5, 5}));
  // Second column (d = 93), baseline.
  EXPECT_EQ(pieces[10], (ScopeGridPiece{193, 245, 1, 6, 5, 0}));
  EXPECT_EQ(pieces[11], (ScopeGridPiece{188, 250, 11, 1, 0, 5}));
  // Last column, top row.
  EXPECT_EQ(pieces[58], (ScopeGridPiece{565, 5, 1, 11, 5, 0}));
  EXPECT_EQ(pieces[59], (ScopeGridPiece{560, 10, 11, 1, 0, 5}));
}

}  // namespace
}  // namespace hl
