// "&Analyze File" through the real choosers and dialogs: the parameters dialog, the
// rendered time–frequency image, Stop and Escape, the refusals, "&Change" and "&Restore",
// and the three save commands. Each suite is one life of the main window (one process).
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "core/analysis/column_geometry.h"
#include "core/analysis/file_analysis.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"
#include "windows/program/main_window_win32.h"
#include "windows/base/handles_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "cli/example_signals.h"
#include "cli/image_batch.h"
#include "windows/view/palette_win32.h"
#include "core/dsp/column_renderer.h"
#include "core/image/bitmap_file.h"
#include "windows/files/save_commands_win32.h"
#include "core/files/wave_format.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl::e2e {
namespace {

constexpr char kParametersCaption[] = "Choose Analysis Parameters";

// ---------------------------------------------------------------------------
// Files.

// A tone file made by the example generator (canonical 44-byte header).
std::string ToneFile(const std::string& name, double seconds, uint32_t rate = 11025, int bits = 16,
                     int channels = 1, double frequency = 1000.0, double amplitude = 0.06) {
  ExampleSignal example;
  example.kind = ExampleKind::Tone;
  example.sampleRate = rate;
  example.bitsPerSample = bits;
  example.channels = channels;
  example.seconds = seconds;
  example.frequency = frequency;
  example.amplitude = amplitude;
  const std::string path = ScratchFolder() + name;
  EXPECT_TRUE(WriteWholeFile(path, MakeExampleWave(example))) << path;
  return path;
}

uint32_t ReadU32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// ---------------------------------------------------------------------------
// Driving the dialogs from the test thread.

// The brightest frequency row of display column x: the middle of the run of rows holding
// the highest index (a loud component fills neighbouring bins with the top index).
int BrightestRow(int x) {
  const DisplayBitmap& d = Display();
  int best = -1, first = -1, last = -1;
  for (int y = kMarginRows; y < d.height; ++y) {
    const int v = d.bits[static_cast<size_t>(y) * d.stride + x];
    if (v > best) {
      best = v;
      first = last = y;
    } else if (v == best && last == y - 1) {
      last = y;
    }
  }
  return (first + last) / 2;
}

// The display bitmap's pixels, row by row, `width` columns.
std::vector<uint8_t> DisplayPixels(int width) {
  const DisplayBitmap& d = Display();
  std::vector<uint8_t> pixels;
  for (int y = 0; y < d.height; ++y) {
    const uint8_t* row = d.bits + static_cast<size_t>(y) * d.stride;
    pixels.insert(pixels.end(), row, row + width);
  }
  return pixels;
}

// ---------------------------------------------------------------------------
// One window per suite.

class WindowSuite : public AnalysisWindowSuite {
 protected:
  // The command the window is running has returned and no analysis runs. A posted marker is
  // taken once the thread pumps messages again: after a save command has returned, as long
  // as it opened no box.
  static bool WaitForCommandEnd() { return ui_->Flush() && WaitForAnalysisEnd(); }

  // "&Analyze File" on `path` up to the parameters dialog, which is returned.
  static HWND OpenParameters(const std::string& path) {
    if (!ui_->PostCommand(IDM_ANALYZE_FILE)) return nullptr;
    if (!ChooseFile("Open WAV File", path)) return nullptr;
    return WaitForDialog(kParametersCaption);
  }

  // "&Analyze File" on `path` with the dialog's values as offered, to the end of the render.
  static ::testing::AssertionResult Analyse(const std::string& path) {
    HWND dialog = OpenParameters(path);
    if (!dialog) return ::testing::AssertionFailure() << "no parameters dialog for " << path;
    if (!PressAndWaitUntilClosed(dialog, IDOK)) return ::testing::AssertionFailure() << "OK did not close it";
    if (!WaitForAnalysisEnd()) return ::testing::AssertionFailure() << "the analysis did not end";
    if (!Display().exists()) return ::testing::AssertionFailure() << "no display bitmap after the analysis";
    return ::testing::AssertionSuccess();
  }
};


// ===========================================================================
// A 10 s, 1 kHz tone at 11025 Hz, 16-bit mono: analysed, checked, saved, re-analysed.

class ToneAnalysis : public WindowSuite {
 protected:
  static std::string Tone() {
    static std::string path = ToneFile("tone1k.wav", 10.0);
    return path;
  }
};

TEST_F(ToneAnalysis, DialogOffersTheFileAndCancelReturnsToIdle) {
  HWND dialog = OpenParameters(Tone());
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "11025");
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_BEGIN)), "0");
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "10000");  // 220500 bytes at 22050 bytes per second
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_TIME_SCALE)), "12");
  EXPECT_TRUE(IsChecked(dialog, IDC_RES_16_BIT));
  EXPECT_TRUE(IsChecked(dialog, IDC_FFT_512));
  EXPECT_TRUE(IsChecked(dialog, IDC_MODE_NB));
  EXPECT_TRUE(IsChecked(dialog, IDC_PALETTE_CB));
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_WINDOW_LENGTH)), "");  // "NB": the frame is the window
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_WINDOW_LENGTH)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_SAMPLE_RATE)));
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_ATTENUATION)), "0");

  // "8 bit" reads the same bytes as twice as many samples; "16 bit" again halves them.
  ASSERT_TRUE(Click(dialog, IDC_RES_8_BIT));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_END)) == "20000"; }))
      << TextOf(GetDlgItem(dialog, IDC_END));
  ASSERT_TRUE(Click(dialog, IDC_RES_16_BIT));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_END)) == "10000"; }))
      << TextOf(GetDlgItem(dialog, IDC_END));
  // The attenuation bar: lines and pages of 1 dB, held to 0..36; the thumb sets the value.
  HWND bar = GetDlgItem(dialog, IDC_ATTENUATION_BAR);
  HWND attenuation = GetDlgItem(dialog, IDC_ATTENUATION);
  auto scroll = [&](WORD code, WORD position, const char* expected) {
    PostMessageA(dialog, WM_HSCROLL, MAKEWPARAM(code, position), reinterpret_cast<LPARAM>(bar));
    return WaitUntil([&] { return TextOf(attenuation) == expected && GetScrollPos(bar, SB_CTL) == std::atoi(expected); });
  };
  EXPECT_TRUE(scroll(SB_LINEDOWN, 0, "1"));
  EXPECT_TRUE(scroll(SB_PAGEDOWN, 0, "2"));
  EXPECT_TRUE(scroll(SB_PAGEUP, 0, "1"));
  EXPECT_TRUE(scroll(SB_LINEUP, 0, "0"));
  EXPECT_TRUE(scroll(SB_LINEUP, 0, "0"));
  EXPECT_TRUE(scroll(SB_THUMBTRACK, 36, "36"));
  EXPECT_TRUE(scroll(SB_LINEDOWN, 0, "36"));
  // "BB" opens the window edit with the saved window.
  ASSERT_TRUE(Click(dialog, IDC_MODE_BB));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_WINDOW_LENGTH)) != 0; }));
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_WINDOW_LENGTH)), "8");

  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDCANCEL));
  ASSERT_TRUE(WaitForAnalysisEnd());
  EXPECT_FALSE(Display().exists());
  EXPECT_FALSE(DataPresent());
  EXPECT_FALSE(MenuEnabled(window(), IDM_PARAMETERS_CHANGE));
  EXPECT_FALSE(MenuEnabled(window(), IDM_SAVE_WAVE));
  EXPECT_TRUE(MenuEnabled(window(), IDM_ANALYZE_FILE));
  EXPECT_EQ(TextOf(window()), "Harrowlight");
  EXPECT_EQ(Settings().frequencyMode, FrequencyMode::NB) << "Cancel changed a setting";
  EXPECT_EQ(Settings().attenuation, 0) << "Cancel changed a setting";
}

TEST_F(ToneAnalysis, ToneLandsOnThePredictedRowOfTheCoresImage) {
  ASSERT_TRUE(Analyse(Tone()));
  EXPECT_EQ(TextOf(window()), "tone1k.wav");
  const AnalysisState& a = Analysis();
  // 110250 samples, step 132 (132.3 samples in 12 ms): (110250 - 512) / 132 = 831 columns.
  EXPECT_EQ(a.step, 132);
  ASSERT_EQ(a.columnCount, 831);
  EXPECT_EQ(a.dataLength, 220500u);
  EXPECT_EQ(a.format.sampleRate, 11025u);
  EXPECT_EQ(a.format.bitsPerSample, 16);
  // The information panel shows the analysis.
  EXPECT_EQ(ShownInfoPanel().sampleRate, 11025u);
  EXPECT_EQ(ShownInfoPanel().bitsPerSample, 16);
  EXPECT_EQ(ShownInfoPanel().dataLength, 220500u);
  const DisplayBitmap& d = Display();
  EXPECT_EQ(d.height, 300);  // 512 / 2 + 44
  EXPECT_GE(d.width, MainWindow().metrics.screenWidth);

  // 1000 Hz at 11025 / 512 = 21.53 Hz per bin is bin 46.4: bin 46, row 299 - 46.
  for (int x : {0, 100, 415, 830}) EXPECT_EQ(BrightestRow(x), 299 - 46) << "column " << x;

  // Every column is the one the core's renderer draws from the same samples.
  const std::vector<uint8_t> file = ReadWholeFile(Tone());
  ASSERT_EQ(file.size(), 44u + 220500u);
  PaletteImage expected;
  ASSERT_TRUE(PrepareImage(expected, 831, 300));
  ColumnRenderer renderer;
  ASSERT_EQ(renderer.Begin(SampleSpan{file.data() + 44, 220500, 2, 1},
                           RenderSettings{9, 11025, NbWindowLength(512, 11025.0f), 132}),
            0);
  for (int x = 0; x < 831; ++x) renderer.DrawColumn(x, expected);
  renderer.End();
  for (int y = 0; y < 300; ++y) {
    ASSERT_EQ(std::memcmp(d.bits + static_cast<size_t>(y) * d.stride, expected.Row(y), 831), 0) << "row " << y;
  }

  // Data loaded; the image is wider than the image area, so the entire export is offered.
  ASSERT_GT(831, ImageAreaWidth());
  EXPECT_TRUE(MenuEnabled(window(), IDM_PARAMETERS_CHANGE));
  EXPECT_FALSE(MenuEnabled(window(), IDM_PARAMETERS_RESTORE));
  EXPECT_TRUE(MenuEnabled(window(), IDM_SAVE_WAVE));
  EXPECT_TRUE(MenuEnabled(window(), IDM_SAVE_WINDOW_BITMAP));
  EXPECT_TRUE(MenuEnabled(window(), IDM_SAVE_ENTIRE_BITMAP));
  EXPECT_TRUE(IsWindowEnabled(MainWindow().playButton));
  EXPECT_TRUE(IsWindowEnabled(MainWindow().toggleGridButton));
  EXPECT_FALSE(IsWindowEnabled(MainWindow().stopButton));
}

// What the window shows after the analysis: each image-area pixel is the colour-table entry
// of the display pixel the view puts there. Saved for a person to look at, too.
TEST_F(ToneAnalysis, WindowShowsTheImageAtTheScrollPosition) {
  ASSERT_TRUE(Display().exists());
  ASSERT_TRUE(RedrawWindow(window(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW));
  ASSERT_TRUE(WaitUntil([&] { return !GetUpdateRect(window(), nullptr, FALSE); }));
  ASSERT_TRUE(ui_->Flush());
  GdiFlush();
  RECT outer;
  ASSERT_TRUE(GetWindowRect(window(), &outer));
  Capture shot;
  ASSERT_TRUE(CaptureScreen(outer, shot));
  WriteBmp(shot, ArtifactFolder() + "\\analysis_tone.bmp");

  POINT origin{0, 0};
  ClientToScreen(window(), &origin);
  const int dx = origin.x - outer.left, dy = origin.y - outer.top;
  const DisplayBitmap& d = Display();
  RGBQUAD table[256] = {};
  ASSERT_EQ(GetDIBColorTable(d.dc, 0, 256, table), 256u);
  const int h = View().horizontalOffset, v = View().verticalOffset;
  // The view followed the render, and the finished image is shown from its first column.
  EXPECT_EQ(h, 0);
  int compared = 0;
  for (int y = 0; y < ImageAreaHeight(); y += 3) {
    for (int x = 0; x < ImageAreaWidth(); x += 5) {
      const int sourceY = y < kMarginRows ? y : y + v;
      const RGBQUAD c = table[d.bits[static_cast<size_t>(sourceY) * d.stride + h + x]];
      const uint32_t expected = (uint32_t{c.rgbRed} << 16) | (uint32_t{c.rgbGreen} << 8) | c.rgbBlue;
      ASSERT_EQ(shot.at(dx + x, dy + y), expected) << "image-area pixel " << x << ", " << y;
      ++compared;
    }
  }
  EXPECT_GT(compared, 1000);
}

TEST_F(ToneAnalysis, EntireBitmapIsTheCommandLineToolsRender) {
  ASSERT_TRUE(Display().exists()) << "needs the analysis of the test before";
  ASSERT_FALSE(Mode().gridOn);
  const std::string saved = ScratchFolder() + "entire.bmp";
  const std::string rendered = ScratchFolder() + "cli.bmp";
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_ENTIRE_BITMAP));
  ASSERT_TRUE(ChooseFile("Save Bitmap", saved));
  ASSERT_TRUE(WaitForCommandEnd());
  // As harrowlight-cli's main reads "render IN -o OUT" and runs it.
  BatchOptions options;
  std::string problem;
  ASSERT_TRUE(ParseBatchArguments({"render", Tone(), "-o", rendered}, false, &options, &problem)) << problem;
  ASSERT_EQ(RunImageBatch(options), kExitOk);

  const std::vector<uint8_t> program = ReadWholeFile(saved), tool = ReadWholeFile(rendered);
  // 831 columns save 828; 300 rows.
  ASSERT_EQ(program.size(), kBitmapHeaderLength + 828u * 300u);
  ASSERT_EQ(tool.size(), program.size());
  EXPECT_EQ(ReadU32(program, 18), 828u);
  EXPECT_EQ(ReadU32(program, 22), 300u);
  EXPECT_TRUE(std::equal(program.begin() + kBitmapHeaderLength, program.end(), tool.begin() + kBitmapHeaderLength))
      << "the pixel blocks differ";
  EXPECT_TRUE(std::equal(program.begin(), program.begin() + kBitmapHeaderLength, tool.begin()))
      << "the headers or colour tables differ";
}

// The palette indices of a palette PNG, top row first, and its PLTE; empty when it is not
// one with unfiltered rows as the program writes them.
struct DecodedPng {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> palette, indices;
};
DecodedPng DecodePng(const std::vector<uint8_t>& file) {
  DecodedPng png;
  std::vector<uint8_t> stream;
  auto big32 = [&](size_t at) {
    return uint32_t{file[at]} << 24 | uint32_t{file[at + 1]} << 16 | uint32_t{file[at + 2]} << 8 | file[at + 3];
  };
  for (size_t at = 8; at + 12 <= file.size();) {
    const uint32_t length = big32(at);
    if (at + 12 + length > file.size()) return {};
    const std::string type(file.begin() + at + 4, file.begin() + at + 8);
    const auto data = file.begin() + at + 8;
    if (type == "IHDR") png.width = big32(at + 8), png.height = big32(at + 12);
    if (type == "PLTE") png.palette.assign(data, data + length);
    if (type == "IDAT") stream.insert(stream.end(), data, data + length);
    at += 12 + length;
  }
  std::vector<uint8_t> raw(static_cast<size_t>(png.width + 1) * png.height);
  uLongf rawLength = raw.size();
  if (uncompress(raw.data(), &rawLength, stream.data(), stream.size()) != Z_OK || rawLength != raw.size()) return {};
  for (uint32_t y = 0; y < png.height; ++y) {
    if (raw[y * (png.width + 1)] != 0) return {};
    png.indices.insert(png.indices.end(), raw.begin() + y * (png.width + 1) + 1, raw.begin() + (y + 1) * (png.width + 1));
  }
  return png;
}

TEST_F(ToneAnalysis, EntireBitmapSavedAsPngHoldsTheBmpsIndicesAndPalette) {
  ASSERT_TRUE(Display().exists());
  const std::string bmpPath = ScratchFolder() + "entire.bmp";  // saved by the test before
  const std::string pngPath = ScratchFolder() + "entire.png";
  ASSERT_TRUE(Exists(bmpPath));
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_ENTIRE_BITMAP));
  ASSERT_TRUE(ChooseFile("Save Bitmap", pngPath));
  ASSERT_TRUE(WaitForCommandEnd());
  const std::vector<uint8_t> bmp = ReadWholeFile(bmpPath);
  const DecodedPng png = DecodePng(ReadWholeFile(pngPath));
  ASSERT_EQ(png.width, 828u);
  ASSERT_EQ(png.height, 300u);
  ASSERT_EQ(png.indices.size(), 828u * 300u);
  for (uint32_t y = 0; y < 300; ++y) {
    const uint8_t* bmpRow = bmp.data() + kBitmapHeaderLength + static_cast<size_t>(299 - y) * 828;
    ASSERT_TRUE(std::equal(bmpRow, bmpRow + 828, png.indices.begin() + y * 828)) << "row " << y;
  }
  ASSERT_EQ(png.palette.size(), 768u);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(png.palette[3 * i], bmp[54 + 4 * i + 2]) << i;
    EXPECT_EQ(png.palette[3 * i + 1], bmp[54 + 4 * i + 1]) << i;
    EXPECT_EQ(png.palette[3 * i + 2], bmp[54 + 4 * i]) << i;
  }
}

// Index 0 (the grid's crosses and labels) never comes out of the renderer: levels are
// limited to 3..235 and the margin uses 1 and 2.
size_t MarkerPixels(const std::vector<uint8_t>& bmp) {
  if (bmp.size() < kBitmapHeaderLength) return 0;
  return static_cast<size_t>(std::count(bmp.begin() + kBitmapHeaderLength, bmp.end(), uint8_t{0}));
}

TEST_F(ToneAnalysis, EntireBitmapWithTheGridOnCarriesItsCrosses) {
  ASSERT_TRUE(Display().exists());
  const std::string plain = ScratchFolder() + "entire.bmp";  // saved by the test before, grid off
  ASSERT_TRUE(Exists(plain));
  ASSERT_TRUE(ui_->PostCommand(IDB_TOGGLE_GRID));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(Mode().gridOn);
  const std::string gridded = ScratchFolder() + "entire-grid.bmp";
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_ENTIRE_BITMAP));
  ASSERT_TRUE(ChooseFile("Save Bitmap", gridded));
  ASSERT_TRUE(WaitForCommandEnd());
  ASSERT_TRUE(ui_->PostCommand(IDB_TOGGLE_GRID));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_FALSE(Mode().gridOn);
  const std::vector<uint8_t> withGrid = ReadWholeFile(gridded), without = ReadWholeFile(plain);
  ASSERT_EQ(withGrid.size(), without.size());
  EXPECT_EQ(MarkerPixels(without), 0u);
  // 828 columns at 12 ms are 9.9 s: crosses at 1 s, 2 s, ... on 1 kHz rows.
  EXPECT_GT(MarkerPixels(withGrid), 100u);
  // The display bitmap itself is not drawn on.
  for (int y = 0; y < Display().height; ++y) {
    const uint8_t* row = Display().bits + static_cast<size_t>(y) * Display().stride;
    ASSERT_EQ(std::count(row, row + 831, uint8_t{0}), 0) << "row " << y;
  }
}

// Regression: over the whole bitmap the grid was laid out for the display bitmap's width (at
// least the screen's), so for an image narrower than the screen the kHz labels fell outside
// the saved picture and the crosses ran on past its columns.
TEST_F(ToneAnalysis, EntireBitmapGridLabelsLandInsideAPictureNarrowerThanTheScreen) {
  ASSERT_TRUE(Analyse(Tone()));
  const int columns = Analysis().columnCount;
  ASSERT_LT(columns, Display().width) << "the display bitmap is as wide as the screen";
  ASSERT_GT(columns, ImageAreaWidth());
  ASSERT_TRUE(ui_->PostCommand(IDB_TOGGLE_GRID));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_TRUE(Mode().gridOn);
  const std::string saved = ScratchFolder() + "entire-grid-labels.bmp";
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_ENTIRE_BITMAP));
  ASSERT_TRUE(ChooseFile("Save Bitmap", saved));
  ASSERT_TRUE(WaitForCommandEnd());
  ASSERT_TRUE(ui_->PostCommand(IDB_TOGGLE_GRID));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_FALSE(Mode().gridOn);

  const std::vector<uint8_t> bmp = ReadWholeFile(saved);
  const int width = columns - columns % 4, height = Display().height;
  ASSERT_EQ(bmp.size(), kBitmapHeaderLength + static_cast<size_t>(width) * height);
  const int cw = MainWindow().metrics.charWidth, ch = MainWindow().metrics.charHeight;
  // The kHz labels start 8 character widths before the last column; crosses and second
  // labels keep 10 away, so the marker index there, below the margin's labels, is a label.
  size_t labelPixels = 0;
  for (int y = kMarginRows + ch; y < height; ++y) {
    const uint8_t* row = bmp.data() + kBitmapHeaderLength + static_cast<size_t>(height - 1 - y) * width;
    labelPixels += static_cast<size_t>(std::count(row + columns - 8 * cw, row + width, uint8_t{0}));
  }
  EXPECT_GT(labelPixels, 20u) << "no kHz labels at the right edge of the " << width << "-column picture";
}

TEST_F(ToneAnalysis, WindowBitmapIsTheImageArea) {
  ASSERT_TRUE(Display().exists());
  const std::string saved = ScratchFolder() + "window.bmp";
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_WINDOW_BITMAP));
  ASSERT_TRUE(ChooseFile("Save Bitmap", saved));
  ASSERT_TRUE(WaitForCommandEnd());
  const std::vector<uint8_t> bmp = ReadWholeFile(saved);
  const int width = ImageAreaWidth() - ImageAreaWidth() % 4, height = ImageAreaHeight();
  ASSERT_EQ(bmp.size(), kBitmapHeaderLength + static_cast<size_t>(width) * height);
  EXPECT_EQ(ReadU32(bmp, 18), static_cast<uint32_t>(width));
  // The file's last row is the picture's top row: the margin at the view's first column.
  const DisplayBitmap& d = Display();
  const int offset = View().horizontalOffset;
  for (int y : {0, 21, 30, 43, 44, 150, height - 1}) {
    const uint8_t* fileRow = bmp.data() + kBitmapHeaderLength + static_cast<size_t>(height - 1 - y) * width;
    const int sourceY = y < 44 ? y : y + View().verticalOffset;
    EXPECT_EQ(std::memcmp(fileRow, d.bits + static_cast<size_t>(sourceY) * d.stride + offset, width), 0)
        << "picture row " << y;
  }
}

TEST_F(ToneAnalysis, SaveWaveWritesTheSpanBehindTheProgramsHeader) {
  const std::string saved = ScratchFolder() + "span.wav";
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_WAVE));
  ASSERT_TRUE(ChooseFile("Save Windows Wave File", saved));
  ASSERT_TRUE(WaitForCommandEnd());
  const std::vector<uint8_t> wav = ReadWholeFile(saved), source = ReadWholeFile(Tone());
  ASSERT_EQ(wav.size(), 46u + 220500u);
  EXPECT_EQ(ReadU32(wav, 42), wav.size() - 46) << "data length";
  EXPECT_EQ(ReadU32(wav, 4), wav.size() - 8) << "RIFF size";
  EXPECT_EQ(ReadU32(wav, 16), 18u);
  EXPECT_TRUE(std::equal(wav.begin() + 46, wav.end(), source.begin() + 44)) << "the samples differ";
}

TEST_F(ToneAnalysis, FailedSaveLeavesTheOldFileUntouched) {
  const std::vector<uint8_t> old = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};
  // A read-only file cannot be replaced.
  const std::string readOnly = ScratchFolder() + "readonly.bmp";
  ASSERT_TRUE(WriteWholeFile(readOnly, old));
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_ENTIRE_BITMAP));
  ASSERT_TRUE(ChooseFile("Save Bitmap", readOnly));
  EXPECT_EQ(TakeMessage(), "Cannot Open File");
  ASSERT_TRUE(WaitForAnalysisEnd());
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadWholeFile(readOnly), old);

  // A file another program holds open without sharing it.
  const std::string inUse = ScratchFolder() + "inuse.wav";
  ASSERT_TRUE(WriteWholeFile(inUse, old));
  HANDLE holder = CreateFileA(inUse.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_WAVE));
  ASSERT_TRUE(ChooseFile("Save Windows Wave File", inUse));
  EXPECT_EQ(TakeMessage(), "Cannot Open File");
  ASSERT_TRUE(WaitForAnalysisEnd());
  CloseHandle(holder);
  EXPECT_EQ(ReadWholeFile(inUse), old);

  // No temporary file is left beside them.
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((ScratchFolder() + "hl*.tmp").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "left behind: " << found.cFileName;
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

TEST_F(ToneAnalysis, ChangeCancelledKeepsTheImage) {
  ASSERT_TRUE(Display().exists());
  const std::vector<uint8_t> image = DisplayPixels(Display().width);
  const float startMs = Analysis().imageStartMs;
  ASSERT_TRUE(ui_->PostCommand(IDM_PARAMETERS_CHANGE));
  HWND dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_BEGIN), "3000"));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDCANCEL));
  ASSERT_TRUE(WaitForAnalysisEnd());
  EXPECT_TRUE(Display().exists());
  EXPECT_FALSE(AnalysisSetAside());
  EXPECT_TRUE(DisplayPixels(Display().width) == image);
  EXPECT_EQ(Analysis().columnCount, 831);
  EXPECT_EQ(Analysis().imageStartMs, startMs);
  EXPECT_FALSE(MenuEnabled(window(), IDM_PARAMETERS_RESTORE));
  EXPECT_TRUE(MenuEnabled(window(), IDM_SAVE_WAVE));
}

TEST_F(ToneAnalysis, ChangeThenRestoreBringsBackTheFirstImage) {
  ASSERT_TRUE(Display().exists());
  const int firstColumns = Analysis().columnCount;
  const std::vector<uint8_t> firstImage = DisplayPixels(Display().width);
  const uint32_t firstLength = Analysis().dataLength;
  const int firstOffset = View().horizontalOffset;
  RECT before;
  ASSERT_TRUE(GetWindowRect(window(), &before));

  // Re-analyse 2 s to 6 s in "BB" with a 20 ms window and 1024 points.
  ASSERT_TRUE(ui_->PostCommand(IDM_PARAMETERS_CHANGE));
  HWND dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_BEGIN)), "0");
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "10000");
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_BEGIN), "2000"));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_END), "6000"));
  ASSERT_TRUE(Click(dialog, IDC_MODE_BB));
  ASSERT_TRUE(Click(dialog, IDC_FFT_1024));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_WINDOW_LENGTH)) != 0; }));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_WINDOW_LENGTH), "20"));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  ASSERT_TRUE(WaitForAnalysisEnd());
  // 4 s = 88200 bytes = 44100 samples; (44100 - 1024) / 132 = 326 columns.
  EXPECT_EQ(Analysis().columnCount, 326);
  EXPECT_EQ(Analysis().dataLength, 88200u);
  EXPECT_EQ(Display().height, 556);
  EXPECT_EQ(Settings().windowLengthMs, 20.0f);
  EXPECT_FLOAT_EQ(Analysis().imageStartMs, 2000.0f);
  EXPECT_TRUE(AnalysisSetAside());
  EXPECT_TRUE(MenuEnabled(window(), IDM_PARAMETERS_RESTORE));
  // 1000 Hz at 1024 points is bin 92.9: bin 93.
  EXPECT_EQ(BrightestRow(100), 555 - 93);
  // 1024 points prefer a window 256 pixels taller, but one no taller than it is now keeps
  // its height.
  RECT after;
  ASSERT_TRUE(GetWindowRect(window(), &after));
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);

  ASSERT_TRUE(ui_->PostCommand(IDM_PARAMETERS_RESTORE));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_FALSE(AnalysisSetAside());
  EXPECT_EQ(Analysis().columnCount, firstColumns);
  EXPECT_EQ(Analysis().dataLength, firstLength);
  EXPECT_EQ(View().horizontalOffset, firstOffset);
  EXPECT_EQ(Settings().FftOrder(), 9);
  EXPECT_EQ(Settings().frequencyMode, FrequencyMode::NB);
  ASSERT_EQ(Display().height, 300);
  EXPECT_TRUE(DisplayPixels(Display().width) == firstImage) << "the first image did not come back pixel for pixel";
  EXPECT_FALSE(MenuEnabled(window(), IDM_PARAMETERS_RESTORE));
  EXPECT_TRUE(MenuEnabled(window(), IDM_PARAMETERS_CHANGE));

  // The dialog offers the first analysis's parameters again.
  ASSERT_TRUE(ui_->PostCommand(IDM_PARAMETERS_CHANGE));
  dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_BEGIN)), "0");
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "10000");
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "11025");
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_TIME_SCALE)), "12");
  EXPECT_TRUE(IsChecked(dialog, IDC_MODE_NB));
  EXPECT_TRUE(IsChecked(dialog, IDC_FFT_512));
  EXPECT_TRUE(IsChecked(dialog, IDC_RES_16_BIT));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDCANCEL));
  ASSERT_TRUE(WaitForAnalysisEnd());
  EXPECT_TRUE(DisplayPixels(Display().width) == firstImage);
}

// Regression: "&Restore" put back the image but neither the colour scheme nor the
// attenuation it was shown with, and left the colour table of the re-analysis.
TEST_F(ToneAnalysis, RestoreBringsBackTheColoursOfTheRestoredAnalysis) {
  ASSERT_TRUE(Analyse(Tone()));
  const PaletteScheme scheme = Settings().palette;
  const int16_t attenuation = Settings().attenuation;
  ASSERT_NE(scheme, PaletteScheme::WB);
  RGBQUAD first[256] = {};
  ASSERT_EQ(GetDIBColorTable(Display().dc, 0, 256, first), 256u);

  ASSERT_TRUE(ui_->PostCommand(IDM_PARAMETERS_CHANGE));
  HWND dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Click(dialog, IDC_PALETTE_WB));
  ASSERT_TRUE(WaitUntil([&] { return IsChecked(dialog, IDC_PALETTE_WB); }));
  HWND bar = GetDlgItem(dialog, IDC_ATTENUATION_BAR);
  PostMessageA(dialog, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 20), reinterpret_cast<LPARAM>(bar));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_ATTENUATION)) == "20"; }));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  ASSERT_TRUE(WaitForAnalysisEnd());
  ASSERT_TRUE(AnalysisSetAside());
  ASSERT_EQ(Settings().palette, PaletteScheme::WB);
  ASSERT_EQ(Settings().attenuation, 20);

  ASSERT_TRUE(ui_->PostCommand(IDM_PARAMETERS_RESTORE));
  ASSERT_TRUE(ui_->Flush());
  ASSERT_FALSE(AnalysisSetAside());
  EXPECT_EQ(Settings().palette, scheme);
  EXPECT_EQ(Settings().attenuation, attenuation);
  EXPECT_EQ(Drawing().scheme, scheme);
  RGBQUAD restored[256] = {};
  ASSERT_EQ(GetDIBColorTable(Display().dc, 0, 256, restored), 256u);
  EXPECT_EQ(std::memcmp(first, restored, sizeof first), 0) << "the restored image has other colours";
}

TEST_F(ToneAnalysis, ChangeRefusalsRestoreTheFirstImage) {
  ASSERT_TRUE(Display().exists());
  const std::vector<uint8_t> firstImage = DisplayPixels(Display().width);
  struct Case {
    int begin, end;
    const char* timeScale;
    const char* message;
  };
  const Case cases[] = {
      {0, 10000, "0", "Time Scale Out of Range"},  // "0.5" reads 0
      {0, 10000, "501", "Time Scale Out of Range"},
      {9000, 8000, "12", "Improper Begin or End"},
      {0, 20, "12", "Sample Size Too Small"},  // 20 ms = 882 bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    ASSERT_TRUE(ui_->PostCommand(IDM_PARAMETERS_CHANGE));
    HWND dialog = WaitForDialog(kParametersCaption);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_BEGIN), std::to_string(c.begin)));
    ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_END), std::to_string(c.end)));
    ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_TIME_SCALE), c.timeScale));
    ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
    EXPECT_EQ(TakeMessage(), c.message);
    ASSERT_TRUE(WaitForAnalysisEnd());
    EXPECT_TRUE(DisplayPixels(Display().width) == firstImage);
    EXPECT_EQ(Analysis().columnCount, 831);
    EXPECT_TRUE(MenuEnabled(window(), IDM_PARAMETERS_CHANGE));
  }
}

// ===========================================================================
// The refusals and warnings of "&Analyze File" and "&Change", each by the input that
// triggers it, other formats, and the memory budget.

class AnalysisCases : public WindowSuite {};

// Regression: the information panel went on naming the previous file after a Cancel in the
// parameters dialog; and the end of a playback emptied it ("0 bits, 0 kHz, 0 kb") although
// the data was still held.
TEST_F(AnalysisCases, InfoPanelKeepsTheDataWhenPlayEndsAndIsClearedWhenTheDialogIsCancelled) {
  const std::string tone = ToneFile("panel.wav", 1.0);
  ASSERT_TRUE(Analyse(tone));
  ASSERT_EQ(ShownInfoPanel().sampleRate, 11025u);
  ASSERT_TRUE(IsWindowEnabled(MainWindow().playWindowButton));
  ASSERT_TRUE(ui_->Post(WM_COMMAND, IDB_PLAY_WINDOW, 0));
  ASSERT_TRUE(WaitUntil([] { return Mode().playbackActive != 0; })) << "Play Wdw did not start";
  ASSERT_TRUE(WaitUntil([] { return Mode().playbackActive == 0 && !Mode().rendering; }, 20000))
      << "Play Wdw did not end";
  ASSERT_TRUE(ui_->Flush());
  EXPECT_EQ(ShownInfoPanel().sampleRate, 11025u);
  EXPECT_EQ(ShownInfoPanel().bitsPerSample, 16);
  EXPECT_EQ(ShownInfoPanel().dataLength, 22050u);

  ASSERT_TRUE(Analyse(tone));
  ASSERT_EQ(ShownInfoPanel().dataLength, 22050u);
  HWND dialog = OpenParameters(tone);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDCANCEL));
  ASSERT_TRUE(WaitForAnalysisEnd());
  EXPECT_EQ(ShownInfoPanel().sampleRate, 0u);
  EXPECT_EQ(ShownInfoPanel().bitsPerSample, 0);
  EXPECT_EQ(ShownInfoPanel().dataLength, 0u);
}

// Regression: "&Entire Bitmap" posted as soon as a second analysis showed "Toggle Grid"
// enabled was lost: the buttons still offered the first analysis while the second was being
// drawn, and the command, handled inside the render, was refused there.
TEST_F(AnalysisCases, EntireBitmapPostedTheMomentTheGridButtonIsEnabledIsNeverLost) {
  ASSERT_TRUE(Analyse(ToneFile("first.wav", 10.0)));
  HWND dialog = OpenParameters(ToneFile("second.wav", 5.0));
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  const HWND grid = MainWindow().toggleGridButton;
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(grid) != 0; }));
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_ENTIRE_BITMAP));
  const std::string saved = ScratchFolder() + "second.bmp";
  ASSERT_TRUE(ChooseFile("Save Bitmap", saved));
  ASSERT_TRUE(WaitForCommandEnd());
  // The second analysis's image: (55125 - 512) / 132 = 413 columns, saved as 412.
  ASSERT_EQ(Analysis().columnCount, 413);
  const std::vector<uint8_t> bmp = ReadWholeFile(saved);
  ASSERT_GT(bmp.size(), 26u);
  EXPECT_EQ(ReadU32(bmp, 18), 412u);
}

// Regression: "Time from one column to the next" was cut after "the".
TEST_F(AnalysisCases, ParametersDialogShowsItsLabelsWhole) {
  HWND dialog = OpenParameters(ToneFile("labels.wav", 1.0));
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(DialogTextsFit(dialog));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDCANCEL));
}

TEST_F(AnalysisCases, A2047ByteFileIsRefusedAndTheChooserComesBack) {
  const std::string path = ScratchFolder() + "short.wav";
  std::vector<uint8_t> bytes(2047, 0x40);
  ASSERT_TRUE(WriteWholeFile(path, bytes));
  ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
  ASSERT_TRUE(ChooseFile("Open WAV File", path));
  EXPECT_EQ(TakeMessage(), "Sample Size Too Small");
  // Back at the chooser; a 2048-byte file passes the length check.
  bytes.push_back(0x40);
  const std::string enough = ScratchFolder() + "enough.wav";
  ASSERT_TRUE(WriteWholeFile(enough, bytes));
  ASSERT_TRUE(ChooseFile("Open WAV File", enough));
  // Without "fmt " it is raw 16-bit mono at 11025 Hz.
  EXPECT_EQ(TakeMessage(), "File may not be PCM Wave Format");
  HWND dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "11025");
  EXPECT_TRUE(IsChecked(dialog, IDC_RES_16_BIT));
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "92");  // 2048 bytes: 92.9 ms
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDCANCEL));
}

TEST_F(AnalysisCases, StereoEightBitFileIsAnalysedInItsLeftChannel) {
  // 2 s at 22050 Hz, 8-bit stereo: 1000 Hz on the left, 1500 Hz on the right.
  const std::string path = ToneFile("stereo8.wav", 2.0, 22050, 8, 2, 1000.0, 0.3);
  HWND dialog = OpenParameters(path);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(IsChecked(dialog, IDC_RES_8_BIT));
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "2000");
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  ASSERT_TRUE(WaitForAnalysisEnd());
  ASSERT_TRUE(Display().exists());
  // 22050 x 2 x 12 ms = 529.2 values, 529, odd: 528 so that columns start on whole frames.
  EXPECT_EQ(Analysis().step, 528);
  // 88200 bytes: (88200 - 2 x 512) / 528 = 165.1.
  EXPECT_EQ(Analysis().columnCount, 165);
  // 1000 Hz at 22050 / 512 = 43.07 Hz per bin is bin 23.2: bin 23; 1500 Hz (bin 34.8) is
  // the right channel's and not shown.
  EXPECT_EQ(BrightestRow(50), 299 - 23);
  const DisplayBitmap& d = Display();
  EXPECT_LT(d.bits[static_cast<size_t>(299 - 35) * d.stride + 50], d.bits[static_cast<size_t>(299 - 23) * d.stride + 50]);
}

TEST_F(AnalysisCases, RawFileIsAnalysedAfterTheWarning) {
  // 1 s of a 500 Hz tone as bare 16-bit samples: no header at all.
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 11025; ++i) {
    const int16_t v = static_cast<int16_t>(std::lround(3000.0 * std::sin(2.0 * 3.141592653589793 * 500.0 * i / 11025.0)));
    bytes.push_back(static_cast<uint8_t>(v & 0xFF));
    bytes.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  }
  const std::string path = ScratchFolder() + "raw.pcm";
  ASSERT_TRUE(WriteWholeFile(path, bytes));
  ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
  ASSERT_TRUE(ChooseFile("Open WAV File", path));
  EXPECT_EQ(TakeMessage(), "File may not be PCM Wave Format");
  HWND dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "1000");
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  ASSERT_TRUE(WaitForAnalysisEnd());
  ASSERT_TRUE(Display().exists());
  EXPECT_FALSE(Analysis().wavFlag);
  EXPECT_EQ(Analysis().columnCount, (11025 - 512) / 132);
  // 500 Hz is bin 23.2: bin 23.
  EXPECT_EQ(BrightestRow(20), 299 - 23);
  // 79 columns are narrower than the image area: only the window export is offered.
  EXPECT_TRUE(MenuEnabled(window(), IDM_SAVE_WINDOW_BITMAP));
  EXPECT_FALSE(MenuEnabled(window(), IDM_SAVE_ENTIRE_BITMAP));
  EXPECT_FALSE(IsWindowEnabled(MainWindow().playButton));
}

// Headers whose format cannot be measured are never divided by: in a RIFF file they are
// refused in one message; in headerless data (the same tags without "RIFF" in front) they
// are warned about and read as raw samples from byte 0.
TEST_F(AnalysisCases, UnmeasurableHeadersAreRefusedInARiffFileAndReadAsRawSamplesWithoutOne) {
  struct Case {
    const char* name;
    uint16_t channels, bits;
    uint32_t rate;
    const char* riffRefusal;  // none: a RIFF file's 12 bits are read in 2-byte containers
  };
  const Case cases[] = {{"zero channels", 0, 16, 11025, "Inconsistent format in the file: 0 channels"},
                        {"zero bits", 1, 0, 11025, "Inconsistent format in the file: 0 bits per sample"},
                        {"twelve bits", 1, 12, 11025, nullptr},
                        {"zero rate", 1, 16, 0, "Inconsistent format in the file: a sample rate of 0 Hz"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes(44 + 8820, 0);
    std::memcpy(bytes.data(), "RIFF", 4);
    std::memcpy(bytes.data() + 8, "WAVEfmt ", 8);
    bytes[16] = 16;
    bytes[20] = 1;
    bytes[22] = static_cast<uint8_t>(c.channels);
    std::memcpy(bytes.data() + 24, &c.rate, 4);
    bytes[34] = static_cast<uint8_t>(c.bits);
    std::memcpy(bytes.data() + 36, "data", 4);
    const uint32_t length = 8820;
    std::memcpy(bytes.data() + 40, &length, 4);
    const std::string path = ScratchFolder() + "bad-header.wav";
    if (c.riffRefusal) {
      ASSERT_TRUE(WriteWholeFile(path, bytes));
      ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
      ASSERT_TRUE(ChooseFile("Open WAV File", path));
      EXPECT_EQ(TakeMessage(), c.riffRefusal);
      ASSERT_TRUE(WaitForAnalysisEnd());
    }
    std::memcpy(bytes.data(), "JUNK", 4);
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
    ASSERT_TRUE(ChooseFile("Open WAV File", path));
    EXPECT_EQ(TakeMessage(), "File may not be PCM Wave Format");
    HWND dialog = WaitForDialog(kParametersCaption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "11025");
    EXPECT_TRUE(IsChecked(dialog, IDC_RES_16_BIT));
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "401");  // 8864 bytes from byte 0: 401.99 ms
    ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
    ASSERT_TRUE(WaitForAnalysisEnd());
    EXPECT_TRUE(Display().exists());
    EXPECT_FALSE(Analysis().wavFlag);
    EXPECT_EQ(Analysis().dataLength, 8864u);
    EXPECT_EQ(Analysis().columnCount, (4432 - 512) / 132);
  }
}

TEST_F(AnalysisCases, DialogChecksSendTheDialogBack) {
  const std::string tone = ToneFile("tone2s.wav", 2.0);
  HWND dialog = OpenParameters(tone);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_TIME_SCALE), "0.5"));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  EXPECT_EQ(TakeMessage(), "Time Scale Out of Range");
  dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr) << "the dialog did not come back";
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "2000");
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_TIME_SCALE), "12"));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_BEGIN), "1500"));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_END), "1000"));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  EXPECT_EQ(TakeMessage(), "Improper Begin or End");
  dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_END), "40"));  // 1764 bytes
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  EXPECT_EQ(TakeMessage(), "Sample Size Too Small");
  dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDCANCEL));
  ASSERT_TRUE(WaitForAnalysisEnd());
  EXPECT_FALSE(Display().exists());
}

TEST_F(AnalysisCases, SpanShorterThanOneFrameIsRefused) {
  // The refusal disables the buttons and sends "&Restore": an analysis "&Change" set aside
  // comes back with its buttons; after any other the buttons stay disabled.
  const bool restorable = Analysis().restorePoint && AnalysisSetAside();
  const bool stopBefore = restorable && IsWindowEnabled(MainWindow().stopButton) != FALSE;
  const bool playBefore = restorable && IsWindowEnabled(MainWindow().playWindowButton) != FALSE;
  const std::string tone = ToneFile("tone2s-b.wav", 2.0);
  HWND dialog = OpenParameters(tone);
  ASSERT_NE(dialog, nullptr);
  // 100 ms of 16-bit mono at 11025 Hz is 1102 samples, fewer than 2048 points.
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_END), "100"));
  ASSERT_TRUE(Click(dialog, IDC_FFT_2048));
  ASSERT_TRUE(WaitUntil([&] { return IsChecked(dialog, IDC_FFT_2048); }));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  EXPECT_EQ(TakeMessage(), "Time Scale Too Small");
  ASSERT_TRUE(WaitForAnalysisEnd());
  EXPECT_EQ(IsWindowEnabled(MainWindow().stopButton) != FALSE, stopBefore);
  EXPECT_EQ(IsWindowEnabled(MainWindow().playWindowButton) != FALSE, playBefore);
}

TEST_F(AnalysisCases, AFileThatCannotBeOpenedIsReported) {
  const std::string missing = ScratchFolder() + "no-such-file.wav";
  ASSERT_FALSE(Exists(missing));
  ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
  ASSERT_TRUE(ChooseFile("Open WAV File", missing));  // the chooser offers to create it
  EXPECT_EQ(TakeMessage(), "Cannot Open File");
  ASSERT_TRUE(WaitForAnalysisEnd());
}

TEST_F(AnalysisCases, RateOutsideTheRangeIsRefusedByChange) {
  // "&Analyze File" takes a 3000 Hz file as it is; "&Change" checks the rate.
  const std::string slow = ToneFile("slow.wav", 4.0, 3000, 16, 1, 300.0);
  ASSERT_TRUE(Analyse(slow));
  const int columns = Analysis().columnCount;
  ASSERT_TRUE(ui_->PostCommand(IDM_PARAMETERS_CHANGE));
  HWND dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "3000");
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  EXPECT_EQ(TakeMessage(), "Sample Rate Out of Range");
  ASSERT_TRUE(WaitForAnalysisEnd());
  EXPECT_FALSE(AnalysisSetAside());
  EXPECT_EQ(Analysis().columnCount, columns);

  // "New" pulls a typed rate into 5513..44100 and rescales begin and end.
  ASSERT_TRUE(ui_->PostCommand(IDM_PARAMETERS_CHANGE));
  dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Click(dialog, IDC_NEW_RATE));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_SAMPLE_RATE)) != 0; }));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_BEGIN)));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_SAMPLE_RATE), "1000"));
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitUntil([&] { return TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)) == "5513"; }));
  // 4000 ms at 3000 Hz are 2176 ms at 5513 Hz (3000 / 5513 = 0.54417).
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "2176");
  EXPECT_TRUE(IsWindow(dialog)) << "OK during the rate entry closed the dialog";
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_BEGIN)));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  ASSERT_TRUE(WaitForAnalysisEnd());
  EXPECT_EQ(Analysis().format.sampleRate, 5513u);
  // The same 24000 bytes at 5513 Hz: (12000 - 512) / 66 columns (66.2 samples in 12 ms).
  EXPECT_EQ(Analysis().columnCount, (12000 - 512) / 66);
}

TEST_F(AnalysisCases, OnALowMemoryMachineARefusedChangeReturnsToIdle) {
  // A new analysis releases anything an earlier "&Change" set aside.
  ASSERT_TRUE(Analyse(ToneFile("lowmemory.wav", 2.0)));
  ASSERT_FALSE(AnalysisSetAside());
  Mode().lowMemory = 1;  // as the create step sets it below 12,000,000 bytes
  ASSERT_TRUE(ui_->PostCommand(IDM_PARAMETERS_CHANGE));
  HWND dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(AnalysisSetAside()) << "nothing is set aside on a low-memory machine";
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_TIME_SCALE), "0"));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  EXPECT_EQ(TakeMessage(), "Time Scale Out of Range");
  ASSERT_TRUE(WaitForAnalysisEnd());
  Mode().lowMemory = 0;
  EXPECT_FALSE(Display().exists());
  EXPECT_FALSE(SampleBufferHeld());
  EXPECT_FALSE(DataPresent());
  EXPECT_EQ(ShownInfoPanel().sampleRate, 0u);
  EXPECT_EQ(ShownInfoPanel().bitsPerSample, 0);
  EXPECT_EQ(ShownInfoPanel().dataLength, 0u);
  EXPECT_FALSE(MenuEnabled(window(), IDM_PARAMETERS_CHANGE));
  EXPECT_FALSE(MenuEnabled(window(), IDM_SAVE_WAVE));
  EXPECT_TRUE(MenuEnabled(window(), IDM_ANALYZE_FILE));
  EXPECT_EQ(AllocationCount(), 0);
}

// The memory budget is the window's own figure; the test lowers it so that a 2 s file does
// not fit, first with its samples alone, then with its image.
TEST_F(AnalysisCases, SpanOrImageBeyondTheBudgetHandsOverToTheScan) {
  const std::string tone = ToneFile("budget.wav", 2.0);  // 44100 bytes of samples
  const uint64_t budget = MainWindow().memory.budget;
  const char* kText =
      "Wave file and display bitmap exceed available RAM.\n\nThe file will now be scanned at low resolution.\n"
      "Detailed analysis will be performed at the stopping point";
  struct Case {
    const char* name;
    uint64_t budget;
  };
  // 300 rows x the screen's width (at least 640) are more than 1000 bytes.
  const Case cases[] = {{"samples", 44099}, {"samples and image", 44100 + 1000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Mode().lowResolutionScan = 0;
    Settings().analysisAtStop = AnalysisAtStop::Off;
    MainWindow().memory.budget = c.budget;
    HWND dialog = OpenParameters(tone);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Click(dialog, IDC_FFT_1024));
    ASSERT_TRUE(WaitUntil([&] { return IsChecked(dialog, IDC_FFT_1024); }));
    ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
    HWND box = WaitForDialog("Not Enough Memory");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), kText);
    ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK));
    // The file scan starts at once, without its dialog, and takes the flag down.
    ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return Mode().fileScanPlaybackActive != 0; }); }))
        << "the hand-over started no scan";
    MainWindow().memory.budget = budget;
    EXPECT_EQ(Mode().lowResolutionScan, 0);
    EXPECT_EQ(Settings().analysisAtStop, AnalysisAtStop::On);
    EXPECT_EQ(Analysis().dataLength, 44100u) << "the scan is given the whole file";
    // Stopping hands the stretch around the stop back to the analysis, which asks again.
    ASSERT_TRUE(ui_->Post(WM_COMMAND, IDB_STOP, 0));
    HWND again = WaitForDialog(kParametersCaption);
    ASSERT_NE(again, nullptr) << "Analysis at Stop offered no parameters";
    ASSERT_TRUE(PressAndWaitUntilClosed(again, IDCANCEL));
    ASSERT_TRUE(WaitForCommandEnd());
    EXPECT_FALSE(Mode().fileScanPlaybackActive);
  }
  Mode().lowResolutionScan = 0;
  Settings().analysisAtStop = AnalysisAtStop::Off;
}

// Regression: when a re-analysis did not fit the memory budget, the scan it handed over to
// read the shown span's length of bytes from the file's data and dropped the dialog's rate.
TEST_F(AnalysisCases, ChangeBeyondTheBudgetScansTheWholeFileInTheChosenFormat) {
  const std::string tone = ToneFile("budget-change.wav", 2.0);  // 44100 bytes of samples
  HWND dialog = OpenParameters(tone);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_END), "1000"));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  ASSERT_TRUE(WaitForAnalysisEnd());
  ASSERT_EQ(Analysis().dataLength, 22050u) << "the first second is shown";

  const uint64_t budget = MainWindow().memory.budget;
  Mode().lowResolutionScan = 0;
  Settings().analysisAtStop = AnalysisAtStop::Off;
  MainWindow().memory.budget = 44100 + 1000;  // the samples fit, the image does not
  ASSERT_TRUE(ui_->PostCommand(IDM_PARAMETERS_CHANGE));
  dialog = WaitForDialog(kParametersCaption);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Click(dialog, IDC_NEW_RATE));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_SAMPLE_RATE)) != 0; }));
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_SAMPLE_RATE), "22050"));
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_BEGIN)) != 0; }));
  ASSERT_TRUE(Click(dialog, IDC_RES_8_BIT));
  ASSERT_TRUE(WaitUntil([&] { return IsChecked(dialog, IDC_RES_8_BIT); }));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
  HWND box = WaitForDialog("Not Enough Memory");
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK));
  ASSERT_TRUE(WaitUntil([] { return Mode().fileScanPlaybackActive != 0; })) << "the hand-over started no scan";
  MainWindow().memory.budget = budget;
  EXPECT_EQ(Analysis().dataLength, 44100u) << "the scan is given the whole file";
  EXPECT_EQ(Analysis().format.sampleRate, 22050u);
  EXPECT_EQ(Analysis().format.bitsPerSample, 8);

  ASSERT_TRUE(ui_->Post(WM_COMMAND, IDB_STOP, 0));
  HWND again = WaitForDialog(kParametersCaption);
  ASSERT_NE(again, nullptr) << "Analysis at Stop offered no parameters";
  ASSERT_TRUE(PressAndWaitUntilClosed(again, IDCANCEL));
  ASSERT_TRUE(WaitForCommandEnd());
  Mode().lowResolutionScan = 0;
  Settings().analysisAtStop = AnalysisAtStop::Off;
}

// ===========================================================================
// A long render: Stop, Escape and closing the window while columns are drawn.

class LongRender : public WindowSuite {
 protected:
  // 240 s at 11025 Hz, 16-bit mono; at 1 ms per column (step 11) 240,000 columns: long
  // enough, drawn on every core, for a poll every 20 ms to find it under way.
  static std::string Long() {
    static std::string path = ToneFile("long.wav", 240.0);
    return path;
  }
  // Starts the analysis at 1 ms per column and returns once columns are being drawn.
  static ::testing::AssertionResult StartLongRender() {
    HWND dialog = OpenParameters(Long());
    if (!dialog) return ::testing::AssertionFailure() << "no parameters dialog";
    SendText(GetDlgItem(dialog, IDC_TIME_SCALE), "1");
    if (!PressAndWaitUntilClosed(dialog, IDOK)) return ::testing::AssertionFailure() << "OK did not close it";
    if (!WaitUntil([] { return Mode().rendering && View().renderColumn > 200; }, kWaitMs)) {
      return ::testing::AssertionFailure() << "the render did not start (or ended at once)";
    }
    return ::testing::AssertionSuccess();
  }
  static constexpr int32_t kPlanned = (2646000 - 512) / 11;
};

TEST_F(LongRender, StopLeavesTheColumnsDrawnAndScalesTheDataLength) {
  ASSERT_TRUE(StartLongRender());
  EXPECT_FALSE(MenuEnabled(window(), IDM_ANALYZE_FILE)) << "the menu is not busy while rendering";
  EXPECT_TRUE(IsWindowEnabled(MainWindow().stopButton));
  ASSERT_TRUE(ui_->Post(WM_COMMAND, IDB_STOP, 0));
  ASSERT_TRUE(WaitForAnalysisEnd());
  const int32_t k = Analysis().columnCount;
  ASSERT_GT(k, 200);
  ASSERT_LT(k, kPlanned) << "the render finished before Stop reached it";
  // trunc(data length / planned columns x columns drawn), the quotient in extended precision.
  EXPECT_EQ(Analysis().dataLength, static_cast<uint32_t>(5292000.0L / kPlanned * k));
  // Drawn columns have the tone; the first column after them is untouched.
  EXPECT_EQ(BrightestRow(k - 1), 299 - 46);
  const DisplayBitmap& d = Display();
  ASSERT_LT(k, d.width);
  EXPECT_EQ(d.bits[static_cast<size_t>(250) * d.stride + k], kIndexFloor);
  EXPECT_TRUE(MenuEnabled(window(), IDM_SAVE_WAVE));

  // "Save &Wave" then saves what was drawn.
  const std::string saved = ScratchFolder() + "stopped.wav";
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_WAVE));
  ASSERT_TRUE(ChooseFile("Save Windows Wave File", saved));
  ASSERT_TRUE(WaitForCommandEnd());
  const std::vector<uint8_t> wav = ReadWholeFile(saved);
  ASSERT_GE(wav.size(), 46u);
  EXPECT_EQ(wav.size() - 46, Analysis().dataLength - Analysis().dataLength % 2);
  EXPECT_EQ(ReadU32(wav, 42), wav.size() - 46);
  EXPECT_EQ(ReadU32(wav, 4), wav.size() - 8);
}

TEST_F(LongRender, EscapeActsAsStop) {
  ASSERT_TRUE(StartLongRender());
  ASSERT_TRUE(ui_->Post(WM_KEYDOWN, VK_ESCAPE, 0x00010001));
  ASSERT_TRUE(WaitForAnalysisEnd());
  const int32_t k = Analysis().columnCount;
  ASSERT_LT(k, kPlanned);
  EXPECT_EQ(Analysis().dataLength, static_cast<uint32_t>(5292000.0L / kPlanned * k));
}

// The window's life ends here: a suite, and so a process, of its own.
class LongRenderClosing : public LongRender {};

TEST_F(LongRenderClosing, ClosingWhileRenderingEndsTheLoopAndFreesEveryBlock) {
  ASSERT_TRUE(StartLongRender());
  ASSERT_TRUE(ui_->Post(WM_CLOSE));
  int loopResult = -1;
  ASSERT_TRUE(ui_->WaitForExit(loopResult)) << "the message loop did not end after WM_CLOSE during a render";
  EXPECT_EQ(loopResult, 0);
  EXPECT_EQ(AllocationCount(), 0);
}

// ===========================================================================
// The replacing writer under the save commands, failing in the middle of a file.

TEST(ReplacingFileTest, AWriteThatFailsHalfwayLeavesTheOldFileAsItWas) {
  const std::string target = ScratchFolder() + "replaced.bin";
  const std::vector<uint8_t> old(5000, 0x5A);
  ASSERT_TRUE(WriteWholeFile(target, old));
  // A page the process may not read: writing from it fails in the system call.
  void* unreadable = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(unreadable, nullptr);
  {
    ReplacingFile file;
    ASSERT_TRUE(file.Open(target.c_str()));
    const std::string temporary = file.temporaryPath();
    EXPECT_TRUE(Exists(temporary));
    const std::vector<uint8_t> first(3000, 0x11);
    ASSERT_TRUE(file.Write(first.data(), first.size()));
    EXPECT_FALSE(file.Write(unreadable, 4096));
    EXPECT_FALSE(file.Write(first.data(), first.size())) << "a write after a failed one went through";
    EXPECT_FALSE(file.Commit());
    EXPECT_FALSE(Exists(temporary)) << "the temporary file was left behind";
  }
  VirtualFree(unreadable, 0, MEM_RELEASE);
  EXPECT_EQ(ReadWholeFile(target), old);

  // And a complete write replaces it.
  ReplacingFile file;
  ASSERT_TRUE(file.Open(target.c_str()));
  const std::vector<uint8_t> fresh(700, 0x33);
  ASSERT_TRUE(file.Write(fresh.data(), fresh.size()));
  ASSERT_TRUE(file.Commit());
  EXPECT_EQ(ReadWholeFile(target), fresh);
}

TEST(ReplacingFileTest, AFolderThatDoesNotExistCannotBeWrittenTo) {
  ReplacingFile file;
  EXPECT_FALSE(file.Open((ScratchFolder() + "no-such-folder\\file.bmp").c_str()));
}

}  // namespace
}  // namespace hl::e2e
