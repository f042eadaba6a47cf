// Shaping with HarfBuzz, every ligature feature on.
#include <climits>

#include "platform/ft/face_source.hpp"
#include "platform/text.hpp"

namespace kestrum::platform {

namespace {
hb_feature_t on(const char (&tag)[5]) {
    return {HB_TAG(tag[0], tag[1], tag[2], tag[3]), 1, HB_FEATURE_GLOBAL_START,
            HB_FEATURE_GLOBAL_END};
}
}  // namespace

std::vector<GlyphRun> FontFace::shape_with_ligatures(std::string_view text) const {
    if (text.empty() || text.size() > INT_MAX) return {};
    ft::HbBufferPtr buffer(hb_buffer_create());
    if (!hb_buffer_allocation_successful(buffer.get())) return {};
    hb_buffer_add_utf8(buffer.get(), text.data(), static_cast<int>(text.size()), 0,
                       static_cast<int>(text.size()));
    hb_buffer_guess_segment_properties(buffer.get());
    // Standard, contextual, discretionary and historical ligatures, and contextual
    // alternates (which some coding fonts use for their ligatures).
    const hb_feature_t features[] = {on("liga"), on("clig"), on("dlig"), on("hlig"), on("calt")};
    hb_shape(source_->hb_font.get(), buffer.get(), features, std::size(features));

    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer.get(), &count);
    const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer.get(), &count);
    const double scale = size_ / source_->units_per_em;
    GlyphRun run;
    run.glyphs.reserve(count);
    run.x.reserve(count);
    hb_position_t pen = 0;
    for (unsigned i = 0; i < count; ++i) {
        run.glyphs.push_back(
            static_cast<std::uint16_t>(infos[i].codepoint > 0xFFFF ? 0 : infos[i].codepoint));
        run.x.push_back((pen + positions[i].x_offset) * scale);
        pen += positions[i].x_advance;
    }
    std::vector<GlyphRun> runs;
    if (!run.glyphs.empty()) runs.push_back(std::move(run));
    return runs;
}

}  // namespace kestrum::platform
