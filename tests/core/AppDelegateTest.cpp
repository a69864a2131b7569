#include <gtest/gtest.h>

#include "core/AppDelegate.h"
#include "core/ApplicationInterface.h"
#include "core/DockTestSupport.h"
#include "platform/desktop/CrashReporting.h"
#include "platform/desktop/Updater.h"
#include "tracking/AccessHelper.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/BadgeHelper.h"

namespace qs::test {
namespace {

const char* const kTableKeys[] = {"WindowPreview", "Tooltips",      "WindowControls", "ReserveSpace",
                                  "HideMenuBarIcon", "ShowAppBadges", "HideAppleDock",  "HideQuayside",
                                  "ShowThumbnails", "autoHideDelay1", "cellHeight"};

// The interface's windows, recorded.
struct FakeAccessWindow : AccessWindow {
    int level() const override { return level_; }
    void setLevel(int level) override { level_ = level; }
    void orderFront() override { visible = true; }
    bool isVisible() const override { return visible; }
    void closeWindow() override { visible = false; }
    int level_ = 0;
    bool visible = false;
};

struct FakeNewsWindow : NewsWindow {
    void showWhatsNew() override { ++showWhatsNewCount; }
    int showWhatsNewCount = 0;
};

struct FakeApplication : ApplicationInterface {
    std::shared_ptr<AccessWindow> makeAccessController() override { return std::make_shared<FakeAccessWindow>(); }
    std::shared_ptr<NewsWindow> makeNewsWindowController() override { return std::make_shared<FakeNewsWindow>(); }
    void orderFrontStandardAboutPanel() override {}
    void activateIgnoringOtherApps() override { ++activations; }
    void terminate() override {}
    int activations = 0;
};

class Launch : public DockTest {
protected:
    Launch() {
        ApplicationInterface::install(application);
        AppDelegate::resetDockStartForTesting();
        BadgeHelper::resetSharedInstanceForTesting();
        AppMonitoringService::resetSharedInstanceForTesting();
        SUUpdater::sharedUpdater().resetForTesting();
        MSAppCenter::resetForTesting();
    }
    ~Launch() override {
        ApplicationInterface::install(nullptr);
        BadgeHelper::resetSharedInstanceForTesting();
        AppMonitoringService::resetSharedInstanceForTesting();
    }
    void launch() {
        delegate->applicationDidFinishLaunching();
        env.loop().runPending();
    }
    std::shared_ptr<FakeApplication> application = std::make_shared<FakeApplication>();
    std::shared_ptr<AppDelegate> delegate = AppDelegate::create();
};

TEST_F(Launch, DockStartRunsInTheNextTurnAndItsWindowsSeeNoDefaults) {
    // What the first panel saw of the table when it was made.
    int absentAtFirstPanel = -1;
    DockManager::setWindowFactory([&](std::shared_ptr<DockModel> m, std::shared_ptr<DockConfiguration> c,
                                      ScreenPtr s) -> DockPanelWindowPtr {
        if (absentAtFirstPanel < 0) {
            absentAtFirstPanel = 0;
            for (const char* k : kTableKeys) absentAtFirstPanel += defaults().valueForKey(k).isNil();
        }
        return std::make_shared<FakePanel>(factory.log, ++factory.log->made, m, c, s);
    });
    delegate->applicationDidFinishLaunching();
    EXPECT_FALSE(delegate->manager());
    EXPECT_FALSE(DockManager::hasSharedInstance());
    env.loop().runPending();
    EXPECT_TRUE(delegate->manager());
    EXPECT_EQ(absentAtFirstPanel, 11);
    EXPECT_EQ(factory.log->made, 1);
}

TEST_F(Launch, FirstLaunchWritesTheTableTypedAndTheRegisteredValueOnlyInMemory) {
    launch();
    const Dictionary stored = defaults().persistentDomain();
    const Dictionary expected = {
        {"WindowPreview", Value(true)},   {"Tooltips", Value(true)},       {"WindowControls", Value(true)},
        {"ReserveSpace", Value(true)},    {"HideMenuBarIcon", Value(false)}, {"ShowAppBadges", Value(true)},
        {"HideAppleDock", Value(false)},  {"HideQuayside", Value(false)},  {"ShowThumbnails", Value(false)},
        {"autoHideDelay1", Value(1)},     {"cellHeight", Value(100)},
        {"SUUpdaterChecksForBetaUpdates", Value(false)},
    };
    for (const auto& [k, v] : expected) {
        auto it = stored.find(k);
        ASSERT_NE(it, stored.end()) << k;
        EXPECT_EQ(it->second.type(), v.type()) << k;
        EXPECT_EQ(it->second, v) << k;
    }
    EXPECT_FALSE(defaults().objectForKey("NSApplicationCrashOnExceptions").isNil());
    EXPECT_FALSE(defaults().boolForKey("NSApplicationCrashOnExceptions"));
    EXPECT_EQ(stored.count("NSApplicationCrashOnExceptions"), 0u);

    // And in the file, read back afresh.
    UserDefaults::resetForTesting();
    EXPECT_EQ(UserDefaults::standardUserDefaults().objectForKey("cellHeight"), Value(100));
}

TEST_F(Launch, StoredValuesAreNeverOverwrittenEvenZeroOrNo) {
    defaults().setBool(false, "WindowPreview");
    defaults().setInteger(0, "cellHeight");
    defaults().setBool(true, "SUUpdaterChecksForBetaUpdates");
    launch();
    EXPECT_EQ(defaults().objectForKey("WindowPreview"), Value(false));
    EXPECT_EQ(defaults().objectForKey("cellHeight"), Value(0));
    EXPECT_TRUE(defaults().boolForKey("SUUpdaterChecksForBetaUpdates"));
}

TEST_F(Launch, UpdaterIsConfiguredInOrderAndNothingElse) {
    launch();
    auto& u = SUUpdater::sharedUpdater();
    EXPECT_EQ(u.callLog(), (std::vector<std::string>{"setDelegate", std::string("setFeedURL:") + AppDelegate::SUFeedURL(),
                                                     "setUpdateCheckInterval:86400",
                                                     "setAutomaticallyChecksForUpdates:YES",
                                                     "checkForUpdatesInBackground", "installUpdatesIfAvailable"}));
    EXPECT_EQ(u.delegate(), std::static_pointer_cast<SUUpdaterDelegate>(delegate));
    EXPECT_EQ(u.updateCheckInterval(), 86400.0);
    EXPECT_FALSE(delegate->updaterShouldCheckForBetaUpdates(u));
}

TEST_F(Launch, BetaUpdatesHalveTheIntervalAndUseTheBetaFeed) {
    AppDelegate::setFeedURLsForTesting(std::make_pair("file:///feeds/regular.xml", "file:///feeds/beta.xml"));
    defaults().setBool(true, "SUUpdaterChecksForBetaUpdates");
    launch();
    auto& u = SUUpdater::sharedUpdater();
    EXPECT_EQ(u.updateCheckInterval(), 43200.0);
    EXPECT_EQ(u.feedURL(), "file:///feeds/beta.xml");
    EXPECT_EQ(delegate->feedURLStringForUpdater(u), "file:///feeds/beta.xml");
    defaults().setBool(false, "SUUpdaterChecksForBetaUpdates");
    EXPECT_EQ(delegate->feedURLStringForUpdater(u), "file:///feeds/regular.xml");
    AppDelegate::setFeedURLsForTesting(std::nullopt);
}

TEST_F(Launch, NoUpdateFeedIsConfiguredByDefault) {
    EXPECT_EQ(AppDelegate::SUFeedURL(), "");
    EXPECT_EQ(AppDelegate::betaFeedURL(), "");
}

TEST_F(Launch, CrashReportingIsStartedLocallyAndAcceptsEveryReport) {
    launch();
    EXPECT_TRUE(MSAppCenter::isStarted());
    EXPECT_EQ(MSAppCenter::appSecret().size(), 36u);
    EXPECT_EQ(MSAppCenter::services(), (std::vector<std::string>{"MSAnalytics", "MSCrashes"}));
    EXPECT_EQ(MSAppCenter::logLevel(), 2);
    ASSERT_TRUE(MSCrashes::delegate());
    EXPECT_TRUE(MSCrashes::delegate()->crashes(nullptr, MSErrorReport{"any"}));
}

TEST_F(Launch, WhatsNewIsAskedAfterTwoSeconds) {
    launch();
    auto news = std::dynamic_pointer_cast<FakeNewsWindow>(delegate->newsWC());
    ASSERT_TRUE(news);
    env.loop().advance(1.9);
    EXPECT_EQ(news->showWhatsNewCount, 0);
    env.loop().advance(0.1);
    EXPECT_EQ(news->showWhatsNewCount, 1);
    env.loop().advance(10.0);
    EXPECT_EQ(news->showWhatsNewCount, 1);
}

TEST_F(Launch, PermissionStep) {
    struct Case {
        const char* name;
        std::optional<bool> flag;  // "AccessDoNotShow"
        bool granted;
        bool dialog;
        bool cache;
    } cases[] = {
        {"flag absent, denied", std::nullopt, false, false, true},
        {"flag NO, denied", false, false, false, true},
        {"flag YES, denied", true, false, true, false},
        {"flag YES, granted", true, true, false, true},
    };
    for (const auto& k : cases) {
        DockManager::resetSharedInstanceForTesting();
        AppDelegate::resetDockStartForTesting();
        AppMonitoringService::resetSharedInstanceForTesting();
        if (k.flag)
            defaults().setBool(*k.flag, "AccessDoNotShow");
        else
            defaults().removeObjectForKey("AccessDoNotShow");
        BadgeHelper::resetSharedInstanceForTesting();
        // Screen recording is asked first; missing, it is enough to deny.
        sim.permissions->setScreenRecordingGranted(k.granted);
        EXPECT_EQ(AccessHelper::allAccessGranted(), k.granted) << k.name;
        auto d = AppDelegate::create();
        int activations = application->activations;
        d->StartViewControllerDisappear();
        EXPECT_EQ(bool(d->ac()), k.dialog) << k.name;
        EXPECT_EQ(application->activations - activations, k.dialog ? 1 : 0) << k.name;
        if (d->ac()) {
            EXPECT_EQ(d->ac()->level(), 8) << k.name;
            EXPECT_TRUE(d->ac()->isVisible()) << k.name;
        }
        EXPECT_EQ(AppMonitoringService::hasSharedInstance(), k.cache) << k.name;
        EXPECT_EQ(sim.permissions->prompts(), 0) << k.name;
        // Missing permissions never keep the dock from being shown.
        EXPECT_TRUE(d->manager()) << k.name;
        EXPECT_TRUE(d->badgeHelper()) << k.name;
    }
}

TEST_F(Launch, DockStartRunsOncePerProcess) {
    launch();
    auto other = AppDelegate::create();
    other->StartViewControllerDisappear();
    delegate->StartViewControllerDisappear();
    EXPECT_FALSE(other->manager());
    EXPECT_EQ(factory.log->made, 1);
}

TEST_F(Launch, TerminationArchivesTheDockOnceAndWritesTheFile) {
    launch();
    int writesBefore = defaults().writeCount();
    delegate->applicationWillTerminate();
    EXPECT_TRUE(defaults().hasDataForKey("MainDockModelKey"));
    EXPECT_TRUE(defaults().hasDataForKey("MainDockConfigKey"));
    EXPECT_GT(defaults().writeCount(), writesBefore);
    PostCounter saves("saveDocksData");
    delegate->applicationWillTerminate();
    EXPECT_EQ(saves.count, 0);
}

}  // namespace
}  // namespace qs::test
