#include "platform/ui/Binding.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QColor>
#include <QComboBox>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QSignalBlocker>
#include <QWidget>
#include <limits>
#include <mutex>

#include "platform/desktop/Shortcut.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Color.h"

namespace qs {

// ---------------------------------------------------------------------------------
// Value transformers

Value ValueTransformer::reverseTransformedValue(const Value&) const { return Value(); }

namespace {

class NegateBoolean : public ValueTransformer {
public:
    Value transformedValue(const Value& value) const override { return Value(!value.boolValue()); }
    bool allowsReverseTransformation() const override { return true; }
    Value reverseTransformedValue(const Value& value) const override { return Value(!value.boolValue()); }
};

class IsNil : public ValueTransformer {
public:
    explicit IsNil(bool negated) : negated_(negated) {}
    Value transformedValue(const Value& value) const override { return Value(value.isNil() != negated_); }

private:
    bool negated_;
};

class UnarchiveColor : public ValueTransformer {
public:
    Value transformedValue(const Value& value) const override {
        const Data* data = value.data();
        if (!data) return Value();
        auto color = Color::colorWithArchivedData(*data);
        return color ? Value(std::const_pointer_cast<Color>(color)) : Value();
    }
    bool allowsReverseTransformation() const override { return true; }
    Value reverseTransformedValue(const Value& value) const override {
        auto color = value.objectAs<Color>();
        return color ? Value(color->archivedData()) : Value();
    }
};

class KeyedUnarchive : public ValueTransformer {
public:
    Value transformedValue(const Value& value) const override {
        const Data* data = value.data();
        if (!data || data->empty()) return Value();
        return KeyedUnarchiver::unarchiveObjectWithData(*data);
    }
    bool allowsReverseTransformation() const override { return true; }
    Value reverseTransformedValue(const Value& value) const override {
        if (value.isNil()) return Value();
        return Value(KeyedArchiver::archivedDataWithRootObject(value));
    }
};

class ShortcutDictionary : public ValueTransformer {
public:
    Value transformedValue(const Value& value) const override {
        const Dictionary* dict = value.dictionary();
        if (!dict) return Value();
        Value code = value["keyCode"];
        if (!code.isNumber() || code.integerValue() < 0 || code.integerValue() > 0xFFFF) return Value();
        return Value(Shortcut::shortcutWithKeyCode(uint16_t(code.integerValue()),
                                                   uint64_t(value["modifierFlags"].integerValue())));
    }
    bool allowsReverseTransformation() const override { return true; }
    Value reverseTransformedValue(const Value& value) const override {
        auto shortcut = value.objectAs<Shortcut>();
        if (!shortcut) return Value();
        return Value(Dictionary{{"keyCode", Value(int64_t(shortcut->keyCode()))},
                                {"modifierFlags", Value(int64_t(shortcut->modifierFlags()))}});
    }
};

struct TransformerRegistry {
    std::mutex mutex;
    std::map<std::string, ValueTransformerPtr> byName{
        {NSNegateBooleanTransformerName, std::make_shared<NegateBoolean>()},
        {NSIsNilTransformerName, std::make_shared<IsNil>(false)},
        {NSIsNotNilTransformerName, std::make_shared<IsNil>(true)},
        {NSUnarchiveFromDataTransformerName, std::make_shared<UnarchiveColor>()},
        {NSKeyedUnarchiveFromDataTransformerName, std::make_shared<KeyedUnarchive>()},
        {MASDictionaryTransformerName, std::make_shared<ShortcutDictionary>()},
    };
};

TransformerRegistry& transformers() {
    static TransformerRegistry registry;
    return registry;
}

}  // namespace

ValueTransformerPtr ValueTransformer::valueTransformerForName(const std::string& name) {
    auto& registry = transformers();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.byName.find(name);
    return it == registry.byName.end() ? nullptr : it->second;
}

void ValueTransformer::setValueTransformer(ValueTransformerPtr transformer, const std::string& name) {
    auto& registry = transformers();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (transformer)
        registry.byName[name] = std::move(transformer);
    else
        registry.byName.erase(name);
}

// ---------------------------------------------------------------------------------
// Conversions between model values and Qt property values

namespace {

constexpr const char* kBindingNames[] = {"value",   "selectedIndex", "selectedTag", "contentValues",
                                         "enabled", "hidden"};

bool knownBinding(const std::string& name) {
    for (const char* n : kBindingNames)
        if (name == n) return true;
    return false;
}

int clampInt(int64_t v) {
    if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return int(v);
}

// The shown value for a property of the given type; an invalid QVariant when the type
// is not one a binding can set.
QVariant toVariant(const Value& value, int typeId) {
    switch (typeId) {
        case QMetaType::Bool: return QVariant(value.boolValue());
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Long: return QVariant(clampInt(value.integerValue()));
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong: return QVariant(qlonglong(value.integerValue()));
        case QMetaType::Double:
        case QMetaType::Float: return QVariant(value.doubleValue());
        case QMetaType::QString:
            if (value.isString()) return QVariant(QString::fromStdString(*value.string()));
            if (value.isNil()) return QVariant(QString());
            if (auto object = value.object()) return QVariant(QString::fromStdString(object->description()));
            return QVariant(QString::fromStdString(value.description()));
        case QMetaType::QByteArray:
            if (const Data* d = value.data())
                return QVariant(QByteArray(reinterpret_cast<const char*>(d->data()), qsizetype(d->size())));
            return QVariant(QByteArray());
        case QMetaType::QColor:
            if (auto color = value.objectAs<Color>()) return QVariant(color->toQColor());
            return QVariant(QColor());
        case QMetaType::QVariant: return QVariant::fromValue(value);
        default: return QVariant();
    }
}

Value fromVariant(const QVariant& variant) {
    if (variant.metaType() == QMetaType::fromType<Value>()) return variant.value<Value>();
    switch (variant.metaType().id()) {
        case QMetaType::Bool: return Value(variant.toBool());
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Long:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong: return Value(int64_t(variant.toLongLong()));
        case QMetaType::Double:
        case QMetaType::Float: return Value(variant.toDouble());
        case QMetaType::QString: return Value(variant.toString().toStdString());
        case QMetaType::QByteArray: {
            QByteArray bytes = variant.toByteArray();
            return Value(Data(bytes.begin(), bytes.end()));
        }
        case QMetaType::QColor: {
            QColor c = variant.value<QColor>();
            if (!c.isValid()) return Value();
            return Value(std::const_pointer_cast<Color>(Color::fromQColor(c)));
        }
        default: return Value();
    }
}

// A combo box item's tag: its item data when set, else the entry of the box's dynamic
// property "itemTags" ("0,1,2,3"), else its index.
int64_t comboTag(const QComboBox* box, int index) {
    QVariant data = box->itemData(index);
    if (data.isValid()) return data.toLongLong();
    QStringList tags = box->property("itemTags").toString().split(',', Qt::SkipEmptyParts);
    if (index < tags.size()) {
        bool ok = false;
        qlonglong tag = tags[index].trimmed().toLongLong(&ok);
        if (ok) return tag;
    }
    return index;
}

}  // namespace

// ---------------------------------------------------------------------------------
// KeyValueAdapter

KeyValueAdapter::KeyValueAdapter(ObjectPtr object, std::string key, std::function<Value()> getter,
                                 std::function<void(const Value&)> setter)
    : object_(std::move(object)), key_(std::move(key)), getter_(std::move(getter)), setter_(std::move(setter)) {
    if (object_)
        relay_ = object_->observe(key_, KeyValueObservingOptionPrior, [this](const KeyValueChange& change) {
            if (change.isPrior)
                willChangeValueForKey(key_);
            else
                didChangeValueForKey(key_);
        });
}

Value KeyValueAdapter::valueForKey(const std::string& key) const {
    if (key == key_) return getter_ ? getter_() : Value();
    return Object::valueForKey(key);
}

void KeyValueAdapter::setValueForKey(const Value& value, const std::string& key) {
    if (key != key_) return Object::setValueForKey(value, key);
    if (setter_) setter_(value);
}

// ---------------------------------------------------------------------------------
// Binding

Binding::Binding(QObject* target, std::string name, const ObjectPtr& observable, std::string keyPath,
                 BindingOptions options)
    : QObject(target),
      target_(target),
      name_(std::move(name)),
      observable_(observable),
      keyPath_(std::move(keyPath)),
      options_(std::move(options)) {
    setObjectName(QString::fromStdString("binding." + name_));
    transformer_ = options_.valueTransformer;
    if (!transformer_ && !options_.valueTransformerName.empty()) {
        transformer_ = ValueTransformer::valueTransformerForName(options_.valueTransformerName);
        if (!transformer_) log("no value transformer is named \"", options_.valueTransformerName, "\"");
    }
}

Binding::~Binding() = default;

Binding* Binding::bind(QObject* target, const std::string& binding, const ObjectPtr& observable,
                       const std::string& keyPath, BindingOptions options) {
    if (!target || !observable || keyPath.empty()) {
        log("binding \"", binding, "\" to \"", keyPath, "\" needs a widget, an object and a key path");
        return nullptr;
    }
    if (!knownBinding(binding)) {
        log("there is no binding named \"", binding, "\"");
        return nullptr;
    }
    unbind(target, binding);
    auto* b = new Binding(target, binding, observable, keyPath, std::move(options));
    if (!b->resolve()) {
        log(target->metaObject()->className(), " \"", target->objectName().toStdString(), "\" has no binding \"",
            binding, "\"");
        delete b;
        return nullptr;
    }
    b->observe();
    b->refresh();
    return b;
}

void Binding::unbind(QObject* target, const std::string& binding) {
    if (Binding* b = bindingFor(target, binding)) delete b;
}

Binding* Binding::bindingFor(const QObject* target, const std::string& binding) {
    if (!target) return nullptr;
    for (Binding* b : target->findChildren<Binding*>(QString(), Qt::FindDirectChildrenOnly))
        if (b->name_ == binding) return b;
    return nullptr;
}

std::vector<Binding*> Binding::bindingsIn(const QObject* root) {
    std::vector<Binding*> out;
    if (!root) return out;
    for (Binding* b : root->findChildren<Binding*>()) out.push_back(b);
    return out;
}

void Binding::setBindingsActive(const QObject* root, bool active) {
    for (Binding* b : bindingsIn(root)) b->setActive(active);
}

ObjectPtr Binding::sharedDefaultsController() {
    return UserDefaultsController::sharedUserDefaultsController().shared_from_this();
}

int Binding::bindInterface(QObject* root, const std::map<std::string, ObjectPtr>& objects) {
    static const std::pair<const char*, const char*> kDeclarations[] = {
        {"bindValue", "value"},         {"bindSelectedIndex", "selectedIndex"},
        {"bindSelectedTag", "selectedTag"}, {"bindContentValues", "contentValues"},
        {"bindEnabled", "enabled"},     {"bindHidden", "hidden"},
    };
    if (!root) return 0;
    QList<QObject*> all = root->findChildren<QObject*>();
    all.prepend(root);
    int made = 0;
    // contentValues first, so that a selection bound on the same widget finds its items.
    for (int pass = 0; pass < 2; ++pass) {
        for (QObject* object : all) {
            if (qobject_cast<Binding*>(object)) continue;
            for (const auto& [property, binding] : kDeclarations) {
                if ((std::string(binding) == "contentValues") != (pass == 0)) continue;
                QVariant declared = object->property(property);
                if (!declared.isValid()) continue;
                std::string declaration = declared.toString().toStdString();
                std::string transformerName;
                if (auto bar = declaration.find('|'); bar != std::string::npos) {
                    transformerName = declaration.substr(bar + 1);
                    declaration.resize(bar);
                }
                auto colon = declaration.find(':');
                std::string objectName = colon == std::string::npos ? "" : declaration.substr(0, colon);
                std::string keyPath = colon == std::string::npos ? declaration : declaration.substr(colon + 1);
                ObjectPtr observable;
                if (auto it = objects.find(objectName); it != objects.end())
                    observable = it->second;
                else if (objectName == "defaults")
                    observable = sharedDefaultsController();
                if (!observable) {
                    log("the binding \"", declared.toString().toStdString(), "\" of \"",
                        object->objectName().toStdString(), "\" names no known object");
                    continue;
                }
                BindingOptions options;
                options.valueTransformerName = transformerName;
                if (bind(object, binding, observable, keyPath, options)) ++made;
            }
        }
    }
    return made;
}

bool Binding::isTwoWay() const { return name_ == "value" || name_ == "selectedIndex" || name_ == "selectedTag"; }

bool Binding::resolve() {
    QObject* target = target_.data();
    const QMetaObject* meta = target->metaObject();
    const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("widgetChanged()"));
    if (name_ == "contentValues") return qobject_cast<QComboBox*>(target) != nullptr;
    if (name_ == "enabled" || name_ == "hidden") return qobject_cast<QWidget*>(target) != nullptr;
    if (name_ == "selectedTag") {
        if (auto* group = qobject_cast<QButtonGroup*>(target)) {
            connect(group, &QButtonGroup::idToggled, this, [this](int, bool checked) {
                if (checked) widgetChanged();
            });
            return true;
        }
        if (!qobject_cast<QComboBox*>(target)) return false;
    }
    if (name_ == "value") {
        QMetaProperty user = meta->userProperty();
        if (!user.isValid()) return false;
        propertyIndex_ = user.propertyIndex();
    } else {
        propertyIndex_ = meta->indexOfProperty("currentIndex");
        if (propertyIndex_ < 0) return false;
    }
    QMetaProperty property = meta->property(propertyIndex_);
    if (!property.isWritable()) return false;
    if (property.hasNotifySignal()) connect(target, property.notifySignal(), this, slot);
    return true;
}

void Binding::observe() {
    observation_.invalidate();
    auto object = observable_.lock();
    if (!object) return;
    observation_ = object->observe(keyPath_, KeyValueObservingOptionNew, [this](const KeyValueChange&) { refresh(); });
}

void Binding::setActive(bool active) {
    if (active == active_) return;
    active_ = active;
    if (active) {
        observe();
        refresh();
    } else {
        observation_.invalidate();
    }
}

Value Binding::modelValue() const {
    auto object = observable_.lock();
    Value value = object ? object->valueForKeyPath(keyPath_) : Value();
    if (transformer_) value = transformer_->transformedValue(value);
    if (value.isNil() && !options_.nullPlaceholder.isNil()) value = options_.nullPlaceholder;
    return value;
}

void Binding::refresh() {
    if (!target_) return;
    showValue(modelValue());
}

void Binding::showValue(const Value& shown) {
    QObject* target = target_.data();
    QSignalBlocker blocker(target);
    if (name_ == "enabled") {
        static_cast<QWidget*>(target)->setEnabled(shown.boolValue());
        return;
    }
    if (name_ == "hidden") {
        static_cast<QWidget*>(target)->setHidden(shown.boolValue());
        return;
    }
    if (name_ == "contentValues") {
        auto* box = static_cast<QComboBox*>(target);
        QStringList items;
        if (const Array* array = shown.array()) {
            for (const Value& element : *array) {
                if (element.isString())
                    items << QString::fromStdString(*element.string());
                else if (auto object = element.object())
                    items << QString::fromStdString(object->description());
                else
                    items << QString::fromStdString(element.description());
            }
        }
        QStringList current;
        for (int i = 0; i < box->count(); ++i) current << box->itemText(i);
        if (current != items) {
            box->clear();
            box->addItems(items);
            refreshSiblings();
        }
        return;
    }
    if (name_ == "selectedTag") {
        int64_t tag = shown.integerValue();
        if (auto* group = qobject_cast<QButtonGroup*>(target)) {
            QAbstractButton* button = group->button(clampInt(tag));
            if (button) {
                button->setChecked(true);
            } else if (QAbstractButton* checked = group->checkedButton()) {
                bool exclusive = group->exclusive();
                group->setExclusive(false);
                checked->setChecked(false);
                group->setExclusive(exclusive);
            }
            return;
        }
        auto* box = static_cast<QComboBox*>(target);
        int index = -1;
        for (int i = 0; i < box->count() && index < 0; ++i)
            if (comboTag(box, i) == tag) index = i;
        box->setCurrentIndex(index);
        return;
    }
    QMetaProperty property = target->metaObject()->property(propertyIndex_);
    QVariant variant = toVariant(shown, property.metaType().id());
    if (!variant.isValid()) {
        log("the value ", shown.description(), " cannot be shown by \"", property.name(), "\" of \"",
            target->objectName().toStdString(), "\"");
        return;
    }
    property.write(target, variant);
}

void Binding::refreshSiblings() {
    if (!target_) return;
    for (Binding* b : target_->findChildren<Binding*>(QString(), Qt::FindDirectChildrenOnly))
        if (b != this) b->refresh();
}

Value Binding::widgetValue() const {
    QObject* target = target_.data();
    if (!target) return Value();
    Value value;
    if (name_ == "selectedTag") {
        if (auto* group = qobject_cast<QButtonGroup*>(target)) {
            int id = group->checkedId();
            value = id == -1 && !group->checkedButton() ? Value() : Value(id);
        } else {
            auto* box = static_cast<QComboBox*>(target);
            int index = box->currentIndex();
            value = index < 0 ? Value() : Value(comboTag(box, index));
        }
    } else if (propertyIndex_ >= 0) {
        value = fromVariant(target->metaObject()->property(propertyIndex_).read(target));
    }
    if (transformer_) {
        if (!transformer_->allowsReverseTransformation()) return Value();
        value = transformer_->reverseTransformedValue(value);
    }
    return value;
}

void Binding::pushWidgetValue() {
    if (!isTwoWay() || writing_ || !target_) return;
    if (transformer_ && !transformer_->allowsReverseTransformation()) {
        log("the binding \"", name_, "\" to \"", keyPath_, "\" cannot write back through its transformer");
        refresh();
        return;
    }
    auto object = observable_.lock();
    if (!object) {
        log("the object bound at \"", keyPath_, "\" is gone; the change is not kept");
        return;
    }
    writing_ = true;
    object->setValueForKeyPath(widgetValue(), keyPath_);
    writing_ = false;
    // The model may have corrected or refused the value: show what it holds now.
    refresh();
}

void Binding::widgetChanged() { pushWidgetValue(); }

}  // namespace qs
