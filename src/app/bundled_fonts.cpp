#include "app/bundled_fonts.hpp"

#include <system_error>

#include "core/log.hpp"
#include "platform/text.hpp"

namespace kestrum_app {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFontsTarget = "kestrum_render::fonts";
constexpr const char* kAppTarget = "kestrum_app";

// Follows symbolic links: a dangling link counts as missing.
bool file_exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

std::optional<fs::path> executable_dir() {
    std::error_code error;
    fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (error || !exe.has_parent_path()) return std::nullopt;
    return exe.parent_path();
}

std::optional<fs::path> current_dir() {
    std::error_code error;
    fs::path cwd = fs::current_path(error);
    if (error) return std::nullopt;
    return cwd;
}

}  // namespace

std::vector<fs::path> bundled_font_candidates(const std::optional<fs::path>& executable_dir,
                                              const std::optional<fs::path>& current_dir,
                                              const fs::path& source_dir) {
    const fs::path folder(kBundledFontFolder);
    std::vector<fs::path> candidates;
    if (executable_dir) {
        candidates.push_back(*executable_dir / folder);
        candidates.push_back(*executable_dir / "../Resources" / folder);
        candidates.push_back(*executable_dir / "../Resources/fonts" / folder);
    }
    if (current_dir) candidates.push_back(*current_dir / "assets/fonts" / folder);
    candidates.push_back(source_dir / "assets/fonts" / folder);
    return candidates;
}

std::optional<fs::path> register_bundled_fonts_from(std::span<const fs::path> candidates,
                                                    FontFileRegistrar registrar) {
    for (const fs::path& folder : candidates) {
        bool complete = true;
        for (std::string_view file : kBundledFontFiles)
            complete = complete && file_exists(folder / file);
        if (!complete) continue;

        int registered = 0;
        for (std::string_view file : kBundledFontFiles) {
            const fs::path path = folder / file;
            if (!file_exists(path)) {
                KLOG_WARN(kFontsTarget, "font file not found: {}", path.string());
                continue;
            }
            if (registrar(path.string())) {
                ++registered;
                KLOG_DEBUG(kFontsTarget, "registered font {}", path.string());
            } else {
                KLOG_DEBUG(kFontsTarget, "CTFontManagerRegisterFontsForURL returned false for {}",
                           path.string());
            }
        }
        KLOG_DEBUG(kAppTarget, "registered {} bundled font(s) from {}", registered,
                   folder.string());
        // A partial registration still ends the search: later copies are not better.
        return folder;
    }
    KLOG_WARN(kAppTarget, "bundled CommitMono fonts not found; falling back to a system font");
    return std::nullopt;
}

void register_bundled_fonts() {
    const auto candidates =
        bundled_font_candidates(executable_dir(), current_dir(), KESTRUM_SOURCE_DIR);
    register_bundled_fonts_from(candidates, &kestrum::platform::register_font_file);
}

}  // namespace kestrum_app
