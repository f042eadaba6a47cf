#include "app/app.hpp"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core/log.hpp"

namespace kestrum_app {

bool on_main_thread() {
    return ::getpid() == static_cast<pid_t>(::syscall(SYS_gettid));
}

void show_error_alert(kestrum::platform::Application& app, const std::string& message,
                      const std::string& informative, bool critical) {
    using kestrum::platform::AlertStyle;
    app.run_alert({critical ? AlertStyle::critical : AlertStyle::warning, message, informative});
}

void fatal_startup_failure(kestrum::platform::Application& app, const kestrum::core::Error& error) {
    std::string rendered = error.chained();
    KLOG_ERROR("kestrum_app::app_delegate", "failed to start terminal session: {}", rendered);
    show_error_alert(app, "Kestrum could not start a terminal session", rendered, true);
    std::fflush(stderr);
    // No clean-up: nothing usable was built, and running destructors here could
    // wait on half-started threads.
    std::_Exit(1);
}

}  // namespace kestrum_app
