// The Commit Mono faces shipped with Kestrum, made available to this process at
// start-up so the default font family resolves without an installed copy.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum_app {

inline constexpr std::string_view kBundledFontFolder = "CommitMonoV143";
// Registered in this order.
inline constexpr std::array<std::string_view, 4> kBundledFontFiles = {
    "CommitMono-400-Regular.otf",
    "CommitMono-400-Italic.otf",
    "CommitMono-700-Regular.otf",
    "CommitMono-700-Italic.otf",
};

// The folders searched, in order: beside the executable, in the application's
// resources (two layouts), under assets/fonts of the current directory, and in
// the source tree. Paths are joined, not normalised. The executable's candidates
// are left out without an executable folder, the current directory's without one.
std::vector<std::filesystem::path> bundled_font_candidates(
    const std::optional<std::filesystem::path>& executable_dir,
    const std::optional<std::filesystem::path>& current_dir,
    const std::filesystem::path& source_dir);

// Makes one font file available to this process; false when refused.
using FontFileRegistrar = bool (*)(const std::string& path);

// Registers the four faces from the first candidate that holds all of them,
// logging what it did; never fails. Returns that folder, or nothing when no
// candidate holds the four.
std::optional<std::filesystem::path> register_bundled_fonts_from(
    std::span<const std::filesystem::path> candidates, FontFileRegistrar registrar);

// The start-up entry: the candidates for this process, registered through the
// platform's font registration.
void register_bundled_fonts();

}  // namespace kestrum_app
