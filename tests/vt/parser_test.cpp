// The parser alone: every action it reports for a byte stream, whole and split.
#include "vt/parser.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fmt/format.h>

namespace kestrum::vt {
namespace {

// Renders every action as one short string, so expectations read like a log.
struct Log {
    std::vector<std::string> out;
    std::u32string text;  // pending printed text, merged across print calls

    void flush() {
        if (text.empty()) return;
        std::string s = "print:";
        for (char32_t c : text)
            s += c < 0x80 ? std::string(1, static_cast<char>(c))
                          : fmt::format("<{:X}>", static_cast<std::uint32_t>(c));
        out.push_back(s);
        text.clear();
    }
    void print_ascii(const std::uint8_t* s, std::size_t n) { text.append(s, s + n); }
    void print(const char32_t* s, std::size_t n) { text.append(s, n); }
    void execute(std::uint8_t c) {
        flush();
        out.push_back(fmt::format("exec:{:02x}", c));
    }
    void csi_dispatch(const Csi& csi) {
        flush();
        std::string s = "csi:";
        if (csi.marker) s += static_cast<char>(csi.marker);
        for (int i = 0; i < csi.params.count; ++i) {
            if (i) s += csi.params.is_sub(i) ? ':' : ';';
            s += std::to_string(csi.params.values[i]);
        }
        for (int i = 0; i < csi.n_intermediates; ++i)
            s += static_cast<char>(csi.intermediates[i]);
        s += static_cast<char>(csi.final);
        if (csi.params.overflow) s += "(overflow)";
        out.push_back(s);
    }
    void esc_dispatch(const std::uint8_t* inter, std::size_t n, std::uint8_t final) {
        flush();
        out.push_back("esc:" + std::string(inter, inter + n) + static_cast<char>(final));
    }
    void osc_dispatch(std::span<const std::uint8_t> payload, bool bel) {
        flush();
        out.push_back("osc:" + std::string(payload.begin(), payload.end()) +
                      (bel ? "(bel)" : "(st)"));
    }
    void osc_discarded(std::size_t length) {
        flush();
        out.push_back(fmt::format("osc-discarded:{}", length));
    }
    bool stop_requested() const { return false; }
};

std::vector<std::string> run_whole(std::string_view input) {
    Log log;
    Parser<Log> parser;
    parser.advance(log, reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    log.flush();
    return log.out;
}

std::vector<std::string> run_bytewise(std::string_view input) {
    Log log;
    Parser<Log> parser;
    for (char c : input) {
        auto b = static_cast<std::uint8_t>(c);
        parser.advance(log, &b, 1);
    }
    log.flush();
    return log.out;
}

struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> expected;
};

const std::vector<Case> cases = {
    {"plain text", "abc", {"print:abc"}},
    {"controls between text",
     "a\r\nb\x07",
     {"print:a", "exec:0d", "exec:0a", "print:b", "exec:07"}},
    {"utf8 text", "\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80", {"print:<E9><4E2D><1F600>"}},
    {"invalid lead byte keeps following text", "a\xffz", {"print:a<FFFD>z"}},
    {"truncated sequence before ascii", "\xe4\xb8z", {"print:<FFFD>z"}},
    {"truncated sequence before control", "\xe4\r", {"print:<FFFD>", "exec:0d"}},
    {"overlong encoding", "\xc0\xaf", {"print:<FFFD><FFFD>"}},
    {"surrogate", "\xed\xa0\x80", {"print:<FFFD><FFFD><FFFD>"}},
    {"beyond U+10FFFF", "\xf4\x90\x80\x80", {"print:<FFFD><FFFD><FFFD><FFFD>"}},
    {"stray continuation",
     "\x80"
     "a",
     {"print:<FFFD>a"}},
    {"C1 NEL decoded from UTF-8",
     "a\xc2\x85"
     "b",
     {"print:a", "exec:85", "print:b"}},
    {"C1 CSI decoded from UTF-8",
     "\xc2\x9b"
     "5A",
     {"csi:5A"}},
    {"csi defaults", "\x1b[H", {"csi:H"}},
    {"csi params", "\x1b[12;34H", {"csi:12;34H"}},
    {"csi empty params", "\x1b[;5H", {"csi:0;5H"}},
    {"csi trailing separator", "\x1b[1;m", {"csi:1;0m"}},
    {"csi private marker", "\x1b[?1049h", {"csi:?1049h"}},
    {"csi intermediate", "\x1b[2 q", {"csi:2 q"}},
    {"csi sub-parameters", "\x1b[38:2::1:2:3m", {"csi:38:2:0:1:2:3m"}},
    {"csi mixed sub-parameters", "\x1b[4:3;38;5;1m", {"csi:4:3;38;5;1m"}},
    {"csi value saturates", "\x1b[99999999A", {"csi:65535A"}},
    {"control inside csi acts at once", "\x1b[1\n2H", {"exec:0a", "csi:12H"}},
    {"esc restarts csi", "\x1b[1\x1b[2A", {"csi:2A"}},
    {"can aborts csi",
     "\x1b[1\x18"
     "A",
     {"print:A"}},
    {"marker after params is ignored",
     "\x1b[1?2h"
     "x",
     {"print:x"}},
    {"utf8 after broken escape is kept", "\x1b\xc3\xa9", {"print:<E9>"}},
    {"esc dispatch",
     "\x1b"
     "7\x1b(0\x1b#8",
     {"esc:7", "esc:(0", "esc:#8"}},
    {"osc with bel", "\x1b]0;title\x07", {"osc:0;title(bel)"}},
    {"osc with st",
     "\x1b]2;a\xe2\x9c\x9c"
     "b\x1b\\",
     {"osc:2;a\xe2\x9c\x9c"
      "b(st)"}},
    {"osc interrupted by esc is dropped", "\x1b]0;x\x1b[A", {"csi:A"}},
    {"dcs is consumed", "\x1bPq#0;2;0;0;0#0~~\x1b\\z", {"print:z"}},
    {"apc pm sos are consumed", "\x1b_a\x1b\\\x1b^b\x1b\\\x1bXc\x1b\\z", {"print:z"}},
    {"del is ignored",
     "a\x7f"
     "b",
     {"print:ab"}},
};

TEST(Parser, ActionsWholeAndSplitAtEveryByte) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(run_whole(c.input), c.expected);
        EXPECT_EQ(run_bytewise(c.input), c.expected);
        // Every single split point.
        for (std::size_t cut = 1; cut < c.input.size(); ++cut) {
            Log log;
            Parser<Log> parser;
            auto* d = reinterpret_cast<const std::uint8_t*>(c.input.data());
            parser.advance(log, d, cut);
            parser.advance(log, d + cut, c.input.size() - cut);
            log.flush();
            EXPECT_EQ(log.out, c.expected) << "split at " << cut;
        }
    }
}

TEST(Parser, TooManyParametersAreDroppedNotStored) {
    std::string seq = "\x1b[";
    for (int i = 0; i < 40; ++i)
        seq += std::to_string(i) + ";";
    seq += "m";
    auto out = run_whole(seq);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].ends_with("(overflow)"));
    EXPECT_TRUE(out[0].starts_with("csi:0;1;2;"));
    EXPECT_NE(out[0].find(";31m"), std::string::npos);
    EXPECT_EQ(out[0].find(";32"), std::string::npos);
}

TEST(Parser, OversizedOscIsDiscardedWholeAndTextAfterSurvives) {
    std::string seq = "\x1b]0;" + std::string(osc_max_payload + 10, 'x') + "\x07" + "after";
    auto out = run_whole(seq);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], fmt::format("osc-discarded:{}", osc_max_payload + 12));
    EXPECT_EQ(out[1], "print:after");
}

TEST(Parser, PayloadAtTheLimitIsKept) {
    std::string payload = "0;" + std::string(osc_max_payload - 2, 'y');
    auto out = run_whole("\x1b]" + payload + "\x1b\\");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "osc:" + payload + "(st)");
}

}  // namespace
}  // namespace kestrum::vt
