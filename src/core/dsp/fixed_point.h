// The few integer operations of the fixed-point transform that wrap or shift, in one place.
// Every per-frame computation of the FFT is built from these, so the plain and the batched
// (SIMD) paths share one definition of where values wrap.
#pragma once

#include <cstdint>

namespace hl {

// Low 16 bits of a value, taken as signed (wraps; never saturates).
inline int16_t Wrap16(int32_t value) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value)));
}

// a * b + c * d in 32-bit arithmetic, wrapping like the machine's 32-bit multiply-add
// (the one case that leaves the range is (-32768)^2 + (-32768)^2 = 2^31).
inline int32_t MultiplyAdd32(int32_t a, int32_t b, int32_t c, int32_t d) {
  uint32_t sum = static_cast<uint32_t>(a) * static_cast<uint32_t>(b) +
                 static_cast<uint32_t>(c) * static_cast<uint32_t>(d);
  return static_cast<int32_t>(sum);
}

// Arithmetic shift right by 15 of a 32-bit value (floor), low 16 bits kept.
inline int16_t Shift15To16(int32_t value) { return Wrap16(value >> 15); }

}  // namespace hl
