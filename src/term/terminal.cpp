#include "term/terminal.hpp"

#include <algorithm>
#include <cstring>

#include "core/log.hpp"
#include "core/utf8.hpp"

namespace kestrum_term {

namespace {

constexpr std::string_view kTarget = "kestrum_term::terminal";

// Ends a word for word selection: 19 bytes of UTF-8.
constexpr std::string_view kWordSeparators = ",\u2502`|:\"' ()[]{}<>\t";

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};

// Offset of the terminator (BEL or ESC \) at or after `from`, and its length.
std::optional<std::pair<size_t, size_t>> find_terminator(std::string_view s, size_t from) {
    for (size_t i = from; i < s.size(); ++i) {
        if (s[i] == '\x07') return std::pair{i, size_t{1}};
        if (s[i] == '\x1b' && i + 1 < s.size() && s[i + 1] == '\\') return std::pair{i, size_t{2}};
    }
    return std::nullopt;
}

// The next `intro` (ESC ] and the OSC number) at or after `from`. Coloured output is
// full of ESC bytes but has few ']' bytes, so the search runs on the ']'.
size_t find_osc(std::string_view s, std::string_view intro, size_t from) {
    size_t at = from + 1;  // where the ']' of a match at `from` would be
    while (at < s.size()) {
        const void* hit = std::memchr(s.data() + at, ']', s.size() - at);
        if (!hit) break;
        at = static_cast<size_t>(static_cast<const char*>(hit) - s.data());
        if (s[at - 1] == '\x1b' && s.substr(at - 1).starts_with(intro)) return at - 1;
        ++at;
    }
    return std::string_view::npos;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

namespace shell_integration {

std::optional<std::string> scan_cwd(std::string_view chunk) {
    constexpr std::string_view kIntro = "\x1b]7;";
    std::optional<std::string> last;
    if (chunk.size() < 5) return last;
    size_t at = 0;
    while ((at = find_osc(chunk, kIntro, at)) != std::string_view::npos) {
        size_t payload_start = at + kIntro.size();
        auto term = find_terminator(chunk, payload_start);
        if (!term) break;
        std::string_view payload = chunk.substr(payload_start, term->first - payload_start);
        at = term->first + term->second;
        if (payload.size() < 7 || !payload.starts_with("file://") ||
            !kestrum::core::is_valid_utf8(payload))
            continue;
        size_t slash = payload.find('/', 7);
        if (slash == std::string_view::npos) continue;
        std::string decoded;
        for (size_t i = slash; i < payload.size(); ++i) {
            if (payload[i] == '%' && i + 2 < payload.size()) {
                int hi = hex_digit(payload[i + 1]);
                int lo = hex_digit(payload[i + 2]);
                if (hi >= 0 && lo >= 0) {
                    decoded += static_cast<char>(hi * 16 + lo);
                    i += 2;
                    continue;
                }
            }
            decoded += payload[i];
        }
        std::string text = kestrum::core::to_valid_utf8(decoded);
        if (!text.empty()) last = std::move(text);
    }
    return last;
}

std::vector<PromptMark> scan_prompt_marks(std::string_view chunk) {
    constexpr std::string_view kIntro = "\x1b]133;";
    std::vector<PromptMark> marks;
    if (chunk.size() < 7) return marks;
    size_t at = 0;
    while ((at = find_osc(chunk, kIntro, at)) != std::string_view::npos) {
        size_t letter = at + kIntro.size();
        if (letter >= chunk.size()) break;
        char kind = chunk[letter];
        if (kind != 'A' && kind != 'B' && kind != 'C' && kind != 'D') {
            at = letter;
            continue;
        }
        auto term = find_terminator(chunk, letter + 1);
        if (!term) break;
        size_t end = term->first + term->second;
        marks.push_back({kind, end});
        at = end;
    }
    return marks;
}

bool may_scroll(std::string_view piece) {
    for (size_t i = 0; i < piece.size(); ++i) {
        char c = piece[i];
        if (c >= '\x0a' && c <= '\x0c') return true;
        if (c != '\x1b' || i + 1 >= piece.size()) continue;
        char next = piece[i + 1];
        if (next == 'D' || next == 'E' || next == 'M') return true;
        if (next == '[') {
            size_t j = i + 2;
            while (j < piece.size() && piece[j] >= 0x20 && piece[j] <= 0x3f)
                ++j;
            if (j < piece.size() && (piece[j] == 'S' || piece[j] == 'T')) return true;
        }
    }
    return false;
}

}  // namespace shell_integration

std::unique_ptr<Terminal> Terminal::with_cursor(std::uint16_t cols, std::uint16_t lines,
                                                std::size_t scrollback, bool blink,
                                                std::uint8_t shape) {
    return std::unique_ptr<Terminal>(new Terminal(cols, lines, scrollback, blink, shape));
}

namespace {
kestrum::vt::TerminalConfig engine_config(std::uint16_t cols, std::uint16_t lines,
                                          std::size_t scrollback, bool blink, std::uint8_t shape) {
    kestrum::vt::TerminalConfig c;
    c.cols = std::max<std::uint16_t>(cols, 1);
    c.rows = std::max<std::uint16_t>(lines, 1);
    c.scrollback = scrollback;
    c.default_cursor.shape = shape == 1   ? kestrum::vt::CursorShape::underline
                             : shape == 2 ? kestrum::vt::CursorShape::beam
                                          : kestrum::vt::CursorShape::block;
    c.default_cursor.blinking = blink;
    c.word_separators = std::string(kWordSeparators);
    c.progressive_keyboard = false;
    c.clipboard = kestrum::vt::ClipboardPolicy::write_only;
    return c;
}
}  // namespace

Terminal::Terminal(std::uint16_t cols, std::uint16_t lines, std::size_t scrollback, bool blink,
                   std::uint8_t shape)
    : sink_(std::make_shared<EventSink>()),
      collector_(sink_),
      term_(engine_config(cols, lines, scrollback, blink, shape), &collector_),
      scrollback_(scrollback),
      palette_(Palette::standard()) {}

void Terminal::advance(std::string_view piece) {
    // The processor may stop early at a synchronized-update boundary.
    while (!piece.empty()) {
        size_t n = processor_.advance(term_, piece);
        if (n == 0) break;
        piece.remove_prefix(n);
    }
}

// The prompt anchor is a grid point: output that may scroll invalidates it.
void Terminal::consume_tracked(std::string_view piece) {
    if (!input_start_) {
        advance(piece);
        return;
    }
    const std::size_t before = term_.history_size();
    if (before < scrollback_) {
        advance(piece);
        if (term_.history_size() > before) input_start_.reset();
        return;
    }
    // A full history no longer grows when the screen scrolls: look at the bytes.
    if (processor_.sync_bytes_pending() > 0 || shell_integration::may_scroll(piece))
        input_start_.reset();
    advance(piece);
}

void Terminal::feed(std::string_view bytes) {
    if (auto dir = shell_integration::scan_cwd(bytes)) cwd_ = std::move(*dir);

    size_t done = 0;
    for (const auto& mark : shell_integration::scan_prompt_marks(bytes)) {
        consume_tracked(bytes.substr(done, mark.end - done));
        done = mark.end;
        switch (mark.kind) {
            case 'A':
                input_start_.reset();
                in_prompt_ = true;
                break;
            case 'B':
                if (in_prompt_ && processor_.sync_bytes_pending() == 0) {
                    kestrum::vt::Point p = term_.renderable_cursor().point;
                    input_start_ = p;
                }
                break;
            default:
                input_start_.reset();
                in_prompt_ = false;
                break;
        }
    }
    if (done < bytes.size()) consume_tracked(bytes.substr(done));
    if (search_) refresh_search_visible();
}

void Terminal::resize(std::uint16_t cols, std::uint16_t lines) {
    term_.resize(std::max<std::uint16_t>(cols, 1), std::max<std::uint16_t>(lines, 1));
    input_start_.reset();
    if (search_) {
        search_->focused.reset();
        refresh_search_visible();
    }
}

void Terminal::scroll_lines(std::int32_t delta) {
    term_.scroll_display(delta);
    if (search_) refresh_search_visible();
}

void Terminal::scroll_to_bottom() {
    term_.scroll_to_bottom();
    if (search_) refresh_search_visible();
}

std::string Terminal::take_pty_writes() {
    std::vector<ReplyItem> items;
    {
        std::lock_guard lock(sink_->mutex);
        items.swap(sink_->replies);
    }
    std::string out;
    for (auto& item : items) {
        std::string bytes =
            std::visit(Overloaded{
                           [](reply::Text& t) { return std::move(t.bytes); },
                           [&](const reply::Color& c) {
                               const auto& overrides = term_.color_overrides();
                               Rgb rgb = c.index < overrides.size() && overrides[c.index]
                                             ? *overrides[c.index]
                                             : palette_.color_at_index(c.index);
                               return c.format(rgb);
                           },
                           [&](const reply::TextAreaSize& s) {
                               return s.format(kestrum::vt::WindowSize{term_.rows(), term_.cols(),
                                                                       cell_width, cell_height});
                           },
                       },
                       item);
        // Whole replies only: a reply cut in half would reach the program as garbage.
        if (out.size() + bytes.size() > kReplyBurstLimit) {
            KLOG_WARN(kTarget,
                      "terminal reply burst exceeds {} bytes; truncating (possible DSR/DA "
                      "amplification)",
                      kReplyBurstLimit);
            break;
        }
        out += bytes;
    }
    return out;
}

TitleChange Terminal::take_title_change() {
    std::lock_guard lock(sink_->mutex);
    return std::exchange(sink_->title, TitleChange{});
}

bool Terminal::take_bell() {
    std::lock_guard lock(sink_->mutex);
    return std::exchange(sink_->bell, false);
}

std::optional<std::size_t> Terminal::selection_deletable_len() const {
    if (term_.alt_screen() || !term_.selection) return std::nullopt;
    auto range = term_.selection_range();
    if (!range || range->block) return std::nullopt;
    kestrum::vt::RenderableCursor cursor = term_.renderable_cursor();
    bool before_cursor =
        range->end.line == cursor.point.line && range->end.col + 1 == cursor.point.col;
    bool at_wrapping_cursor = cursor.pending_wrap && range->end == cursor.point;
    if (!before_cursor && !at_wrapping_cursor) return std::nullopt;
    auto text = term_.selection_text();
    if (!text || text->empty() || text->find('\n') != std::string::npos) return std::nullopt;

    std::size_t count = 0;
    const std::int32_t first = std::max(range->start.line, term_.top_line());
    const std::int32_t last = std::min(range->end.line, term_.bottom_line());
    for (std::int32_t line = first; line <= last; ++line) {
        std::uint32_t from = line == range->start.line ? range->start.col : 0;
        std::uint32_t to = line == range->end.line ? range->end.col : term_.cols() - 1u;
        to = std::min<std::uint32_t>(to, term_.cols() - 1u);
        const kestrum::vt::Row& row = term_.line(line);
        for (std::uint32_t col = from; col <= to && from <= to; ++col) {
            const kestrum::vt::Cell& cell = row[col];
            if (cell.has(kestrum::vt::flag::leading_spacer)) continue;
            bool first_cell = line == range->start.line && col == range->start.col;
            if (cell.has(kestrum::vt::flag::wide_spacer) && !first_cell) continue;
            ++count;
        }
    }
    if (count == 0) return std::nullopt;
    return count;
}

}  // namespace kestrum_term
