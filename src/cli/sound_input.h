// An input as the commands read it. A WAV (or headerless) file is read from its own bytes; a
// compressed one (FLAC, MP3, Ogg Vorbis, Opus, told by its first bytes, never its name) is
// decoded once to the WAV image of its samples, and that image is read instead, so the same
// header reader and column renderer make its time–frequency image.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cli/output_file.h"
#include "core/files/decoded_sound.h"
#include "core/files/wave_format.h"

namespace hl {

// True for the names compressed sound files have: .flac, .mp3, .ogg, .oga, .opus (any case).
// A batch's folder walk takes them beside .wav; the name never decides how a file is read.
bool NamedCompressed(const std::string& path);

class InputSource {
 public:
  // Sniffs the input (`fileSize` bytes, as FileSizeOf gave them) and decodes it when it is
  // compressed. "" when it can be read; else the one line that says why not.
  std::string Take(const std::string& path, uint64_t fileSize);
  // The bytes the readers see: the file's, or the decoded WAV image's.
  uint64_t Size() const { return size_; }
  ReadBytesAt Bytes() const;
  // The decoded sound, or null for a file read as it is.
  const DecodedSound* Decoded() const { return decoded_.get(); }

  // For the chunk by chunk reads of a render: the file opened (nothing to open for a decoded
  // image), read by range from any thread, and closed, which lets the decoded image go.
  bool Open(const std::string& path);
  void Close();
  bool ReadAt(uint64_t offset, size_t count, uint8_t* out) const;

 private:
  std::string path_;
  uint64_t size_ = 0;
  std::shared_ptr<const DecodedSound> decoded_;
  InputFile file_;
};

}  // namespace hl
