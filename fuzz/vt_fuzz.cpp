// Fuzz target for the engine: arbitrary output in arbitrary pieces, resizes,
// selections and scrolling, with the structural invariants checked after
// every step. The first bytes choose the size and history limit.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "invariants.hpp"
#include "vt/processor.hpp"
#include "vt/terminal.hpp"

namespace {

using namespace kestrum::vt;

// Runs every formatter it is handed, so they are fuzzed too.
class Sink : public Listener {
  public:
    void send_event(Event e) override {
        if (auto* c = std::get_if<event::ColorRequest>(&e)) sink_ += c->format({1, 2, 3});
        if (auto* s = std::get_if<event::TextAreaSizeRequest>(&e)) sink_ += s->format({1, 2, 3, 4});
        if (sink_.size() > 4096) sink_.clear();
    }

  private:
    std::string sink_;
};

void check(const Terminal& term) {
    const std::string problem = kestrum::vt::testing::check_invariants(term);
    if (!problem.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", problem.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    TerminalConfig config;
    config.cols = static_cast<std::uint16_t>(1 + data[0] % 80);
    config.rows = static_cast<std::uint16_t>(1 + data[1] % 30);
    config.scrollback = data[2] % 64;
    config.clipboard = ClipboardPolicy::read_write;
    Sink sink;
    Terminal term(config, &sink);
    Processor processor;
    data += 3;
    size -= 3;
    // 0xff 0xfe <op> <arg> inside the input is a command rather than output.
    std::size_t start = 0;
    for (std::size_t i = 0; i + 3 < size; ++i) {
        if (data[i] != 0xff || data[i + 1] != 0xfe) continue;
        processor.advance(term, std::span(data + start, i - start));
        check(term);
        const std::uint8_t op = data[i + 2], arg = data[i + 3];
        switch (op % 5) {
            case 0:
                term.resize(static_cast<std::uint16_t>(arg % 90),
                            static_cast<std::uint16_t>(arg / 8));
                break;
            case 1:
                term.scroll_display(static_cast<std::int8_t>(arg));
                break;
            case 2:
                term.selection = Selection(static_cast<SelectionKind>(arg % 4),
                                           Point{term.top_line() + arg % 40, arg % 90u},
                                           arg & 1 ? Side::left : Side::right);
                term.selection->update(Point{term.bottom_line() - arg % 7, arg % 13u}, Side::right);
                (void)term.selection_text();
                break;
            case 3:
                processor.stop_sync(term);
                break;
            default:
                term.clear_history();
                break;
        }
        check(term);
        i += 3;
        start = i + 1;
    }
    processor.advance(term, std::span(data + start, size - start));
    check(term);
    processor.stop_sync(term);
    check(term);
    return 0;
}
