// Takes fixed-width values off the front of a fuzzer's input; past its end every value is 0,
// so any length of input is a complete case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hl_fuzz {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  template <typename T>
  T Take() {
    T value{};
    const size_t n = size_ - used_ < sizeof value ? size_ - used_ : sizeof value;
    if (n > 0) std::memcpy(&value, data_ + used_, n);
    used_ += n;
    return value;
  }
  const uint8_t* Rest() const { return data_ + used_; }
  size_t RestSize() const { return size_ - used_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t used_ = 0;
};

inline void Require(bool holds, const char* target, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "%s invariant broken: %s\n", target, what);
    std::abort();
  }
}

}  // namespace hl_fuzz
