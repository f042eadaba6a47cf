#include "app/notify.hpp"

#include <fmt/format.h>

#include <mutex>

#include "core/log.hpp"

namespace kestrum_app {

namespace {
std::atomic<std::uint64_t> g_counter{0};
}  // namespace

bool notifications_available(kestrum::platform::Notifications& notifications) {
    static std::once_flag once;
    static bool available = false;
    std::call_once(once, [&] { available = notifications.available(); });
    return available;
}

std::string bell_request_identifier(std::uint64_t n) {
    return fmt::format("{}.bell.{}", kBundleIdentifier, n);
}

kestrum_tabs::BellCallback make_bell_callback(kestrum::platform::Notifications& notifications,
                                              std::shared_ptr<std::atomic<bool>> user_present) {
    auto* center = &notifications;
    return std::make_shared<std::function<bool(const std::string&)>>(
        [center, user_present](const std::string& title) {
            if (user_present->load()) return false;
            if (!notifications_available(*center)) return true;
            std::uint64_t n = g_counter.fetch_add(1);
            center->add({bell_request_identifier(n), title, std::string(kBellBody)}, nullptr);
            return true;
        });
}

void request_notification_permission(kestrum::platform::Notifications& notifications) {
    if (!notifications_available(notifications)) return;
    notifications.request_authorization([](bool granted, std::optional<std::string>) {
        if (!granted)
            KLOG_INFO("kestrum_app::notify",
                      "notification permission not granted; background bell notifications "
                      "disabled");
    });
}

}  // namespace kestrum_app
