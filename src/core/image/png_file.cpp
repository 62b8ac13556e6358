#include "core/image/png_file.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/image/run_deflate.h"

namespace hl {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr int kPaletteEntries = 256;
// The compressed stream is cut into IDAT chunks of this size; readers take any split.
constexpr size_t kIdatPiece = size_t{1} << 20;
// Rows are compressed in bands of about this many bytes, so that every thread has several
// to take and a band's fresh start costs the file a few hundred bytes in thousands.
constexpr size_t kBandBytes = size_t{1} << 18;

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

void PutChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t length) {
  PutBig32(out, static_cast<uint32_t>(length));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  if (length) out.insert(out.end(), data, data + length);
  PutBig32(out, PngChunkCrc(out.data() + start, length + 4));
}

bool ValidKeyword(const std::string& k) {
  if (k.empty() || k.size() > 79 || k.front() == ' ' || k.back() == ' ') return false;
  for (size_t i = 0; i < k.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(k[i]);
    if (!((c >= 32 && c <= 126) || c >= 161)) return false;
    if (c == ' ' && i > 0 && k[i - 1] == ' ') return false;
  }
  return true;
}

// The Adler-32 of the zlib stream, continued over `length` more bytes. With SSE2 sixteen
// bytes are summed at a time: within a piece short enough that no 32-bit lane overflows,
// s1 gains the bytes' sum and s2 sixteen times the s1 each block started with plus the
// bytes weighted 16 .. 1; zlib's own sums one byte at a time.
uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t length) {
  constexpr uint32_t kModulus = 65521;
#ifdef __SSE2__
  uint32_t s1 = adler & 0xFFFF, s2 = adler >> 16;
  constexpr size_t kPieceBlocks = 5552 / 16;  // zlib's bound on bytes between reductions
  const __m128i zero = _mm_setzero_si128();
  const __m128i weightsHigh = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
  const __m128i weightsLow = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
  auto total = [](__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
  };
  while (length >= 16) {
    const size_t blocks = std::min(length / 16, kPieceBlocks);
    __m128i sums = zero, before = zero, weighted = zero;
    for (size_t b = 0; b < blocks; ++b, data += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
      before = _mm_add_epi32(before, sums);
      sums = _mm_add_epi32(sums, _mm_sad_epu8(bytes, zero));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), weightsHigh));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), weightsLow));
    }
    s2 = static_cast<uint32_t>((s2 + 16 * (static_cast<uint64_t>(s1) * blocks + total(before)) + total(weighted)) %
                               kModulus);
    s1 = (s1 + total(sums)) % kModulus;
    length -= blocks * 16;
  }
  for (; length > 0; --length) {
    s1 = (s1 + *data++) % kModulus;
    s2 = (s2 + s1) % kModulus;
  }
  return s2 << 16 | s1;
#else
  for (size_t done = 0; done < length;) {
    const uInt piece = static_cast<uInt>(std::min<size_t>(length - done, 1u << 30));
    adler = static_cast<uint32_t>(adler32(adler, data + done, piece));
    done += piece;
  }
  (void)kModulus;
  return adler;
#endif
}

// One band of rows, compressed on whichever thread took it, with the CRCs of the IDAT
// chunks that will carry it: one per kIdatPiece bytes.
struct Band {
  std::vector<uint8_t> deflated;  // the first band's after the zlib header
  std::vector<uint32_t> crcs;
  uLong adler = 0;  // of the band's filter bytes and indices
  size_t rawLength = 0;
  bool ok = false;
};

// Every row starts with filter type 0: palette indices are labels, not intensities, and
// measured on a ten-minute image the other filters made the file 4 to 14 per cent larger
// and the compression no faster. The rows are deflated as runs and literals (RunDeflater):
// on that image zlib's run-length mode, whose level changes nothing, gave a file 3 per cent
// smaller in two and a half times the time, and its fastest general level a larger file
// in more time still.
// `raw` and `deflater` are the thread's, kept from band to band.
void DeflateBand(const uint8_t* pixels, int stride, int width, int firstRow, int rows, bool last,
                 std::vector<uint8_t>& raw, RunDeflater& deflater, Band& band) {
  band.rawLength = static_cast<size_t>(rows) * (static_cast<size_t>(width) + 1);
  try {
    if (raw.size() < band.rawLength) raw.resize(band.rawLength);
    uint8_t* at = raw.data();
    for (int y = firstRow; y < firstRow + rows; ++y) {
      *at++ = 0;  // filter type none
      at = std::copy_n(pixels + static_cast<size_t>(y) * stride, width, at);
    }
    band.adler = Adler32(1, raw.data(), band.rawLength);
    if (firstRow == 0) band.deflated = {0x78, 0x01};  // deflate, 32 KiB window, fastest level
    if (!deflater.Deflate(raw.data(), band.rawLength, last, band.deflated)) return;
    const uLong idat = crc32(0L, reinterpret_cast<const Bytef*>("IDAT"), 4);
    for (size_t offset = 0; offset < band.deflated.size(); offset += kIdatPiece) {
      const uInt piece = static_cast<uInt>(std::min(kIdatPiece, band.deflated.size() - offset));
      band.crcs.push_back(static_cast<uint32_t>(crc32(idat, band.deflated.data() + offset, piece)));
    }
    band.ok = true;
  } catch (const std::bad_alloc&) {
  }
}

// IHDR, PLTE (padded to 256 entries like the BMP's colour table) and the tEXt chunks.
void PutHeaderChunks(std::vector<uint8_t>& out, int width, int height, const BitmapColor* colors, int colorCount,
                     const std::vector<PngText>& texts) {
  uint8_t header[13] = {};
  for (int i = 0; i < 4; ++i) {
    header[i] = static_cast<uint8_t>(static_cast<uint32_t>(width) >> (24 - 8 * i));
    header[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(height) >> (24 - 8 * i));
  }
  header[8] = 8;  // bits per index
  header[9] = 3;  // colour type: palette
  PutChunk(out, "IHDR", header, sizeof header);

  uint8_t palette[3 * kPaletteEntries] = {};
  for (int i = 0; i < colorCount; ++i) {
    palette[3 * i] = colors[i].red;
    palette[3 * i + 1] = colors[i].green;
    palette[3 * i + 2] = colors[i].blue;
  }
  PutChunk(out, "PLTE", palette, sizeof palette);

  for (const PngText& t : texts) {
    std::vector<uint8_t> data(t.keyword.begin(), t.keyword.end());
    data.push_back(0);
    data.insert(data.end(), t.text.begin(), t.text.end());
    PutChunk(out, "tEXt", data.data(), data.size());
  }
}

// The rows deflated in bands on `threads` threads, the calling one included.
std::vector<Band> DeflateBands(const uint8_t* pixels, int stride, int width, int height, int threads) {
  // The bands are raw deflate streams, each ending on a byte boundary (an empty stored
  // block, the last one final), so that one after the other they are a single deflate stream;
  // the zlib header goes before them and the Adler-32 of all rows, combined from the
  // bands' own, after them.
  const int bandRows = PngBandRows(width);
  const int bandCount = (height + bandRows - 1) / bandRows;
  std::vector<Band> bands(static_cast<size_t>(bandCount));
  std::atomic<int> next{0};
  auto work = [&] {
    std::vector<uint8_t> raw;
    RunDeflater deflater;
    for (int b; (b = next.fetch_add(1)) < bandCount;) {
      const int first = b * bandRows;
      DeflateBand(pixels, stride, width, first, std::min(bandRows, height - first), b == bandCount - 1, raw,
                  deflater, bands[static_cast<size_t>(b)]);
    }
  };
  std::vector<std::thread> helpers;
  helpers.reserve(static_cast<size_t>(std::max(threads, 1)));  // no allocation once threads run
  for (int i = 1; i < std::min(threads, bandCount); ++i) {
    // A thread that cannot be started leaves its bands to the others.
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  work();
  for (std::thread& t : helpers) t.join();
  return bands;
}

}  // namespace

int PngBandRows(int width) {
  return static_cast<int>(std::max<size_t>(1, kBandBytes / (static_cast<size_t>(std::max(width, 0)) + 1)));
}

uint32_t PngChunkCrc(const uint8_t* typeAndData, size_t length) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (length > 0) {
    const uInt piece = static_cast<uInt>(std::min<size_t>(length, 1u << 30));
    crc = crc32(crc, typeAndData, piece);
    typeAndData += piece;
    length -= piece;
  }
  return static_cast<uint32_t>(crc);
}

std::vector<uint8_t> BuildPngFile(const uint8_t* pixels, int stride, int width, int height,
                                  const BitmapColor* colors, int colorCount,
                                  const std::vector<PngText>& texts, int threads) {
  std::vector<uint8_t> out;
  if (!pixels || width <= 0 || height <= 0 || stride < width) return out;
  for (const PngText& t : texts) {
    if (!ValidKeyword(t.keyword) || t.text.find('\0') != std::string::npos) return out;
  }
  colorCount = std::max(0, std::min(colorCount, kPaletteEntries));
  try {
    out.insert(out.end(), kSignature, kSignature + 8);

    PutHeaderChunks(out, width, height, colors, colorCount, texts);
    const std::vector<Band> bands = DeflateBands(pixels, stride, width, height, threads);
    // Each band goes in IDAT chunks of its own; the last one also carries the checksum.
    uLong adler = adler32(0L, Z_NULL, 0);
    size_t total = out.size() + 4 + 12;
    for (const Band& band : bands) {
      if (!band.ok) return {};
      adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.rawLength));
      total += band.deflated.size() + 12 * band.crcs.size();
    }
    uint8_t checksum[4];
    for (int i = 0; i < 4; ++i) checksum[i] = static_cast<uint8_t>(adler >> (24 - 8 * i));
    out.reserve(total);
    for (const Band& band : bands) {
      for (size_t piece = 0; piece < band.crcs.size(); ++piece) {
        const size_t at = piece * kIdatPiece, length = std::min(kIdatPiece, band.deflated.size() - at);
        const bool ends = &band == &bands.back() && piece + 1 == band.crcs.size();
        PutBig32(out, static_cast<uint32_t>(length + (ends ? 4 : 0)));
        out.insert(out.end(), {'I', 'D', 'A', 'T'});
        out.insert(out.end(), band.deflated.data() + at, band.deflated.data() + at + length);
        uint32_t crc = band.crcs[piece];
        if (ends) {
          out.insert(out.end(), checksum, checksum + 4);
          crc = static_cast<uint32_t>(crc32(crc, checksum, 4));
        }
        PutBig32(out, crc);
      }
    }
    PutChunk(out, "IEND", nullptr, 0);
  } catch (const std::bad_alloc&) {
    return {};
  }
  return out;
}

}  // namespace hl
