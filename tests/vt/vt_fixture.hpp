// A terminal with its processor and a listener that records every event.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "vt/dump.hpp"
#include "vt/processor.hpp"
#include "vt/terminal.hpp"

namespace kestrum::vt::testing {

class Recorder : public Listener {
  public:
    void send_event(Event e) override { events.push_back(std::move(e)); }

    // All PtyWrite replies concatenated.
    std::string replies() const {
        std::string out;
        for (const Event& e : events) {
            if (auto* w = std::get_if<event::PtyWrite>(&e)) out += w->bytes;
        }
        return out;
    }
    template <typename T>
    std::vector<T> all() const {
        std::vector<T> out;
        for (const Event& e : events) {
            if (auto* v = std::get_if<T>(&e)) out.push_back(*v);
        }
        return out;
    }
    std::vector<Event> events;
};

struct Vt {
    explicit Vt(std::uint16_t cols = 10, std::uint16_t rows = 4, std::size_t scrollback = 100)
        : term(make_config(cols, rows, scrollback), &recorder) {}
    explicit Vt(const TerminalConfig& config) : term(config, &recorder) {}

    static TerminalConfig make_config(std::uint16_t cols, std::uint16_t rows,
                                      std::size_t scrollback) {
        TerminalConfig c;
        c.cols = cols;
        c.rows = rows;
        c.scrollback = scrollback;
        return c;
    }

    Vt& feed(std::string_view bytes) {
        processor.advance(term, bytes);
        return *this;
    }
    std::string screen() const { return screen_text(term); }
    std::string all() const { return all_text(term); }
    Point cursor() const { return term.renderable_cursor().point; }

    Recorder recorder;
    Terminal term;
    Processor processor;
};

}  // namespace kestrum::vt::testing
