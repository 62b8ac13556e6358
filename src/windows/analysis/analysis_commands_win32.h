// The analysis's commands: "&Analyze File", the parameters' "&Change" and "&Restore", the FFT sizes.
#pragma once

#include <windows.h>

#include "core/analysis/analysis_settings.h"

namespace hl {

void OnAnalyzeFile(HWND window, LPARAM lParam);
void OnParametersChange(HWND window, LPARAM lParam);
void OnParametersRestore(HWND window, LPARAM lParam);
void OnFftSize512(HWND window, LPARAM lParam);
void OnFftSize1024(HWND window, LPARAM lParam);
void OnFftSize2048(HWND window, LPARAM lParam);

// How "&Analyze File" starts; the lParam of its command, which a given file's start posts.
enum class AnalysisStart : LPARAM {
  ChooseFile = 0,  // the open dialog asks for the file
  FileChosen = 1,  // the open path is set already: a given, dropped or recorded file
  AfterScan = 2,   // the span a file scan stopped at, in the analysis's begin and end ms
};
void AnalyzeFile(HWND window, AnalysisStart start);

// What "&Change" offers in its dialog: the data shown, or the span selected with the mouse
// (the analysis's selection ms).
enum class ChangeOffer { Shown, Selection };
void ChangeParameters(HWND window, ChangeOffer offer);

// Back to the analysis set aside before the last "&Change".
void RestoreAnalysis(HWND window);

// The FFT size of the next analysis, its menu check and the window height it needs.
void ApplyFftSize(HWND window, FftSize size);

// The analysis's part of closing the window: display bitmap, kept full-resolution image,
// sample buffer.
void ReleaseAnalysisForClose();

}  // namespace hl
