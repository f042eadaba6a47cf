// From the main-thread check to the end of the run loop, on the GTK window system.
#include <cstdio>
#include <cstdlib>

#include "app/app.hpp"
#include "app/app_delegate.hpp"
#include "app/bundled_fonts.hpp"
#include "app/menu.hpp"
#include "core/fatal.hpp"
#include "platform/gtk/application.hpp"
#include "platform/gtk/window.hpp"

namespace kestrum_app {

int run() {
    if (!on_main_thread()) {
        std::fputs("kestrum must be launched on the main thread (AppKit requirement)\n", stderr);
        std::exit(1);
    }
    kestrum::core::install_panic_hook();
    register_bundled_fonts();
    auto app = kestrum::platform::gtk::make_application();
    app->set_main_menu(build_main_menu());
    int status;
    {
        AppDelegate delegate(*app, [] { return kestrum::platform::gtk::create_display_device(); });
        status = app->run(delegate);
    }
    return status;
}

}  // namespace kestrum_app
