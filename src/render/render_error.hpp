// Why a renderer could not be built or its font replaced.
#pragma once

#include <fmt/format.h>

#include <string>

namespace kestrum_render {

struct RenderError {
    enum class Kind {
        CompileShaders,   // detail: the compiler's message
        MissingFunction,  // detail: the entry point's name
        Pipeline,         // detail: the device's message
        CommandQueue,
        Atlas,
        Font,  // detail: the requested family
        Sampler,
    };

    Kind kind;
    std::string detail;

    // The text shown to the user.
    std::string display() const;
    // The variant's name with its detail, for logs: Font("Name").
    std::string diagnostic() const;

    friend bool operator==(const RenderError&, const RenderError&) = default;
};

}  // namespace kestrum_render

template <>
struct fmt::formatter<kestrum_render::RenderError> : fmt::formatter<std::string> {
    template <typename Context>
    auto format(const kestrum_render::RenderError& e, Context& ctx) const {
        return fmt::formatter<std::string>::format(e.display(), ctx);
    }
};
