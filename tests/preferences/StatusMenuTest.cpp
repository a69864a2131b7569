// The menu-bar menu: its entries, the status item following "HideMenuBarIcon" live, and
// the commands behind the entries (about box, preferences hook, the honest update check,
// the installed documents, the permission window, quitting).
#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

#include "platform/ui/StatusItem.h"
#include "preferences/AccessController.h"
#include "preferences/AppShellFixture.h"

namespace qs::test {
namespace {

struct Entry {
    const char* title;  // nullptr: separator
    const char* selector;
    bool targetsDelegate;
};

const Entry kEntries[] = {
    {"About", "showAboutPanel", false},
    {nullptr, "", false},
    {"Preferences...", "showPrefsPanel:", false},
    {nullptr, "", false},
    {"Check for Updates...", "checkUpates:", false},
    {nullptr, "", false},
    {"Send Feedback/Support ...", "sendFeedback", true},
    {nullptr, "", false},
    {"Check / Request Permissions", "_showAccessDialog", true},
    {"Help/Quayside Documentation", "openDocs", true},
    {nullptr, "", false},
    {nullptr, "", false},
    {"Quit", "terminate:", false},
};

using StatusMenu = AppShellTest;

void choose(const std::shared_ptr<Menu>& menu, const std::string& title) {
    long index = menu->indexOfItemWithTitle(title);
    ASSERT_GE(index, 0) << title;
    ASSERT_TRUE(menu->performActionForItemAtIndex(size_t(index))) << title;
}

TEST_F(StatusMenu, HoldsTheEntriesInOrderInTheModelAndTheTrayMenu) {
    size_t before = StatusBar::systemStatusBar().numberOfItems();
    launch();
    ASSERT_TRUE(delegate->statusItem());
    auto menu = delegate->statusMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->title(), "");
    ASSERT_EQ(menu->numberOfItems(), std::size(kEntries));
    for (size_t i = 0; i < std::size(kEntries); ++i) {
        auto item = menu->itemAtIndex(i);
        const Entry& e = kEntries[i];
        EXPECT_EQ(item->isSeparatorItem(), e.title == nullptr) << i;
        if (!e.title) continue;
        EXPECT_EQ(item->title(), e.title) << i;
        EXPECT_EQ(item->actionSelector(), e.selector) << i;
        EXPECT_EQ(item->keyEquivalent(), "") << i;
        EXPECT_EQ(item->target(), e.targetsDelegate ? static_cast<const void*>(delegate.get()) : nullptr) << i;
        EXPECT_TRUE(menu->isItemEnabled(*item)) << i;
    }

    StatusItem& item = *delegate->statusItem();
    EXPECT_EQ(item.length(), NSVariableStatusItemLength);
    EXPECT_TRUE(item.highlightMode());
    ASSERT_TRUE(item.image());
    EXPECT_TRUE(item.image()->isValid());
    EXPECT_FALSE(env.logged("\"status_icon\" is not among")) << "the program's own status icon is found";
    EXPECT_EQ(item.menu(), menu);
    ASSERT_TRUE(item.trayIcon());
    QMenu* shown = item.trayMenu();
    ASSERT_TRUE(shown);
    EXPECT_EQ(item.trayIcon()->contextMenu(), shown);
    // Both separators above "Quit" stay.
    EXPECT_FALSE(shown->separatorsCollapsible());
    auto actions = shown->actions();
    ASSERT_EQ(size_t(actions.size()), std::size(kEntries));
    for (size_t i = 0; i < std::size(kEntries); ++i) {
        EXPECT_EQ(actions[int(i)]->isSeparator(), kEntries[i].title == nullptr) << i;
        if (kEntries[i].title) EXPECT_EQ(actions[int(i)]->text().toStdString(), kEntries[i].title) << i;
    }
    EXPECT_EQ(StatusBar::systemStatusBar().numberOfItems(), before + 1);
}

TEST_F(StatusMenu, WithoutATrayOneLogLineAndTheProgramGoesOn) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "offscreen has no tray";
    launch();
    ASSERT_TRUE(delegate->statusItem());
    EXPECT_FALSE(delegate->statusItem()->isShownInTray());
    defaults().setBool(true, "HideMenuBarIcon");
    defaults().setBool(false, "HideMenuBarIcon");
    ASSERT_TRUE(delegate->statusItem());
    // At most one line for the whole run (another test of this program may have said it).
    int lines = 0;
    for (const auto& l : env.logLines()) lines += l.find("no system tray") != std::string::npos;
    EXPECT_LE(lines, 1);
    // The commands still work.
    choose(delegate->statusMenu(), "Quit");
    EXPECT_EQ(shell->quits, 1);
}

TEST_F(StatusMenu, SettingUpTwiceLeavesOneItemAndTheSameMenu) {
    size_t before = StatusBar::systemStatusBar().numberOfItems();
    delegate->setupStatusMenu();
    auto item = delegate->statusItem();
    auto menu = delegate->statusMenu();
    delegate->setupStatusMenu();
    EXPECT_EQ(delegate->statusItem(), item);
    EXPECT_EQ(delegate->statusMenu(), menu);
    EXPECT_EQ(StatusBar::systemStatusBar().numberOfItems(), before + 1);
}

TEST_F(StatusMenu, HideMenuBarIconRemovesAndRestoresTheItemLive) {
    size_t before = StatusBar::systemStatusBar().numberOfItems();
    launch();
    auto firstMenu = delegate->statusMenu();
    ASSERT_TRUE(delegate->statusItem());

    defaults().setBool(true, "HideMenuBarIcon");
    EXPECT_FALSE(delegate->statusItem()) << "dropped at once, without a restart";
    EXPECT_EQ(delegate->statusMenu(), firstMenu) << "the menu stays";
    EXPECT_EQ(StatusBar::systemStatusBar().numberOfItems(), before);

    defaults().setBool(false, "HideMenuBarIcon");
    ASSERT_TRUE(delegate->statusItem());
    EXPECT_NE(delegate->statusMenu(), firstMenu) << "a new menu with the new item";
    EXPECT_EQ(delegate->statusMenu()->numberOfItems(), std::size(kEntries));
    EXPECT_EQ(StatusBar::systemStatusBar().numberOfItems(), before + 1);

    // The General pane's call after it stored the switch changes nothing more.
    auto item = delegate->statusItem();
    delegate->setupStatusMenu();
    EXPECT_EQ(delegate->statusItem(), item);
}

TEST_F(StatusMenu, LaunchWithTheIconHiddenShowsItWhenTurnedBackOn) {
    defaults().setBool(true, "HideMenuBarIcon");
    launch();
    EXPECT_FALSE(delegate->statusItem());
    defaults().setBool(false, "HideMenuBarIcon");
    ASSERT_TRUE(delegate->statusItem());
    EXPECT_EQ(delegate->statusMenu()->numberOfItems(), std::size(kEntries));
}

TEST_F(StatusMenu, AboutShowsTheProgramsOwnAboutBox) {
    launch();
    choose(delegate->statusMenu(), "About");
    QMessageBox* box = shell->aboutPanel();
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowTitle(), "About Quayside");
    std::string text = box->text().toStdString();
    EXPECT_NE(text.find("Quayside"), std::string::npos);
    EXPECT_NE(text.find("Version " + MainBundle::shortVersionString()), std::string::npos);
    EXPECT_EQ(MainBundle::shortVersionString(), "0.1") << "the version comes from the build";
    EXPECT_NE(text.find("All rights reserved"), std::string::npos);
    EXPECT_FALSE(box->iconPixmap().isNull()) << "the program's icon";
    EXPECT_GE(shell->activations, 1);
    // Asked again: the same box comes forward.
    choose(delegate->statusMenu(), "About");
    EXPECT_EQ(shell->aboutPanel(), box);
}

TEST_F(StatusMenu, PreferencesCallsTheHookTheProgramSets) {
    launch();
    choose(delegate->statusMenu(), "Preferences...");
    EXPECT_TRUE(env.logged("the preferences window is not available"));
    int shown = 0;
    delegate->setPreferencesWindowHook([&] { ++shown; });
    choose(delegate->statusMenu(), "Preferences...");
    delegate->showPreferences();
    EXPECT_EQ(shown, 2);
}

TEST_F(StatusMenu, UpdateCheckRunsTheLocalUpdaterAndSaysNoFeedIsConfigured) {
    launch();
    auto& updater = SUUpdater::sharedUpdater();
    size_t calls = updater.callLog().size();
    int activations = shell->activations;
    choose(delegate->statusMenu(), "Check for Updates...");
    std::vector<std::string> after(updater.callLog().begin() + long(calls), updater.callLog().end());
    EXPECT_EQ(after, (std::vector<std::string>{"setDelegate", "checkForUpdates"}));
    EXPECT_EQ(updater.delegate(), std::static_pointer_cast<SUUpdaterDelegate>(delegate));
    EXPECT_EQ(shell->activations, activations + 1);
    QMessageBox* box = shell->updateCheckPanel();
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowTitle(), "Check for Updates");
    EXPECT_NE(box->text().toStdString().find("No update feed is configured"), std::string::npos);

    // A build that names a feed is told that it is not fetched either; the feed is the
    // delegate's answer at the time of the check.
    AppDelegate::setFeedURLsForTesting(std::make_pair("file:///feeds/regular.xml", "file:///feeds/beta.xml"));
    defaults().setBool(true, "SUUpdaterChecksForBetaUpdates");
    choose(delegate->statusMenu(), "Check for Updates...");
    std::string text = box->text().toStdString();
    EXPECT_NE(text.find("file:///feeds/beta.xml"), std::string::npos) << text;
    EXPECT_NE(text.find("nothing is sent"), std::string::npos) << text;
    EXPECT_EQ(shell->updateCheckPanel(), box);
    AppDelegate::setFeedURLsForTesting(std::nullopt);
}

TEST_F(StatusMenu, FeedbackAndDocumentationOpenTheInstalledDocuments) {
    launch();
    auto opened = [&](const std::string& name) {
        for (const auto& c : sim.desktop->calls())
            if (c.rfind("openURL file://", 0) == 0 && c.find("/resources/doc/" + name) != std::string::npos) return true;
        return false;
    };
    int activations = shell->activations;
    choose(delegate->statusMenu(), "Send Feedback/Support ...");
    EXPECT_TRUE(opened("FEEDBACK.md"));
    EXPECT_EQ(shell->activations, activations + 1) << "feedback activates the program";
    choose(delegate->statusMenu(), "Help/Quayside Documentation");
    EXPECT_TRUE(opened("README.md"));
    EXPECT_EQ(shell->activations, activations + 1) << "the documentation does not";
    for (const auto& c : sim.desktop->calls())
        if (c.rfind("openURL", 0) == 0) EXPECT_EQ(c.find("http"), std::string::npos) << c;

    // A program installed without its documents says so and goes on.
    MainBundle::setExecutablePathForTesting(env.root() + "/elsewhere/quayside");
    choose(delegate->statusMenu(), "Help/Quayside Documentation");
    EXPECT_TRUE(env.logged("README.md is not installed"));
}

TEST_F(StatusMenu, PermissionsCommandOpensANewWindowAndClosesTheOldOne) {
    launch();
    choose(delegate->statusMenu(), "Check / Request Permissions");
    auto first = std::dynamic_pointer_cast<AccessController>(delegate->ac());
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->level(), 8);
    EXPECT_TRUE(first->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(first->window()->isModal());

    choose(delegate->statusMenu(), "Check / Request Permissions");
    auto second = std::dynamic_pointer_cast<AccessController>(delegate->ac());
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(first->isVisible()) << "no second copy stacks on the first";
}

TEST_F(StatusMenu, QuitEndsTheProgramThroughTheApplication) {
    launch();
    choose(delegate->statusMenu(), "Quit");
    EXPECT_EQ(shell->quits, 1);
}

TEST_F(StatusMenu, TerminationReleasesTheTrayIcon) {
    size_t before = StatusBar::systemStatusBar().numberOfItems();
    launch();
    env.loop().runPending();
    EXPECT_EQ(StatusBar::systemStatusBar().numberOfItems(), before + 1);
    delegate->applicationWillTerminate();
    EXPECT_FALSE(delegate->statusItem());
    EXPECT_EQ(StatusBar::systemStatusBar().numberOfItems(), before);
    // Switching the option afterwards brings nothing back.
    defaults().setBool(true, "HideMenuBarIcon");
    defaults().setBool(false, "HideMenuBarIcon");
    EXPECT_FALSE(delegate->statusItem());
}

}  // namespace
}  // namespace qs::test
