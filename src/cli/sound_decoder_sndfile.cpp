// Compressed sound files decoded by libsndfile (FLAC through libFLAC, MP3 through mpg123,
// Ogg Vorbis and Opus through the Xiph libraries), read through its virtual I/O from the
// bytes the caller gives, so the copy of standard input decodes like a file.
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "cli/output_file.h"
#include "cli/sound_decoder.h"
#include "core/base/limits.h"
#include "core/base/messages.h"
#include "core/samples/frame_decoder.h"

namespace hl {

namespace {

constexpr sf_count_t kBlockFrames = 4096;
// Memory taken before the first sample is decoded, whatever the file's header claims.
constexpr uint64_t kLargestReserve = 256u << 20;

// The position libsndfile reads at, over the caller's bytes.
struct VirtualFile {
  const ReadBytesAt* read;
  uint64_t size;
  uint64_t position;
};

sf_count_t FileLength(void* user) { return static_cast<sf_count_t>(static_cast<VirtualFile*>(user)->size); }

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
  VirtualFile& f = *static_cast<VirtualFile*>(user);
  const sf_count_t base = whence == SEEK_CUR ? static_cast<sf_count_t>(f.position)
                          : whence == SEEK_END ? static_cast<sf_count_t>(f.size)
                                               : 0;
  const sf_count_t target = base + offset;
  if (target < 0) return -1;
  f.position = static_cast<uint64_t>(target);
  return target;
}

sf_count_t Read(void* out, sf_count_t count, void* user) {
  VirtualFile& f = *static_cast<VirtualFile*>(user);
  if (count <= 0 || f.position >= f.size) return 0;
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(count), f.size - f.position));
  const size_t got = (*f.read)(f.position, static_cast<uint8_t*>(out), wanted);
  f.position += got;
  return static_cast<sf_count_t>(got);
}

sf_count_t Write(const void*, sf_count_t, void*) { return 0; }

sf_count_t Tell(void* user) { return static_cast<sf_count_t>(static_cast<VirtualFile*>(user)->position); }

SF_VIRTUAL_IO VirtualIo() { return SF_VIRTUAL_IO{FileLength, Seek, Read, Write, Tell}; }

const char* ContainerName(SoundContainer kind) {
  switch (kind) {
    case SoundContainer::Flac: return "FLAC";
    case SoundContainer::Mp3: return "MP3";
    case SoundContainer::Ogg: return "Ogg";
    default: return "sound";
  }
}

DecodeResult Refusal(const std::string& path, const std::string& why) {
  DecodeResult result;
  result.message = std::string(MessageText(Message::UndecodableSound)) + ": " + InputName(path) + ": " + why;
  return result;
}

// How the WAV holds what the decoder gives: an integer source keeps its bits (8-bit as the
// 16-bit samples of the same values), anything else is read as float and held as 16-bit.
struct Plan {
  bool lossless = false;
  int sourceBits = 0;
  uint16_t wavBits = 16;
  std::string coding;
};

bool PlanCoding(SNDFILE* file, const SF_INFO& info, const ReadBytesAt& read, uint64_t size, Plan& plan) {
  const int major = info.format & SF_FORMAT_TYPEMASK;
  const int sub = info.format & SF_FORMAT_SUBMASK;
  if ((major == SF_FORMAT_FLAC || major == SF_FORMAT_OGG) &&
      (sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_16 || sub == SF_FORMAT_PCM_24)) {
    plan.lossless = true;
    plan.sourceBits = sub == SF_FORMAT_PCM_S8 ? 8 : sub == SF_FORMAT_PCM_16 ? 16 : 24;
    plan.wavBits = plan.sourceBits == 24 ? 24 : 16;
    plan.coding = std::string(major == SF_FORMAT_OGG ? "Ogg FLAC " : "FLAC ") + std::to_string(plan.sourceBits) + "-bit";
    return true;
  }
  if (major == SF_FORMAT_OGG && sub == SF_FORMAT_VORBIS) {
    plan.coding = "Ogg Vorbis";
    return true;
  }
  if (major == SF_FORMAT_OGG && sub == SF_FORMAT_OPUS) {
    plan.coding = "Opus";
    return true;
  }
  if (major == SF_FORMAT_MPEG) {
    plan.coding = sub == SF_FORMAT_MPEG_LAYER_III ? "MP3" : sub == SF_FORMAT_MPEG_LAYER_II ? "MPEG layer II" : "MPEG layer I";
    // libsndfile says whether the bitrate is constant; the first frame's header then gives it.
    if (sf_command(file, SFC_GET_BITRATE_MODE, nullptr, 0) == SF_BITRATE_MODE_CONSTANT) {
      const MpegFrameStart frame = FindMpegFrame(read, size);
      if (frame.found && frame.kbps > 0) plan.coding += " " + std::to_string(frame.kbps) + " kbit/s";
    }
    return true;
  }
  return false;
}

// Appends `frames` frames of `samples` as the WAV's little-endian samples.
void PutLossless(const int* samples, size_t count, const Plan& plan, uint8_t* out) {
  // sf_readf_int gives every integer source left-justified in 32 bits: the top bits are the
  // source's own samples, exactly.
  if (plan.wavBits == 24) {
    for (size_t i = 0; i < count; ++i) {
      const uint32_t v = static_cast<uint32_t>(samples[i]) >> 8;
      out[3 * i] = static_cast<uint8_t>(v);
      out[3 * i + 1] = static_cast<uint8_t>(v >> 8);
      out[3 * i + 2] = static_cast<uint8_t>(v >> 16);
    }
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    const uint32_t v = static_cast<uint32_t>(samples[i]) >> 16;
    out[2 * i] = static_cast<uint8_t>(v);
    out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
}

void PutFloat(const float* samples, size_t count, uint8_t* out) {
  for (size_t i = 0; i < count; ++i) {
    const uint16_t v = static_cast<uint16_t>(FloatSample(samples[i]));
    out[2 * i] = static_cast<uint8_t>(v);
    out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
  }
}

std::string Gib(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1u << 30));
  return text;
}

std::string TooLong(uint64_t dataBytes) {
  return "its samples take " + Gib(dataBytes) + " as a WAV, more than the 4 GiB a WAV's 32-bit data length holds";
}

// The last Ogg page's granule position within the file's last 64 KiB: the stream's end in
// samples (at 48 kHz for Opus); 0 when none is found.
uint64_t LastOggGranule(const ReadBytesAt& read, uint64_t size) {
  const uint64_t tail = std::min<uint64_t>(size, 64 * 1024);
  std::vector<uint8_t> bytes(static_cast<size_t>(tail));
  const size_t got = read(size - tail, bytes.data(), bytes.size());
  for (size_t at = got >= 14 ? got - 14 : 0; at-- > 0;) {
    if (std::memcmp(bytes.data() + at, "OggS", 4) != 0 || bytes[at + 4] != 0) continue;
    uint64_t granule = 0;
    for (int i = 7; i >= 0; --i) granule = granule << 8 | bytes[at + 6 + i];
    if (granule != ~uint64_t{0}) return granule;
  }
  return 0;
}

// The samples an Opus stream's decoder drops at its start (OpusHead's pre-skip).
uint64_t OpusPreSkip(const ReadBytesAt& read, uint64_t size) {
  uint8_t page[512] = {};
  const size_t got = read(0, page, static_cast<size_t>(std::min<uint64_t>(size, sizeof page)));
  for (size_t at = 0; at + 12 <= got; ++at) {
    if (std::memcmp(page + at, "OpusHead", 8) == 0) return page[at + 10] | (page[at + 11] << 8);
  }
  return 0;
}

// The length the file itself states, where it states it exactly: FLAC's stream header, the
// last Ogg page's granule position, an MP3's Xing or Info frame (a file without one has only
// libsndfile's estimate from its size). 0 where nothing exact is stated. Fewer decoded frames
// mean the file was cut short or a frame in it could not be decoded.
uint64_t StatedFrames(SoundContainer kind, const SF_INFO& info, const Plan& plan, const ReadBytesAt& read,
                      uint64_t size) {
  const uint64_t claimed = info.frames > 0 ? static_cast<uint64_t>(info.frames) : 0;
  if (kind == SoundContainer::Flac) return claimed;
  if (kind == SoundContainer::Ogg) {
    const uint64_t granule = LastOggGranule(read, size);
    if (plan.coding != "Opus") return granule;
    const uint64_t skip = OpusPreSkip(read, size);
    return granule > skip ? granule - skip : 0;
  }
  const MpegFrameStart frame = FindMpegFrame(read, size);
  if (!frame.found) return 0;
  uint8_t first[64] = {};
  const size_t got = read(frame.offset, first, sizeof first);
  for (size_t at = 4; at + 4 <= got; ++at) {
    if (std::memcmp(first + at, "Xing", 4) == 0 || std::memcmp(first + at, "Info", 4) == 0) return claimed;
  }
  return 0;
}

// One piece of a FLAC decoded on a thread of its own: frames [first, first + count) through
// a handle of its own over the same bytes, into its place in the WAV.
struct Piece {
  uint64_t first = 0, count = 0;
  uint64_t decoded = 0;  // frames put in place
  std::string error;     // libsndfile's word when the piece broke off
};

void DecodePiece(SNDFILE* file, const SF_INFO& info, const Plan& plan, Piece& piece, uint8_t* out) {
  const uint64_t frameBytes = static_cast<uint64_t>(info.channels) * (plan.wavBits / 8);
  std::vector<int> ints(static_cast<size_t>(kBlockFrames * info.channels));
  if (piece.first > 0 && sf_seek(file, static_cast<sf_count_t>(piece.first), SEEK_SET) != static_cast<sf_count_t>(piece.first)) {
    piece.error = sf_strerror(file);
    return;
  }
  while (piece.decoded < piece.count) {
    const sf_count_t want = static_cast<sf_count_t>(std::min<uint64_t>(kBlockFrames, piece.count - piece.decoded));
    const sf_count_t got = sf_readf_int(file, ints.data(), want);
    if (got <= 0) break;
    PutLossless(ints.data(), static_cast<size_t>(got) * static_cast<size_t>(info.channels), plan,
                out + piece.decoded * frameBytes);
    piece.decoded += static_cast<uint64_t>(got);
  }
  if (sf_error(file) != SF_ERR_NO_ERROR) piece.error = sf_strerror(file);
}

// A FLAC's frames take one core each per piece: FLAC seeks to an exact sample, so pieces
// decoded apart are the same samples as one decoded whole. Short files, and a single core,
// keep to one piece. The pieces are laid out in a WAV of the length the stream header
// states, so a header that claims far more than its file can hold (real FLAC is rarely
// smaller than a quarter of its WAV) is decoded in one piece, whose memory grows with what
// it decodes.
constexpr uint64_t kShortestPiece = 16384;
constexpr uint64_t kLargestFlacRatio = 64;

int PieceCount(const Plan& plan, SoundContainer kind, uint64_t claimed, uint64_t frameBytes, uint64_t size) {
  if (!plan.lossless || kind != SoundContainer::Flac) return 1;
  if (claimed * frameBytes / kLargestFlacRatio > size) return 1;
  const uint64_t cores = std::max(1u, std::min(std::thread::hardware_concurrency(), 64u));
  return static_cast<int>(std::max<uint64_t>(1, std::min(cores, claimed / kShortestPiece)));
}

DecodeResult DecodeInPieces(const std::string& path, SNDFILE* file, const SF_INFO& info, const Plan& plan,
                            const ReadBytesAt& read, uint64_t size, uint64_t claimed, int pieces, DecodedSound& out) {
  const uint64_t frameBytes = static_cast<uint64_t>(info.channels) * (plan.wavBits / 8);
  try {
    out.wave.assign(kWaveHeaderLength + claimed * frameBytes, 0);
  } catch (const std::bad_alloc&) {
    return Refusal(path, MessageText(Message::NotEnoughMemory));
  }
  std::vector<Piece> parts(static_cast<size_t>(pieces));
  for (int i = 0; i < pieces; ++i) {
    parts[i].first = claimed * i / pieces;
    parts[i].count = claimed * (i + 1) / pieces - parts[i].first;
  }
  uint8_t* data = out.wave.data() + kWaveHeaderLength;
  std::vector<std::thread> threads;
  for (int i = 1; i < pieces; ++i) {
    threads.emplace_back([&, i] {
      VirtualFile source{&read, size, 0};
      SF_VIRTUAL_IO io = VirtualIo();
      SF_INFO own{};
      SNDFILE* handle = sf_open_virtual(&io, SFM_READ, &own, &source);
      if (!handle) {
        parts[i].error = "the file cannot be opened again";
        return;
      }
      DecodePiece(handle, info, plan, parts[i], data + parts[i].first * frameBytes);
      sf_close(handle);
    });
  }
  DecodePiece(file, info, plan, parts[0], data);
  for (std::thread& t : threads) t.join();
  for (const Piece& piece : parts) {
    if (piece.decoded == piece.count && piece.error.empty()) continue;
    const uint64_t reached = piece.first + piece.decoded;
    if (!piece.error.empty()) {
      return Refusal(path, "the FLAC data is damaged after " + std::to_string(reached) + " sample frames (" +
                               piece.error + ")");
    }
    return Refusal(path, "the FLAC data ends after " + std::to_string(reached) + " of its " +
                             std::to_string(claimed) + " sample frames (the file is cut short or damaged)");
  }
  return DecodeResult{true, ""};
}

// Decodes every frame of an open file into out.wave after its header's room.
DecodeResult DecodeFrames(const std::string& path, SNDFILE* file, const SF_INFO& info, const Plan& plan,
                          SoundContainer kind, const ReadBytesAt& read, uint64_t size, DecodedSound& out) {
  const uint64_t frameBytes = static_cast<uint64_t>(info.channels) * (plan.wavBits / 8);
  const uint64_t claimed = info.frames > 0 ? static_cast<uint64_t>(info.frames) : 0;
  if (claimed > kLargestDecodedData / frameBytes) return Refusal(path, TooLong(claimed * frameBytes));
  const int pieces = PieceCount(plan, kind, claimed, frameBytes, size);
  if (pieces > 1) return DecodeInPieces(path, file, info, plan, read, size, claimed, pieces, out);
  const uint64_t stated = StatedFrames(kind, info, plan, read, size);
  std::vector<int> ints;
  std::vector<float> floats;
  try {
    out.wave.clear();
    out.wave.reserve(kWaveHeaderLength + std::min(claimed * frameBytes, kLargestReserve));
    out.wave.resize(kWaveHeaderLength);
    if (plan.lossless) {
      ints.resize(static_cast<size_t>(kBlockFrames * info.channels));
    } else {
      floats.resize(static_cast<size_t>(kBlockFrames * info.channels));
    }
  } catch (const std::bad_alloc&) {
    return Refusal(path, MessageText(Message::NotEnoughMemory));
  }
  uint64_t frames = 0;
  for (;;) {
    const sf_count_t got =
        plan.lossless ? sf_readf_int(file, ints.data(), kBlockFrames) : sf_readf_float(file, floats.data(), kBlockFrames);
    if (got <= 0) break;
    const uint64_t bytes = static_cast<uint64_t>(got) * frameBytes;
    if (out.wave.size() - kWaveHeaderLength + bytes > kLargestDecodedData) {
      return Refusal(path, TooLong((frames + static_cast<uint64_t>(got)) * frameBytes) + " (and more follow)");
    }
    const size_t at = out.wave.size();
    try {
      out.wave.resize(at + static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
      return Refusal(path, MessageText(Message::NotEnoughMemory));
    }
    const size_t samples = static_cast<size_t>(got) * static_cast<size_t>(info.channels);
    if (plan.lossless) {
      PutLossless(ints.data(), samples, plan, out.wave.data() + at);
    } else {
      PutFloat(floats.data(), samples, out.wave.data() + at);
    }
    frames += static_cast<uint64_t>(got);
  }
  if (sf_error(file) != SF_ERR_NO_ERROR) {
    return Refusal(path, std::string("the ") + ContainerName(kind) + " data is damaged after " +
                             std::to_string(frames) + " sample frames (" + sf_strerror(file) + ")");
  }
  if (frames < stated) {
    return Refusal(path, std::string("the ") + ContainerName(kind) + " data ends after " + std::to_string(frames) +
                             " of its " + std::to_string(stated) + " sample frames (the file is cut short or damaged)");
  }
  if (frames == 0) return Refusal(path, std::string("the ") + ContainerName(kind) + " file holds no samples");
  return DecodeResult{true, ""};
}

}  // namespace

DecodeResult DecodeSound(const std::string& path, const ReadBytesAt& read, uint64_t size, SoundContainer kind,
                         DecodedSound& out) {
  VirtualFile source{&read, size, 0};
  SF_VIRTUAL_IO io = VirtualIo();
  SF_INFO info{};
  SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &source);
  if (!file) {
    return Refusal(path, std::string("not a readable ") + ContainerName(kind) + " file (" + sf_strerror(nullptr) + ")");
  }
  Plan plan;
  DecodeResult result;
  if (!PlanCoding(file, info, read, size, plan)) {
    result = Refusal(path, std::string("its first bytes say ") + ContainerName(kind) + ", but it is not FLAC, MP3, Ogg Vorbis or Opus");
  } else if (info.channels < 1 || info.channels > 0xFFFF || info.samplerate < 1) {
    result = Refusal(path, "the decoder gives " + std::to_string(info.channels) + " channels at " +
                               std::to_string(info.samplerate) + " Hz");
  } else {
    result = DecodeFrames(path, file, info, plan, kind, read, size, out);
  }
  sf_close(file);
  if (!result.ok) {
    out.wave = std::vector<uint8_t>();
    return result;
  }
  out.sampleRate = static_cast<uint32_t>(info.samplerate);
  out.channels = static_cast<uint16_t>(info.channels);
  out.bitsPerSample = plan.wavBits;
  out.coding = plan.coding;
  WaveFormat format;
  format.channels = out.channels;
  format.sampleRate = out.sampleRate;
  format.bitsPerSample = out.bitsPerSample;
  WriteWaveHeader(out.wave.data(), format, static_cast<uint32_t>(out.wave.size() - kWaveHeaderLength));
  return result;
}

}  // namespace hl
