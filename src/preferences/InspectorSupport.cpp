#include "preferences/InspectorSupport.h"

#include <QCloseEvent>

#include "platform/ui/Binding.h"

namespace qs {

InspectorWindowWidget::InspectorWindowWidget()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {}

void InspectorWindowWidget::orderFront() {
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void InspectorWindowWidget::closeEvent(QCloseEvent* event) {
    if (onClose) onClose();
    QWidget::closeEvent(event);
}

void InspectorWindowWidget::showEvent(QShowEvent* event) {
    Binding::setBindingsActive(this, true);
    QWidget::showEvent(event);
}

void InspectorWindowWidget::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    Binding::setBindingsActive(this, false);
}

}  // namespace qs
