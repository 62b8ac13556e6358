#include "windows/files/compressed_open_win32.h"

#include <vector>

#include "core/files/decoded_sound.h"
#include "core/files/sound_coding.h"
#include "windows/base/handles_win32.h"
#include "windows/base/media_foundation_win32.h"
#include "windows/base/menu_state_win32.h"
#include "windows/base/operating_mode_win32.h"
#include "windows/base/sound_source_win32.h"
#include "windows/base/wide_text_win32.h"

namespace hl {

namespace {

// Enough for an ID3 tag's size field and the first MPEG frame after a tag of its usual size.
constexpr DWORD kSniffBytes = 65536;

std::vector<uint8_t> FirstBytes(const std::string& path) {
  FileHandle file(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return {};
  std::vector<uint8_t> head(kSniffBytes);
  DWORD got = 0;
  if (!ReadFile(file.get(), head.data(), kSniffBytes, &got, nullptr)) got = 0;
  head.resize(got);
  return head;
}

// The name after the last folder separator, for the caption.
std::string ShortName(const std::string& path) {
  const size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Hands the window every waiting message, so "Stop", Esc and painting are answered while the
// decoding runs; false when the program is quitting (the WM_QUIT is put back).
bool AnswerMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

// The window's caption while the decoding runs, put back when it ends.
class DecodingCaption {
 public:
  DecodingCaption(HWND window, const std::string& name) : window_(window), name_(name) {
    wchar_t previous[512] = {};
    GetWindowTextW(window, previous, 512);
    previous_ = previous;
  }
  ~DecodingCaption() { SetWindowTextW(window_, previous_.c_str()); }
  DecodingCaption(const DecodingCaption&) = delete;
  DecodingCaption& operator=(const DecodingCaption&) = delete;

  void Show(int percent) {
    if (percent == shown_) return;
    shown_ = percent;
    SetWindowTextW(window_, Wide("Decoding " + name_ + ": " + std::to_string(percent) + "%").c_str());
  }

 private:
  HWND window_;
  std::string name_;
  std::wstring previous_;
  int shown_ = -1;
};

}  // namespace

CompressedOpenResult DecodeIfCompressed(HWND window, HWND stopButton, const std::string& path,
                                        const std::string& keep) {
  CompressedOpenResult result;
  const std::vector<uint8_t> head = FirstBytes(path);
  const SoundContainer kind = SniffContainer(head.data(), head.size());
  if (kind == SoundContainer::Unknown) {
    // Read as headerless samples it would be a picture of noise: the name said otherwise.
    const SoundCodec named = CodecOfName(path);
    if (named != SoundCodec::Unknown && !head.empty()) {
      result.outcome = CompressedOpen::Refused;
      result.message = NotThatCodingText(named);
    }
    return result;
  }
  if (kind == SoundContainer::Wave) return result;

  OperatingMode& mode = Mode();
  mode.stopRequest = 0;
  EnableButton(stopButton, true);
  DecodedSound sound;
  MediaDecodeResult decoded;
  {
    DecodingCaption caption(window, ShortName(path));
    caption.Show(0);
    decoded = DecodeWithMediaFoundation(path, kind, sound, [&caption, &mode](double fraction) {
      caption.Show(static_cast<int>(fraction * 100.0));
      return AnswerMessages() && !mode.stopRequest;
    });
  }
  EnableButton(stopButton, false);
  if (decoded.cancelled) {
    result.outcome = CompressedOpen::Cancelled;
    return result;
  }
  if (!decoded.ok) {
    result.outcome = CompressedOpen::Refused;
    result.message = decoded.message;
    return result;
  }
  HoldDecodedSound(path, std::move(sound), keep);
  result.outcome = CompressedOpen::Decoded;
  return result;
}

}  // namespace hl
