// Small UTF-8 checks for text that crosses a boundary (files, names, titles).
#pragma once

#include <string>
#include <string_view>

namespace kestrum::core {

bool is_valid_utf8(std::string_view s);
// Replaces each invalid sequence (a bad lead byte with the continuation bytes
// that follow it) with one U+FFFD.
std::string to_valid_utf8(std::string_view s);

}  // namespace kestrum::core
