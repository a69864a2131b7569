#pragma once
// A running application that keeps the list of its normal windows, most recent first,
// current: from the accessibility notifications of the application (window created,
// focused window changed, application activated) and of each window (destroyed,
// deminiaturised, resized), from the window server's front-to-back order, and from
// activations of any application on the system. The running-application cache makes
// one per managed process and calls stopMonitoring when it drops it.
//
// Everything runs on the main thread.

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/desktop/Workspace.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "tracking/SIApplication.h"
#include "tracking/SIWindow.h"

namespace qs {

class RunningApplicationEx : public RunningApplication {
public:
    // A new object for the running application that has the identifier (its state as
    // the workspace tells it now); nullptr when no running application has it.
    static std::shared_ptr<RunningApplicationEx> runningApplicationWithProcessIdentifier(desktop::Pid pid);

    RunningApplicationEx(Info info, std::weak_ptr<RunningApplication> application);
    ~RunningApplicationEx() override;

    // Called when a tracked window appears or is resized (the dock keeps maximised
    // windows clear of itself); none by default. Set by whoever owns the panels.
    using WindowChangedHandler = std::function<void(const SIWindowPtr&)>;
    static void setWindowChangedHandler(WindowChangedHandler handler);

    std::string className() const override { return "RunningApplicationEx"; }
    std::vector<std::string> classHierarchy() const override {
        return {"RunningApplicationEx", "NSRunningApplication", "NSObject"};
    }
    // "windows" (an array of SIWindow) and "minimized", else the running application's.
    Value valueForKey(const std::string& key) const override;

    // The workspace's own object for this process (its hidden, active and terminated
    // state are kept current there); nullptr once the workspace has let it go.
    RunningApplicationPtr application() const { return application_.lock(); }

    // Starts the tracking: the list, the application wrapper, the windows it has now, a
    // sort after 0.6 s and the observations. A second call changes nothing.
    void initWindowsMonitoring();
    // Ends every observation, pending delayed call and workspace observer of the
    // object; the list stays as it was. Also done on destruction.
    void stopMonitoring();
    bool isMonitoring() const { return monitoring_; }

    // The tracked windows, index 0 the most recent. hasWindowList() is NO until the
    // tracking starts (the list does not exist yet); the list is then empty.
    const std::vector<SIWindowPtr>& windows() const { return windows_; }
    bool hasWindowList() const { return hasWindowList_; }
    // Replaces the list, announced as a change of "windows".
    void setWindows(std::vector<SIWindowPtr> windows);
    // A new normal window goes in front (announced) and is observed; nil, a window
    // already listed and a window that is not normal are ignored.
    void addWindow(const SIWindowPtr& window);
    // Ends the window's observations and takes it out of the list (announced when it
    // was listed). nil is ignored.
    void removeWindow(const SIWindowPtr& window);
    // Sorts the list, then moves the listed window equal to `window` to the front.
    void moveWindowToFirstIndex(const SIWindowPtr& window);
    // The list in window-server order, without duplicates (announced only when the
    // order changes).
    void manualSortWindows();
    // The tracked windows in window-server order: the on-screen ones front to back,
    // then the others in their present list order.
    std::vector<SIWindowPtr> allWindows() const;
    // Window numbers of the on-screen windows (desktop elements left out), front to back.
    std::vector<desktop::WindowNumber> orderedWindowIDs() const;
    // The same with the off-screen windows too.
    std::vector<desktop::WindowNumber> allOrderedWindowIDs() const;
    // Reads the application's windows afresh and adds the ones not yet tracked.
    void rescanWindows();
    // Removes every tracked window that the window server no longer lists.
    void removeBadWindows();
    // Some application was activated: rescans after 0.2 s and again after 0.5 s.
    void onApplicationActivated();
    // Asks for a picture of every tracked window that has none yet.
    void upratePreviews();
    // YES when any tracked window is minimised.
    bool minimized() const;
    // Brings the most recent window forward; nothing without windows.
    void tryRestore();
    // Opens each file with this application.
    void openFiles(const std::vector<URLPtr>& urls);
    void regenerateActiveIDCache() {}

    const SIApplicationPtr& siApp() const { return siApp_; }
    const Dictionary& activeIDCache() const { return activeIDCache_; }
    // Delayed calls not yet run (for tests).
    size_t pendingCallCount() const { return pending_.size(); }

private:
    std::shared_ptr<RunningApplicationEx> self();
    long indexOfWindow(const SIAccessibilityElement* window) const;
    void later(double delay, void (RunningApplicationEx::*call)());
    // A window that has just arrived has not drawn itself yet, and one that lives only a
    // moment is never shown in a preview: the first pictures of the windows added are
    // taken together a second later (a preview shown before then asks for its own).
    void takeFirstPictures();
    std::vector<std::weak_ptr<SIWindow>> picturesDue_;
    void observeWindow(const SIWindowPtr& window);
    static void windowChanged(const SIWindowPtr& window);

    std::weak_ptr<RunningApplication> application_;
    std::vector<SIWindowPtr> windows_;
    bool hasWindowList_ = false;
    SIApplicationPtr siApp_;
    Dictionary activeIDCache_;
    bool monitoring_ = false;
    NotificationCenter::ObserverToken activationObserver_ = 0;
    std::set<RunLoop::TimerId> pending_;
    RunLoop* loop_ = nullptr;
};

using RunningApplicationExPtr = std::shared_ptr<RunningApplicationEx>;

}  // namespace qs
