// The RIFF WAVE layout as Harrowlight reads and writes it.
//
// A file that begins "RIFF", "RF64" or "BW64" and has the form type "WAVE" is read by walking
// its chunk list (WalkWaveChunks): chunks in any order, of any size and number. Any other file
// is headerless data for the program: the first 2048 bytes are searched for the "fmt " and
// "data" tags (ReadWaveHeader), and a file in which they are not found is read as raw 16-bit
// mono 11025 Hz samples.
// Writing always produces the program's own 46-byte header (fmt chunk of 18 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/base/limits.h"
#include "core/base/messages.h"
#include "core/samples/frame_decoder.h"

namespace hl {

struct WaveFormat {
  uint16_t formatTag = 1;  // 1 = PCM; read only to warn
  uint16_t channels = 1;   // interleaved channels per sample frame
  uint32_t sampleRate = 11025;
  uint16_t bitsPerSample = 16;

  // bits per sample / 8, integer division.
  int BytesPerSample() const;
  // channels × bits per sample / 8, integer division: the size of one sample frame in bytes.
  // Computed in 64 bits, so any pair of 16-bit fields gives a value that fits an int.
  int BlockAlign() const;
};

struct WaveHeaderInfo {
  WaveFormat format;
  bool wavFlag = false;     // both tags found and the format usable
  uint64_t dataOffset = 0;  // file position of the first sample byte; 0 when wavFlag is clear
  uint32_t dataLength = 0;  // sample bytes from dataOffset; the file size when wavFlag is clear
  // Message::NotPcmWaveFormat when "File may not be PCM Wave Format" is due (the caller shows
  // it only when it reports, as "&Analyze File" does); Message::None otherwise.
  Message warning = Message::None;
};

// Reads the header of headerless data (a file that does not begin with RIFF/RF64 and WAVE,
// which ReadAnalysedWave walks instead) from `bytes`, the first min(2048, file size) bytes of
// the file; `count` is how many were read. Anything of the 2048-byte block beyond `count`
// reads as zero.
//
// The search, as the program has always done it:
//  - tags compare without regard to ASCII letter case; a NUL byte never matches;
//  - "fmt " is looked for at positions 0..511, "data" at positions p..p+1023 from the "fmt "
//    position p, each stopping at the first match;
//  - format record at p+8: tag +0, channels +2, rate +4, bits +14 (chunk sizes, the stored
//    average bytes per second and block align are ignored); data length is the 32-bit value
//    after "data", data offset = "data" position + 8;
//  - no "fmt ": raw fallback with the warning; "fmt " but no "data": raw fallback, no warning;
//  - both found with a format tag other than 1: the warning, and the values are used.
// Raw fallback: channels 1, 16 bits, 11025 Hz, offset 0, length = file size, wavFlag clear.
//
// Mended faults (these never come from a sound file, and trusting them crashed other readers):
//  - 0 channels: a frame of 0 bytes makes every caller's frame division fail -> warning, raw.
//  - bits 0, not a multiple of 8, or above 32: no whole-byte sample the analysis can step
//    over (and bits < 8 gives block align 0) -> warning, raw.
//  - sample rate 0: time to bytes divides by the rate -> warning, raw.
//  - data offset beyond the file size: there is no sample to read -> warning, raw.
//  - data length beyond the end of the file (0xFFFFFFFF included): clipped to
//    file size - data offset, so a caller never reads or allocates past the file.
//  - `count` above the file size: bytes past the file size are not part of the file and read
//    as zero, like the rest of a short block.
//  - a file of 4 GiB or more: the raw length is cut to 0xFFFFFFFF, the largest the field holds.
// Everything else is kept as read: a 24-bit or 32-bit file has wavFlag set with its own bits,
// any channel count from 1 to 65535 is kept, a data length of 0 stays 0.
// Invariant of the result: dataOffset + dataLength <= fileSize, and when wavFlag is set
// channels >= 1, sampleRate >= 1 and bitsPerSample is 8, 16, 24 or 32.
WaveHeaderInfo ReadWaveHeader(const uint8_t* bytes, size_t count, uint64_t fileSize);

// The bytes of the file being read: up to `count` bytes from `offset` into `out`; returns how
// many were read (fewer only at the end of the file or when the read fails).
using ReadBytesAt = std::function<size_t(uint64_t offset, uint8_t* out, size_t count)>;

// A reader over `count` bytes in memory; what lies past them reads as nothing.
ReadBytesAt MemoryBytes(const uint8_t* bytes, size_t count);

enum class WaveContainer : uint8_t { None, Riff, Rf64, Rifx };

struct WaveChunk {
  char tag[5] = {};      // as stored, NUL-terminated
  uint64_t offset = 0;   // of the chunk's 8-byte header
  uint64_t size = 0;     // of its body, as stored (or as ds64 gives it)
};

constexpr size_t kFormatRecordBytes = 40;  // the longest record read: the extensible one
constexpr size_t kListedChunks = 256;      // chunks a walk keeps for a listing

// What walking a RIFF WAVE file found.
struct ChunkWalk {
  WaveContainer container = WaveContainer::None;  // None: not RIFF/RF64/BW64/RIFX with "WAVE"
  std::vector<WaveChunk> chunks;  // the first kListedChunks chunks, in file order
  uint64_t chunkCount = 0;        // every chunk walked
  bool hasFmt = false;
  uint64_t fmtSize = 0;
  size_t recordBytes = 0;                    // bytes of the record read (at most 40)
  uint8_t record[kFormatRecordBytes] = {};   // the first "fmt " chunk's body
  bool hasData = false;
  uint64_t dataOffset = 0;
  uint64_t dataLength = 0;  // clipped to the file
  bool toEnd = false;       // the data's size said "to the end of the file"
  bool readFailed = false;  // a read the file's size allows came back short
};

// Walks the chunks from byte 12: each chunk's body is followed by a pad byte when its size is
// odd (a writer that left the pad out is followed when only the unpadded position holds a
// chunk); RF64 and BW64 take the sizes stored as 0xFFFFFFFF from "ds64" (the data's from its
// own field, the others from its table). The first "fmt " and "data" count. A data size of
// 0xFFFFFFFF without a ds64 size, or of 0 when no chunk follows the data chunk's header (a
// stream whose writer never came back to fill the size in), means to the end of the file; an
// empty data chunk followed by another chunk stays empty. A data size past the end of the file
// is clipped to it. Chunk tags compare without regard to ASCII letter case.
ChunkWalk WalkWaveChunks(const ReadBytesAt& read, uint64_t fileSize);

// The samples of a file as the decoding readers see it.
//
// A RIFF WAVE file (WalkWaveChunks) is never read as raw samples: without a "fmt " chunk, with
// one too short to hold its record, or without a "data" chunk it is refused by `problem`. The
// sample container is block align / channels bytes (a block align of 0, which some writers
// leave unset, is taken as whole bytes for the bits); the bits may be fewer than the container
// holds (12 in 2, 20 in 3, 24 in 4: left-justified) and decode by the container's rule:
//  - Format tags: 1 PCM (containers of 1 to 4 bytes, at most 32 bits), 3 IEEE float (4 or 8
//    bytes), 6 A-law and 7 mu-law (1 byte); 0xFFFE (extensible) takes its tag from the first
//    two bytes of the sub-format GUID at record offset 24 and its valid bits from offset 18.
//  - Refused as inconsistent (problem InconsistentFormat): 0 channels, a rate of 0, a block
//    align that is not a whole number of bytes per channel, a container narrower than the
//    bits, valid bits above the container's, a float of other than 4 or 8 bytes.
//  - Refused by name: a big-endian "RIFX" file, any other format tag (ADPCM, MPEG, ...),
//    PCM of more than 32 bits, a known tag in a container it does not have.
// Any other file is read by ReadWaveHeader's tag search, as it always was: what it takes for a
// header it cannot read is the raw fallback with the warning; "fmt " without "data" is the raw
// fallback without it. Invariant: dataOffset + dataLength <= fileSize.
struct SampleLayout {
  SampleEncoding encoding = SampleEncoding::Pcm16;
  WaveContainer container = WaveContainer::None;
  uint16_t formatTag = 1;    // as stored (0xFFFE for extensible)
  uint16_t subFormat = 1;    // the tag that decides: formatTag, or the GUID's for extensible
  uint16_t channels = 1;
  uint32_t sampleRate = 11025;
  uint16_t bitsPerSample = 16;  // as stored
  uint16_t validBits = 16;      // the bits that carry the sound (extensible's field, else the stored bits)
  uint16_t blockAlign = 2;      // as stored
  uint16_t containerBytes = 2;  // one sample in the data
  bool wavFlag = false;
  bool rf64 = false;
  uint64_t dataOffset = 0;
  uint64_t dataLength = 0;
  Message warning = Message::None;  // NotPcmWaveFormat: headerless data whose tags the search could not use
  bool refused = false;             // not analysed: `problem`, or an encoding we do not decode
  Message problem = Message::None;  // NoFmtChunk, UnreadableFmtChunk, NoDataChunk, InconsistentFormat, CannotOpenFile
  char detail[96] = "";             // what is wrong, for InconsistentFormat and UnreadableFmtChunk
  char formatName[48] = "16-bit PCM";  // e.g. "24-bit PCM", "32-bit float", "IMA ADPCM"
  size_t recordBytes = 0;                   // the format record as the file has it, for Save Wave
  uint8_t record[kFormatRecordBytes] = {};

  int FrameBytes() const { return channels * EncodingBytes(encoding); }
};

SampleLayout ReadSampleLayout(const ReadBytesAt& read, uint64_t fileSize);
// The same, for a file whose first `count` bytes are `bytes` (nothing past them is read).
SampleLayout ReadSampleLayout(const uint8_t* bytes, size_t count, uint64_t fileSize);

// The one line that says why a refused layout is not analysed: the problem's message (with
// its detail after ": "), or "<format> files cannot be analysed".
std::string LayoutRefusalText(const SampleLayout& layout);

// The resolution the information panel shows for a file analysed at `analysedBits` (8 or 16):
// the file's own valid bits when the analysis reads its samples in their own containers or
// decodes them, else the bits the analysis chose (an 8-bit analysis of a 16-bit file).
int PanelResolution(const SampleLayout& layout, int analysedBits);

// A file as the program analyses it. The window keeps its samples at 8 or 16 bits, so an
// encoding it decodes is held as the 16-bit file of the same samples: `header` then says 16
// bits and counts the data in 16-bit samples, and the file's own bytes are found through
// SourceBytesOf. Headerless data gets exactly ReadWaveHeader's result, so its analyses do not
// change by a byte; a RIFF file's 8- and 16-bit containers are read as they are.
struct AnalysedWave {
  SampleLayout layout;    // the file's own format; `refused` when it cannot be analysed
  WaveHeaderInfo header;  // the format and data the analysis works with
  bool Decoded() const { return layout.wavFlag && !IsNativeEncoding(layout.encoding); }
};

AnalysedWave ReadAnalysedWave(const ReadBytesAt& read, uint64_t fileSize);
AnalysedWave ReadAnalysedWave(const uint8_t* bytes, size_t count, uint64_t fileSize);

// The file's own bytes that hold `analysedBytes` bytes of the analysis's samples: the same
// count for 8- and 16-bit data, analysedBytes / 2 samples of the file's width otherwise.
uint64_t SourceBytesOf(uint64_t analysedBytes, const SampleLayout& layout);

// The header "Save &Wave" writes before `dataLength` bytes of a decoded file's own samples,
// so they are saved unchanged: "RIFF", "WAVE", a "fmt " chunk with the file's own format
// record (layout.record) and "data". The record keeps the file's tag: PCM 16 bytes; float,
// A-law and mu-law 18 with an extra size of 0; extensible 40, its valid bits, channel mask and
// sub-format as the file has them. Byte rate and block align are computed from channels,
// container and rate. An RF64 file is saved as plain RIFF. Empty when the layout has no
// readable format record or the sizes do not fit the 32-bit fields.
std::vector<uint8_t> SourceWaveHeader(const SampleLayout& layout, uint64_t dataLength);

// Writes the 46-byte header at the start of `buffer` (which must hold 46 bytes):
// "RIFF", dataLength + 38, "WAVE", "fmt ", 18, format tag 1, channels, sample rate,
// average bytes per second = channels × bytes per sample × rate, block align = bytes per sample
// × channels, bits, extra-size 0, "data", dataLength. The format tag written is always 1:
// the samples the program keeps are PCM whatever the source file said.
// Fields whose true value does not fit their width (the 32-bit sizes and bytes per second,
// the 16-bit block align) are written as the field's largest value instead of wrapping round
// to a small, plausible-looking number.
void WriteWaveHeader(uint8_t* buffer, const WaveFormat& format, uint32_t dataLength);

// Rewrites the two size fields of a 46-byte header: dataLength + 38 at offset 4 (capped at
// 0xFFFFFFFF) and dataLength at offset 42; the other bytes are left as they are.
void SetWaveDataLength(uint8_t* header, uint32_t dataLength);

// `byteCount` cut down to a whole number of sample frames (what "Save &Wave" writes).
// A format whose frame has no bytes (block align 0) has no whole frame: the result is 0.
uint32_t WholeFrames(uint32_t byteCount, const WaveFormat& format);

}  // namespace hl
