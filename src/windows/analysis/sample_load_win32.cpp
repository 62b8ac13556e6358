// The samples of a span read from the file into the sample buffer, on a thread of their own.
#include "windows/analysis/sample_load_win32.h"

#include "windows/base/sound_source_win32.h"
#include "windows/base/analysis_win32.h"
#include "windows/base/message_box_win32.h"
#include "windows/view/view_win32.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/analysis/column_geometry.h"
#include "windows/analysis/analysis_commands_win32.h"
#include "windows/base/dialog_choices_win32.h"
#include "core/analysis/file_analysis.h"
#include "windows/base/handles_win32.h"
#include "windows/base/window_state_win32.h"
#include "windows/base/menu_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "core/analysis/parameters_dialog.h"
#include "windows/analysis/parameters_dialog_win32.h"
#include "windows/view/render_window_win32.h"
#include "core/base/limits.h"
#include "windows/base/wide_text_win32.h"
#include "windows/view/palette_win32.h"
#include "windows/files/file_chooser_win32.h"
#include "core/files/wave_format.h"
#include "windows/files/wave_open_win32.h"
#include "resources/resource.h"

namespace hl {

namespace {

// The analysed file, or a compressed file's decoded WAV image, for reading by position.
bool OpenForAnalysis(SoundFile& file, const std::string& path) { return file.Open(path, FILE_FLAG_RANDOM_ACCESS); }

// Reads up to `bytes` bytes at `offset`; read errors leave the rest as it was (zeros).
void ReadAt(const SoundFile& file, uint64_t offset, uint8_t* buffer, uint32_t bytes) {
  file.ReadAt(offset, buffer, bytes);
}

// Reads `samples` samples of `encoding` from `offset` on and stores them as 16-bit samples
// at `into` (little-endian, as a 16-bit file holds them), a piece at a time so that the
// file's wider bytes never need a buffer of the whole span. Samples a short read leaves
// out stay as they were (zeros).
void ReadDecoded(const SoundFile& file, uint64_t offset, SampleEncoding encoding, uint8_t* into, uint32_t samples) {
  constexpr uint32_t kPieceSamples = 16384;
  const uint32_t width = static_cast<uint32_t>(EncodingBytes(encoding));
  std::vector<uint8_t> raw(static_cast<size_t>(kPieceSamples) * width);
  std::vector<int16_t> decoded(kPieceSamples);
  for (uint32_t done = 0; done < samples;) {
    const uint32_t count = samples - done < kPieceSamples ? samples - done : kPieceSamples;
    std::fill(raw.begin(), raw.end(), 0);
    ReadAt(file, offset + uint64_t{done} * width, raw.data(), count * width);
    DecodeSamples(raw.data(), count, width, encoding, decoded.data());
    for (uint32_t i = 0; i < count; ++i) {
      const uint16_t v = static_cast<uint16_t>(decoded[i]);
      into[2 * (done + i)] = static_cast<uint8_t>(v & 0xFF);
      into[2 * (done + i) + 1] = static_cast<uint8_t>(v >> 8);
    }
    done += count;
  }
}

}  // namespace


Message SampleLoad::Start(const LoadedSpan& span) {
  AnalysisState& a = Analysis();
  const ColumnGeometry& g = span.geometry;
  if (!OpenForAnalysis(file_, span.path)) return Message::CannotOpenFile;
  ReleaseSampleBuffer();
  if (!AllocateSampleBlock(a.sampleBuffer, g.byteCount)) return Message::NotEnoughMemory;
  uint8_t* buffer = a.sampleBuffer.Lock();
  if (!buffer) return Message::NotEnoughMemory;
  locked_ = true;
  WriteWaveHeader(buffer, a.format, g.byteCount);
  const uint64_t firstByte = (a.wavFlag ? uint64_t{a.dataOffset} : 0) + SourceBytesOf(g.beginOffset, span.source);
  const SampleEncoding encoding = span.source.encoding;
  const uint32_t bytes = g.byteCount;
  uint8_t* samples = buffer + kWaveHeaderLength;
  const SoundFile& file = file_;
  const auto read = [&file, firstByte, encoding, bytes, samples]() {
    // The block's pages are touched first and the span then read in one call: under Wine a
    // read into pages never touched costs about twice the touching and the read together
    // (about 0.1 s against 0.06 s for ten minutes of 44.1 kHz mono).
    std::memset(samples, 0, bytes);
    if (IsNativeEncoding(encoding)) {
      ReadAt(file, firstByte, samples, bytes);
    } else {
      ReadDecoded(file, firstByte, encoding, samples, bytes / 2);
    }
  };
  try {
    reader_ = std::thread(read);
  } catch (const std::system_error&) {
    read();  // no thread to be had: read here
  }
  return Message::None;
}

void SampleLoad::Done() {
  if (reader_.joinable()) reader_.join();
  file_.Close();
  if (!locked_) return;
  locked_ = false;
  Analysis().sampleBuffer.Unlock();
  Analysis().waveDataFlag = true;
}

// The header facts of the file at `path`, read as "&Analyze File" reads them, for a
// re-analysis that hands the whole file to the scan. False when the file cannot be opened.
bool ReadHeaderOf(const std::string& path, WaveHeaderInfo& header) {
  SoundFile file;
  if (!OpenForAnalysis(file, path)) return false;
  header = ReadAnalysedWave(file.Bytes(), file.Size()).header;
  return true;
}

}  // namespace hl
