#include "platform/gtk/window.hpp"

#include <epoxy/gl.h>

#include <chrono>
#include <string>

#include "core/log.hpp"
#include "platform/gl/blit.hpp"
#include "platform/gtk/keys.hpp"

namespace kestrum::platform::gtk {

namespace {

constexpr std::string_view kTarget = "kestrum::platform";

// A burst of size changes is one live resize; it ends this long after the last.
constexpr guint kLiveResizeSettleMs = 150;

GdkGLContext* g_display_context = nullptr;  // main thread only

}  // namespace

core::Result<std::shared_ptr<Device>> create_display_device() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return core::fail("no display");
    GError* error = nullptr;
    GdkGLContext* context = gdk_display_create_gl_context(display, &error);
    if (!context) {
        std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        return core::fail("could not create a GL context: " + message);
    }
    gdk_gl_context_set_required_version(context, 3, 3);
    gdk_gl_context_set_forward_compatible(context, TRUE);
    if (!gdk_gl_context_realize(context, &error)) {
        std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        g_object_unref(context);
        return core::fail("could not realize a GL context: " + message);
    }
    g_display_context = context;
    std::shared_ptr<void> owner(context, [](void* c) {
        if (g_display_context == c) g_display_context = nullptr;
        g_object_unref(static_cast<GdkGLContext*>(c));
    });
    return Device::from_current_context(owner, [context] { gdk_gl_context_make_current(context); });
}

// ---- display link: the drawing area's frame clock ----

struct DisplayLinkState {
    GtkWidget* widget = nullptr;  // null once the window is gone
    ViewHandler** handler = nullptr;
    guint tick_id = 0;
    bool paused = false;
    float preferred = 0;  // 0: every frame
    gint64 last_frame_us = 0;
};

class GtkDisplayLink final : public DisplayLink {
  public:
    explicit GtkDisplayLink(std::shared_ptr<DisplayLinkState> state) : state_(std::move(state)) {
        start();
    }
    ~GtkDisplayLink() override { stop(); }
    bool is_paused() const override { return state_->paused; }
    void set_paused(bool paused) override {
        if (paused == state_->paused) return;
        state_->paused = paused;
        if (paused) {
            stop();
        } else {
            start();
        }
    }
    void set_preferred_frame_rate_range(FrameRateRange range) override {
        state_->preferred = range.preferred;
    }

  private:
    void start() {
        if (!state_->widget || state_->tick_id != 0) return;
        state_->tick_id = gtk_widget_add_tick_callback(
            state_->widget,
            [](GtkWidget*, GdkFrameClock* clock, gpointer data) -> gboolean {
                auto* s = static_cast<DisplayLinkState*>(data);
                gint64 now = gdk_frame_clock_get_frame_time(clock);
                // A lower preferred rate skips refreshes; 1 ms of slack keeps a
                // 60 Hz request on a 60 Hz clock from dropping frames.
                if (s->preferred > 0) {
                    gint64 interval = static_cast<gint64>(1e6 / s->preferred) - 1000;
                    if (now - s->last_frame_us < interval) return G_SOURCE_CONTINUE;
                }
                s->last_frame_us = now;
                if (s->handler && *s->handler) (*s->handler)->on_display_link();
                return G_SOURCE_CONTINUE;
            },
            state_.get(), nullptr);
    }
    void stop() {
        if (state_->widget && state_->tick_id != 0)
            gtk_widget_remove_tick_callback(state_->widget, state_->tick_id);
        state_->tick_id = 0;
    }
    std::shared_ptr<DisplayLinkState> state_;
};

// ---- the window ----

struct GtkWindowImpl::Impl {
    GtkWindowImpl* owner = nullptr;
    GtkWidget* area = nullptr;
    ViewHandler* handler = nullptr;
    Layer* layer = nullptr;
    int pressed_buttons = 0;  // bit per button number
    guint settle_source = 0;
    bool live_resize = false;
    Extent last_size;
    int last_scale = 0;
    bool destroyed = false;
    std::shared_ptr<DisplayLinkState> link = std::make_shared<DisplayLinkState>();

    Point to_view(double x, double y) const {
        double height = gtk_widget_get_height(area);
        return Point{x, height - y};
    }

    MouseEvent mouse_event(double x, double y, GdkModifierType state, int button,
                           int clicks) const {
        return MouseEvent{to_view(x, y), modifier_flags(state), clicks, button};
    }

    void size_changed() {
        if (!handler || destroyed) return;
        Extent size{static_cast<double>(gtk_widget_get_width(area)),
                    static_cast<double>(gtk_widget_get_height(area))};
        if (size == last_size) return;
        last_size = size;
        if (!live_resize) {
            live_resize = true;
            handler->view_will_start_live_resize();
        }
        handler->set_frame_size(size);
        if (settle_source) g_source_remove(settle_source);
        settle_source = g_timeout_add(
            kLiveResizeSettleMs,
            [](gpointer data) -> gboolean {
                auto* self = static_cast<Impl*>(data);
                self->settle_source = 0;
                self->live_resize = false;
                if (self->handler && !self->destroyed) self->handler->view_did_end_live_resize();
                return G_SOURCE_REMOVE;
            },
            this);
    }

    // Shows the newest presented drawable (stretched over the area while a resize
    // has not produced a drawable of the new size yet).
    void render() {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        std::shared_ptr<Texture> texture = layer ? layer->presented_texture() : nullptr;
        if (!texture) return;
        GLint draw_framebuffer = 0;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw_framebuffer);
        int scale = gtk_widget_get_scale_factor(area);
        gl::blit_to_framebuffer(*texture, static_cast<unsigned>(draw_framebuffer),
                                gtk_widget_get_width(area) * scale,
                                gtk_widget_get_height(area) * scale);
    }
};

namespace {

// What the drag carries: preloaded while it moves, the dropped value at the end.
DragInfo drag_info(GtkDropTarget* target, const GValue* value, double x, double y,
                   const GtkWindowImpl::Impl* self) {
    DragInfo info;
    info.location = self->to_view(x, y);
    if (!value) value = gtk_drop_target_get_value(target);
    if (value && G_VALUE_HOLDS(value, GDK_TYPE_FILE_LIST)) {
        auto* files = static_cast<GSList*>(g_value_get_boxed(value));
        for (GSList* f = files; f; f = f->next) {
            if (char* p = g_file_get_path(G_FILE(f->data))) {
                info.file_paths.emplace_back(p);
                g_free(p);
            }
        }
    } else if (value && G_VALUE_HOLDS(value, G_TYPE_STRING)) {
        if (const char* s = g_value_get_string(value)) info.string = s;
    }
    return info;
}

}  // namespace

GtkWindowImpl::GtkWindowImpl(GtkApp& app, Extent content_size)
    : app_(app), impl_(std::make_unique<Impl>()) {
    impl_->owner = this;
    window_ = GTK_WINDOW(gtk_application_window_new(app.gtk_application()));
    gtk_application_window_set_show_menubar(GTK_APPLICATION_WINDOW(window_), FALSE);
    g_object_ref(window_);
    gtk_window_set_default_size(window_, static_cast<int>(content_size.width),
                                static_cast<int>(content_size.height));

    GtkWidget* area = gtk_gl_area_new();
    impl_->area = area;
    impl_->link->widget = area;
    impl_->link->handler = &impl_->handler;
    gtk_gl_area_set_required_version(GTK_GL_AREA(area), 3, 3);
    gtk_gl_area_set_auto_render(GTK_GL_AREA(area), FALSE);
    gtk_widget_set_focusable(area, TRUE);
    gtk_widget_set_hexpand(area, TRUE);
    gtk_widget_set_vexpand(area, TRUE);
    gtk_window_set_child(window_, area);
    Impl* impl = impl_.get();

    g_signal_connect(area, "render", G_CALLBACK(+[](GtkGLArea*, GdkGLContext*, gpointer data) {
                         static_cast<Impl*>(data)->render();
                         return TRUE;
                     }),
                     impl);
    g_signal_connect(area, "resize", G_CALLBACK(+[](GtkGLArea*, int, int, gpointer data) {
                         static_cast<Impl*>(data)->size_changed();
                     }),
                     impl);
    g_signal_connect(area, "notify::scale-factor",
                     G_CALLBACK(+[](GObject*, GParamSpec*, gpointer data) {
                         auto* self = static_cast<Impl*>(data);
                         if (self->handler && !self->destroyed) self->handler->backing_changed();
                     }),
                     impl);

    // Keys: captured before the focus machinery sees Tab or arrows.
    GtkEventController* keys = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_CAPTURE);
    g_signal_connect(keys, "key-pressed",
                     G_CALLBACK(+[](GtkEventControllerKey* controller, guint keyval, guint keycode,
                                    GdkModifierType state, gpointer data) -> gboolean {
                         auto* self = static_cast<Impl*>(data);
                         if (!self->handler || self->destroyed) return FALSE;
                         GdkEvent* event = gtk_event_controller_get_current_event(
                             GTK_EVENT_CONTROLLER(controller));
                         std::optional<KeyEvent> key = translate_key(event, keyval, keycode, state);
                         if (!key) return FALSE;
                         if (auto action = self->owner->app_.menu_action_for(*key)) {
                             self->owner->app_.dispatch(*action);
                             return TRUE;
                         }
                         self->handler->key_down(*key);
                         return TRUE;
                     }),
                     impl);
    gtk_widget_add_controller(GTK_WIDGET(window_), keys);

    // Buttons.
    GtkGesture* click = gtk_gesture_click_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(click), 0);
    g_signal_connect(
        click, "pressed",
        G_CALLBACK(+[](GtkGestureClick* gesture, int n_press, double x, double y, gpointer data) {
            auto* self = static_cast<Impl*>(data);
            if (!self->handler || self->destroyed) return;
            gtk_widget_grab_focus(self->area);
            guint gdk_button = gtk_gesture_single_get_current_button(GTK_GESTURE_SINGLE(gesture));
            int button = button_number(gdk_button);
            if (button < 0) return;
            self->pressed_buttons |= 1 << button;
            GdkModifierType state =
                gtk_event_controller_get_current_event_state(GTK_EVENT_CONTROLLER(gesture));
            MouseEvent e = self->mouse_event(x, y, state, button, n_press);
            if (button == 0) {
                self->handler->mouse_down(e);
            } else if (button == 1) {
                self->handler->right_mouse_down(e);
            } else {
                self->handler->other_mouse_down(e);
            }
        }),
        impl);
    g_signal_connect(
        click, "released",
        G_CALLBACK(+[](GtkGestureClick* gesture, int n_press, double x, double y, gpointer data) {
            auto* self = static_cast<Impl*>(data);
            if (!self->handler || self->destroyed) return;
            guint gdk_button = gtk_gesture_single_get_current_button(GTK_GESTURE_SINGLE(gesture));
            int button = button_number(gdk_button);
            if (button < 0) return;
            self->pressed_buttons &= ~(1 << button);
            GdkModifierType state =
                gtk_event_controller_get_current_event_state(GTK_EVENT_CONTROLLER(gesture));
            MouseEvent e = self->mouse_event(x, y, state, button, n_press);
            if (button == 0) {
                self->handler->mouse_up(e);
            } else if (button == 1) {
                self->handler->right_mouse_up(e);
            } else {
                self->handler->other_mouse_up(e);
            }
        }),
        impl);
    gtk_widget_add_controller(area, GTK_EVENT_CONTROLLER(click));

    // Motion: a drag while a button is held, else a move.
    GtkEventController* motion = gtk_event_controller_motion_new();
    g_signal_connect(
        motion, "motion",
        G_CALLBACK(+[](GtkEventControllerMotion* controller, double x, double y, gpointer data) {
            auto* self = static_cast<Impl*>(data);
            if (!self->handler || self->destroyed) return;
            GdkModifierType state =
                gtk_event_controller_get_current_event_state(GTK_EVENT_CONTROLLER(controller));
            int held = self->pressed_buttons;
            if (held & 1) {
                self->handler->mouse_dragged(self->mouse_event(x, y, state, 0, 1));
            } else if (held & 2) {
                self->handler->right_mouse_dragged(self->mouse_event(x, y, state, 1, 1));
            } else if (held & 4) {
                self->handler->other_mouse_dragged(self->mouse_event(x, y, state, 2, 1));
            } else {
                self->handler->mouse_moved(self->mouse_event(x, y, state, 0, 0));
            }
        }),
        impl);
    g_signal_connect(
        motion, "leave", G_CALLBACK(+[](GtkEventControllerMotion* controller, gpointer data) {
            auto* self = static_cast<Impl*>(data);
            if (!self->handler || self->destroyed) return;
            GdkModifierType state =
                gtk_event_controller_get_current_event_state(GTK_EVENT_CONTROLLER(controller));
            self->handler->mouse_exited(self->mouse_event(-1, -1, state, 0, 0));
        }),
        impl);
    gtk_widget_add_controller(area, motion);

    // Wheel and touchpad.
    GtkEventController* scroll =
        gtk_event_controller_scroll_new(GTK_EVENT_CONTROLLER_SCROLL_BOTH_AXES);
    g_signal_connect(
        scroll, "scroll",
        G_CALLBACK(+[](GtkEventControllerScroll* controller, double dx, double dy,
                       gpointer data) -> gboolean {
            auto* self = static_cast<Impl*>(data);
            if (!self->handler || self->destroyed) return FALSE;
            GdkEvent* event =
                gtk_event_controller_get_current_event(GTK_EVENT_CONTROLLER(controller));
            double x = 0;
            double y = 0;
            if (event) gdk_event_get_position(event, &x, &y);
            // Event coordinates are the surface's; the area fills the window.
            ScrollEvent e;
            e.location = self->to_view(x, y);
            e.modifier_flags = modifier_flags(
                gtk_event_controller_get_current_event_state(GTK_EVENT_CONTROLLER(controller)));
            e.has_precise_scrolling_deltas =
                gtk_event_controller_scroll_get_unit(controller) == GDK_SCROLL_UNIT_SURFACE;
            // Positive towards older output: the opposite of GTK's sign.
            e.scrolling_delta_x = -dx;
            e.scrolling_delta_y = -dy;
            self->handler->scroll_wheel(e);
            return TRUE;
        }),
        impl);
    gtk_widget_add_controller(area, scroll);

    // Drops of files and text.
    GType types[] = {GDK_TYPE_FILE_LIST, G_TYPE_STRING};
    GtkDropTarget* drop = gtk_drop_target_new(G_TYPE_INVALID, GDK_ACTION_COPY);
    gtk_drop_target_set_gtypes(drop, types, G_N_ELEMENTS(types));
    gtk_drop_target_set_preload(drop, TRUE);
    g_signal_connect(
        drop, "enter",
        G_CALLBACK(+[](GtkDropTarget* target, double x, double y, gpointer data) -> GdkDragAction {
            auto* self = static_cast<Impl*>(data);
            if (!self->handler || self->destroyed) return GdkDragAction(0);
            return self->handler->dragging_entered(drag_info(target, nullptr, x, y, self)) ==
                           DragOperation::copy
                       ? GDK_ACTION_COPY
                       : GdkDragAction(0);
        }),
        impl);
    g_signal_connect(
        drop, "motion",
        G_CALLBACK(+[](GtkDropTarget* target, double x, double y, gpointer data) -> GdkDragAction {
            auto* self = static_cast<Impl*>(data);
            if (!self->handler || self->destroyed) return GdkDragAction(0);
            return self->handler->dragging_updated(drag_info(target, nullptr, x, y, self)) ==
                           DragOperation::copy
                       ? GDK_ACTION_COPY
                       : GdkDragAction(0);
        }),
        impl);
    g_signal_connect(
        drop, "drop",
        G_CALLBACK(+[](GtkDropTarget* target, const GValue* value, double x, double y,
                       gpointer data) -> gboolean {
            auto* self = static_cast<Impl*>(data);
            if (!self->handler || self->destroyed) return FALSE;
            return self->handler->perform_drag_operation(drag_info(target, value, x, y, self));
        }),
        impl);
    gtk_widget_add_controller(area, GTK_EVENT_CONTROLLER(drop));

    // Key window and visibility.
    g_signal_connect(window_, "notify::is-active",
                     G_CALLBACK(+[](GObject*, GParamSpec*, gpointer data) {
                         auto* self = static_cast<Impl*>(data);
                         if (!self->destroyed) self->owner->app_.active_changed();
                     }),
                     impl);
    auto visibility = +[](GtkWidget*, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        if (!self->destroyed) self->owner->app_.occlusion_changed();
    };
    g_signal_connect(window_, "map", G_CALLBACK(visibility), impl);
    g_signal_connect(window_, "unmap", G_CALLBACK(visibility), impl);
    g_signal_connect(window_, "realize", G_CALLBACK(+[](GtkWidget* w, gpointer data) {
                         GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(w));
                         g_signal_connect(surface, "notify::state",
                                          G_CALLBACK(+[](GObject*, GParamSpec*, gpointer d) {
                                              auto* self = static_cast<Impl*>(d);
                                              if (!self->destroyed)
                                                  self->owner->app_.occlusion_changed();
                                          }),
                                          data);
                     }),
                     impl);
    g_signal_connect(window_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                         auto* self = static_cast<Impl*>(data);
                         self->destroyed = true;
                         self->link->widget = nullptr;
                         if (self->settle_source) g_source_remove(self->settle_source);
                         self->settle_source = 0;
                     }),
                     impl);

    app_.window_added(this);
}

GtkWindowImpl::~GtkWindowImpl() {
    app_.window_removed(this);
    impl_->handler = nullptr;
    // The layer is the view's and may be gone already: its callback only reaches the
    // area through the shared link state, which forgets the area when it is destroyed.
    if (!impl_->destroyed) gtk_window_destroy(window_);
    g_object_unref(window_);
}

void GtkWindowImpl::set_title(const std::string& title) {
    gtk_window_set_title(window_, title.c_str());
}

void GtkWindowImpl::set_translucent(bool blur) {
    // The drawn background shows through where the view draws translucent pixels.
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, "window.kestrum-translucent { background: transparent; }",
                                    -1);
    gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(css),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
    gtk_widget_add_css_class(GTK_WIDGET(window_), "kestrum-translucent");
    if (blur) KLOG_DEBUG(kTarget, "background blur is left to the compositor; none is requested");
}

void GtkWindowImpl::set_content_view(ViewHandler* handler, Layer* layer) {
    impl_->handler = handler;
    impl_->layer = layer;
    if (layer) {
        layer->set_present_callback([link = impl_->link] {
            if (link->widget) gtk_gl_area_queue_render(GTK_GL_AREA(link->widget));
        });
    }
    if (gtk_widget_get_realized(impl_->area)) {
        impl_->last_size = {};
        impl_->size_changed();
    }
}

Extent GtkWindowImpl::content_size() const {
    int w = gtk_widget_get_width(impl_->area);
    int h = gtk_widget_get_height(impl_->area);
    if (w <= 0 || h <= 0) {
        gtk_window_get_default_size(window_, &w, &h);
    }
    return Extent{static_cast<double>(w), static_cast<double>(h)};
}

double GtkWindowImpl::backing_scale_factor() const {
    return static_cast<double>(gtk_widget_get_scale_factor(impl_->area));
}

bool GtkWindowImpl::is_key_window() const {
    return !impl_->destroyed && gtk_window_is_active(window_);
}

bool GtkWindowImpl::occlusion_visible() const {
    if (impl_->destroyed || !gtk_widget_get_mapped(GTK_WIDGET(window_))) return false;
    GdkSurface* surface = gdk_surface();
    if (surface && GDK_IS_TOPLEVEL(surface))
        return (gdk_toplevel_get_state(GDK_TOPLEVEL(surface)) & GDK_TOPLEVEL_STATE_MINIMIZED) == 0;
    return true;
}

void GtkWindowImpl::center() {
    // Placement belongs to the window manager on this desktop.
}

void GtkWindowImpl::make_key_and_order_front() {
    if (impl_->destroyed) return;
    gtk_window_present(window_);
    gtk_widget_grab_focus(impl_->area);
}

void GtkWindowImpl::close() {
    if (!impl_->destroyed) gtk_window_destroy(window_);
}

std::unique_ptr<DisplayLink> GtkWindowImpl::create_display_link() {
    return std::make_unique<GtkDisplayLink>(impl_->link);
}

void GtkWindowImpl::pop_up_context_menu(const Menu& menu, Point location) {
    if (impl_->destroyed) return;
    GMenu* model = g_menu_new();
    GMenu* section = g_menu_new();
    GSimpleActionGroup* group = g_simple_action_group_new();
    for (const auto& item : menu.items) {
        if (item.separator) {
            g_menu_append_section(model, nullptr, G_MENU_MODEL(section));
            g_object_unref(section);
            section = g_menu_new();
            continue;
        }
        if (!item.action) continue;
        const char* name = action_name(*item.action);
        GSimpleAction* action = g_simple_action_new(name, nullptr);
        g_simple_action_set_enabled(action, item.enabled);
        g_object_set_data(G_OBJECT(action), "kestrum-action",
                          GINT_TO_POINTER(static_cast<int>(*item.action) + 1));
        g_signal_connect(
            action, "activate", G_CALLBACK(+[](GSimpleAction* self, GVariant*, gpointer data) {
                int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(self), "kestrum-action"));
                static_cast<GtkWindowImpl*>(data)->perform_action(static_cast<Action>(id - 1));
            }),
            this);
        g_action_map_add_action(G_ACTION_MAP(group), G_ACTION(action));
        g_object_unref(action);
        std::string detailed = std::string("ctx.") + name;
        g_menu_append(section, item.title.c_str(), detailed.c_str());
    }
    g_menu_append_section(model, nullptr, G_MENU_MODEL(section));
    g_object_unref(section);
    gtk_widget_insert_action_group(impl_->area, "ctx", G_ACTION_GROUP(group));
    g_object_unref(group);

    GtkWidget* popover = gtk_popover_menu_new_from_model(G_MENU_MODEL(model));
    g_object_unref(model);
    gtk_widget_set_parent(popover, impl_->area);
    gtk_popover_set_has_arrow(GTK_POPOVER(popover), FALSE);
    double height = gtk_widget_get_height(impl_->area);
    GdkRectangle at{static_cast<int>(location.x), static_cast<int>(height - location.y), 1, 1};
    gtk_popover_set_pointing_to(GTK_POPOVER(popover), &at);
    g_signal_connect(popover, "closed", G_CALLBACK(+[](GtkPopover* p, gpointer) {
                         // Unparent after the activation has been delivered.
                         g_idle_add_once([](gpointer w) { gtk_widget_unparent(GTK_WIDGET(w)); }, p);
                     }),
                     nullptr);
    gtk_popover_popup(GTK_POPOVER(popover));
}

void GtkWindowImpl::perform_action(Action action) {
    if (impl_->handler && !impl_->destroyed) impl_->handler->perform_action(action);
}

GdkSurface* GtkWindowImpl::gdk_surface() const {
    if (impl_->destroyed || !gtk_widget_get_realized(GTK_WIDGET(window_))) return nullptr;
    return gtk_native_get_surface(GTK_NATIVE(window_));
}

}  // namespace kestrum::platform::gtk
