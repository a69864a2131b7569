#include "platform/ui/ViewObject.h"

#include <QVariant>

namespace qs {

namespace {

// Keeps the shared object alive as long as the widget: a QObject child of the widget
// holding the pointer.
class Holder : public QObject {
public:
    Holder(QWidget* view, std::shared_ptr<ViewObject> object) : QObject(view), object(std::move(object)) {
        setObjectName(QStringLiteral("qs_viewObject"));
    }
    std::shared_ptr<ViewObject> object;
};

}  // namespace

std::shared_ptr<ViewObject> viewObject(QWidget* view) {
    if (!view) return nullptr;
    for (QObject* child : view->children())
        if (auto* h = dynamic_cast<Holder*>(child)) return h->object;
    auto object = std::make_shared<ViewObject>(view);
    new Holder(view, object);
    return object;
}

QWidget* viewOfValue(const Value& value) {
    auto o = value.objectAs<ViewObject>();
    return o ? o->view() : nullptr;
}

}  // namespace qs
