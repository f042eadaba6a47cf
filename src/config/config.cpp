#include "config/config.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <fmt/format.h>
#include <toml++/toml.h>

#include "core/log.hpp"
#include "core/utf8.hpp"

namespace kestrum_config {

namespace {

constexpr std::string_view kTarget = "kestrum_config";

// A value that parsed as TOML but does not fit the schema.
struct MappingError {
    std::string description;
    toml::source_position where;
};

// How a found value is named in a wrong-type message.
std::string describe(const toml::node& node) {
    switch (node.type()) {
        case toml::node_type::string:
            return fmt::format("string \"{}\"", node.as_string()->get());
        case toml::node_type::integer:
            return fmt::format("integer `{}`", node.as_integer()->get());
        case toml::node_type::floating_point:
            return fmt::format("floating point `{}`", node.as_floating_point()->get());
        case toml::node_type::boolean:
            return fmt::format("boolean `{}`", node.as_boolean()->get());
        case toml::node_type::table:
            return "map";
        case toml::node_type::array:
            return "sequence";
        default:
            return "datetime";
    }
}

[[noreturn]] void wrong_type(const toml::node& node, std::string_view expected) {
    throw MappingError{fmt::format("invalid type: {}, expected {}", describe(node), expected),
                       node.source().begin};
}

[[noreturn]] void bad_value(const toml::node& node, std::string_view expected) {
    throw MappingError{fmt::format("invalid value: {}, expected {}", describe(node), expected),
                       node.source().begin};
}

std::string read_string(const toml::node& node) {
    if (auto s = node.as_string()) return s->get();
    wrong_type(node, "a string");
}

bool read_bool(const toml::node& node) {
    if (auto b = node.as_boolean()) return b->get();
    wrong_type(node, "a boolean");
}

enum class FloatRule { any, positive, non_negative };

// Integers are accepted as floats. Non-finite values never pass: sizes derived
// from them reach float-to-integer conversions.
float read_f32(const toml::node& node, FloatRule rule = FloatRule::any) {
    double v;
    if (auto i = node.as_integer()) {
        v = static_cast<double>(i->get());
    } else if (auto f = node.as_floating_point()) {
        v = f->get();
    } else {
        wrong_type(node, "f32");
    }
    float out = static_cast<float>(v);
    if (!std::isfinite(v) || !std::isfinite(out)) bad_value(node, "a finite f32");
    if (rule == FloatRule::positive && !(out > 0.0f)) bad_value(node, "a positive f32");
    if (rule == FloatRule::non_negative && out < 0.0f) bad_value(node, "a non-negative f32");
    return out;
}

std::uint64_t read_usize(const toml::node& node) {
    auto i = node.as_integer();
    if (!i) wrong_type(node, "usize");
    if (i->get() < 0) bad_value(node, "usize");
    return static_cast<std::uint64_t>(i->get());
}

template <typename E, size_t N>
E read_enum(const toml::node& node, const std::pair<std::string_view, E> (&values)[N]) {
    std::string expected = "one of ";
    for (size_t i = 0; i < N; ++i) {
        if (i > 0) expected += ", ";
        expected += fmt::format("`{}`", values[i].first);
    }
    auto s = node.as_string();
    if (!s) wrong_type(node, expected);
    for (const auto& [name, value] : values)
        if (s->get() == name) return value;
    throw MappingError{fmt::format("unknown variant `{}`, expected {}", s->get(), expected),
                       node.source().begin};
}

constexpr std::pair<std::string_view, CursorStyle> kCursorStyles[] = {
    {"block", CursorStyle::block},
    {"underline", CursorStyle::underline},
    {"beam", CursorStyle::beam},
};
constexpr std::pair<std::string_view, ShiftEnter> kShiftEnters[] = {
    {"esc-cr", ShiftEnter::esc_cr},
    {"newline", ShiftEnter::newline},
    {"csi-u", ShiftEnter::csi_u},
    {"cr", ShiftEnter::cr},
};

const toml::table& read_table(const toml::node& node, std::string_view name) {
    if (auto t = node.as_table()) return *t;
    wrong_type(node, fmt::format("struct {}", name));
}

// Calls `apply` with the node under `key` when the table has it.
template <typename F>
void with_key(const toml::table& table, std::string_view key, F&& apply) {
    if (const toml::node* node = table.get(key)) apply(*node);
}

Padding read_padding(const toml::node& node) {
    Padding p;
    if (auto array = node.as_array()) {
        // [x, y]; a missing element keeps its default, extra ones are ignored.
        if (array->size() > 0) p.x = read_f32(*array->get(0), FloatRule::non_negative);
        if (array->size() > 1) p.y = read_f32(*array->get(1), FloatRule::non_negative);
        return p;
    }
    const auto& t = read_table(node, "Padding");
    with_key(t, "x", [&](const toml::node& n) { p.x = read_f32(n, FloatRule::non_negative); });
    with_key(t, "y", [&](const toml::node& n) { p.y = read_f32(n, FloatRule::non_negative); });
    return p;
}

Config map_document(const toml::table& root) {
    Config c;
    with_key(root, "font", [&](const toml::node& node) {
        const auto& t = read_table(node, "FontConfig");
        with_key(t, "family", [&](const toml::node& n) { c.font.family = read_string(n); });
        with_key(t, "size",
                 [&](const toml::node& n) { c.font.size = read_f32(n, FloatRule::positive); });
        with_key(t, "ligatures", [&](const toml::node& n) { c.font.ligatures = read_bool(n); });
    });
    with_key(root, "scrollback_lines",
             [&](const toml::node& n) { c.scrollback_lines = read_usize(n); });
    with_key(root, "shell", [&](const toml::node& n) { c.shell = read_string(n); });
    with_key(root, "padding", [&](const toml::node& n) { c.padding = read_padding(n); });
    with_key(root, "cursor", [&](const toml::node& node) {
        const auto& t = read_table(node, "CursorConfig");
        with_key(t, "style",
                 [&](const toml::node& n) { c.cursor.style = read_enum(n, kCursorStyles); });
        with_key(t, "blink", [&](const toml::node& n) { c.cursor.blink = read_bool(n); });
    });
    with_key(root, "window", [&](const toml::node& node) {
        const auto& t = read_table(node, "WindowConfig");
        with_key(t, "opacity", [&](const toml::node& n) { c.window.opacity = read_f32(n); });
        with_key(t, "blur", [&](const toml::node& n) { c.window.blur = read_bool(n); });
    });
    with_key(root, "keyboard", [&](const toml::node& node) {
        const auto& t = read_table(node, "KeyboardConfig");
        with_key(t, "shift_enter",
                 [&](const toml::node& n) { c.keyboard.shift_enter = read_enum(n, kShiftEnters); });
        with_key(t, "option_as_meta",
                 [&](const toml::node& n) { c.keyboard.option_as_meta = read_bool(n); });
    });
    return c;
}

// Reads a whole file; on failure returns the system's error text.
std::optional<std::string> read_file(const std::filesystem::path& path, std::string& error,
                                     bool& not_found) {
    not_found = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        not_found = errno == ENOENT;
        error = std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char buf[16384];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    if (!kestrum::core::is_valid_utf8(text)) {
        error = "stream did not contain valid UTF-8";
        return std::nullopt;
    }
    return text;
}

}  // namespace

std::optional<std::filesystem::path> Config::path() {
    std::filesystem::path base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (xdg != nullptr && *xdg != '\0') {
        base = xdg;
    } else if (home != nullptr) {
        base = std::filesystem::path(home) / ".config";
    } else {
        return std::nullopt;
    }
    return base / "kestrum" / "config.toml";
}

Config Config::load() {
    auto path = Config::path();
    if (!path) {
        KLOG_DEBUG(kTarget, "no config directory resolvable; using defaults");
        return Config{};
    }
    std::string error;
    bool not_found = false;
    auto text = read_file(*path, error, not_found);
    if (!text) {
        if (not_found) {
            KLOG_DEBUG(kTarget, "no config at {}; using defaults", path->string());
        } else {
            KLOG_WARN(kTarget, "could not read {}: {}; using defaults", path->string(), error);
        }
        return Config{};
    }
    return parse(*text);
}

Config Config::parse(std::string_view text) {
    Config config;
    try {
        config = map_document(toml::parse(text));
    } catch (const toml::parse_error& e) {
        KLOG_WARN(kTarget,
                  "invalid config: TOML parse error at line {}, column {}: {}; using defaults",
                  e.source().begin.line, e.source().begin.column, e.description());
        return Config{};
    } catch (const MappingError& e) {
        KLOG_WARN(kTarget,
                  "invalid config: TOML parse error at line {}, column {}: {}; using defaults",
                  e.where.line, e.where.column, e.description);
        return Config{};
    }
    if (config.scrollback_lines > kMaxScrollbackLines) {
        KLOG_WARN(kTarget, "scrollback_lines = {} is over the maximum; clamping to {}",
                  config.scrollback_lines, kMaxScrollbackLines);
        config.scrollback_lines = kMaxScrollbackLines;
    }
    return config;
}

}  // namespace kestrum_config
