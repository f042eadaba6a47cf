// The application shell: from the main-thread check to the run loop, and the two
// ways a failure is shown to the user outside the terminal.
#pragma once

#include <string>

#include "core/error.hpp"
#include "platform/ui.hpp"

namespace kestrum_app {

// Everything from the main-thread check to the end of the run loop; the exit status.
int run();

// True on the process's initial thread.
bool on_main_thread();

// A modal alert; returns when dismissed.
void show_error_alert(kestrum::platform::Application& app, const std::string& message,
                      const std::string& informative, bool critical);

// Logs, shows the critical start-up alert and ends the process with status 1.
[[noreturn]] void fatal_startup_failure(kestrum::platform::Application& app,
                                        const kestrum::core::Error& error);

}  // namespace kestrum_app
