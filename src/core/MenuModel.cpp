#include "core/MenuModel.h"

#include <QStandardPaths>
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "core/CollectionHelpers.h"
#include "core/ItemImages.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/DesktopEntryFile.h"
#include "platform/foundation/Log.h"

namespace qs {

namespace {

namespace fs = std::filesystem;

std::shared_ptr<MenuModel>& sharedMenu() {
    static std::shared_ptr<MenuModel> menu;
    return menu;
}

void postSave() { NotificationCenter::defaultCenter().postNotificationName("saveDocksData"); }

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// The sample applications: an installed application of each desktop-entry category, else
// the entry a Debian desktop installs for it (shown by name, with a generic icon, while
// it is not installed).
struct SampleApplication {
    const char* category;
    const char* fallback;
};
constexpr SampleApplication kSampleApplications[] = {
    {"Calculator", "/usr/share/applications/org.gnome.Calculator.desktop"},
    {"Calendar", "/usr/share/applications/org.gnome.Calendar.desktop"},
    {"ContactManagement", "/usr/share/applications/org.gnome.Contacts.desktop"},
};

}  // namespace

static const bool registeredMenuModel = registerCodingClass<MenuModel>("MenuModel");

std::shared_ptr<MenuModel> MenuModel::init() {
    auto& menu = sharedMenu();
    if (!menu) {
        menu = std::make_shared<MenuModel>();
        menu->loadSampleItems();
        menu->loadApps();
    }
    return menu;
}

std::shared_ptr<MenuModel> MenuModel::initWithCoder(Coder& coder) {
    auto menu = init();
    std::vector<FileSystemNodePtr> entries;
    Value content = coder.decodeObjectForKey("modelContent");
    if (const Array* array = content.array()) {
        for (const auto& v : *array) {
            if (auto node = v.objectAs<FileSystemNode>())
                entries.push_back(node);
            else
                coder.noteLeftOut("a start-menu entry that is not a file item was left out: " + v.description());
        }
    }
    menu->willChangeValueForKey("modelContent");
    menu->modelContent_ = std::move(entries);
    menu->didChangeValueForKey("modelContent");
    menu->setCustomIcon(coder.decodeObjectForKey("customIcon").objectAs<Image>());
    if (menu->modelContent_.empty()) menu->loadSampleItems();
    menu->loadApps();
    return menu;
}

std::shared_ptr<MenuModel> MenuModel::existingInstance() { return sharedMenu(); }

MenuModel::~MenuModel() { NotificationCenter::defaultCenter().removeObserver(this); }

bool MenuModel::isEqual(const Object* other) const { return other && other->className() == "MenuModel"; }

uint64_t MenuModel::hash() const { return stableHash("MenuModel"); }

void MenuModel::encodeWithCoder(Coder& coder) const {
    Array entries;
    entries.reserve(modelContent_.size());
    for (const auto& item : modelContent_) entries.emplace_back(item);
    coder.encodeObject(Value(std::move(entries)), "modelContent");
    coder.encodeObject(customIcon_ ? Value(customIcon_) : Value(), "customIcon");
}

Value MenuModel::valueForKey(const std::string& key) const {
    auto toArray = [](const std::vector<FileSystemNodePtr>& items) {
        Array out;
        out.reserve(items.size());
        for (const auto& item : items) out.emplace_back(item);
        return Value(std::move(out));
    };
    if (key == "modelContent") return toArray(modelContent_);
    if (key == "appsArray") return toArray(appsArray_);
    if (key == "customIcon") return customIcon_ ? Value(customIcon_) : Value();
    if (key == "icon") return Value(icon());
    if (key == "appDir") return appDir_ ? Value(appDir_) : Value();
    if (key == "name" || key == "localizedName") return Value(name());
    return Object::valueForKey(key);
}

void MenuModel::setIcon(ImagePtr) {
    // The icon is always menuIcon; setting it only tells the observers to look again.
    willChangeValueForKey("icon");
    didChangeValueForKey("icon");
}

ImagePtr MenuModel::menuIcon() const { return customIcon_ ? customIcon_ : imageNamed("Spaceship"); }

void MenuModel::setCustomIcon(ImagePtr icon) {
    customIcon_ = std::move(icon);
    setIcon(menuIcon());
    postSave();
}

void MenuModel::addItemToModelContent(const FileSystemNodePtr& item) {
    if (item) {
        bool present = std::any_of(modelContent_.begin(), modelContent_.end(),
                                   [&](const FileSystemNodePtr& e) { return e->isEqual(item.get()); });
        if (!present) {
            willChangeValueForKey("modelContent");
            modelContent_.push_back(item);
            didChangeValueForKey("modelContent");
        }
    }
    postSave();
}

void MenuModel::inserItemToModelContent(const FileSystemNodePtr& item, long index) {
    if (item && index >= 0 && NTExtensions::validInsertIndex(modelContent_, uint64_t(index))) {
        willChangeValueForKey("modelContent");
        modelContent_.insert(modelContent_.begin() + index, item);
        didChangeValueForKey("modelContent");
    }
    postSave();
}

void MenuModel::removeItemFromModelContent(const FileSystemNodePtr& item) {
    if (item) {
        auto it = std::find_if(modelContent_.begin(), modelContent_.end(),
                               [&](const FileSystemNodePtr& e) { return e->isEqual(item.get()); });
        if (it != modelContent_.end()) {
            willChangeValueForKey("modelContent");
            modelContent_.erase(it);
            didChangeValueForKey("modelContent");
        }
    }
    postSave();
}

void MenuModel::removeItemFromModelContentAtIndex(long index) {
    if (index >= 0 && size_t(index) < modelContent_.size()) {
        willChangeValueForKey("modelContent");
        modelContent_.erase(modelContent_.begin() + index);
        didChangeValueForKey("modelContent");
    }
    postSave();
}

FileSystemNodePtr MenuModel::createItemForPath(const std::string& path) {
    if (path.empty()) return nullptr;
    return FileSystemNode::initWithPath(path);
}

FileSystemNodePtr MenuModel::createItemForSearchPathDirectory(const std::string& directory) {
    if (directory == "Applications") {
        // The user's own applications folder when there is one, else the first
        // system one that exists.
        std::error_code ec;
        for (const auto& folder : desktop::applicationFolders())
            if (fs::is_directory(folder, ec)) return createItemForPath(folder);
        return createItemForPath(localApplicationsFolder());
    }
    QStandardPaths::StandardLocation location;
    if (directory == "Home")
        location = QStandardPaths::HomeLocation;
    else if (directory == "Desktop")
        location = QStandardPaths::DesktopLocation;
    else if (directory == "Documents")
        location = QStandardPaths::DocumentsLocation;
    else if (directory == "Downloads")
        location = QStandardPaths::DownloadLocation;
    else
        return nullptr;
    QString path = QStandardPaths::writableLocation(location);
    if (path.isEmpty()) return nullptr;
    return createItemForPath(path.toStdString());
}

void MenuModel::loadSampleItems() {
    // The folders that exist, each once (user-dirs may name the home as the desktop).
    std::vector<std::string> paths;
    for (const char* dir : {"Home", "Desktop", "Documents", "Downloads", "Applications"}) {
        auto node = createItemForSearchPathDirectory(dir);
        std::error_code ec;
        if (!node || !fs::is_directory(node->path(), ec)) continue;
        if (std::find(paths.begin(), paths.end(), node->path()) != paths.end()) continue;
        paths.push_back(node->path());
        modelContent_.push_back(node);
    }
    auto* workspace = desktop::services().workspace.get();
    for (const auto& sample : kSampleApplications) {
        std::string path = sample.fallback;
        if (workspace)
            for (const auto& entry : workspace->applicationsInCategory(sample.category))
                if (std::find(paths.begin(), paths.end(), entry.path) == paths.end()) {
                    path = entry.path;
                    break;
                }
        paths.push_back(path);
        modelContent_.push_back(FileSystemNode::initWithPath(path));
    }
}

void MenuModel::loadApps() {
    // One folder node, one listing and one watcher, however often this runs (decoding
    // runs it a second time); the observer is registered once.
    if (!appDir_) {
        appDir_ = createItemForPath(localApplicationsFolder());
        appDir_->populateChildrenArrayInBackground();
        appDir_->watchChanges();
    }
    if (!observingApps_) {
        observingApps_ = true;
        std::weak_ptr<MenuModel> weak = std::static_pointer_cast<MenuModel>(shared_from_this());
        NotificationCenter::defaultCenter().addObserver(this, "PopulateChildrenArray", nullptr,
                                                        [weak](const Notification& n) {
                                                            if (auto self = weak.lock()) self->updateApps(n);
                                                        });
    }
    loadUpdateApps();
}

void MenuModel::updateApps(const Notification& notification) {
    auto node = notification.object.objectAs<FileSystemNode>();
    if (!node || node->className() != "FileSystemNode" || !appDir_) return;
    // The XDG folders are spelt in lower case ("/usr/share/applications"), a user's own
    // folder often "Applications": either counts.
    if (lower(node->path()).find("applications") == std::string::npos) return;
    // The folder node that posted has just been listed afresh; any other folder makes
    // the applications list be listed again.
    if (node.get() != appDir_.get()) appDir_->invalidateChildren();
    loadUpdateApps();
}

void MenuModel::loadUpdateApps() {
    willChangeValueForKey("appsArray");
    appsArray_ = appDir_ ? appDir_->children() : std::vector<FileSystemNodePtr>{};
    didChangeValueForKey("appsArray");
}

void MenuModel::resetSharedInstanceForTesting() {
    if (auto& menu = sharedMenu()) {
        NotificationCenter::defaultCenter().removeObserver(menu.get());
        menu.reset();
    }
}

}  // namespace qs
