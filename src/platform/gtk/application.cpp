#include "platform/gtk/application.hpp"

#include <gtk/gtk.h>

#include <chrono>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "core/log.hpp"
#include "platform/gtk/gtk_app.hpp"
#include "platform/gtk/window.hpp"

namespace kestrum::platform::gtk {

namespace {

constexpr std::string_view kTarget = "kestrum::platform";

struct ActionName {
    Action action;
    const char* name;
};

// GIO action names of the menu commands.
constexpr ActionName kActionNames[] = {
    {Action::terminate, "quit"},
    {Action::select_all_text, "select-all-text"},
    {Action::find_in_terminal, "find-in-terminal"},
    {Action::find_next, "find-next"},
    {Action::find_previous, "find-previous"},
    {Action::new_tab, "new-tab"},
    {Action::close_tab, "close-tab"},
    {Action::open_folder_for_tab, "open-folder-for-tab"},
    {Action::select_next_tab, "select-next-tab"},
    {Action::select_previous_tab, "select-previous-tab"},
    {Action::ctx_new_tab, "ctx-new-tab"},
    {Action::ctx_rename_tab, "ctx-rename-tab"},
    {Action::ctx_close_tab, "ctx-close-tab"},
    {Action::ctx_close_other_tabs, "ctx-close-other-tabs"},
    {Action::ctx_copy, "ctx-copy"},
    {Action::ctx_cut, "ctx-cut"},
    {Action::ctx_paste, "ctx-paste"},
};

// Runs the default main context until `done` holds or the wait runs out: how the
// asynchronous GTK calls become the synchronous ones the view expects.
template <typename Pred>
bool iterate_until(Pred done, std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        g_main_context_iteration(nullptr, FALSE);
        if (!done()) g_usleep(1000);
    }
    return true;
}

class GtkPasteboard final : public Pasteboard {
  public:
    std::optional<std::string> string() override {
        GdkClipboard* clipboard = this->clipboard();
        if (!clipboard) return std::nullopt;
        struct State {
            bool done = false;
            std::optional<std::string> text;
        } state;
        gdk_clipboard_read_text_async(
            clipboard, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                auto* s = static_cast<State*>(data);
                char* text = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr);
                if (text) s->text = text;
                g_free(text);
                s->done = true;
            },
            &state);
        // The callback must run before `state` goes away, even past the limit.
        if (!iterate_until([&] { return state.done; }))
            iterate_until([&] { return state.done; }, std::chrono::hours(1));
        return state.text;
    }
    void set_string(const std::string& text) override {
        if (GdkClipboard* clipboard = this->clipboard())
            gdk_clipboard_set_text(clipboard, text.c_str());
    }
    std::optional<std::vector<std::uint8_t>> png_data() override { return read_bytes("image/png"); }
    std::optional<std::vector<std::uint8_t>> tiff_data() override {
        return read_bytes("image/tiff");
    }
    std::vector<std::filesystem::path> file_paths() override {
        std::vector<std::filesystem::path> out;
        auto bytes = read_bytes("text/uri-list");
        if (!bytes) return out;
        std::string list(bytes->begin(), bytes->end());
        char** uris = g_uri_list_extract_uris(list.c_str());
        for (char** u = uris; u && *u; ++u) {
            if (char* path = g_filename_from_uri(*u, nullptr, nullptr)) {
                out.emplace_back(path);
                g_free(path);
            }
        }
        g_strfreev(uris);
        return out;
    }

      std::optional<std::vector<std::uint8_t>> image_as_png(
        const std::vector<std::uint8_t>& image) override {
        GBytes* bytes = g_bytes_new(image.data(), image.size());
        GdkTexture* texture = gdk_texture_new_from_bytes(bytes, nullptr);
        g_bytes_unref(bytes);
        if (!texture) return std::nullopt;
        GBytes* png = gdk_texture_save_to_png_bytes(texture);
        g_object_unref(texture);
        if (!png) return std::nullopt;
        gsize size = 0;
        const auto* data = static_cast<const std::uint8_t*>(g_bytes_get_data(png, &size));
        std::vector<std::uint8_t> out(data, data + size);
        g_bytes_unref(png);
        return out;
    }

private:
    GdkClipboard* clipboard() {
        GdkDisplay* display = gdk_display_get_default();
        return display ? gdk_display_get_clipboard(display) : nullptr;
    }

    std::optional<std::vector<std::uint8_t>> read_bytes(const char* mime) {
        GdkClipboard* clipboard = this->clipboard();
        if (!clipboard) return std::nullopt;
        GdkContentFormats* formats = gdk_clipboard_get_formats(clipboard);
        if (!gdk_content_formats_contain_mime_type(formats, mime)) return std::nullopt;
        struct State {
            bool done = false;
            GInputStream* stream = nullptr;
        } state;
        const char* mimes[] = {mime, nullptr};
        gdk_clipboard_read_async(
            clipboard, mimes, G_PRIORITY_DEFAULT, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                auto* s = static_cast<State*>(data);
                s->stream =
                    gdk_clipboard_read_finish(GDK_CLIPBOARD(source), result, nullptr, nullptr);
                s->done = true;
            },
            &state);
        if (!iterate_until([&] { return state.done; }))
            iterate_until([&] { return state.done; }, std::chrono::hours(1));
        if (!state.stream) return std::nullopt;
        std::vector<std::uint8_t> out;
        std::uint8_t buf[65536];
        for (;;) {
            gssize n = g_input_stream_read(state.stream, buf, sizeof buf, nullptr, nullptr);
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        g_object_unref(state.stream);
        return out;
    }
};

class GtkNotifications final : public Notifications {
  public:
    explicit GtkNotifications(GtkApplication* app) : app_(app) {}
    bool available() const override {
        return g_application_get_is_registered(G_APPLICATION(app_)) &&
               g_application_get_dbus_connection(G_APPLICATION(app_)) != nullptr;
    }
    void request_authorization(
        std::function<void(bool, std::optional<std::string>)> done) override {
        // Desktop notifications need no permission request: granted when available.
        done(available(),
             available() ? std::nullopt : std::optional<std::string>("no session bus"));
    }
    void add(const NotificationRequest& request,
             std::function<void(std::optional<std::string>)> done) override {
        struct Post {
            GtkApplication* app;
            NotificationRequest request;
            std::function<void(std::optional<std::string>)> done;
        };
        // GApplication is used from the main thread only: hop there.
        auto* post = new Post{app_, request, std::move(done)};
        g_main_context_invoke(
            nullptr,
            [](gpointer data) -> gboolean {
                auto* p = static_cast<Post*>(data);
                GNotification* n = g_notification_new(p->request.title.c_str());
                g_notification_set_body(n, p->request.body.c_str());
                g_application_send_notification(G_APPLICATION(p->app),
                                                p->request.identifier.c_str(), n);
                g_object_unref(n);
                if (p->done) p->done(std::nullopt);
                delete p;
                return G_SOURCE_REMOVE;
            },
            post);
    }

  private:
    GtkApplication* app_;
};

std::string accelerator(const MenuItem& item) {
    std::string accel;
    if (item.modifiers & kCommandKeyMask) accel += "<Super>";
    if (item.modifiers & kControlKeyMask) accel += "<Control>";
    if (item.modifiers & kOptionKeyMask) accel += "<Alt>";
    if (item.modifiers & kShiftKeyMask) accel += "<Shift>";
    gunichar c = g_utf8_get_char(item.key.c_str());
    const char* name = gdk_keyval_name(gdk_unicode_to_keyval(c));
    accel += name ? name : item.key;
    return accel;
}

// This process's arguments, argument zero first.
std::vector<std::string> command_line() {
    std::vector<std::string> args;
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string arg;
    while (std::getline(in, arg, '\0'))
        args.push_back(arg);
    if (args.empty()) args.push_back("kestrum");
    return args;
}

}  // namespace

const char* action_name(Action action) {
    for (const auto& a : kActionNames)
        if (a.action == action) return a.name;
    return "unknown";
}

GtkApp::GtkApp() {
    app_ = gtk_application_new(kApplicationId, G_APPLICATION_HANDLES_OPEN);
    pasteboard_ = std::make_unique<GtkPasteboard>();
    notifications_ = std::make_unique<GtkNotifications>(app_);

    for (const auto& a : kActionNames) {
        GSimpleAction* action = g_simple_action_new(a.name, nullptr);
        g_object_set_data(G_OBJECT(action), "kestrum-action",
                          GINT_TO_POINTER(static_cast<int>(a.action) + 1));
        g_signal_connect(
            action, "activate", G_CALLBACK(+[](GSimpleAction* self, GVariant*, gpointer data) {
                auto* app = static_cast<GtkApp*>(data);
                int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(self), "kestrum-action"));
                app->dispatch(static_cast<Action>(id - 1));
            }),
            this);
        g_action_map_add_action(G_ACTION_MAP(app_), G_ACTION(action));
        g_object_unref(action);
    }

    // Folders from other programs over D-Bus: `open-folder` with a path.
    GSimpleAction* open_folder = g_simple_action_new("open-folder", G_VARIANT_TYPE_STRING);
    g_signal_connect(open_folder, "activate",
                     G_CALLBACK(+[](GSimpleAction*, GVariant* parameter, gpointer data) {
                         auto* app = static_cast<GtkApp*>(data);
                         if (!app->delegate_ || !parameter) return;
                         std::filesystem::path path = g_variant_get_string(parameter, nullptr);
                         app->delegate_->open_folder_service({path});
                     }),
                     this);
    g_action_map_add_action(G_ACTION_MAP(app_), G_ACTION(open_folder));
    g_object_unref(open_folder);
}

GtkApp::~GtkApp() {
    g_object_unref(app_);
}

void GtkApp::dispatch(Action action) {
    if (action == Action::terminate) {
        terminate();
        return;
    }
    // The first responder: the view of the key window, else of the newest window.
    GtkWindowImpl* target = nullptr;
    for (auto* w : windows_) {
        if (w->is_key_window()) target = w;
    }
    if (!target && !windows_.empty()) target = windows_.back();
    if (target) target->perform_action(action);
}

void GtkApp::set_main_menu(std::vector<Menu> menus) {
    menus_ = std::move(menus);
}

std::optional<Action> GtkApp::menu_action_for(const KeyEvent& key) const {
    constexpr std::uint64_t kMask =
        kShiftKeyMask | kControlKeyMask | kOptionKeyMask | kCommandKeyMask;
    std::string pressed = key.characters_ignoring_modifiers;
    if (pressed.size() != 1) return std::nullopt;
    char c = pressed[0];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    // Shift turns the bracket keys into braces on common layouts.
    if (c == '{') c = '[';
    if (c == '}') c = ']';
    for (const auto& menu : menus_) {
        for (const auto& item : menu.items) {
            if (!item.action || item.key.size() != 1) continue;
            if (item.key[0] == c && item.modifiers == (key.modifier_flags & kMask))
                return item.action;
        }
    }
    return std::nullopt;
}

void GtkApp::install_menus() {
    GMenu* bar = g_menu_new();
    for (const auto& menu : menus_) {
        GMenu* sub = g_menu_new();
        GMenu* section = g_menu_new();
        auto flush_section = [&] {
            if (g_menu_model_get_n_items(G_MENU_MODEL(section)) > 0)
                g_menu_append_section(sub, nullptr, G_MENU_MODEL(section));
            g_object_unref(section);
            section = g_menu_new();
        };
        for (const auto& item : menu.items) {
            if (item.separator) {
                flush_section();
                continue;
            }
            if (!item.action) continue;
            std::string detailed = std::string("app.") + action_name(*item.action);
            g_menu_append(section, item.title.c_str(), detailed.c_str());
            // Labels only: key presses are matched by menu_action_for, first.
            if (!item.key.empty()) {
                std::string accel = accelerator(item);
                const char* list[] = {accel.c_str(), nullptr};
                gtk_application_set_accels_for_action(app_, detailed.c_str(), list);
            }
        }
        flush_section();
        g_object_unref(section);
        // The application menu has no title of its own: it shows the program's name.
        g_menu_append_submenu(bar, menu.title.empty() ? "Kestrum" : menu.title.c_str(),
                              G_MENU_MODEL(sub));
        g_object_unref(sub);
    }
    gtk_application_set_menubar(app_, G_MENU_MODEL(bar));
    g_object_unref(bar);
}

void GtkApp::launch() {
    if (launched_ || !delegate_) return;
    launched_ = true;
    delegate_->did_finish_launching();
}

int GtkApp::run(ApplicationDelegate& delegate) {
    delegate_ = &delegate;
    g_signal_connect(app_, "startup", G_CALLBACK(+[](GApplication*, gpointer data) {
                         static_cast<GtkApp*>(data)->install_menus();
                     }),
                     this);
    g_signal_connect(app_, "activate", G_CALLBACK(+[](GApplication*, gpointer data) {
                         auto* app = static_cast<GtkApp*>(data);
                         if (app->launched_) {
                             app->activate();
                         } else {
                             app->launch();
                         }
                     }),
                     this);
    g_signal_connect(
        app_, "open", G_CALLBACK(+[](GApplication*, GFile** files, gint n, gchar*, gpointer data) {
            auto* app = static_cast<GtkApp*>(data);
            std::vector<std::filesystem::path> paths;
            for (gint i = 0; i < n; ++i) {
                if (char* p = g_file_get_path(files[i])) {
                    paths.emplace_back(p);
                    g_free(p);
                }
            }
            if (paths.empty() && n > 0)
                KLOG_WARN("kestrum_app::app_delegate",
                          "Open-With delivered {} URL(s) but none resolved to a folder", n);
            // Before launch the delegate only queues them.
            if (!paths.empty()) app->delegate_->open_paths(paths);
            app->launch();
        }),
        this);
    g_signal_connect(app_, "shutdown", G_CALLBACK(+[](GApplication*, gpointer data) {
                         auto* app = static_cast<GtkApp*>(data);
                         if (app->delegate_) app->delegate_->will_terminate();
                     }),
                     this);
    // The desktop hands folders over as file arguments (Open With, the launcher):
    // GApplication turns them into `open`, locally or in the running instance.
    std::vector<std::string> args = command_line();
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int status = g_application_run(G_APPLICATION(app_), static_cast<int>(args.size()), argv.data());
    delegate_ = nullptr;
    return status;
}

void GtkApp::terminate() {
    // Windows close first so their views tear down in order; then the loop ends.
    auto windows = windows_;
    for (auto* w : windows)
        w->close();
    g_application_quit(G_APPLICATION(app_));
}

bool GtkApp::is_active() const {
    for (auto* w : windows_)
        if (w->is_key_window()) return true;
    return false;
}

void GtkApp::activate() {
    for (auto* w : windows_)
        w->make_key_and_order_front();
}

std::unique_ptr<Window> GtkApp::create_window(Extent content_size) {
    return std::make_unique<GtkWindowImpl>(*this, content_size);
}

void GtkApp::window_added(GtkWindowImpl* window) {
    windows_.push_back(window);
}

void GtkApp::window_removed(GtkWindowImpl* window) {
    std::erase(windows_, window);
}

void GtkApp::active_changed() {
    bool active = is_active();
    if (active == was_active_ || !delegate_) return;
    was_active_ = active;
    if (active) {
        delegate_->did_become_active();
    } else {
        delegate_->did_resign_active();
    }
}

void GtkApp::occlusion_changed() {
    if (delegate_) delegate_->window_did_change_occlusion_state();
}

void GtkApp::run_alert(const Alert& alert) {
    GtkWindow* parent = windows_.empty() ? nullptr : windows_.back()->gtk_window();
    GtkMessageType type = alert.style == AlertStyle::critical  ? GTK_MESSAGE_ERROR
                          : alert.style == AlertStyle::warning ? GTK_MESSAGE_WARNING
                                                               : GTK_MESSAGE_INFO;
    GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type, GTK_BUTTONS_OK, "%s",
                                               alert.message.c_str());
    if (!alert.informative.empty())
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                                 alert.informative.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), "Kestrum");
    bool answered = false;
    g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog*, int, gpointer data) {
                         *static_cast<bool*>(data) = true;
                     }),
                     &answered);
    // The alert keeps the application alive while no other window exists.
    g_application_hold(G_APPLICATION(app_));
    gtk_window_present(GTK_WINDOW(dialog));
    while (!answered)
        g_main_context_iteration(nullptr, TRUE);
    gtk_window_destroy(GTK_WINDOW(dialog));
    g_application_release(G_APPLICATION(app_));
}

std::optional<std::filesystem::path> GtkApp::choose_folder() {
    GtkWindow* parent = windows_.empty() ? nullptr : windows_.back()->gtk_window();
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        "Open Folder", parent, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "Open", "Cancel");
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(chooser), FALSE);
    struct State {
        bool done = false;
        int response = GTK_RESPONSE_CANCEL;
    } state;
    g_signal_connect(chooser, "response",
                     G_CALLBACK(+[](GtkNativeDialog*, int response, gpointer data) {
                         auto* s = static_cast<State*>(data);
                         s->response = response;
                         s->done = true;
                     }),
                     &state);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
    while (!state.done)
        g_main_context_iteration(nullptr, TRUE);
    std::optional<std::filesystem::path> out;
    if (state.response == GTK_RESPONSE_ACCEPT) {
        if (GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(chooser))) {
            if (char* p = g_file_get_path(file)) {
                out = p;
                g_free(p);
            }
            g_object_unref(file);
        }
    }
    g_object_unref(chooser);
    return out;
}

Pasteboard& GtkApp::pasteboard() {
    return *pasteboard_;
}

Notifications& GtkApp::notifications() {
    return *notifications_;
}

std::optional<Screen> GtkApp::main_screen() const {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return std::nullopt;
    GdkMonitor* monitor = nullptr;
    if (!windows_.empty()) {
        if (GdkSurface* surface = windows_.back()->gdk_surface())
            monitor = gdk_display_get_monitor_at_surface(display, surface);
    }
    GListModel* monitors = gdk_display_get_monitors(display);
    bool owned = false;
    if (!monitor && g_list_model_get_n_items(monitors) > 0) {
        monitor = GDK_MONITOR(g_list_model_get_item(monitors, 0));
        owned = true;
    }
    if (!monitor) return std::nullopt;
    Screen screen{static_cast<double>(gdk_monitor_get_scale_factor(monitor)),
                  gdk_monitor_get_refresh_rate(monitor) / 1000.0};
    if (owned) g_object_unref(monitor);
    return screen;
}

void GtkApp::reveal_in_file_manager(const std::filesystem::path& path) {
    GFile* file = g_file_new_for_path(path.c_str());
    char* uri = g_file_get_uri(file);
    g_object_unref(file);
    GError* error = nullptr;
    GDBusConnection* bus = g_application_get_dbus_connection(G_APPLICATION(app_));
    bool shown = false;
    if (bus) {
        const char* uris[] = {uri, nullptr};
        GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
            "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", uris, ""), nullptr,
            G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error);
        if (reply) {
            shown = true;
            g_variant_unref(reply);
        }
        g_clear_error(&error);
    }
    if (!shown) {
        // No file manager service: open the containing folder instead.
        GFile* parent = g_file_new_for_path(path.parent_path().c_str());
        char* parent_uri = g_file_get_uri(parent);
        if (!g_app_info_launch_default_for_uri(parent_uri, nullptr, &error)) {
            KLOG_WARN(kTarget, "could not reveal {}: {}", path.string(),
                      error ? error->message : "unknown error");
            g_clear_error(&error);
        }
        g_free(parent_uri);
        g_object_unref(parent);
    }
    g_free(uri);
}

void GtkApp::beep() {
    if (GdkDisplay* display = gdk_display_get_default()) gdk_display_beep(display);
}

std::unique_ptr<Application> make_application() {
    return std::make_unique<GtkApp>();
}

}  // namespace kestrum::platform::gtk
