// What lets a batch be spread over many machines and run again: a share of the inputs
// (--shard K/N), outputs already made kept (--skip-existing), and a manifest of one JSON
// line per input (--manifest FILE.jsonl).
#pragma once

#include <cstdint>
#include <string>

#include "core/export/image_texts.h"

namespace hl {

// Share `index` of `count` of the batch's sorted inputs; 0/1 is all of them.
struct Shard {
  int index = 0;
  int count = 1;
};

// "K/N": plain decimal digits on both sides (no sign, space or exponent), 0 <= K < N,
// N at most kMostShards. False for anything else.
constexpr int kMostShards = 1000000;
bool ParseShard(const std::string& text, Shard* shard);

// Whether the input of rank `rank` in the sorted list is this shard's: every N-th one, so
// that the shards take equal shares of a list ordered by date or site.
inline bool InShard(size_t rank, const Shard& shard) {
  return rank % static_cast<size_t>(shard.count) == static_cast<size_t>(shard.index);
}

// An output worth keeping: a complete image of `format` (a PNG that ends with its IEND
// chunk, a BMP as long as its header says) modified after the input was.
bool OutputIsCurrent(const std::string& input, const std::string& output, ImageFormat format);

// The size and SHA-256 of a file read back; false when it cannot be read whole.
bool HashFile(const std::string& path, uint64_t* bytes, std::string* sha256);

// `text` as a JSON string, quotes included. Names are UTF-8; a byte that is not part of a
// well-formed UTF-8 sequence (a Linux name may hold any byte) is written as the lone
// surrogate \udcXX, which Python's os.fsencode turns back into that byte.
std::string JsonString(const std::string& text);

struct ManifestEntry {
  std::string input, output;
  const char* status = "rendered";  // rendered, skipped, refused or failed
  std::string message;              // why refused or failed, a warning, or why kept
  double seconds = 0;
  uint64_t bytes = 0;               // of the output; 0 when none was written
  std::string sha256;               // of the output; empty (null) when none was written
};

// One line of the manifest, newline included.
std::string ManifestLine(const ManifestEntry& entry);

}  // namespace hl
