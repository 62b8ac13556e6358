#include "core/base/messages.h"

namespace hl {

namespace {

struct MessageRow {
  Message message;
  const char* text;
  MessageIcon icon;
};

constexpr MessageRow kMessages[] = {
    {Message::None, "", MessageIcon::Exclamation},
    {Message::ImproperEntry, "Improper Entry", MessageIcon::Hand},
    {Message::TimeScaleTooSmall, "Time Scale Too Small", MessageIcon::Hand},
    {Message::SampleSizeTooSmall, "Sample Size Too Small", MessageIcon::Hand},
    {Message::ImproperBeginOrEnd, "Improper Begin or End", MessageIcon::Hand},
    {Message::TimeScaleOutOfRange, "Time Scale Out of Range", MessageIcon::Hand},
    {Message::FftWindowTooSmall, "FFT Window Too Small", MessageIcon::Hand},
    {Message::SampleRateOutOfRange, "Sample Rate Out of Range", MessageIcon::Hand},
    {Message::ErrorWritingFile, "Error Writing File", MessageIcon::Hand},
    {Message::NotEnoughMemoryForBitmap, "Not Enough Memory For Bitmap", MessageIcon::Hand},
    {Message::BitmapError, "Bitmap Error", MessageIcon::Hand},
    {Message::CannotOpenFile, "Cannot Open File", MessageIcon::Exclamation},
    {Message::NotPcmWaveFormat, "File may not be PCM Wave Format", MessageIcon::Exclamation},
    {Message::NotEnoughMemory, "Not enough memory", MessageIcon::Exclamation},
    {Message::NotEnoughDisplayMemory, "Not enough display memory", MessageIcon::Exclamation},
    {Message::RecordingLimitReached,
     "Recording stopped: a wave file cannot hold more than 4 GB. Everything recorded up to then is in the file.",
     MessageIcon::Exclamation},
    {Message::NoFmtChunk, "No fmt chunk in the file", MessageIcon::Exclamation},
    {Message::UnreadableFmtChunk, "Unreadable fmt chunk in the file", MessageIcon::Exclamation},
    {Message::NoDataChunk, "No data chunk in the file", MessageIcon::Exclamation},
    {Message::InconsistentFormat, "Inconsistent format in the file", MessageIcon::Exclamation},
    {Message::UndecodableSound, "Cannot decode the sound in the file", MessageIcon::Exclamation},
};

const MessageRow& RowOf(Message message) {
  for (const MessageRow& row : kMessages) {
    if (row.message == message) return row;
  }
  return kMessages[0];
}

}  // namespace

const char* MessageText(Message message) { return RowOf(message).text; }

MessageIcon MessageIconOf(Message message) { return RowOf(message).icon; }

}  // namespace hl
