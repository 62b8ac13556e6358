// SHA-256 (FIPS 180-4) of a byte stream, fed in pieces: the batch's manifest records it for
// every image so that a run spread over many machines can be checked against another.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace hl {

class Sha256 {
 public:
  Sha256();
  void Update(const uint8_t* data, size_t size);
  // The digest of everything given so far; the object is spent afterwards.
  std::array<uint8_t, 32> Finish();
  // Finish() as 64 lowercase hexadecimal digits.
  std::string FinishHex();

 private:
  void Block(const uint8_t* block);
  uint32_t state_[8];
  uint8_t pending_[64];
  size_t pendingSize_ = 0;
  uint64_t totalBytes_ = 0;
};

}  // namespace hl
