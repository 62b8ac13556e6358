#include "windows/base/sound_source_win32.h"

#include <cstring>
#include <map>
#include <utility>

#include "windows/base/wide_text_win32.h"

namespace hl {

void HoldDecodedSound(const std::string& path, DecodedSound&& sound, const std::string& keep) {
  ReleaseDecodedSounds(keep);
  DecodedSounds()[path] = std::move(sound);
}

const DecodedSound* HeldDecodedSound(const std::string& path) {
  const auto found = DecodedSounds().find(path);
  return found == DecodedSounds().end() ? nullptr : &found->second;
}

void ReleaseDecodedSounds(const std::string& keep) {
  auto& held = DecodedSounds();
  for (auto it = held.begin(); it != held.end();) {
    it = it->first == keep ? std::next(it) : held.erase(it);
  }
}

uint64_t HeldDecodedBytes() {
  uint64_t bytes = 0;
  for (const auto& entry : DecodedSounds()) bytes += entry.second.wave.size();
  return bytes;
}

uint64_t BudgetBesideDecoded(uint64_t budget) {
  const uint64_t held = HeldDecodedBytes();
  return budget > held ? budget - held : 0;
}

bool SoundFile::Open(const std::string& path, DWORD accessHint) {
  Close();
  memory_ = HeldDecodedSound(path);
  if (memory_) return true;
  file_ = FileHandle(CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, accessHint, nullptr));
  return file_.valid();
}

void SoundFile::Close() {
  file_.Close();
  memory_ = nullptr;
  position_ = 0;
}

uint64_t SoundFile::Size() const {
  if (memory_) return memory_->wave.size();
  LARGE_INTEGER size{};
  if (!file_.valid() || !GetFileSizeEx(file_.get(), &size)) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

size_t SoundFile::ReadAt(uint64_t offset, uint8_t* out, size_t count) const {
  if (memory_) {
    const uint64_t size = memory_->wave.size();
    if (offset >= size) return 0;
    const size_t n = size - offset < count ? static_cast<size_t>(size - offset) : count;
    std::memcpy(out, memory_->wave.data() + offset, n);
    return n;
  }
  if (!file_.valid()) return 0;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN)) return 0;
  size_t total = 0;
  while (total < count) {
    const size_t left = count - total;
    const DWORD want = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(file_.get(), out + total, want, &got, nullptr) || got == 0) break;
    total += got;
  }
  return total;
}

size_t SoundFile::Read(uint8_t* out, size_t count) {
  const size_t got = ReadAt(position_, out, count);
  position_ += got;
  return got;
}

ReadBytesAt SoundFile::Bytes() const {
  return [this](uint64_t offset, uint8_t* out, size_t count) { return ReadAt(offset, out, count); };
}

}  // namespace hl
