#include "cli/sound_input.h"

#include <cstring>
#include <new>

#include "cli/option_values.h"
#include "cli/render_command.h"
#include "cli/sound_decoder.h"
#include "core/base/messages.h"

namespace hl {

bool NamedCompressed(const std::string& path) {
  const std::string ext = LowerExtension(path);
  return ext == ".flac" || ext == ".mp3" || ext == ".ogg" || ext == ".oga" || ext == ".opus";
}

std::string InputSource::Take(const std::string& path, uint64_t fileSize) {
  path_ = path;
  size_ = fileSize;
  decoded_.reset();
  const ReadBytesAt read = FileBytes(path);
  const SoundContainer kind = SniffContainer(read, fileSize);
  if (kind == SoundContainer::Wave) return "";
  if (kind == SoundContainer::Unknown) {
    // Bytes of no known container are headerless samples, unless the name promises a
    // compressed file: that one is damaged, and its bytes would only make an image of noise.
    if (!NamedCompressed(path)) return "";
    return std::string(MessageText(Message::UndecodableSound)) + ": " + InputName(path) +
           ": its bytes are not FLAC, MP3, Ogg Vorbis or Opus, whatever its name says";
  }
  std::shared_ptr<DecodedSound> sound;
  try {
    sound = std::make_shared<DecodedSound>();
  } catch (const std::bad_alloc&) {
    return MessageText(Message::NotEnoughMemory);
  }
  const DecodeResult result = DecodeSound(path, read, fileSize, kind, *sound);
  if (!result.ok) return result.message;
  size_ = sound->wave.size();
  decoded_ = sound;
  return "";
}

ReadBytesAt InputSource::Bytes() const {
  if (!decoded_) return FileBytes(path_);
  // The reader keeps the image alive however long it is kept.
  std::shared_ptr<const DecodedSound> sound = decoded_;
  return [sound](uint64_t offset, uint8_t* out, size_t count) {
    return MemoryBytes(sound->wave.data(), sound->wave.size())(offset, out, count);
  };
}

bool InputSource::Open(const std::string& path) { return decoded_ ? true : file_.Open(path); }

void InputSource::Close() {
  file_.Close();
  decoded_.reset();
}

bool InputSource::ReadAt(uint64_t offset, size_t count, uint8_t* out) const {
  if (!decoded_) return file_.ReadAt(offset, count, out);
  const std::vector<uint8_t>& wave = decoded_->wave;
  if (offset > wave.size() || count > wave.size() - offset) return false;
  std::memcpy(out, wave.data() + offset, count);
  return true;
}

}  // namespace hl
