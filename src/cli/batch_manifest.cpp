#include "cli/batch_manifest.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/output_file.h"
#include "core/base/sha256.h"

namespace hl {

namespace {


// Digits only, at most seven of them (kMostShards has seven).
bool ParseDigits(const std::string& text, int* value) {
  if (text.empty() || text.size() > 7) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

// The length of the well-formed UTF-8 sequence at text[at], or 0.
size_t Utf8Length(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length;
  unsigned low = 0x80, high = 0xBF;  // the second byte's range
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
  else return 0;
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

bool ParseShard(const std::string& text, Shard* shard) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return false;
  int index = 0, count = 0;
  if (!ParseDigits(text.substr(0, slash), &index) || !ParseDigits(text.substr(slash + 1), &count)) return false;
  if (count < 1 || count > kMostShards || index >= count) return false;
  *shard = Shard{index, count};
  return true;
}

bool OutputIsCurrent(const std::string& input, const std::string& output, ImageFormat format) {
  int64_t inputTime = 0, outputTime = 0;
  if (!LastWriteTime(input, &inputTime) || !LastWriteTime(output, &outputTime) || outputTime <= inputTime) return false;
  uint64_t size = 0;
  if (!FileSizeOf(output, &size)) return false;
  if (format == ImageFormat::Png) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static const uint8_t kEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    uint8_t head[8], tail[12];
    return size >= 20 && ReadFileRange(output, 0, 8, head) == 8 && std::memcmp(head, kSignature, 8) == 0 &&
           ReadFileRange(output, size - 12, 12, tail) == 12 && std::memcmp(tail, kEnd, 12) == 0;
  }
  uint8_t head[6];
  if (ReadFileRange(output, 0, 6, head) != 6 || head[0] != 'B' || head[1] != 'M') return false;
  const uint32_t declared = head[2] | head[3] << 8 | head[4] << 16 | static_cast<uint32_t>(head[5]) << 24;
  return declared == size;
}

bool HashFile(const std::string& path, uint64_t* bytes, std::string* sha256) {
  InputFile file;
  uint64_t size = 0;
  if (!FileSizeOf(path, &size) || !file.Open(path)) return false;
  Sha256 hash;
  std::vector<uint8_t> block(1 << 20);
  for (uint64_t at = 0; at < size; at += block.size()) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(block.size(), size - at));
    if (!file.ReadAt(at, count, block.data())) return false;
    hash.Update(block.data(), count);
  }
  *bytes = size;
  *sha256 = hash.FinishHex();
  return true;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  char escape[8];
  for (size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const size_t length = Utf8Length(text, at);
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\udc%02x", c);
      out += escape;
      ++at;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out.append(text, at, length);
    }
    at += length;
  }
  return out + "\"";
}

std::string ManifestLine(const ManifestEntry& e) {
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, ", \"seconds\": %.3f, \"bytes\": %llu, \"sha256\": ", e.seconds,
                static_cast<unsigned long long>(e.bytes));
  return "{\"input\": " + JsonString(e.input) + ", \"output\": " + JsonString(e.output) +
         ", \"status\": " + JsonString(e.status) + ", \"message\": " + JsonString(e.message) + numbers +
         (e.sha256.empty() ? std::string("null") : JsonString(e.sha256)) + "}\n";
}

}  // namespace hl
