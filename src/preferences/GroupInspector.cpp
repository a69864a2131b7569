#include "preferences/GroupInspector.h"

#include <QPushButton>

#include "platform/foundation/Log.h"
#include "platform/ui/Binding.h"
#include "platform/ui/OpenPanel.h"
#include "preferences/CustomIconImageView.h"
#include "preferences/InspectorSupport.h"
#include "ui_GroupInspector.h"

namespace qs {

// ---------------------------------------------------------------------------------
// GroupNameField

GroupNameField::GroupNameField(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::editingFinished, this, &GroupNameField::commit);
}

void GroupNameField::setCommittedText(const QString& text) {
    if (text != this->text()) setText(text);
    setModified(false);
}

void GroupNameField::commit() {
    if (!isModified()) return;
    setModified(false);
    emit committed();
}

// ---------------------------------------------------------------------------------
// GroupInspector

std::shared_ptr<GroupInspector> GroupInspector::create() { return std::make_shared<GroupInspector>(); }

GroupInspector::GroupInspector() = default;

GroupInspector::~GroupInspector() {
    if (window_ && window_->isVisible())
        log("the group inspector goes while its window is open (its dock was rebuilt, or the program quits); the "
            "window closes");
    if (auto panel = panel_.lock()) panel->finish(OpenPanel::NSModalResponseCancel, {});
    // The inspector can go while the user is typing (the dock that opened it was rebuilt):
    // the typed name is kept, not dropped.
    if (ui_ && ui_->nameField->isModified()) {
        log("the group inspector closes with a name still being edited; the name is kept");
        setName(Value(ui_->nameField->text().toStdString()));
    }
}

QWidget* GroupInspector::window() {
    if (window_) return window_.get();
    window_ = std::make_unique<InspectorWindowWidget>();
    ui_ = std::make_unique<Ui::GroupInspector>();
    ui_->setupUi(window_.get());
    std::weak_ptr<Object> weak = weak_from_this();
    auto self = [weak] { return std::static_pointer_cast<GroupInspector>(weak.lock()); };
    QObject::connect(ui_->loadIconButton, &QPushButton::clicked, window_.get(), [self] {
        if (auto s = self()) s->loadIcon();
    });
    QObject::connect(ui_->resetIconButton, &QPushButton::clicked, window_.get(), [self] {
        if (auto s = self()) s->resetIcon();
    });
    // Closing the window ends the editing of the name.
    GroupNameField* field = ui_->nameField;
    window_->onClose = [field] { field->commit(); };
    Binding::bindInterface(window_.get(), {{"owner", shared_from_this()}});
    Binding::setBindingsActive(window_.get(), false);
    return window_.get();
}

GroupNameField* GroupInspector::nameField() const { return ui_ ? ui_->nameField : nullptr; }
CustomIconImageView* GroupInspector::imageView() const { return ui_ ? ui_->imageView : nullptr; }

void GroupInspector::setModel(const Value& item) {
    GroupModelPtr group = item.objectAs<GroupModel>();
    if (!group && !item.isNil())
        log("the group inspector was given a ", item.object() ? item.object()->className() : item.description(),
            ", not a group; it shows no group");
    // A name being typed belongs to the group shown so far.
    if (ui_ && ui_->nameField->isModified()) ui_->nameField->commit();
    willChangeValueForKey("model");
    willChangeValueForKey("groupName");
    willChangeValueForKey("groupIcon");
    model_ = group;
    name_.reset();
    icon_.reset();
    if (group) {
        std::weak_ptr<GroupModel> weakGroup = group;
        std::weak_ptr<Object> weakSelf = weak_from_this();
        name_ = std::make_shared<KeyValueAdapter>(
            group, "name",
            [weakGroup]() -> Value {
                auto g = weakGroup.lock();
                return g ? Value(g->name()) : Value();
            },
            [weakSelf](const Value& value) {
                if (auto s = std::static_pointer_cast<GroupInspector>(weakSelf.lock())) s->setName(value);
            });
        icon_ = std::make_shared<KeyValueAdapter>(
            group, "icon",
            [weakGroup]() -> Value {
                auto g = weakGroup.lock();
                return g && g->icon() ? Value(g->icon()) : Value();
            },
            [weakGroup](const Value& value) {
                auto g = weakGroup.lock();
                ImagePtr image = value.objectAs<Image>();
                if (g && image) g->setIcon(std::move(image));
            });
    }
    didChangeValueForKey("groupIcon");
    didChangeValueForKey("groupName");
    didChangeValueForKey("model");
}

void GroupInspector::orderFront() {
    window();
    window_->orderFront();
}

Value GroupInspector::valueForKey(const std::string& key) const {
    if (key == "model") return model_ ? Value(model_) : Value();
    if (key == "groupName") return name_ ? Value(name_) : Value();
    if (key == "groupIcon") return icon_ ? Value(icon_) : Value();
    return Object::valueForKey(key);
}

std::optional<std::string> GroupInspector::acceptedName(const std::string& typed) {
    QString name = QString::fromStdString(typed);
    for (QChar& c : name)
        if (c == u'\n' || c == u'\r' || c == u'\t' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    name = name.trimmed();
    if (name.isEmpty()) {
        log("a group needs a name; the empty name is not taken");
        return std::nullopt;
    }
    // Cut at whole characters (a surrogate pair stays together).
    if (size_t(name.size()) > kMaxNameLength) {
        qsizetype cut = qsizetype(kMaxNameLength);
        if (name.at(cut - 1).isHighSurrogate()) --cut;
        log("a group name of ", name.size(), " characters is cut to ", cut);
        name = name.left(cut).trimmed();
    }
    return name.toStdString();
}

void GroupInspector::setName(const Value& typed) {
    if (!model_) return;
    std::optional<std::string> name = acceptedName(typed.isString() ? *typed.string() : std::string());
    if (name && *name != model_->name()) {
        model_->setName(*name);
        return;
    }
    // Refused or unchanged: the field shows the group's name again.
    if (ui_) ui_->nameField->setCommittedText(QString::fromStdString(model_->name()));
}

void GroupInspector::loadIcon() {
    auto panel = CustomIconImageView::iconOpenPanel();
    panel_ = panel;
    std::weak_ptr<Object> weak = weak_from_this();
    panel->beginSheetModalForWindow(window(), [weak, panel](int response) {
        auto self = std::static_pointer_cast<GroupInspector>(weak.lock());
        if (response == OpenPanel::NSModalResponseOK && !panel->URLs().empty()) {
            const std::string path = panel->URLs().front()->path();
            if (!self || !self->model()) {
                log("the group inspector closed before the icon \"", path, "\" was chosen; nothing changed");
            } else if (ImagePtr image = CustomIconImageView::readIconFile(path)) {
                self->model()->setIcon(std::move(image));
            }
            // A file that is no usable image leaves the group's icon as it was (logged).
        }
        panel->close();
    });
}

void GroupInspector::resetIcon() {
    if (model_) model_->resetIcon();
}

}  // namespace qs
