// The running-application cache: which applications it tracks, how launches, quits and
// lookups keep it current, and the manageable test.

#include <gmock/gmock.h>

#include <unistd.h>

#include "platform/foundation/NotificationCenter.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/TrackingFixture.h"

namespace qs {
namespace {

using test::TrackingTest;

class AppMonitoringServiceTest : public TrackingTest {
protected:
    void TearDown() override { AppMonitoringService::resetSharedInstanceForTesting(); }
    RunningApplicationPtr launch(const std::string& name, const std::string& id = "",
                                 int policy = NSApplicationActivationPolicyRegular, desktop::Pid pid = 0) {
        RunningApplication::Info info;
        info.pid = pid;
        info.localizedName = name;
        info.bundleIdentifier = id;
        info.activationPolicy = policy;
        auto app = desk->addApplication(info);
        run();
        return app;
    }
    RunningApplication app(const std::string& name, const std::string& id) {
        RunningApplication::Info info;
        info.pid = 1;
        info.localizedName = name;
        info.bundleIdentifier = id;
        return RunningApplication(info);
    }
    std::shared_ptr<AppMonitoringService> service() { return AppMonitoringService::sharedInstance(); }
};

TEST_F(AppMonitoringServiceTest, TheSystemsOwnProcessesAreNotManageable) {
    using Persistent::isManageable;
    EXPECT_FALSE(isManageable(app("Dock", "com.apple.dock")));
    EXPECT_FALSE(isManageable(app("Helper", "com.apple.dockhelper")));
    EXPECT_FALSE(isManageable(app("loginwindow", "com.apple.loginwindow")));
    EXPECT_FALSE(isManageable(app("Widgets", "com.apple.dashboard.client")));
    EXPECT_FALSE(isManageable(app("Dock", "org.example.x")));
    EXPECT_FALSE(isManageable(app("coreautha", "")));
    EXPECT_TRUE(isManageable(app("Dock Tool", "com.apple.Dock")));  // case counts
    EXPECT_TRUE(isManageable(app("", "")));
    EXPECT_TRUE(isManageable(app("dock", "org.example.dock")));
}

TEST_F(AppMonitoringServiceTest, TheFirstFillTakesManageableRegularApplicationsOtherThanThisProgram) {
    auto p1 = launch("Editor", "org.example.Editor");
    auto p2 = launch("Helper", "org.example.Helper", NSApplicationActivationPolicyAccessory);
    auto self = launch("Quayside", "org.quayside.Quayside", NSApplicationActivationPolicyRegular, desktop::Pid(getpid()));
    auto p3 = launch("Dock", "com.apple.dock");
    auto cache = service();
    ASSERT_EQ(cache->appsCache().size(), 1u);
    auto entry = cache->cachedApplicationForProcessIdentifier(p1->processIdentifier());
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->isMonitoring());
    (void)p2, (void)self, (void)p3;
}

TEST_F(AppMonitoringServiceTest, LaunchesAndQuitsKeepTheCacheCurrent) {
    auto cache = service();
    // After the start an accessory application is cached by its launch.
    auto helper = launch("Helper", "org.example.Helper", NSApplicationActivationPolicyAccessory);
    auto entry = cache->cachedApplicationForProcessIdentifier(helper->processIdentifier());
    ASSERT_TRUE(entry);
    launch("Dock", "com.apple.dock");
    EXPECT_EQ(cache->appsCache().size(), 1u);
    // Told again of the same process (it became a regular application): tracking goes on.
    NotificationCenter::workspaceCenter().postNotificationName(NSWorkspaceDidLaunchApplicationNotification, Value(),
                                                              {{NSWorkspaceApplicationKey, Value(helper)}});
    EXPECT_EQ(cache->cachedApplicationForProcessIdentifier(helper->processIdentifier()), entry);

    desk->terminateApplication(helper->processIdentifier());
    run();
    EXPECT_TRUE(cache->appsCache().empty());
    EXPECT_FALSE(entry->isMonitoring());
}

TEST_F(AppMonitoringServiceTest, ALookupMakesWhatIsMissingAndKeepsIt) {
    auto helper = launch("Helper", "org.example.Helper", NSApplicationActivationPolicyAccessory);
    auto cache = service();
    EXPECT_TRUE(cache->appsCache().empty());  // not regular at the start
    auto found = cache->getCachedApplicationExForApplication(helper);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->hasWindowList());
    EXPECT_EQ(cache->getCachedApplicationExForApplication(helper), found);

    // A process that has ended: nothing, and nothing stored.
    desk->terminateApplication(helper->processIdentifier(), false);
    run();
    cache->removeApplication(helper);
    EXPECT_EQ(cache->getCachedApplicationExForApplication(helper), nullptr);
    EXPECT_TRUE(cache->appsCache().empty());
    EXPECT_EQ(cache->getCachedApplicationExForApplication(nullptr), nullptr);
}

TEST_F(AppMonitoringServiceTest, AnApplicationTheDockDoesNotManageIsNeverTracked) {
    auto cache = service();
    auto dock = launch("Dock", "org.example.dock");
    EXPECT_EQ(cache->getCachedApplicationExForApplication(dock), nullptr);
    EXPECT_TRUE(cache->appsCache().empty());
}

TEST_F(AppMonitoringServiceTest, AddingAgainReplacesTheEntryAndStopsTheOldOne) {
    auto editor = launch("Editor", "org.example.Editor");
    auto cache = service();
    auto first = cache->cachedApplicationForProcessIdentifier(editor->processIdentifier());
    ASSERT_TRUE(first);
    size_t registrations = desk->registrationCount();
    cache->addApplication(editor);
    auto second = cache->cachedApplicationForProcessIdentifier(editor->processIdentifier());
    EXPECT_NE(first, second);
    EXPECT_EQ(cache->appsCache().size(), 1u);
    EXPECT_FALSE(first->isMonitoring());
    EXPECT_TRUE(second->isMonitoring());
    EXPECT_EQ(desk->registrationCount(), registrations);
}

TEST_F(AppMonitoringServiceTest, AReusedProcessIdentifierIsANewApplication) {
    auto cache = service();
    auto old = launch("Editor", "org.example.Editor");
    const desktop::Pid pid = old->processIdentifier();
    auto oldEntry = cache->cachedApplicationForProcessIdentifier(pid);
    // The process ends unnoticed and another one gets its identifier.
    desk->terminateApplication(pid, false);
    RunningApplication::Info info;
    info.pid = pid;
    info.localizedName = "Viewer";
    info.bundleIdentifier = "org.example.Viewer";
    auto fresh = desk->addApplication(info);
    EXPECT_FALSE(fresh->isEqual(old.get()));
    run();
    auto entry = cache->cachedApplicationForProcessIdentifier(pid);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->localizedName(), "Viewer");
    EXPECT_FALSE(oldEntry->isMonitoring());
    // The late news of the old one's end leaves the new one alone.
    cache->removeApplication(old);
    EXPECT_EQ(cache->cachedApplicationForProcessIdentifier(pid), entry);
    // Asking for the old one finds nothing.
    EXPECT_EQ(cache->getCachedApplicationExForApplication(old), nullptr);
    EXPECT_EQ(cache->getCachedApplicationExForApplication(fresh), entry);
}

TEST_F(AppMonitoringServiceTest, TheRecordOfAnApplicationCopiesItsWindows) {
    auto editor = launch("Editor", "org.example.Editor");
    desk->addWindow(editor->processIdentifier(), "one", MakeRect(0, 0, 100, 100));
    run();
    auto entry = service()->getCachedApplicationExForApplication(editor);
    ASSERT_TRUE(entry);
    auto model = AppModel::initWithApp(entry);
    ASSERT_EQ(model->windows().size(), 1u);
    int changes = 0;
    auto watch = model->observe("windows", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++changes; });
    model->removeWindowsAtIndex(5);  // out of range: announced, nothing removed
    EXPECT_EQ(model->windows().size(), 1u);
    model->removeWindowsAtIndex(0);
    EXPECT_TRUE(model->windows().empty());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(entry->windows().size(), 1u);  // a copy
}

}  // namespace
}  // namespace qs
