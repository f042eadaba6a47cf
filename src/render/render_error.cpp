#include "render/render_error.hpp"

namespace kestrum_render {

namespace {

const char* kind_name(RenderError::Kind kind) {
    switch (kind) {
        case RenderError::Kind::CompileShaders:
            return "CompileShaders";
        case RenderError::Kind::MissingFunction:
            return "MissingFunction";
        case RenderError::Kind::Pipeline:
            return "Pipeline";
        case RenderError::Kind::CommandQueue:
            return "CommandQueue";
        case RenderError::Kind::Atlas:
            return "Atlas";
        case RenderError::Kind::Font:
            return "Font";
        case RenderError::Kind::Sampler:
            return "Sampler";
    }
    return "Unknown";
}

bool has_detail(RenderError::Kind kind) {
    return kind == RenderError::Kind::CompileShaders ||
           kind == RenderError::Kind::MissingFunction || kind == RenderError::Kind::Pipeline ||
           kind == RenderError::Kind::Font;
}

}  // namespace

std::string RenderError::display() const {
    switch (kind) {
        case Kind::CompileShaders:
            return fmt::format("failed to compile the Metal shader library: {}", detail);
        case Kind::MissingFunction:
            return fmt::format("shader function '{}' is missing from the compiled library", detail);
        case Kind::Pipeline:
            return fmt::format("failed to create a render pipeline state: {}", detail);
        case Kind::CommandQueue:
            return "the GPU has no command queue available";
        case Kind::Atlas:
            return "failed to create the glyph atlas texture";
        case Kind::Font:
            return fmt::format("font '{}' could not be loaded", detail);
        case Kind::Sampler:
            return "failed to create the glyph sampler";
    }
    return "unknown render error";
}

std::string RenderError::diagnostic() const {
    if (!has_detail(kind)) return kind_name(kind);
    return fmt::format("{}({:?})", kind_name(kind), detail);
}

}  // namespace kestrum_render
