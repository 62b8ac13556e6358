#include "core/sound/playback.h"

#include <gtest/gtest.h>

#include <vector>

namespace hl {
namespace {

// ---------------------------------------------------------------------------
// The ring.

struct RingCase {
  const char* name;
  uint32_t bytesPerSample, channels, rate;
  uint32_t seconds, ringBytes, ringFrames;
};

class PlaybackRing : public ::testing::TestWithParam<RingCase> {};

TEST_P(PlaybackRing, SecondsBytesAndFrames) {
  const RingCase& c = GetParam();
  const RingLayout ring = PlanRing(c.bytesPerSample, c.channels, c.rate);
  ASSERT_TRUE(ring.valid);
  EXPECT_EQ(ring.seconds, c.seconds);
  EXPECT_EQ(ring.ringBytes, c.ringBytes);
  EXPECT_EQ(ring.ringFrames, c.ringFrames);
  EXPECT_EQ(ring.halfBytes * 2, ring.ringBytes);
  EXPECT_EQ(ring.halfFrames * 2, ring.ringFrames);
  EXPECT_EQ(ring.halfBytes % (c.bytesPerSample * c.channels), 0u) << "a half must hold whole frames";
}

INSTANTIATE_TEST_SUITE_P(
    PlaybackFormats, PlaybackRing,
    ::testing::Values(
        // 352800 / 176400 = 2 s.
        RingCase{"s44k16stereo", 2, 2, 44100, 2, 352800, 88200},
        RingCase{"s44k16mono", 2, 1, 44100, 4, 352800, 176400},
        RingCase{"s11k16mono", 2, 1, 11025, 16, 352800, 176400},
        // 352800 / 5513 = 63.99 -> 63 s: 347,319 bytes, cut to two halves of 173,659.
        RingCase{"s5k8mono", 1, 1, 5513, 63, 347318, 347318},
        // 352800 / 11026 = 31.99 -> 31 s: 341,806 bytes; a half of 170,903 bytes would split a
        // sample, so each half is 85,451 whole frames.
        RingCase{"s5k16mono", 2, 1, 5513, 31, 341804, 170902},
        // 352800 / 352800 = 1 s, raised to the 2 s minimum.
        RingCase{"s44k16quad", 2, 4, 44100, 2, 705600, 88200},
        RingCase{"s44k16six", 2, 6, 44100, 2, 1058400, 88200}),
    [](const ::testing::TestParamInfo<RingCase>& param) { return std::string(param.param.name); });

TEST(PlaybackRingLimits, ZeroFormatsAndHugeChannelCountsAreRefused) {
  EXPECT_FALSE(PlanRing(0, 1, 11025).valid);
  EXPECT_FALSE(PlanRing(2, 0, 11025).valid);
  EXPECT_FALSE(PlanRing(2, 1, 0).valid);
  // 65535 channels of 16 bits at 44.1 kHz: 2 s would be 11.5 GB.
  EXPECT_FALSE(PlanRing(2, 65535, 44100).valid);
}

TEST(PlaybackRingLimits, TotalFramesAndLoops) {
  EXPECT_EQ(TotalFrames(352800, 2, 2), 88200u);
  EXPECT_EQ(TotalFrames(352803, 2, 2), 88200u);  // a partial frame is not played
  EXPECT_EQ(TotalFrames(1000, 1, 1), 1000u);
  EXPECT_EQ(TotalFrames(1000, 0, 1), 0u);
  EXPECT_EQ(RingLoops(352800 * 3, 352800), 4u);
  EXPECT_EQ(RingLoops(352800 * 3 - 1, 352800), 3u);
  EXPECT_EQ(RingLoops(100, 352800), 1u);
}

// ---------------------------------------------------------------------------
// Play position -> ring position and window start.

struct PositionCase {
  uint64_t frames;
  uint32_t ringFrame;
  int half;
  int32_t windowStart;
};

TEST(PlaybackPosition, SamplesAndBytesAnswersAgree) {
  const RingLayout ring = PlanRing(2, 2, 44100);  // 88200 frames, halves of 44100
  const PositionCase cases[] = {
      {0, 0, 0, -512},
      {100, 100, 0, -412},
      {100000, 11800, 0, 11288},  // second loop, 11800 into half 0
      {44100, 44100, 1, -512},    // just entered half 1
      {50000, 50000, 1, 5388},
      {88199, 88199, 1, 43587},
      {88200 * 7 + 44612, 44612, 1, 0},
  };
  for (const PositionCase& c : cases) {
    SCOPED_TRACE(c.frames);
    const RingPosition s = RingPositionFromSamples(c.frames, ring);
    EXPECT_EQ(s.ringFrame, c.ringFrame);
    EXPECT_EQ(s.currentHalf, c.half);
    EXPECT_EQ(s.windowStart, c.windowStart);
    // The same position reported in bytes (4 per frame), with a partial frame on top.
    for (uint64_t extra : {0, 3}) {
      const RingPosition b = RingPositionFromBytes(c.frames * 4 + extra, 4, ring);
      EXPECT_EQ(b.ringFrame, c.ringFrame);
      EXPECT_EQ(b.currentHalf, c.half);
      EXPECT_EQ(b.windowStart, c.windowStart);
    }
  }
}

// ---------------------------------------------------------------------------
// The refill rule.

TEST(PlaybackRefill, OtherHalfOnceAfter512FramesOfEachEntry) {
  const RingLayout ring = PlanRing(2, 2, 44100);
  RefillState state;
  struct Step {
    uint64_t frames;
    int refill;
  };
  const Step steps[] = {
      {0, -1},       // start: entering half 0 marks half 1
      {512, -1},     // not yet past 512
      {513, 1},      // past 512: half 1 is read
      {600, -1},     // once per entry
      {40000, -1},
      {44100, -1},   // entering half 1 marks half 0
      {44612, -1},
      {44613, 0},
      {80000, -1},
      {88200 + 10, -1},  // the loop wraps into half 0 again
      {88200 + 900, 1},
      {88200 + 44100 + 2000, 0},  // a late poll that enters and is past 512 at once
      {88200 + 44100 + 3000, -1},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.frames);
    EXPECT_EQ(NextRefill(state, RingPositionFromSamples(s.frames, ring), ring), s.refill);
  }
}

// ---------------------------------------------------------------------------
// The end by the clock.

TEST(PlaybackClock, ElapsedFramesAndTheEnd) {
  EXPECT_EQ(ElapsedFramesByClock(44100, 1000.0), 44100);
  EXPECT_EQ(ElapsedFramesByClock(11025, 12.34), 136);  // 136.05 truncated
  EXPECT_EQ(ElapsedFramesByClock(11025, 0.0), 0);
  EXPECT_FALSE(ScanEndedByClock(487, 1000));
  EXPECT_TRUE(ScanEndedByClock(488, 1000));  // total frames - 512
  EXPECT_TRUE(ScanEndedByClock(600, 1000));
  // A file of fewer than 512 frames ends at the first poll.
  EXPECT_TRUE(ScanEndedByClock(0, 100));
}

// ---------------------------------------------------------------------------
// The window in the ring.

struct WindowCase {
  uint64_t frames;
  uint32_t tailOffset, tailFrames, headOffset, headFrames;
};

TEST(PlaybackWindow, CurrentHalfAndTheOtherHalfsTail) {
  const RingLayout ring = PlanRing(2, 2, 44100);  // halves of 176,400 bytes, 4 per frame
  const WindowCase cases[] = {
      {100000, 0, 0, 11288 * 4, 512},                 // wholly in half 0
      {44100 + 100, 176400 - 412 * 4, 412, 176400, 100},  // half 0's tail, then half 1
      {44100, 176400 - 512 * 4, 512, 176400, 0},      // all from half 0's tail
      {10, 352800 - 502 * 4, 502, 0, 10},             // half 1's tail, then half 0
      {88199, 0, 0, 176400 + 43587 * 4, 512},         // the last frame of half 1
  };
  for (const WindowCase& c : cases) {
    SCOPED_TRACE(c.frames);
    const RingWindow w = LocateRingWindow(RingPositionFromSamples(c.frames, ring), ring, 4);
    ASSERT_TRUE(w.inside);
    EXPECT_EQ(w.tailOffset, c.tailOffset);
    EXPECT_EQ(w.tailFrames, c.tailFrames);
    EXPECT_EQ(w.headOffset, c.headOffset);
    EXPECT_EQ(w.headFrames, c.headFrames);
  }
}

TEST(PlaybackWindow, HalfShorterThanAWindowIsNotDrawn) {
  RingLayout ring;
  ring.valid = true;
  ring.halfFrames = 300;
  ring.ringFrames = 600;
  ring.halfBytes = 300;
  ring.ringBytes = 600;
  EXPECT_FALSE(LocateRingWindow(RingPositionFromSamples(100, ring), ring, 1).inside);
}

TEST(PlaybackWindow, FrameTakesTheFirstChannelWhole) {
  // 16-bit stereo: frame f holds left = 0x0100 + f (low byte kept), right = -1.
  const RingLayout ring = PlanRing(2, 2, 44100);
  std::vector<uint8_t> bytes(ring.ringBytes, 0xFF);
  for (uint32_t f = 0; f < ring.ringFrames; ++f) {
    const uint16_t left = static_cast<uint16_t>(0x0100 + (f & 0xFF));
    bytes[f * 4] = static_cast<uint8_t>(left & 0xFF);
    bytes[f * 4 + 1] = static_cast<uint8_t>(left >> 8);
  }
  // A loud left sample inside the envelope range and one just outside it.
  const uint32_t start = 44100 - 412;  // tail of half 0 from frame 43688
  auto put = [&](uint32_t frame, int16_t v) {
    bytes[frame * 4] = static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFF);
    bytes[frame * 4 + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
  };
  put(start + 193, 30000);
  put(start + 319, -20000);
  put(start + 192, 32000);   // index 192: not part of the envelope
  put(start + 320, -32000);  // index 320: neither
  const RingWindow w = LocateRingWindow(RingPositionFromSamples(44100 + 100, ring), ring, 4);
  int16_t frame[512];
  const FramePeaks peaks = BuildRingFrame(bytes.data(), w, 4, 2, frame);
  EXPECT_EQ(frame[0], 0x0100 + ((start) & 0xFF));
  EXPECT_EQ(frame[1], 0x0100 + ((start + 1) & 0xFF));
  EXPECT_EQ(frame[193], 30000);
  EXPECT_EQ(frame[412], 0x0100 + 68);  // first frame of half 1: frame 44100, 44100 & 0xFF = 68
  EXPECT_EQ(frame[511], 0x0100 + 68 + 99);
  EXPECT_EQ(peaks.max, 30000);
  EXPECT_EQ(peaks.min, -20000);
}

TEST(PlaybackWindow, EightBitSamplesAreCentredAndScaled) {
  const RingLayout ring = PlanRing(1, 1, 11025);
  std::vector<uint8_t> bytes(ring.ringBytes, 0x80);
  bytes[1000] = 0xFF;
  bytes[1001] = 0x00;
  bytes[1002] = 0x81;
  const RingWindow w = LocateRingWindow(RingPositionFromSamples(1000 + 512 - 200, ring), ring, 1);
  ASSERT_EQ(w.headOffset, 800u);
  int16_t frame[512];
  const FramePeaks peaks = BuildRingFrame(bytes.data(), w, 1, 1, frame);
  EXPECT_EQ(frame[0], 0);
  EXPECT_EQ(frame[200], 32512);
  EXPECT_EQ(frame[201], -32768);
  EXPECT_EQ(frame[202], 256);
  EXPECT_EQ(peaks.max, 32512);
  EXPECT_EQ(peaks.min, -32768);
}

// ---------------------------------------------------------------------------
// The stop point.

TEST(PlaybackStopSpan, TwoRingsBackAndThreeHalvesLong) {
  struct Case {
    uint64_t bytesRead;
    uint32_t ringBytes, channels, bytesPerSample, rate;
    uint32_t begin, end;
  };
  const Case cases[] = {
      // 44.1 kHz 16-bit stereo, 176,400 bytes/s: 5 rings read -> 3 rings back = 6 s; halves of 1 s.
      {352800 * 5, 352800, 2, 2, 44100, 6000, 9000},
      // 11025 Hz 16-bit mono, 22,050 bytes/s: halves of 8 s.
      {352800 * 3, 352800, 1, 2, 11025, 16000, 40000},
      // Less than two rings read: the span starts at 0.
      {352800, 352800, 1, 2, 11025, 0, 24000},
      {352800 * 2, 352800, 1, 2, 11025, 0, 24000},
      // Part of a second: 1,000 bytes beyond 2 rings at 22,050 bytes/s is 45.35 ms.
      {352800 * 2 + 1000, 352800, 1, 2, 11025, 45, 24045},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytesRead);
    const StopSpan s = ScanStopSpan(c.bytesRead, c.ringBytes, c.channels, c.bytesPerSample, c.rate);
    EXPECT_EQ(s.beginMs, c.begin);
    EXPECT_EQ(s.endMs, c.end);
  }
  const StopSpan none = ScanStopSpan(1000, 352800, 0, 2, 11025);
  EXPECT_EQ(none.beginMs, 0u);
  EXPECT_EQ(none.endMs, 0u);
}

// ---------------------------------------------------------------------------
// "Play".

TEST(PlaybackPlay, ColumnFromElapsedTime) {
  EXPECT_EQ(PlayColumn(1000.0, 12.0), 83);
  EXPECT_EQ(PlayColumn(0.0, 12.0), 0);
  EXPECT_EQ(PlayColumn(11.99, 12.0), 0);
  EXPECT_EQ(PlayColumn(12.0, 12.0), 1);
  EXPECT_EQ(PlayColumn(-5.0, 12.0), -1);
  EXPECT_EQ(PlayColumn(5.0, 0.0), -1);
  // 132 values per column at 11025 Hz mono.
  EXPECT_DOUBLE_EQ(ColumnTimeMs(132, 1, 11025), 132000.0 / 11025.0);
  EXPECT_DOUBLE_EQ(ColumnTimeMs(264, 2, 11025), 132000.0 / 11025.0);
  EXPECT_EQ(ColumnTimeMs(0, 1, 11025), 0.0);
}

TEST(PlaybackPlay, RevealThenFollow) {
  const int32_t width = 600, count = 2000;
  struct Step {
    int32_t c;
    bool copy;
    int32_t sourceX, copyWidth;
    bool scroll;
    int32_t position, lastAfter;
  };
  const Step steps[] = {
      {0, true, 0, 0, false, 0, 0},         // nothing revealed yet
      {0, false, 0, 0, false, 0, 0},        // same column: nothing
      {250, true, 0, 250, false, 0, 250},   // columns 0..249 at their place
      {599, true, 0, 599, false, 0, 599},   // the last column inside the area
      {600, true, 0, 600, true, 0, 600},    // the area is full: from here it follows
      {1500, true, 900, 600, true, 900, 1500},
      {5000, true, 1400, 600, true, 1400, 2000},  // limited to the column count
      {5001, false, 0, 0, false, 0, 2000},
  };
  int32_t last = -1;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.c);
    const PlayReveal r = RevealForColumn(s.c, last, width, count);
    EXPECT_EQ(r.copy, s.copy);
    if (s.copy) {
      EXPECT_EQ(r.sourceX, s.sourceX);
      EXPECT_EQ(r.width, s.copyWidth);
    }
    EXPECT_EQ(r.scroll, s.scroll);
    if (s.scroll) {
      EXPECT_EQ(r.scrollPosition, s.position);
    }
    EXPECT_EQ(r.lastDrawn, s.lastAfter);
    last = r.lastDrawn;
  }
  EXPECT_FALSE(RevealForColumn(-1, 5, width, count).copy);
}

// ---------------------------------------------------------------------------
// "Play Wdw".

TEST(PlaybackWindowPlay, StartAndLength) {
  struct Case {
    const char* name;
    int32_t step;
    uint32_t bytesPerSample;
    int32_t offset, columns, width;
    uint32_t dataLength;
    uint32_t start, length;
  };
  const Case cases[] = {
      // Scrolled to column 100 of a wide image: sample 100 x 132 to the end of the data.
      {"wide scrolled", 132, 2, 100, 2000, 600, 220500, 26400, 220500 - 26400},
      {"wide at 0", 132, 2, 0, 2000, 600, 220500, 0, 220500},
      // An image narrower than the area: the columns' worth only.
      {"narrow", 132, 2, 0, 400, 600, 220500, 0, 132 * 2 * 400},
      {"stereo 8-bit", 264, 1, 10, 900, 600, 500000, 2640, 500000 - 2640},
      {"start past the data", 132, 2, 1000, 2000, 600, 220500, 0, 0},
      {"columns beyond the data", 132, 2, 0, 1000, 1200, 100000, 0, 100000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PlaySpan s = PlayWindowSpan(c.step, c.bytesPerSample, c.offset, c.columns, c.width, c.dataLength);
    EXPECT_EQ(s.offset, c.start);
    EXPECT_EQ(s.length, c.length);
  }
}

TEST(PlaybackWindowPlay, CursorMovesAndLeavesTheArea) {
  const int32_t width = 600;
  CursorStep s = StepCursor(0, kNoCursorColumn, width);
  EXPECT_TRUE(s.move);
  EXPECT_EQ(s.restoreX, -1) << "nothing was saved before the first column";
  EXPECT_EQ(s.drawX, 0);
  s = StepCursor(5, 0, width);
  EXPECT_TRUE(s.move);
  EXPECT_EQ(s.restoreX, 0);
  EXPECT_EQ(s.drawX, 5);
  EXPECT_FALSE(StepCursor(5, 5, width).move);
  s = StepCursor(599, 598, width);
  EXPECT_EQ(s.drawX, 599);
  EXPECT_FALSE(s.leftArea);
  s = StepCursor(600, 599, width);
  EXPECT_TRUE(s.leftArea);
  EXPECT_FALSE(s.move);
  EXPECT_TRUE(StepCursor(100000, 599, width).leftArea);
  s = StepCursor(-1, kNoCursorColumn, width);
  EXPECT_FALSE(s.leftArea) << "a negative column is before the sound, not past the area";
  EXPECT_FALSE(s.move);
}

// ---------------------------------------------------------------------------
// "New" rate.

TEST(PlaybackNewRate, ZeroKeepsTheRateAndTheRangeHolds) {
  struct Case {
    const char* text;
    uint32_t remembered, expected;
  };
  const Case cases[] = {
      {"0", 22050, 22050},  {"50000", 11025, 44100}, {"3000", 11025, 5513},   {"8000", 11025, 8000},
      {"", 11025, 11025},   {"abc", 8000, 8000},     {"44100", 8000, 44100},  {"5513", 8000, 5513},
      {"5512", 8000, 5513}, {"44101", 8000, 44100},  {"-5", 8000, 5513},      {" 16000", 8000, 16000},
      {"0", 48000, 44100},  {"12000x", 8000, 12000},
      // Only 8 characters are read: "12345678" -> held at 44100; "000000009000" reads as 0.
      {"123456789", 8000, 44100}, {"000000009000", 16000, 16000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(NewScanRate(c.text, c.remembered), c.expected);
  }
  EXPECT_EQ(NewScanRate(nullptr, 11025), 11025u);
  EXPECT_FALSE(ScanRateInRange(3999));
  EXPECT_TRUE(ScanRateInRange(4000));
  EXPECT_TRUE(ScanRateInRange(44100));
  EXPECT_FALSE(ScanRateInRange(44101));
}

// A 48 kHz file was refused by the scan although its analysis takes it: the scan accepts the
// file's own rate up to 384000 Hz, and "New" may go up to it, never past it.
TEST(PlaybackNewRate, FilesOwnRateIsAcceptedUpTo384000AndNewHoldsToIt) {
  EXPECT_TRUE(ScanRateInRange(48000, 48000));
  EXPECT_TRUE(ScanRateInRange(384000, 384000));
  EXPECT_FALSE(ScanRateInRange(48000, 96000)) << "only the file's own rate passes 44100";
  EXPECT_FALSE(ScanRateInRange(400000, 400000));
  EXPECT_FALSE(ScanRateInRange(3000, 3000));
  EXPECT_FALSE(ScanRateInRange(int64_t{48000} + (int64_t{1} << 32), 48000)) << "wrapped to the file's rate";
  EXPECT_EQ(NewScanRate("100000", 11025, 96000), 96000u);
  EXPECT_EQ(NewScanRate("60000", 11025, 96000), 60000u);
  EXPECT_EQ(NewScanRate("0", 96000, 96000), 96000u);
  EXPECT_EQ(NewScanRate("500000", 11025, 500000), 384000u);
  EXPECT_EQ(NewScanRate("0", 4000000000u, 0), 44100u) << "a remembered rate past the int range";
}

}  // namespace
}  // namespace hl
