#include "vterm_runner.hpp"

extern "C" {
#include <vterm.h>
}

#include <vector>

namespace kestrum::vt::bench {

struct VtermRunner::State {
    VTerm* vt = nullptr;
    VTermScreen* screen = nullptr;
    VTermScreenCallbacks callbacks{};
    std::vector<std::vector<VTermScreenCell>> history;
    std::size_t next = 0;
    std::size_t limit = 0;
};

namespace {

int push_line(int cols, const VTermScreenCell* cells, void* user) {
    auto* s = static_cast<VtermRunner::State*>(user);
    if (s->history.size() < s->limit) {
        s->history.emplace_back(cells, cells + cols);
    } else if (s->limit > 0) {
        s->history[s->next].assign(cells, cells + cols);
        s->next = (s->next + 1) % s->limit;
    }
    return 1;
}

}  // namespace

VtermRunner::VtermRunner(int cols, int rows, std::size_t scrollback) : state_(new State) {
    state_->limit = scrollback;
    state_->vt = vterm_new(rows, cols);
    vterm_set_utf8(state_->vt, 1);
    state_->screen = vterm_obtain_screen(state_->vt);
    state_->callbacks.sb_pushline = push_line;
    vterm_screen_set_callbacks(state_->screen, &state_->callbacks, state_.get());
    vterm_screen_enable_altscreen(state_->screen, 1);
    vterm_screen_reset(state_->screen, 1);
}

VtermRunner::~VtermRunner() {
    vterm_free(state_->vt);
}

void VtermRunner::feed(std::string_view bytes) {
    vterm_input_write(state_->vt, bytes.data(), bytes.size());
}

}  // namespace kestrum::vt::bench
