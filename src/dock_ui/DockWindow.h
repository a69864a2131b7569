#pragma once
// One dock panel: a frameless window of dock type along one edge of one screen, showing
// the shared model with the shared configuration. For now it is the least panel the
// dock manager needs: it stands at its screen's bottom edge, sized by the icon size,
// with a plain translucent background; it fades in, orders out, reports its alpha and
// its screen, and answers the frames for maximised windows beside it.

#include <memory>

#include <QRect>
#include <QWidget>

#include "core/DockWindowController.h"

class QPropertyAnimation;

namespace qs {

class DockConfiguration;
class DockModel;

class DockWindow : public QWidget, public DockPanelWindow {
    Q_OBJECT

public:
    // initWithPanelModel:withConfiguration:screen:. The panel is deleted through the
    // event loop once the last reference goes.
    static std::shared_ptr<DockWindow> initWithPanelModel(std::shared_ptr<DockModel> model,
                                                          std::shared_ptr<DockConfiguration> configuration,
                                                          ScreenPtr screen);

    DockWindow(std::shared_ptr<DockModel> model, std::shared_ptr<DockConfiguration> configuration,
               ScreenPtr screen);
    ~DockWindow() override;

    void fadeInOnScreen(ScreenPtr screen) override;
    void orderOut() override;
    void close() override;
    double alphaValue() const override;
    ScreenPtr screen() const override { return screen_; }
    Rect maxFrameForMaximize() const override;
    Rect maxFrameForVerticalMaximizeFrame(const Rect& frame) const override;

    void updatePositionAndSize();
    // The bool user default "Indent".
    bool hasIndent() const;
    int16_t position() const;
    bool isShown() const { return isShown_; }
    // The panel's frame in platform coordinates.
    Rect frame() const;

    const std::shared_ptr<DockModel>& model() const { return model_; }
    const std::shared_ptr<DockConfiguration>& configuration() const { return configuration_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ScreenPtr screen_;
    bool isShown_ = false;
    std::shared_ptr<DockModel> model_;
    std::shared_ptr<DockConfiguration> configuration_;
    QPropertyAnimation* fade_ = nullptr;
};

// Makes the dock manager build its panels as DockWindows.
void installDockWindowFactory();

}  // namespace qs
