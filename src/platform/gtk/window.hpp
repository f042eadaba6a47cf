// The application window on GTK 4: a GtkGLArea shows the view's layer, and the
// widget's events become the view's events in desktop-classic terms.
#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "core/error.hpp"
#include "platform/gpu.hpp"
#include "platform/gtk/gtk_app.hpp"
#include "platform/ui.hpp"

namespace kestrum::platform::gtk {

// A GL device for windows of the default display: its textures are shared with
// every window's drawing area. Needs a running application (an open display).
core::Result<std::shared_ptr<Device>> create_display_device();

class GtkWindowImpl final : public Window {
  public:
    GtkWindowImpl(GtkApp& app, Extent content_size);
    ~GtkWindowImpl() override;

    void set_title(const std::string& title) override;
    void set_translucent(bool blur) override;
    void set_content_view(ViewHandler* handler, Layer* layer) override;
    Extent content_size() const override;
    double backing_scale_factor() const override;
    bool is_key_window() const override;
    bool occlusion_visible() const override;
    void center() override;
    void make_key_and_order_front() override;
    void close() override;
    std::unique_ptr<DisplayLink> create_display_link() override;
    void pop_up_context_menu(const Menu& menu, Point location) override;

    void perform_action(Action action);
    GtkWindow* gtk_window() const { return window_; }
    GdkSurface* gdk_surface() const;

    struct Impl;

  private:
    GtkApp& app_;
    GtkWindow* window_ = nullptr;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrum::platform::gtk
