#include "tabs/title.hpp"

#include <gtest/gtest.h>

#include "tabs/tabbar.hpp"

namespace kestrum_tabs {
namespace {

TEST(SanitizeTitle, Table) {
    struct Case {
        std::string in;
        std::optional<std::string> out;
    };
    const std::string zwj = "\xE2\x80\x8D";
    const Case cases[] = {
        {"build\tlog\n", "buildlog"},
        {"", std::nullopt},
        {"\x1b", std::nullopt},
        {"\x1b]0;x\x07", "]0;x"},
        {"  spaced  ", "  spaced  "},
        {"\xC2\x85"
         "c1\xC2\x9F",
         "c1"},  // C1 controls
        {"a\xE2\x80\x8B"
         "b\xE2\x80\x8E\xE2\x80\x8F"
         "c",
         "abc"},  // ZWSP, LRM, RLM
        {"\xF0\x9F\x91\xA9" + zwj + "\xF0\x9F\x92\xBB",
         "\xF0\x9F\x91\xA9" + zwj + "\xF0\x9F\x92\xBB"},
        {"evil\xE2\x80\xAEtxt.exe", "eviltxt.exe"},  // RLO
        {"\xE2\x81\xA6x\xE2\x81\xA9", "x"},          // isolates
        {"\xD8\x9C"
         "a\xEF\xBB\xBF",
         "a"},  // ALM, BOM
        {"\xE2\x80\x90\xE2\x80\xA7\xE2\x80\x8C", "\xE2\x80\x90\xE2\x80\xA7\xE2\x80\x8C"},  // kept
        {"bad\xFF", "bad\xEF\xBF\xBD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sanitize_title(c.in), c.out) << c.in;
}

TEST(SanitizeTitle, KeepsAtMost256Characters) {
    EXPECT_EQ(sanitize_title(std::string(300, 'a')), std::string(256, 'a'));
    // Counted in characters, not bytes; removed ones do not count.
    std::string wide;
    for (int i = 0; i < 300; ++i)
        wide += "\xE2\x94\x80\x07";
    auto out = sanitize_title(wide);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->size(), 256u * 3);
}

TEST(ContentPills, Layout) {
    PillMetrics m{.pill_y = 4,
                  .pill_height = 20,
                  .dot_inset = 4,
                  .dot_size = 2,
                  .dot_gap = 3,
                  .pill_radius = 6,
                  .pill_gap = 2};
    const float widths[] = {0, 50};
    EXPECT_EQ(content_pills(widths, m, 10), (std::vector<Pill>{{10, 4, 13, 20}, {25, 4, 63, 20}}));
    EXPECT_EQ(content_pills(widths, m, -5).front().x, 0);
    EXPECT_EQ(content_pills(widths, m, std::numeric_limits<float>::quiet_NaN()).front().x, 0);
    // A negative width counts as 0; a pill is never narrower than 1.
    const float negative[] = {-40};
    EXPECT_EQ(content_pills(negative, m, 0).front().width, 13);
    EXPECT_EQ(content_pills(negative, PillMetrics{}, 0).front().width, 1);
    EXPECT_TRUE(content_pills({}, m, 0).empty());
}

}  // namespace
}  // namespace kestrum_tabs
