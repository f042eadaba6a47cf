// The application delegate: launch into a window with a live terminal, folders from
// the desktop into tabs, visibility into the display link and the bell, clean-up at exit.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "app/terminal_view.hpp"
#include "platform/gpu.hpp"
#include "platform/ui.hpp"

namespace kestrum_app {

class AppDelegate final : public kestrum::platform::ApplicationDelegate {
  public:
    // `make_device` gives the GL device windows draw with (after the display opened).
    AppDelegate(kestrum::platform::Application& app,
                std::function<kestrum::core::Result<std::shared_ptr<kestrum::platform::Device>>()>
                    make_device);
    ~AppDelegate() override;

    void did_finish_launching() override;
    void open_paths(const std::vector<std::filesystem::path>& paths) override;
    void open_folder_service(const std::vector<std::filesystem::path>& paths) override;
    void will_terminate() override;
    void did_become_active() override;
    void did_resign_active() override;
    void window_did_change_occlusion_state() override;

    void open_dirs(const std::vector<std::filesystem::path>& dirs);
    void sync_render_pause();
    void sync_user_present();

    TerminalView* view() { return view_.get(); }
    kestrum::platform::Window* window() { return window_.get(); }

    // DelegateIvars
    std::vector<std::filesystem::path> pending_dirs;

  private:
    kestrum::platform::Application& app_;
    std::function<kestrum::core::Result<std::shared_ptr<kestrum::platform::Device>>()> make_device_;
    std::unique_ptr<kestrum::platform::Window> window_;
    std::unique_ptr<TerminalView> view_;
};

// Folders for paths handed over by the desktop: a directory itself, else its parent.
std::vector<std::filesystem::path> folders_for(const std::vector<std::filesystem::path>& paths);

}  // namespace kestrum_app
