#include "app/paste.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fmt/format.h>

namespace kestrum_app {

namespace {

std::atomic<bool> g_created{false};  // this process made the paste folder

bool safe_char(unsigned char c) {
    static constexpr std::string_view kSafe = "-_./~=:@%+,";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           kSafe.find(static_cast<char>(c)) != std::string_view::npos;
}

// A directory owned by us that nobody else may enter, seen without following links.
bool private_directory(const std::filesystem::path& dir) {
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

}  // namespace

std::string shell_quote_path(std::string_view path) {
    bool plain = !path.empty();
    for (unsigned char c : path)
        plain = plain && safe_char(c);
    if (plain) return std::string(path);
    std::string out = "'";
    for (char c : path) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    out += '\'';
    return out;
}

std::filesystem::path paste_dir() {
    const char* base = std::getenv("TMPDIR");
    if (!base || !*base) base = std::getenv("XDG_RUNTIME_DIR");
    if (!base || !*base) base = "/tmp";
    return std::filesystem::path(base) / fmt::format("kestrum-paste-{}", ::getpid());
}

kestrum::core::Result<std::filesystem::path> ensure_paste_dir() {
    std::filesystem::path dir = paste_dir();
    if (::mkdir(dir.c_str(), 0700) == 0) {
        g_created = true;
        return dir;
    }
    if (errno != EEXIST)
        return kestrum::core::fail(
            fmt::format("could not create {}: {}", dir.string(), std::strerror(errno)));
    if (!private_directory(dir))
        return kestrum::core::fail(
            fmt::format("{} exists but is not a private directory of this user; refusing to use it",
                        dir.string()));
    return dir;
}

void remove_paste_dir() {
    if (!g_created) return;
    std::filesystem::path dir = paste_dir();
    if (!private_directory(dir)) return;
    std::error_code ignored;
    // remove_all removes links themselves, never what they point to.
    std::filesystem::remove_all(dir, ignored);
    g_created = false;
}

}  // namespace kestrum_app
