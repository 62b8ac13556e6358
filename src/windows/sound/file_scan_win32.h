// "&Scan File": a wave file played through the sound card from a ring of two halves while
// its time–frequency image is drawn in step with the sound; the "Scan Wave File" dialog;
// the hand-over of the stretch around the stopping point to the file analysis.
// The command handler OnScanFile is declared in sound_commands_win32.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/files/wave_format.h"
#include "core/sound/playback.h"
#include "windows/base/handles_win32.h"
#include "windows/base/sound_source_win32.h"

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

// The scan's state: the file, its facts, the ring and the playback header block.

struct FileScan {
  SoundFile file;  // the file, or a compressed file's decoded WAV image
  std::string path;
  std::string title;
  WaveHeaderInfo facts;  // as read from the file's first 2048 bytes, in the analysis's terms
  SampleLayout source;   // the file's own format: a decoded one plays as its 16-bit samples
  std::vector<uint8_t> sourceBytes;  // a decoded file's bytes of one refill
  uint32_t rate = 0;
  uint16_t bits = 16;
  uint16_t channels = 1;
  uint32_t bytesPerSample = 2;
  uint32_t frameBytes = 2;
  uint64_t firstByte = 0;  // file position of the first sample
  uint32_t dataLength = 0;
  LockedBlock header;  // the 46-byte wave header the device is opened with
  LockedBlock ring;
  RingLayout layout;
  RefillState refill;
  FileScanReport report;  // the last scan's counts, for the analysis at the stopping point
  FileScanFaults faults;
};
FileScan& Scan();

}  // namespace hl
