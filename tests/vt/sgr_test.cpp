// SGR: each row is a parameter string and the attributes of the cell printed after it.
#include <gtest/gtest.h>

#include "vt_fixture.hpp"

namespace kestrum::vt {
namespace {

using testing::Vt;

struct Case {
    std::string params;
    std::string attributes;  // as attribute_dump writes them after the character
};

const std::vector<Case> cases = {
    {"", "fg=default bg=default"},
    {"1", "fg=default bg=default bold"},
    {"2", "fg=default bg=default dim"},
    {"3", "fg=default bg=default italic"},
    {"4", "fg=default bg=default underline=single"},
    {"4:0", "fg=default bg=default"},
    {"4:1", "fg=default bg=default underline=single"},
    {"4:2", "fg=default bg=default underline=double"},
    {"4:3", "fg=default bg=default underline=curly"},
    {"4:4", "fg=default bg=default underline=dotted"},
    {"4:5", "fg=default bg=default underline=dashed"},
    {"4:7", "fg=default bg=default"},
    {"21", "fg=default bg=default underline=double"},
    {"5", "fg=default bg=default blink"},
    {"6", "fg=default bg=default blink"},
    {"7", "fg=default bg=default inverse"},
    {"8", "fg=default bg=default hidden"},
    {"9", "fg=default bg=default strike"},
    {"1;2;22", "fg=default bg=default"},
    {"3;23", "fg=default bg=default"},
    {"4:3;24", "fg=default bg=default"},
    {"5;25", "fg=default bg=default"},
    {"7;27", "fg=default bg=default"},
    {"8;28", "fg=default bg=default"},
    {"9;29", "fg=default bg=default"},
    {"1;2;3;4;5;7;8;9;31;41;0", "fg=default bg=default"},
    {"31", "fg=named:1 bg=default"},
    {"37;40", "fg=named:7 bg=named:0"},
    {"91;101", "fg=named:9 bg=named:9"},
    {"31;39;41;49", "fg=default bg=default"},
    {"38;5;196", "fg=idx:196 bg=default"},
    {"48;5;17", "fg=default bg=idx:17"},
    {"38;2;10;20;30", "fg=#0a141e bg=default"},
    {"48;2;255;0;128", "fg=default bg=#ff0080"},
    {"38:2:10:20:30", "fg=#0a141e bg=default"},
    {"38:2::10:20:30", "fg=#0a141e bg=default"},
    {"48:2:1:2:3:4", "fg=default bg=#020304"},
    {"38:5:200", "fg=idx:200 bg=default"},
    {"38;5;1;1", "fg=idx:1 bg=default bold"},
    {"38:5:1;1", "fg=idx:1 bg=default bold"},
    {"38;2;1;2;3;4", "fg=#010203 bg=default underline=single"},
    {"58;5;3;31", "fg=named:1 bg=default"},
    {"58:2::1:2:3;1", "fg=default bg=default bold"},
    {"59;1", "fg=default bg=default bold"},
    {"38;5;300;1", "fg=default bg=default bold"},
    {"38;2;1;2", "fg=default bg=default"},
    {"38;9;1", "fg=default bg=default"},
};

TEST(Sgr, Attributes) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params);
        Vt vt;
        vt.feed("\x1b[" + c.params + "mx");
        EXPECT_EQ(attribute_dump(vt.term), "0:0 U+0078 \"x\" " + c.attributes + "\n");
    }
}

TEST(Sgr, AttributesApplyToPrintedCellsNotErasedOnes) {
    Vt vt;
    vt.feed("\x1b[1;4;31;42mab\x1b[K");
    EXPECT_TRUE(vt.term.cell({0, 1}).has(flag::bold));
    const Cell& erased = vt.term.cell({0, 5});
    EXPECT_EQ(erased.flags, 0);
    EXPECT_EQ(erased.fg(), Color::make_named(named::foreground));
    EXPECT_EQ(erased.bg(), Color::make_named(2));
}

TEST(Sgr, WideCharacterSpacerCarriesTheAttributes) {
    Vt vt;
    vt.feed("\x1b[7m\xe4\xb8\xad");
    EXPECT_TRUE(vt.term.cell({0, 0}).has(flag::wide) && vt.term.cell({0, 0}).has(flag::inverse));
    EXPECT_TRUE(vt.term.cell({0, 1}).has(flag::wide_spacer));
    EXPECT_TRUE(vt.term.cell({0, 1}).has(flag::inverse));
}

}  // namespace
}  // namespace kestrum::vt
