// Feeds output to a Terminal through the parser and implements synchronized
// updates (DEC mode 2026): after the application begins an update, bytes are
// held until it ends, its deadline passes or the buffer fills.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "vt/parser.hpp"
#include "vt/terminal.hpp"

namespace kestrum::vt {

// An update ends by itself this long after it began, once the owner asks.
inline constexpr std::chrono::milliseconds sync_timeout{150};
// Reaching this many held bytes applies them and ends the update, so a program
// that never ends its update cannot grow memory without limit.
inline constexpr std::size_t sync_buffer_limit = 2 * 1024 * 1024;

class Processor {
  public:
    using Clock = std::chrono::steady_clock;

    Processor();

    // Consumes bytes; input may be split anywhere. Returns the number of bytes
    // consumed, which is always all of them.
    std::size_t advance(Terminal& term, std::span<const std::uint8_t> bytes);
    std::size_t advance(Terminal& term, std::string_view bytes) {
        return advance(
            term, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    }

    // Bytes held by a pending update (0 when none is pending or nothing arrived yet).
    std::size_t sync_bytes_pending() const { return sync_active_ ? held_.size() : 0; }
    bool sync_active() const { return sync_active_; }
    // When the pending update should be ended; absent without one.
    std::optional<Clock::time_point> sync_deadline() const;
    // Applies the held bytes and ends the pending update.
    void stop_sync(Terminal& term);

  private:
    std::size_t hold(Terminal& term, const std::uint8_t* data, std::size_t len);
    void apply_held(Terminal& term);
    void parse(Terminal& term, const std::uint8_t* data, std::size_t len);

    Parser<Terminal> parser_;
    std::vector<std::uint8_t> held_;
    bool sync_active_ = false;
    Clock::time_point sync_start_{};
    std::size_t end_match_ = 0;  // bytes of the end sequence matched so far
};

}  // namespace kestrum::vt
