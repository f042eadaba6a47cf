#include "core/utf8.hpp"

#include <gtest/gtest.h>

namespace kestrum::core {
namespace {

TEST(Utf8, ValidityAndRepair) {
    struct Case {
        std::string in;
        bool valid;
        std::string repaired;
    };
    const std::string r = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"", true, ""},
        {"plain", true, "plain"},
        {"\xC3\xA9\xE2\x94\x80\xF0\x9F\x98\x80", true, "\xC3\xA9\xE2\x94\x80\xF0\x9F\x98\x80"},
        {"a\xFF"
         "b",
         false, "a" + r + "b"},
        {"\xE2\x94", false, r},             // truncated at the end
        {"\xE2\x94x", false, r + "x"},      // truncated before text
        {"\xC0\xAF", false, r},             // overlong
        {"\xED\xA0\x80", false, r},         // surrogate
        {"\xF4\x90\x80\x80", false, r},     // above U+10FFFF
        {"\x80\x80z", false, r + r + "z"},  // stray continuation bytes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_valid_utf8(c.in), c.valid) << c.in;
        EXPECT_EQ(to_valid_utf8(c.in), c.repaired) << c.in;
    }
}

}  // namespace
}  // namespace kestrum::core
