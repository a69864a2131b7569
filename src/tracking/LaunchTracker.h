#pragma once
// Applications the dock has just launched and that have not shown a window yet. On X11
// a program is a running application only once it owns a managed window, so between the
// launch and that first window nothing else tells that it is coming: the dock marks the
// launch here and its cell bounces while the mark lasts. A mark ends when an application
// of that desktop entry is announced as launched (its first window mapped), or after
// kLaunchTimeout seconds when none ever comes (a program that failed, or that only
// hands the request to an instance already running). Every change is posted as
// kLaunchingChangedNotification on the default centre with the entry's path under
// "path".
//
// Main thread only.

#include <map>
#include <string>

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"

namespace qs {

class LaunchTracker {
public:
    static constexpr double kLaunchTimeout = 15.0;
    static constexpr const char* kLaunchingChangedNotification = "QuaysideLaunchingChanged";

    static LaunchTracker& shared();
    // Drops every mark and the workspace observer (tests, shutdown).
    static void resetSharedForTesting();

    LaunchTracker();
    ~LaunchTracker();
    LaunchTracker(const LaunchTracker&) = delete;
    LaunchTracker& operator=(const LaunchTracker&) = delete;

    // Marks the desktop entry at the path as launching (again: the timeout starts anew).
    void markLaunching(const std::string& bundlePath);
    bool isLaunching(const std::string& bundlePath) const;
    // Ends the mark of the entry (also what a launch announcement does).
    void endLaunching(const std::string& bundlePath);
    size_t count() const { return launching_.size(); }

    // Whether two desktop-entry paths name the same entry: the same path, or the same
    // desktop-file name (one entry reached through two folders or a link).
    static bool sameEntry(const std::string& a, const std::string& b);

private:
    void applicationDidLaunch(const Notification& notification);
    void post(const std::string& bundlePath);

    struct Mark {
        RunLoop* loop = nullptr;
        RunLoop::TimerId timeout = 0;
    };
    std::map<std::string, Mark> launching_;
    NotificationCenter::ObserverToken launchObserver_ = 0;
};

}  // namespace qs
