#include "preferences/ItemInspector.h"

#include <QLabel>
#include <QPushButton>

#include "core/FileSystemNode.h"
#include "core/RunningApplicationPersistent.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Binding.h"
#include "platform/ui/OpenPanel.h"
#include "preferences/CustomIconImageView.h"
#include "preferences/GroupInspector.h"
#include "preferences/InspectorSupport.h"
#include "preferences/PreferencesPane.h"
#include "ui_ItemInspector.h"

namespace qs {

std::shared_ptr<ItemInspector> ItemInspector::create() { return std::make_shared<ItemInspector>(); }

ItemInspector::ItemInspector() = default;

ItemInspector::~ItemInspector() {
    if (window_ && window_->isVisible())
        log("the item inspector goes while its window is open (its dock was rebuilt, or the program quits); the "
            "window closes");
    // A choose-icon panel still open ends with the window it belongs to; its answer finds
    // no inspector and changes nothing.
    if (auto panel = panel_.lock()) panel->finish(OpenPanel::NSModalResponseCancel, {});
}

QWidget* ItemInspector::window() {
    if (window_) return window_.get();
    window_ = std::make_unique<InspectorWindowWidget>();
    ui_ = std::make_unique<Ui::ItemInspector>();
    ui_->setupUi(window_.get());
    imageView_ = ui_->imageView;
    std::weak_ptr<Object> weak = weak_from_this();
    auto self = [weak] { return std::static_pointer_cast<ItemInspector>(weak.lock()); };
    QObject::connect(ui_->loadIconButton, &QPushButton::clicked, window_.get(), [self] {
        if (auto s = self()) s->loadIcon();
    });
    QObject::connect(ui_->resetButton, &QPushButton::clicked, window_.get(), [self] {
        if (auto s = self()) s->resetAction();
    });
    QFont bold = ui_->itemLabel->font();
    bold.setBold(true);
    ui_->itemLabel->setFont(bold);
    showWhichItem();
    Binding::bindInterface(window_.get(), {{"owner", shared_from_this()}});
    // Observes only while shown.
    Binding::setBindingsActive(window_.get(), false);
    return window_.get();
}

CustomIconImageView* ItemInspector::imageView() const { return imageView_; }
void ItemInspector::setImageView(CustomIconImageView* view) { imageView_ = view; }

void ItemInspector::setModel(const Value& item) {
    willChangeValueForKey("model");
    willChangeValueForKey("modelIcon");
    model_ = item;
    modelIcon_.reset();
    if (ObjectPtr object = item.object()) {
        std::weak_ptr<Object> weak = object;
        modelIcon_ = std::make_shared<KeyValueAdapter>(
            object, "icon",
            [weak]() -> Value {
                auto o = weak.lock();
                ImagePtr icon = o ? customIconOf(o.get()) : nullptr;
                return icon ? Value(icon) : Value();
            },
            [weak](const Value& value) {
                if (auto o = weak.lock()) setCustomIconOf(o.get(), value.objectAs<Image>());
            });
    }
    didChangeValueForKey("modelIcon");
    didChangeValueForKey("model");
    showWhichItem();
}

std::string ItemInspector::itemName() const {
    ObjectPtr item = model_.object();
    if (!item) return {};
    const Value name = item->valueForKey("localizedName");
    return name.string() ? *name.string() : std::string();
}

void ItemInspector::showWhichItem() {
    if (!window_) return;
    const QString name = QString::fromStdString(itemName());
    const QString title = QString::fromStdString(localizedString("Custom Icon"));
    // The label names the item; so does the title, where the window has one.
    ui_->itemLabel->setText(name.isEmpty() ? QString() : QStringLiteral("“%1”").arg(name));
    ui_->itemLabel->setVisible(!name.isEmpty());
    window_->setWindowTitle(name.isEmpty() ? title : QStringLiteral("%1 — %2").arg(title, name));
}

void ItemInspector::orderFront() {
    window();
    window_->orderFront();
}

Value ItemInspector::valueForKey(const std::string& key) const {
    if (key == "model") return model_;
    if (key == "modelIcon") return modelIcon_ ? Value(modelIcon_) : Value();
    return Object::valueForKey(key);
}

void ItemInspector::loadIcon() {
    auto panel = CustomIconImageView::iconOpenPanel();
    panel_ = panel;
    std::weak_ptr<Object> weak = weak_from_this();
    panel->beginSheetModalForWindow(window(), [weak, panel](int response) {
        auto self = std::static_pointer_cast<ItemInspector>(weak.lock());
        if (response == OpenPanel::NSModalResponseOK && !panel->URLs().empty()) {
            const std::string path = panel->URLs().front()->path();
            if (!self) {
                log("the item inspector closed before the icon \"", path, "\" was chosen; nothing changed");
            } else if (ImagePtr image = CustomIconImageView::readIconFile(path)) {
                // The well hands the image to the item's custom-icon setter, which stores it
                // and announces "icon" on the item around the change.
                if (self->imageView()) self->imageView()->placeImage(std::move(image));
            }
            // A file that is no usable image leaves the item's icon as it was (logged).
        }
        panel->close();
    });
}

void ItemInspector::resetAction() {
    if (ObjectPtr item = model_.object(); item && answersClearCustomIcon(item.get())) clearCustomIconOf(item.get());
    if (imageView_) imageView_->setImage(nullptr);
}

bool ItemInspector::answersClearCustomIcon(const Object* item) {
    return dynamic_cast<const FileSystemNode*>(item) || dynamic_cast<const RunningApplication*>(item);
}

ImagePtr ItemInspector::customIconOf(const Object* item) {
    if (auto* node = dynamic_cast<const FileSystemNode*>(item)) return node->customIcon();
    if (auto* app = dynamic_cast<const RunningApplication*>(item)) return Persistent::customIcon(*app);
    return nullptr;
}

void ItemInspector::setCustomIconOf(Object* item, ImagePtr icon) {
    if (!icon) return clearCustomIconOf(item);
    if (auto* node = dynamic_cast<FileSystemNode*>(item)) return node->setCustomIcon(std::move(icon));
    if (auto* app = dynamic_cast<RunningApplication*>(item)) return Persistent::setCustomIcon(*app, std::move(icon));
    log("a ", item ? item->className() : std::string("missing item"), " takes no custom icon; the icon is unchanged");
}

void ItemInspector::clearCustomIconOf(Object* item) {
    if (auto* node = dynamic_cast<FileSystemNode*>(item)) return node->clearCustomIcon();
    if (auto* app = dynamic_cast<RunningApplication*>(item)) return Persistent::clearCustomIcon(*app);
}

void installInspectors() {
    Inspectors::setItemInspectorMaker([] { return ItemInspector::create(); });
    Inspectors::setGroupInspectorMaker([] { return GroupInspector::create(); });
}

}  // namespace qs
