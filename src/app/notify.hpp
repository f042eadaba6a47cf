// Desktop notifications for bells that ring while nobody is looking.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui.hpp"
#include "tabs/session.hpp"

namespace kestrum_app {

inline constexpr std::string_view kBundleIdentifier = "io.kestrum.Kestrum";
inline constexpr std::string_view kBellBody = "Bell rang while Kestrum was in the background.";

// Whether notifications can be posted; settled on first use for the whole process.
bool notifications_available(kestrum::platform::Notifications& notifications);

// "io.kestrum.Kestrum.bell.N".
std::string bell_request_identifier(std::uint64_t n);

// The callback every session calls on its reader thread with the tab's title: true
// when the user was away (a notification was posted, or could not be).
kestrum_tabs::BellCallback make_bell_callback(kestrum::platform::Notifications& notifications,
                                              std::shared_ptr<std::atomic<bool>> user_present);

// Asks for permission at launch when notifications are available.
void request_notification_permission(kestrum::platform::Notifications& notifications);

}  // namespace kestrum_app
