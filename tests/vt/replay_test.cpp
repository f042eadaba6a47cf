// Output recorded from real programs, replayed: the screen text and the
// colours they asked for.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "vt_fixture.hpp"

namespace kestrum::vt {
namespace {

using testing::Vt;

std::string read_file(const std::string& name) {
    std::ifstream in(std::string(KESTRUM_VT_TESTDATA) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string without_final_newline(std::string s) {
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

struct CellCheck {
    Point at;
    char32_t ch;
    Color fg;
    std::uint16_t flags;
};

struct Recording {
    const char* name;
    std::vector<CellCheck> cells;
    std::optional<Point> cursor;
};

const Color default_fg = Color::make_named(named::foreground);

const std::vector<Recording> recordings = {
    {"ls_color",
     {{{0, 0}, U'M', Color::make_named(2), flag::bold},
      {{0, 8}, U'*', default_fg, 0},
      {{0, 11}, U'R', default_fg, 0},
      {{0, 22}, U'b', Color::make_named(4), flag::bold},
      {{0, 37}, U'l', Color::make_named(6), flag::bold}},
     Point{1, 0}},
    {"git_log_graph",
     {{{0, 4}, U'5', Color::make_named(3), 0},
      {{0, 13}, U'H', Color::make_named(6), flag::bold},
      {{0, 21}, U'm', Color::make_named(2), flag::bold},
      {{0, 43}, U'D', default_fg, flag::dim},
      {{1, 0}, U'|', Color::make_named(1), 0},
      {{1, 1}, U'\\', Color::make_named(2), 0}},
     std::nullopt},
    {"vim_edit",
     {{{0, 2}, U'1', Color::make_indexed(130), 0},
      {{0, 4}, U'#', Color::make_named(5), 0},
      {{2, 4}, U'i', Color::make_named(2), 0},
      {{3, 15}, U'"', Color::make_named(1), 0},
      {{6, 0}, U'~', Color::make_named(12), 0}},
     Point{3, 35}},
};

TEST(Replay, RealProgramsScreens) {
    for (const Recording& r : recordings) {
        SCOPED_TRACE(r.name);
        const std::string output = read_file(std::string(r.name) + ".out");
        const std::string expected =
            without_final_newline(read_file(std::string(r.name) + ".screen"));
        Vt whole(80, 24, 1000);
        whole.feed(output);
        EXPECT_EQ(whole.screen(), expected);
        for (const CellCheck& c : r.cells) {
            const Cell& cell = whole.term.cell(c.at);
            EXPECT_EQ(cell.ch, c.ch) << c.at.line << ":" << c.at.col;
            EXPECT_EQ(cell.fg(), c.fg) << c.at.line << ":" << c.at.col;
            EXPECT_EQ(cell.flags & flag::sgr_mask, c.flags) << c.at.line << ":" << c.at.col;
        }
        if (r.cursor) {
            EXPECT_EQ(whole.cursor(), *r.cursor);
        }
        // The same output in small pieces of varying size.
        Vt pieces(80, 24, 1000);
        for (std::size_t i = 0, n = 1; i < output.size(); i += n, n = n % 13 + 1)
            pieces.feed(std::string_view(output).substr(i, n));
        EXPECT_EQ(pieces.screen(), expected);
        EXPECT_EQ(attribute_dump(pieces.term), attribute_dump(whole.term));
    }
}

TEST(Replay, ToolPrintsTheScreen) {
    const std::string cmd = std::string(KESTRUM_REPLAY) + " --cols 80 --rows 24 " +
                            KESTRUM_VT_TESTDATA + "/ls_color.out";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    EXPECT_EQ(pclose(p), 0);
    EXPECT_EQ(out, read_file("ls_color.screen"));
}

}  // namespace
}  // namespace kestrum::vt
