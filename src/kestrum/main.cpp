#include "kestrum/main.hpp"

#include "core/log.hpp"

namespace kestrum {

int main() {
    core::init_logging();
    KLOG_INFO("kestrum", "starting kestrum {}", KESTRUM_VERSION);
    // The application run loop arrives with the window; until then the entry ends here.
    return 0;
}

}  // namespace kestrum

int main() {
    return kestrum::main();
}
