#pragma once
// A view as an object that values and dictionaries can carry (the "view" of a hover
// dictionary, say): one object per widget, for as long as the widget lives; view()
// answers nullptr once the widget is gone.

#include <memory>
#include <string>

#include <QPointer>
#include <QWidget>

#include "platform/foundation/Object.h"

namespace qs {

class ViewObject : public Object {
public:
    explicit ViewObject(QWidget* view) : view_(view) {}
    std::string className() const override { return "NSView"; }
    QWidget* view() const { return view_.data(); }
    bool isEqual(const Object* other) const override {
        auto* o = dynamic_cast<const ViewObject*>(other);
        return o && o->view_ == view_;
    }

private:
    QPointer<QWidget> view_;
};

// The object of the widget (made on first use, kept with the widget); nullptr for none.
std::shared_ptr<ViewObject> viewObject(QWidget* view);
// The widget a value carries: a ViewObject's view, nullptr otherwise.
QWidget* viewOfValue(const Value& value);

}  // namespace qs
