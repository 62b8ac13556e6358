// The decoding of a build without a decoder library (the static 32-bit Linux build): every
// compressed file is refused by name, never read as headerless samples.
#include "cli/output_file.h"
#include "cli/sound_decoder.h"
#include "core/base/messages.h"

namespace hl {

DecodeResult DecodeSound(const std::string& path, const ReadBytesAt&, uint64_t, SoundContainer, DecodedSound&) {
  DecodeResult result;
  result.message = std::string(MessageText(Message::UndecodableSound)) + ": " + InputName(path) +
                   ": this build of harrowlight-cli has no decoder for FLAC, MP3, Ogg Vorbis or Opus";
  return result;
}

}  // namespace hl
