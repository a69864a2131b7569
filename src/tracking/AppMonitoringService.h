#pragma once
// The one cache of window-tracking application objects (RunningApplicationEx), keyed by
// process identifier and kept current by the workspace's launch and terminate
// notifications; and the test of which applications the dock may show and track at all.
//
// The start-up creates it (dumbInit on the shared instance); the dock model, the cell
// actions and the window previews look applications up through it. Main thread only.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/Workspace.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Object.h"
#include "tracking/RunningApplicationEx.h"

namespace qs {

class AppMonitoringService : public Object {
public:
    // The one service; the first call creates it: the running manageable regular
    // applications are cached, and the launch and terminate observers installed.
    static std::shared_ptr<AppMonitoringService> sharedInstance();
    // YES once sharedInstance has created the cache.
    static bool hasSharedInstance();
    // Drops the service: every tracking object stops (the program calls it at quit).
    static void releaseSharedInstance();
    static void resetSharedInstanceForTesting() { releaseSharedInstance(); }

    AppMonitoringService() = default;
    ~AppMonitoringService() override;

    std::string className() const override { return "AppMonitoringService"; }
    void dumbInit() {}

    // The tracking object of the application's process, made (and tracking) on the spot
    // when the cache has none. nullptr when the process no longer exists, and for an
    // application the dock does not manage.
    RunningApplicationExPtr getCachedApplicationExForApplication(const RunningApplicationPtr& app);
    // A new tracking object for the application's process, stored under its identifier
    // (the one it replaces stops tracking). Nothing is stored when the process is gone.
    void addApplication(const RunningApplicationPtr& app);
    // Drops the entry of the application's process (not an entry that a newer process
    // with the same identifier has taken).
    void removeApplication(const RunningApplicationPtr& app);

    // The cached object of a process, without adding one; nullptr when none.
    RunningApplicationExPtr cachedApplicationForProcessIdentifier(desktop::Pid pid) const;
    const std::map<desktop::Pid, RunningApplicationExPtr>& appsCache() const { return appsCache_; }

private:
    void init();
    void fill();

    std::map<desktop::Pid, RunningApplicationExPtr> appsCache_;
    NotificationCenter::ObserverToken launchObserver_ = 0;
    NotificationCenter::ObserverToken terminateObserver_ = 0;
};

// A plain record of an application and a copy of its window list (unused by the dock).
class AppModel : public Object {
public:
    static std::shared_ptr<AppModel> initWithApp(const RunningApplicationExPtr& app);
    std::string className() const override { return "AppModel"; }

    const std::vector<SIWindowPtr>& windows() const { return windows_; }
    void setWindows(std::vector<SIWindowPtr> windows);
    const RunningApplicationExPtr& app() const { return app_; }
    // Also replaces the windows with a copy of the application's list.
    void setApp(const RunningApplicationExPtr& app);
    // Announced as a change of "windows"; nothing is removed at an index out of range.
    void removeWindowsAtIndex(int64_t index);

    desktop::Pid pid = 0;
    std::string name;
    std::string bundleId;

private:
    std::vector<SIWindowPtr> windows_;
    RunningApplicationExPtr app_;
};

}  // namespace qs

namespace qs::Persistent {

// Whether the dock may show and track the application at all: NO for the system's own
// dock, login window and dashboard processes, by bundle-identifier prefix or name.
bool isManageable(const RunningApplication& app);
// Whether the application keeps out of application lists (its desktop entry says
// NoDisplay=true).
bool isAgent(const RunningApplication& app);

}  // namespace qs::Persistent
