// harrowlight-cli.exe decodes compressed sound with the system's Media Foundation, the same
// module the program uses (windows/base/media_foundation_win32.cpp).
#include "cli/sound_decoder.h"

#include <windows.h>

#include <memory>
#include <new>

#include "cli/output_file.h"
#include "core/base/messages.h"
#include "windows/base/media_foundation_win32.h"
#include "windows/base/wide_text_win32.h"

namespace hl {

namespace {

// A file Media Foundation can open by name, holding bytes that have none (standard input's
// copy); deleted when it goes.
class NamedCopy {
 public:
  ~NamedCopy() {
    if (!name_.empty()) DeleteFileW(name_.c_str());
  }
  bool Write(const ReadBytesAt& read, uint64_t size) {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"hl", 0, name)) return false;
    name_ = name;
    HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    constexpr size_t kBlock = 1 << 20;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[kBlock]);
    bool ok = block != nullptr;
    for (uint64_t at = 0; ok && at < size;) {
      const size_t want = size - at < kBlock ? static_cast<size_t>(size - at) : kBlock;
      const size_t got = read(at, block.get(), want);
      DWORD wrote = 0;
      ok = got == want && WriteFile(file, block.get(), static_cast<DWORD>(got), &wrote, nullptr) && wrote == got;
      at += got;
    }
    CloseHandle(file);
    return ok;
  }
  std::string Name() const { return Utf8(name_); }

 private:
  std::wstring name_;
};

}  // namespace

DecodeResult DecodeSound(const std::string& path, const ReadBytesAt& read, uint64_t size, SoundContainer kind,
                         DecodedSound& out) {
  DecodeResult result;
  NamedCopy copy;
  std::string source = path;
  if (path == "-") {
    if (!copy.Write(read, size)) {
      result.message = std::string(MessageText(Message::ErrorWritingFile)) + ": the copy of standard input";
      return result;
    }
    source = copy.Name();
  }
  const MediaDecodeResult decoded = DecodeWithMediaFoundation(source, kind, out, DecodeProgress());
  result.ok = decoded.ok;
  if (!decoded.ok) result.message = decoded.message + ": " + InputName(path);
  return result;
}

}  // namespace hl
