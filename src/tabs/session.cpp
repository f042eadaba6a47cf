#include "tabs/session.hpp"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "core/log.hpp"
#include "core/utf8.hpp"
#include "tabs/title.hpp"

namespace kestrum_tabs {

namespace {

using namespace std::chrono_literals;
using kestrum::core::Clock;
using kestrum::core::saturate_u16;

constexpr std::string_view kTarget = "kestrum_tabs::session";
constexpr auto kFloodWarningInterval = 1s;
constexpr auto kBellInterval = 1500ms;
constexpr auto kReaperStep = 25ms;
constexpr int kHangUpGraceSteps = 10;  // 250 ms between SIGHUP and SIGKILL
constexpr auto kReaderWait = 2s;

void name_thread(const char* name) {
    pthread_setname_np(pthread_self(), name);
}

std::string displayed(const TabTitle& t, const std::string& default_title) {
    if (t.manual) return *t.manual;
    if (t.program) return *t.program;
    return default_title;
}

kestrum_pty::WindowSize winsize(std::uint16_t cols, std::uint16_t rows, float cell_width,
                                float cell_height) {
    return {rows, cols, saturate_u16(cell_width * static_cast<float>(cols)),
            saturate_u16(cell_height * static_cast<float>(rows))};
}

bool write_all(int fd, const std::string& bytes, std::string& error) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = fmt::format("{} (os error {})", std::strerror(errno), errno);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void writer_loop(std::shared_ptr<WriteQueue> queue, kestrum::core::UniqueFd fd) {
    name_thread("pty-writer");
    bool last_ok = true;
    for (;;) {
        std::pair<std::string, bool> item;
        {
            std::unique_lock lock(queue->mutex);
            auto& s = queue->state;
            queue->ready.wait(lock, [&] { return !s.items.empty() || s.closed; });
            if (s.items.empty()) return;  // closed and drained
            item = std::move(s.items.front());
            s.items.pop_front();
            if (item.second)
                s.pending_reply_bytes -= std::min(s.pending_reply_bytes, item.first.size());
        }
        std::string error;
        if (write_all(fd.get(), item.first, error)) {
            last_ok = true;
            continue;
        }
        if (last_ok) {
            if (item.second) {
                KLOG_WARN(kTarget, "failed to write query replies to pty: {}", error);
            } else {
                KLOG_WARN(kTarget, "failed to write to pty: {}", error);
            }
        }
        last_ok = false;
    }
}

// What the reader thread shares with the session.
struct ReaderContext {
    std::string default_title;
    kestrum::core::UniqueFd fd;
    std::shared_ptr<SharedTerminal> terminal;
    std::shared_ptr<WriteQueue> queue;
    std::shared_ptr<std::atomic<bool>> dirty;
    std::shared_ptr<std::atomic<std::uint64_t>> bytes_read;
    std::shared_ptr<std::atomic<bool>> exited;
    std::shared_ptr<std::atomic<bool>> sync_pending;
    std::shared_ptr<SharedTitle> title;
    std::shared_ptr<std::atomic<bool>> tabs_changed;
    BellCallback bell;
    std::optional<kestrum_pty::PtyChild> child;
};

void queue_reply(WriteQueue& queue, std::string bytes) {
    std::lock_guard lock(queue.mutex);
    auto& s = queue.state;
    if (s.closed) return;
    const std::size_t length = bytes.size();
    std::size_t total = s.pending_reply_bytes + length;
    if (total < length || total > kReplyCap) {
        Instant now = Clock::now();
        bool due = !s.last_flood_warning || (now > *s.last_flood_warning &&
                                             now - *s.last_flood_warning >= kFloodWarningInterval);
        if (due) {
            s.last_flood_warning = now;
            KLOG_WARN(kTarget,
                      "query-reply flood: {} reply bytes already pending and the child is not "
                      "reading; dropping a {}-byte reply",
                      s.pending_reply_bytes, length);
        }
        return;
    }
    s.pending_reply_bytes = total;
    s.items.emplace_back(std::move(bytes), true);
    queue.ready.notify_one();
}

void reader_loop(ReaderContext ctx) {
    name_thread("pty-reader");
    std::vector<char> buffer(kReadChunk, 0);
    std::optional<Instant> last_bell;
    for (;;) {
        ssize_t n = ::read(ctx.fd.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        ctx.bytes_read->fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);

        std::string replies;
        kestrum_term::TitleChange title_change;
        bool bell = false;
        bool fed = false;
        {
            std::lock_guard lock(ctx.terminal->mutex);
            try {
                auto& t = *ctx.terminal->terminal;
                t.feed(std::string_view(buffer.data(), static_cast<size_t>(n)));
                replies = t.take_pty_writes();
                title_change = t.take_title_change();
                bell = t.take_bell();
                ctx.sync_pending->store(t.processor().sync_bytes_pending() != 0);
                fed = true;
            } catch (...) {
                KLOG_ERROR(kTarget, "terminal parser panicked; recovering and continuing");
                ctx.sync_pending->store(false);
            }
        }
        if (!fed) {
            ctx.dirty->store(true);
            continue;
        }
        if (!replies.empty()) queue_reply(*ctx.queue, std::move(replies));
        if (title_change.kind != kestrum_term::TitleChange::Kind::none) {
            {
                std::lock_guard lock(ctx.title->mutex);
                ctx.title->title.program =
                    title_change.kind == kestrum_term::TitleChange::Kind::reset
                        ? std::nullopt
                        : sanitize_title(title_change.text);
            }
            ctx.tabs_changed->store(true);
        }
        if (bell) {
            Instant now = Clock::now();
            bool too_soon = last_bell && (now <= *last_bell || now - *last_bell < kBellInterval);
            if (!too_soon && ctx.bell && *ctx.bell) {
                std::string shown;
                {
                    std::lock_guard lock(ctx.title->mutex);
                    shown = displayed(ctx.title->title, ctx.default_title);
                }
                if ((*ctx.bell)(shown)) last_bell = now;
            }
        }
        ctx.dirty->store(true);
    }

    ctx.exited->store(true);
    std::optional<kestrum_pty::ExitStatus> status;
    if (ctx.child) {
        if (auto waited = ctx.child->wait()) status = *waited;
    }
    std::string line = exit_line(status);
    {
        std::lock_guard lock(ctx.terminal->mutex);
        try {
            ctx.terminal->terminal->feed(line);
        } catch (...) {
        }
    }
    ctx.dirty->store(true);
    ctx.tabs_changed->store(true);

    // A tab's history is most of its memory and grew on this thread, in this thread's
    // allocator arena. When the tab is already closed (this is the last holder), hand
    // the freed pages back to the system: otherwise the arena keeps them after the tab
    // is gone.
    const bool last_holder = ctx.terminal.use_count() == 1;
    ctx.terminal.reset();
    if (last_holder) ::malloc_trim(0);
}

void reaper(std::optional<std::uint32_t> pid, std::shared_ptr<std::atomic<bool>> exited,
            std::shared_ptr<std::thread> reader) {
    name_thread("pty-reaper");
    if (pid) {
        for (int i = 0; i < kHangUpGraceSteps && !exited->load(); ++i)
            std::this_thread::sleep_for(kReaperStep);
        if (!exited->load()) ::killpg(static_cast<pid_t>(*pid), SIGKILL);
    }
    auto slept = Clock::duration::zero();
    while (!exited->load() && slept < kReaderWait) {
        std::this_thread::sleep_for(kReaperStep);
        slept += kReaperStep;
    }
    if (exited->load()) {
        if (reader->joinable()) reader->join();
        return;
    }
    KLOG_WARN(kTarget,
              "pty reader (pgid {}) still blocked 2000ms after teardown — a process outside the "
              "child's group is holding the slave pty open; detaching the reader thread",
              pid ? fmt::format("Some({})", *pid) : std::string("None"));
    if (reader->joinable()) reader->detach();
}

}  // namespace

void WriteQueue::close() {
    {
        std::lock_guard lock(mutex);
        state.closed = true;
    }
    ready.notify_all();
}

void abandon_child(kestrum_pty::Pty& pty) {
    if (!pty.pid || !pty.child) return;
    const auto pgid = static_cast<pid_t>(*pty.pid);
    ::killpg(pgid, SIGHUP);
    for (int i = 0; i < kHangUpGraceSteps; ++i) {
        if (pty.child->try_wait()) {
            pty.pid.reset();
            return;
        }
        std::this_thread::sleep_for(kReaperStep);
    }
    ::killpg(pgid, SIGKILL);
    (void)pty.child->wait();
    pty.pid.reset();  // reaped: the id may belong to someone else now
}

std::size_t Session::pending_reply_bytes() const {
    std::lock_guard lock(queue_->mutex);
    return queue_->state.pending_reply_bytes;
}

std::string default_title_for(const std::optional<std::string>& shell) {
    if (!shell) return "shell";
    std::filesystem::path p(*shell);
    std::string name = p.filename().string();
    if (name.empty() || name == "." || name == "..") return "shell";
    return kestrum::core::to_valid_utf8(name);
}

std::string exit_line(const std::optional<kestrum_pty::ExitStatus>& status) {
    if (status && (status->signal || status->code != 0)) {
        std::string what = status->signal ? *status->signal : std::to_string(status->code);
        return "\r\n\x1b[38;2;226;52;57m[process exited: " + what + "]\x1b[0m";
    }
    return "\r\n\x1b[2m[process exited]\x1b[0m";
}

Session::Session(std::string default_title, kestrum_pty::Pty pty)
    : default_title_(std::move(default_title)), pty_(std::move(pty)) {}

std::expected<std::unique_ptr<Session>, kestrum::core::Error> Session::spawn(
    std::uint16_t cols, std::uint16_t rows, const SessionOptions& options,
    kestrum_pty::PtyConfig pty_config, std::shared_ptr<std::atomic<bool>> tabs_changed,
    BellCallback bell, float cell_width, float cell_height) {
    pty_config.size = winsize(cols, rows, cell_width, cell_height);
    std::string default_title = default_title_for(pty_config.shell);

    auto pty = kestrum_pty::Pty::spawn(pty_config);
    if (!pty) return std::unexpected(pty.error().to_error());
    std::unique_ptr<Session> s(new Session(std::move(default_title), std::move(*pty)));

    s->queue_ = std::make_shared<WriteQueue>();
    // A failure from here on leaves nothing behind: the writer ends with its
    // queue and the child that already runs is ended and reaped.
    auto writer_fd = s->pty_.master.take_writer();
    if (!writer_fd) {
        abandon_child(s->pty_);
        return std::unexpected(writer_fd.error().to_error());
    }
    try {
        std::thread(writer_loop, s->queue_, std::move(*writer_fd)).detach();
    } catch (const std::system_error& e) {
        KLOG_ERROR(kTarget, "failed to spawn pty writer thread: {}; input to this tab is disabled",
                   e.what());
        s->queue_->close();
    }

    auto reader_fd = s->pty_.master.try_clone_reader();
    if (!reader_fd) {
        s->queue_->close();
        abandon_child(s->pty_);
        return std::unexpected(reader_fd.error().to_error());
    }
    std::optional<kestrum_pty::PtyChild> child;
    child.swap(s->pty_.child);

    s->terminal = std::make_shared<SharedTerminal>();
    s->terminal->terminal = kestrum_term::Terminal::with_cursor(
        cols, rows, options.scrollback_lines, options.cursor_blink, options.cursor_style);
    s->terminal->terminal->cell_width = saturate_u16(cell_width);
    s->terminal->terminal->cell_height = saturate_u16(cell_height);

    s->dirty = std::make_shared<std::atomic<bool>>(true);
    s->bytes_read = std::make_shared<std::atomic<std::uint64_t>>(0);
    s->sync_pending = std::make_shared<std::atomic<bool>>(false);
    s->exited = std::make_shared<std::atomic<bool>>(false);
    s->title_ = std::make_shared<SharedTitle>();

    ReaderContext ctx{
        s->default_title_, std::move(*reader_fd),   s->terminal,     s->queue_,
        s->dirty,          s->bytes_read,           s->exited,       s->sync_pending,
        s->title_,         std::move(tabs_changed), std::move(bell), std::move(child)};
    try {
        s->reader_.emplace(reader_loop, std::move(ctx));
    } catch (const std::system_error& e) {
        KLOG_ERROR(kTarget, "failed to spawn pty reader thread: {}", e.what());
    }

    s->cols_ = cols;
    s->rows_ = rows;
    s->cell_width_ = saturate_u16(cell_width);
    s->cell_height_ = saturate_u16(cell_height);
    s->scrollback_ = options.scrollback_lines;
    return s;
}

Session::~Session() {
    std::optional<std::thread> reader = std::move(reader_);
    reader_.reset();
    if (queue_) queue_->close();
    if (!exited) return;  // spawn failed part-way; its child was already ended
    if (exited->load()) {
        if (reader) reader->detach();
        return;
    }
    if (pty_.pid) ::killpg(static_cast<pid_t>(*pty_.pid), SIGHUP);
    // Shared, so a reaper that fails to start leaves the handle here to detach.
    auto handle = std::make_shared<std::thread>(reader ? std::move(*reader) : std::thread());
    try {
        std::thread(reaper, pty_.pid, exited, handle).detach();
    } catch (const std::system_error& e) {
        KLOG_WARN(kTarget, "failed to spawn pty reaper thread: {}; reader detached", e.what());
        if (handle->joinable()) handle->detach();
    }
}

void Session::write(std::string_view bytes) {
    if (bytes.empty()) return;
    std::lock_guard lock(queue_->mutex);
    if (queue_->state.closed) {
        KLOG_WARN(kTarget, "pty write queue closed; dropping {} byte(s) of input", bytes.size());
        return;
    }
    queue_->state.items.emplace_back(std::string(bytes), false);
    queue_->ready.notify_one();
}

std::string Session::title() const {
    std::lock_guard lock(title_->mutex);
    return displayed(title_->title, default_title_);
}

void Session::set_manual_title(std::string_view text) {
    std::lock_guard lock(title_->mutex);
    title_->title.manual = sanitize_title(text);
}

bool Session::resize_local(std::uint16_t cols, std::uint16_t rows, float cell_width,
                           float cell_height) {
    std::uint16_t cw = saturate_u16(cell_width);
    std::uint16_t ch = saturate_u16(cell_height);
    if (cols == cols_ && rows == rows_ && cw == cell_width_ && ch == cell_height_) return false;
    cols_ = cols;
    rows_ = rows;
    cell_width_ = cw;
    cell_height_ = ch;
    {
        std::lock_guard lock(terminal->mutex);
        terminal->terminal->resize(cols, rows);
        terminal->terminal->cell_width = cw;
        terminal->terminal->cell_height = ch;
    }
    pending_winsize_ = winsize(cols, rows, cell_width, cell_height);
    dirty->store(true);
    return true;
}

void Session::flush_winsize() {
    auto size = std::exchange(pending_winsize_, std::nullopt);
    if (!size) return;
    if (auto r = pty_.master.resize(*size); !r)
        KLOG_WARN(kTarget, "pty resize failed: {}", r.error().message());
}

void Session::flush_stale_sync() {
    std::lock_guard lock(terminal->mutex);
    auto& t = *terminal->terminal;
    auto deadline = t.processor().sync_deadline();
    if (!deadline || Clock::now() < *deadline) return;
    const std::size_t before = t.term().history_size();
    t.processor().stop_sync(t.term());
    if (t.term().history_size() > before || before >= scrollback_) t.clear_input_start();
    sync_pending->store(false);
    dirty->store(true);
}

}  // namespace kestrum_tabs
