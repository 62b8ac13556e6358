// The time–frequency image as palette indices, one byte per pixel, row 0 at the top: rows
// 0..43 are the envelope strip (row 21 its centre line, row 43 the separator), the frequency
// rows below it. Pixels nothing has drawn on hold index 3, the colour of silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/base/limits.h"

namespace hl {

constexpr int kEnvelopeCentreRow = 21;
constexpr int kSeparatorRow = 43;

constexpr uint8_t kIndexMarker = 0;
constexpr uint8_t kIndexSeparator = 1;
constexpr uint8_t kIndexEnvelope = 2;
constexpr uint8_t kIndexFloor = 3;
constexpr uint8_t kIndexTop = 235;

// Leaves new elements unset (an allocator's construct with no value default-initialises):
// a large image allocated this way has none of its pages touched until it is drawn.
template <class T>
struct UnsetAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UnsetAllocator<U>;
  };
  UnsetAllocator() = default;
  template <class U>
  UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// An image of palette indices: row y starts at data + y * stride. It either owns its pixels
// (PrepareImage) or is a view of memory that belongs to someone else, such as the bits of
// the window's display bitmap (ImageOver).
struct PaletteImage {
  int width = 0;
  int height = 0;
  int stride = 0;
  uint8_t* data = nullptr;
  std::vector<uint8_t, UnsetAllocator<uint8_t>> pixels;  // the storage of an image that owns its pixels

  PaletteImage() = default;
  PaletteImage(PaletteImage&&) = default;
  PaletteImage& operator=(PaletteImage&&) = default;
  PaletteImage(const PaletteImage&) = delete;
  PaletteImage& operator=(const PaletteImage&) = delete;

  uint8_t* Row(int y) { return data + static_cast<size_t>(y) * stride; }
  const uint8_t* Row(int y) const { return data + static_cast<size_t>(y) * stride; }
  uint8_t At(int x, int y) const { return Row(y)[x]; }
};

// Allocates an image of its own and prepares it as a new analysis starts: everything
// index 3, then full-width lines at row 43 (index 1) and row 21 (index 2). Returns false
// when the image cannot be allocated.
bool PrepareImage(PaletteImage& image, int width, int height);

// Allocates an image of its own and leaves its pixels unset, for a drawing that clears each
// range of columns (ClearColumns) before it draws them: the pages are then first touched
// by the threads that draw, not all at once before the drawing starts.
bool AllocateImage(PaletteImage& image, int width, int height);

// A view of someone else's pixels, `stride` bytes per row.
PaletteImage ImageOver(uint8_t* data, int width, int height, int stride);

// Fills an existing image as PrepareImage does.
void ClearImage(PaletteImage& image);

// Fills columns first .. first + count - 1 (within the image) as ClearImage fills them all.
void ClearColumns(PaletteImage& image, int first, int count);

}  // namespace hl
