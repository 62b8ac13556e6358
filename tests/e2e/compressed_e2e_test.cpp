// Compressed sound files in the window, decoded by the system's Media Foundation (under Wine:
// its GStreamer plugins): a FLAC made losslessly from a wave file gives that file's image bit
// for bit, an MP3 of a tone is named in the information panel and peaks in the tone's bin,
// bytes that are not what their name says are refused by name, and a system without the
// decoders says so. The test files are encoded by the Linux tools flac and lame, which Wine
// starts from here as it starts any Unix program.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "cli/example_signals.h"
#include "core/files/wave_format.h"
#include "core/image/palette_image.h"
#include "resources/resource.h"
#include "tests/e2e/dialog_driver.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/harness.h"
#include "windows/base/analysis_win32.h"
#include "windows/base/display_state_win32.h"
#include "windows/base/wide_text_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/sound/file_scan_win32.h"
#include "windows/view/view_win32.h"

namespace hl::e2e {
namespace {

constexpr char kParametersCaption[] = "Choose Analysis Parameters";

// The Unix path of a file of the Wine prefix, for a Unix program's arguments.
std::string UnixPath(const std::string& windowsPath) {
  using ToUnix = char*(CDECL*)(const WCHAR*);
  // Through void*: the exported function's real type is not FARPROC's.
  const auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return std::string();
  char* unixName = toUnix(Wide(windowsPath).c_str());
  if (!unixName) return std::string();
  const std::string path = unixName;
  HeapFree(GetProcessHeap(), 0, unixName);
  return path;
}

// Runs the Unix command `command` through /bin/sh and waits for the file at `result` (a Unix
// path) to appear; true when it did within a minute. Wine gives no waitable handle for a Unix
// process, so the command ends by renaming its output into place, which is seen by polling.
bool RunUnixCommand(const std::string& command, const std::string& result) {
  std::wstring commandLine = Wide("sh -c \"" + command + "\"");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(L"Z:\\bin\\sh", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return WaitUntil([&] { return Exists(WindowsPath(result)); }, 60000);
}

// `wave` as `name`.wav in the scratch folder, and its encoding by `tool` as `name`.`ext`.
// The encoded file's path; empty (with a failure added) when anything went wrong.
std::string Encoded(const std::vector<uint8_t>& wave, const std::string& name, const std::string& tool,
                    const std::string& options, const std::string& ext) {
  const std::string wavePath = ScratchFolder() + name + ".wav";
  const std::string encoded = ScratchFolder() + name + "." + ext;
  if (!WriteWholeFile(wavePath, wave)) {
    ADD_FAILURE() << "cannot write " << wavePath;
    return std::string();
  }
  const std::string in = UnixPath(wavePath), out = UnixPath(encoded), partial = out + ".part";
  const std::string encode = tool == "flac" ? tool + " " + options + " -o '" + partial + "' '" + in + "'"
                                            : tool + " " + options + " '" + in + "' '" + partial + "'";
  if (in.empty() || !RunUnixCommand(encode + " && mv '" + partial + "' '" + out + "'", out)) {
    ADD_FAILURE() << encode << " gave no file (scripts/install-deps.sh installs " << tool << ")";
    return std::string();
  }
  return encoded;
}

std::string EncodedTone(const ExampleSignal& example, const std::string& name, const std::string& tool,
                        const std::string& options, const std::string& ext) {
  return Encoded(MakeExampleWave(example), name, tool, options, ext);
}

// The 16-bit file MakeExampleWave wrote (mono, 44-byte header) as 24-bit samples x 256 + 0x5A:
// their top 16 bits are the 16-bit samples, the low byte is not zero.
std::vector<uint8_t> TwentyFourBitOf(const std::vector<uint8_t>& sixteen) {
  const uint32_t samples = static_cast<uint32_t>((sixteen.size() - 44) / 2);
  std::vector<uint8_t> wave(sixteen.begin(), sixteen.begin() + 44);
  const auto put32 = [&wave](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) wave[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  const uint32_t rate = wave[24] | wave[25] << 8 | wave[26] << 16 | static_cast<uint32_t>(wave[27]) << 24;
  put32(4, 36 + 3 * samples);
  put32(28, rate * 3);
  wave[32] = 3;
  wave[34] = 24;
  put32(40, 3 * samples);
  for (uint32_t i = 0; i < samples; ++i) wave.insert(wave.end(), {0x5A, sixteen[44 + 2 * i], sixteen[45 + 2 * i]});
  return wave;
}

ExampleSignal Tone(ExampleKind kind, uint32_t rate, double frequency) {
  ExampleSignal example;
  example.kind = kind;
  example.sampleRate = rate;
  example.seconds = 2.0;
  example.frequency = frequency;
  example.amplitude = 0.4;
  return example;
}

class CompressedFiles : public AnalysisWindowSuite {
 protected:
  // The frequency bin of column `x` with the highest palette index (bin b is row height - 1 - b).
  static int PeakBin(int x) {
    int peak = -1;
    OnWindowThread([&] {
      const PaletteImage image = Display().Image();
      int best = -1;
      for (int b = 0; b < image.height - kMarginRows; ++b) {
        const int level = image.At(x, image.height - 1 - b);
        if (level > best) {
          best = level;
          peak = b;
        }
      }
    });
    return peak;
  }
};

TEST_F(CompressedFiles, FlacOfASixteenBitWaveGivesItsImageBitForBit) {
  const ExampleSignal tone = Tone(ExampleKind::Harmonics, 22050, 700.0);
  const std::string flac = EncodedTone(tone, "harmonics", "flac", "-s -f -8", "flac");
  ASSERT_FALSE(flac.empty());
  ASSERT_TRUE(Render(OpenParameters(ScratchFolder() + "harmonics.wav")));
  ASSERT_GT(Analysis().columnCount, 100);
  const std::vector<uint8_t> expected = EntireBitmap("harmonics-wav.bmp");
  ASSERT_GT(expected.size(), 1078u);

  HWND dialog = OpenParameters(flac);
  ASSERT_NE(dialog, nullptr) << TakeMessage(1000);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "22050");
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_END)), "2000");
  ASSERT_TRUE(Render(dialog));
  EXPECT_EQ(ShownInfoPanel().coding, "FLAC 16-bit");
  const std::vector<uint8_t> image = EntireBitmap("harmonics-flac.bmp");
  ASSERT_EQ(image.size(), expected.size());
  EXPECT_TRUE(image == expected) << "the FLAC's image differs from its wave file's";
}

// Wine's decoder offers a 24-bit stream only as 16-bit PCM (dithered) or as float: the float
// holds the 24-bit values exactly, and they are kept as 24-bit samples.
TEST_F(CompressedFiles, TwentyFourBitFlacKeepsItsSamplesAndSaveWaveWritesThem) {
  const std::vector<uint8_t> sixteen = MakeExampleWave(Tone(ExampleKind::Harmonics, 11025, 700.0));
  const std::vector<uint8_t> wide = TwentyFourBitOf(sixteen);
  const std::string flac = Encoded(wide, "wide", "flac", "-s -f", "flac");
  ASSERT_FALSE(flac.empty());
  ASSERT_TRUE(WriteWholeFile(ScratchFolder() + "narrow.wav", sixteen));
  ASSERT_TRUE(Render(OpenParameters(ScratchFolder() + "narrow.wav")));
  const std::vector<uint8_t> expected = EntireBitmap("narrow.bmp");
  ASSERT_GT(expected.size(), 1078u);

  ASSERT_TRUE(Render(OpenParameters(flac)));
  EXPECT_EQ(ShownInfoPanel().coding, "FLAC 24-bit");
  EXPECT_TRUE(EntireBitmap("wide.bmp") == expected) << "the 24-bit FLAC's image differs from its 16-bit samples'";

  // "Save &Wave" of a span from 500 ms: the 24-bit samples as the FLAC holds them.
  HWND dialog = OpenParameters(flac);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(SendText(GetDlgItem(dialog, IDC_BEGIN), "500"));
  ASSERT_TRUE(Render(dialog));
  const std::string saved = ScratchFolder() + "span24.wav";
  ASSERT_TRUE(ui_->PostCommand(IDM_SAVE_WAVE));
  ASSERT_TRUE(ChooseFile("Save Windows Wave File", saved));
  ASSERT_TRUE(ui_->Flush() && WaitForAnalysisEnd());
  const std::vector<uint8_t> wav = ReadWholeFile(saved);
  ASSERT_GT(wav.size(), 1000u);
  const SampleLayout layout = ReadSampleLayout(wav.data(), std::min<size_t>(wav.size(), 2048), wav.size());
  EXPECT_EQ(layout.encoding, SampleEncoding::Pcm24);
  const size_t begin = 44 + SourceBytesOf(Analysis().fileBeginOffset, layout);
  ASSERT_LE(begin + layout.dataLength, wide.size());
  EXPECT_GT(begin, 44u + 3u * 5000u);
  EXPECT_TRUE(std::equal(wav.begin() + static_cast<std::ptrdiff_t>(layout.dataOffset), wav.end(),
                         wide.begin() + static_cast<std::ptrdiff_t>(begin)))
      << "the saved samples are not the FLAC's 24-bit samples";
}

TEST_F(CompressedFiles, Mp3OfAToneIsNamedInThePanelAndPeaksInTheTonesBin) {
  // Bin 40 of a 512-point transform at 22050 Hz: 40 x 22050 / 512 Hz.
  const std::string mp3 =
      EncodedTone(Tone(ExampleKind::Tone, 22050, 40 * 22050.0 / 512), "tone", "lame", "--quiet -b 64", "mp3");
  ASSERT_FALSE(mp3.empty());
  HWND dialog = OpenParameters(mp3);
  ASSERT_NE(dialog, nullptr) << TakeMessage(1000);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "22050");
  ASSERT_TRUE(Render(dialog));
  EXPECT_EQ(ShownInfoPanel().coding.compare(0, 3, "MP3"), 0) << ShownInfoPanel().coding;
  ASSERT_GT(Analysis().columnCount, 100);
  EXPECT_EQ(PeakBin(Analysis().columnCount / 2), 40);
  // "Play Wdw" sounds the decoded samples the window holds.
  ASSERT_TRUE(ui_->Post(WM_COMMAND, static_cast<WPARAM>(IDB_PLAY_WINDOW), 0));
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return Mode().playbackActive != 0; }); }))
      << "the playback did not start: " << TakeMessage(1000);
  EXPECT_GT(SinkLevel(300), 2000.0) << "the tone is not heard";
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return !Mode().playbackActive; }); }));
  ASSERT_TRUE(WaitForAnalysisEnd());
}

TEST_F(CompressedFiles, RandomBytesNamedFlacAreRefusedByNameAndTheShownAnalysisStays) {
  ASSERT_TRUE(Render(OpenParameters(EncodedTone(Tone(ExampleKind::Tone, 11025, 1000.0), "shown", "flac",
                                                "-s -f", "flac"))));
  const int columns = Analysis().columnCount;
  std::mt19937 random(7);
  std::vector<uint8_t> noise(20000);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  const std::string path = ScratchFolder() + "noise.flac";
  ASSERT_TRUE(WriteWholeFile(path, noise));
  ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
  ASSERT_TRUE(ChooseFile("Open WAV File", path));
  EXPECT_EQ(TakeMessage(), "This file is named as FLAC, but its bytes are not FLAC sound");
  ASSERT_TRUE(WaitForAnalysisEnd());
  EXPECT_EQ(Analysis().columnCount, columns);
  EXPECT_EQ(ShownInfoPanel().coding, "FLAC 16-bit") << "the shown analysis lost its file";
}

// "&Scan File" plays a FLAC's decoded samples: every one of them goes through the ring.
TEST_F(CompressedFiles, ScanFilePlaysAFlacsDecodedSamples) {
  const ExampleSignal tone = Tone(ExampleKind::Tone, 11025, 1000.0);
  const std::string flac = EncodedTone(tone, "scanned", "flac", "-s -f", "flac");
  ASSERT_FALSE(flac.empty());
  ASSERT_TRUE(ui_->PostCommand(IDM_SCAN_FILE));
  ASSERT_TRUE(ChooseFile("Open WAV File", flac));
  HWND dialog = WaitForDialog("Scan Wave File");
  ASSERT_NE(dialog, nullptr) << TakeMessage(1000);
  EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_SAMPLE_RATE)), "11025");
  ASSERT_TRUE(Click(dialog, IDC_ANALYSIS_OFF));
  ASSERT_TRUE(WaitUntil([&] { return IsChecked(dialog, IDC_ANALYSIS_OFF); }));
  ASSERT_TRUE(PressAndWaitUntilClosed(dialog, IDC_OK));
  ASSERT_TRUE(WaitUntil([] { return ReadOnWindowThread([] { return Mode().fileScanPlaybackActive != 0; }); }))
      << "the scan did not start: " << TakeMessage(1000);
  EXPECT_GT(SinkLevel(400), 2000.0) << "the tone is not heard";
  HWND box = WaitForDialog("Scanning Complete", GetCurrentProcessId(), 8000);
  ASSERT_NE(box, nullptr) << "the scan did not end by the clock";
  ASSERT_TRUE(PressAndWaitUntilClosed(box, IDOK));
  ASSERT_TRUE(WaitForAnalysisEnd());
  EXPECT_EQ(LastFileScan().bytesRead, MakeExampleWave(tone).size() - 44);
}

// Esc while a long MP3 is decoded (its share in the caption): nothing is analysed, no box
// comes, and the analysis shown stays with its caption.
TEST_F(CompressedFiles, EscWhileDecodingCancelsAndTheShownAnalysisStays) {
  ExampleSignal tone = Tone(ExampleKind::Tone, 22050, 1000.0);
  tone.seconds = 600.0;  // a second or more of decoding
  const std::string mp3 = EncodedTone(tone, "long", "lame", "--quiet -b 32", "mp3");
  ASSERT_FALSE(mp3.empty());
  ASSERT_TRUE(WriteWholeFile(ScratchFolder() + "before.wav", MakeExampleWave(Tone(ExampleKind::Tone, 11025, 500.0))));
  ASSERT_TRUE(Render(OpenParameters(ScratchFolder() + "before.wav")));
  std::string shownCaption;
  ASSERT_TRUE(ReadWindowText(window(), shownCaption));
  const int columns = Analysis().columnCount;

  ASSERT_TRUE(ui_->PostCommand(IDM_ANALYZE_FILE));
  ASSERT_TRUE(ChooseFile("Open WAV File", mp3));
  std::string caption;
  ASSERT_TRUE(WaitUntil([&] { return ReadWindowText(window(), caption) && caption.rfind("Decoding long.mp3: ", 0) == 0; }))
      << "the caption never showed the decoding: \"" << caption << "\"";
  ASSERT_TRUE(ui_->Post(WM_KEYDOWN, VK_ESCAPE, 0));
  ASSERT_TRUE(WaitForAnalysisEnd());
  EXPECT_EQ(WaitForDialog(kParametersCaption, GetCurrentProcessId(), 500), nullptr) << "the decoding was not stopped";
  EXPECT_TRUE(OpenDialogs().empty()) << "a box came after Esc";
  EXPECT_TRUE(ReadWindowText(window(), caption));
  EXPECT_EQ(caption, shownCaption);
  EXPECT_EQ(Analysis().columnCount, columns);
}

// A program whose GStreamer finds no plugins: GST_PLUGIN_SYSTEM_PATH_1_0 and
// GST_PLUGIN_PATH_1_0 name an empty folder and GST_REGISTRY_1_0 a registry of its own (so
// the shared one is not rewritten). GStreamer reads them from the Unix environment, which a
// Windows process started from here does not get from SetEnvironmentVariable: the program is
// started by /usr/bin/env running wine64, in this prefix and display. Wine gives no waitable
// handle for a Unix process, so its end is seen by its window's going.
TEST(CompressedProcess, ASystemWithoutTheDecoderSaysSoForAnMp3) {
  const char* program = std::getenv("HL_E2E_PROGRAM");
  ASSERT_TRUE(program && *program) << "HL_E2E_PROGRAM must name Harrowlight.exe (scripts/e2e-run.sh sets it)";
  const std::string mp3 =
      EncodedTone(Tone(ExampleKind::Tone, 22050, 1000.0), "undecodable", "lame", "--quiet -b 64", "mp3");
  ASSERT_FALSE(mp3.empty());
  const std::string empty = ScratchFolder() + "no-plugins";
  CreateDirectoryA(empty.c_str(), nullptr);
  const std::string emptyUnix = UnixPath(empty), registry = UnixPath(ScratchFolder()) + "/registry.bin";
  const std::string arguments = "GST_PLUGIN_SYSTEM_PATH_1_0=\"" + emptyUnix + "\" GST_PLUGIN_PATH_1_0=\"" + emptyUnix +
                                "\" GST_REGISTRY_1_0=\"" + registry + "\" /usr/lib/wine/wine64 \"" + program +
                                "\" \"" + mp3 + "\"";
  std::wstring commandLine = Wide("env " + arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessW(L"Z:\\usr\\bin\\env", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &started))
      << "cannot start /usr/bin/env";
  CloseHandle(started.hProcess);
  CloseHandle(started.hThread);

  HWND window = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (window = FindWindowA("Harrowlight", nullptr)) != nullptr; }))
      << "the program's window did not appear";
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HWND box = WaitForDialog("Harrowlight", processId);
  ASSERT_NE(box, nullptr) << "no message box from the program";
  EXPECT_EQ(MessageBoxText(box), "This computer has no decoder for this MP3 file");
  EXPECT_TRUE(PressAndWaitUntilClosed(box, IDOK));
  EXPECT_EQ(WaitForDialog(kParametersCaption, processId, 1000), nullptr) << "it went on to analyse";
  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); })) << "the program's window stayed after WM_CLOSE";
}

}  // namespace
}  // namespace hl::e2e
