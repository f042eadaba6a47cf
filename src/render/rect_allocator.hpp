// Packs rectangles into a fixed area, one at a time, never freeing any: the glyph
// atlas's space manager (a skyline packer underneath).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace kestrum_render {

struct AllocatedRect {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
};

class RectAllocator {
  public:
    // An empty allocator over `width` x `height` pixels with 1-pixel alignment.
    RectAllocator(std::uint32_t width, std::uint32_t height);
    ~RectAllocator();
    RectAllocator(RectAllocator&&) noexcept;
    RectAllocator& operator=(RectAllocator&&) noexcept;

    // The top-left corner of a free `width` x `height` rectangle, now taken; empty
    // when no free space fits it (or either side is 0).
    std::optional<AllocatedRect> allocate(std::uint32_t width, std::uint32_t height);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kestrum_render
