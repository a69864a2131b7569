// The icon-theme lookup over a private tree: the chain of themes, the nearest size, and
// the unthemed pictures.

#include <gtest/gtest.h>

#include <filesystem>

#include "dock_ui/IconTestSupport.h"
#include "platform/desktop/IconTheme.h"
#include "support/TestEnvironment.h"

namespace qs::test {
namespace {

class IconThemeTest : public IsolatedTest {
protected:
    IconThemeEnvironment restore;
};

TEST_F(IconThemeTest, TheUsersThemeThenWhatItInheritsAtTheNearestSize) {
    const std::string share = installTestIconTheme(env.root(), env.configHome());
    auto theme = desktop::IconTheme::shared();
    EXPECT_EQ(theme->name(), "Harbourlight") << "GTK's setting names the theme";
    EXPECT_EQ(theme->themeChain(), (std::vector<std::string>{"Harbourlight", "hicolor"}));

    const std::string apps = share + "/icons/Harbourlight/";
    EXPECT_EQ(theme->lookup("harbour-app", 16), apps + "16x16/apps/harbour-app.png");
    EXPECT_EQ(theme->lookup("harbour-app", 30), apps + "16x16/apps/harbour-app.png") << "14 from 16, 18 from 48";
    EXPECT_EQ(theme->lookup("harbour-app", 32), apps + "48x48/apps/harbour-app.png") << "as close: the larger";
    EXPECT_EQ(theme->lookup("harbour-app", 1000), apps + "128x128/apps/harbour-app.png");
    EXPECT_EQ(theme->lookup("harbour-app.png", 16), apps + "16x16/apps/harbour-app.png") << "an extension is ignored";
    EXPECT_EQ(theme->lookup("harbour-drawing", 300), apps + "scalable/apps/harbour-drawing.svg");
    // Threshold folders (the default type) fit within two pixels of their size.
    EXPECT_EQ(theme->lookup("hicolor-only", 34), share + "/icons/hicolor/32x32/apps/hicolor-only.png");
    EXPECT_EQ(theme->lookup("no-such-icon", 48), "");
    EXPECT_EQ(theme->lookup("../harbour-app", 48), "") << "names are not paths";

    // Unthemed pictures at the top of a base folder come last.
    writePNG(share + "/icons/loose.png", Qt::black, 8, 8);
    desktop::IconTheme fresh("Harbourlight", {share + "/icons"});
    EXPECT_EQ(fresh.lookup("loose", 48), share + "/icons/loose.png");
}

TEST_F(IconThemeTest, AnUnknownThemeFallsBackToHicolorAndTheDefaultIsAdwaita) {
    const std::string share = installTestIconTheme(env.root(), env.configHome());
    desktop::IconTheme unknown("No Such Theme", {share + "/icons"});
    EXPECT_EQ(unknown.themeChain(), (std::vector<std::string>{"hicolor"}));
    EXPECT_EQ(unknown.lookup("hicolor-only", 32), share + "/icons/hicolor/32x32/apps/hicolor-only.png");
    EXPECT_EQ(unknown.lookup("harbour-app", 32), "");

    writeFile(env.configHome() + "/gtk-3.0/settings.ini", "[Settings]\ngtk-theme-name=Whatever\n");
    setenv("XDG_CONFIG_DIRS", (env.root() + "/no-config").c_str(), 1);
    if (!std::filesystem::exists("/etc/gtk-3.0/settings.ini") && !std::filesystem::exists("/etc/gtk-4.0/settings.ini"))
        EXPECT_EQ(desktop::IconTheme::environmentThemeName(), "Adwaita") << "Debian's default theme";
    unsetenv("XDG_CONFIG_DIRS");
    const auto bases = desktop::IconTheme::environmentBaseFolders();
    EXPECT_EQ(bases.front(), env.root() + "/.icons");
    EXPECT_EQ(bases.back(), "/usr/share/pixmaps");
}

}  // namespace
}  // namespace qs::test
