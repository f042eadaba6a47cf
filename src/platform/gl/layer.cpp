// The layer: a small swap chain of off-screen textures and the newest presented one.
#include <algorithm>

#include "core/log.hpp"
#include "platform/gl/gl_state.hpp"
#include "platform/gpu.hpp"

namespace kestrum::platform {

namespace detail {

struct LayerState {
    PixelFormat pixel_format = PixelFormat::Invalid;
    Size size;
    bool presents_with_transaction = false;
    // Drawable textures of the current size; one still held elsewhere is in use.
    std::vector<std::shared_ptr<Texture>> pool;
    std::shared_ptr<Texture> presented;
    std::function<void()> on_present;
};

}  // namespace detail

namespace {
// Three drawables, as a display layer keeps: one shown, one queued, one being drawn.
constexpr std::size_t kMaxDrawables = 3;
}  // namespace

void Drawable::present() {
    auto layer = layer_.lock();
    if (!layer) return;
    layer->presented = texture_;
    if (layer->on_present) layer->on_present();
}

Layer::Layer(std::shared_ptr<Device> device, PixelFormat pixel_format)
    : device_(std::move(device)), state_(std::make_shared<detail::LayerState>()) {
    state_->pixel_format = pixel_format;
}

Layer::~Layer() = default;

PixelFormat Layer::pixel_format() const {
    return state_->pixel_format;
}

void Layer::set_drawable_size(Size size) {
    if (size == state_->size) return;
    state_->size = size;
    state_->pool.clear();
}

Size Layer::drawable_size() const {
    return state_->size;
}

void Layer::set_presents_with_transaction(bool value) {
    state_->presents_with_transaction = value;
}

bool Layer::presents_with_transaction() const {
    return state_->presents_with_transaction;
}

std::shared_ptr<Drawable> Layer::next_drawable() {
    auto& s = *state_;
    if (s.size.width == 0 || s.size.height == 0) return nullptr;
    std::shared_ptr<Texture> texture;
    for (const auto& t : s.pool) {
        // Free when only the pool holds it: not presented, not in a caller's drawable.
        if (t.use_count() == 1) {
            texture = t;
            break;
        }
    }
    if (!texture) {
        if (s.pool.size() >= kMaxDrawables) return nullptr;
        texture = device_->new_texture({s.pixel_format, s.size.width, s.size.height});
        if (!texture) return nullptr;
        s.pool.push_back(texture);
    }
    return std::shared_ptr<Drawable>(new Drawable(state_, std::move(texture)));
}

std::shared_ptr<Texture> Layer::presented_texture() const {
    return state_->presented;
}

void Layer::set_present_callback(std::function<void()> callback) {
    state_->on_present = std::move(callback);
}

}  // namespace kestrum::platform
