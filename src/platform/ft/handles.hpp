// Owning handles for FreeType, fontconfig and HarfBuzz objects: each releases its
// object with the library's own destroy call.
#pragma once

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>

#include <memory>

namespace kestrum::platform::ft {

template <auto Destroy>
struct Deleter {
    template <typename T>
    void operator()(T* object) const {
        Destroy(object);
    }
};

struct FtLibraryDeleter {
    void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FtFaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};

using FtLibraryPtr = std::unique_ptr<FT_LibraryRec_, FtLibraryDeleter>;
using FtFacePtr = std::unique_ptr<FT_FaceRec_, FtFaceDeleter>;

using FcConfigPtr = std::unique_ptr<FcConfig, Deleter<FcConfigDestroy>>;
using FcPatternPtr = std::unique_ptr<FcPattern, Deleter<FcPatternDestroy>>;
using FcFontSetPtr = std::unique_ptr<FcFontSet, Deleter<FcFontSetDestroy>>;
using FcObjectSetPtr = std::unique_ptr<FcObjectSet, Deleter<FcObjectSetDestroy>>;
using FcCharSetPtr = std::unique_ptr<FcCharSet, Deleter<FcCharSetDestroy>>;

using HbBlobPtr = std::unique_ptr<hb_blob_t, Deleter<hb_blob_destroy>>;
using HbFacePtr = std::unique_ptr<hb_face_t, Deleter<hb_face_destroy>>;
using HbFontPtr = std::unique_ptr<hb_font_t, Deleter<hb_font_destroy>>;
using HbBufferPtr = std::unique_ptr<hb_buffer_t, Deleter<hb_buffer_destroy>>;

}  // namespace kestrum::platform::ft
