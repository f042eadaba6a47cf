// Text renderings of a terminal's screen, for tests and kestrum-replay.
#pragma once

#include <string>

#include "vt/terminal.hpp"

namespace kestrum::vt {

// The screen's lines (grid lines 0 .. rows-1) joined by '\n', each without its
// trailing blanks; wide-character spacers are skipped, zero-width characters kept.
std::string screen_text(const Terminal& term);

// Every grid line from the oldest history line down, same form as screen_text.
std::string all_text(const Terminal& term);

// One line per screen cell that differs from a default blank, in reading order:
//   <row>:<col> U+<hex> "<char>" fg=<colour> bg=<colour>[ <attribute>...]
// where <colour> is "default", "named:<n>" (0-15 and 256-268), "idx:<n>" or
// "#rrggbb", and the attributes are bold, dim, italic, underline=<single|double|
// curly|dotted|dashed>, blink, inverse, hidden, strike, wide, leading-spacer and
// zw=U+<hex>[,U+<hex>...]. A line "wrapped <row>" follows the cells of a row
// that continues on the next one.
std::string attribute_dump(const Terminal& term);

}  // namespace kestrum::vt
