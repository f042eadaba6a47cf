#include "term/palette.hpp"

namespace kestrum_term {

namespace {

constexpr Rgb hex(unsigned v) {
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}

std::uint8_t cube_level(unsigned v) {
    return v == 0 ? 0 : static_cast<std::uint8_t>(40 * v + 55);
}

std::uint8_t dim_component(std::uint8_t v) {
    float d = static_cast<float>(v) * 0.66f;
    return d >= 255.0f ? 255 : static_cast<std::uint8_t>(d);
}

}  // namespace

Palette Palette::standard() {
    return Palette{{
        hex(0x19171d), hex(0xf3606d), hex(0x5ac576), hex(0xf0ba59), hex(0x6db3e4), hex(0xcf8fde),
        hex(0x6ec3eb), hex(0xefeef1), hex(0x87858b), hex(0xff707c), hex(0x6bd586), hex(0xffca69),
        hex(0x7dc3f4), hex(0xdf9eee), hex(0x7fd4fc), hex(0xf5f4f7), hex(0xefeef1), hex(0x19171d),
        hex(0xe23439), hex(0x4a2f35), hex(0x534023), hex(0x8a6831),
    }};
}

Rgb dim(Rgb c) {
    return {dim_component(c.r), dim_component(c.g), dim_component(c.b)};
}

Rgb Palette::indexed(std::size_t i) const {
    if (i < 16) return colors[i];
    if (i >= 232) {
        auto g = static_cast<std::uint8_t>(8 + 10 * (i - 232));
        return {g, g, g};
    }
    auto c = static_cast<unsigned>(i - 16);
    return {cube_level(c / 36), cube_level((c % 36) / 6), cube_level(c % 6)};
}

Rgb Palette::color_at_index(std::size_t i) const {
    if (i < 256) return indexed(i);
    switch (i) {
        case 256:
        case 267:
            return colors[entry::foreground];
        case 257:
            return colors[entry::background];
        case 258:
            return colors[entry::cursor];
        case 268:
            return dim(colors[entry::foreground]);
        default:
            break;
    }
    if (i >= 259 && i <= 266) return dim(colors[i - 259]);
    return colors[entry::foreground];
}

}  // namespace kestrum_term
