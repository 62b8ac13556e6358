// "&Scan File": a wave file played through the sound card from a ring of two halves while
// its time–frequency image is drawn in step with the sound; the "Scan Wave File" dialog;
// the hand-over of the stretch around the stopping point to the file analysis.
// The command handler OnScanFile is declared in sound_commands_win32.h.
#pragma once

#include <windows.h>

#include <cstdint>

namespace hl {

// MM_WOM_DONE of the file scan's playback (and the close step): sets the stop request,
// closes the output device and frees its header, the ring and the playback header block,
// and clears the file-scan playback flag.
void FinishFileScanOutput();

// What the last scan left, for the tests and the readouts.
struct FileScanReport {
  uint64_t bytesRead = 0;   // bytes read from the file into the ring
  uint32_t ringBytes = 0;
  int32_t columns = 0;      // columns drawn
  uint32_t refills = 0;     // halves read while playing (the first half not counted)
  bool endOfFile = false;
  uint32_t stopBeginMs = 0, stopEndMs = 0;
};
const FileScanReport& LastFileScan();

// Faults the end-to-end tests provoke: the transform's tables refused at the loop's start,
// as when memory runs out.
struct FileScanFaults {
  bool failTransformSetup = false;
};
FileScanFaults& ScanFaults();

}  // namespace hl
