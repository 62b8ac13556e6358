#include "windows/program/program_state_win32.h"

namespace hl {

ProgramState& Program() {
  static ProgramState program;
  return program;
}

int& AllocationCount() { return Program().allocations; }
MainWindowState& MainWindow() { return Program().window; }
OperatingMode& Mode() { return Program().mode; }
AnalysisSettings& Settings() { return Program().settings; }
Analyses& WindowAnalyses() { return Program().analyses; }
DisplayBitmap& Display() { return Program().display; }
ViewState& View() { return Program().view; }
DecodedSoundsByPath& DecodedSounds() { return Program().decodedSounds; }
DrawingObjects& Drawing() { return Program().drawing; }
ReadoutState& Readout() { return Program().readout; }
ColorsDialogState& ColorsDialog() { return Program().colorsDialog; }
RenderState& Render() { return Program().render; }
DataLogState& DataLog() { return Program().dataLog; }
FileChooser& Chooser() { return Program().chooser; }
CaptureState& Capture() { return Program().capture; }
FileScan& Scan() { return Program().scan; }

}  // namespace hl
