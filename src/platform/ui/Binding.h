#pragma once
// Bindings: a property of a widget tied both ways to a key path of an observable object
// (the shared defaults controller's "values.KEY", a pane's "config.position", the theme
// manager's "themeIndex"), optionally through a value transformer.
//
// Model to widget: the binding observes the key path (with the initial value) and sets
// the widget's property whenever the value at the path changes, whoever changed it; the
// widget's own signals are blocked meanwhile, so nothing is written back. Widget to
// model: when the user changes the widget (its property's change signal), the new value
// goes through the transformer's reverse and is set at the key path with
// setValueForKeyPath. Values the model corrects on the way in (a clamped index) come
// back to the widget at once through the observation.
//
// Binding names, as the interface files use them:
//   "value"          the widget's user property (a check box's checked state, a slider's or
//                    spin box's value, a line edit's text, a colour well's colour), both ways
//   "selectedIndex"  the current index of a combo box or segmented control, both ways
//   "selectedTag"    the item whose tag (item data, else the box's "itemTags" list, else
//                    its index) equals the value, both ways; for a QButtonGroup the
//                    button whose id equals it
// A nil value shows as NO, 0, 0.0 or "" (so an absent setting shows as the settings read
// it), or as the null placeholder when one is given; an index or tag that matches no
// item selects nothing.
//   "contentValues"  the items of a combo box: an array, each element's string or
//                    description (model to widget only)
//   "enabled"        QWidget::enabled (model to widget only)
//   "hidden"         QWidget hidden (model to widget only)
//
// A binding belongs to its widget (a QObject child of it) and ends with it. It holds its
// observable object weakly. A binding can be made inactive: it then observes nothing and
// costs nothing; made active again it reads the model afresh. A window that is closed
// deactivates the bindings of its panes, so a closed window adds no work to changes of
// the settings.
//
// Interface files declare bindings as dynamic string properties of their widgets:
//   bindValue, bindSelectedIndex, bindSelectedTag, bindContentValues, bindEnabled,
//   bindHidden = "<object>:<key path>[|<transformer name>]"
// for instance "defaults:values.HideMenuBarIcon|NSNegateBoolean" or
// "owner:config.position". bindInterface makes them, naming the objects.
//
// Main thread only.

#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

namespace qs {

// Transforms a model value into the value a widget shows, and (when reversible) back.
class ValueTransformer {
public:
    virtual ~ValueTransformer() = default;
    virtual Value transformedValue(const Value& value) const = 0;
    virtual bool allowsReverseTransformation() const { return false; }
    virtual Value reverseTransformedValue(const Value& value) const;

    // The registered transformers: the named ones below, and any registered later.
    static std::shared_ptr<ValueTransformer> valueTransformerForName(const std::string& name);
    static void setValueTransformer(std::shared_ptr<ValueTransformer> transformer, const std::string& name);
};

using ValueTransformerPtr = std::shared_ptr<ValueTransformer>;

// YES for NO and nil, NO for YES; reversible.
inline constexpr const char* NSNegateBooleanTransformerName = "NSNegateBoolean";
// Whether the value is nil / is not nil; one way.
inline constexpr const char* NSIsNilTransformerName = "NSIsNil";
inline constexpr const char* NSIsNotNilTransformerName = "NSIsNotNil";
// A colour's archived data (what "backgroundColor" holds) and the colour; reversible.
// Data that is no colour reads as nil.
inline constexpr const char* NSUnarchiveFromDataTransformerName = "NSUnarchiveFromData";
// A keyed archive and its root object (a stored shortcut and the shortcut); reversible.
// Data that is no archive reads as nil.
inline constexpr const char* NSKeyedUnarchiveFromDataTransformerName = "NSKeyedUnarchiveFromData";
// A dictionary {"keyCode", "modifierFlags"} and the shortcut it describes; reversible.
inline constexpr const char* MASDictionaryTransformerName = "MASDictionaryTransformer";

struct BindingOptions {
    // NSValueTransformerNameBindingOption / NSValueTransformerBindingOption (the object
    // wins when both are given).
    std::string valueTransformerName;
    ValueTransformerPtr valueTransformer;
    // What the widget shows while the value is nil (NSNullPlaceholderBindingOption).
    Value nullPlaceholder;
};

// An observable stand-in for an object that offers one property through a getter and a
// setter and announces it by key-value observation, but answers no key-value coding:
// valueForKey(key) calls the getter, setValueForKey(value, key) the setter, and each
// change the object announces is announced again here. It holds the object.
class KeyValueAdapter : public Object {
public:
    KeyValueAdapter(ObjectPtr object, std::string key, std::function<Value()> getter,
                    std::function<void(const Value&)> setter);
    std::string className() const override { return "KeyValueAdapter"; }
    const ObjectPtr& adaptedObject() const { return object_; }
    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

private:
    ObjectPtr object_;
    std::string key_;
    std::function<Value()> getter_;
    std::function<void(const Value&)> setter_;
    KeyValueObservation relay_;
};

class Binding : public QObject {
    Q_OBJECT
public:
    // Ties `binding` of `target` to `keyPath` of `observable` and shows the current value.
    // Binding the same name again replaces the earlier binding. Answers nullptr (with a
    // log line) for a name the target does not have, or a missing object or key path.
    static Binding* bind(QObject* target, const std::string& binding, const ObjectPtr& observable,
                         const std::string& keyPath, BindingOptions options = {});
    static void unbind(QObject* target, const std::string& binding);
    static Binding* bindingFor(const QObject* target, const std::string& binding);
    // Every binding of `root` and of its descendants.
    static std::vector<Binding*> bindingsIn(const QObject* root);
    static void setBindingsActive(const QObject* root, bool active);

    // Makes the bindings that the widgets under `root` declare (see above). `objects`
    // names the objects ("defaults" is always the shared defaults controller unless
    // given). Answers how many were made; a declaration that cannot be made is logged
    // and skipped.
    static int bindInterface(QObject* root, const std::map<std::string, ObjectPtr>& objects);
    // The objects an interface file can name besides its own: "defaults".
    static ObjectPtr sharedDefaultsController();

    ~Binding() override;

    QObject* target() const { return target_.data(); }
    const std::string& name() const { return name_; }
    ObjectPtr observedObject() const { return observable_.lock(); }
    const std::string& keyPath() const { return keyPath_; }
    const BindingOptions& options() const { return options_; }
    ValueTransformerPtr transformer() const { return transformer_; }
    // Whether the widget writes back (value, selectedIndex, selectedTag).
    bool isTwoWay() const;

    bool isActive() const { return active_; }
    // Inactive: the observation ends. Active again: observed anew, the widget refreshed.
    void setActive(bool active);

    // The value at the key path, transformed (what the widget shows).
    Value modelValue() const;
    // Reads the model and sets the widget (with the widget's signals blocked).
    void refresh();
    // The widget's current value, reverse-transformed (what is written).
    Value widgetValue() const;
    // Writes the widget's value to the model (what a user change does).
    void pushWidgetValue();

private slots:
    void widgetChanged();

private:
    Binding(QObject* target, std::string name, const ObjectPtr& observable, std::string keyPath,
            BindingOptions options);
    bool resolve();
    void observe();
    void showValue(const Value& shown);
    void refreshSiblings();

    QPointer<QObject> target_;
    std::string name_;
    std::weak_ptr<Object> observable_;
    std::string keyPath_;
    BindingOptions options_;
    ValueTransformerPtr transformer_;
    KeyValueObservation observation_;
    bool active_ = true;
    bool writing_ = false;
    // The Qt property behind "value", "selectedIndex" and "selectedTag" (-1 when none).
    int propertyIndex_ = -1;
};

}  // namespace qs

// A model value carried inside a QVariant (widget properties of type QVariant).
Q_DECLARE_METATYPE(qs::Value)
