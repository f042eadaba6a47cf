#include "platform/gtk/keys.hpp"

#include <string>

namespace kestrum::platform::gtk {

namespace {

std::string utf8(char32_t c) {
    char buf[8];
    int n = g_unichar_to_utf8(static_cast<gunichar>(c), buf);
    return std::string(buf, static_cast<size_t>(n));
}

// Keys that are not text: the function-key code points and fixed controls.
std::optional<char32_t> special_key(guint keyval) {
    switch (keyval) {
        case GDK_KEY_Up:
        case GDK_KEY_KP_Up:
            return kUpArrowFunctionKey;
        case GDK_KEY_Down:
        case GDK_KEY_KP_Down:
            return kDownArrowFunctionKey;
        case GDK_KEY_Left:
        case GDK_KEY_KP_Left:
            return kLeftArrowFunctionKey;
        case GDK_KEY_Right:
        case GDK_KEY_KP_Right:
            return kRightArrowFunctionKey;
        case GDK_KEY_Insert:
        case GDK_KEY_KP_Insert:
            return kInsertFunctionKey;
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete:
            return kDeleteFunctionKey;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home:
            return kHomeFunctionKey;
        case GDK_KEY_End:
        case GDK_KEY_KP_End:
            return kEndFunctionKey;
        case GDK_KEY_Page_Up:
        case GDK_KEY_KP_Page_Up:
            return kPageUpFunctionKey;
        case GDK_KEY_Page_Down:
        case GDK_KEY_KP_Page_Down:
            return kPageDownFunctionKey;
        case GDK_KEY_Return:
            return U'\r';
        case GDK_KEY_KP_Enter:
            return U'\x03';
        case GDK_KEY_Tab:
            return U'\t';
        case GDK_KEY_ISO_Left_Tab:
            return U'\x19';  // back-tab
        case GDK_KEY_BackSpace:
            return U'\x7f';
        case GDK_KEY_Escape:
            return U'\x1b';
        default:
            break;
    }
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F35)
        return kF1FunctionKey + static_cast<char32_t>(keyval - GDK_KEY_F1);
    return std::nullopt;
}

bool is_modifier_key(guint keyval) {
    switch (keyval) {
        case GDK_KEY_Shift_L:
        case GDK_KEY_Shift_R:
        case GDK_KEY_Control_L:
        case GDK_KEY_Control_R:
        case GDK_KEY_Alt_L:
        case GDK_KEY_Alt_R:
        case GDK_KEY_Meta_L:
        case GDK_KEY_Meta_R:
        case GDK_KEY_Super_L:
        case GDK_KEY_Super_R:
        case GDK_KEY_Hyper_L:
        case GDK_KEY_Hyper_R:
        case GDK_KEY_Caps_Lock:
        case GDK_KEY_Num_Lock:
        case GDK_KEY_ISO_Level3_Shift:
        case GDK_KEY_ISO_Level5_Shift:
            return true;
        default:
            return false;
    }
}

bool is_dead_key(guint keyval) {
    return keyval >= GDK_KEY_dead_grave && keyval <= GDK_KEY_dead_greek;
}

// Control applied as a terminal keyboard does: letters and [ \ ] ^ _ become C0.
std::string with_control(char32_t c) {
    if (c >= 'a' && c <= 'z') return std::string(1, static_cast<char>(c - 'a' + 1));
    if (c >= 'A' && c <= 'Z') return std::string(1, static_cast<char>(c - 'A' + 1));
    if (c >= '[' && c <= '_') return std::string(1, static_cast<char>(c - '[' + 0x1b));
    return utf8(c);
}

}  // namespace

std::uint64_t modifier_flags(GdkModifierType state) {
    std::uint64_t flags = 0;
    if (state & GDK_SHIFT_MASK) flags |= kShiftKeyMask;
    if (state & GDK_CONTROL_MASK) flags |= kControlKeyMask;
    if (state & GDK_ALT_MASK) flags |= kOptionKeyMask;
    if (state & GDK_SUPER_MASK) flags |= kCommandKeyMask;
    return flags;
}

int button_number(guint gdk_button) {
    switch (gdk_button) {
        case GDK_BUTTON_PRIMARY:
            return 0;
        case GDK_BUTTON_SECONDARY:
            return 1;
        case GDK_BUTTON_MIDDLE:
            return 2;
        case 0:
            return -1;
        default:
            return static_cast<int>(gdk_button) - 1;
    }
}

std::optional<KeyEvent> translate_keyval(guint keyval, guint unshifted_keyval,
                                         GdkModifierType state) {
    if (is_modifier_key(keyval)) return std::nullopt;
    KeyEvent e;
    e.modifier_flags = modifier_flags(state);
    if (keyval == GDK_KEY_Tab || keyval == GDK_KEY_ISO_Left_Tab) e.key_code = kKeyCodeTab;
    if (keyval == GDK_KEY_KP_Enter) e.key_code = kKeyCodeKeypadEnter;
    if (is_dead_key(keyval)) return e;  // no text until composed

    if (auto special = special_key(keyval)) {
        e.characters = utf8(*special);
        e.characters_ignoring_modifiers = e.characters;
        return e;
    }
    gunichar c = gdk_keyval_to_unicode(keyval);
    if (c == 0) return e;  // a key with no text (media keys and the like)
    bool control = e.modifier_flags & kControlKeyMask;
    bool shift = e.modifier_flags & kShiftKeyMask;

    // Ctrl+Shift+letter for the few commands this desktop's terminals bind there.
    gunichar base = gdk_keyval_to_unicode(unshifted_keyval);
    if (control && shift && !(e.modifier_flags & (kCommandKeyMask | kOptionKeyMask))) {
        gunichar lower = g_unichar_tolower(base ? base : c);
        if (lower == 'c' || lower == 'v' || lower == 't' || lower == 'w' || lower == 'f') {
            e.modifier_flags = kCommandKeyMask;
            e.characters = utf8(lower);
            e.characters_ignoring_modifiers = e.characters;
            return e;
        }
    }
    e.characters_ignoring_modifiers = utf8(c);
    e.characters = control ? with_control(c) : utf8(c);
    return e;
}

std::optional<KeyEvent> translate_key(GdkEvent* event, guint keyval, guint keycode,
                                      GdkModifierType state) {
    guint unshifted = keyval;
    if (event) {
        GdkDisplay* display = gdk_event_get_display(event);
        guint layout = gdk_key_event_get_layout(event);
        guint out = 0;
        if (display &&
            gdk_display_translate_key(display, keycode, GdkModifierType(0),
                                      static_cast<int>(layout), &out, nullptr, nullptr, nullptr))
            unshifted = out;
    }
    return translate_keyval(keyval, unshifted, state);
}

}  // namespace kestrum::platform::gtk
