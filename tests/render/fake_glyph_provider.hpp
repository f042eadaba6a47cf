// A glyph provider for geometry tests: every glyph is a 6 x 10 bitmap at offset
// (1, 2) whose uv records its key, so a test can tell which glyph was drawn.
// "=>" shapes into one ligature glyph (number 1000) spanning two cells.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "render/geometry.hpp"

namespace kestrum_render {

class FakeGlyphProvider : public GlyphProvider {
  public:
    struct Run {
        std::string text;
        bool bold;
        bool italic;
        friend bool operator==(const Run&, const Run&) = default;
    };

    static constexpr std::uint16_t kArrowLigature = 1000;

    explicit FakeGlyphProvider(float cell_width = 10.0f) : cell_width_(cell_width) {}

    // The entry drawn for `key`: uv carries the key's fields.
    static AtlasEntry entry_for(GlyphKey key) {
        AtlasEntry e;
        e.uv = {float(key.scalar), float(key.glyph), float(key.bold), float(key.italic)};
        e.size = {6.0f, 10.0f};
        e.offset = {1.0f, 2.0f};
        // Emoji come from the colour atlas.
        e.color = !key.is_glyph() && key.scalar >= 0x1F000;
        return e;
    }

    std::optional<AtlasEntry> entry(GlyphKey key) override {
        ++lookups;
        if (!key.is_glyph() && missing.count(key.scalar) != 0) return std::nullopt;
        return entry_for(key);
    }

    std::span<const ShapedGlyph> shape_run(std::string_view text, bool bold, bool italic) override {
        runs.push_back({std::string(text), bold, italic});
        const auto style = std::uint8_t(italic * 2 + bold);
        shaped_.clear();
        for (std::size_t i = 0; i < text.size(); ++i) {
            const float x = cell_width_ * static_cast<float>(i);
            if (text.substr(i, 2) == "=>") {
                shaped_.push_back({GlyphKey::font_glyph(kArrowLigature, style), x});
                ++i;
            } else {
                shaped_.push_back({GlyphKey::font_glyph(std::uint8_t(text[i]), style), x});
            }
        }
        return shaped_;
    }

    std::set<char32_t> missing;  // characters without an entry
    std::vector<Run> runs;       // every shape_run call
    int lookups = 0;

  private:
    float cell_width_;
    std::vector<ShapedGlyph> shaped_;
};

}  // namespace kestrum_render
