#include "dock_ui/WindowButton.h"

#include <QEnterEvent>

namespace qs {

WindowButton::WindowButton(QWidget* parent) : QPushButton(parent) { prevImage_ = icon(); }

WindowButton::WindowButton(const QRect& frame, QWidget* parent) : WindowButton(parent) { setGeometry(frame); }

void WindowButton::mouseEntered() {
    // A plain button is at full opacity already: only the image changes.
    if (alternateImage_.isNull()) return;
    // Only the normal image is kept: entering twice without leaving must not make the
    // alternate image the one to come back to.
    if (!showingAlternate_) prevImage_ = icon();
    showingAlternate_ = true;
    setIcon(alternateImage_);
}

void WindowButton::mouseExited() {
    if (alternateImage_.isNull() || !showingAlternate_) return;
    showingAlternate_ = false;
    setIcon(prevImage_);
}

void WindowButton::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    mouseEntered();
}

void WindowButton::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    mouseExited();
}

void WindowButton::paintEvent(QPaintEvent*) { paintTemplateButton(*this, template_); }

}  // namespace qs
