// Readable failure output for render records.
#pragma once

#include <ostream>

#include "render/geometry.hpp"

namespace kestrum_render {

inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}

inline void PrintTo(const SolidInstance& s, std::ostream* os) {
    *os << "solid{rect " << s.rect[0] << "," << s.rect[1] << "," << s.rect[2] << "," << s.rect[3]
        << " color " << s.color[0] << "," << s.color[1] << "," << s.color[2] << "," << s.color[3]
        << " radius " << s.params[0] << "}";
}

inline void PrintTo(const GlyphInstance& g, std::ostream* os) {
    *os << "glyph{rect " << g.rect[0] << "," << g.rect[1] << "," << g.rect[2] << "," << g.rect[3]
        << " uv " << g.uv[0] << "," << g.uv[1] << "," << g.uv[2] << "," << g.uv[3] << " color "
        << g.color[0] << "," << g.color[1] << "," << g.color[2] << "," << g.color[3] << "}";
}

}  // namespace kestrum_render
