// The bytes of a sound file as "&Analyze File", its re-analyses, "&Scan File" and "Save &Wave"
// read them: the file on disk, or, for a compressed file (FLAC, MP3, Ogg Vorbis, Opus)
// decoded when it was opened, the WAV image of its samples held in memory under its path.
// Every reader opens the path through SoundFile, so a decoded file is read exactly as a wave
// file of the same samples would be.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "core/files/decoded_sound.h"
#include "core/files/wave_format.h"
#include "windows/base/handles_win32.h"

namespace hl {

// Holds `sound` as the bytes of `path` from now on. Of the images held before, only the one
// of `keep` (the file the window shows, which a refused new file must leave readable) stays.
void HoldDecodedSound(const std::string& path, DecodedSound&& sound, const std::string& keep);

// The image held for `path`; nullptr for a file read from disk.
const DecodedSound* HeldDecodedSound(const std::string& path);

// Lets every image go but the one of `keep` (empty: all of them).
void ReleaseDecodedSounds(const std::string& keep);

// Bytes the held images take: the memory budget of an analysis is what is left beside them.
uint64_t HeldDecodedBytes();
uint64_t BudgetBesideDecoded(uint64_t budget);

class SoundFile {
 public:
  // Opens `path` for reading (`accessHint` as CreateFileW takes it) or its held image.
  bool Open(const std::string& path, DWORD accessHint);
  bool valid() const { return memory_ != nullptr || file_.valid(); }
  void Close();
  uint64_t Size() const;
  // Up to `count` bytes from `offset`; fewer only at the end or when the read fails.
  size_t ReadAt(uint64_t offset, uint8_t* out, size_t count) const;
  // The same from the position a Seek set and the reads since moved on.
  size_t Read(uint8_t* out, size_t count);
  void Seek(uint64_t offset) { position_ = offset; }
  // ReadAt as a ReadBytesAt, for the header readers; valid while this file is open.
  ReadBytesAt Bytes() const;

 private:
  FileHandle file_;
  const DecodedSound* memory_ = nullptr;
  uint64_t position_ = 0;
};

// The decoded images held, by path. std::map keeps each DecodedSound in place as others come
// and go, so an open SoundFile's pointer stays good until its own image is let go.
using DecodedSoundsByPath = std::map<std::string, DecodedSound>;
DecodedSoundsByPath& DecodedSounds();

}  // namespace hl
