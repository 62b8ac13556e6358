#include "core/base/messages.h"

#include "core/base/limits.h"

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

std::string LimitText(Limit limit) {
  const auto range = [](long long low, long long high, const char* unit) {
    return std::to_string(low) + ".." + std::to_string(high) + " " + unit;
  };
  switch (limit) {
    case Limit::TimeScaleRange: return range(kShortestTimeScaleMs, kLongestTimeScaleMs, "ms");
    case Limit::LongestTimeScale: return std::to_string(kLongestTimeScaleMs) + " ms";
    case Limit::ShortestWindow: return std::to_string(kShortestWindowMs) + " ms";
    case Limit::SampleRateRange: return range(kLowestSampleRate, kHighestSampleRate, "Hz");
    case Limit::FileRateRange: return range(kLowestSampleRate, kHighestFileRate, "Hz");
    case Limit::HighestFileRate: return std::to_string(kHighestFileRate) + " Hz";
    case Limit::ShortestFile: return std::to_string(kShortestFileBytes);
  }
  return "";
}

}  // namespace hl
