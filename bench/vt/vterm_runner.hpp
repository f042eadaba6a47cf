// Feeds bytes to a libvterm screen of the same size, with a history of the
// same length kept by its scrollback callback, for a fair comparison.
#pragma once

#include <memory>
#include <string_view>

namespace kestrum::vt::bench {

class VtermRunner {
  public:
    VtermRunner(int cols, int rows, std::size_t scrollback);
    ~VtermRunner();
    void feed(std::string_view bytes);

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace kestrum::vt::bench
