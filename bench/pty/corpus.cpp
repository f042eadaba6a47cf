#include "corpus.hpp"

#include <fmt/format.h>

namespace kestrum_bench {

namespace {

constexpr const char* kWords[] = {
    "request", "handler", "buffer",     "render", "session", "timeout", "parser",    "config",
    "value",   "index",   "scrollback", "frame",  "glyph",   "atlas",   "cursor",    "thread",
    "error",   "warning", "return",     "const",  "struct",  "size_t",  "std::move", "nullptr"};

constexpr const char* kUnicode[] = {"Grüße",          "naïve",     "café",         "Ærøskøbing",
                                    "Ελληνικά",       "кириллица", "日本語の文章", "中文字符",
                                    "한국어",         "😀",         "🚀✨",           "e\u0301",
                                    "a\u0308o\u0308", "→ ⇒ ≠ ≤ ≥", "│ ├── └──",    "Ω≈ç√∫"};

}  // namespace

std::string MixedText::make(std::size_t bytes) {
    MixedText gen;
    std::string out;
    out.reserve(bytes + 1024);
    while (out.size() < bytes)
        gen.line(out);
    return out;
}

void MixedText::line(std::string& out) {
    const std::uint32_t kind = next() % 16;
    ++serial_;
    auto word = [&] { return kWords[next() % std::size(kWords)]; };
    switch (kind) {
        case 0:
        case 1:
        case 2:
        case 3: {  // plain log line
            out += fmt::format(
                "2026-12-11T14:{:02}:{:02}.{:03}Z INFO  kestrum::{}[{}]: {} {} id={} in {}ms",
                next() % 60, next() % 60, next() % 1000, word(), next() % 9000 + 100, word(),
                word(), serial_, next() % 500);
            break;
        }
        case 4:
        case 5: {  // compiler diagnostics
            out += fmt::format(
                "\x1b[1msrc/{}/{}.cpp:{}:{}: \x1b[31merror: \x1b[0m\x1b[1mexpected '{}' before "
                "'{}'\x1b[0m",
                word(), word(), next() % 2000, next() % 120, ";", word());
            out += "\n    ";
            for (int i = 0; i < 6; ++i) {
                out += word();
                out += ' ';
            }
            out += "\n    \x1b[32m^~~~~~~\x1b[0m";
            break;
        }
        case 6:
        case 7: {  // coloured listing
            for (int i = 0; i < 6; ++i) {
                static constexpr const char* kStyles[] = {"01;34", "01;32", "00",
                                                          "01;36", "35",    "01;31"};
                out += fmt::format("\x1b[{}m{}_{}\x1b[0m  ", kStyles[next() % 6], word(),
                                   next() % 100);
            }
            break;
        }
        case 8:
        case 9: {  // 256-colour and true-colour highlighting
            for (int i = 0; i < 10; ++i) {
                if (next() % 2)
                    out += fmt::format("\x1b[38;5;{}m", next() % 256);
                else
                    out += fmt::format("\x1b[38;2;{};{};{}m", next() % 256, next() % 256,
                                       next() % 256);
                out += word();
                out += "\x1b[39m ";
            }
            out += "\x1b[0m";
            break;
        }
        case 10:
        case 11: {  // accented, wide, emoji and combining text
            for (int i = 0; i < 8; ++i) {
                out += kUnicode[next() % std::size(kUnicode)];
                out += ' ';
            }
            break;
        }
        case 12: {  // a progress bar redrawn in place
            for (int step = 0; step <= 10; step += 2) {
                out += fmt::format("\r{}: [{}{}] {:3}%\x1b[K", word(), std::string(step * 3, '#'),
                                   std::string((10 - step) * 3, ' '), step * 10);
            }
            break;
        }
        case 13: {  // longer than the screen: wraps
            for (int i = 0; i < 40; ++i) {
                out += word();
                out += ' ';
            }
            break;
        }
        case 14: {  // tab-separated columns
            out += fmt::format("{}\t{}\t{}\t{}", serial_, word(), next() % 100000, word());
            break;
        }
        default:  // blank line
            break;
    }
    out += '\n';
}

std::string as_read_from_pty(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace kestrum_bench
