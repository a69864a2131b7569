// Badges: the 2.5 s scan, its announcements, the switch-off, and the launcher-entry
// store behind the labels.
#include <unistd.h>

#include <limits>
#include <map>

#include <gtest/gtest.h>

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "tracking/BadgeHelper.h"
#include "tracking/TrackingFixture.h"

namespace qs::test {
namespace {

using desktop::AXElement;
using desktop::AXValue;
using desktop::LauncherEntryBadges;

// Every "changeBadge" posted: nullopt for a nil object, else (pid, text).
struct BadgeLog {
    struct Post {
        bool nil = false;
        int64_t pid = 0;
        std::string text;
    };
    BadgeLog() {
        token = NotificationCenter::defaultCenter().addObserver(this, "changeBadge", nullptr, [this](const Notification& n) {
            Post p;
            if (n.object.isNil()) {
                p.nil = true;
            } else if (auto* d = n.object.dictionary()) {
                p.pid = d->at("app_pid").integerValue();
                p.text = d->at("badgeText").stringValue();
                EXPECT_TRUE(d->at("app_pid").isInteger());
                EXPECT_TRUE(d->at("badgeText").isString());
                EXPECT_EQ(d->size(), 2u);
            } else {
                ADD_FAILURE() << "changeBadge object is neither nil nor a dictionary";
            }
            EXPECT_TRUE(n.userInfo.empty());
            posts.push_back(p);
        });
    }
    ~BadgeLog() { NotificationCenter::defaultCenter().removeObserver(token); }
    int nils() const {
        int n = 0;
        for (auto& p : posts) n += p.nil;
        return n;
    }
    std::vector<Post> posts;
    NotificationCenter::ObserverToken token;
};

class BadgeHelperTest : public TrackingTest {
protected:
    void SetUp() override {
        TrackingTest::SetUp();
        BadgeHelper::resetSharedInstanceForTesting();
        UserDefaults::standardUserDefaults().setBool(true, "ShowAppBadges");
    }
    void TearDown() override { BadgeHelper::resetSharedInstanceForTesting(); }

    RunningApplicationPtr app(const std::string& name, const std::string& id, int policy = 0) {
        RunningApplication::Info info;
        info.localizedName = name;
        info.bundleIdentifier = id;
        info.activationPolicy = policy;
        return desk->addApplication(info);
    }
    void setShowBadges(bool on) { UserDefaults::standardUserDefaults().setBool(on, "ShowAppBadges"); }
};

TEST_F(BadgeHelperTest, ScanAnnouncesRegularManageableApplicationsInOrder) {
    auto mail = app("Mail", "org.example.Mail");
    auto editor = app("Editor", "org.example.Editor");
    app("Helper", "org.example.Helper", NSApplicationActivationPolicyAccessory);
    app("Dock", "com.apple.dock");
    app("Background", "org.example.Daemon", NSApplicationActivationPolicyProhibited);
    RunningApplication::Info self;
    self.pid = ::getpid();
    self.localizedName = "Quayside";
    self.bundleIdentifier = "org.quayside.Quayside";
    desk->addApplication(self);
    backend.badges->setCount("org.example.Mail", 5);
    backend.badges->setCount("org.quayside.Quayside", 9);
    run();

    BadgeLog log;
    auto helper = BadgeHelper::sharedInstance();
    EXPECT_TRUE(log.posts.empty());  // the scan is queued, not run inside the call
    run();
    ASSERT_EQ(log.posts.size(), 2u);
    EXPECT_EQ(log.posts[0].pid, mail->processIdentifier());
    EXPECT_EQ(log.posts[0].text, "5");
    EXPECT_EQ(log.posts[1].pid, editor->processIdentifier());
    EXPECT_EQ(log.posts[1].text, "");  // no badge: still announced
}

TEST_F(BadgeHelperTest, PollsEveryTwoAndAHalfSecondsWithOneTimerAndSwitchesOffOnce) {
    app("Mail", "org.example.Mail");
    BadgeLog log;
    auto helper = BadgeHelper::sharedInstance();
    run();
    EXPECT_EQ(log.posts.size(), 1u);
    env.loop().advance(2.4);
    EXPECT_EQ(log.posts.size(), 1u);
    env.loop().advance(0.1);
    EXPECT_EQ(log.posts.size(), 2u);
    env.loop().advance(5.0);
    EXPECT_EQ(log.posts.size(), 4u);

    // Switched on again while on: a fresh scan at once, and still one timer.
    setShowBadges(true);
    run();
    EXPECT_EQ(log.posts.size(), 5u);
    env.loop().advance(2.5);
    EXPECT_EQ(log.posts.size(), 6u);

    log.posts.clear();
    setShowBadges(false);
    EXPECT_FALSE(helper->isPolling());
    env.loop().advance(10.0);
    ASSERT_EQ(log.posts.size(), 1u);
    EXPECT_TRUE(log.posts[0].nil);

    setShowBadges(true);
    EXPECT_TRUE(helper->isPolling());
    run();
    ASSERT_EQ(log.posts.size(), 2u);
    EXPECT_FALSE(log.posts[1].nil);
    EXPECT_EQ(log.nils(), 1);
}

TEST_F(BadgeHelperTest, StartingWithBadgesOffAnnouncesTheSwitchOffAndNeverScans) {
    UserDefaults::standardUserDefaults().setBool(false, "ShowAppBadges");
    app("Mail", "org.example.Mail");
    BadgeLog log;
    auto helper = BadgeHelper::sharedInstance();
    env.loop().advance(10.0);
    ASSERT_EQ(log.posts.size(), 1u);
    EXPECT_TRUE(log.posts[0].nil);
    EXPECT_EQ(backend.badges->queries(), 0);
}

TEST_F(BadgeHelperTest, LabelsFollowTheLatestLauncherEntryState) {
    auto mail = app("Mail", "org.example.Mail");
    auto helper = BadgeHelper::sharedInstance();
    auto& badges = *backend.badges;
    EXPECT_EQ(helper->getBadgeCountForRunningApplication(*mail), "");
    badges.update("application://org.example.Mail.desktop", {12, std::nullopt});
    EXPECT_EQ(helper->getBadgeCountForRunningApplication(*mail), "");  // counted, not visible yet
    badges.update("application://org.example.Mail.desktop", {std::nullopt, true});
    EXPECT_EQ(helper->getBadgeCountForRunningApplication(*mail), "12");
    badges.update("application://org.example.Mail.desktop", {3, std::nullopt});
    EXPECT_EQ(helper->getBadgeCountForRunningApplication(*mail), "3");  // visibility kept
    badges.update("application://org.example.Mail.desktop", {std::nullopt, false});
    EXPECT_EQ(helper->getBadgeCountForRunningApplication(*mail), "");
    // An application with no desktop entry has no label and the source is not asked.
    auto plain = app("xclock", "");
    int before = badges.queries();
    EXPECT_EQ(helper->getBadgeCountForRunningApplication(*plain), "");
    EXPECT_EQ(badges.queries(), before);
}

TEST_F(BadgeHelperTest, WithoutASourceEveryApplicationIsAnnouncedEmptyAndNothingIsAsked) {
    auto mail = app("Mail", "org.example.Mail");
    backend.badges->setCount("org.example.Mail", 4);
    backend.badges->setAvailable(false);  // no session bus
    BadgeLog log;
    auto helper = BadgeHelper::sharedInstance();
    run();
    ASSERT_EQ(log.posts.size(), 1u);
    EXPECT_EQ(log.posts[0].text, "");
    EXPECT_EQ(backend.badges->queries(), 0);
    env.loop().advance(2.5);
    EXPECT_EQ(log.posts.size(), 2u);
}

// The system dock's items, as its accessibility tree shows them: an application with a
// list whose children are dock items (and, here, a separator first).
class SystemDockTree : public BadgeHelperTest {
protected:
    void SetUp() override {
        BadgeHelperTest::SetUp();
        dock = app("Dock", "com.apple.dock");
    }
    AXElement item(const std::string& role, const std::string& title, std::optional<std::string> label) {
        sim::SimDesktop::Window w;
        w.pid = dock->processIdentifier();
        w.title = title;
        w.role = role;
        w.extraAttributes["AXRole"] = AXValue(role);
        if (label) w.extraAttributes["AXStatusLabel"] = AXValue(*label);
        return AXElement::windowOf(w.pid, desk->addWindow(w));
    }
    void build(std::vector<AXElement> children) {
        sim::SimDesktop::Window list;
        list.pid = dock->processIdentifier();
        list.extraAttributes["AXRole"] = AXValue(std::string("AXList"));
        list.extraAttributes["AXChildren"] = AXValue(children);
        auto listElement = AXElement::windowOf(list.pid, desk->addWindow(list));
        desk->setApplicationAttribute(dock->processIdentifier(), "AXChildren", AXValue(std::vector<AXElement>{listElement}));
    }
    RunningApplicationPtr dock;
};

TEST_F(SystemDockTree, MessagesAndRemindersFallBackToTheirDockItem) {
    auto separator = item("AXSeparatorDockItem", "", std::nullopt);
    auto finder = item("AXDockItem", "Finder", std::string("1"));
    auto messages = item("AXDockItem", "Messages", std::string("3"));
    auto reminders = item("AXDockItem", "Reminders", std::nullopt);
    build({separator, finder, messages, reminders});
    auto messagesApp = app("Messages", "com.apple.MobileSMS");
    auto remindersApp = app("Reminders", "com.apple.reminders");
    auto other = app("Finder", "com.apple.finder");

    auto helper = BadgeHelper::sharedInstance();
    // The item itself, not the item at its position among all children.
    EXPECT_EQ(helper->getDockItemWithName("Messages"), messages);
    EXPECT_EQ(helper->copyAXUIElementFrom(messages, "AXDockItem", 0), std::nullopt);  // no children
    EXPECT_EQ(helper->getBadgeCountForItemWithName("Messages"), "3");
    EXPECT_EQ(helper->getBadgeCountForItemWithName("Reminders"), std::nullopt);
    EXPECT_EQ(helper->getBadgeCountForItemWithName("Mail"), std::nullopt);

    BadgeLog log;
    run();
    env.loop().advance(2.5);
    std::map<int64_t, std::string> last;
    for (auto& p : log.posts) last[p.pid] = p.text;
    EXPECT_EQ(last[messagesApp->processIdentifier()], "3");
    EXPECT_EQ(last[remindersApp->processIdentifier()], "");
    EXPECT_EQ(last[other->processIdentifier()], "");  // only the two named applications fall back
    EXPECT_EQ(last.count(dock->processIdentifier()), 0u);

    // A launcher-entry label wins over the dock item.
    backend.badges->setCount("com.apple.MobileSMS", 8);
    log.posts.clear();
    env.loop().advance(2.5);
    for (auto& p : log.posts) {
        if (p.pid == messagesApp->processIdentifier()) {
            EXPECT_EQ(p.text, "8");
        }
    }
}

TEST_F(BadgeHelperTest, WithoutTheSystemDockTheFallbackAnswersNothing) {
    app("Messages", "com.apple.MobileSMS");
    auto helper = BadgeHelper::sharedInstance();
    EXPECT_EQ(helper->getDockItemWithName("Messages"), std::nullopt);
    EXPECT_EQ(helper->getBadgeCountForItemWithName("Messages"), std::nullopt);
}

// The store behind the labels: malformed signals are ignored or clamped, a flood is
// bounded.
TEST(LauncherEntryBadgesTest, UrisThatNameNoDesktopIdAreIgnored) {
    EXPECT_EQ(LauncherEntryBadges::desktopIdFromURI("application://org.gnome.Evolution.desktop"), "org.gnome.Evolution");
    EXPECT_EQ(LauncherEntryBadges::desktopIdFromURI("application://firefox"), "firefox");
    for (const char* bad : {"", "application://", "application://.desktop", "file:///usr/share/applications/a.desktop",
                            "application://../../etc/passwd.desktop", "application://a/b.desktop",
                            "Application://a.desktop", "application://..", "application://.hidden.desktop",
                            "application:// padded .desktop"})
        EXPECT_EQ(LauncherEntryBadges::desktopIdFromURI(bad), std::nullopt) << bad;
    EXPECT_EQ(LauncherEntryBadges::desktopIdFromURI(std::string("application://a\nb.desktop")), std::nullopt);
    EXPECT_EQ(LauncherEntryBadges::desktopIdFromURI("application://" + std::string(300, 'x') + ".desktop"), std::nullopt);

    LauncherEntryBadges store;
    EXPECT_FALSE(store.update("file:///x.desktop", {5, true}));
    EXPECT_FALSE(store.update("application://a.desktop", {}));  // nothing we show
    EXPECT_EQ(store.size(), 0u);
}

TEST(LauncherEntryBadgesTest, NegativeCountsAreIgnoredAndHugeOnesClamped) {
    LauncherEntryBadges store;
    store.update("application://a.desktop", {4, true});
    store.update("application://a.desktop", {-3, std::nullopt});
    EXPECT_EQ(store.statusLabel("a"), "4");
    store.update("application://a.desktop", {std::numeric_limits<int64_t>::min(), std::nullopt});
    EXPECT_EQ(store.statusLabel("a"), "4");
    store.update("application://a.desktop", {std::numeric_limits<int64_t>::max(), std::nullopt});
    EXPECT_EQ(store.statusLabel("a"), std::to_string(LauncherEntryBadges::kMaxCount));
    store.update("application://a.desktop", {0, std::nullopt});
    EXPECT_EQ(store.statusLabel("a"), "0");
    EXPECT_EQ(store.statusLabel("unknown"), "");
}

TEST(LauncherEntryBadgesTest, AFloodKeepsTheLatestStatePerIdWithinBounds) {
    LauncherEntryBadges store;
    store.update("application://mail.desktop", {1, true});
    for (int i = 0; i < 100000; ++i) store.update("application://mail.desktop", {i, std::nullopt});
    EXPECT_EQ(store.statusLabel("mail"), "99999");
    EXPECT_EQ(store.size(), 1u);
    for (int i = 0; i < 5000; ++i) store.update("application://spam" + std::to_string(i) + ".desktop", {i, true});
    EXPECT_EQ(store.size(), LauncherEntryBadges::kMaxEntries);
    // The newest are kept, the oldest went first.
    EXPECT_EQ(store.statusLabel("spam4999"), "4999");
    EXPECT_EQ(store.statusLabel("mail"), "");
    EXPECT_EQ(store.statusLabel("spam0"), "");
}

}  // namespace
}  // namespace qs::test
