// Regular-expression search over the grid (RE2: linear time, so no pattern can
// hang the caller). Matches may span wrapped lines (up to 256 rows of one
// logical line), never a line feed.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "vt/point.hpp"

namespace re2 {
class RE2;
}

namespace kestrum::vt {

class Terminal;

// An inclusive range of grid points; a match ending on a wide character
// includes its spacer.
struct Match {
    Point start;
    Point end;
    friend bool operator==(const Match&, const Match&) = default;
};

class RegexSearch {
  public:
    // Fails on invalid syntax. A pattern too large for the automata compiles
    // into a search that finds nothing and logs "Regex exceeded complexity limit".
    static core::Result<RegexSearch> compile(std::string_view pattern, bool case_sensitive);

    const re2::RE2* regex() const { return re_.get(); }
    bool too_complex() const { return re_ == nullptr; }

  private:
    std::shared_ptr<const re2::RE2> re_;  // shared: the compiled automata are immutable
};

// Moves a point so that it covers a whole wide character in the search
// direction: forward onto its right half (or past a leading spacer to the next
// line), backward onto its left half.
Point adjust_wide(const Terminal& term, Point p, Direction dir);

// Matches of the logical lines from `start` to `end` in one direction. When
// `end` lies before `start` in that direction the range wraps around the end of
// the buffer. Matches that touch the range are yielded once each, in order.
class MatchIter {
  public:
    MatchIter(const Terminal& term, const RegexSearch& search, Point start, Point end,
              Direction dir);
    std::optional<Match> next();

  private:
    void scan_block();

    const Terminal& term_;
    const RegexSearch& search_;
    Point start_;
    Point end_;
    Direction dir_;
    std::int32_t line_;        // first (forward) or last (backward) line of the next block
    std::int64_t lines_left_;  // lines of the range not yet scanned
    bool first_block_ = true;
    std::deque<Match> pending_;
    std::string text_;                    // block text, reused
    std::vector<std::uint32_t> offsets_;  // byte offset where each cell's text starts
    std::vector<Point> points_;
};

}  // namespace kestrum::vt
