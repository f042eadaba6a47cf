#include "platform/gtk/keys.hpp"

#include <gtest/gtest.h>

namespace kestrum::platform::gtk {
namespace {

TEST(GtkKeys, TranslatesToDesktopClassicEvents) {
    struct Case {
        const char* name;
        guint keyval;
        guint unshifted;
        int state;
        std::string characters;
        std::string ignoring;
        std::uint64_t flags;
        std::uint16_t key_code;
    };
    const auto S = GDK_SHIFT_MASK, C = GDK_CONTROL_MASK, A = GDK_ALT_MASK, W = GDK_SUPER_MASK;
    const Case cases[] = {
        {"letter", GDK_KEY_a, GDK_KEY_a, 0, "a", "a", 0, 0},
        {"shifted letter", GDK_KEY_A, GDK_KEY_a, S, "A", "A", kShiftKeyMask, 0},
        {"control letter", GDK_KEY_c, GDK_KEY_c, C, "\x03", "c", kControlKeyMask, 0},
        {"control bracket", GDK_KEY_bracketleft, GDK_KEY_bracketleft, C, "\x1b", "[",
         kControlKeyMask, 0},
        {"control space stays", GDK_KEY_space, GDK_KEY_space, C, " ", " ", kControlKeyMask, 0},
        {"alt keeps the text", GDK_KEY_b, GDK_KEY_b, A, "b", "b", kOptionKeyMask, 0},
        {"super letter", GDK_KEY_t, GDK_KEY_t, W, "t", "t", kCommandKeyMask, 0},
        {"ctrl+shift+c is copy", GDK_KEY_C, GDK_KEY_c, C | S, "c", "c", kCommandKeyMask, 0},
        {"ctrl+shift+v is paste", GDK_KEY_V, GDK_KEY_v, C | S, "v", "v", kCommandKeyMask, 0},
        {"ctrl+shift+x is not", GDK_KEY_X, GDK_KEY_x, C | S, "\x18", "X",
         kControlKeyMask | kShiftKeyMask, 0},
        {"up", GDK_KEY_Up, GDK_KEY_Up, 0, "\xEF\x9C\x80", "\xEF\x9C\x80", 0, 0},
        {"shift f5", GDK_KEY_F5, GDK_KEY_F5, S, "\xEF\x9C\x88", "\xEF\x9C\x88", kShiftKeyMask, 0},
        {"forward delete", GDK_KEY_Delete, GDK_KEY_Delete, 0, "\xEF\x9C\xA8", "\xEF\x9C\xA8", 0, 0},
        {"backspace", GDK_KEY_BackSpace, GDK_KEY_BackSpace, 0, "\x7f", "\x7f", 0, 0},
        {"return", GDK_KEY_Return, GDK_KEY_Return, 0, "\r", "\r", 0, 0},
        {"keypad enter", GDK_KEY_KP_Enter, GDK_KEY_KP_Enter, 0, "\x03", "\x03", 0, 76},
        {"tab", GDK_KEY_Tab, GDK_KEY_Tab, 0, "\t", "\t", 0, 48},
        {"shift tab", GDK_KEY_ISO_Left_Tab, GDK_KEY_Tab, S, "\x19", "\x19", kShiftKeyMask, 48},
        {"dead key", GDK_KEY_dead_acute, GDK_KEY_dead_acute, 0, "", "", 0, 0},
        {"non-ascii", GDK_KEY_eacute, GDK_KEY_eacute, 0, "\xC3\xA9", "\xC3\xA9", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto e = translate_keyval(c.keyval, c.unshifted, GdkModifierType(c.state));
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->characters, c.characters);
        EXPECT_EQ(e->characters_ignoring_modifiers, c.ignoring);
        EXPECT_EQ(e->modifier_flags, c.flags);
        EXPECT_EQ(e->key_code, c.key_code);
    }
    EXPECT_FALSE(translate_keyval(GDK_KEY_Shift_L, GDK_KEY_Shift_L, GdkModifierType(0)));
}

TEST(GtkKeys, ButtonNumbers) {
    EXPECT_EQ(button_number(GDK_BUTTON_PRIMARY), 0);
    EXPECT_EQ(button_number(GDK_BUTTON_SECONDARY), 1);
    EXPECT_EQ(button_number(GDK_BUTTON_MIDDLE), 2);
    EXPECT_EQ(button_number(8), 7);
}

}  // namespace
}  // namespace kestrum::platform::gtk
