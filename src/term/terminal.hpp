// One tab's terminal: the engine plus what the program needs around it (shell
// integration, the prompt-input anchor, search, replies, links and the frame
// snapshot). Not synchronised: the session keeps it behind its mutex.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "term/frame.hpp"
#include "term/listener.hpp"
#include "term/palette.hpp"
#include "vt/processor.hpp"
#include "vt/search.hpp"
#include "vt/terminal.hpp"

namespace kestrum_term {

// Replies drained at once are capped at this many bytes.
inline constexpr std::size_t kReplyBurstLimit = 65536;
// Visible search matches kept for highlighting.
inline constexpr std::size_t kMaxVisibleMatches = 1024;

struct Search {
    kestrum::vt::RegexSearch regex;
    std::string query;
    std::vector<kestrum::vt::Match> visible;  // in the viewport, sorted by start
    std::optional<kestrum::vt::Match> focused;
};

class Terminal {
  public:
    // Columns and lines below 1 are raised to 1; `shape` is the configured cursor
    // style code (0 block, 1 underline, 2 beam).
    static std::unique_ptr<Terminal> with_cursor(std::uint16_t cols, std::uint16_t lines,
                                                 std::size_t scrollback, bool blink,
                                                 std::uint8_t shape);
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // A chunk of program output (shell-integration marks are tracked on the way).
    void feed(std::string_view bytes);
    void resize(std::uint16_t cols, std::uint16_t lines);
    // Positive deltas scroll back into history.
    void scroll_lines(std::int32_t delta);
    void scroll_to_bottom();

    // Replies in arrival order, whole ones only, at most kReplyBurstLimit bytes.
    std::string take_pty_writes();
    TitleChange take_title_change();
    bool take_bell();

    // --- search ---
    // False, and no search, for an empty or invalid query.
    bool search_set(std::string_view query);
    bool search_advance(bool forward);
    std::optional<kestrum::vt::Match> find_match(std::uint32_t col, std::int32_t line,
                                                 bool forward) const;
    void refresh_search_visible();

    // --- links ---
    // Selects the URL under a viewport cell; false when there is none.
    bool select_url_at(std::uint16_t col, std::uint16_t viewport_row);
    // The path-like token under a viewport cell.
    std::optional<std::string> path_token_at(std::uint16_t col, std::uint16_t viewport_row) const;

    // Characters Backspace must erase to remove the selection, when it ends at the cursor.
    std::optional<std::size_t> selection_deletable_len() const;

    // --- frame snapshot ---
    Frame frame() const;
    // The line just above the viewport, resolved as `frame` does, with row 0.
    std::vector<FrameCell> overscan_top_row() const;
    Rgb resolve(kestrum::vt::Color color) const;

    // --- state read by the rest of the program ---
    const std::optional<std::string>& cwd() const { return cwd_; }
    bool in_prompt() const { return in_prompt_; }
    const std::optional<kestrum::vt::Point>& input_start() const { return input_start_; }
    void clear_input_start() { input_start_.reset(); }
    std::size_t scrollback() const { return scrollback_; }
    const Palette& palette() const { return palette_; }
    std::optional<Search>& search() { return search_; }
    const std::optional<Search>& search() const { return search_; }

    kestrum::vt::Terminal& term() { return term_; }
    const kestrum::vt::Terminal& term() const { return term_; }
    kestrum::vt::Processor& processor() { return processor_; }
    const kestrum::vt::Processor& processor() const { return processor_; }

    // Cell size in device pixels, for pixel-size replies; set by the session.
    std::uint16_t cell_width = 0;
    std::uint16_t cell_height = 0;

  private:
    Terminal(std::uint16_t cols, std::uint16_t lines, std::size_t scrollback, bool blink,
             std::uint8_t shape);
    void consume_tracked(std::string_view piece);
    void advance(std::string_view piece);
    std::optional<FrameCell> resolve_cell(
        const kestrum::vt::Cell& cell, std::uint32_t col, std::int32_t line,
        std::uint16_t viewport_row,
        const std::optional<kestrum::vt::SelectionRange>& selection) const;
    void show_line(std::int32_t line);

    std::shared_ptr<EventSink> sink_;
    EventCollector collector_;  // before term_: the engine holds a pointer to it
    kestrum::vt::Terminal term_;
    kestrum::vt::Processor processor_;
    std::optional<Search> search_;
    std::optional<kestrum::vt::Point> input_start_;
    std::optional<std::string> cwd_;
    std::size_t scrollback_;
    Palette palette_;
    bool in_prompt_ = false;
};

// The scans `feed` runs before the engine sees a chunk; exposed for tests.
namespace shell_integration {
// The last valid OSC 7 working directory in the chunk, percent-decoded.
std::optional<std::string> scan_cwd(std::string_view chunk);
struct PromptMark {
    char kind;        // 'A', 'B', 'C' or 'D'
    std::size_t end;  // offset just past the terminator
};
std::vector<PromptMark> scan_prompt_marks(std::string_view chunk);
// Whether a piece may scroll the screen once the history is full.
bool may_scroll(std::string_view piece);
}  // namespace shell_integration

}  // namespace kestrum_term
