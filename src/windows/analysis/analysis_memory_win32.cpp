// What an analysis holds: the display bitmap, the sample buffer and the analysis "&Change"
// set aside; their release, back to idle, and at the window's close.
#include "windows/analysis/analysis_steps_win32.h"

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

// Releases the analysis "&Change" set aside: its bitmap and its sample buffer.
void ReleaseHeldAnalysis() {
  if (!AnalysisSetAside()) return;
  SetAsideAnalysis() = HeldAnalysis();
}

void ReleaseDisplay() {
  if (Display().exists()) DestroyDisplayBitmap();
}

void ReleaseSampleBuffer() {
  StopColumnWorkers();  // they read the samples
  AnalysisState& a = Analysis();
  a.sampleBuffer.Free();
  a.waveDataFlag = false;
}

bool AllocateSampleBlock(GlobalBlock& block, uint32_t byteCount) {
  return block.Allocate(static_cast<size_t>(byteCount) + kWaveHeaderLength);
}

// Moves the shown analysis aside as the point "&Restore" returns to, with the settings it
// was made with.
void SetShownAnalysisAside(const AnalysisSettings& madeWith) {
  HeldAnalysis& held = SetAsideAnalysis();
  held.bitmap = std::move(Display());
  HandOverAnalysis(Analysis(), held.analysis);
  held.view = View();
  held.settings = madeWith;
}

// Everything an analysis holds goes, and the window returns to idle (a cancelled
// "&Analyze File", a "&Restore" on a low-memory machine, a render without memory).
void ReturnToIdle(HWND window) {
  ReleaseDisplay();
  ReleaseHeldAnalysis();
  ReleaseSampleBuffer();
  SetButtons(ButtonsState::Off);
  AnalysisState& a = Analysis();
  a.format.bitsPerSample = 0;
  a.format.sampleRate = 0;
  a.dataLength = 0;
  a.columnCount = 0;
  a.restorePoint = false;
  a.coding.clear();
  ReleaseDecodedSounds(std::string());
  // Nothing is held any more: the panel must not go on naming the file that was.
  DrawInfoPanel(window, 0, 0, 0);
  OperatingMode& mode = Mode();
  mode.fileAnalysisInProgress = 0;
  mode.rendering = 0;
  mode.fileScanPlaybackActive = 0;
  mode.playbackActive = 0;
  View().horizontalOffset = 0;
  SetHorizontalScrollRange();
  SetMenuState(window, MenuState::Idle);
  SetWindowTextW(window, Wide(kCaption).c_str());
  RedrawView(window, false);
  InvalidateRect(window, nullptr, FALSE);
}

void ReleaseAnalysisForClose() {
  ReleaseDisplay();
  if (!Mode().lowMemory) ReleaseHeldAnalysis();
  ReleaseSampleBuffer();
}

}  // namespace hl
