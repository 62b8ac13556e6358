// Files beyond 8- and 16-bit PCM at 11025..44100 Hz in the window: a 24-bit and a float file
// made from a 16-bit file's samples give its image, files of 48 and 96 kHz are analysed and
// re-analysed by a left drag, "Save &Wave" keeps a 24-bit file's own bytes, and "Play" and
// "Play Wdw" sound a 96 kHz 24-bit file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "windows/base/analysis_win32.h"
#include "windows/program/main_window_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "cli/example_signals.h"
#include "windows/view/view_win32.h"
#include "core/files/wave_format.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"

namespace hl::e2e {
namespace {

constexpr char kParametersCaption[] = "Choose Analysis Parameters";

void PutU16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | b[at + i];
  return v;
}

// A 2 s tone of three components, 16-bit mono: the file the others are made from.
std::vector<uint8_t> SixteenBitTone(uint32_t rate) {
  ExampleSignal example;
  example.kind = ExampleKind::Harmonics;
  example.sampleRate = rate;
  example.seconds = 2.0;
  example.frequency = 700.0;
  example.amplitude = 0.4;
  return MakeExampleWave(example);
}

// The 16-bit samples of a file MakeExampleWave wrote (44-byte header).
std::vector<int16_t> SamplesOf(const std::vector<uint8_t>& file) {
  std::vector<int16_t> samples;
  for (size_t i = 44; i + 1 < file.size(); i += 2) {
    samples.push_back(static_cast<int16_t>(file[i] | (file[i + 1] << 8)));
  }
  return samples;
}

// A canonical file of `tag` and `bits` holding `data`.
std::vector<uint8_t> WaveOf(uint16_t tag, uint16_t bits, uint32_t rate, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> b;
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  PutU32(b, 36 + static_cast<uint32_t>(data.size()));
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutU32(b, 16);
  PutU16(b, tag);
  PutU16(b, 1);
  PutU32(b, rate);
  PutU32(b, rate * bits / 8);
  PutU16(b, bits / 8);
  PutU16(b, bits);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  PutU32(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

// The same samples x 256 in 24 bits: the top 16 bits are the 16-bit samples.
std::vector<uint8_t> TwentyFourBit(const std::vector<int16_t>& samples, uint32_t rate) {
  std::vector<uint8_t> data;
  for (int16_t s : samples) {
    const uint16_t v = static_cast<uint16_t>(s);
    data.insert(data.end(), {0x5A, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  }
  return WaveOf(1, 24, rate, data);
}

// The same samples / 32768 as 32-bit floats, exactly representable.
std::vector<uint8_t> Float32(const std::vector<int16_t>& samples, uint32_t rate) {
  std::vector<uint8_t> data;
  for (int16_t s : samples) {
    const float x = static_cast<float>(s) / 32768.0f;
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    PutU32(data, bits);
  }
  return WaveOf(3, 32, rate, data);
}

std::string Scratch(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = ScratchFolder() + name;
  EXPECT_TRUE(WriteWholeFile(path, bytes)) << path;
  return path;
}

class FormatsWindow : public AnalysisWindowSuite {
 protected:
  // A left-button drag over columns `from` to `to` of the image; the dialog it opens.
  static HWND LeftDrag(int from, int to) {
    for (const auto& step : {std::make_pair(WM_LBUTTONDOWN, from), std::make_pair(WM_MOUSEMOVE, (from + to) / 2),
                             std::make_pair(WM_MOUSEMOVE, to), std::make_pair(WM_LBUTTONUP, to)}) {
      POINT p{step.second, 150};
      ClientToScreen(window(), &p);
      SetCursorPos(p.x, p.y);
      WaitUntil([&] {
        POINT now{};
        return GetCursorPos(&now) && now.x == p.x && now.y == p.y;
      });
      ui_->Post(step.first, step.first == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(step.second, 150));
    }
    return WaitForDialog(kParametersCaption);
  }
};

TEST_F(FormatsWindow, TwentyFourBitAndFloatFilesOfSixteenBitSamplesGiveItsImage) {
  const std::vector<uint8_t> sixteen = SixteenBitTone(22050);
  const std::vector<int16_t> samples = SamplesOf(sixteen);
  HWND first = OpenParameters(Scratch("tone16.wav", sixteen));
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(Render(first));
  ASSERT_GT(Analysis().columnCount, 100) << Analysis().byteCount << " bytes, step " << Analysis().step;
  const std::vector<uint8_t> expected = EntireBitmap("tone16.bmp");
  ASSERT_GT(expected.size(), 1078u);

  struct Variant {
    const char* name;
    std::vector<uint8_t> file;
    const char* resolution;
    int bits;
  };
  const Variant variants[] = {{"tone24.wav", TwentyFourBit(samples, 22050), "24 bit", 24},
                              {"tonef32.wav", Float32(samples, 22050), "32 bit float", 32}};
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    HWND dialog = OpenParameters(Scratch(v.name, v.file));
    ASSERT_NE(dialog, nullptr);
    // The file's own resolution, and no choice that would read the samples as bytes.
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_RES_16_BIT)), v.resolution);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_RES_8_BIT)));
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "2000");
    ASSERT_TRUE(Render(dialog));
    EXPECT_EQ(ShownInfoPanel().bitsPerSample, v.bits);
    const std::vector<uint8_t> image = EntireBitmap(std::string(v.name) + ".bmp");
    ASSERT_EQ(image.size(), expected.size());
    EXPECT_TRUE(image == expected) << "the image differs from the 16-bit file's";
  }
}

TEST_F(FormatsWindow, FilesAt48And96kHzAreAnalysedAndReanalysedByALeftDrag) {
  // The 24-bit file's span is read and decoded from the file again: it gives the 16-bit
  // file's re-analysed image.
  struct Case {
    uint32_t rate;
    bool wide;
  };
  std::vector<std::vector<uint8_t>> spans;
  for (const Case& c : {Case{48000, false}, Case{96000, false}, Case{96000, true}}) {
    const uint32_t rate = c.rate;
    const std::string name = "rate" + std::to_string(rate) + (c.wide ? "w24" : "");
    SCOPED_TRACE(name);
    const std::vector<uint8_t> sixteen = SixteenBitTone(rate);
    HWND dialog =
        OpenParameters(Scratch(name + ".wav", c.wide ? TwentyFourBit(SamplesOf(sixteen), rate) : sixteen));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), std::to_string(rate));
    ASSERT_TRUE(Render(dialog));
    ASSERT_EQ(Analysis().format.sampleRate, rate);
    ASSERT_GT(Analysis().columnCount, 100);
    const uint32_t wholeBytes = Analysis().byteCount;

    dialog = LeftDrag(20, 80);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), std::to_string(rate));
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_BEGIN)), "246");  // 20.5 x 12 ms
    ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDOK));
    ASSERT_TRUE(WaitForAnalysisEnd()) << "the re-analysis was refused or did not end";
    EXPECT_TRUE(AnalysisSetAside()) << "no re-analysis to restore from";
    EXPECT_EQ(Analysis().format.sampleRate, rate);
    EXPECT_LT(Analysis().byteCount, wholeBytes);
    EXPECT_GT(Analysis().columnCount, 40);
    spans.push_back(EntireBitmap(name + "-span.bmp"));
    ASSERT_GT(spans.back().size(), 1078u);
  }
  EXPECT_TRUE(spans[2] == spans[1]) << "the 24-bit file's re-analysed span differs from the 16-bit file's";
}

// The card is opened for the 16-bit samples the window holds, which every device takes (a
// 32-bit PCM format, for one, is refused by Wine's sound server).
TEST_F(FormatsWindow, PlayAndPlayWindowSoundANinetySixKilohertzTwentyFourBitFile) {
  HWND dialog = OpenParameters(Scratch("play96k24.wav", TwentyFourBit(SamplesOf(SixteenBitTone(96000)), 96000)));
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Render(dialog));
  ASSERT_EQ(Analysis().format.bitsPerSample, 16);
  for (int button : {IDB_PLAY, IDB_PLAY_WINDOW}) {
    SCOPED_TRACE(button);
    ASSERT_TRUE(ui_->Post(WM_COMMAND, static_cast<WPARAM>(button), 0));
    ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return Mode().playbackActive != 0; }); }))
        << "the playback did not start: " << TakeMessage(1000);
    EXPECT_GT(SinkLevel(300), 2000.0) << "the tone is not heard";
    ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return !Mode().playbackActive; }); }))
        << "no MM_WOM_DONE after the data";
    ASSERT_TRUE(WaitForAnalysisEnd());
    EXPECT_EQ(Analysis().sampleBuffer.locked(), nullptr) << "the sample buffer stayed locked";
  }
}

// Regression: "Sample Length" named the 16-bit copy the window holds (176 kb for 264.6 kB of
// 24-bit data), not the data's own bytes that "Save &Wave" writes.
TEST_F(FormatsWindow, SampleLengthIsTheDatasOwnBytes) {
  const std::vector<int16_t> samples = SamplesOf(SixteenBitTone(11025));  // 2 s
  const std::vector<uint8_t> files[] = {TwentyFourBit(samples, 11025), Float32(samples, 11025)};
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i == 0 ? "24-bit" : "float");
    HWND dialog = OpenParameters(Scratch("length" + std::to_string(i) + ".wav", files[i]));
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Render(dialog));
    EXPECT_EQ(ShownInfoPanel().dataLength, files[i].size() - 44);
  }
}

TEST_F(FormatsWindow, SaveWaveOfATwentyFourBitSpanKeepsItsOwnBytes) {
  const std::vector<uint8_t> source = TwentyFourBit(SamplesOf(SixteenBitTone(11025)), 11025);
  HWND dialog = OpenParameters(Scratch("save24.wav", source));
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_BEGIN), "500"));
  ASSERT_TRUE(Render(dialog));
  const std::string saved = ScratchFolder() + "span24.wav";
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_WAVE));
  ASSERT_TRUE(ChooseFile("Save Windows Wave File", saved));
  ASSERT_TRUE(ui_->Flush() && WaitForAnalysisEnd());

  const std::vector<uint8_t> wav = ReadWholeFile(saved);
  ASSERT_GT(wav.size(), 44u);
  const SampleLayout layout = ReadSampleLayout(wav.data(), std::min<size_t>(wav.size(), 2048), wav.size());
  EXPECT_EQ(layout.encoding, SampleEncoding::Pcm24);
  EXPECT_EQ(layout.sampleRate, 11025u);
  EXPECT_EQ(U32At(wav, 4), wav.size() - 8) << "RIFF size";
  ASSERT_EQ(layout.dataLength, wav.size() - layout.dataOffset);
  // The span from 500 ms on: 5512.5 samples, a whole 16-bit frame's worth from the start.
  const size_t begin = 44 + SourceBytesOf(Analysis().fileBeginOffset, layout);
  EXPECT_EQ(layout.dataLength, SourceBytesOf(Analysis().byteCount, layout));
  ASSERT_LE(begin + layout.dataLength, source.size());
  EXPECT_GT(begin, 44u + 3u * 5000u);
  EXPECT_TRUE(std::equal(wav.begin() + static_cast<std::ptrdiff_t>(layout.dataOffset), wav.end(),
                         source.begin() + static_cast<std::ptrdiff_t>(begin)))
      << "the saved samples are not the file's own bytes";
}

// A recording cut off before its data chunk: refused in the program's own words, never drawn
// as raw samples, and the analysis shown stays.
TEST_F(FormatsWindow, ARiffFileWithoutADataChunkIsRefusedAndTheShownAnalysisStays) {
  HWND dialog = OpenParameters(Scratch("shown16.wav", SixteenBitTone(11025)));
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(Render(dialog));
  const int columns = Analysis().columnCount;
  const std::string shown = Analysis().filePath;
  std::vector<uint8_t> cut = SixteenBitTone(11025);
  std::memcpy(cut.data() + 36, "LIST", 4);  // the fmt chunk stays; the samples are a chunk of another kind
  ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
  ASSERT_TRUE(ChooseFile("Open WAV File", Scratch("nodata.wav", cut)));
  EXPECT_EQ(TakeMessage(), "No data chunk in the file");
  ASSERT_TRUE(WaitForAnalysisEnd());
  EXPECT_TRUE(Display().exists());
  EXPECT_EQ(Analysis().columnCount, columns);
  EXPECT_EQ(Analysis().filePath, shown);
}

}  // namespace
}  // namespace hl::e2e
