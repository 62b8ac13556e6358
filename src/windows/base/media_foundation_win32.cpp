#include "windows/base/media_foundation_win32.h"

#include <windows.h>
// The headers after windows.h, in this order: mfidl.h needs mfobjects.h's types.
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "core/base/limits.h"
#include "core/files/sound_coding.h"
#include "core/files/wave_format.h"
#include "core/samples/frame_decoder.h"
#include "windows/base/wide_text_win32.h"

namespace hl {

namespace {

// The stream's average encoded bitrate in bits per second, a presentation attribute
// (mfidl.h of MinGW-w64 lacks it).
const GUID kAudioEncodingBitrate = {0x6c990d35, 0xbb8e, 0x477a, {0x85, 0x98, 0x0d, 0x5d, 0x96, 0xfc, 0xd8, 0x8a}};

constexpr DWORD kAudioStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
// The largest data a 32-bit RIFF size holds behind the program's 46-byte header.
constexpr uint64_t kLargestWaveData = 0xFFFFFFFFull - (kWaveHeaderLength - 8);

// Holds one COM interface and releases it.
template <typename T>
class Com {
 public:
  Com() = default;
  ~Com() { Reset(); }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** put() {
    Reset();
    return &p_;
  }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

// Media Foundation's entry points, looked up when a file is first decoded rather than
// imported: Windows N editions without the media features have no mfplat.dll, and a program
// importing it would not start there at all; this way it starts and says it has no decoder.
struct MediaFoundationApi {
  HRESULT(WINAPI* startup)(ULONG, DWORD) = nullptr;
  HRESULT(WINAPI* shutdown)() = nullptr;
  HRESULT(WINAPI* createMediaType)(IMFMediaType**) = nullptr;
  HRESULT(WINAPI* createSourceReaderFromUrl)(LPCWSTR, IMFAttributes*, IMFSourceReader**) = nullptr;
  bool loaded() const { return startup && shutdown && createMediaType && createSourceReaderFromUrl; }
};

template <typename F>
void Look(HMODULE module, const char* name, F& function) {
  // Through void*: FARPROC's type is not the function's.
  function = module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Loaded once, from the system folder only; the modules stay for the life of the process.
const MediaFoundationApi& Api() {
  static const MediaFoundationApi api = [] {
    MediaFoundationApi a;
    const HMODULE plat = LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const HMODULE readWrite = LoadLibraryExW(L"mfreadwrite.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    Look(plat, "MFStartup", a.startup);
    Look(plat, "MFShutdown", a.shutdown);
    Look(plat, "MFCreateMediaType", a.createMediaType);
    Look(readWrite, "MFCreateSourceReaderFromURL", a.createSourceReaderFromUrl);
    return a;
  }();
  return api;
}

// COM and Media Foundation for the time of one decoding. A thread whose COM is already set
// up the other way (RPC_E_CHANGED_MODE) keeps it: the source reader works in either.
class MediaFoundationSession {
 public:
  MediaFoundationSession() {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    comStarted_ = SUCCEEDED(com);
    started_ = Api().loaded() && SUCCEEDED(Api().startup(MF_VERSION, MFSTARTUP_NOSOCKET));
  }
  ~MediaFoundationSession() {
    if (started_) Api().shutdown();
    if (comStarted_) CoUninitialize();
  }
  MediaFoundationSession(const MediaFoundationSession&) = delete;
  MediaFoundationSession& operator=(const MediaFoundationSession&) = delete;
  bool started() const { return started_; }

 private:
  bool comStarted_ = false;
  bool started_ = false;
};

// The file's first bytes, for the codec's name and FLAC's stored resolution.
std::vector<uint8_t> HeadOf(const std::string& path) {
  std::vector<uint8_t> head(4096);
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD got = 0;
  if (file == INVALID_HANDLE_VALUE) return {};
  if (!ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &got, nullptr)) got = 0;
  CloseHandle(file);
  head.resize(got);
  return head;
}

uint32_t AttributeOr(IMFAttributes* attributes, const GUID& key, uint32_t fallback) {
  UINT32 value = 0;
  return SUCCEEDED(attributes->GetUINT32(key, &value)) ? value : fallback;
}

// A presentation attribute of the media source as a number (0 when it has none).
uint64_t PresentationNumber(IMFSourceReader* reader, const GUID& key) {
  PROPVARIANT value;
  PropVariantInit(&value);
  uint64_t number = 0;
  if (SUCCEEDED(reader->GetPresentationAttribute(static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE), key, &value))) {
    if (value.vt == VT_UI8) number = value.uhVal.QuadPart;
    if (value.vt == VT_UI4) number = value.ulVal;
  }
  PropVariantClear(&value);
  return number;
}

// Asks the reader for interleaved PCM of `bits` per sample (or 32-bit float when `bits` is
// 0); true when it took the type.
bool AskForOutput(IMFSourceReader* reader, int bits) {
  Com<IMFMediaType> type;
  if (FAILED(Api().createMediaType(type.put()))) return false;
  type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  type->SetGUID(MF_MT_SUBTYPE, bits > 0 ? MFAudioFormat_PCM : MFAudioFormat_Float);
  type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, bits > 0 ? static_cast<UINT32>(bits) : 32);
  return SUCCEEDED(reader->SetCurrentMediaType(kAudioStream, nullptr, type.get()));
}

// What the reader gives after the request: PCM of 16 or 24 bits, or 32-bit float. Float is
// written as 16-bit samples by FloatSample, or, for a FLAC stream of more than 16 bits, as
// the 24-bit integers it holds.
struct Output {
  bool usable = false;
  bool floating = false;
  bool floatHoldsWide = false;  // float of a FLAC stream of 17 to 24 bits: written as 24-bit
  int bits = 0;                 // as the reader delivers them
  int waveBits = 0;             // as the WAV image holds them
  uint32_t channels = 0;
  uint32_t rate = 0;
};

Output CurrentOutput(IMFSourceReader* reader) {
  Output output;
  Com<IMFMediaType> type;
  if (FAILED(reader->GetCurrentMediaType(kAudioStream, type.put()))) return output;
  GUID subtype{};
  type->GetGUID(MF_MT_SUBTYPE, &subtype);
  output.bits = static_cast<int>(AttributeOr(type.get(), MF_MT_AUDIO_BITS_PER_SAMPLE, 0));
  output.channels = AttributeOr(type.get(), MF_MT_AUDIO_NUM_CHANNELS, 0);
  output.rate = AttributeOr(type.get(), MF_MT_AUDIO_SAMPLES_PER_SECOND, 0);
  output.floating = subtype == MFAudioFormat_Float;
  output.waveBits = output.floating ? 16 : output.bits;
  const bool pcm = subtype == MFAudioFormat_PCM && (output.bits == 16 || output.bits == 24);
  output.usable = (pcm || (output.floating && output.bits == 32)) && output.channels >= 1 &&
                  output.channels <= 0xFFFF && output.rate >= 1;
  return output;
}

// The output type for a stream of `codec` whose FLAC header stores `flacBits` (0 for the
// lossy codecs). Lossless FLAC: PCM of its own 16 or 24 bits; where the decoder offers only
// 16-bit PCM or float for a wider stream (Wine's does: its 16-bit PCM of a 24-bit stream is
// dithered, its float holds the 24-bit values exactly), float, whose samples are then
// written back as 24-bit integers. Lossy codecs decode to float, which is written by the
// float rule: x × 32768 truncated toward zero. Asking a lossy decoder for 16-bit PCM would let
// the system's converter round or dither it, and the image would depend on the system.
Output ChooseOutput(IMFSourceReader* reader, SoundCodec codec, int flacBits) {
  if (codec == SoundCodec::Flac) {
    const int wanted = flacBits > 16 ? 24 : 16;
    if (flacBits <= 24 && AskForOutput(reader, wanted)) {
      const Output output = CurrentOutput(reader);
      if (output.usable && !output.floating && output.bits == wanted) return output;
    }
    if (AskForOutput(reader, 0)) {
      Output output = CurrentOutput(reader);
      if (output.usable && flacBits > 16 && flacBits <= 24) {
        output.floatHoldsWide = true;
        output.waveBits = 24;
      }
      if (output.usable) return output;
    }
    if (AskForOutput(reader, 16)) return CurrentOutput(reader);
    return Output{};
  }
  if (AskForOutput(reader, 0)) {
    const Output output = CurrentOutput(reader);
    if (output.usable) return output;
  }
  if (AskForOutput(reader, 16)) return CurrentOutput(reader);
  return Output{};
}

// Appends one decoded buffer to the WAV data: PCM as it is, float as the WAV's samples.
void AppendSamples(const uint8_t* bytes, size_t count, const Output& output, std::vector<uint8_t>& data) {
  if (!output.floating) {
    data.insert(data.end(), bytes, bytes + count);
    return;
  }
  const size_t samples = count / 4;
  const size_t width = output.floatHoldsWide ? 3 : 2;
  size_t at = data.size();
  data.resize(at + samples * width);
  for (size_t i = 0; i < samples; ++i, at += width) {
    float x;
    std::memcpy(&x, bytes + 4 * i, 4);
    if (output.floatHoldsWide) {
      // x × 2^23 is the stream's 24-bit integer exactly (a float's 24-bit mantissa holds it).
      double v = static_cast<double>(x) * 8388608.0;
      v = v != v ? 0.0 : v < -8388608.0 ? -8388608.0 : v > 8388607.0 ? 8388607.0 : v;
      const uint32_t u = static_cast<uint32_t>(static_cast<int32_t>(v));
      data[at] = static_cast<uint8_t>(u & 0xFF);
      data[at + 1] = static_cast<uint8_t>((u >> 8) & 0xFF);
      data[at + 2] = static_cast<uint8_t>((u >> 16) & 0xFF);
    } else {
      const uint16_t v = static_cast<uint16_t>(FloatSample(x));
      data[at] = static_cast<uint8_t>(v & 0xFF);
      data[at + 1] = static_cast<uint8_t>(v >> 8);
    }
  }
}

std::string FailureText(const char* what, HRESULT hr) {
  char code[16];
  wsprintfA(code, "0x%08lX", static_cast<unsigned long>(hr));
  return std::string(what) + " (Media Foundation error " + code + ")";
}

// The coding's bitrate where the system states it: the presentation's, or a compressed native
// type's. A native type that is already PCM or float (Wine's are) states the decoded byte
// rate, not the coding's, and gives 0.
uint32_t CodingBitrate(IMFSourceReader* reader) {
  const uint32_t stated = static_cast<uint32_t>(PresentationNumber(reader, kAudioEncodingBitrate));
  if (stated != 0) return stated;
  Com<IMFMediaType> native;
  if (FAILED(reader->GetNativeMediaType(kAudioStream, 0, native.put()))) return 0;
  GUID subtype{};
  native->GetGUID(MF_MT_SUBTYPE, &subtype);
  if (subtype == MFAudioFormat_PCM || subtype == MFAudioFormat_Float) return 0;
  const uint32_t average = AttributeOr(native.get(), MF_MT_AVG_BITRATE, 0);
  return average != 0 ? average : 8 * AttributeOr(native.get(), MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 0);
}

// Reads the samples to the end of the stream into `data`, behind what it holds; false with
// `result` saying why (or that the decoding was cancelled).
bool ReadAllSamples(IMFSourceReader* reader, SoundCodec codec, const Output& output, uint64_t duration,
                    const DecodeProgress& progress, std::vector<uint8_t>& data, MediaDecodeResult& result) {
  const int waveBits = output.waveBits;
  for (;;) {
    DWORD flags = 0;
    LONGLONG time = 0;
    Com<IMFSample> sample;
    const HRESULT read = reader->ReadSample(kAudioStream, 0, nullptr, &flags, &time, sample.put());
    if (FAILED(read)) {
      result.message = FailureText(("The " + std::string(CodecFormatName(codec)) + " file could not be decoded to its end").c_str(), read);
      return false;
    }
    if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) {
      // The stream changed its format midway: the WAV image has one format only.
      const Output now = CurrentOutput(reader);
      if (now.bits != output.bits || now.channels != output.channels || now.rate != output.rate ||
          now.floating != output.floating) {
        result.message = "The " + std::string(CodecFormatName(codec)) + " file changes its sample format midway";
        return false;
      }
    }
    if (sample.get()) {
      Com<IMFMediaBuffer> buffer;
      if (FAILED(sample->ConvertToContiguousBuffer(buffer.put()))) {
        result.message = "Not enough memory to decode the file";
        return false;
      }
      BYTE* bytes = nullptr;
      DWORD length = 0;
      if (SUCCEEDED(buffer->Lock(&bytes, nullptr, &length))) {
        const uint64_t adds = output.floating ? length / 4 * (waveBits / 8) : length;
        if (data.size() - kWaveHeaderLength + adds > kLargestWaveData) {
          buffer->Unlock();
          result.message = "The decoded sound is longer than a wave file can hold (4 GiB)";
          return false;
        }
        AppendSamples(bytes, length, output, data);
        buffer->Unlock();
      }
    }
    if (progress) {
      const double fraction = duration > 0 ? static_cast<double>(time) / static_cast<double>(duration) : 0.0;
      if (!progress(fraction < 0 ? 0 : fraction > 1 ? 1 : fraction)) {
        result.cancelled = true;
        return false;
      }
    }
    if (flags & MF_SOURCE_READERF_ENDOFSTREAM) break;
  }

  return true;
}

// The decoding; the samples' buffer may throw std::bad_alloc.
MediaDecodeResult DecodeInto(const std::string& path, SoundCodec codec, int flacBits, DecodedSound& out,
                             const DecodeProgress& progress) {
  MediaDecodeResult result;
  MediaFoundationSession session;
  Com<IMFSourceReader> reader;
  // A reader that cannot be made is a system without the decoder (Windows N without its
  // media pack, Wine without the GStreamer plugins): its own message, never an empty image.
  if (!session.started() || FAILED(Api().createSourceReaderFromUrl(Wide(path).c_str(), nullptr, reader.put()))) {
    result.message = NoDecoderText(codec);
    return result;
  }
  reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
  if (FAILED(reader->SetStreamSelection(kAudioStream, TRUE))) {
    result.message = NoDecoderText(codec);
    return result;
  }
  const uint32_t bitrate = CodingBitrate(reader.get());
  const uint64_t duration = PresentationNumber(reader.get(), MF_PD_DURATION);  // in 100 ns

  const Output output = ChooseOutput(reader.get(), codec, flacBits);
  if (!output.usable) {
    result.message = NoDecoderText(codec);
    return result;
  }
  const int waveBits = output.waveBits;

  // The WAV image: the header's room, then the samples as they come.
  std::vector<uint8_t> data(kWaveHeaderLength);
  if (duration > 0) {
    // Room for the whole sound at once, so the buffer is not copied as it grows.
    const double seconds = static_cast<double>(duration) / 1e7;
    const double expected = seconds * output.rate * output.channels * (waveBits / 8) + 65536.0;
    if (expected < static_cast<double>(kLargestWaveData)) data.reserve(static_cast<size_t>(expected));
  }
  if (!ReadAllSamples(reader.get(), codec, output, duration, progress, data, result)) return result;

  // Whole frames only: a decoder's last buffer never splits a frame, but the WAV image's
  // readers rely on it.
  const size_t frame = static_cast<size_t>(output.channels) * (waveBits / 8);
  const size_t sampleBytes = (data.size() - kWaveHeaderLength) / frame * frame;
  data.resize(kWaveHeaderLength + sampleBytes);
  out.sampleRate = output.rate;
  out.channels = static_cast<uint16_t>(output.channels);
  out.bitsPerSample = static_cast<uint16_t>(waveBits);
  out.coding = CodingText(codec, flacBits, bitrate);
  WriteWaveHeader(data.data(), WaveFormat{1, out.channels, out.sampleRate, out.bitsPerSample},
                  static_cast<uint32_t>(sampleBytes));
  out.wave = std::move(data);
  result.ok = true;
  return result;
}

}  // namespace

MediaDecodeResult DecodeWithMediaFoundation(const std::string& path, SoundContainer kind, DecodedSound& out,
                                            const DecodeProgress& progress) {
  out = DecodedSound{};
  const std::vector<uint8_t> head = HeadOf(path);
  const SoundCodec codec = CodecOf(kind, head.data(), head.size());
  const int flacBits = codec == SoundCodec::Flac ? FlacBitsPerSample(head.data(), head.size()) : 0;
  try {
    MediaDecodeResult result = DecodeInto(path, codec, flacBits, out, progress);
    if (!result.ok) out = DecodedSound{};
    return result;
  } catch (const std::bad_alloc&) {
    out = DecodedSound{};
    MediaDecodeResult result;
    result.message = "Not enough memory to hold the decoded " + std::string(CodecFormatName(codec)) + " file";
    return result;
  }
}

}  // namespace hl
