// What the status block under the time–frequency image says about the point under the mouse,
// where its texts go, which span a left-button drag selects, and where the "Scope" display's
// labels and grid crosses stand. Pure arithmetic: the window code draws the results.
//
// N is the FFT length (2 to the FFT order), rate the sample rate in Hz. The image's rows
// 0..43 are the margin with the waveform envelope; row 44 + N/2 - 1 holds bin 0. Float
// quantities are binary32, each operation rounded to single precision.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/layout/window_layout.h"

namespace hl {

// ---------------------------------------------------------------------------------------------
// Single values.

// The "+ -" of the frequency row: rate / 2N, plus 1 when (rate mod N) x 2 >= N. 11025 Hz at
// 512 points gives 11.
int FrequencyResolution(uint32_t rate, int fftOrder);

// The "+ -" of the time row: half the whole milliseconds of a column, a half going up
// (12 ms -> 6, 11.61 ms -> 6, 1 ms -> 1).
int HalfColumnMs(float timeScaleMs);

// A value rounded to the nearest integer, a fraction of exactly one half going up
// (-74.5 -> -74, 2.5 -> 3).
int64_t RoundHalfUpSigned(double value);

// "Scroll": the frequency of an image row, rate / N x (N/2 + 43 - image y) rounded, plus r.
int RowFrequency(uint32_t rate, int fftOrder, int imageY);
// "Scroll" during a right drag: trunc(rate / N x (anchor image y - image y)); positive upward.
int DragFrequencySpan(uint32_t rate, int fftOrder, int anchorImageY, int imageY);
// "Scope": two pixels per bin from the origin x0, rate / N x (x - x0) x 0.5 rounded, limited
// to 0 .. rate / 2.
int ScopeFrequency(uint32_t rate, int fftOrder, int x, int scopeOriginX);

// "Scroll": the time of a column in ms, image x x time scale + h + the begin time of the image,
// rounded to the nearest ms.
int64_t ColumnTimeMs(int imageX, float timeScaleMs, float imageBeginMs);
// "Scroll" during a right drag: (image x - anchor image x) x time scale, rounded to the nearest
// ms (a half away from zero, so that a drag either way reads the same size).
int64_t DragTimeSpanMs(int imageX, int anchorImageX, float timeScaleMs);
// A clock reading in ms rounded to whole seconds (a half second going up).
int64_t ElapsedSeconds(float elapsedMs);

// "Scope": the level at height y, (baseline - y) x 0.25 - 75 dB (4 pixels per dB).
float ScopeLevelDb(int baselineY, int y);

// A coordinate of a mouse message: the low or high word as a signed 16-bit value, 0 when
// negative (captured drags report negative positions left of or above the client area).
int MouseCoordinate(uint16_t word);

// Where the "Scope" display stands in an image area: x0 = (width - 512) / 2, at least 9 C / 2;
// baseline = height - 2 character heights.
int ScopeOriginX(int imageAreaWidth, int charWidth);
int ScopeBaselineY(int imageAreaHeight, int charHeight);

// ---------------------------------------------------------------------------------------------
// Whether the pointer is over the frequency rows of the image.

struct CursorPlace {
  bool scopeDisplay = false;
  int y = 0;                // client y
  int imageY = 0;           // y + vertical offset
  int imageAreaHeight = 0;  // rows of the window showing the image
  int bitmapHeight = 0;     // N/2 + 44 for a "Scroll" image; 0 when unknown
};
// Clear in the 44-row margin of "Scroll", at image y < 1 in "Scope", and below the image area
// (or, in "Scroll", below the image's last row).
bool CursorInImage(const CursorPlace& place);

// ---------------------------------------------------------------------------------------------
// A left-button drag as a span of the shown data.

struct SelectionInput {
  int startX = 0, endX = 0;  // client x where the drag began and where it ended
  int horizontalOffset = 0;  // first column shown
  float timeScaleMs = 12.0f;
  int bytesPerSample = 1;
  int channels = 1;
  uint32_t rate = 11025;
};

struct Selection {
  bool made = false;                      // false for a click without movement
  double beginColumn = 0, endColumn = 0;  // ascending; + 0.5 each when dragged to the right
  double beginByte = 0, endByte = 0;      // column x time scale x bytes per ms, not yet whole frames
  double beginMs = 0, endMs = 0;          // the same offsets as times of the shown data
};
Selection SelectSpan(const SelectionInput& in);

// ---------------------------------------------------------------------------------------------
// The status block.

struct StatusBlockLayout {
  int originX = 0, originY = 0;
  int titleY = 0, row1Y = 0, row2Y = 0;
  int labelX = 0, valueX = 0;
  // The fields' widths from their left edges: the title's and the labels' (up to the value
  // column) and the values'; `right` is where the block's widest line ends.
  int titleWidth = 0, labelWidth = 0, valueWidth = 0;
  int right = 0;
};
// Origin x = window width / 10 + C, y = ch / 2 + scroll-bar thickness + image-area height;
// title ch / 4, rows 3 ch / 2 and 5 ch / 2 below it; labels at + C, values at + 17 C, or
// half a character after the widest measured label when that is further; the title 16 C
// wide and the values 13 C, or, measured, as wide as their widest text and half a character.
StatusBlockLayout ComputeStatusBlock(int windowWidth, int imageAreaHeight, int scrollBarThickness, int charWidth,
                                     int charHeight, const TextWidths& measured = TextWidths());

enum class ReadoutTitle { None, Analysis, FileScan, Recording, LiveScan };
const char* TitleText(ReadoutTitle title);

constexpr char kTimeLabel[] = "Time (msec) :";
constexpr char kTimeNowLabel[] = "Time Now (sec) : ";
constexpr char kLevelLabel[] = "Sig Level (dB) :";
constexpr char kFrequencyLabel[] = "Frequency (Hz) :";
// What a value field shows while the pointer is off the image.
constexpr char kBlankTimeOrFrequency[] = "00000 + - 00";
constexpr char kBlankLevel[] = "000         ";
// Frequencies from here up are not shown.
constexpr int kFrequencyShownBelow = 30000;

// "%-4.0f + - %-2u " below h = 100, else "%-4.0f".
std::string TimeField(int64_t timeMs, int halfColumnMs);
// "%-4.0f" of whole seconds, or of a level in whole dB.
std::string WholeNumberField(int64_t value);
// "%-4i + - %-2u ", or "" (an empty field) at 30000 Hz and above.
std::string FrequencyField(int frequencyHz, int resolutionHz);

// Everything a redraw of the status block needs.
struct ReadoutInput {
  bool scopeDisplay = false;
  bool inImage = false;     // the cursor-in-image flag
  bool clockRunning = false;  // input, a file scan or playback runs: time is the elapsed time
  bool rightDrag = false;
  int x = 0;  // client x ("Scope" frequency)
  int y = 0;  // client y ("Scope" level)
  int imageX = 0, imageY = 0;
  int anchorImageX = 0, anchorImageY = 0;
  uint32_t rate = 11025;
  int fftOrder = 9;
  float timeScaleMs = 12.0f;
  float imageBeginMs = 0;  // begin time of the analysed span with earlier re-analyses' begins
  float elapsedMs = 0;
  int scopeOriginX = 0, baselineY = 0;
  ReadoutTitle title = ReadoutTitle::None;
};

struct ReadoutTexts {
  std::string title, timeLabel, timeValue, frequencyLabel, frequencyValue;
  // The numbers behind the texts (valid while inImage): the time row's ms (the span during a
  // right drag, 0 when the row shows seconds or a level), the frequency in Hz, the level in dB.
  int64_t timeMs = 0;
  int frequencyHz = 0;
  int64_t levelDb = 0;
};
ReadoutTexts ComputeReadout(const ReadoutInput& in);

// ---------------------------------------------------------------------------------------------
// The "Scope" display's labels and grid.

struct ScopeLabel {
  int x, y;  // TextOut position
  std::string text;
  bool operator==(const ScopeLabel& o) const { return x == o.x && y == o.y && text == o.text; }
};

struct ScopeScale {
  int stepKhz = 1;     // k = trunc(rate / 12000), at least 1
  float spacing = 0;   // s = k x 1,024,000 / rate pixels between two kHz labels
  int count = 0;       // 512 / s, a half going up
};
ScopeScale ComputeScopeScale(uint32_t rate);

// The kHz labels 0, k, 2k, .. under the baseline, "kHz" at the right end, then -75 .. -15 dB.
std::vector<ScopeLabel> ComputeScopeLabels(int xOrigin, int baselineY, uint32_t rate, int charWidth,
                                           int charHeight);

// One piece of the marker cross copied to the window: a width x height block of the 16 x 16
// marker bitmap from (sourceX, sourceY), a part of its column 5 or of its row 5.
struct ScopeGridPiece {
  int x, y, width, height;
  int sourceX, sourceY;
  bool operator==(const ScopeGridPiece& o) const {
    return x == o.x && y == o.y && width == o.width && height == o.height && sourceX == o.sourceX &&
           sourceY == o.sourceY;
  }
};
// For each label column j and level row n (y = baseline - 60 n): the vertical bar from y - 5,
// 11 long (6 on the baseline row), and the horizontal bar from x - 5, 11 wide (from x, 6 wide
// in the first column).
std::vector<ScopeGridPiece> ComputeScopeGrid(int xOrigin, int baselineY, uint32_t rate);

constexpr int kScopeWidth = 512;
constexpr int kScopePixelsPer15Db = 60;

}  // namespace hl
