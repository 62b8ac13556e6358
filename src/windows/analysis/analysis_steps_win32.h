// The steps "&Analyze File" (file_analysis_win32.cpp) shares with Parameters "&Change" and
// "&Restore" (parameters_change_win32.cpp): what an analysis holds, the fallback to the
// low-resolution scan, and the render of a loaded span.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/analysis/analysis_settings.h"
#include "windows/base/analysis_win32.h"
#include "core/analysis/column_geometry.h"
#include "core/base/messages.h"
#include "core/files/wave_format.h"

namespace hl {

// A file's span as the analysis commands plan it.
struct LoadedSpan {
  std::string path;       // the file the samples came from
  WaveHeaderInfo header;  // what the file's header said, in the analysis's terms
  SampleLayout source;    // the file's own format
  std::string coding;     // a compressed file's, for the information panel; empty for a wave file
  ColumnGeometry geometry;
};

// The buttons of an analysis that is shown and not running.
void EnableButtonsForShownAnalysis();
// The scroll bars set from the shown analysis's columns and the view's vertical range.
void SetHorizontalScrollRange();
void SetVerticalScrollBar();

// Releases the analysis "&Change" set aside: its bitmap and its sample buffer.
void ReleaseHeldAnalysis();
// The display bitmap destroyed; the sample buffer freed and counted out.
void ReleaseDisplay();
void ReleaseSampleBuffer();
// `block` replaced by a new zero-filled sample buffer of `byteCount` sample bytes behind the
// 46-byte header; false (nothing held) when the memory is refused.
bool AllocateSampleBlock(GlobalBlock& block, uint32_t byteCount);
// Moves the shown analysis aside as the point "&Restore" returns to, with the settings it
// was made with.
void SetShownAnalysisAside(const AnalysisSettings& madeWith);
// Everything an analysis holds goes, and the window returns to idle.
void ReturnToIdle(HWND window);

// The header facts of the file at `path`; false when the file cannot be opened.
bool ReadHeaderOf(const std::string& path, WaveHeaderInfo& header);
// The span's image does not fit in memory: the file is scanned at low resolution instead.
void LowResolutionFallback(HWND window, const LoadedSpan& span, bool afterBitmapCheck);
// The refusals of the column geometry: the message, then back to the analysis before.
bool RefuseGeometry(HWND window, Message refusal);
// The loaded sample buffer becomes an image: bitmap, scroll bars, the render, the result.
void RenderLoadedSpan(HWND window);
// Its steps, for "&Analyze File", which reads the samples while the bitmap is made: the
// display bitmap made, cleared and shown with the view placed for the render (false when
// it cannot be had); the refusal then; the render into it and the result.
struct DisplayRequest {
  int columns = 0;
  int fftOrder = 9;
};
bool PrepareDisplay(HWND window, const DisplayRequest& request);
// The request of the analysis about to be drawn (which is shown in "Scroll").
DisplayRequest DisplayRequestOfAnalysis();
void RefuseDisplay(HWND window);
void RenderIntoDisplay(HWND window);

}  // namespace hl
