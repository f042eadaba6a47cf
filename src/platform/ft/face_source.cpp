#include "platform/ft/face_source.hpp"

#include <fontconfig/fcfreetype.h>
#include <hb-ot.h>

#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "core/log.hpp"
#include "platform/text.hpp"

namespace kestrum::platform::ft {

namespace {

constexpr const char* kTarget = "kestrum::platform::text";

struct Registry {
    // Declared so that faces go before the configuration and the library.
    std::mutex mutex;
    FtLibraryPtr library;
    FcConfigPtr config;
    std::map<std::pair<std::string, int>, std::unique_ptr<FaceSource>> faces;

    Registry() {
        FT_Library lib = nullptr;
        if (FT_Init_FreeType(&lib) == 0) library.reset(lib);
        // The current configuration, referenced so it outlives any reload elsewhere.
        config.reset(FcConfigReference(nullptr));
    }
};

Registry& registry() {
    static Registry r;
    return r;
}

std::string pattern_string(const FcPattern* p, const char* object) {
    FcChar8* value = nullptr;
    if (FcPatternGetString(p, object, 0, &value) != FcResultMatch || value == nullptr) return {};
    return reinterpret_cast<const char*>(value);
}

int pattern_int(const FcPattern* p, const char* object, int fallback) {
    int value = 0;
    return FcPatternGetInteger(p, object, 0, &value) == FcResultMatch ? value : fallback;
}

double metric(hb_font_t* font, hb_ot_metrics_tag_t tag) {
    hb_position_t value = 0;
    hb_ot_metrics_get_position_with_fallback(font, tag, &value);
    return value;
}

std::unique_ptr<FaceSource> open_face(FT_Library library, const std::string& path, int index) {
    auto source = std::make_unique<FaceSource>();
    source->path = path;
    source->index = index;

    source->blob.reset(hb_blob_create_from_file_or_fail(path.c_str()));
    if (!source->blob) return nullptr;
    unsigned length = 0;
    const char* data = hb_blob_get_data(source->blob.get(), &length);
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(data), length, index, &face) !=
        0) {
        return nullptr;
    }
    source->ft_face.reset(face);

    // The low 16 bits pick the face in a collection, the high ones a named instance.
    source->hb_face.reset(hb_face_create(source->blob.get(), index & 0xFFFF));
    source->hb_font.reset(hb_font_create(source->hb_face.get()));
    // FreeType reports no units per em for bitmap-only faces; HarfBuzz reads the head table.
    const int upem = static_cast<int>(hb_face_get_upem(source->hb_face.get()));
    if (upem <= 0) return nullptr;
    hb_font_set_scale(source->hb_font.get(), upem, upem);
    if ((index >> 16) > 0) hb_font_set_var_named_instance(source->hb_font.get(), (index >> 16) - 1);
    source->units_per_em = upem;

    FcPatternPtr query(FcFreeTypeQueryFace(face, reinterpret_cast<const FcChar8*>(path.c_str()),
                                           static_cast<unsigned>(index), nullptr));
    if (query) {
        source->family = pattern_string(query.get(), FC_FAMILY);
        source->postscript_name = pattern_string(query.get(), FC_POSTSCRIPT_NAME);
        source->full_name = pattern_string(query.get(), FC_FULLNAME);
        source->weight = pattern_int(query.get(), FC_WEIGHT, FC_WEIGHT_REGULAR);
        source->slant = pattern_int(query.get(), FC_SLANT, FC_SLANT_ROMAN);
        source->width = pattern_int(query.get(), FC_WIDTH, FC_WIDTH_NORMAL);
    }
    if (source->family.empty() && face->family_name != nullptr) source->family = face->family_name;
    if (source->postscript_name.empty()) {
        const char* ps = FT_Get_Postscript_Name(face);
        if (ps != nullptr) source->postscript_name = ps;
    }
    if (source->full_name.empty()) source->full_name = source->family;

    if (source->weight >= FC_WEIGHT_BOLD) source->traits |= kTraitBold;
    if (source->slant != FC_SLANT_ROMAN) source->traits |= kTraitItalic;
    if (FT_HAS_COLOR(face)) source->traits |= kTraitColorGlyphs;
    source->outline_glyphs = FT_IS_SCALABLE(face) && !FT_HAS_COLOR(face);

    hb_font_t* font = source->hb_font.get();
    source->ascender = metric(font, HB_OT_METRICS_TAG_HORIZONTAL_ASCENDER);
    source->descender = metric(font, HB_OT_METRICS_TAG_HORIZONTAL_DESCENDER);
    source->line_gap = metric(font, HB_OT_METRICS_TAG_HORIZONTAL_LINE_GAP);
    source->underline_position = metric(font, HB_OT_METRICS_TAG_UNDERLINE_OFFSET);
    source->underline_thickness = metric(font, HB_OT_METRICS_TAG_UNDERLINE_SIZE);
    source->x_height = metric(font, HB_OT_METRICS_TAG_X_HEIGHT);
    return source;
}

}  // namespace

FaceSource* load_face(const std::string& path, int index) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto key = std::make_pair(path, index);
    if (auto it = r.faces.find(key); it != r.faces.end()) return it->second.get();
    if (!r.library) return nullptr;
    auto source = open_face(r.library.get(), path, index);
    if (!source) {
        KLOG_DEBUG(kTarget, "cannot load face {} of font file {}", index, path);
        // Remembered, so a broken file is not read again on every lookup.
        r.faces.emplace(std::move(key), nullptr);
        return nullptr;
    }
    return r.faces.emplace(std::move(key), std::move(source)).first->second.get();
}

FaceSource* load_face(const FcPattern* font) {
    std::string path = pattern_string(font, FC_FILE);
    if (path.empty()) return nullptr;
    return load_face(path, pattern_int(font, FC_INDEX, 0));
}

FcConfig* font_config() {
    return registry().config.get();
}

FT_Library ft_library() {
    return registry().library.get();
}

}  // namespace kestrum::platform::ft

#if defined(__SANITIZE_ADDRESS__)
// fontconfig keeps its configuration and the fonts this process registers for the
// life of the process, reachable only through offsets the leak checker cannot
// follow: without this its allocations show up as leaks in every sanitizer run.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif
