#pragma once
// The dock's one ordered list of items (panelContent: running applications, kept
// applications, files and folders, groups, separators, the start menu and the trash) and
// its block list (blackList), archived under "persistent" and "blackList". Item kinds are
// told apart by their class-name literal.
//
// Index rules: nothing is ever placed after a trash that stands last. addItem keeps the
// trash last (when it is last) and sorts; addItem(item, after), addSeparatorAffterItem
// and addNewGroupAfterItem insert right after the anchor (at the end when it is absent),
// before a trailing trash; insertFiles puts the files at index, index + 1, ...;
// rearange moves one item, never past the trash (a dragged trash goes where it is
// dropped), and is the only edit here that posts "saveDocksData".

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/Workspace.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"

namespace qs {

class BlacklistItem;
class FileSystemNode;

class DockModel : public Object, public Coding, public KeyValueObserver {
public:
    // A new model (init): empty lists, then setUpModel.
    static std::shared_ptr<DockModel> create();
    // The archived model: the stored items in their stored order, then setUpModel.
    static std::shared_ptr<DockModel> initWithCoder(Coder& coder);
    ~DockModel() override;

    std::string className() const override { return "DockModel"; }
    std::vector<std::string> classHierarchy() const override { return {"DockModel", "NSObject"}; }
    void encodeWithCoder(Coder& coder) const override;

    const Array& panelContent() const { return panelContent_; }
    void setPanelContent(Array content);
    const Array& blackList() const { return blackList_; }
    void setBlackList(Array list);
    // The stored items plus a file item for each running application kept in the dock.
    const Array& persistentContent() const { return persistentContent_; }
    bool finishedStartActions() const { return finishedStartActions_; }

    // Editing.
    void addItem(const ObjectPtr& item);
    void addItem(const ObjectPtr& item, const ObjectPtr& afterItem);
    void addSeparatorAffterItem(const ObjectPtr& anchor);
    void addNewGroupAfterItem(const ObjectPtr& anchor);
    // An index past the end inserts at the end.
    void insertFiles(const std::vector<URLPtr>& urls, int64_t index);
    // NO (and nothing moves) when draggedCellIndex is not an index of the list.
    bool rearange(int64_t destination, int64_t draggedCellIndex);
    void removeItem(const ObjectPtr& item);
    void removeObjectFromDock(const ObjectPtr& item) { removeItem(item); }

    // The start-menu and trash slots.
    void addStartMenu();
    void removeStartMenu();
    bool hasStartMenu() const;
    void addTrash();
    void removeTrash();
    bool hasTrash() const;

    // Writes "enableStartMenu", "enableTrash" and "sortOrder" when absent.
    void createDefaultsValue();
    void setUpModel();

    // Running applications. The manageable ones are the regular applications other than
    // this program that the dock may manage (allRunningsApps is the same list).
    std::vector<RunningApplicationPtr> getManageableRunningApps() const;
    std::vector<RunningApplicationPtr> allRunningsApps() const { return getManageableRunningApps(); }
    // Adds every manageable application that is not blocked.
    void addRunningApps();
    // Observes launches, quits, activations and deactivations on the workspace centre.
    void startMonitoringAppsNotifications();
    void applicationWillLaunch(const Notification&) {}
    // A launched application takes the slot of the file item that stands for it (and is
    // kept), or goes before the trash; sorting follows after 0.5 s.
    void applicationDidLaunch(const Notification& notification);
    // processTerminatedApp, then sorting after 0.5 s.
    void applicationTerminated(const Notification& notification);
    // A kept application turns back into its file item in its slot; another one leaves.
    void processTerminatedApp(const RunningApplicationPtr& app);
    void didActivateApplication(const Notification& notification);
    void didDeActivateApplication(const Notification& notification);
    // Leaves the dock once the application has no window (checked again every 0.5 s).
    void checkWindowsAndRemove(const RunningApplicationPtr& app);
    // Every 2.0 s: applications no longer running (or no longer manageable) leave.
    void periodicalUpdateAppsList();
    // The top-level file item standing for the application: the one of its bundle URL,
    // else an application item of its name; -1 when none.
    long indexOfStoredFileSystemNodeForApp(const RunningApplication& app) const;
    void updatePersistentContent(const Notification& notification);
    void sortItems();

    // The block list (matched by name).
    bool isAppInBlackList(const RunningApplication& app) const;
    void addToBlackListApp(const RunningApplicationPtr& app);
    // An application chosen as a file (its desktop entry).
    void addToBlackListNode(const std::shared_ptr<FileSystemNode>& node);
    void removeFromBlackListItem(const std::shared_ptr<BlacklistItem>& entry);
    RunningApplicationPtr runningApplicationByLocalizedName(const std::string& name) const;

    void observeValueForKeyPath(const std::string& keyPath, Object* object, const KeyValueChange& change,
                                void* context) override;
    Value valueForKey(const std::string& key) const override;

    // The index of the first item equal to `item`, -1 when none.
    long indexOfItem(const Object* item) const;
    bool containsItem(const Object* item) const { return indexOfItem(item) >= 0; }

private:
    // What cannot be made an item is left out and told to the coder.
    void loadPersistentObjects(const Array& stored, Coder& coder);
    // Watches a folder item and, with `list`, lists its children in the background.
    void prepareFolder(const ObjectPtr& item, bool list = true);
    // Where an insertion at `index` goes: the index itself, except that nothing is placed
    // after a trash that stands last (it goes just before the trash).
    long placeBeforeTrailingTrash(long index) const;
    long indexOfKind(const std::string& className) const;
    void announce(const std::function<void()>& change);

    // Whether a running application is kept: persistentContent holds a file item of its
    // bundle URL.
    bool isKept(const RunningApplication& app) const;
    void mergeLaunchedApp(const RunningApplicationPtr& app);
    void scheduleSort();
    void scheduleWindowCheck(const RunningApplicationPtr& app, double delay);
    std::shared_ptr<DockModel> self();

    Array persistentContent_;
    bool finishedStartActions_ = false;
    Array panelContent_;
    Array blackList_;

    NotificationCenter::ObserverToken persistentObserver_ = 0;
    RunLoop::TimerId refreshTimer_ = 0;
    RunLoop* refreshLoop_ = nullptr;
    bool observingSettings_ = false;
    std::vector<NotificationCenter::ObserverToken> workspaceObservers_;
    bool sortPending_ = false;
    // One pending window check per application (by process identifier).
    std::map<desktop::Pid, RunLoop::TimerId> windowChecks_;
};

}  // namespace qs
