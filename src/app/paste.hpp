// The shell-quoting of paths and the per-process folder for pasted images.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/error.hpp"

namespace kestrum_app {

// A path as one word for a POSIX shell: unchanged when it only holds safe
// characters, else in apostrophes.
std::string shell_quote_path(std::string_view path);

// $TMPDIR, else $XDG_RUNTIME_DIR, else /tmp, joined with "kestrum-paste-<pid>".
std::filesystem::path paste_dir();

// The paste folder, created (mode 0700) on first use. One that exists but is not
// a directory of this user's, private to them, is refused: a shared temporary
// directory must not let others read or plant pasted images.
kestrum::core::Result<std::filesystem::path> ensure_paste_dir();

// Removes the paste folder with everything in it, only when this process created
// it, never following a link. Errors are ignored.
void remove_paste_dir();

}  // namespace kestrum_app
