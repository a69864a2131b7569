#include <filesystem>

#include <gtest/gtest.h>

#include "core/AppDelegate.h"
#include "core/DockTestSupport.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/Workspace.h"

namespace qs::test {
namespace {

// A workspace with one running application of a chosen bundle identifier; terminations
// are counted.
class OneAppWorkspace : public desktop::Workspace {
public:
    explicit OneAppWorkspace(const std::string& bundleIdentifier) {
        RunningApplication::Info info;
        info.pid = 4242;
        info.bundleIdentifier = bundleIdentifier;
        info.localizedName = "Dock";
        app = std::make_shared<RunningApplication>(info);
    }
    std::vector<RunningApplicationPtr> runningApplications() override { return {app}; }
    RunningApplicationPtr frontmostApplication() override { return nullptr; }
    RunningApplicationPtr currentApplication() override { return nullptr; }
    bool activate(RunningApplication&, unsigned) override { return false; }
    bool hide(RunningApplication&) override { return false; }
    bool unhide(RunningApplication&) override { return false; }
    bool terminate(RunningApplication&) override {
        ++terminations;
        return true;
    }
    bool forceTerminate(RunningApplication&) override { return false; }
    std::optional<desktop::DesktopEntry> entryForBundleIdentifier(const std::string&) override { return {}; }
    std::optional<desktop::DesktopEntry> entryAtPath(const std::string&) override { return {}; }
    std::vector<desktop::DesktopEntry> applicationsForMimeType(const std::string&) override { return {}; }
    ImagePtr iconForFile(const std::string&) override { return nullptr; }
    bool openFile(const std::string&, const std::string&) override { return false; }
    bool openURL(const URL&) override { return false; }
    bool launchApplication(const std::string&) override { return false; }
    bool launchAppWithBundleIdentifier(const std::string&, unsigned) override { return false; }

    RunningApplicationPtr app;
    int terminations = 0;
};

class SystemDock : public DockTest {
protected:
    SystemDock() {
        workspace = std::make_shared<OneAppWorkspace>("com.apple.dock");
        desktop::services().workspace = workspace;
        suite = UserDefaults::suiteNamed("com.apple.dock");
        for (const char* key : {"autohide-delay", "autohide", "no-bouncing"})
            watches.push_back(suite->observe(key, KeyValueObservingOptionNew,
                                             [this, key](const KeyValueChange&) { writes.push_back(key); }));
    }
    ~SystemDock() override { desktop::services().workspace = nullptr; }

    void startWithHideAppleDock(bool hide) {
        defaults().setBool(hide, "HideAppleDock");
        delegate->applicationDidFinishLaunching();
        env.loop().runPending();
    }
    bool isHiddenState() const {
        return suite->integerForKey("autohide-delay") == 1000000 && suite->boolForKey("autohide") &&
               suite->boolForKey("no-bouncing");
    }
    bool isRestoredState() const {
        return suite->objectForKey("autohide-delay").isNil() && suite->objectForKey("autohide") == Value(false) &&
               suite->objectForKey("no-bouncing") == Value(false);
    }

    std::shared_ptr<OneAppWorkspace> workspace;
    std::shared_ptr<UserDefaults> suite;
    std::vector<KeyValueObservation> watches;
    std::vector<std::string> writes;
    std::shared_ptr<AppDelegate> delegate = AppDelegate::create();

private:
    struct ResetStart {
        ResetStart() { AppDelegate::resetDockStartForTesting(); }
    } resetStart_;
};

TEST_F(SystemDock, StartHidesAVisibleSystemDockAndRestartsItOnce) {
    startWithHideAppleDock(true);
    EXPECT_TRUE(isHiddenState());
    EXPECT_EQ(writes, (std::vector<std::string>{"autohide-delay", "autohide", "no-bouncing"}));
    EXPECT_EQ(workspace->terminations, 1);
    // The suite reached its own file.
    EXPECT_TRUE(std::filesystem::exists(suite->filePath()));
}

TEST_F(SystemDock, StartThresholdIsFiftyNine) {
    suite->setInteger(60, "autohide-delay");
    writes.clear();
    startWithHideAppleDock(true);
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(workspace->terminations, 0);

    AppDelegate::resetDockStartForTesting();
    DockManager::resetSharedInstanceForTesting();
    suite->setInteger(59, "autohide-delay");
    delegate = AppDelegate::create();
    startWithHideAppleDock(true);
    EXPECT_TRUE(isHiddenState());
}

TEST_F(SystemDock, StartWithoutTheSettingLeavesTheSuiteAlone) {
    startWithHideAppleDock(false);
    delegate->applicationWillTerminate();
    EXPECT_TRUE(writes.empty());
    EXPECT_TRUE(suite->persistentDomain().empty());
    EXPECT_EQ(workspace->terminations, 0);
}

TEST_F(SystemDock, ToggleHidesUpToSixtyAndOtherwiseRestores) {
    suite->setInteger(60, "autohide-delay");
    delegate->toggleMacOSDockAction(true);
    EXPECT_TRUE(isHiddenState());

    writes.clear();
    delegate->toggleMacOSDockAction(true);  // already hidden: a hide request gives it back
    // The user's own delay of 60 comes back; the two switches had no value, so they read NO.
    EXPECT_EQ(suite->objectForKey("autohide-delay"), Value(60));
    EXPECT_EQ(suite->objectForKey("autohide"), Value(false));
    EXPECT_EQ(suite->objectForKey("no-bouncing"), Value(false));
    EXPECT_EQ(writes, (std::vector<std::string>{"no-bouncing", "autohide", "autohide-delay"}));
    EXPECT_EQ(workspace->terminations, 2);
}

TEST_F(SystemDock, RestoreGivesBackWhatTheUserHadBeforeHiding) {
    suite->setBool(true, "autohide");
    suite->setDouble(0.5, "autohide-delay");
    delegate->toggleMacOSDockAction(true);
    ASSERT_TRUE(isHiddenState());
    delegate->toggleMacOSDockAction(false);
    EXPECT_EQ(suite->objectForKey("autohide"), Value(true));
    EXPECT_EQ(suite->objectForKey("autohide-delay"), Value(0.5));
    EXPECT_EQ(suite->objectForKey("no-bouncing"), Value(false));  // never set: the plain restored value
    EXPECT_TRUE(defaults().objectForKey("SavedAppleDockState").isNil());
    // A later restore without a remembered state falls back to the plain one.
    delegate->toggleMacOSDockAction(false);
    EXPECT_TRUE(isRestoredState());
}

TEST_F(SystemDock, QuitArchivesTheDockBeforeGivingTheSystemDockBack) {
    startWithHideAppleDock(true);
    std::vector<std::string> order;
    auto a = defaults().observe("MainDockConfigKey", KeyValueObservingOptionNew,
                                [&](const KeyValueChange&) { order.push_back("archive"); });
    auto b = suite->observe("no-bouncing", KeyValueObservingOptionNew,
                            [&](const KeyValueChange&) { order.push_back("system dock"); });
    delegate->applicationWillTerminate();
    EXPECT_EQ(order, (std::vector<std::string>{"archive", "system dock"}));
    EXPECT_TRUE(isRestoredState());
    EXPECT_EQ(workspace->terminations, 2);
}

TEST_F(SystemDock, NoSystemDockProcessIsNotAnError) {
    auto other = std::make_shared<OneAppWorkspace>("org.example.Other");
    desktop::services().workspace = other;
    delegate->toggleMacOSDockAction(true);
    EXPECT_TRUE(isHiddenState());
    EXPECT_EQ(other->terminations, 0);
    desktop::services().workspace = nullptr;  // no workspace at all
    delegate->toggleMacOSDockAction(false);
    EXPECT_TRUE(isRestoredState());
}

}  // namespace
}  // namespace qs::test
