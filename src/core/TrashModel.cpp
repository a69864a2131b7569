#include "core/TrashModel.h"

#include "core/ItemImages.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "tracking/FinderOperations.h"

namespace qs {

namespace {

std::shared_ptr<TrashModel>& sharedTrash() {
    static std::shared_ptr<TrashModel> trash;
    return trash;
}

void postSave() { NotificationCenter::defaultCenter().postNotificationName("saveDocksData"); }

}  // namespace

static const bool registeredTrashModel = registerCodingClass<TrashModel>("TrashModel");

std::shared_ptr<TrashModel> TrashModel::init() {
    auto& trash = sharedTrash();
    if (!trash) {
        trash = std::make_shared<TrashModel>();
        trash->setUp();
    }
    return trash;
}

void TrashModel::setUp() {
    setName("Trash Bin");
    std::weak_ptr<TrashModel> weak = std::static_pointer_cast<TrashModel>(shared_from_this());
    FileOperations::addTrashObserver(this, [weak](const Notification& n) {
        if (auto self = weak.lock()) self->trashNotify(n);
    });
    setIcon(trashImage());
}

TrashModel::~TrashModel() { FileOperations::removeTrashObserver(this); }

std::shared_ptr<TrashModel> TrashModel::initWithCoder(Coder& coder) {
    auto trash = init();
    Value name = coder.decodeObjectForKey("name");
    if (name.isString() && !name.string()->empty())
        trash->setName(*name.string());
    else
        log("the archived trash has no name; it keeps \"", trash->name(), "\"");
    trash->setIcon(coder.decodeObjectForKey("icon").objectAs<Image>());
    // Both custom icons first, then the trash folder is looked at once for the icon of
    // its state (it is read back while the stored dock is, on the main thread).
    trash->emptyIcon_ = coder.decodeObjectForKey("emptyIcon").objectAs<Image>();
    trash->fullIcon_ = coder.decodeObjectForKey("fullIcon").objectAs<Image>();
    trash->setIcon(trash->trashImage());
    return trash;
}

void TrashModel::encodeWithCoder(Coder& coder) const {
    coder.encodeObject(Value(name_), "name");
    coder.encodeObject(icon_ ? Value(icon_) : Value(), "icon");
    if (emptyIcon_) coder.encodeObject(Value(emptyIcon_), "emptyIcon");
    if (fullIcon_) coder.encodeObject(Value(fullIcon_), "fullIcon");
}

Value TrashModel::valueForKey(const std::string& key) const {
    if (key == "name" || key == "localizedName") return Value(name_);
    if (key == "icon") return icon_ ? Value(icon_) : Value();
    if (key == "emptyIcon") return emptyIcon_ ? Value(emptyIcon_) : Value();
    if (key == "fullIcon") return fullIcon_ ? Value(fullIcon_) : Value();
    if (key == "isEmpty") return Value(isEmpty());
    if (key == "isTrashFull") return Value(isTrashFull());
    return Object::valueForKey(key);
}

std::string TrashModel::description() const { return "TrashModel - " + name_; }

void TrashModel::setName(const std::string& name) {
    willChangeValueForKey("name");
    willChangeValueForKey("localizedName");
    name_ = name;
    didChangeValueForKey("localizedName");
    didChangeValueForKey("name");
    postSave();
}

void TrashModel::setIcon(ImagePtr icon) {
    willChangeValueForKey("icon");
    icon_ = std::move(icon);
    didChangeValueForKey("icon");
    postSave();
}

void TrashModel::setEmptyIcon(ImagePtr icon) {
    emptyIcon_ = std::move(icon);
    setIcon(trashImage());
}

void TrashModel::setFullIcon(ImagePtr icon) {
    fullIcon_ = std::move(icon);
    setIcon(trashImage());
}

ImagePtr TrashModel::trashImage() const {
    if (isEmpty()) return emptyIcon_ ? emptyIcon_ : imageNamed("Recycle_Bin");
    return fullIcon_ ? fullIcon_ : imageNamed("Recycle_Bin_Full");
}

bool TrashModel::isEmpty() const { return !FileOperations::isTrashFull(); }

void TrashModel::trashNotify(const Notification&) {
    // The watcher posts once per changed path; emptying a trash of thousands of files
    // would otherwise relook at the trash and re-save the dock thousands of times. The
    // posts of one batch arrive together, so one recompute on the next turn covers them.
    if (iconUpdatePending_) return;
    iconUpdatePending_ = true;
    std::weak_ptr<TrashModel> weak = std::static_pointer_cast<TrashModel>(shared_from_this());
    RunLoop::main().post([weak] {
        auto self = weak.lock();
        if (!self) return;
        self->iconUpdatePending_ = false;
        self->setIcon(self->trashImage());
    });
}

bool TrashModel::openTrash() { return FileOperations::openTrash(); }

bool TrashModel::emptyTrash() { return FileOperations::emptyTrash(); }

bool TrashModel::moveItemsToTrash(const std::vector<URLPtr>& urls) { return FileOperations::moveItemsToTrash(urls); }

void TrashModel::moveItemsToTrash(const std::vector<URLPtr>& urls, std::function<void(bool)> done) {
    FileOperations::moveItemsToTrash(urls, std::move(done));
}

void TrashModel::resetSharedInstanceForTesting() {
    if (auto& trash = sharedTrash()) {
        FileOperations::removeTrashObserver(trash.get());
        trash.reset();
    }
}

}  // namespace qs
