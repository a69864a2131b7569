#pragma once
// The accessibility element of one window of another application: identity, state,
// the window lists across applications, its screen, its preview picture and the
// operations on it (focus, placement, maximise, spaces, minimise, close).
//
// Frames are accessibility coordinates (X root coordinates, y down).

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/Screen.h"
#include "platform/desktop/SyntheticEvents.h"
#include "platform/foundation/Image.h"
#include "platform/foundation/RunLoop.h"
#include "tracking/SIAccessibilityElement.h"

namespace qs {

class SIApplication;

class SIWindow : public SIAccessibilityElement {
public:
    using SIAccessibilityElement::SIAccessibilityElement;

    static std::shared_ptr<SIWindow> initWithAXElement(const desktop::AXElement& element);
    // Contents still kept are released.
    ~SIWindow() override;

    std::string className() const override { return "SIWindow"; }
    std::vector<std::string> classHierarchy() const override {
        return {"SIWindow", "SIAccessibilityElement", "NSObject"};
    }
    std::shared_ptr<SIAccessibilityElement> copy() const override;
    // "previewImage", "title", "win_id", "appName", "isMaximized", "isWindowMinimized", ...
    Value valueForKey(const std::string& key) const override;

    // Identity and state.
    uint32_t windowID() const;
    uint32_t win_id() const { return windowID(); }
    std::optional<std::string> title() const;
    std::optional<std::string> role() const;
    std::optional<std::string> subrole() const;
    bool isWindowMinimized() const;
    bool isNormalWindow() const;
    bool isSheet() const;
    bool isActive() const;
    bool isOnScreen() const;
    bool isNotDead() const;
    std::shared_ptr<SIApplication> app() const;
    std::string appName() const;
    ImagePtr appIcon() const;
    // The screen holding the largest part of the frame; nullptr when none.
    virtual ScreenPtr screen() const;

    // Lists (empty when other applications cannot be reached).
    static std::vector<std::shared_ptr<SIWindow>> allWindows();
    static std::vector<std::shared_ptr<SIWindow>> visibleWindows();
    static std::shared_ptr<SIWindow> focusedWindow();
    std::vector<std::shared_ptr<SIWindow>> otherWindowsOnSameScreen() const;
    std::vector<std::shared_ptr<SIWindow>> otherWindowsOnAllScreens() const;
    static std::vector<std::shared_ptr<SIWindow>> visibleWindowsMostRecentFirst();
    static std::vector<std::shared_ptr<SIWindow>> allWindowsMostRecentFirst();

    // Previews. The refresh captures off the main thread and publishes on it; a capture
    // that finishes after a newer one has been published is dropped. A window has at
    // most one capture under way: requests made meanwhile are served together by one
    // more capture when it is back. A failed capture keeps the picture there is.
    ImagePtr previewImage() const { return previewImage_; }
    void setPreviewImage(ImagePtr image);
    void updatePreview();
    ImagePtr generatePreviewImage() const;
    ImagePtr generatePreviewImageNew() const;
    ImagePtr getScreenshotOfWindowId(uint32_t windowID) const;
    ImagePtr nnImage() const;
    // While its contents are kept the window's pictures are its own pixels even where
    // other windows cover it (the window server keeps them for us, at a cost: only while
    // a preview shows them). Keeping refreshes the picture: at once when they were kept
    // already, else once the window has had a moment to repaint what was covered.
    static constexpr double kRepaintDelay = 0.15;
    void keepContents();
    void releaseContents();
    bool keepsContents() const { return keepsContents_; }
    // Tells the observers of "isWindowMinimized" that the window was minimised or
    // restored (the window list learns it from the window's notifications).
    void minimizedStateChanged();

    // Activation.
    bool focusWindow();
    void activateWindow();

    // Minimise and close.
    bool setWindowProperty(const std::string& attribute, const Value& value);
    bool setWindowMinimized(bool minimized);
    bool minimize();
    void unMinimize();
    void close();

    // Maximise.
    virtual bool isMaximized() const;
    virtual bool isVerticalMaximized() const;
    void maximize();

    // Placement.
    Rect resizedFrameForPosition(int position, const ScreenPtr& screen) const;
    void moveWindowToPosition(int position);
    void windowAction(int tag);
    static std::map<int, Rect> createActionsDict();
    void moveToScreen(const ScreenPtr& screen);

    // Spaces (1 to 16).
    void moveToSpace(unsigned space);
    void moveToSpaceWithEvent(const desktop::KeyEvent& keyDown);

    // Focus by direction.
    std::vector<std::shared_ptr<SIWindow>> windowsToWest() const;
    std::vector<std::shared_ptr<SIWindow>> windowsToEast() const;
    std::vector<std::shared_ptr<SIWindow>> windowsToNorth() const;
    std::vector<std::shared_ptr<SIWindow>> windowsToSouth() const;
    std::vector<std::shared_ptr<SIWindow>> windowsInDirectionFn(
        const std::function<double(double angle)>& deviation,
        const std::function<bool(double dx, double dy)>& shouldDisregard) const;
    static bool focusFirstValidWindowIn(const std::vector<std::shared_ptr<SIWindow>>& windows);
    bool focusWindowLeft();
    bool focusWindowRight();
    bool focusWindowUp();
    bool focusWindowDown();

private:
    mutable uint32_t windowID_ = 0;
    ImagePtr previewImage_;
    std::shared_ptr<std::atomic<uint64_t>> previewRequests_ = std::make_shared<std::atomic<uint64_t>>(0);
    uint64_t previewPublished_ = 0;
    bool captureInFlight_ = false;  // main thread only
    bool captureAgain_ = false;
    bool keepsContents_ = false;
    std::unique_ptr<Timer> repainted_;
};

using SIWindowPtr = std::shared_ptr<SIWindow>;

}  // namespace qs
