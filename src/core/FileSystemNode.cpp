#include "core/FileSystemNode.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QCollator>
#include <QLocale>
#include <QMimeDatabase>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <unordered_map>

#include "core/CustomIconsHelper.h"
#include "core/ItemImages.h"
#include "core/NameOrder.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/DesktopEntryFile.h"
#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/FinderOperations.h"

namespace fs = std::filesystem;

namespace qs {

namespace {
const bool registered = registerCodingClass<FileSystemNode>("FileSystemNode");

desktop::Workspace* workspace() { return desktop::services().workspace.get(); }

std::optional<Date> dateOf(const struct statx& st, unsigned mask, const struct statx_timestamp& t) {
    if (!(st.stx_mask & mask)) return std::nullopt;
    return Date{double(t.tv_sec) + t.tv_nsec / 1e9};
}

bool statPath(const std::string& path, struct statx& st) {
    return !path.empty() && ::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &st) == 0;
}

// Where changes of a folder are seen: the folder itself, or, while it does not exist,
// its nearest existing ancestor, where it will appear. "" when nothing exists.
std::string watchableFolderFor(const std::string& folder) {
    fs::path p(folder);
    std::error_code ec;
    while (!fs::is_directory(p, ec)) {
        fs::path parent = p.parent_path();
        if (parent.empty() || parent == p) return {};
        p = std::move(parent);
    }
    return p.string();
}

// Whether a changed path is a folder or one of its direct entries.
bool isInFolder(const std::string& path, const std::string& folder) {
    if (path == folder) return true;
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/' && path.find('/', folder.size() + 1) == std::string::npos;
}

std::string stripExtension(const std::string& name) {
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name;
    return name.substr(0, dot);
}
}  // namespace

std::string localApplicationsFolder() { return desktop::applicationFolders().front(); }

FileSystemNodePtr FileSystemNode::initWithURL(URLPtr url) { return std::make_shared<FileSystemNode>(std::move(url)); }

FileSystemNodePtr FileSystemNode::initWithPath(const std::string& path) {
    std::error_code ec;
    return initWithURL(URL::fileURLWithPath(path, fs::is_directory(path, ec)));
}

std::shared_ptr<FileSystemNode> FileSystemNode::initWithCoder(Coder& coder) {
    (void)registered;
    auto url = coder.decodeObjectForKey("URL").objectAs<qs::URL>();
    if (!url) {
        log("a stored file item has no readable URL and was left out");
        return nullptr;
    }
    auto node = initWithURL(url);
    node->showAsGrid_ = coder.decodeBoolForKey("showAsGrid");
    return node;
}

FileSystemNode::~FileSystemNode() = default;

void FileSystemNode::encodeWithCoder(Coder& coder) const {
    coder.encodeObject(Value(URL_), "URL");
    coder.encodeObject(Value(customIcon()), "customIcon");
    coder.encodeBool(showAsGrid_, "showAsGrid");
}

bool FileSystemNode::isEqual(const Object* other) const {
    if (other == this) return true;
    auto* node = dynamic_cast<const FileSystemNode*>(other);
    if (!node) return false;
    if (!URL_ || !node->URL_) return !URL_ && !node->URL_;
    return URL_->isEqual(node->URL_.get());
}

uint64_t FileSystemNode::hash() const { return URL_ ? URL_->hash() : 0; }

std::string FileSystemNode::description() const {
    return Object::description() + " - " + (URL_ ? URL_->absoluteString() : std::string("(null)"));
}

Value FileSystemNode::valueForKey(const std::string& key) const {
    if (key == "URL") return Value(URL_);
    if (key == "name") return Value(name());
    if (key == "localizedName") return Value(localizedName());
    if (key == "displayName") return Value(displayName());
    if (key == "icon") return Value(icon());
    if (key == "childrenArray") return Value(childrenArray());
    if (key == "showAsGrid") return Value(showAsGrid_);
    if (key == "openInFinder") return Value(openInFinder_);
    if (key == "isDirectory") return Value(isDirectory());
    if (key == "isApplication") return Value(isApplication());
    return Object::valueForKey(key);
}

URLPtr FileSystemNode::URL() const { return URL_; }
std::string FileSystemNode::path() const { return URL_ ? URL_->path() : std::string(); }

std::string FileSystemNode::displayName() const {
    // A missing file keeps the name it was stored with.
    if (!URL_) return "";
    std::string name = URL_->lastPathComponent();
    return name.empty() ? path() : name;
}

std::string FileSystemNode::localizedName() const {
    if (auto entry = desktop::readDesktopEntryFile(path()))
        if (entry->isApplication() && !entry->name.empty()) return entry->name;
    if (isMissingApplication()) {
        // The last part of the desktop-file id, its dashes and underscores as spaces.
        std::string id = stripExtension(displayName());
        std::string name = id.substr(id.find_last_of('.') == std::string::npos ? 0 : id.find_last_of('.') + 1);
        std::replace(name.begin(), name.end(), '-', ' ');
        std::replace(name.begin(), name.end(), '_', ' ');
        if (!name.empty()) name[0] = char(std::toupper(static_cast<unsigned char>(name[0])));
        if (!name.empty()) return name;
    }
    return displayName();
}

bool FileSystemNode::isMissingApplication() const {
    const std::string p = path();
    std::error_code ec;
    return desktop::isDesktopEntryPath(p) && !fs::exists(p, ec);
}

std::string FileSystemNode::filename() const { return stripExtension(displayName()); }

bool FileSystemNode::isDirectory() const {
    std::error_code ec;
    const std::string p = path();
    return !p.empty() && fs::is_directory(p, ec);
}

bool FileSystemNode::isPackage() const { return isApplication(); }

bool FileSystemNode::isApplication() const {
    auto entry = desktop::readDesktopEntryFile(path());
    return entry && entry->isApplication();
}

std::string FileSystemNode::documentKind() const {
    const std::string p = path();
    std::error_code ec;
    if (p.empty() || !fs::exists(p, ec)) return "";
    if (isApplication()) return "Application";
    QMimeDatabase db;
    return db.mimeTypeForFile(QString::fromStdString(p)).comment().toStdString();
}

std::optional<Date> FileSystemNode::creationDate() const {
    struct statx st {};
    if (!statPath(path(), st)) return std::nullopt;
    return dateOf(st, STATX_BTIME, st.stx_btime);
}

std::optional<Date> FileSystemNode::addedDate() const {
    // The time the entry last changed (a move into a folder changes it).
    struct statx st {};
    if (!statPath(path(), st)) return std::nullopt;
    return dateOf(st, STATX_CTIME, st.stx_ctime);
}

std::optional<Date> FileSystemNode::modificationDate() const {
    struct statx st {};
    if (!statPath(path(), st)) return std::nullopt;
    return dateOf(st, STATX_MTIME, st.stx_mtime);
}

uint64_t FileSystemNode::size() const {
    struct statx st {};
    if (!statPath(path(), st) || S_ISDIR(st.stx_mode)) return 0;
    return st.stx_size;
}

std::string FileSystemNode::formattedFileSize() const {
    const uint64_t bytes = size();
    if (bytes == 0) return "Zero KB";
    if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static const char* units[] = {"KB", "MB", "GB", "TB", "PB"};
    double value = double(bytes);
    int unit = -1;
    while (value >= 1000 && unit < 4) value /= 1000, ++unit;
    char buf[32];
    std::snprintf(buf, sizeof buf, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return buf;
}

std::optional<Date> FileSystemNode::lastOpened() const { return desktop::files::lastUsedDate(path()); }

ImagePtr FileSystemNode::customIcon() const { return CustomIconsHelper::sharedInstance().getCustomIconForItem(this); }

ImagePtr FileSystemNode::icon() const {
    // Cheap: no pixel is decoded here. The images are deferred and decode when drawn.
    if (auto custom = customIcon()) return custom;
    const std::string p = path();
    if (UserDefaults::standardUserDefaults().boolForKey("ShowThumbnails"))
        if (auto thumb = desktop::files::thumbnailForFile(p, 200)) return thumb;
    if (auto* ws = workspace())
        if (auto image = ws->iconForFile(p)) return image;
    // No workspace icon: the entry's icon, the type's icon, a generic one.
    if (auto entry = desktop::readDesktopEntryFile(p); entry && entry->isApplication())
        return themeIcon({entry->icon}, GenericIcon::Application);
    if (isMissingApplication()) return genericIcon(GenericIcon::Application);
    std::error_code ec;
    if (p.empty() || !fs::exists(p, ec)) return genericIcon(GenericIcon::Missing);
    if (fs::is_directory(p, ec)) return genericIcon(GenericIcon::Folder);
    QMimeDatabase db;
    QMimeType type = db.mimeTypeForFile(QString::fromStdString(p));
    return themeIcon({type.iconName().toStdString(), type.genericIconName().toStdString()}, GenericIcon::File);
}

void FileSystemNode::setCustomIcon(ImagePtr image) {
    if (!image) return;
    willChangeValueForKey("icon");
    CustomIconsHelper::sharedInstance().setCustomIconForItem(this, std::move(image));
    didChangeValueForKey("icon");
}

void FileSystemNode::clearCustomIcon() {
    CustomIconsHelper::sharedInstance().clearCustomIconForItem(this);
    willChangeValueForKey("icon");
    didChangeValueForKey("icon");
}

void FileSystemNode::updateIcon() {
    willChangeValueForKey("icon");
    didChangeValueForKey("icon");
}

bool FileSystemNode::isEqualToAppWithBundleURL(const URLPtr& bundleURL) const {
    return bundleURL && URL_ && bundleURL->lastPathComponent() == URL_->lastPathComponent();
}

bool FileSystemNode::isRunning() {
    // By kind, not by the localized kind text (which differs between languages).
    if (!isApplication()) return false;
    if (auto* ws = workspace()) {
        for (const auto& app : ws->runningApplications()) {
            if (!Persistent::isManageable(*app) || app->activationPolicy() != NSApplicationActivationPolicyRegular)
                continue;
            if (isEqualToAppWithBundleURL(app->bundleURL())) app_ = app;
        }
    }
    return app_ && !app_->isTerminated();
}

bool FileSystemNode::clickAction(const Object* clicked) {
    if (!clicked || !isEqual(clicked)) return false;
    auto* ws = workspace();
    if (isApplication() && isRunning()) {
        if (app_->isHidden()) app_->unhide();
        return app_->activateWithOptions(NSApplicationActivateAllWindows | NSApplicationActivateIgnoringOtherApps);
    }
    if (!ws || !URL_) return false;
    bool ok = isApplication() ? ws->launchApplication(path()) : ws->openURL(*URL_);
    if (!ok) {
        log("cannot open ", path());
        desktop::tellUserItFailed(desktop::quote(localizedName()) +
                                  (isApplication() ? " could not be started." : " could not be opened."));
    }
    return ok;
}

void FileSystemNode::prcessFiles(const std::vector<URLPtr>& files) {
    if (isApplication()) {
        if (auto* ws = workspace()) {
            for (const auto& file : files) {
                if (file && !ws->openFile(file->path(), path())) {
                    desktop::tellUserItFailed(desktop::quotedName(file->path()) + " could not be opened with " +
                                              desktop::quote(localizedName()) + ".");
                    return;
                }
            }
        }
        return;
    }
    if (!isDirectory()) return;
    // Moved (same file system) or copied (another one) off the main thread; the user
    // hears what could not be done, and the children are read again once the files are
    // there.
    std::weak_ptr<FileSystemNode> weak = std::static_pointer_cast<FileSystemNode>(shared_from_this());
    FileOperations::dropItemsIntoFolder(files, URL_, [weak, folder = path()](const FileOperations::DropOutcome& outcome) {
        if (auto message = FileOperations::messageForDrop(outcome)) {
            log("not every file dropped on ", folder, " could be put there");
            desktop::tellUser(*message);
        }
        auto self = weak.lock();
        if (!self) return;
        self->populateChildrenArray();
        NotificationCenter::defaultCenter().postNotificationName("PopulateChildrenArray", Value(self));
    });
}

void FileSystemNode::setShowAsGrid(bool value) {
    willChangeValueForKey("showAsGrid");
    showAsGrid_ = value;
    didChangeValueForKey("showAsGrid");
    NotificationCenter::defaultCenter().postNotificationName("saveDocksData");
}

void FileSystemNode::setOpenInFinder(bool value) {
    openInFinder_ = value;
    NotificationCenter::defaultCenter().postNotificationName("saveDocksData");
}

std::vector<std::string> FileSystemNode::listedFolders() const {
    const std::string p = path();
    if (!p.empty() && p == localApplicationsFolder()) return desktop::applicationFolders();
    return {p};
}

std::vector<FileSystemNodePtr> FileSystemNode::listChildren(const std::vector<FileSystemNodePtr>& previous) const {
    std::unordered_map<std::string, FileSystemNodePtr> earlier;
    for (const auto& child : previous) earlier.emplace(child->path(), child);
    const auto folders = listedFolders();
    const bool applications = folders.size() > 1 || (!folders.empty() && folders[0] == localApplicationsFolder());
    std::vector<FileSystemNodePtr> out;
    std::map<std::string, bool> seenIds;
    for (size_t f = 0; f < folders.size(); ++f) {
        const std::string& folder = folders[f];
        if (folder.empty()) continue;
        std::error_code ec;
        fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
        if (ec) {
            // A missing XDG applications folder is normal; anything else is worth a line.
            if (!(applications && ec == std::errc::no_such_file_or_directory))
                log("cannot list the folder ", folder, ": ", ec.message(), "; it shows as empty");
            continue;
        }
        for (; it != end; it.increment(ec)) {
            if (ec) {
                log("listing ", folder, " stopped early: ", ec.message());
                break;
            }
            const std::string name = it->path().filename().string();
            if (name.empty() || name[0] == '.') continue;  // hidden
            const std::string childPath = it->path().string();
            if (applications) {
                if (!desktop::isDesktopEntryPath(childPath) || seenIds.count(name)) continue;
                auto entry = desktop::readDesktopEntryFile(childPath);
                seenIds[name] = true;  // an earlier folder's entry hides a later one of the same id
                if (!entry || !entry->isApplication() || !entry->shownInMenus()) continue;
            }
            if (auto e = earlier.find(childPath); e != earlier.end()) {
                out.push_back(e->second);
                continue;
            }
            std::error_code dirEc;
            out.push_back(initWithURL(URL::fileURLWithPath(childPath, it->is_directory(dirEc))));
        }
    }
    // The file manager's order: case ignored, numbers by value.
    // The C locale's collation ignores numeric mode; English gives the same order of
    // plain letters and compares numbers by value.
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English);
    std::vector<std::string> labels;
    labels.reserve(out.size());
    // English names made only of ASCII are put in the collator's order without it (the
    // collation library is large); other names and other languages take the collator.
    bool ascii = locale.language() == QLocale::English;
    for (const auto& node : out) {
        labels.push_back(applications ? node->localizedName() : node->displayName());
        ascii = ascii && isAsciiName(labels.back());
    }
    std::vector<size_t> order(out.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (ascii) {
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return compareAsciiNames(labels[a], labels[b]) < 0; });
    } else {
        QCollator collator{locale};
        collator.setNumericMode(true);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::vector<QCollatorSortKey> keys;
        keys.reserve(labels.size());
        for (const auto& label : labels) keys.push_back(collator.sortKey(QString::fromStdString(label)));
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return keys[a].compare(keys[b]) < 0; });
    }
    std::vector<FileSystemNodePtr> sorted;
    sorted.reserve(out.size());
    for (size_t i : order) sorted.push_back(out[i]);
    return sorted;
}

std::vector<FileSystemNodePtr> FileSystemNode::children() {
    std::vector<FileSystemNodePtr> previous;
    {
        std::lock_guard lock(mutex_);
        if (childrenListed_ && !childrenDirty_) return internalChildren_;
        previous = internalChildren_;
    }
    auto listed = listChildren(previous);
    std::lock_guard lock(mutex_);
    internalChildren_ = listed;
    childrenDirty_ = false;
    childrenListed_ = true;
    return listed;
}

void FileSystemNode::invalidateChildren() {
    std::vector<FileSystemNodePtr> cached;
    {
        std::lock_guard lock(mutex_);
        childrenDirty_ = true;
        cached = internalChildren_;
    }
    for (const auto& child : cached) child->invalidateChildren();
}

Array FileSystemNode::childrenArray() const {
    std::lock_guard lock(mutex_);
    return childrenArray_;
}

void FileSystemNode::setChildrenArray(Array children) {
    willChangeValueForKey("childrenArray");
    {
        std::lock_guard lock(mutex_);
        childrenArray_ = std::move(children);
    }
    didChangeValueForKey("childrenArray");
}

void FileSystemNode::publishChildren(std::vector<FileSystemNodePtr> listed) {
    Array array(listed.begin(), listed.end());
    setChildrenArray(std::move(array));
    willChangeValueForKey("childrenArray");
    didChangeValueForKey("childrenArray");
}

void FileSystemNode::populateChildrenArray() {
    invalidateChildren();
    publishChildren(children());
}

void FileSystemNode::populateChildrenArrayInBackground(std::function<void()> then) {
    invalidateChildren();
    std::vector<FileSystemNodePtr> previous;
    {
        std::lock_guard lock(mutex_);
        previous = internalChildren_;
    }
    auto self = std::static_pointer_cast<FileSystemNode>(shared_from_this());
    RunLoop::main().runInBackground<std::vector<FileSystemNodePtr>>(
        [self, previous] { return self->listChildren(previous); },
        [self, then = std::move(then)](std::vector<FileSystemNodePtr> listed) {
            {
                std::lock_guard lock(self->mutex_);
                self->internalChildren_ = listed;
                self->childrenDirty_ = false;
                self->childrenListed_ = true;
            }
            self->publishChildren(std::move(listed));
            if (then) then();
        });
}

std::vector<std::string> FileSystemNode::watchedFolders() const {
    std::vector<std::string> watched;
    for (const auto& folder : listedFolders()) {
        std::string where = watchableFolderFor(folder);
        if (!where.empty() && std::find(watched.begin(), watched.end(), where) == watched.end())
            watched.push_back(std::move(where));
    }
    return watched;
}

void FileSystemNode::watchChanges() {
    auto* services = desktop::fileServices();
    if (!services || path().empty()) return;
    std::weak_ptr<FileSystemNode> weak = std::static_pointer_cast<FileSystemNode>(shared_from_this());
    const std::vector<std::string> watched = watchedFolders();
    if (watched.empty()) {
        log("cannot watch ", path(), ": neither it nor a folder above it exists");
        watch_.reset();
        return;
    }
    watch_ = services->watchPaths(watched, false, 1.0, [weak, watched](const std::vector<desktop::FileEvent>& events) {
        auto self = weak.lock();
        if (!self) return;
        // A listed folder that appeared or went since the watch began is watched anew,
        // from where its changes are now seen (later: this watch must not end inside
        // its own handler).
        const std::vector<std::string> now = self->watchedFolders();
        if (now != watched)
            RunLoop::main().post([weak] {
                if (auto node = weak.lock(); node && node->isWatching()) node->watchChanges();
            });
        // A listed folder that appeared or went is relisted; changes beside a folder that
        // does not exist yet are none of this item's.
        auto has = [](const std::vector<std::string>& folders, const std::string& folder) {
            return std::find(folders.begin(), folders.end(), folder) != folders.end();
        };
        bool relevant = false;
        for (const auto& folder : self->listedFolders()) {
            relevant = relevant || has(watched, folder) != has(now, folder);
            for (size_t i = 0; i < events.size() && !relevant; ++i) relevant = isInFolder(events[i].path, folder);
        }
        if (!relevant) return;
        // Relisted off the main thread; the notification follows the new listing.
        std::weak_ptr<FileSystemNode> again = self;
        self->populateChildrenArrayInBackground([again] {
            if (auto node = again.lock())
                NotificationCenter::defaultCenter().postNotificationName("PopulateChildrenArray", Value(node));
        });
    });
}

void FileSystemNode::stopWatching() { watch_.reset(); }

}  // namespace qs
