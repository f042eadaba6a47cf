#include "vt/processor.hpp"

#include <cstring>
#include <string_view>

namespace kestrum::vt {

namespace {
// The sequence that ends an update.
constexpr std::string_view sync_end = "\x1b[?2026l";
}  // namespace

Processor::Processor() {
    held_.reserve(sync_buffer_limit);
}

std::optional<Processor::Clock::time_point> Processor::sync_deadline() const {
    if (!sync_active_) return std::nullopt;
    return sync_start_ + sync_timeout;
}

void Processor::parse(Terminal& term, const std::uint8_t* data, std::size_t len) {
    while (len > 0) {
        std::size_t used = parser_.advance(term, data, len);
        data += used;
        len -= used;
        term.take_sync_begin();  // already inside an update: nothing new to begin
    }
}

void Processor::apply_held(Terminal& term) {
    sync_active_ = false;
    end_match_ = 0;
    // Swap out first: the terminal could in principle re-enter through advance().
    std::vector<std::uint8_t> bytes;
    bytes.swap(held_);
    parse(term, bytes.data(), bytes.size());
    bytes.clear();
    held_.swap(bytes);
}

void Processor::stop_sync(Terminal& term) {
    if (sync_active_) apply_held(term);
}

std::size_t Processor::hold(Terminal& term, const std::uint8_t* data, std::size_t len) {
    std::size_t i = 0;
    while (i < len) {
        if (end_match_ == 0) {
            const void* esc = std::memchr(data + i, 0x1b, len - i);
            if (!esc) {
                i = len;
                break;
            }
            i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(esc) - data);
        }
        const std::uint8_t b = data[i++];
        if (b == static_cast<std::uint8_t>(sync_end[end_match_])) {
            if (++end_match_ == sync_end.size()) {
                // Everything up to and including the end sequence goes through at once.
                std::size_t room = sync_buffer_limit - held_.size();
                if (i > room) break;
                held_.insert(held_.end(), data, data + i);
                apply_held(term);
                return i;
            }
        } else {
            end_match_ = b == 0x1b ? 1 : 0;
        }
    }
    std::size_t room = sync_buffer_limit - held_.size();
    if (i > room) {
        // Full: apply what fits and end the update; the rest is parsed normally.
        held_.insert(held_.end(), data, data + room);
        apply_held(term);
        return room;
    }
    held_.insert(held_.end(), data, data + i);
    return i;
}

std::size_t Processor::advance(Terminal& term, std::span<const std::uint8_t> bytes) {
    const std::uint8_t* data = bytes.data();
    std::size_t len = bytes.size();
    while (len > 0) {
        std::size_t used;
        if (sync_active_) {
            used = hold(term, data, len);
        } else {
            used = parser_.advance(term, data, len);
            if (term.take_sync_begin()) {
                sync_active_ = true;
                sync_start_ = Clock::now();
                end_match_ = 0;
            }
        }
        data += used;
        len -= used;
    }
    return bytes.size();
}

}  // namespace kestrum::vt
