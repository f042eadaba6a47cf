#include "inputs.hpp"

#include <fmt/format.h>

#include <random>

namespace kestrum::vt::bench {

namespace {

constexpr std::size_t target_size = 4 << 20;

std::string make_plain() {
    std::mt19937 rng(1);
    std::string out;
    while (out.size() < target_size) {
        int len = std::uniform_int_distribution<int>(0, 190)(rng);
        for (int i = 0; i < len; ++i)
            out += static_cast<char>(' ' + (rng() % 95));
        out += "\r\n";
    }
    return out;
}

std::string make_sgr() {
    std::mt19937 rng(2);
    std::string out;
    int col = 0;
    while (out.size() < target_size) {
        if (rng() % 2) {
            out += fmt::format("\x1b[38;5;{}m", rng() % 256);
        } else {
            out += fmt::format("\x1b[48;2;{};{};{}m", rng() % 256, rng() % 256, rng() % 256);
        }
        int len = 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < len; ++i)
            out += static_cast<char>('a' + (rng() % 26));
        col += len;
        if (col > 150) {
            out += "\x1b[0m\r\n";
            col = 0;
        }
    }
    return out;
}

std::string make_cjk() {
    static const char* pieces[] = {"\xe4\xb8\xad",     "\xe6\x96\x87", "\xe5\xad\x97",
                                   "\xe3\x81\x82",     "\xed\x95\x9c", "\xf0\x9f\x98\x80",
                                   "\xf0\x9f\x9a\x80", "ab",           " "};
    std::mt19937 rng(3);
    std::string out;
    int col = 0;
    while (out.size() < target_size) {
        out += pieces[rng() % std::size(pieces)];
        col += 2;
        if (col >= 180) {
            out += "\r\n";
            col = 0;
        }
    }
    return out;
}

std::string redraw_frames(std::mt19937& rng, std::size_t size) {
    std::string out;
    while (out.size() < size) {
        out += "\x1b[H";
        for (int y = 1; y <= rows; ++y) {
            out += fmt::format("\x1b[{};1H", y);
            if (y % 3 == 0) out += fmt::format("\x1b[1;3{}m", rng() % 8);
            for (int x = 0; x < cols - 20; ++x)
                out += static_cast<char>('0' + (rng() % 75));
            out += "\x1b[m\x1b[K";
        }
    }
    return out;
}

std::string make_redraw() {
    std::mt19937 rng(4);
    return redraw_frames(rng, target_size);
}

std::string make_alt() {
    std::mt19937 rng(5);
    std::string out;
    while (out.size() < target_size) {
        out += "\x1b[?1049h\x1b[2J";
        out += redraw_frames(rng, 256 << 10);
        out += "\x1b[5;45r\x1b[45;1H";
        for (int i = 0; i < 200; ++i)
            out += "\nscrolling inside a region of the alternate screen";
        out += "\x1b[r\x1b[?1049l";
    }
    return out;
}

}  // namespace

const std::string& plain_ascii() {
    static const std::string s = make_plain();
    return s;
}
const std::string& dense_sgr() {
    static const std::string s = make_sgr();
    return s;
}
const std::string& cjk_emoji() {
    static const std::string s = make_cjk();
    return s;
}
const std::string& cursor_redraw() {
    static const std::string s = make_redraw();
    return s;
}
const std::string& alt_screen() {
    static const std::string s = make_alt();
    return s;
}

}  // namespace kestrum::vt::bench
