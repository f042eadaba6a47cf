// The single rule for any tab title shown: invisible and control characters out,
// at most 256 characters kept.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrum_tabs {

inline constexpr size_t kMaxTitleChars = 256;

// Absent when nothing is left. Invalid UTF-8 becomes U+FFFD first.
std::optional<std::string> sanitize_title(std::string_view text);

}  // namespace kestrum_tabs
