// The GTK application object, shared by the application and window code.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <vector>

#include "platform/ui.hpp"

namespace kestrum::platform::gtk {

class GtkWindowImpl;

const char* action_name(Action action);

class GtkApp final : public Application {
  public:
    GtkApp();
    ~GtkApp() override;

    void set_main_menu(std::vector<Menu> menus) override;
    int run(ApplicationDelegate& delegate) override;
    void terminate() override;
    bool is_active() const override;
    void activate() override;
    std::unique_ptr<Window> create_window(Extent content_size) override;
    void run_alert(const Alert& alert) override;
    std::optional<std::filesystem::path> choose_folder() override;
    Pasteboard& pasteboard() override;
    Notifications& notifications() override;
    std::optional<Screen> main_screen() const override;
    void reveal_in_file_manager(const std::filesystem::path& path) override;
    void beep() override;

    // Called by windows.
    GtkApplication* gtk_application() const { return app_; }
    void window_added(GtkWindowImpl* window);
    void window_removed(GtkWindowImpl* window);
    void active_changed();
    void occlusion_changed();
    // The menu command a key press stands for, if any (menu keys come first).
    std::optional<Action> menu_action_for(const KeyEvent& key) const;
    // Runs a menu command on the first responder.
    void dispatch(Action action);

  private:
    void install_menus();
    void launch();

    GtkApplication* app_ = nullptr;
    ApplicationDelegate* delegate_ = nullptr;
    std::vector<Menu> menus_;
    std::vector<GtkWindowImpl*> windows_;  // not owned
    std::unique_ptr<Pasteboard> pasteboard_;
    std::unique_ptr<Notifications> notifications_;
    bool launched_ = false;
    bool was_active_ = false;
};

}  // namespace kestrum::platform::gtk
