// One tab's running program: its pseudo-terminal, its terminal model behind a
// mutex, a write queue, its title, and the reader, writer and reaper threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/error.hpp"
#include "core/numeric.hpp"
#include "pty/pty.hpp"
#include "term/terminal.hpp"

namespace kestrum_tabs {

using kestrum::core::Instant;

// Replies the child does not read are bounded to this many pending bytes.
inline constexpr std::size_t kReplyCap = 262144;
inline constexpr std::size_t kReadChunk = 65536;

struct SessionOptions {
    std::size_t scrollback_lines = 10000;
    bool cursor_blink = true;
    std::uint8_t cursor_style = 0;  // 0 block, 1 underline, 2 beam
};

// Called on reader threads with the tab's displayed title; true when a
// notification was delivered.
using BellCallback = std::shared_ptr<std::function<bool(const std::string&)>>;

struct WriteQueueState {
    std::deque<std::pair<std::string, bool>> items;  // (bytes, is_reply)
    std::size_t pending_reply_bytes = 0;
    std::optional<Instant> last_flood_warning;
    bool closed = false;
};

struct WriteQueue {
    std::mutex mutex;
    std::condition_variable ready;  // the writer waits here
    WriteQueueState state;          // guarded by mutex

    // No more writes; the writer drains what is queued and ends.
    void close();
};

struct TabTitle {
    std::optional<std::string> program;
    std::optional<std::string> manual;
};

// The terminal and the mutex that guards it.
struct SharedTerminal {
    std::mutex mutex;
    std::unique_ptr<kestrum_term::Terminal> terminal;  // guarded by mutex
};

struct SharedTitle {
    std::mutex mutex;
    TabTitle title;  // guarded by mutex
};

class Session {
  public:
    static std::expected<std::unique_ptr<Session>, kestrum::core::Error> spawn(
        std::uint16_t cols, std::uint16_t rows, const SessionOptions& options,
        kestrum_pty::PtyConfig pty_config, std::shared_ptr<std::atomic<bool>> tabs_changed,
        BellCallback bell, float cell_width, float cell_height);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Queues user input; empty input does nothing.
    void write(std::string_view bytes);
    std::string title() const;
    void set_manual_title(std::string_view text);
    // Applies a new grid size now; the pseudo-terminal learns it on flush_winsize.
    bool resize_local(std::uint16_t cols, std::uint16_t rows, float cell_width, float cell_height);
    void flush_winsize();
    // Ends a synchronized update whose deadline has passed.
    void flush_stale_sync();

    std::uint16_t cols() const { return cols_; }
    std::uint16_t rows() const { return rows_; }
    std::optional<std::uint32_t> pid() const { return pty_.pid; }
    const std::string& default_title() const { return default_title_; }
    // Reply bytes waiting for the writer.
    std::size_t pending_reply_bytes() const;

    // Shared with the threads; read and set by the view.
    std::shared_ptr<SharedTerminal> terminal;
    std::shared_ptr<std::atomic<bool>> dirty;
    std::shared_ptr<std::atomic<bool>> sync_pending;
    std::shared_ptr<std::atomic<std::uint64_t>> bytes_read;
    std::shared_ptr<std::atomic<bool>> exited;
    double scroll_fraction = 0.0;  // main thread only

  private:
    Session(std::string default_title, kestrum_pty::Pty pty);

    std::string default_title_;
    kestrum_pty::Pty pty_;
    std::shared_ptr<WriteQueue> queue_;
    std::shared_ptr<SharedTitle> title_;
    std::optional<std::thread> reader_;
    std::uint16_t cols_ = 0;
    std::uint16_t rows_ = 0;
    std::uint16_t cell_width_ = 0;
    std::uint16_t cell_height_ = 0;
    std::size_t scrollback_ = 0;
    std::optional<kestrum_pty::WindowSize> pending_winsize_;
};

// The default title of a tab: the configured program's file name, else "shell".
std::string default_title_for(const std::optional<std::string>& shell);

// Ends a child that is not wanted any more: hang-up to its process group, a kill
// if it has not ended 250 ms later, then the reap.
void abandon_child(kestrum_pty::Pty& pty);

// The line printed into a tab when its program ends.
std::string exit_line(const std::optional<kestrum_pty::ExitStatus>& status);

}  // namespace kestrum_tabs
