// The analysis shown in the window: what "&Analyze File" and "&Change" leave behind for
// painting, scrolling, the grid, the readouts, saving and playback.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/analysis/analysis_settings.h"
#include "windows/base/handles_win32.h"
#include "windows/base/display_state_win32.h"
#include "core/files/wave_format.h"

namespace hl {

// What is known of an analysis: values, copied freely (the analysis "&Change" sets aside
// keeps its own).
struct AnalysisFacts {
  std::string filePath;   // full path of the analysed file, re-read by "&Change"
  std::string fileTitle;  // name without directory, shown in the caption
  // The format taken from the file (and then the rate and resolution chosen in the dialog).
  WaveFormat format;
  // The file's own format. A decoded one (24/32-bit, float, A-law, mu-law) is held in the
  // sample buffer as 16-bit samples; `format` then says 16 bits and spans count those.
  SampleLayout source;
  // A compressed file's coding as the information panel names it ("MP3 192 kbit/s"), whose
  // decoded WAV image `source` describes; empty for a wave file.
  std::string coding;
  bool wavFlag = false;
  uint64_t dataOffset = 0;  // file position of the first sample byte
  uint32_t dataLength = 0;  // sample bytes in the file (a finished analysis: in the buffer)
  // The analysed span.
  float beginMs = 0, endMs = 0;
  uint32_t beginOffset = 0;  // from the first sample byte
  // The span's first byte counted from the file's first sample byte (beginOffset adds up
  // over re-analyses): where "Save &Wave" finds a decoded file's own bytes again.
  uint32_t fileBeginOffset = 0;
  uint32_t byteCount = 0;
  int32_t step = 0;         // interleaved sample values between two columns
  int32_t columnCount = 0;  // columns drawn
  // Time of the image's first column, ms (the grid's start time), and the sum of the begin
  // times of earlier re-analyses.
  float imageStartMs = 0;
  float accumulatedBeginMs = 0;
  bool waveDataFlag = false;  // the sample buffer holds a header "Save &Wave" can write
  // "&Restore" has somewhere to go back to: set when "&Change" starts a re-analysis or
  // refuses one, cleared by "&Restore" and by a new "&Analyze File".
  bool restorePoint = false;
  // The span a left-button drag selected in the image, ms from the image's first column;
  // "&Change" offers it when sent with lParam 1.
  float selectionBeginMs = 0, selectionEndMs = 0;
};

// An analysis: its facts and its sample buffer (the 46-byte wave header, then the samples),
// which has one owner. The buffer stays locked while the renderer or a playback reads it.
struct AnalysisState : AnalysisFacts {
  GlobalBlock sampleBuffer;
};

// `to` takes the facts of `from` and its sample buffer; `from` keeps its facts and holds no
// buffer any more. What `to` held before is freed.
void HandOverAnalysis(AnalysisState& from, AnalysisState& to);

AnalysisState& Analysis();

// The analysis "&Change" set aside when it first re-analysed, with everything "&Restore"
// needs to show it again: its display bitmap, its sample buffer (inside `analysis`), the
// view's scroll state and the settings it was made with.
struct HeldAnalysis {
  DisplayBitmap bitmap;
  AnalysisState analysis;
  ViewState view;
  AnalysisSettings settings;
};

// Valid while AnalysisSetAside() is set.
HeldAnalysis& SetAsideAnalysis();

// The bits the information panel names: the file's own resolution (12, 24, 32, 64 ...) when the
// analysis reads its samples whole, else the analysis's 8 or 16 (what `info` reports too).
inline int PanelBits(const AnalysisState& a) {
  return PanelResolution(a.source, a.format.bitsPerSample);
}

// The length the information panel names: the data's own bytes for the span held, which for a
// decoded file are not those of its 16-bit copy in the sample buffer (a 24-bit span is half as
// long again, a float one twice as long).
inline uint32_t PanelLength(const AnalysisState& a) {
  const uint64_t bytes = SourceBytesOf(a.dataLength, a.source);
  return bytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(bytes);
}

// The analysis shown and the one "&Change" set aside: one owner, so that the samples and
// the bitmap of either are released exactly once.
struct Analyses {
  AnalysisState shown;
  HeldAnalysis held;
};
Analyses& WindowAnalyses();

// What the owners hold, asked of them instead of kept in flags beside them.
inline bool SampleBufferHeld() { return Analysis().sampleBuffer.get() != nullptr; }
inline bool AnalysisSetAside() { return SetAsideAnalysis().bitmap.exists(); }
inline bool DataPresent() { return Analysis().columnCount > 0; }

}  // namespace hl
