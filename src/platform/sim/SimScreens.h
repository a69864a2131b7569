#pragma once
// In-memory screens for tests: a settable list (the first is the primary screen), each
// with a settable frame and visible frame, and a settable main screen.

#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/Screen.h"

namespace qs::sim {

class SimScreen : public Screen {
public:
    static std::shared_ptr<SimScreen> make(const Rect& frame, std::string name = "Sim",
                                           const Rect* visibleFrame = nullptr);
    SimScreen(const Rect& frame, const Rect& visibleFrame, std::string name)
        : frame_(frame), visibleFrame_(visibleFrame), name_(std::move(name)) {}

    Rect frame() const override { return frame_; }
    Rect visibleFrame() const override { return visibleFrame_; }
    std::string localizedName() const override { return name_; }
    double backingScaleFactor() const override { return scale_; }

    // Setting the frame also sets the visible frame, unless one is given afterwards.
    void setFrame(const Rect& frame) { frame_ = visibleFrame_ = frame; }
    void setVisibleFrame(const Rect& visibleFrame) { visibleFrame_ = visibleFrame; }
    void setLocalizedName(std::string name) { name_ = std::move(name); }
    void setBackingScaleFactor(double scale) { scale_ = scale; }

private:
    Rect frame_;
    Rect visibleFrame_;
    std::string name_;
    double scale_ = 1.0;
};

class SimScreens : public desktop::ScreenServer {
public:
    std::vector<std::shared_ptr<Screen>> screens() override;
    // The screen set by setMainScreen while it is in the list; else the first screen;
    // nullptr when there are none.
    std::shared_ptr<Screen> mainScreen() override;

    // Replaces the list. Nothing is posted: call postScreenParametersChanged() to tell
    // the program, as a real display change would.
    void setScreens(std::vector<std::shared_ptr<SimScreen>> screens);
    const std::vector<std::shared_ptr<SimScreen>>& simScreens() const { return screens_; }
    void setMainScreen(std::shared_ptr<Screen> screen) { main_ = std::move(screen); }
    // Convenience: appends a screen with the frame (visible frame = frame).
    std::shared_ptr<SimScreen> addScreen(const Rect& frame, std::string name = "Sim");
    // Posts "NSApplicationDidChangeScreenParametersNotification" on the default centre.
    void postScreenParametersChanged();

private:
    std::vector<std::shared_ptr<SimScreen>> screens_;
    std::weak_ptr<Screen> main_;
};

}  // namespace qs::sim
