// Finding and registering the bundled Commit Mono faces.
#include "app/bundled_fonts.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "core/log.hpp"
#include "platform/text.hpp"

namespace kestrum_app {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> g_registered;
bool g_accept = true;

bool record(const std::string& path) {
    g_registered.push_back(path);
    return g_accept;
}

class BundledFontsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static std::once_flag once;
        std::call_once(once, [] {
            kestrum::core::init_logging(kestrum::core::LogFilter::parse("debug"), kestrum::core::ColorMode::never);
        });
    }

    void SetUp() override {
        g_registered.clear();
        g_accept = true;
        char name[] = "/tmp/kestrum-fonts-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
    }
    void TearDown() override { fs::remove_all(root_); }

    // A folder holding the named face files (empty files: the registrar is fake).
    fs::path folder(const fs::path& relative, std::size_t files = 4) {
        const fs::path dir = root_ / relative;
        fs::create_directories(dir);
        for (std::size_t i = 0; i < files; ++i)
            std::ofstream(dir / kBundledFontFiles[i]);
        return dir;
    }

    // Runs `body` and returns what it logged.
    template <typename F>
    static std::string logged(F&& body) {
        ::testing::internal::CaptureStderr();
        body();
        return ::testing::internal::GetCapturedStderr();
    }

    std::vector<std::string> paths_in(const fs::path& dir) {
        std::vector<std::string> out;
        for (std::string_view file : kBundledFontFiles)
            out.push_back((dir / file).string());
        return out;
    }

    fs::path root_;
};

TEST(BundledFontCandidatesTest, FiveFoldersInOrderJoinedNotNormalised) {
    struct Case {
        std::optional<fs::path> exe;
        std::optional<fs::path> cwd;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"/opt/k/MacOS",
         "/home/u",
         {"/opt/k/MacOS/CommitMonoV143", "/opt/k/MacOS/../Resources/CommitMonoV143",
          "/opt/k/MacOS/../Resources/fonts/CommitMonoV143", "/home/u/assets/fonts/CommitMonoV143",
          "/src/assets/fonts/CommitMonoV143"}},
        {std::nullopt,
         "/home/u",
         {"/home/u/assets/fonts/CommitMonoV143", "/src/assets/fonts/CommitMonoV143"}},
        {"/opt/k/MacOS",
         std::nullopt,
         {"/opt/k/MacOS/CommitMonoV143", "/opt/k/MacOS/../Resources/CommitMonoV143",
          "/opt/k/MacOS/../Resources/fonts/CommitMonoV143", "/src/assets/fonts/CommitMonoV143"}},
        {std::nullopt, std::nullopt, {"/src/assets/fonts/CommitMonoV143"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (const fs::path& p : bundled_font_candidates(c.exe, c.cwd, "/src")) {
            got.push_back(p.string());
        }
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(BundledFontsTest, RegistersTheFourFacesInOrderFromTheFirstCompleteFolder) {
    const fs::path partial = folder("partial", 3);
    const fs::path complete = folder("complete");
    const fs::path later = folder("later");
    const std::vector<fs::path> candidates = {root_ / "missing", partial, complete, later};
    std::optional<fs::path> used;
    const std::string log = logged([&] { used = register_bundled_fonts_from(candidates, record); });
    EXPECT_EQ(used, complete);
    EXPECT_EQ(g_registered, paths_in(complete));
    for (const std::string& path : paths_in(complete)) {
        EXPECT_NE(log.find("DEBUG kestrum_render::fonts: registered font " + path),
                  std::string::npos)
            << log;
    }
    EXPECT_NE(log.find("DEBUG kestrum_app: registered 4 bundled font(s) from " + complete.string()),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("WARN"), std::string::npos) << log;
}

TEST_F(BundledFontsTest, BundleResourcesWinOverADevelopmentCheckout) {
    folder("Kestrum.app/Contents/MacOS", 0);  // the executable's folder
    folder("Kestrum.app/Contents/Resources/CommitMonoV143");
    const fs::path checkout = folder("checkout/assets/fonts/CommitMonoV143");
    const auto candidates = bundled_font_candidates(root_ / "Kestrum.app/Contents/MacOS",
                                                    root_ / "checkout", root_ / "checkout");
    std::optional<fs::path> used;
    logged([&] { used = register_bundled_fonts_from(candidates, record); });
    ASSERT_TRUE(used);
    EXPECT_EQ(used->string(),
              (root_ / "Kestrum.app/Contents/MacOS/../Resources/CommitMonoV143").string());
    EXPECT_NE(*used, checkout);
}

TEST_F(BundledFontsTest, RefusedRegistrationsAreDebugLinesAndStillEndTheSearch) {
    const fs::path first = folder("first");
    folder("second");
    g_accept = false;
    const std::vector<fs::path> candidates = {first, root_ / "second"};
    std::optional<fs::path> used;
    const std::string log = logged([&] { used = register_bundled_fonts_from(candidates, record); });
    EXPECT_EQ(used, first);
    EXPECT_EQ(g_registered.size(), 4u);  // no retries, no second folder
    for (const std::string& path : paths_in(first)) {
        EXPECT_NE(log.find("DEBUG kestrum_render::fonts: CTFontManagerRegisterFontsForURL "
                           "returned false for " +
                           path),
                  std::string::npos)
            << log;
    }
    EXPECT_NE(log.find("DEBUG kestrum_app: registered 0 bundled font(s) from " + first.string()),
              std::string::npos);
    EXPECT_EQ(log.find("WARN"), std::string::npos) << log;
}

TEST_F(BundledFontsTest, NoCompleteFolderWarnsOnce) {
    const std::vector<fs::path> candidates = {folder("a", 3), root_ / "b", folder("c", 0)};
    std::optional<fs::path> used;
    const std::string log = logged([&] { used = register_bundled_fonts_from(candidates, record); });
    EXPECT_FALSE(used);
    EXPECT_TRUE(g_registered.empty());
    const std::string warning =
        "WARN  kestrum_app: bundled CommitMono fonts not found; falling back to a system font";
    const auto at = log.find(warning);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find(warning, at + 1), std::string::npos) << log;
    logged([&] { EXPECT_FALSE(register_bundled_fonts_from({}, record)); });
}

TEST_F(BundledFontsTest, LinksAreFollowed) {
    const fs::path real = folder("real");
    const fs::path linked = root_ / "linked";
    fs::create_directories(linked);
    for (std::string_view file : kBundledFontFiles)
        fs::create_symlink(real / file, linked / file);
    const fs::path dangling = folder("dangling", 3);
    fs::create_symlink(root_ / "nowhere.otf", dangling / kBundledFontFiles[3]);

    const std::vector<fs::path> candidates = {dangling, linked};
    std::optional<fs::path> used;
    logged([&] { used = register_bundled_fonts_from(candidates, record); });
    EXPECT_EQ(used, linked);
}

TEST_F(BundledFontsTest, TheSourceTreesRootFindsTheRealFontsThroughTheWorkingDirectory) {
    const fs::path before = fs::current_path();
    fs::current_path(KESTRUM_SOURCE_DIR);
    const auto candidates =
        bundled_font_candidates(root_ / "bin", fs::current_path(), root_ / "src");
    std::optional<fs::path> used;
    const std::string log = logged(
        [&] { used = register_bundled_fonts_from(candidates, &kestrum::platform::register_font_file); });
    fs::current_path(before);
    ASSERT_TRUE(used) << log;
    EXPECT_EQ(used->string(), std::string(KESTRUM_SOURCE_DIR) + "/assets/fonts/CommitMonoV143");
    EXPECT_NE(log.find("registered 4 bundled font(s)"), std::string::npos) << log;

    auto face = kestrum::platform::FontFace::create_with_name("CommitMono", 14);
    ASSERT_TRUE(face);
    EXPECT_EQ(face->family_name(), "CommitMono");
}

TEST_F(BundledFontsTest, StartupRegistrationMakesTheDefaultFamilyResolve) {
    const std::string log = logged([] { register_bundled_fonts(); });
    EXPECT_EQ(log.find("WARN"), std::string::npos) << log;
    auto bold = kestrum::platform::FontFace::create_with_name("CommitMono-700Italic", 14);
    ASSERT_TRUE(bold);
    EXPECT_EQ(bold->postscript_name(), "CommitMono-700Italic");
}

}  // namespace
}  // namespace kestrum_app
