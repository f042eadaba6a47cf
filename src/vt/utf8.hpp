// UTF-8 helpers for strings that leave or enter the engine (titles, text, separators).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::vt {

// Invalid sequences become U+FFFD.
std::vector<char32_t> decode_utf8(std::string_view s);
// Replaces invalid sequences with U+FFFD.
std::string sanitize_utf8(std::string_view s);
void append_utf8(std::string& out, char32_t c);

}  // namespace kestrum::vt
