#include "kestrum/main.hpp"

#include "app/app.hpp"
#include "core/log.hpp"

namespace kestrum {

int main() {
    core::init_logging();
    KLOG_INFO("kestrum", "starting kestrum {}", KESTRUM_VERSION);
    return kestrum_app::run();
}

}  // namespace kestrum

int main() {
    return kestrum::main();
}
