// Face lookup through fontconfig: by name, by style within a family, by coverage
// of a text (fallback), and registration of font files for this process.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <tuple>

#include "platform/ft/face_source.hpp"
#include "platform/text.hpp"

namespace kestrum::platform {

namespace {

using ft::FaceSource;
using ft::FcCharSetPtr;
using ft::FcFontSetPtr;
using ft::FcObjectSetPtr;
using ft::FcPatternPtr;

const FcChar8* fc_string(const std::string& s) {
    return reinterpret_cast<const FcChar8*>(s.c_str());
}

bool valid_size(double size) {
    return std::isfinite(size) && size > 0 && size <= FontFace::kMaxSize;
}

FcFontSetPtr list_fonts(const char* object, const std::string& value) {
    FcPatternPtr pattern(FcPatternCreate());
    if (!pattern) return nullptr;
    FcPatternAddString(pattern.get(), object, fc_string(value));
    FcObjectSetPtr objects(
        FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FAMILY, FC_WEIGHT, FC_SLANT, FC_WIDTH, nullptr));
    if (!objects) return nullptr;
    return FcFontSetPtr(FcFontList(ft::font_config(), pattern.get(), objects.get()));
}

// The first loadable face of a listing, taken in file order so the choice does not
// depend on the order fontconfig scanned its folders in.
FaceSource* first_loadable(FcFontSet* set) {
    if (set == nullptr) return nullptr;
    std::vector<std::pair<std::string, int>> files;
    for (int i = 0; i < set->nfont; ++i) {
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
        FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
        files.emplace_back(reinterpret_cast<const char*>(file), index);
    }
    std::sort(files.begin(), files.end());
    for (const auto& [file, index] : files) {
        if (FaceSource* source = ft::load_face(file, index)) return source;
    }
    return nullptr;
}

// The generic families the font configuration maps to installed faces.
constexpr std::array<std::string_view, 8> kGenericFamilies = {
    "monospace", "sans-serif", "serif", "system-ui", "emoji", "math", "cursive", "fantasy",
};

bool is_generic_family(std::string_view name) {
    return std::any_of(kGenericFamilies.begin(), kGenericFamilies.end(), [&](std::string_view g) {
        return g.size() == name.size() &&
               std::equal(g.begin(), g.end(), name.begin(), [](char a, char b) {
                   if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
                   return a == b;
               });
    });
}

// Decodes UTF-16; an unpaired surrogate yields nullopt.
std::optional<std::vector<char32_t>> decode_utf16(std::u16string_view text) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                return std::nullopt;
            }
            out.push_back(0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return std::nullopt;
        } else {
            out.push_back(u);
        }
    }
    return out;
}

bool covers(const FaceSource& source, const std::vector<char32_t>& characters) {
    return std::all_of(characters.begin(), characters.end(), [&](char32_t c) {
        hb_codepoint_t glyph = 0;
        return hb_font_get_nominal_glyph(source.hb_font.get(), c, &glyph) && glyph != 0;
    });
}

// Pictographs that show as colour emoji by default (and the emoji presentation
// selector) should come from a colour face when one covers them, even if a
// monochrome face in a closer family has them too.
bool prefers_colour(const std::vector<char32_t>& characters) {
    return std::any_of(characters.begin(), characters.end(),
                       [](char32_t c) { return (c >= 0x1F000 && c <= 0x1FAFF) || c == 0xFE0F; });
}

FaceSource* find_fallback(const FaceSource& source, const std::vector<char32_t>& characters) {
    FcCharSetPtr wanted(FcCharSetCreate());
    FcPatternPtr pattern(FcPatternCreate());
    if (!wanted || !pattern) return nullptr;
    for (char32_t c : characters)
        FcCharSetAddChar(wanted.get(), c);
    FcPatternAddString(pattern.get(), FC_FAMILY, fc_string(source.family));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, source.weight);
    FcPatternAddInteger(pattern.get(), FC_SLANT, source.slant);
    FcPatternAddInteger(pattern.get(), FC_WIDTH, source.width);
    FcPatternAddCharSet(pattern.get(), FC_CHARSET, wanted.get());
    FcConfigSubstitute(ft::font_config(), pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    FcFontSetPtr sorted(FcFontSort(ft::font_config(), pattern.get(), FcTrue, nullptr, &result));
    if (!sorted) return nullptr;
    // First pass colour faces only when the text asks for them; the second takes any.
    for (bool colour_only : {prefers_colour(characters), false}) {
        for (int i = 0; i < sorted->nfont; ++i) {
            FcPattern* font = sorted->fonts[i];
            FcCharSet* has = nullptr;
            FcBool colour = FcFalse;
            if (colour_only &&
                (FcPatternGetBool(font, FC_COLOR, 0, &colour) != FcResultMatch || !colour)) {
                continue;
            }
            if (FcPatternGetCharSet(font, FC_CHARSET, 0, &has) != FcResultMatch ||
                !FcCharSetIsSubset(wanted.get(), has)) {
                continue;
            }
            FaceSource* candidate = ft::load_face(font);
            // fontconfig's coverage can differ from the cmap's; the cmap decides.
            if (candidate != nullptr && covers(*candidate, characters)) return candidate;
        }
        if (!colour_only) break;
    }
    return nullptr;
}

}  // namespace

std::optional<FontFace> FontFace::create_with_name(std::string_view name, double size) {
    if (name.empty() || !valid_size(size)) return std::nullopt;
    const std::string n(name);
    // Exact face names first: a PostScript or full name picks that very face.
    for (const char* object : {FC_POSTSCRIPT_NAME, FC_FULLNAME}) {
        FcFontSetPtr listed = list_fonts(object, n);
        if (FaceSource* source = first_loadable(listed.get())) return FontFace(source, size);
    }
    // Then a family's regular face, or whatever the configuration substitutes.
    FcPatternPtr pattern(FcPatternCreate());
    if (!pattern) return std::nullopt;
    FcPatternAddString(pattern.get(), FC_FAMILY, fc_string(n));
    FcConfigSubstitute(ft::font_config(), pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    FcPatternPtr match(FcFontMatch(ft::font_config(), pattern.get(), &result));
    if (!match) return std::nullopt;
    FaceSource* source = ft::load_face(match.get());
    if (source == nullptr) return std::nullopt;
    return FontFace(source, size);
}

bool FontFace::name_has_installed_match(std::string_view name) {
    if (name.empty()) return false;
    if (is_generic_family(name)) return true;
    const std::string n(name);
    for (const char* object : {FC_POSTSCRIPT_NAME, FC_FULLNAME, FC_FAMILY}) {
        FcFontSetPtr listed = list_fonts(object, n);
        if (listed && listed->nfont > 0) return true;
    }
    return false;
}

std::optional<FontFace> FontFace::copy_with_symbolic_traits(std::uint32_t value,
                                                            std::uint32_t mask) const {
    constexpr std::uint32_t kStyle = kTraitBold | kTraitItalic;
    const std::uint32_t current = source_->traits & kStyle;
    const std::uint32_t wanted = ((current & ~mask) | (value & mask)) & kStyle;
    if (wanted == current) return *this;
    const bool bold = (wanted & kTraitBold) != 0;
    const bool italic = (wanted & kTraitItalic) != 0;
    const int target_weight = bold ? ((current & kTraitBold) ? source_->weight : FC_WEIGHT_BOLD)
                                   : ((current & kTraitBold) ? FC_WEIGHT_REGULAR : source_->weight);

    FcFontSetPtr listed = list_fonts(FC_FAMILY, source_->family);
    if (!listed) return std::nullopt;
    // Rank: same width first, then the nearest weight, then true italics over obliques.
    using Rank = std::tuple<int, int, int, std::string, int>;
    std::optional<Rank> best_rank;
    FcPattern* best = nullptr;
    for (int i = 0; i < listed->nfont; ++i) {
        FcPattern* p = listed->fonts[i];
        int weight = 0;
        int slant = 0;
        int width = FC_WIDTH_NORMAL;
        FcChar8* file = nullptr;
        int index = 0;
        // Variable-font entries carry ranges, not values: their named instances are listed too.
        if (FcPatternGetInteger(p, FC_WEIGHT, 0, &weight) != FcResultMatch ||
            FcPatternGetInteger(p, FC_SLANT, 0, &slant) != FcResultMatch ||
            FcPatternGetString(p, FC_FILE, 0, &file) != FcResultMatch) {
            continue;
        }
        FcPatternGetInteger(p, FC_WIDTH, 0, &width);
        FcPatternGetInteger(p, FC_INDEX, 0, &index);
        if ((weight >= FC_WEIGHT_BOLD) != bold || (slant != FC_SLANT_ROMAN) != italic) continue;
        bool same_family = false;
        FcChar8* family = nullptr;
        for (int f = 0; FcPatternGetString(p, FC_FAMILY, f, &family) == FcResultMatch; ++f) {
            same_family =
                same_family || FcStrCmpIgnoreCase(family, fc_string(source_->family)) == 0;
        }
        if (!same_family) continue;
        Rank rank{width == source_->width ? 0 : 1, std::abs(weight - target_weight),
                  slant == FC_SLANT_OBLIQUE ? 1 : 0, reinterpret_cast<char*>(file), index};
        if (!best_rank || rank < *best_rank) {
            best_rank = rank;
            best = p;
        }
    }
    if (best == nullptr) return std::nullopt;
    FaceSource* source = ft::load_face(best);
    if (source == nullptr) return std::nullopt;
    return FontFace(source, size_);
}

FontFace FontFace::create_for_string(std::u16string_view text) const {
    std::u16string key(text);
    if (auto it = source_->fallbacks.find(key); it != source_->fallbacks.end()) {
        return it->second ? FontFace(it->second, size_) : *this;
    }
    FaceSource* chosen = nullptr;
    auto characters = decode_utf16(text);
    if (characters && !characters->empty() && !covers(*source_, *characters)) {
        chosen = find_fallback(*source_, *characters);
        if (chosen == source_) chosen = nullptr;
    }
    source_->fallbacks.emplace(std::move(key), chosen);
    return chosen ? FontFace(chosen, size_) : *this;
}

bool register_font_file(const std::string& path) {
    return FcConfigAppFontAddFile(ft::font_config(), fc_string(path)) == FcTrue;
}

}  // namespace kestrum::platform
