#include "vt/search.hpp"

#include <re2/re2.h>

#include <algorithm>

#include "core/log.hpp"
#include "vt/terminal.hpp"
#include "vt/utf8.hpp"

namespace kestrum::vt {

namespace {
constexpr const char* log_target = "kestrum_vt::search";
// Memory for one compiled pattern; beyond it the pattern is "too complex".
constexpr std::int64_t regex_max_mem = 8 << 20;

// A logical line is matched as one text of at most this many rows; longer ones
// (a file without line feeds) are cut into pieces, so one search step never
// re-reads a whole huge line. Matches across a cut are not found.
constexpr std::int32_t max_block_rows = 256;

std::int32_t block_start(const Terminal& term, std::int32_t line) {
    const std::int32_t limit = std::max(term.top_line(), line - (max_block_rows - 1));
    while (line > limit && term.line(line - 1).wrapped)
        --line;
    return line;
}

std::int32_t block_end(const Terminal& term, std::int32_t line) {
    const std::int32_t limit = std::min(term.bottom_line(), line + (max_block_rows - 1));
    while (line < limit && term.line(line).wrapped)
        ++line;
    return line;
}
}  // namespace

core::Result<RegexSearch> RegexSearch::compile(std::string_view pattern, bool case_sensitive) {
    RE2::Options options;
    options.set_case_sensitive(case_sensitive);
    options.set_log_errors(false);
    options.set_max_mem(regex_max_mem);
    auto re =
        std::make_shared<const re2::RE2>(re2::StringPiece(pattern.data(), pattern.size()), options);
    RegexSearch search;
    if (re->ok()) {
        search.re_ = std::move(re);
        return search;
    }
    if (re->error_code() == RE2::ErrorPatternTooLarge || re->error_code() == RE2::ErrorRepeatSize) {
        return search;  // compiled, finds nothing
    }
    return core::fail(re->error());
}

Point adjust_wide(const Terminal& term, Point p, Direction dir) {
    const Cell& c = term.cell(p);
    if (dir == Direction::forward) {
        if (c.has(flag::wide) && p.col + 1 < term.cols()) return {p.line, p.col + 1};
        if (c.has(flag::leading_spacer) && p.line < term.bottom_line()) return {p.line + 1, 0};
    } else if (c.has(flag::wide_spacer) && p.col > 0) {
        return {p.line, p.col - 1};
    }
    return p;
}

MatchIter::MatchIter(const Terminal& term, const RegexSearch& search, Point start, Point end,
                     Direction dir)
    : term_(term), search_(search), start_(start), end_(end), dir_(dir) {
    const std::int64_t total = term.bottom_line() - term.top_line() + 1;
    const bool fwd = dir == Direction::forward;
    const bool wraps = fwd ? end < start : start < end;
    std::int64_t distance = fwd ? end.line - start.line : start.line - end.line;
    if (wraps) distance += total;
    lines_left_ = distance + 1;
    line_ = fwd ? block_start(term, start.line) : block_end(term, start.line);
    if (search.too_complex()) {
        KLOG_WARN(log_target, "Regex exceeded complexity limit");
        lines_left_ = 0;
    }
}

std::optional<Match> MatchIter::next() {
    while (pending_.empty() && lines_left_ > 0)
        scan_block();
    if (pending_.empty()) return std::nullopt;
    Match m = pending_.front();
    pending_.pop_front();
    return m;
}

void MatchIter::scan_block() {
    const bool fwd = dir_ == Direction::forward;
    const std::int32_t b0 = fwd ? line_ : block_start(term_, line_);
    const std::int32_t b1 = fwd ? block_end(term_, line_) : line_;
    const std::int32_t cols = term_.cols();

    // Lines of the range this block covers, counted from where the range enters it.
    const std::int32_t entry = first_block_ ? start_.line : (fwd ? b0 : b1);
    const std::int64_t covered = fwd ? b1 - entry + 1 : entry - b0 + 1;
    const bool first = first_block_;
    const bool last = covered >= lines_left_;
    lines_left_ -= covered;
    first_block_ = false;
    if (fwd) {
        line_ = b1 == term_.bottom_line() ? term_.top_line() : b1 + 1;
    } else {
        line_ = b0 == term_.top_line() ? term_.bottom_line() : b0 - 1;
    }

    text_.clear();
    offsets_.clear();
    points_.clear();
    for (std::int32_t l = b0; l <= b1; ++l) {
        const Row& row = term_.line(l);
        std::int32_t len = cols;
        if (l == b1) {
            while (len > 0 && row[len - 1].ch == U' ' &&
                   row.zerowidth(static_cast<std::uint16_t>(len - 1)).empty())
                --len;
        }
        for (std::int32_t x = 0; x < len; ++x) {
            const Cell& c = row[x];
            if (c.is_spacer()) continue;
            offsets_.push_back(static_cast<std::uint32_t>(text_.size()));
            points_.push_back({l, static_cast<std::uint32_t>(x)});
            append_utf8(text_, c.ch);
            for (char32_t z : row.zerowidth(static_cast<std::uint16_t>(x)))
                append_utf8(text_, z);
        }
    }

    auto point_at = [&](std::size_t byte) {
        auto it = std::upper_bound(offsets_.begin(), offsets_.end(), byte);
        return points_[static_cast<std::size_t>(it - offsets_.begin()) - 1];
    };
    const bool wraps = fwd ? end_ < start_ : start_ < end_;
    // The range wraps back onto the block it started in: what the first visit
    // yielded is not yielded again.
    const bool revisit = wraps && last && !first && b0 <= start_.line && start_.line <= b1;
    auto keep = [&](const Match& m) {
        const bool after_start = fwd ? m.end >= start_ : m.start <= start_;
        const bool before_end = fwd ? m.start <= end_ : m.end >= end_;
        if (first && last) return wraps ? (after_start || before_end) : (after_start && before_end);
        if (first) return after_start;
        if (revisit) return before_end && !after_start;
        if (last) return before_end;
        return true;
    };

    std::vector<Match> found;
    const re2::RE2& re = *search_.regex();
    re2::StringPiece input(text_);
    std::size_t pos = 0;
    while (pos <= text_.size()) {
        re2::StringPiece m;
        if (!re.Match(input, pos, text_.size(), RE2::UNANCHORED, &m, 1)) break;
        std::size_t b = static_cast<std::size_t>(m.data() - text_.data());
        std::size_t e = b + m.size();
        if (e == b) {
            // Empty matches are not shown; step to the next character.
            pos = b + 1;
            while (pos < text_.size() && (static_cast<unsigned char>(text_[pos]) & 0xc0) == 0x80)
                ++pos;
            continue;
        }
        Match match{point_at(b), point_at(e - 1)};
        if (term_.cell(match.end).has(flag::wide)) ++match.end.col;
        found.push_back(match);
        pos = e;
    }
    if (fwd) {
        for (const Match& m : found)
            if (keep(m)) pending_.push_back(m);
    } else {
        for (auto it = found.rbegin(); it != found.rend(); ++it)
            if (keep(*it)) pending_.push_back(*it);
    }
}

}  // namespace kestrum::vt
