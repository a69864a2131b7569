#pragma once
// The application delegate with the real interface of the program's own windows, on the
// sim desktop, offscreen: a recording shell (quitting and activation counted), the
// program's resources found beside the built program, and private autostart folders.

#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/AppDelegate.h"
#include "core/ApplicationInterface.h"
#include "core/DockTestSupport.h"
#include "platform/desktop/CrashReporting.h"
#include "platform/desktop/MainBundle.h"
#include "platform/desktop/Updater.h"
#include "preferences/AppShell.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/BadgeHelper.h"
#include "support/Files.h"

namespace qs::test {

class RecordingShell : public AppShell {
public:
    void activateIgnoringOtherApps() override {
        ++activations;
        AppShell::activateIgnoringOtherApps();
    }
    void terminate() override { ++quits; }
    int activations = 0;
    int quits = 0;
};

inline std::string buildDirectory() { return QUAYSIDE_BUILD_DIR; }

inline void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class AppShellTest : public DockTest {
protected:
    AppShellTest() {
        setenv("XDG_CONFIG_DIRS", (env.root() + "/xdg").c_str(), 1);
        MainBundle::setExecutablePathForTesting(buildDirectory() + "/quayside");
        AppDelegate::resetDockStartForTesting();
        BadgeHelper::resetSharedInstanceForTesting();
        AppMonitoringService::resetSharedInstanceForTesting();
        SUUpdater::sharedUpdater().resetForTesting();
        MSAppCenter::resetForTesting();
        ApplicationInterface::install(shell);
        SUUpdater::sharedUpdater().setUserDriver(shell);
    }
    ~AppShellTest() override {
        delegate.reset();
        ApplicationInterface::install(nullptr);
        SUUpdater::sharedUpdater().resetForTesting();
        shell.reset();
        BadgeHelper::resetSharedInstanceForTesting();
        AppMonitoringService::resetSharedInstanceForTesting();
        MainBundle::setExecutablePathForTesting(std::nullopt);
        unsetenv("XDG_CONFIG_DIRS");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The launch, without running the dock start queued by it.
    void launch() { delegate->applicationDidFinishLaunching(); }

    std::string autostartEntry() const { return env.configHome() + "/autostart/org.quayside.Quayside.desktop"; }

    std::shared_ptr<RecordingShell> shell = std::make_shared<RecordingShell>();
    std::shared_ptr<AppDelegate> delegate = AppDelegate::create();
};

}  // namespace qs::test
