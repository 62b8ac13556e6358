// A deflate encoder for palette images: every run of one repeated byte becomes matches at
// distance 1, everything else a literal, in one dynamic Huffman block per call. A
// time–frequency image's repeats are such runs (silence, the margin, steady tones), and
// finding only them makes this several times faster than a general compressor for a file
// of about the same size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hl {

// One per thread: it keeps its working memory from one call to the next.
class RunDeflater {
 public:
  // Appends the deflate data of `length` bytes (at least one) to `out`, as a stream of its
  // own that refers to nothing before it. With `last` the block is the stream's final one
  // and the output is padded to a whole byte; otherwise it is followed by an empty stored
  // block, which ends it on a byte boundary, so that the data of the next call may follow
  // and the two read as one stream. False when memory fails.
  bool Deflate(const uint8_t* data, size_t length, bool last, std::vector<uint8_t>& out);

 private:
  std::vector<uint16_t> tokens_;
  std::vector<uint8_t> bits_;
};

}  // namespace hl
