#pragma once
// The plain button of a window preview's minimise and maximise controls: always at full
// opacity, its image drawn as a template (its shape, in the button's text colour). With
// an alternate image it shows that image while the pointer is over it and its normal
// image again when the pointer leaves.

#include <QIcon>
#include <QPushButton>

#include "dock_ui/SmallButtons.h"

namespace qs {

class WindowButton : public QPushButton {
public:
    // init: as an interface file makes it; the current image is kept as prevImage.
    explicit WindowButton(QWidget* parent = nullptr);
    // initWithFrame: (the frame in the parent's coordinates).
    WindowButton(const QRect& frame, QWidget* parent);

    // The image shown while the pointer is over the button; a null icon: none.
    QIcon alternateImage() const { return alternateImage_; }
    void setAlternateImage(const QIcon& image) { alternateImage_ = image; }
    // The image to bring back when the pointer leaves.
    QIcon prevImage() const { return prevImage_; }
    bool showsAlternateImage() const { return showingAlternate_; }

    void mouseEntered();
    void mouseExited();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QIcon alternateImage_;
    QIcon prevImage_;
    bool showingAlternate_ = false;
    TemplateIcon template_;
};

}  // namespace qs
