// The what's-new window: shown once per installation, 2.0 s after the launch, centred
// and above normal windows, with the release notes the program ships.
#include <QDialog>
#include <QLabel>
#include <QScreen>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include "preferences/AppShellFixture.h"
#include "preferences/NewsWindowController.h"

namespace qs::test {
namespace {

using WhatsNew = AppShellTest;

std::string notesText(NewsWindowController& news) {
    return news.window()->findChild<QTextBrowser*>("notesView")->toPlainText().toStdString();
}

TEST_F(WhatsNew, FirstLaunchShowsTheNotesTwoSecondsOnCentredAndOnTop) {
    launch();
    auto news = std::dynamic_pointer_cast<NewsWindowController>(delegate->newsWC());
    ASSERT_TRUE(news);
    env.loop().advance(1.9);
    EXPECT_FALSE(news->isWindowLoaded());
    EXPECT_TRUE(defaults().valueForKey("whatNewIsPresented").isNil()) << "the defaults table leaves the key alone";
    env.loop().advance(0.1);
    ASSERT_TRUE(news->isWindowLoaded());
    QDialog* w = news->window();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->objectName(), "NewsWindowController") << "loaded from its interface file";
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QRect area = w->screen()->availableGeometry();
    EXPECT_LE(std::abs(w->frameGeometry().center().x() - area.center().x()), 1);
    EXPECT_LE(std::abs(w->frameGeometry().center().y() - area.center().y()), 1);
    EXPECT_EQ(defaults().objectForKey("whatNewIsPresented"), Value(true));
    EXPECT_TRUE(defaults().objectForKey("whatNewPresentedVersion").isNil()) << "the flag alone is stored";
    // The notes the project ships for this version.
    std::string notes = notesText(*news);
    EXPECT_NE(notes.find("Quayside " + MainBundle::shortVersionString()), std::string::npos) << notes;
    EXPECT_FALSE(env.logged("release notes"));
    EXPECT_NE(w->findChild<QLabel*>("versionLabel")->text().toStdString().find(MainBundle::shortVersionString()),
              std::string::npos);
}

TEST_F(WhatsNew, OncePerInstallation) {
    {
        NewsWindowController first;
        first.showWhatsNew();
        EXPECT_TRUE(first.isWindowLoaded());
        first.window()->close();
        // Asked again in the same run: nothing.
        first.showWhatsNew();
        EXPECT_FALSE(first.window()->isVisible());
    }
    // The next launch: no window.
    NewsWindowController second;
    second.showWhatsNew();
    EXPECT_FALSE(second.isWindowLoaded());

    // A store written by an earlier build holds the version it showed: a stored YES still
    // keeps the window away, whatever version is beside it, and the store is read without
    // a word.
    defaults().setObject(Value("0.0.9"), "whatNewPresentedVersion");
    const size_t lines = env.logLines().size();
    NewsWindowController upgraded;
    upgraded.showWhatsNew();
    EXPECT_FALSE(upgraded.isWindowLoaded());
    EXPECT_EQ(defaults().stringForKey("whatNewPresentedVersion"), "0.0.9") << "left as it was";
    EXPECT_EQ(env.logLines().size(), lines);
}

TEST_F(WhatsNew, AStoredNoKeepsTheWindowAway) {
    defaults().setBool(false, "whatNewIsPresented");
    NewsWindowController news;
    news.showWhatsNew();
    EXPECT_FALSE(news.isWindowLoaded());
    EXPECT_EQ(defaults().objectForKey("whatNewIsPresented"), Value(false));
}

TEST_F(WhatsNew, MissingNotesAreSaidInTheWindowAndTheLog) {
    MainBundle::setExecutablePathForTesting(env.root() + "/bin/quayside");
    NewsWindowController news;
    news.showWhatsNew();
    ASSERT_TRUE(news.isWindowLoaded());
    EXPECT_NE(notesText(news).find("not installed"), std::string::npos);
    EXPECT_TRUE(env.logged("release notes of version " + MainBundle::shortVersionString() + " are not installed"));
}

}  // namespace
}  // namespace qs::test
