#include "core/DockModel.h"

#include <QString>
#include <algorithm>
#include <unordered_map>

#include "core/BlacklistItem.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/MenuModel.h"
#include "core/RunningApplicationPersistent.h"
#include "core/Separator.h"
#include "core/TrashModel.h"
#include "platform/desktop/Desktop.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "tracking/AppMonitoringService.h"

namespace qs {

namespace {
const bool registered = registerCodingClass<DockModel>("DockModel");

char myContext[] = "myContext";

constexpr const char* kSettingsKeyPaths[] = {"values.enableStartMenu", "values.ShowThumbnails", "values.sortOrder",
                                             "values.enableTrash", "values.DoNotDisplayRunning"};

UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }

// The kinds of item that are stored in the archive as themselves.
bool isArchivedKind(const std::string& name) {
    return name == "FileSystemNode" || name == "GroupModel" || name == "TrashModel" || name == "MenuModel" ||
           name == "Separator";
}

bool isKind(const Value& item, const char* className) {
    auto object = item.object();
    return object && object->className() == className;
}

// A file item that stands for a folder (application bundles included).
FileSystemNodePtr directoryNode(const ObjectPtr& item) {
    if (!item || item->className() != "FileSystemNode") return nullptr;
    auto node = std::dynamic_pointer_cast<FileSystemNode>(item);
    return node && node->isDirectory() ? node : nullptr;
}

long indexIn(const Array& list, const Object* item) {
    if (!item) return -1;
    for (size_t i = 0; i < list.size(); ++i) {
        auto object = list[i].object();
        if (object && (object.get() == item || object->isEqual(item))) return long(i);
    }
    return -1;
}
}  // namespace

// ---- construction and set-up ---------------------------------------------------------

std::shared_ptr<DockModel> DockModel::create() {
    (void)registered;
    auto model = std::make_shared<DockModel>();
    model->setUpModel();
    return model;
}

std::shared_ptr<DockModel> DockModel::initWithCoder(Coder& coder) {
    auto model = std::make_shared<DockModel>();
    Value stored = coder.decodeObjectForKey("persistent");
    Value blackList = coder.decodeObjectForKey("blackList");
    if (const Array* entries = blackList.array()) {
        for (const Value& entry : *entries)
            if (entry.object()) model->blackList_.push_back(entry);
    }
    // The start menu with the user's entries, stored also while it is not in the dock
    // (switched off), so that switching it on again brings them back. Decoding it makes
    // it the shared start menu; in "persistent" it is the same object.
    (void)coder.decodeObjectForKey("startMenu");
    if (stored.array() && !stored.array()->empty()) model->loadPersistentObjects(*stored.array(), coder);
    model->setUpModel();
    return model;
}

DockModel::~DockModel() {
    if (persistentObserver_) NotificationCenter::defaultCenter().removeObserver(persistentObserver_);
    for (auto token : workspaceObservers_) NotificationCenter::workspaceCenter().removeObserver(token);
    for (auto& [pid, timer] : windowChecks_)
        if (RunLoop::isLive(refreshLoop_)) refreshLoop_->cancel(timer);
    if (refreshTimer_ && RunLoop::isLive(refreshLoop_)) refreshLoop_->cancel(refreshTimer_);
    if (observingSettings_) {
        auto& controller = UserDefaultsController::sharedUserDefaultsController();
        for (const char* keyPath : kSettingsKeyPaths) controller.removeObserver(this, keyPath, myContext);
    }
}

void DockModel::createDefaultsValue() {
    auto& store = defaults();
    const std::pair<const char*, Value> table[] = {
        {"enableStartMenu", Value(true)}, {"enableTrash", Value(true)}, {"sortOrder", Value(0)}};
    bool added = false;
    for (const auto& [key, value] : table) {
        if (!store.valueForKey(key).isNil()) continue;
        store.setObject(value, key);
        added = true;
    }
    if (added) store.synchronize();  // one write for the table
}

void DockModel::setUpModel() {
    auto& store = defaults();
    if (!store.boolForKey("DoNotDisplayRunning")) addRunningApps();
    startMonitoringAppsNotifications();
    createDefaultsValue();
    if (store.boolForKey("enableTrash") && !hasTrash()) addTrash();
    if (!hasStartMenu() && store.boolForKey("enableStartMenu")) addStartMenu();
    finishedStartActions_ = true;

    std::weak_ptr<DockModel> weak = std::static_pointer_cast<DockModel>(shared_from_this());
    RunLoop::main().after(0.5, [weak] {
        if (auto self = weak.lock()) self->sortItems();
    });

    persistentObserver_ = NotificationCenter::defaultCenter().addObserver(
        this, "isPersistent", nullptr, [weak](const Notification& note) {
            if (auto self = weak.lock()) self->updatePersistentContent(note);
        });

    auto& controller = UserDefaultsController::sharedUserDefaultsController();
    for (const char* keyPath : kSettingsKeyPaths)
        controller.addObserver(this, keyPath, KeyValueObservingOptionNew | KeyValueObservingOptionOld, myContext);
    observingSettings_ = true;

    refreshLoop_ = &RunLoop::main();
    refreshTimer_ = refreshLoop_->every(2.0, [weak] {
        if (auto self = weak.lock()) self->periodicalUpdateAppsList();
    });
}

void DockModel::loadPersistentObjects(const Array& stored, Coder& coder) {
    for (const Value& item : stored)
        if (item.object()) persistentContent_.push_back(item);
    if (persistentContent_.size() != stored.size())
        coder.noteLeftOut(std::to_string(stored.size() - persistentContent_.size()) +
                          " stored dock item(s) that cannot be read were left out");

    // Each item goes in as addItem puts it (once, before a trash that ends the list),
    // with the list indexed by hash: a stored dock of thousands of items loads in linear
    // time. A folder is watched from now on; it is listed when it is first shown.
    std::unordered_map<uint64_t, std::vector<const Object*>> present;
    for (const Value& v : panelContent_)
        if (auto o = v.object()) present[o->hash()].push_back(o.get());
    auto restore = [&](const ObjectPtr& item) {
        prepareFolder(item, false);
        auto& same = present[item->hash()];
        for (const Object* o : same)
            if (o == item.get() || o->isEqual(item.get())) return;
        same.push_back(item.get());
        announce([&] {
            const long at = placeBeforeTrailingTrash(long(panelContent_.size()));
            panelContent_.insert(panelContent_.begin() + at, Value(item));
        });
    };

    const auto running = getManageableRunningApps();
    for (const Value& item : persistentContent_) {
        auto object = item.object();
        const std::string kind = object->className();
        if (kind == "FileSystemNode") {
            auto storedNode = std::dynamic_pointer_cast<FileSystemNode>(object);
            auto url = storedNode ? storedNode->URL() : nullptr;
            auto fresh = url ? FileSystemNode::initWithURL(url) : nullptr;
            if (!fresh) {
                coder.noteLeftOut("a stored file item without a usable URL was left out");
                continue;
            }
            // The folder's grid choice is the user's: keep it across restarts.
            if (storedNode->showAsGrid()) fresh->setShowAsGrid(true);
            RunningApplicationPtr app;
            if (fresh->isApplication()) {
                for (const auto& candidate : running) {
                    auto bundle = candidate->bundleURL();
                    if (bundle && bundle->isEqual(url.get())) {
                        app = candidate;
                        break;
                    }
                }
                if (!app) app = runningApplicationByLocalizedName(fresh->localizedName());
            }
            if (app) {
                Persistent::setIsPersistent(*app, true);
                // Found by name (its bundle was moved): it is kept under the URL it has
                // now, or the next save would leave it out.
                if (auto now = app->bundleURL(); now && !now->isEqual(url.get()))
                    if (indexIn(persistentContent_, FileSystemNode::initWithURL(now).get()) < 0)
                        persistentContent_.push_back(Value(FileSystemNode::initWithURL(now)));
                restore(app);
            } else {
                restore(fresh);
            }
        } else if (kind == "MenuModel") {
            if (defaults().boolForKey("enableStartMenu")) restore(object);
        } else if (kind == "GroupModel" || kind == "TrashModel" || kind == "Separator") {
            restore(object);
        } else {
            coder.noteLeftOut("a stored dock item of kind " + kind + " was left out");
        }
    }
}

// ---- archive -------------------------------------------------------------------------

void DockModel::encodeWithCoder(Coder& coder) const {
    Array stored;
    Array keptApps;  // the file items stored for running applications
    for (const Value& item : panelContent_) {
        auto object = item.object();
        if (!object) continue;
        const std::string kind = object->className();
        if (kind == "NSRunningApplication") {
            auto app = std::dynamic_pointer_cast<RunningApplication>(object);
            auto bundle = app ? app->bundleURL() : nullptr;
            auto node = bundle ? FileSystemNode::initWithURL(bundle) : nullptr;
            // Two processes of one kept application are stored as one item.
            if (node && indexIn(persistentContent_, node.get()) >= 0 && indexIn(keptApps, node.get()) < 0) {
                stored.push_back(Value(node));
                keptApps.push_back(Value(node));
            }
        } else if (isArchivedKind(kind)) {
            stored.push_back(item);
        }
    }
    coder.encodeObject(Value(std::move(stored)), "persistent");
    coder.encodeObject(Value(blackList_), "blackList");
    if (auto menu = MenuModel::existingInstance()) coder.encodeObject(Value(menu), "startMenu");
}

// ---- accessors -----------------------------------------------------------------------

void DockModel::announce(const std::function<void()>& change) {
    willChangeValueForKey("panelContent");
    change();
    didChangeValueForKey("panelContent");
}

void DockModel::setPanelContent(Array content) {
    announce([&] { panelContent_ = std::move(content); });
}

void DockModel::setBlackList(Array list) {
    willChangeValueForKey("blackList");
    blackList_ = std::move(list);
    didChangeValueForKey("blackList");
}

Value DockModel::valueForKey(const std::string& key) const {
    if (key == "panelContent") return Value(panelContent_);
    if (key == "blackList") return Value(blackList_);
    return Object::valueForKey(key);
}

long DockModel::indexOfItem(const Object* item) const { return indexIn(panelContent_, item); }

long DockModel::indexOfKind(const std::string& className) const {
    for (size_t i = 0; i < panelContent_.size(); ++i)
        if (isKind(panelContent_[i], className.c_str())) return long(i);
    return -1;
}

// ---- editing -------------------------------------------------------------------------

void DockModel::prepareFolder(const ObjectPtr& item, bool list) {
    auto node = directoryNode(item);
    if (!node) return;
    if (list) node->populateChildrenArrayInBackground();
    node->watchChanges();
}

void DockModel::addItem(const ObjectPtr& item) {
    if (!item) return;
    prepareFolder(item);
    if (!containsItem(item.get())) {
        announce([&] {
            long trash = indexOfKind("TrashModel");
            if (trash < 0 || item->className() == "TrashModel" || long(panelContent_.size()) != trash + 1)
                panelContent_.push_back(Value(item));
            else
                panelContent_.insert(panelContent_.begin() + trash, Value(item));
        });
    }
    sortItems();
}

void DockModel::addItem(const ObjectPtr& item, const ObjectPtr& afterItem) {
    if (!item) return;
    long anchor = indexOfItem(afterItem.get());
    prepareFolder(item);
    announce([&] {
        long at = anchor < 0 ? long(panelContent_.size()) : anchor + 1;
        panelContent_.insert(panelContent_.begin() + placeBeforeTrailingTrash(at), Value(item));
    });
}

long DockModel::placeBeforeTrailingTrash(long index) const {
    // Nothing goes after a trash that stands last: what would follow it goes just before.
    const long count = long(panelContent_.size());
    if (count > 0 && index >= count && isKind(panelContent_.back(), "TrashModel")) return count - 1;
    return std::clamp<long>(index, 0, count);
}

void DockModel::addSeparatorAffterItem(const ObjectPtr& anchor) { addItem(Separator::create(), anchor); }

void DockModel::addNewGroupAfterItem(const ObjectPtr& anchor) { addItem(GroupModel::create(), anchor); }

void DockModel::insertFiles(const std::vector<URLPtr>& urls, int64_t index) {
    // A drop index outside the list lands at its nearer end, before a trailing trash.
    int64_t at = placeBeforeTrailingTrash(long(std::clamp<int64_t>(index, 0, int64_t(panelContent_.size()))));
    announce([&] {
        for (const auto& url : urls) {
            auto node = url ? FileSystemNode::initWithURL(url) : nullptr;
            if (!node) {
                log("-[DockModel insertFiles:atIndex:] a dropped file without a usable URL was skipped");
                continue;
            }
            panelContent_.insert(panelContent_.begin() + at, Value(node));
            ++at;
            prepareFolder(node);
        }
    });
}

bool DockModel::rearange(int64_t destination, int64_t draggedCellIndex) {
    if (draggedCellIndex < 0 || draggedCellIndex >= int64_t(panelContent_.size())) {
        log("-[DockModel rearange:draggedCellIndex:] no item at index " + std::to_string(draggedCellIndex));
        return false;
    }
    announce([&] {
        // Only the dragged entry moves: an equal duplicate elsewhere in the list stays.
        Value item = panelContent_[size_t(draggedCellIndex)];
        panelContent_.erase(panelContent_.begin() + draggedCellIndex);
        int64_t d = std::max<int64_t>(destination, 0);
        if (!isKind(item, "TrashModel")) {
            long trash = indexOfKind("TrashModel");
            if (trash >= 0) d = std::min<int64_t>(d, trash);
        }
        if (d >= int64_t(panelContent_.size()))
            panelContent_.push_back(item);
        else
            panelContent_.insert(panelContent_.begin() + d, item);
    });
    NotificationCenter::defaultCenter().postNotificationName("saveDocksData");
    return true;
}

void DockModel::removeItem(const ObjectPtr& item) {
    if (!item) return;
    if (containsItem(item.get())) {
        announce([&] {
            std::erase_if(panelContent_, [&](const Value& v) {
                auto object = v.object();
                return object && (object.get() == item.get() || object->isEqual(item.get()));
            });
        });
    }
    if (auto node = directoryNode(item)) node->stopWatching();
}

// ---- start menu and trash ------------------------------------------------------------

void DockModel::addStartMenu() {
    auto menu = MenuModel::init();
    if (!menu || containsItem(menu.get())) return;
    announce([&] { panelContent_.insert(panelContent_.begin(), Value(menu)); });
}

void DockModel::removeStartMenu() {
    long i = indexOfKind("MenuModel");
    if (i < 0) return;
    announce([&] { panelContent_.erase(panelContent_.begin() + i); });
}

bool DockModel::hasStartMenu() const { return indexOfKind("MenuModel") >= 0; }

void DockModel::addTrash() {
    if (auto trash = TrashModel::init()) addItem(trash);
}

void DockModel::removeTrash() {
    long i = indexOfKind("TrashModel");
    if (i >= 0) removeItem(panelContent_[size_t(i)].object());
}

bool DockModel::hasTrash() const { return indexOfKind("TrashModel") >= 0; }

// ---- running applications ------------------------------------------------------------

std::shared_ptr<DockModel> DockModel::self() { return std::static_pointer_cast<DockModel>(shared_from_this()); }

std::vector<RunningApplicationPtr> DockModel::getManageableRunningApps() const {
    std::vector<RunningApplicationPtr> out;
    auto* workspace = desktop::services().workspace.get();
    if (!workspace) return out;
    auto current = workspace->currentApplication();
    for (auto& app : workspace->runningApplications()) {
        if (!app || app->activationPolicy() != NSApplicationActivationPolicyRegular) continue;
        if (current && app->isEqual(current.get())) continue;
        if (!Persistent::isManageable(*app)) continue;
        out.push_back(app);
    }
    return out;
}

void DockModel::addRunningApps() {
    for (auto& app : getManageableRunningApps())
        if (!isAppInBlackList(*app)) addItem(app);
}

void DockModel::startMonitoringAppsNotifications() {
    if (!workspaceObservers_.empty()) return;
    std::weak_ptr<DockModel> weak = self();
    auto& center = NotificationCenter::workspaceCenter();
    auto observe = [&](const char* name, void (DockModel::*handler)(const Notification&)) {
        workspaceObservers_.push_back(center.addObserver(this, name, nullptr, [weak, handler](const Notification& n) {
            if (auto model = weak.lock()) (model.get()->*handler)(n);
        }));
    };
    observe(NSWorkspaceWillLaunchApplicationNotification, &DockModel::applicationWillLaunch);
    observe(NSWorkspaceDidLaunchApplicationNotification, &DockModel::applicationDidLaunch);
    observe(NSWorkspaceDidTerminateApplicationNotification, &DockModel::applicationTerminated);
    observe(NSWorkspaceDidActivateApplicationNotification, &DockModel::didActivateApplication);
    observe(NSWorkspaceDidDeactivateApplicationNotification, &DockModel::didDeActivateApplication);
}

namespace {
RunningApplicationPtr applicationOf(const Notification& note) {
    auto it = note.userInfo.find(NSWorkspaceApplicationKey);
    return it == note.userInfo.end() ? nullptr : it->second.objectAs<RunningApplication>();
}

// The two applications that come and go with their windows.
bool isWatchedWhileItHasWindows(const RunningApplication& app) {
    return app.bundleIdentifier() == "com.agilebits.onepassword7" || app.bundleIdentifier() == "com.microsoft.rdc.macos";
}

// A file item of the application's bundle; nullptr for an application without one.
FileSystemNodePtr bundleNode(const RunningApplication& app) {
    auto bundle = app.bundleURL();
    return bundle ? FileSystemNode::initWithURL(bundle) : nullptr;
}
}  // namespace

void DockModel::scheduleSort() {
    // One pending sort serves every launch and quit before it runs.
    if (sortPending_) return;
    sortPending_ = true;
    std::weak_ptr<DockModel> weak = self();
    RunLoop::main().after(0.5, [weak] {
        auto model = weak.lock();
        if (!model) return;
        model->sortPending_ = false;
        model->sortItems();
    });
}

bool DockModel::isKept(const RunningApplication& app) const {
    auto node = bundleNode(app);
    return node && indexIn(persistentContent_, node.get()) >= 0;
}

void DockModel::mergeLaunchedApp(const RunningApplicationPtr& app) {
    // Told twice of one launch: the application keeps the slot it has.
    long i = containsItem(app.get()) ? -1 : indexOfStoredFileSystemNodeForApp(*app);
    if (i < 0) {
        addItem(app);
        return;
    }
    // Marked first: the kept-flag handler announces a change of its own.
    Persistent::setIsPersistent(*app, true);
    announce([&] { panelContent_[size_t(i)] = Value(app); });
}

void DockModel::applicationDidLaunch(const Notification& notification) {
    auto app = applicationOf(notification);
    if (!app) return;
    if (isAppInBlackList(*app)) return;
    if (defaults().boolForKey("DoNotDisplayRunning")) return;
    // A launch that is already over (the process ended before the news arrived) adds
    // nothing that the quit would have to take away again.
    if (app->isTerminated()) return;
    mergeLaunchedApp(app);
    scheduleSort();
}

void DockModel::applicationTerminated(const Notification& notification) {
    if (auto app = applicationOf(notification)) processTerminatedApp(app);
    scheduleSort();
}

void DockModel::processTerminatedApp(const RunningApplicationPtr& app) {
    if (!app) return;
    if (auto it = windowChecks_.find(app->processIdentifier()); it != windowChecks_.end()) {
        RunLoop::main().cancel(it->second);
        windowChecks_.erase(it);
    }
    auto node = bundleNode(*app);
    if (node && indexIn(persistentContent_, node.get()) >= 0) {
        long i = indexOfItem(app.get());
        // Another item may already stand for the same application (a second process of
        // it, or its file item): the kept slot is not doubled.
        bool alreadyShown = false;
        for (size_t k = 0; k < panelContent_.size(); ++k) {
            if (long(k) == i) continue;
            auto object = panelContent_[k].object();
            if (!object) continue;
            if (object->isEqual(node.get())) alreadyShown = true;
            if (auto other = std::dynamic_pointer_cast<RunningApplication>(object))
                if (auto url = other->bundleURL(); url && url->isEqual(node->URL().get())) alreadyShown = true;
        }
        if (i < 0) {
            long j = indexOfStoredFileSystemNodeForApp(*app);
            if (j >= 0) {
                Persistent::setIsPersistent(*app, true);
                announce([&] { panelContent_[size_t(j)] = Value(node); });
            }
        } else if (!alreadyShown) {
            announce([&] { panelContent_[size_t(i)] = Value(node); });
        }
    }
    removeItem(app);
}

void DockModel::didActivateApplication(const Notification& notification) {
    auto app = applicationOf(notification);
    if (app && isWatchedWhileItHasWindows(*app)) applicationDidLaunch(notification);
}

void DockModel::didDeActivateApplication(const Notification& notification) {
    auto app = applicationOf(notification);
    if (app && isWatchedWhileItHasWindows(*app)) scheduleWindowCheck(app, 0.9);
}

void DockModel::scheduleWindowCheck(const RunningApplicationPtr& app, double delay) {
    // One pending check per application: a new deactivation restarts it.
    const desktop::Pid pid = app->processIdentifier();
    if (auto it = windowChecks_.find(pid); it != windowChecks_.end()) RunLoop::main().cancel(it->second);
    std::weak_ptr<DockModel> weak = self();
    std::weak_ptr<RunningApplication> which = app;
    windowChecks_[pid] = RunLoop::main().after(delay, [weak, which, pid] {
        auto model = weak.lock();
        if (!model) return;
        model->windowChecks_.erase(pid);
        if (auto a = which.lock()) model->checkWindowsAndRemove(a);
    });
}

void DockModel::checkWindowsAndRemove(const RunningApplicationPtr& app) {
    if (!app) return;
    auto record = AppMonitoringService::sharedInstance()->getCachedApplicationExForApplication(app);
    if (record && !record->windows().empty())
        scheduleWindowCheck(app, 0.5);
    else
        processTerminatedApp(app);
}

void DockModel::periodicalUpdateAppsList() {
    std::weak_ptr<DockModel> weak = self();
    RunLoop::main().post([weak] {
        auto model = weak.lock();
        if (!model) return;
        auto running = model->allRunningsApps();
        std::unordered_multimap<desktop::Pid, const RunningApplication*> byPid;
        byPid.reserve(running.size());
        for (const auto& app : running) byPid.emplace(app->processIdentifier(), app.get());
        std::vector<RunningApplicationPtr> gone;
        for (const Value& item : model->panelContent_) {
            auto object = item.object();
            if (!object || object->className() != "NSRunningApplication") continue;
            auto app = std::dynamic_pointer_cast<RunningApplication>(object);
            if (!app) continue;
            auto [from, to] = byPid.equal_range(app->processIdentifier());
            bool found = std::any_of(from, to, [&](const auto& entry) { return app->isEqual(entry.second); });
            if (!found) gone.push_back(app);
        }
        for (const auto& app : gone) model->processTerminatedApp(app);
    });
}

long DockModel::indexOfStoredFileSystemNodeForApp(const RunningApplication& app) const {
    auto bundle = app.bundleURL();
    // An application without a desktop entry cannot turn back into a file item when it
    // quits: taking the place of one would lose it.
    if (!bundle) return -1;
    std::vector<std::pair<size_t, FileSystemNodePtr>> nodes;
    for (size_t i = 0; i < panelContent_.size(); ++i) {
        auto object = panelContent_[i].object();
        if (!object || object->className() != "FileSystemNode") continue;
        auto node = std::dynamic_pointer_cast<FileSystemNode>(object);
        if (!node) continue;
        if (node->URL() && node->URL()->isEqual(bundle.get())) return long(i);
        nodes.emplace_back(i, node);
    }
    // By name only an application item stands for it: a document or folder of the same
    // name is not replaced by the application (and lost when it quits).
    const std::string& name = app.localizedName();
    if (name.empty()) return -1;
    for (const auto& [i, node] : nodes)
        if (node->localizedName() == name && node->isApplication()) return long(i);
    return -1;
}

void DockModel::updatePersistentContent(const Notification& notification) {
    auto app = notification.object.objectAs<RunningApplication>();
    if (!app || app->className() != "NSRunningApplication") return;
    auto bundle = app->bundleURL();
    if (!bundle) {
        log("-[DockModel updatePersistentContent:] " + app->localizedName() +
            " has no desktop entry, so it cannot be kept in the dock");
        return;
    }
    auto node = FileSystemNode::initWithURL(bundle);
    if (!node) return;
    announce([&] {
        long i = indexIn(persistentContent_, node.get());
        if (Persistent::isPersistent(*app) && i < 0)
            persistentContent_.push_back(Value(node));
        else if (!Persistent::isPersistent(*app) && i >= 0)
            persistentContent_.erase(persistentContent_.begin() + i);
    });
}

void DockModel::sortItems() {
    if (!finishedStartActions_ || (defaults().integerForKey("sortOrder") & 0xffff) == 0) return;
    Array rest = panelContent_;
    Value menu, trash;
    auto takeFirst = [&rest](const char* kind, Value& into) {
        for (size_t i = 0; i < rest.size(); ++i)
            if (isKind(rest[i], kind)) {
                into = rest[i];
                rest.erase(rest.begin() + long(i));
                return;
            }
    };
    takeFirst("MenuModel", menu);
    takeFirst("TrashModel", trash);
    Array applications, running, others;
    for (const Value& item : rest) {
        auto object = item.object();
        if (!object) continue;
        const std::string kind = object->className();
        if (kind == "NSRunningApplication") {
            running.push_back(item);
        } else if (kind == "GroupModel") {
            others.push_back(item);
        } else if (kind == "FileSystemNode") {
            auto node = std::dynamic_pointer_cast<FileSystemNode>(object);
            auto fresh = node && node->URL() ? FileSystemNode::initWithURL(node->URL()) : nullptr;
            (fresh && fresh->isApplication() ? applications : others).push_back(item);
        }
        // Separators and other kinds are left out of the sorted dock.
    }
    std::stable_sort(running.begin(), running.end(), [](const Value& a, const Value& b) {
        auto x = a.objectAs<RunningApplication>(), y = b.objectAs<RunningApplication>();
        return QString::fromStdString(x ? x->localizedName() : "")
                   .compare(QString::fromStdString(y ? y->localizedName() : ""), Qt::CaseInsensitive) < 0;
    });
    Array sorted;
    sorted.reserve(panelContent_.size());
    if (!menu.isNil()) sorted.push_back(menu);
    for (auto* group : {&applications, &running, &others}) sorted.insert(sorted.end(), group->begin(), group->end());
    if (!trash.isNil()) sorted.push_back(trash);
    // Already in order: nothing to announce (sorting is asked for after every launch,
    // quit and addition).
    bool same = sorted.size() == panelContent_.size() &&
                std::equal(sorted.begin(), sorted.end(), panelContent_.begin(),
                           [](const Value& a, const Value& b) { return a.object() == b.object(); });
    if (same) return;
    announce([&] { panelContent_ = std::move(sorted); });
}

bool DockModel::isAppInBlackList(const RunningApplication& app) const {
    for (const Value& entry : blackList_) {
        auto item = entry.objectAs<BlacklistItem>();
        if (item && item->localizedName() == app.localizedName()) return true;
    }
    return false;
}

void DockModel::addToBlackListApp(const RunningApplicationPtr& app) {
    if (!app) return;
    auto entry = BlacklistItem::create();
    entry->setLocalizedName(app->localizedName());
    entry->setBundleURL(app->bundleURL());
    entry->setIcon(Persistent::icon(*app));
    entry->setBundleIdentifier(app->bundleIdentifier());
    if (indexIn(blackList_, entry.get()) >= 0) return;
    willChangeValueForKey("blackList");
    blackList_.push_back(Value(entry));
    didChangeValueForKey("blackList");
    removeItem(app);
}

void DockModel::addToBlackListNode(const FileSystemNodePtr& node) {
    if (!node) return;
    auto entry = BlacklistItem::create();
    entry->setLocalizedName(node->localizedName());
    entry->setBundleURL(node->URL());
    entry->setIcon(node->icon());
    auto running = runningApplicationByLocalizedName(entry->localizedName());
    if (running) {
        entry->setBundleIdentifier(running->bundleIdentifier());
        addToBlackListApp(running);
        return;
    }
    willChangeValueForKey("blackList");
    blackList_.push_back(Value(entry));
    didChangeValueForKey("blackList");
}

void DockModel::removeFromBlackListItem(const BlacklistItemPtr& entry) {
    if (!entry) return;
    willChangeValueForKey("blackList");
    std::erase_if(blackList_, [&](const Value& v) {
        auto object = v.object();
        return object && (object.get() == entry.get() || object->isEqual(entry.get()));
    });
    didChangeValueForKey("blackList");
    if (!entry->bundleIdentifier().empty()) {
        auto found = RunningApplication::runningApplicationsWithBundleIdentifier(entry->bundleIdentifier());
        if (!found.empty()) addItem(found.front());
    }
    if (auto app = runningApplicationByLocalizedName(entry->localizedName())) addItem(app);
}

RunningApplicationPtr DockModel::runningApplicationByLocalizedName(const std::string& name) const {
    for (auto& app : getManageableRunningApps())
        if (app->localizedName() == name) return app;
    return nullptr;
}

void DockModel::observeValueForKeyPath(const std::string& keyPath, Object*, const KeyValueChange&, void*) {
    auto& store = defaults();
    if (keyPath == "values.ShowThumbnails") {
        for (const Value& item : Array(panelContent_))
            if (auto node = item.objectAs<FileSystemNode>()) node->updateIcon();
    } else if (keyPath == "values.sortOrder") {
        sortItems();
    } else if (keyPath == "values.enableStartMenu") {
        // Writing the value it already has changes nothing.
        bool enabled = store.boolForKey("enableStartMenu");
        if (!hasStartMenu() && enabled)
            addStartMenu();
        else if (!enabled)
            removeStartMenu();
    } else if (keyPath == "values.enableTrash") {
        bool enabled = store.boolForKey("enableTrash");
        if (!hasTrash() && enabled)
            addTrash();
        else if (!enabled)
            removeTrash();
    } else if (keyPath == "values.DoNotDisplayRunning") {
        if (store.boolForKey("DoNotDisplayRunning")) {
            Array running;
            for (const Value& item : panelContent_)
                if (isKind(item, "NSRunningApplication")) running.push_back(item);
            // A kept application stays as its file item, as when it quits: hiding the
            // running ones must not drop the user's kept items.
            for (const Value& item : running) {
                auto app = item.objectAs<RunningApplication>();
                long i = app ? indexOfItem(app.get()) : -1;
                auto node = app ? bundleNode(*app) : nullptr;
                if (i >= 0 && node && isKept(*app) && indexOfItem(node.get()) < 0)
                    announce([&] { panelContent_[size_t(i)] = Value(node); });
                else
                    removeItem(item.object());
            }
        } else {
            // Each one back where its kept file item stands, else before the trash.
            for (auto& app : getManageableRunningApps())
                if (!isAppInBlackList(*app)) mergeLaunchedApp(app);
        }
    }
}

}  // namespace qs
