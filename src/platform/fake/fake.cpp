#include "platform/fake/fake.hpp"

#include <algorithm>

namespace kestrum::platform::fake {

namespace {

// Unlinks itself from its window when dropped.
class OwnedDisplayLink final : public DisplayLink {
  public:
    explicit OwnedDisplayLink(FakeWindow& window) : window_(&window) { window.link = &link_; }
    ~OwnedDisplayLink() override {
        if (window_->link == &link_) window_->link = nullptr;
    }
    bool is_paused() const override { return link_.is_paused(); }
    void set_paused(bool paused) override { link_.set_paused(paused); }
    void set_preferred_frame_rate_range(FrameRateRange range) override {
        link_.set_preferred_frame_rate_range(range);
    }

  private:
    FakeWindow* window_;
    FakeDisplayLink link_;
};

}  // namespace

FakeWindow::~FakeWindow() {
    std::erase(app_->windows, this);
}

std::unique_ptr<DisplayLink> FakeWindow::create_display_link() {
    return std::make_unique<OwnedDisplayLink>(*this);
}

void FakeWindow::tick() {
    if (handler && link && !link->paused) handler->on_display_link();
}

}  // namespace kestrum::platform::fake
