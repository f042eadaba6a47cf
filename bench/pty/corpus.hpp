// Mixed terminal output for throughput runs: log lines, coloured compiler and
// listing output, 256-colour and true-colour highlighting, accented, wide and
// combining text, progress bars redrawn with CR and erase, tabs and lines longer
// than the screen. Deterministic, so every run feeds the same bytes.
#pragma once

#include <cstdint>
#include <string>

namespace kestrum_bench {

class MixedText {
  public:
    // About `bytes` of text made of whole lines, each ended by a bare LF.
    static std::string make(std::size_t bytes);

  private:
    std::uint32_t next() {
        seed_ = seed_ * 1103515245u + 12345u;
        return (seed_ >> 16) & 0x7fff;
    }
    void line(std::string& out);

    std::uint32_t seed_ = 20261211;
    std::uint32_t serial_ = 0;
};

// What the reader of a pseudo-terminal receives for `text`: output processing turns
// each LF into CR LF.
std::string as_read_from_pty(const std::string& text);

}  // namespace kestrum_bench
