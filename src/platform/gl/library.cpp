// Shader libraries and render pipelines. A library is one GLSL source with several
// entry points; a pipeline compiles that source once per stage with a `main` that
// calls the chosen entry point.
#include <cctype>
#include <string>
#include <vector>

#include "core/log.hpp"
#include "platform/gl/gl_state.hpp"
#include "platform/gpu.hpp"

namespace kestrum::platform {

using detail::kLogTarget;

namespace {

bool is_identifier(std::string_view s) {
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
    for (char c : s) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
            ++i;
        std::size_t j = i;
        while (j < line.size() && !std::isspace(static_cast<unsigned char>(line[j])))
            ++j;
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

// The source as one stage sees it. With an entry point the stage gets a `main`; the
// vertex main flips y so that window row 0, and with it texture row 0, is the top.
std::string stage_source(const std::string& source, FunctionType type, std::string_view entry) {
    std::string out = "#version 330 core\n";
    out += type == FunctionType::Vertex ? "#define KESTRUM_VERTEX 1\n"
                                        : "#define KESTRUM_FRAGMENT 1\n";
    out += "#line 1\n";
    out += source;
    if (!entry.empty()) {
        out += "\nvoid main() {\n    ";
        out += entry;
        out += type == FunctionType::Vertex ? "();\n    gl_Position.y = -gl_Position.y;\n}\n"
                                            : "();\n}\n";
    }
    return out;
}

std::string shader_log(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<std::size_t>(std::max(length, 1)), '\0');
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    while (!log.empty() && (log.back() == '\0' || log.back() == '\n'))
        log.pop_back();
    return log;
}

std::string program_log(GLuint program) {
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<std::size_t>(std::max(length, 1)), '\0');
    glGetProgramInfoLog(program, length, nullptr, log.data());
    while (!log.empty() && (log.back() == '\0' || log.back() == '\n'))
        log.pop_back();
    return log;
}

core::Result<GLuint> compile(const std::string& text, FunctionType type) {
    const GLuint shader =
        glCreateShader(type == FunctionType::Vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
    const char* ptr = text.c_str();
    glShaderSource(shader, 1, &ptr, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        std::string log = shader_log(shader);
        glDeleteShader(shader);
        return core::fail(
            fmt::format("{} stage: {}", type == FunctionType::Vertex ? "vertex" : "fragment", log));
    }
    return shader;
}

bool blend_valid(const ColorAttachmentDescriptor& a) {
    using detail::gl_blend_factor;
    using detail::gl_blend_operation;
    GLenum unused = 0;
    return gl_blend_factor(a.source_rgb_blend_factor, unused) &&
           gl_blend_factor(a.destination_rgb_blend_factor, unused) &&
           gl_blend_factor(a.source_alpha_blend_factor, unused) &&
           gl_blend_factor(a.destination_alpha_blend_factor, unused) &&
           gl_blend_operation(a.rgb_blend_operation, unused) &&
           gl_blend_operation(a.alpha_blend_operation, unused);
}

}  // namespace

core::Result<std::shared_ptr<Library>> Device::new_library_with_source(std::string_view text) {
    auto source = std::make_shared<const std::string>(text);
    std::vector<Library::Entry> entries;
    std::size_t line_no = 0;
    std::size_t start = 0;
    while (start <= source->size()) {
        std::size_t end = source->find('\n', start);
        if (end == std::string::npos) end = source->size();
        ++line_no;
        const auto w = words(std::string_view(*source).substr(start, end - start));
        if (w.size() >= 2 && w[0] == "#pragma" && w[1] == "entry") {
            if (w.size() != 4 || (w[2] != "vertex" && w[2] != "fragment") || !is_identifier(w[3])) {
                return core::fail(fmt::format(
                    "line {}: an entry point is declared as '#pragma entry vertex|fragment NAME'",
                    line_no));
            }
            for (const auto& e : entries) {
                if (e.name == w[3]) {
                    return core::fail(
                        fmt::format("line {}: entry point '{}' declared twice", line_no, w[3]));
                }
            }
            entries.push_back({std::string(w[3]),
                               w[2] == "vertex" ? FunctionType::Vertex : FunctionType::Fragment});
        }
        start = end + 1;
    }
    // Each stage compiles on its own first, so a library reports its errors up front.
    for (auto type : {FunctionType::Vertex, FunctionType::Fragment}) {
        auto shader = compile(stage_source(*source, type, {}), type);
        if (!shader) return std::unexpected(shader.error());
        glDeleteShader(*shader);
    }
    return std::shared_ptr<Library>(new Library(std::move(source), std::move(entries)));
}

std::shared_ptr<const Function> Library::new_function_with_name(std::string_view name) const {
    for (const auto& e : entries_) {
        if (e.name == name) {
            return std::shared_ptr<const Function>(new Function(source_, e.name, e.type));
        }
    }
    return nullptr;
}

std::vector<std::string> Library::function_names() const {
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (const auto& e : entries_)
        out.push_back(e.name);
    return out;
}

core::Result<std::shared_ptr<RenderPipelineState>> Device::new_render_pipeline_state(
    const RenderPipelineDescriptor& d) {
    if (!d.vertex_function || d.vertex_function->function_type() != FunctionType::Vertex) {
        return core::fail("the pipeline has no vertex function");
    }
    if (!d.fragment_function || d.fragment_function->function_type() != FunctionType::Fragment) {
        return core::fail("the pipeline has no fragment function");
    }
    detail::GlFormat unused{};
    if (!detail::gl_format(d.color_attachment.pixel_format, unused)) {
        return core::fail(fmt::format("unsupported colour attachment pixel format {}",
                                      static_cast<std::uint32_t>(d.color_attachment.pixel_format)));
    }
    if (d.color_attachment.blending_enabled && !blend_valid(d.color_attachment)) {
        return core::fail("unsupported blend factor or operation");
    }
    auto vs = compile(
        stage_source(d.vertex_function->source(), FunctionType::Vertex, d.vertex_function->name()),
        FunctionType::Vertex);
    if (!vs) return std::unexpected(vs.error());
    auto fs = compile(stage_source(d.fragment_function->source(), FunctionType::Fragment,
                                   d.fragment_function->name()),
                      FunctionType::Fragment);
    if (!fs) {
        glDeleteShader(*vs);
        return std::unexpected(fs.error());
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, *vs);
    glAttachShader(program, *fs);
    glBindFragDataLocation(program, 0, "fragment_color");
    glLinkProgram(program);
    glDetachShader(program, *vs);
    glDetachShader(program, *fs);
    glDeleteShader(*vs);
    glDeleteShader(*fs);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        std::string log = program_log(program);
        glDeleteProgram(program);
        return core::fail(fmt::format("linking {} with {}: {}", d.vertex_function->name(),
                                      d.fragment_function->name(), log));
    }
    const GLuint block = glGetUniformBlockIndex(program, "VertexBytes0");
    if (block != GL_INVALID_INDEX) glUniformBlockBinding(program, block, 0);
    glUseProgram(program);
    if (GLint loc = glGetUniformLocation(program, "vertex_buffer1"); loc >= 0) {
        glUniform1i(loc, static_cast<GLint>(detail::kBuffer1Unit));
    }
    if (GLint loc = glGetUniformLocation(program, "fragment_texture0"); loc >= 0) {
        glUniform1i(loc, static_cast<GLint>(detail::kFragmentTextureUnit));
    }
    const GLint base = glGetUniformLocation(program, "vertex_buffer1_base");
    glUseProgram(0);
    if (!detail::gl_ok("new_render_pipeline_state")) {
        glDeleteProgram(program);
        return core::fail("GL refused the pipeline's program");
    }
    return std::shared_ptr<RenderPipelineState>(
        new RenderPipelineState(gl_, program, d.color_attachment, base));
}

RenderPipelineState::RenderPipelineState(std::shared_ptr<detail::GlState> gl, unsigned program,
                                         ColorAttachmentDescriptor attachment,
                                         int buffer1_base_location)
    : gl_(std::move(gl)),
      program_(program),
      attachment_(attachment),
      buffer1_base_location_(buffer1_base_location) {}

RenderPipelineState::~RenderPipelineState() {
    glDeleteProgram(program_);
}

}  // namespace kestrum::platform
