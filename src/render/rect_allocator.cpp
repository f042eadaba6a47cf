#include "render/rect_allocator.hpp"

#include <climits>
#include <vector>

#define STB_RECT_PACK_IMPLEMENTATION
#define STBRP_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_rect_pack.h>
#pragma GCC diagnostic pop

namespace kestrum_render {

struct RectAllocator::State {
    stbrp_context context{};
    // One node per column: with fewer the packer rounds widths up to save nodes.
    std::vector<stbrp_node> nodes;
};

RectAllocator::RectAllocator(std::uint32_t width, std::uint32_t height)
    : state_(std::make_unique<State>()) {
    const auto w = static_cast<int>(std::min<std::uint32_t>(width, INT_MAX));
    const auto h = static_cast<int>(std::min<std::uint32_t>(height, INT_MAX));
    state_->nodes.resize(static_cast<std::size_t>(w > 0 ? w : 1));
    stbrp_init_target(&state_->context, w, h, state_->nodes.data(),
                      static_cast<int>(state_->nodes.size()));
}

RectAllocator::~RectAllocator() = default;
RectAllocator::RectAllocator(RectAllocator&&) noexcept = default;
RectAllocator& RectAllocator::operator=(RectAllocator&&) noexcept = default;

std::optional<AllocatedRect> RectAllocator::allocate(std::uint32_t width, std::uint32_t height) {
    // The packer places empty rectangles anywhere without taking space: refuse them.
    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX) return std::nullopt;
    stbrp_rect rect{};
    rect.w = static_cast<stbrp_coord>(width);
    rect.h = static_cast<stbrp_coord>(height);
    if (stbrp_pack_rects(&state_->context, &rect, 1) != 1 || !rect.was_packed) {
        return std::nullopt;
    }
    return AllocatedRect{static_cast<std::uint32_t>(rect.x), static_cast<std::uint32_t>(rect.y)};
}

}  // namespace kestrum_render
