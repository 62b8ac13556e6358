#include "core/files/file_chooser.h"

namespace hl {

namespace {

constexpr unsigned kOpenFlags = kChooserCreatePrompt | kChooserHideReadOnly;    // 0x2004
constexpr unsigned kSaveFlags = kChooserOverwritePrompt | kChooserHideReadOnly;  // 6

// The open filter ends with one "|", the save filters with two: the open list therefore
// ends right after "*.*", the save lists carry one more empty string, which the dialog
// never reads.
// The open list's first filter takes the compressed files the system decodes as well.
const ChooserSpec kOpenWave = {false, "Open WAV File",
                               "Audio files (*.wav;*.flac;*.mp3;*.ogg;*.oga;*.opus)|"
                               "*.wav;*.flac;*.mp3;*.ogg;*.oga;*.opus|"
                               "Wave Files (*.wav)|*.wav|All Files (*.*)|*.*|",
                               kOpenFlags, nullptr};
const ChooserSpec kSaveBitmap = {true, "Save Bitmap",
                                 "Bitmap Files (*.bmp)|*.bmp|PNG Files (*.png)|*.png|All Files (*.*)|*.*||",
                                 kSaveFlags, "bmp"};
const ChooserSpec kSaveWave = {true, "Save Windows Wave File",
                               "Wave Files (*.wav)|*.wav|All Files (*.*)|*.*||", kSaveFlags,
                               "wav"};
const ChooserSpec kSaveDataLog = {true, "Save Data Log",
                                  "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||", kSaveFlags,
                                  "txt"};

}  // namespace

const ChooserSpec& ChooserSpecOf(ChooserKind kind) {
  switch (kind) {
    case ChooserKind::OpenWave:
      return kOpenWave;
    case ChooserKind::SaveBitmap:
      return kSaveBitmap;
    case ChooserKind::SaveWave:
      return kSaveWave;
    case ChooserKind::SaveDataLog:
      return kSaveDataLog;
  }
  return kOpenWave;  // not reached for a valid kind
}

void PrepareFilter(char* text) {
  if (text == nullptr) return;
  for (char* p = text;; ++p) {
    if (*p == '|') {
      *p = '\0';
    } else if (*p == '\0') {
      return;
    }
  }
}

}  // namespace hl
