// kestrum-replay: feeds a file of terminal output to the engine and prints the
// final screen as text, or with --attrs one line per cell with its colours and
// attributes (format in vt/dump.hpp).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "vt/dump.hpp"
#include "vt/processor.hpp"
#include "vt/terminal.hpp"

namespace {

void usage() {
    std::fputs(
        "usage: kestrum-replay [--cols N] [--rows N] [--scrollback N] [--attrs] [--history] FILE\n"
        "  --cols, --rows   screen size (default 80 x 24)\n"
        "  --scrollback     history limit in lines (default 10000)\n"
        "  --attrs          print colours and attributes of every non-blank cell\n"
        "  --history        print the history lines above the screen too\n"
        "  FILE             terminal output; '-' reads standard input\n"
        "\n"
        "--attrs prints one line per screen cell that differs from a default blank:\n"
        "  <row>:<col> U+<hex> \"<char>\" fg=<colour> bg=<colour>[ <attribute>...]\n"
        "<colour> is default, named:<n> (0-15, 256-268), idx:<n> (256-colour table)\n"
        "or #rrggbb; attributes are bold dim italic underline=<single|double|curly|\n"
        "dotted|dashed> blink inverse hidden strike wide leading-spacer and\n"
        "zw=U+<hex>[,U+<hex>...]; \"wrapped <row>\" marks a row continued on the next.\n",
        stderr);
}

bool parse_number(const char* s, unsigned long max, unsigned long& out) {
    char* end = nullptr;
    unsigned long v = std::strtoul(s, &end, 10);
    if (!*s || *end || v > max) return false;
    out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    kestrum::vt::TerminalConfig config;
    bool attrs = false;
    bool history = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        unsigned long v = 0;
        auto number = [&](unsigned long max) {
            if (i + 1 >= argc || !parse_number(argv[i + 1], max, v)) {
                std::fprintf(stderr, "kestrum-replay: %s needs a number up to %lu\n", arg.c_str(),
                             max);
                std::exit(2);
            }
            ++i;
            return v;
        };
        if (arg == "--cols") {
            config.cols = static_cast<std::uint16_t>(number(65535));
        } else if (arg == "--rows") {
            config.rows = static_cast<std::uint16_t>(number(65535));
        } else if (arg == "--scrollback") {
            config.scrollback = number(kestrum::vt::max_history_limit);
        } else if (arg == "--attrs") {
            attrs = true;
        } else if (arg == "--history") {
            history = true;
        } else if (arg == "-h" || arg == "--help") {
            usage();
            return 0;
        } else if (!path && (arg == "-" || arg[0] != '-')) {
            path = argv[i];
        } else {
            std::fprintf(stderr, "kestrum-replay: unknown argument %s\n", arg.c_str());
            usage();
            return 2;
        }
    }
    if (!path) {
        usage();
        return 2;
    }
    std::string data;
    if (std::strcmp(path, "-") == 0) {
        data.assign(std::istreambuf_iterator<char>(std::cin), {});
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "kestrum-replay: cannot open %s: %s\n", path,
                         std::strerror(errno));
            return 1;
        }
        data.assign(std::istreambuf_iterator<char>(in), {});
    }
    kestrum::vt::Terminal term(config, nullptr);
    kestrum::vt::Processor processor;
    processor.advance(term, data);
    processor.stop_sync(term);
    std::string out = attrs     ? kestrum::vt::attribute_dump(term)
                      : history ? kestrum::vt::all_text(term)
                                : kestrum::vt::screen_text(term);
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (!attrs) std::fputc('\n', stdout);
    return 0;
}
