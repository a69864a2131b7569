#include "dock_ui/DockWindow.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPropertyAnimation>

#include "core/DockConfiguration.h"
#include "core/DockManager.h"
#include "core/DockModel.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowGeometry.h"
#include "tracking/SIScreenPointConversion.h"

namespace qs {

std::shared_ptr<DockWindow> DockWindow::initWithPanelModel(std::shared_ptr<DockModel> model,
                                                           std::shared_ptr<DockConfiguration> configuration,
                                                           ScreenPtr screen) {
    return std::shared_ptr<DockWindow>(new DockWindow(std::move(model), std::move(configuration), std::move(screen)),
                                       [](DockWindow* w) { w->deleteLater(); });
}

DockWindow::DockWindow(std::shared_ptr<DockModel> model, std::shared_ptr<DockConfiguration> configuration,
                       ScreenPtr screen)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      model_(std::move(model)),
      configuration_(std::move(configuration)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Quayside"));
    // The construction's content rectangle, placed on the given screen.
    Rect start = MakeRect(100, 100, 600, 100);
    if (screen) start = RectOffset(start, screen->frame().origin.x, screen->frame().origin.y);
    setGeometry(WindowGeometry::qtRectFromPlatform(start));
    setWindowOpacity(0.0);
    // The window type reaches the window system only once the native window exists.
    winId();
    setAttribute(Qt::WA_X11NetWmWindowTypeDock);
}

DockWindow::~DockWindow() = default;

int16_t DockWindow::position() const { return configuration_ ? configuration_->position() : 1; }

bool DockWindow::hasIndent() const { return UserDefaults::standardUserDefaults().boolForKey("Indent"); }

Rect DockWindow::frame() const { return WindowGeometry::platformRectFromQt(geometry()); }

void DockWindow::fadeInOnScreen(ScreenPtr screen) {
    screen_ = std::move(screen);
    setWindowOpacity(0.0);
    show();
    raise();
    if (!fade_) {
        fade_ = new QPropertyAnimation(this, "windowOpacity", this);
        fade_->setDuration(250);
    }
    fade_->stop();
    fade_->setStartValue(0.0);
    fade_->setEndValue(1.0);
    fade_->start();
    isShown_ = true;
    updatePositionAndSize();
}

void DockWindow::updatePositionAndSize() {
    if (!isVisible() || !screen_) return;
    Rect s = screen_->frame();
    int64_t n = model_ ? model_->valueForKeyPath("panelContent.@count").integerValue() : 0;
    double icon = std::trunc(configuration_ ? configuration_->iconSize() : 52.0);
    if (icon < 1.0) icon = 1.0;
    // Items shrink to fit the edge; an empty dock keeps the length of one cell.
    double edge = Width(s);
    double cell = (n > 0 && double(n) * icon >= edge) ? edge / double(n) : icon;
    cell = std::ceil(cell);
    double length = std::min(edge, n > 0 ? double(n) * cell : cell);
    setGeometry(WindowGeometry::qtRectFromPlatform(MakeRect(s.origin.x, s.origin.y, length, cell)));
    update();
}

void DockWindow::orderOut() {
    if (fade_) fade_->stop();
    hide();
}

void DockWindow::close() {
    if (fade_) fade_->stop();
    QWidget::close();
}

double DockWindow::alphaValue() const { return isVisible() ? windowOpacity() : 0.0; }

Rect DockWindow::maxFrameForMaximize() const {
    Rect f = screen_ ? NSScreen_PointConversion::frameWithoutDockOrMenu(*screen_) : RectZero;
    if (isShown_ && alphaValue() == 0.0) return f;  // auto-hidden
    Rect p = frame();
    double w = Width(p), h = Height(p);
    double d = hasIndent() ? 8.0 : 0.0;
    switch (position()) {
        case 0:
            return MakeRect(f.origin.x + w + 1 + d, f.origin.y, f.size.width - w - 1 - d, f.size.height);
        case 1:
            return MakeRect(f.origin.x, f.origin.y, f.size.width, f.size.height - h - 1 - d);
        case 2:
            return MakeRect(f.origin.x, f.origin.y, f.size.width - w - 1 - d, f.size.height);
        case 3:
            return MakeRect(f.origin.x, f.origin.y + h, f.size.width, f.size.height - h);
        default:
            return f;
    }
}

Rect DockWindow::maxFrameForVerticalMaximizeFrame(const Rect& r) const {
    if (position() != 1) return RectZero;
    double visibleHeight = screen_ ? Height(screen_->visibleFrame()) : 0.0;
    return MakeRect(r.origin.x, r.origin.y, r.size.width, visibleHeight - Height(frame()) - 8.0);
}

void DockWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 30, 30, 180));
    double radius = (configuration_ && configuration_->aligment() == 3) ? 0.0
                    : (configuration_ && configuration_->cornerStyle() != 0) ? 20.0
                                                                              : 6.0;
    painter.drawRoundedRect(rect(), radius, radius);
}

void installDockWindowFactory() {
    DockManager::setWindowFactory(
        [](std::shared_ptr<DockModel> model, std::shared_ptr<DockConfiguration> configuration,
           ScreenPtr screen) -> DockPanelWindowPtr {
            return DockWindow::initWithPanelModel(std::move(model), std::move(configuration), std::move(screen));
        });
}

}  // namespace qs
