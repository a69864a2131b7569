#include "dock_ui/PanelShadow.h"

#include <cmath>

#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include "platform/desktop/PanelWindows.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ShadowRenderer.h"

namespace qs {

int PanelShadow::margin() { return ShadowRenderer::blurMargin(kBlur); }

PanelShadow::PanelShadow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::WindowTransparentForInput | Qt::NoDropShadowWindowHint) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Quayside"));
}

void PanelShadow::follow(QWidget* panel, const QRect& panelGeometry, double cornerRadius, double opacity,
                         bool shown) {
    if (!shown || !panel) {
        if (isVisible()) hide();
        return;
    }
    const int m = margin();
    if (panelGeometry.size() != panelGeometry_.size() || cornerRadius != cornerRadius_) update();
    if (panelGeometry != panelGeometry_) replacements_ = 0;
    panelGeometry_ = panelGeometry;
    cornerRadius_ = cornerRadius;
    wanted_ = panelGeometry.adjusted(-m, -m, m, m);
    // Against where the window stands, not where the panel stood last time: a report
    // may have put it elsewhere meanwhile.
    if (geometry() != wanted_) setGeometry(wanted_);
    // Setting it writes the window's opacity property each time: only when it changed
    // (this runs at every move, resize and expose of the panel).
    if (qRound(windowOpacity() * 255) != qRound(opacity * 255)) setWindowOpacity(opacity);
    if (!isVisible()) map(panel);
}

void PanelShadow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    keepInPlace();
}

void PanelShadow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    keepInPlace();
}

void PanelShadow::keepInPlace() {
    if (!isVisible() || wanted_.isEmpty() || geometry() == wanted_ || replacePending_) return;
    if (replacements_ >= kMaxReplacements) return;
    // After the report that moved it has been handled.
    replacePending_ = true;
    QPointer<PanelShadow> self = this;
    RunLoop::main().post([self] {
        if (!self) return;
        self->replacePending_ = false;
        if (!self->isVisible() || self->geometry() == self->wanted_ || self->replacements_ >= kMaxReplacements) return;
        ++self->replacements_;
        self->setGeometry(self->wanted_);
    });
}

void PanelShadow::map(QWidget* panel) {
    // As the panel: a dock window on every desktop above the others, so that the window
    // manager keeps it in the panel's layer; the panel is raised over it.
    auto panels = desktop::PanelWindows::installed();
    if (!nativeId_) nativeId_ = uint64_t(winId());
    // The window type reaches the window system only once the native window exists.
    if (!testAttribute(Qt::WA_X11NetWmWindowTypeDock)) setAttribute(Qt::WA_X11NetWmWindowTypeDock);
    if (panels) panels->prepareDockPanel(nativeId_, true);
    show();
    if (panels) panels->dockPanelMapped(nativeId_, true);
    panel->raise();
}

void PanelShadow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const int m = margin();
    const QRectF body(m, m, panelGeometry_.width(), panelGeometry_.height());
    QPainterPath shape;
    shape.addRoundedRect(body, cornerRadius_, cornerRadius_);
    const double dpr = devicePixelRatioF();
    ShadowRenderer::Spec spec;
    spec.color = QColor(0, 0, 0, int(std::lround(kAlpha * 255)));
    spec.blur = kBlur * dpr;
    const QRectF device(QPointF(0, 0), QSizeF(size()) * dpr);
    ShadowRenderer::cast(p, QRectF(body.topLeft() * dpr, body.size() * dpr), device, dpr, spec,
                         [&](QPainter& layer) { layer.fillPath(shape, Qt::black); });
    // Nothing under the panel: a translucent panel shows what is behind it, not a shadow.
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.fillPath(shape, Qt::transparent);
}

}  // namespace qs
