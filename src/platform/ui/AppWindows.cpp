#include "platform/ui/AppWindows.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <list>

#include "platform/ui/WindowAttributes.h"

namespace qs::AppWindows {

namespace {

struct Tracker : QObject {
    std::list<QPointer<QWidget>> order;  // front first
    QPointer<QWidget> main;
    std::vector<QPointer<QWidget>> hiddenWindows;
    bool hidden = false;

    void prune() {
        order.remove_if([](const QPointer<QWidget>& w) { return w.isNull(); });
    }
    void toFront(QWidget* w) {
        prune();
        order.remove_if([w](const QPointer<QWidget>& p) { return p == w; });
        order.push_front(w);
    }
    bool eventFilter(QObject* object, QEvent* event) override {
        const auto type = event->type();
        if (type == QEvent::Show || type == QEvent::WindowActivate) {
            auto* w = qobject_cast<QWidget*>(object);
            if (w && w->isWindow()) {
                toFront(w);
                if (type == QEvent::WindowActivate && WindowAttributes::canBecomeMainWindow(w)) main = w;
            }
        }
        return false;
    }
};

Tracker* tracker() {
    static QPointer<Tracker> instance;
    if (!instance && qApp) {
        instance = new Tracker();
        instance->setParent(qApp);
        qApp->installEventFilter(instance);
    }
    return instance;
}

}  // namespace

void startTracking() { (void)tracker(); }

std::vector<QWidget*> windows() {
    std::vector<QWidget*> out;
    if (!qApp) return out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isWindow() && w->windowType() != Qt::Desktop) out.push_back(w);
    return out;
}

std::vector<QWidget*> orderedWindows() {
    std::vector<QWidget*> all = windows();
    std::vector<QWidget*> out;
    if (Tracker* t = tracker()) {
        t->prune();
        for (auto& w : t->order)
            if (std::find(all.begin(), all.end(), w.data()) != all.end()) out.push_back(w);
    }
    for (QWidget* w : all)
        if (std::find(out.begin(), out.end(), w) == out.end()) out.push_back(w);
    return out;
}

QWidget* keyWindow() {
    startTracking();
    return qApp ? QApplication::activeWindow() : nullptr;
}

QWidget* mainWindow() {
    QWidget* key = keyWindow();
    if (key && WindowAttributes::canBecomeMainWindow(key)) return key;
    Tracker* t = tracker();
    if (!t || t->main.isNull()) return nullptr;
    QWidget* main = t->main;
    return main->isVisible() && WindowAttributes::canBecomeMainWindow(main) ? main : nullptr;
}

bool isHidden() {
    Tracker* t = tracker();
    return t && t->hidden;
}

void hide() {
    Tracker* t = tracker();
    if (!t || t->hidden) return;
    t->hidden = true;
    t->hiddenWindows.clear();
    for (QWidget* w : orderedWindows())
        if (w->isVisible()) t->hiddenWindows.emplace_back(w);
    for (auto& w : t->hiddenWindows) w->hide();
}

void unhide() {
    Tracker* t = tracker();
    if (!t || !t->hidden) return;
    t->hidden = false;
    auto windows = std::move(t->hiddenWindows);
    t->hiddenWindows.clear();
    // Back to front, so that the front window ends in front again.
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (*it) (*it)->show();
}

}  // namespace qs::AppWindows
