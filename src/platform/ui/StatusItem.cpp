#include "platform/ui/StatusItem.h"

#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QSystemTrayIcon>
#include <atomic>

#include "platform/foundation/Log.h"
#include "platform/ui/MenuPresenter.h"

namespace qs {

namespace {

std::atomic<size_t> liveItems{0};

// One line for the whole run: the item stays, and shows when a tray starts.
void noteMissingTray() {
    static std::atomic<bool> told{false};
    if (!told.exchange(true))
        log("no system tray runs on this desktop: the menu-bar item is not shown until one starts");
}

}  // namespace

struct StatusItem::Impl {
    QPointer<QSystemTrayIcon> tray;
    QPointer<QMenu> menu;

    ~Impl() {
        if (tray) {
            tray->hide();
            delete tray.data();
        }
        delete menu.data();
    }
};

StatusItem::StatusItem(double length) : length_(length), impl_(std::make_unique<Impl>()) {
    ++liveItems;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        log("the menu-bar item needs the program's interface; it is not shown");
        return;
    }
    impl_->tray = new QSystemTrayIcon();
    QSystemTrayIcon* tray = impl_->tray;
    Impl* impl = impl_.get();
    QObject::connect(tray, &QSystemTrayIcon::activated, tray, [impl](QSystemTrayIcon::ActivationReason reason) {
        // A click opens the menu, as on a menu bar; the context button opens it by itself.
        if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::MiddleClick) return;
        if (impl->menu && !impl->menu->isVisible() && MenuPresenter::hasEntries(*impl->menu))
            impl->menu->popup(QCursor::pos());
    });
}

void StatusItem::showWhenReady() {
    QSystemTrayIcon* tray = impl_->tray;
    if (!tray || tray->isVisible() || tray->icon().isNull()) return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) noteMissingTray();
    // Shown even without a tray: Qt docks the icon when a tray appears.
    tray->show();
}

StatusItem::~StatusItem() {
    impl_.reset();
    --liveItems;
}

void StatusItem::setImage(ImagePtr image) {
    image_ = std::move(image);
    if (!impl_->tray) return;
    if (image_ && image_->isValid())
        impl_->tray->setIcon(QIcon(QPixmap::fromImage(image_->qimage())));
    else
        impl_->tray->setIcon(QIcon());
    showWhenReady();
}

void StatusItem::setMenu(MenuPtr menu) {
    menu_ = std::move(menu);
    if (!impl_->tray) return;
    QMenu* old = impl_->menu;
    impl_->menu = MenuPresenter::makeQMenu(menu_, nullptr);
    // Separators in a row stay as the model has them.
    if (impl_->menu) impl_->menu->setSeparatorsCollapsible(false);
    impl_->tray->setContextMenu(impl_->menu);
    delete old;
}

bool StatusItem::isShownInTray() const {
    return impl_->tray && impl_->tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

QSystemTrayIcon* StatusItem::trayIcon() const { return impl_->tray; }
QMenu* StatusItem::trayMenu() const { return impl_->menu; }

StatusBar& StatusBar::systemStatusBar() {
    static StatusBar bar;
    return bar;
}

std::shared_ptr<StatusItem> StatusBar::statusItemWithLength(double length) {
    return std::make_shared<StatusItem>(length);
}

size_t StatusBar::numberOfItems() const { return liveItems.load(); }

bool StatusBar::isTrayAvailable() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) && QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace qs
