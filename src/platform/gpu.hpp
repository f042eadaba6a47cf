// The GPU objects the renderer draws with, shaped after Metal's: a device, command
// queues and buffers, render encoders, a library compiled from one source text,
// pipelines, textures, buffers, samplers, and a layer handing out drawables.
//
// Conventions kept from Metal so the renderer computes as it would there: pixel rows
// run top-down in every texture and render target (row 0 is the top), scissor rects
// have their origin at the top-left, pixel formats and blend values carry Metal's
// numbers. Everything runs on the thread that owns the device's GL context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"

namespace kestrum::platform {

namespace detail {
struct GlState;
struct LayerState;
}  // namespace detail

enum class PixelFormat : std::uint32_t {
    Invalid = 0,
    R8Unorm = 10,
    RGBA8Unorm = 70,
    BGRA8Unorm = 80,
};

// Bytes per pixel of a supported format, 0 for Invalid.
std::uint32_t bytes_per_pixel(PixelFormat format);

enum class BlendFactor : std::uint32_t {
    Zero = 0,
    One = 1,
    SourceColor = 2,
    OneMinusSourceColor = 3,
    SourceAlpha = 4,
    OneMinusSourceAlpha = 5,
    DestinationColor = 6,
    OneMinusDestinationColor = 7,
    DestinationAlpha = 8,
    OneMinusDestinationAlpha = 9,
};

enum class BlendOperation : std::uint32_t {
    Add = 0,
    Subtract = 1,
    ReverseSubtract = 2,
    Min = 3,
    Max = 4,
};

enum class LoadAction : std::uint32_t { DontCare = 0, Load = 1, Clear = 2 };
enum class StoreAction : std::uint32_t { DontCare = 0, Store = 1 };
enum class PrimitiveType : std::uint32_t { Point = 0, Line = 1, LineStrip = 2, Triangle = 3 };
enum class SamplerMinMagFilter : std::uint32_t { Nearest = 0, Linear = 1 };
enum class FunctionType { Vertex, Fragment };

// A 2-D region of a texture in pixels, origin at the top-left.
struct Region {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct ScissorRect {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct ClearColor {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 1.0;
};

struct Size {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(Size, Size) = default;
};

struct TextureDescriptor {
    PixelFormat pixel_format = PixelFormat::Invalid;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct SamplerDescriptor {
    SamplerMinMagFilter min_filter = SamplerMinMagFilter::Nearest;
    SamplerMinMagFilter mag_filter = SamplerMinMagFilter::Nearest;
};

class Function;

// Colour attachment 0 of a pipeline; the defaults are Metal's (blending off, One/Zero/Add).
struct ColorAttachmentDescriptor {
    PixelFormat pixel_format = PixelFormat::Invalid;
    bool blending_enabled = false;
    BlendFactor source_rgb_blend_factor = BlendFactor::One;
    BlendFactor destination_rgb_blend_factor = BlendFactor::Zero;
    BlendOperation rgb_blend_operation = BlendOperation::Add;
    BlendFactor source_alpha_blend_factor = BlendFactor::One;
    BlendFactor destination_alpha_blend_factor = BlendFactor::Zero;
    BlendOperation alpha_blend_operation = BlendOperation::Add;
};

struct RenderPipelineDescriptor {
    std::shared_ptr<const Function> vertex_function;
    std::shared_ptr<const Function> fragment_function;
    ColorAttachmentDescriptor color_attachment;
};

class Texture {
  public:
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    PixelFormat pixel_format() const { return format_; }
    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }

    // Copies `region` from `bytes`, whose rows are `bytes_per_row` apart, top row first.
    // A region outside the texture or a row pitch shorter than a row is refused with
    // a log line and uploads nothing.
    void replace_region(Region region, const void* bytes, std::size_t bytes_per_row);
    // Reads `region` back into `out`, rows `bytes_per_row` apart, top row first. Same
    // refusals as replace_region (nothing is written to `out`).
    void get_bytes(void* out, std::size_t bytes_per_row, Region region) const;

    // The GL texture name, for the window's blit of presented drawables.
    unsigned native_handle() const { return name_; }

  private:
    friend class Device;
    Texture(std::shared_ptr<detail::GlState> gl, unsigned name, PixelFormat format,
            std::uint32_t width, std::uint32_t height);
    bool region_fits(Region region, std::size_t bytes_per_row, const char* what) const;

    std::shared_ptr<detail::GlState> gl_;
    unsigned name_ = 0;
    PixelFormat format_ = PixelFormat::Invalid;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
};

class Buffer {
  public:
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    std::size_t length() const { return length_; }
    unsigned native_handle() const { return name_; }

  private:
    friend class Device;
    Buffer(std::shared_ptr<detail::GlState> gl, unsigned name, std::size_t length);

    std::shared_ptr<detail::GlState> gl_;
    unsigned name_ = 0;
    std::size_t length_ = 0;
};

class SamplerState {
  public:
    ~SamplerState();
    SamplerState(const SamplerState&) = delete;
    SamplerState& operator=(const SamplerState&) = delete;
    unsigned native_handle() const { return name_; }

  private:
    friend class Device;
    SamplerState(std::shared_ptr<detail::GlState> gl, unsigned name);

    std::shared_ptr<detail::GlState> gl_;
    unsigned name_ = 0;
};

// One entry point of a library: its name and stage, with the library's source.
class Function {
  public:
    const std::string& name() const { return name_; }
    FunctionType function_type() const { return type_; }
    const std::string& source() const { return *source_; }

  private:
    friend class Library;
    Function(std::shared_ptr<const std::string> source, std::string name, FunctionType type)
        : source_(std::move(source)), name_(std::move(name)), type_(type) {}

    std::shared_ptr<const std::string> source_;
    std::string name_;
    FunctionType type_;
};

// A shader library compiled from one GLSL source. The source declares each entry
// point on a line of its own, `#pragma entry vertex NAME` or `#pragma entry fragment
// NAME`, next to a `void NAME()` function; stage-only code sits under `#ifdef
// KESTRUM_VERTEX` or `#ifdef KESTRUM_FRAGMENT`. Resources are found by name:
// the uniform block `VertexBytes0` (vertex bytes at index 0), `samplerBuffer
// vertex_buffer1` with `int vertex_buffer1_base` (the vertex buffer at index 1, read as
// float4 texels), `sampler2D fragment_texture0` (fragment texture and sampler 0), and
// the output `fragment_color`.
class Library {
  public:
    // The named entry point, or null when the source declares none by that name.
    std::shared_ptr<const Function> new_function_with_name(std::string_view name) const;
    std::vector<std::string> function_names() const;

  private:
    friend class Device;
    struct Entry {
        std::string name;
        FunctionType type;
    };
    Library(std::shared_ptr<const std::string> source, std::vector<Entry> entries)
        : source_(std::move(source)), entries_(std::move(entries)) {}

    std::shared_ptr<const std::string> source_;
    std::vector<Entry> entries_;
};

class RenderPipelineState {
  public:
    ~RenderPipelineState();
    RenderPipelineState(const RenderPipelineState&) = delete;
    RenderPipelineState& operator=(const RenderPipelineState&) = delete;

    PixelFormat pixel_format() const { return attachment_.pixel_format; }

  private:
    friend class Device;
    friend class RenderCommandEncoder;
    RenderPipelineState(std::shared_ptr<detail::GlState> gl, unsigned program,
                        ColorAttachmentDescriptor attachment, int buffer1_base_location);

    std::shared_ptr<detail::GlState> gl_;
    unsigned program_ = 0;
    ColorAttachmentDescriptor attachment_;
    int buffer1_base_location_ = -1;
};

struct RenderPassColorAttachment {
    std::shared_ptr<Texture> texture;
    LoadAction load_action = LoadAction::DontCare;
    StoreAction store_action = StoreAction::Store;
    ClearColor clear_color;
};

struct RenderPassDescriptor {
    RenderPassColorAttachment color_attachment;
};

// Records draws into one render target. GL runs them as they are issued, so every
// draw binds all the state it uses: the encoder is robust to other GL users in between.
class RenderCommandEncoder {
  public:
    RenderCommandEncoder(const RenderCommandEncoder&) = delete;
    RenderCommandEncoder& operator=(const RenderCommandEncoder&) = delete;
    ~RenderCommandEncoder();

    void set_render_pipeline_state(std::shared_ptr<const RenderPipelineState> pipeline);
    // Up to 4 KiB copied into the `VertexBytes0` uniform block; only index 0 exists.
    void set_vertex_bytes(const void* bytes, std::size_t length, std::uint32_t index);
    // The offset must be a multiple of 16 (one float4); only index 1 exists.
    void set_vertex_buffer(std::shared_ptr<const Buffer> buffer, std::size_t offset,
                           std::uint32_t index);
    void set_fragment_texture(std::shared_ptr<const Texture> texture, std::uint32_t index);
    void set_fragment_sampler_state(std::shared_ptr<const SamplerState> sampler,
                                    std::uint32_t index);
    // Clipped to the render target; a rect with no area inside it draws nothing.
    void set_scissor_rect(ScissorRect rect);
    void draw_primitives(PrimitiveType type, std::uint32_t vertex_start, std::uint32_t vertex_count,
                         std::uint32_t instance_count);
    void end_encoding();

  private:
    friend class CommandBuffer;
    RenderCommandEncoder(std::shared_ptr<detail::GlState> gl, std::shared_ptr<Texture> target);
    bool usable(const char* what) const;

    std::shared_ptr<detail::GlState> gl_;
    std::shared_ptr<Texture> target_;
    std::shared_ptr<const RenderPipelineState> pipeline_;
    std::shared_ptr<const Buffer> buffer1_;
    std::size_t buffer1_offset_ = 0;
    std::shared_ptr<const Texture> texture0_;
    std::shared_ptr<const SamplerState> sampler0_;
    std::vector<std::byte> vertex_bytes_;
    ScissorRect scissor_;
    bool ended_ = false;
};

class Drawable;

class CommandBuffer {
  public:
    // Null when the pass has no texture.
    std::shared_ptr<RenderCommandEncoder> new_render_command_encoder(
        const RenderPassDescriptor& pass);
    // Presents the drawable when the buffer is committed.
    void present_drawable(std::shared_ptr<Drawable> drawable);
    void commit();
    void wait_until_scheduled();
    void wait_until_completed();

  private:
    friend class CommandQueue;
    explicit CommandBuffer(std::shared_ptr<detail::GlState> gl) : gl_(std::move(gl)) {}

    std::shared_ptr<detail::GlState> gl_;
    std::vector<std::shared_ptr<Drawable>> to_present_;
    bool committed_ = false;
};

class CommandQueue {
  public:
    std::shared_ptr<CommandBuffer> new_command_buffer();

  private:
    friend class Device;
    explicit CommandQueue(std::shared_ptr<detail::GlState> gl) : gl_(std::move(gl)) {}
    std::shared_ptr<detail::GlState> gl_;
};

class Device {
  public:
    // Wraps the GL context current on this thread (OpenGL 3.3 core or later).
    // `owner` keeps that context alive for as long as any object made here lives;
    // `make_current`, when given, makes it current again (see make_current()).
    static core::Result<std::shared_ptr<Device>> from_current_context(
        std::shared_ptr<void> owner, std::function<void()> make_current);

    // The GL renderer string.
    const std::string& name() const;
    bool is_low_power() const { return false; }
    bool is_removable() const { return false; }
    // Largest texture side the device accepts.
    std::uint32_t max_texture_side() const;
    // Makes the device's context current; a caller that shares the thread with other
    // GL users calls it before using the objects.
    void make_current() const;

    std::shared_ptr<CommandQueue> new_command_queue();
    // Reads the entry points and compiles the source for both stages; a compile
    // error carries the compiler's log.
    core::Result<std::shared_ptr<Library>> new_library_with_source(std::string_view source);
    core::Result<std::shared_ptr<RenderPipelineState>> new_render_pipeline_state(
        const RenderPipelineDescriptor& descriptor);
    // Null for an invalid format, a zero or too large side, or when GL is out of memory.
    std::shared_ptr<Texture> new_texture(const TextureDescriptor& descriptor);
    // Null for zero length or when GL is out of memory.
    std::shared_ptr<Buffer> new_buffer_with_bytes(const void* bytes, std::size_t length);
    std::shared_ptr<SamplerState> new_sampler_state(const SamplerDescriptor& descriptor);

  private:
    explicit Device(std::shared_ptr<detail::GlState> gl) : gl_(std::move(gl)) {}
    std::shared_ptr<detail::GlState> gl_;
};

// What a layer hands out each frame: one of its textures, to draw into and present.
class Drawable {
  public:
    const std::shared_ptr<Texture>& texture() const { return texture_; }
    // Makes this drawable's texture the one the window shows. Presenting after the
    // layer is gone does nothing.
    void present();

  private:
    friend class Layer;
    Drawable(std::weak_ptr<detail::LayerState> layer, std::shared_ptr<Texture> texture)
        : layer_(std::move(layer)), texture_(std::move(texture)) {}

    std::weak_ptr<detail::LayerState> layer_;
    std::shared_ptr<Texture> texture_;
};

// A swap chain of off-screen textures. The window shows `presented_texture()`: it
// learns of each present through the present callback.
class Layer {
  public:
    Layer(std::shared_ptr<Device> device, PixelFormat pixel_format);
    ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    PixelFormat pixel_format() const;
    void set_drawable_size(Size size);
    Size drawable_size() const;
    void set_presents_with_transaction(bool value);
    bool presents_with_transaction() const;
    // A drawable of the current size, or null when the size is zero, the device
    // cannot make the texture, or all three drawables are still held.
    std::shared_ptr<Drawable> next_drawable();
    // The newest presented texture, null before the first present.
    std::shared_ptr<Texture> presented_texture() const;
    // Called after every present (the window schedules a repaint from it).
    void set_present_callback(std::function<void()> callback);

  private:
    std::shared_ptr<Device> device_;
    std::shared_ptr<detail::LayerState> state_;
};

}  // namespace kestrum::platform
