// Synthetic terminal output for the benchmarks, generated once per run from a
// fixed seed so every engine reads the same bytes.
#pragma once

#include <cstddef>
#include <string>

namespace kestrum::vt::bench {

inline constexpr int cols = 200;
inline constexpr int rows = 50;
inline constexpr std::size_t scrollback = 10'000;

// Lines of printable ASCII of varying length, each ending in CR LF.
const std::string& plain_ascii();
// Short runs of text, each after a 256-colour or true-colour SGR change.
const std::string& dense_sgr();
// Lines of CJK ideographs and emoji mixed with some ASCII.
const std::string& cjk_emoji();
// Full-screen redraws addressed with CUP, the pattern of an editor or top.
const std::string& cursor_redraw();
// Redraws and scrolling inside the alternate screen, entered and left again.
const std::string& alt_screen();

}  // namespace kestrum::vt::bench
