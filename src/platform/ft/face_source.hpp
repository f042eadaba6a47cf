// One loaded font face (a file and a face index) with everything the text layer
// reads from it, and the process-wide registry that loads each face once.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "platform/ft/handles.hpp"

namespace kestrum::platform::ft {

struct FaceSource {
    std::string path;
    int index = 0;

    // Declared in dependency order: destroyed fonts first, the file bytes last.
    HbBlobPtr blob;  // the file's bytes, shared by FreeType and HarfBuzz
    FtFacePtr ft_face;
    HbFacePtr hb_face;
    HbFontPtr hb_font;  // scaled to units per em: HarfBuzz answers in font units

    double units_per_em = 1000;
    std::string family;
    std::string postscript_name;
    std::string full_name;
    int weight = FC_WEIGHT_REGULAR;  // fontconfig scales
    int slant = FC_SLANT_ROMAN;
    int width = FC_WIDTH_NORMAL;
    std::uint32_t traits = 0;
    // Glyphs come from scalable outlines; otherwise from bitmaps (colour or strikes).
    bool outline_glyphs = true;

    // Vertical metrics in font units, y-up.
    double ascender = 0;
    double descender = 0;
    double line_gap = 0;
    double underline_position = 0;
    double underline_thickness = 0;
    double x_height = 0;

    // The bitmap glyph FreeType's glyph slot holds, so that measuring a glyph and
    // then drawing it decodes its bitmap once. -1: none.
    long slot_bitmap_glyph = -1;
    double slot_bitmap_size = 0;

    // Fallback faces already chosen, per text; nullptr records "this face".
    std::unordered_map<std::u16string, FaceSource*> fallbacks;
};

// The face at `index` of the font file at `path`, loaded on first use and kept for
// the life of the process. Null when the file cannot be read as a font.
FaceSource* load_face(const std::string& path, int index);
// The same for a fontconfig font pattern (its file and index).
FaceSource* load_face(const FcPattern* font);

// The process's font configuration (the current one, which holds this process's
// registered fonts).
FcConfig* font_config();
FT_Library ft_library();

}  // namespace kestrum::platform::ft
