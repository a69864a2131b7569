#include "preferences/PreferencesWindowController.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "core/AppDelegate.h"
#include "core/DockManager.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/WindowServer.h"
#include "platform/foundation/Log.h"
#include "preferences/AdvancedViewController.h"
#include "preferences/AppearanceViewController.h"
#include "preferences/BlacklistViewController.h"
#include "preferences/GeneralPreferencesView.h"
#include "preferences/LaunchAtLogin.h"
#include "preferences/WidgetsViewController.h"

namespace qs {

namespace {

// The window's widget: closing it hides it and tells the controller.
class PreferencesWindow : public QWidget {
public:
    explicit PreferencesWindow(std::weak_ptr<PreferencesWindowController> controller)
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                               Qt::WindowMinimizeButtonHint),
          controller_(std::move(controller)) {
        setObjectName(QStringLiteral("PreferencesWindow"));
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        QWidget::closeEvent(event);
        if (event->isAccepted())
            if (auto c = controller_.lock()) c->windowDidClose();
    }

private:
    std::weak_ptr<PreferencesWindowController> controller_;
};

struct Shared {
    std::shared_ptr<PreferencesWindowController> controller;
    std::weak_ptr<AppDelegate> delegate;
};

Shared& shared() {
    static Shared s;
    return s;
}

}  // namespace

std::shared_ptr<PreferencesWindowController> PreferencesWindowController::initWithViewControllers(
    std::vector<PreferencesPanePtr> viewControllers, std::string title) {
    std::shared_ptr<PreferencesWindowController> controller(new PreferencesWindowController());
    for (auto& pane : viewControllers)
        if (pane) controller->viewControllers_.push_back(std::move(pane));
    controller->title_ = std::move(title);
    return controller;
}

PreferencesWindowController::~PreferencesWindowController() {
    // Widgets cannot outlive the application object; without it the window is left to
    // the end of the process.
    if (window_ && QCoreApplication::instance()) delete window_.data();
}

bool PreferencesWindowController::isWindowVisible() const { return window_ && window_->isVisible(); }

QWidget* PreferencesWindowController::window() {
    if (window_) return window_.data();
    auto self = std::static_pointer_cast<PreferencesWindowController>(shared_from_this());
    auto* window = new PreferencesWindow(self);
    window_ = window;
    window->setWindowTitle(QString::fromStdString(title_));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    toolbar_ = new QToolBar(window);
    toolbar_->setObjectName(QStringLiteral("toolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->setIconSize(QSize(32, 32));
    actions_ = new QActionGroup(window);
    actions_->setExclusive(true);
    for (size_t i = 0; i < viewControllers_.size(); ++i) {
        const auto& pane = viewControllers_[i];
        auto* action = toolbar_->addAction(pane->toolbarItemImage(), QString::fromStdString(pane->toolbarItemLabel()));
        action->setObjectName(QString::fromStdString(pane->identifier()));
        action->setCheckable(true);
        actions_->addAction(action);
        std::weak_ptr<PreferencesWindowController> weak = self;
        QObject::connect(action, &QAction::triggered, window, [weak, i] {
            if (auto c = weak.lock()) c->selectControllerAtIndex(i);
        });
    }
    layout->addWidget(toolbar_);

    paneHolder_ = new QWidget(window);
    paneHolder_->setObjectName(QStringLiteral("paneHolder"));
    paneLayout_ = new QVBoxLayout(paneHolder_);
    paneLayout_->setContentsMargins(20, 16, 20, 20);
    layout->addWidget(paneHolder_);

    auto* closeShortcut = new QShortcut(QKeySequence::Close, window);
    QObject::connect(closeShortcut, &QShortcut::activated, window, &QWidget::close);

    size_t first = hasSelection_ ? selected_ : 0;
    hasSelection_ = false;
    keepOneSize();
    if (!viewControllers_.empty()) selectControllerAtIndex(first);
    return window;
}

void PreferencesWindowController::keepOneSize() {
    // The pane area is as large as the largest pane, so the window keeps its size when
    // another pane is chosen. The panes' views are made for it; until shown they observe
    // nothing.
    QSize largest;
    for (const auto& pane : viewControllers_) {
        const bool wasLoaded = pane->isViewLoaded();
        QWidget* view = pane->view();
        if (!view) continue;
        view->ensurePolished();
        largest = largest.expandedTo(view->sizeHint().expandedTo(view->minimumSizeHint()));
        if (!wasLoaded) pane->viewDidDisappear();
    }
    const QMargins m = paneLayout_->contentsMargins();
    paneHolder_->setMinimumSize(largest.grownBy(m));
}

PreferencesPanePtr PreferencesWindowController::selectedViewController() const {
    if (!hasSelection_ || selected_ >= viewControllers_.size()) return nullptr;
    return viewControllers_[selected_];
}

void PreferencesWindowController::selectControllerAtIndex(size_t index) {
    if (index >= viewControllers_.size()) return;
    if (!window_) {
        // Remembered until the window is made.
        selected_ = index;
        hasSelection_ = true;
        return;
    }
    if (hasSelection_ && index == selected_) {
        if (actions_) actions_->actions().at(int(index))->setChecked(true);
        return;
    }
    const bool visible = window_->isVisible();
    if (auto old = selectedViewController()) {
        if (QWidget* view = old->isViewLoaded() ? old->view() : nullptr) {
            paneLayout_->removeWidget(view);
            view->hide();
        }
        old->viewDidDisappear();
    }
    selected_ = index;
    hasSelection_ = true;
    const auto& pane = viewControllers_[index];
    QWidget* view = pane->view();
    if (view) {
        view->setParent(paneHolder_);
        paneLayout_->addWidget(view);
        view->show();
    }
    if (actions_) actions_->actions().at(int(index))->setChecked(true);
    if (visible)
        pane->viewWillAppear();
    else
        pane->viewDidDisappear();  // loaded while the window is closed: nothing observed yet
}

bool PreferencesWindowController::selectControllerWithIdentifier(const std::string& identifier) {
    for (size_t i = 0; i < viewControllers_.size(); ++i) {
        if (viewControllers_[i]->identifier() == identifier) {
            selectControllerAtIndex(i);
            return true;
        }
    }
    return false;
}

void PreferencesWindowController::showWindow() {
    QWidget* w = window();
    if (!w->isVisible()) {
        if (auto pane = selectedViewController()) pane->viewWillAppear();
        w->show();
    } else {
        moveToActiveSpace();
        if (w->windowState() & Qt::WindowMinimized) w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    }
    w->raise();
    w->activateWindow();
}

void PreferencesWindowController::moveToActiveSpace() {
    auto& services = desktop::services();
    if (!services.windowServer || !window_) return;
    int space = services.windowServer->currentSpace();
    if (space < 0) return;
    services.windowServer->moveWindowToSpace(desktop::WindowNumber(window_->winId()), space);
}

void PreferencesWindowController::center() {
    if (!window_) return;
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    window_->adjustSize();
    QRect area = screen->availableGeometry();
    QSize size = window_->frameGeometry().size().expandedTo(window_->size());
    // Centred across; somewhat above the middle, as windows are centred on this desktop.
    int x = area.x() + (area.width() - size.width()) / 2;
    int y = area.y() + std::max(0, (area.height() - size.height()) * 2 / 5);
    window_->move(x, y);
}

void PreferencesWindowController::close() {
    if (window_ && window_->isVisible()) window_->close();
}

void PreferencesWindowController::windowDidClose() {
    if (auto pane = selectedViewController()) pane->viewDidDisappear();
}

// ---------------------------------------------------------------------------------
// The program's window

std::shared_ptr<PreferencesWindowController> PreferencesWindowController::prefsController() {
    auto& s = shared();
    if (s.controller) return s.controller;

    auto manager = DockManager::sharedInstance();
    auto general = GeneralPreferencesView::create();
    general->setConfig(manager->mainConfig());
    general->setLaunchAtLoginController(std::make_shared<LaunchAtLoginController>());
    auto appearance = AppearanceViewController::create();
    appearance->setConfig(manager->mainConfig());
    auto widgets = WidgetsViewController::create();
    auto advanced = AdvancedViewController::create();
    advanced->setConfig(manager->mainConfig());
    auto blacklist = BlacklistViewController::create();
    blacklist->setModel(manager->mainModel());

    s.controller = initWithViewControllers({general, appearance, widgets, advanced, blacklist},
                                           localizedString("Preferences"));
    static bool releasedAtQuit = false;
    if (auto* app = QCoreApplication::instance(); app && !releasedAtQuit) {
        releasedAtQuit = true;
        QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { releasePrefsController(); });
    }
    return s.controller;
}

bool PreferencesWindowController::hasPrefsController() { return static_cast<bool>(shared().controller); }

void PreferencesWindowController::showPreferences() {
    auto controller = prefsController();
    controller->showWindow();
    controller->center();
}

void PreferencesWindowController::showPreferences(const std::string& paneIdentifier) {
    auto controller = prefsController();
    if (!controller->selectControllerWithIdentifier(paneIdentifier))
        log("the preferences have no pane \"", paneIdentifier, "\"");
    showPreferences();
}

void PreferencesWindowController::releasePrefsController() {
    auto controller = std::move(shared().controller);
    shared().controller.reset();
    if (controller) controller->close();
}

void PreferencesWindowController::setApplicationDelegate(const std::shared_ptr<AppDelegate>& delegate) {
    shared().delegate = delegate;
}

std::shared_ptr<AppDelegate> PreferencesWindowController::applicationDelegate() { return shared().delegate.lock(); }

}  // namespace qs
