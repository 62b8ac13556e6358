#include "core/image/run_deflate.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace hl {

namespace {

constexpr int kLiteralLengthSymbols = 286;
constexpr int kEndOfBlock = 256;
constexpr int kLongestMatch = 258;
constexpr int kLongestCode = 15;        // of the literal/length code
constexpr int kLongestLengthCode = 7;   // of the code that sends the code lengths
constexpr int kLengthCodeSymbols = 19;
// The order in which the block header lists the lengths of the code-length code.
constexpr uint8_t kLengthCodeOrder[kLengthCodeSymbols] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                          11, 4, 12, 3, 13, 2, 14, 1, 15};

// Match lengths 3..258: the length code (symbol 257 + code), its extra bits and their base.
struct LengthCodes {
  uint8_t code[kLongestMatch + 1] = {};
  uint16_t base[29] = {};
  uint8_t extra[29] = {};
  LengthCodes() {
    int length = 3;
    for (int c = 0; c < 28; ++c) {
      extra[c] = static_cast<uint8_t>(c < 8 ? 0 : (c - 4) / 4);
      base[c] = static_cast<uint16_t>(length);
      for (int n = 0; n < (1 << extra[c]) && length < kLongestMatch; ++n) code[length++] = static_cast<uint8_t>(c);
    }
    // 258 has a code of its own, without extra bits.
    code[kLongestMatch] = 28;
    base[28] = kLongestMatch;
  }
};

const LengthCodes& Lengths() {
  static const LengthCodes codes;
  return codes;
}

// Huffman code lengths for `count` symbols of the given frequencies, none longer than
// `limit`: when the tree is deeper, the frequencies are halved (none to zero) and the tree
// built again, which ends at worst in a balanced tree. At least two symbols get a code, so
// that the code is complete as a reader requires; unused symbols get length 0.
void CodeLengths(const uint32_t* frequencies, int count, int limit, uint8_t* lengths) {
  std::vector<uint32_t> f(frequencies, frequencies + count);
  int used = static_cast<int>(std::count_if(f.begin(), f.end(), [](uint32_t v) { return v > 0; }));
  for (int s = 0; used < 2 && s < count; ++s) {
    if (f[s] == 0) f[s] = 1, ++used;
  }
  std::vector<std::pair<uint32_t, int>> leaves;
  std::vector<uint64_t> weight;
  std::vector<int> parent, depth;
  for (;;) {
    leaves.clear();
    for (int s = 0; s < count; ++s) {
      if (f[s] > 0) leaves.push_back({f[s], s});
    }
    std::sort(leaves.begin(), leaves.end());
    const size_t n = leaves.size(), nodes = 2 * n - 1;
    weight.assign(nodes, 0);
    parent.assign(nodes, 0);
    depth.assign(nodes, 0);
    for (size_t i = 0; i < n; ++i) weight[i] = leaves[i].first;
    // Two queues: the sorted leaves, and the inner nodes, made in order of weight.
    size_t leaf = 0, inner = n;
    for (size_t next = n; next < nodes; ++next) {
      size_t pair[2];
      for (size_t& pick : pair) {
        pick = leaf < n && (inner == next || weight[leaf] <= weight[inner]) ? leaf++ : inner++;
      }
      weight[next] = weight[pair[0]] + weight[pair[1]];
      parent[pair[0]] = parent[pair[1]] = static_cast<int>(next);
    }
    int deepest = 0;
    for (size_t k = nodes - 1; k-- > 0;) {
      depth[k] = depth[static_cast<size_t>(parent[k])] + 1;
      if (k < n) deepest = std::max(deepest, depth[k]);
    }
    if (deepest <= limit) {
      std::fill(lengths, lengths + count, 0);
      for (size_t i = 0; i < n; ++i) lengths[leaves[i].second] = static_cast<uint8_t>(depth[i]);
      return;
    }
    for (uint32_t& v : f) {
      if (v > 0) v = (v >> 1) | 1;
    }
  }
}

// The canonical codes of the lengths, bit-reversed, since deflate sends a code's first bit
// in the lowest bit of the stream.
void CanonicalCodes(const uint8_t* lengths, int count, uint16_t* codes) {
  int perLength[kLongestCode + 1] = {};
  for (int s = 0; s < count; ++s) ++perLength[lengths[s]];
  perLength[0] = 0;
  uint32_t next[kLongestCode + 1] = {};
  uint32_t code = 0;
  for (int bits = 1; bits <= kLongestCode; ++bits) {
    code = (code + static_cast<uint32_t>(perLength[bits - 1])) << 1;
    next[bits] = code;
  }
  for (int s = 0; s < count; ++s) {
    const int bits = lengths[s];
    uint32_t c = bits ? next[bits]++ : 0, reversed = 0;
    for (int b = 0; b < bits; ++b, c >>= 1) reversed = (reversed << 1) | (c & 1);
    codes[s] = static_cast<uint16_t>(reversed);
  }
}

// Bits into bytes, lowest bit first. Every Put stores eight bytes and moves on by the whole
// bytes it filled, so it needs no branch; the caller makes room for eight bytes past the end.
class BitWriter {
 public:
  explicit BitWriter(uint8_t* out) : out_(out) {}
  // At most 56 bits at a time.
  void Put(uint64_t bits, int count) {
    buffer_ |= bits << filled_;
    filled_ += count;
    std::memcpy(out_, &buffer_, sizeof buffer_);
    out_ += filled_ >> 3;
    buffer_ >>= filled_ & ~7;  // at most 56: filled_ was under 8 before the Put
    filled_ &= 7;
  }
  // The bits put, padded with zeros to a whole byte; where the next byte goes.
  uint8_t* AlignToByte() {
    if (filled_ > 0) *out_++ = static_cast<uint8_t>(buffer_);
    buffer_ = 0;
    filled_ = 0;
    return out_;
  }

 private:
  uint8_t* out_;
  uint64_t buffer_ = 0;
  int filled_ = 0;
};

// The length of the run of `c` that starts at data[0], up to `most` bytes: eight bytes at
// a time, the first that differs found from the lowest set bit.
size_t RunLength(const uint8_t* data, size_t most, uint8_t c) {
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the first byte is the lowest");
  const uint64_t pattern = 0x0101010101010101ull * c;
  size_t run = 0;
  for (; run + 8 <= most; run += 8) {
    uint64_t word;
    std::memcpy(&word, data + run, sizeof word);
    if (word != pattern) return run + static_cast<size_t>(__builtin_ctzll(word ^ pattern)) / 8;
  }
  while (run < most && data[run] == c) ++run;
  return run;
}

// Tokens: a literal byte (0..255), or 256 + the length of a match at distance 1. Counts each
// symbol's uses, the end of block's included, in `frequencies`; returns the number of tokens.
size_t Tokenize(const uint8_t* data, size_t length, uint16_t* tokens, uint32_t* frequencies) {
  const LengthCodes& lengthCodes = Lengths();
  size_t count = 0;
  for (size_t i = 0; i < length;) {
    const uint8_t c = data[i++];
    tokens[count++] = c;
    ++frequencies[c];
    size_t run = i < length && data[i] == c ? RunLength(data + i, length - i, c) : 0;
    // What is left of a run under three bytes goes as literals, each then starting a run
    // of its own too short for a match.
    for (; run >= 3;) {
      const size_t match = std::min<size_t>(run, kLongestMatch);
      tokens[count++] = static_cast<uint16_t>(256 + match);
      ++frequencies[257 + lengthCodes.code[match]];
      i += match;
      run -= match;
    }
  }
  frequencies[kEndOfBlock] = 1;
  return count;
}

// The dynamic block's header after its first three bits: the code counts, the code of the
// code lengths, and the lengths of the literal/length code and of `distanceCodes` one-bit
// distance codes.
void PutCodeLengths(BitWriter& bits, const uint8_t* lengths, int literalCodes, int distanceCodes) {
  // The lengths of both codes, zero runs sent as symbols 17 (3..10) and 18 (11..138).
  std::vector<uint8_t> sequence(lengths, lengths + literalCodes);
  sequence.insert(sequence.end(), static_cast<size_t>(distanceCodes), 1);
  std::vector<std::pair<uint8_t, uint8_t>> sent;  // symbol, extra bits' value
  uint32_t lengthFrequencies[kLengthCodeSymbols] = {};
  for (size_t i = 0; i < sequence.size();) {
    size_t zeros = 0;
    while (i + zeros < sequence.size() && sequence[i + zeros] == 0 && zeros < 138) ++zeros;
    if (zeros >= 11) {
      sent.push_back({18, static_cast<uint8_t>(zeros - 11)});
    } else if (zeros >= 3) {
      sent.push_back({17, static_cast<uint8_t>(zeros - 3)});
    } else {
      sent.push_back({sequence[i], 0});
      zeros = 1;
    }
    ++lengthFrequencies[sent.back().first];
    i += zeros;
  }
  uint8_t lengthLengths[kLengthCodeSymbols];
  uint16_t lengthCodesSent[kLengthCodeSymbols];
  CodeLengths(lengthFrequencies, kLengthCodeSymbols, kLongestLengthCode, lengthLengths);
  CanonicalCodes(lengthLengths, kLengthCodeSymbols, lengthCodesSent);
  int listed = kLengthCodeSymbols;
  while (listed > 4 && lengthLengths[kLengthCodeOrder[listed - 1]] == 0) --listed;

  bits.Put(static_cast<uint32_t>(literalCodes - 257), 5);
  bits.Put(static_cast<uint32_t>(distanceCodes - 1), 5);
  bits.Put(static_cast<uint32_t>(listed - 4), 4);
  for (int i = 0; i < listed; ++i) bits.Put(lengthLengths[kLengthCodeOrder[i]], 3);
  for (const auto& s : sent) {
    bits.Put(lengthCodesSent[s.first], lengthLengths[s.first]);
    if (s.first == 17) bits.Put(s.second, 3);
    if (s.first == 18) bits.Put(s.second, 7);
  }
}

}  // namespace

bool RunDeflater::Deflate(const uint8_t* data, size_t length, bool last, std::vector<uint8_t>& out) {
  if (length == 0) return false;
  const LengthCodes& lengthCodes = Lengths();
  try {
    if (tokens_.size() < length + 1) tokens_.resize(length + 1);
    uint16_t* const tokens = tokens_.data();
    uint32_t frequencies[kLiteralLengthSymbols] = {};
    const size_t count = Tokenize(data, length, tokens, frequencies);

    uint8_t lengths[kLiteralLengthSymbols];
    uint16_t codes[kLiteralLengthSymbols];
    CodeLengths(frequencies, kLiteralLengthSymbols, kLongestCode, lengths);
    CanonicalCodes(lengths, kLiteralLengthSymbols, codes);
    int literalCodes = kLiteralLengthSymbols;
    while (literalCodes > 257 && lengths[literalCodes - 1] == 0) --literalCodes;
    // Two distance codes of one bit each, a complete code; only the first (distance 1) is used.
    constexpr int kDistanceCodes = 2;

    // A literal takes at most 15 bits and a match at most 21, for at least three bytes;
    // the header at most a few hundred bytes, the empty stored block five, and the writer's
    // last store eight past the end.
    if (bits_.size() < 2 * length + 1024) bits_.resize(2 * length + 1024);
    BitWriter bits(bits_.data());
    bits.Put(last ? 1 : 0, 1);
    bits.Put(2, 2);  // dynamic Huffman codes
    PutCodeLengths(bits, lengths, literalCodes, kDistanceCodes);
    // Every token's bits, looked up: a literal's code, or a match's length code, its extra
    // bits and distance code 0 (the bit 0), which depend on the length alone.
    struct Sent {
      uint32_t bits;
      uint32_t count;
    };
    Sent table[256 + kLongestMatch + 1] = {};
    for (int literal = 0; literal < 256; ++literal) table[literal] = {codes[literal], lengths[literal]};
    for (unsigned match = 3; match <= kLongestMatch; ++match) {
      const unsigned c = lengthCodes.code[match], symbol = 257 + c;
      table[256 + match] = {codes[symbol] | (match - lengthCodes.base[c]) << lengths[symbol],
                            lengths[symbol] + lengthCodes.extra[c] + 1u};
    }
    for (size_t t = 0; t < count; ++t) {
      const Sent& e = table[tokens[t]];
      bits.Put(e.bits, static_cast<int>(e.count));
    }
    bits.Put(codes[kEndOfBlock], lengths[kEndOfBlock]);
    uint8_t* end;
    if (last) {
      end = bits.AlignToByte();
    } else {
      bits.Put(0, 3);  // a stored block, not final
      end = bits.AlignToByte();
      const uint8_t empty[4] = {0x00, 0x00, 0xFF, 0xFF};  // its length, and the length's complement
      end = std::copy(empty, empty + 4, end);
    }
    out.insert(out.end(), bits_.data(), end);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace hl
