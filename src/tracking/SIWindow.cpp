#include "tracking/SIWindow.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/desktop/Desktop.h"
#include "platform/desktop/WindowServer.h"
#include "platform/desktop/Workspace.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "tracking/SIApplication.h"
#include "tracking/SIScreenPointConversion.h"

namespace qs {

using namespace NSScreen_PointConversion;

namespace {
desktop::WindowServer* windowServer() { return desktop::services().windowServer.get(); }
desktop::EventPoster* events() { return desktop::services().events.get(); }

bool listed(uint32_t id, uint32_t options) {
    auto* ws = windowServer();
    if (!ws || id == 0) return false;
    for (auto& info : ws->windowList(options))
        if (info.number == id) return true;
    return false;
}

Rect baseFrame(const ScreenPtr& screen) { return screen ? frameWithoutDockOrMenu(*screen) : RectZero; }

// The centred two thirds of a base frame.
Rect centred(const Rect& v) {
    double w = v.size.width, h = v.size.height;
    return MakeRect(v.origin.x + w / 6, v.origin.y + h / 7, w - w / 3, h - h / 3);
}

ImagePtr cachedImage(desktop::Pid pid, uint32_t id) {
    if (pid < 1) return nullptr;
    return SIImageCache::forProcess(pid)->get(id);
}

// One capture: the window's picture, else the last picture kept for it.
ImagePtr capture(desktop::Pid pid, uint32_t id, bool minimized) {
    if (id == 0) return nullptr;
    ImagePtr image;
    if (auto* ws = windowServer()) image = ws->captureWindow(id);
    if (image && image->isValid()) {
        // Kept for when the window can no longer be captured (minimised windows are
        // unmapped and have no picture of their own).
        if (pid >= 1) SIImageCache::forProcess(pid)->set(id, image);
    } else {
        image = cachedImage(pid, id);
    }
    if (minimized) image = cachedImage(pid, id);
    return image;
}

constexpr double kPi = std::numbers::pi;
}  // namespace

std::shared_ptr<SIWindow> SIWindow::initWithAXElement(const desktop::AXElement& element) {
    return std::make_shared<SIWindow>(element);
}

SIWindow::~SIWindow() { releaseContents(); }

std::shared_ptr<SIAccessibilityElement> SIWindow::copy() const { return std::make_shared<SIWindow>(axElementRef_); }

Value SIWindow::valueForKey(const std::string& key) const {
    if (key == "previewImage") return Value(previewImage_);
    if (key == "title") {
        auto t = title();
        return t ? Value(*t) : Value();
    }
    if (key == "win_id" || key == "windowID") return Value(windowID());
    if (key == "appName") return Value(appName());
    if (key == "appIcon") return Value(appIcon());
    if (key == "isMaximized") return Value(isMaximized());
    if (key == "isWindowMinimized") return Value(isWindowMinimized());
    if (key == "isVerticalMaximized") return Value(isVerticalMaximized());
    return SIAccessibilityElement::valueForKey(key);
}

// Identity and state ------------------------------------------------------------------

uint32_t SIWindow::windowID() const {
    if (windowID_ == 0)
        if (auto* ax = accessibility()) windowID_ = ax->windowNumber(axElementRef_);
    return windowID_;
}

std::optional<std::string> SIWindow::title() const { return stringForKey(desktop::kAXTitleAttribute); }
std::optional<std::string> SIWindow::role() const { return stringForKey(desktop::kAXRoleAttribute); }
std::optional<std::string> SIWindow::subrole() const { return stringForKey(desktop::kAXSubroleAttribute); }

bool SIWindow::isWindowMinimized() const { return numberForKey(desktop::kAXMinimizedAttribute).boolValue(); }
bool SIWindow::isNormalWindow() const { return subrole() == std::string(desktop::kAXStandardWindowSubrole); }
bool SIWindow::isSheet() const { return role() == std::string(desktop::kAXSheetRole); }

bool SIWindow::isActive() const {
    return !numberForKey(desktop::kAXHiddenAttribute).boolValue() && !isWindowMinimized();
}

bool SIWindow::isOnScreen() const { return isActive() && listed(windowID(), desktop::kCGWindowListOptionOnScreenOnly); }

bool SIWindow::isNotDead() const { return listed(windowID(), desktop::kCGWindowListOptionAll); }

std::shared_ptr<SIApplication> SIWindow::app() const {
    desktop::Pid pid = processIdentifier();
    if (pid < 1) return nullptr;
    auto running = RunningApplication::runningApplicationWithProcessIdentifier(pid);
    return running ? SIApplication::applicationWithRunningApplication(running) : nullptr;
}

std::string SIWindow::appName() const {
    auto a = app();
    return a ? a->appName() : std::string();
}

ImagePtr SIWindow::appIcon() const {
    auto a = app();
    return a ? a->icon() : nullptr;
}

ScreenPtr SIWindow::screen() const {
    Rect f = frame();
    ScreenPtr best;
    double bestArea = 0.0;
    for (auto& s : Screen::screens()) {
        Rect i = RectIntersection(f, frameIncludingDockAndMenu(*s));
        if (RectIsNull(i)) continue;
        double area = i.size.width * i.size.height;
        if (area > bestArea) {
            bestArea = area;
            best = s;
        }
    }
    return best;
}

// Lists -------------------------------------------------------------------------------

std::vector<std::shared_ptr<SIWindow>> SIWindow::allWindows() {
    std::vector<std::shared_ptr<SIWindow>> all;
    if (!SIUniversalAccessHelper::isAccessibilityTrusted()) return all;
    for (auto& app : SIApplication::runningApplications()) {
        auto& windows = app->windows();
        all.insert(all.end(), windows.begin(), windows.end());
    }
    return all;
}

std::vector<std::shared_ptr<SIWindow>> SIWindow::visibleWindows() {
    std::vector<std::shared_ptr<SIWindow>> visible;
    if (!SIUniversalAccessHelper::isAccessibilityTrusted()) return visible;
    for (auto& app : SIApplication::runningApplications()) {
        if (app->isHidden()) continue;
        for (auto& window : app->windows())
            if (!window->isWindowMinimized() && window->isNormalWindow()) visible.push_back(window);
    }
    return visible;
}

std::shared_ptr<SIWindow> SIWindow::focusedWindow() {
    if (!SIUniversalAccessHelper::isAccessibilityTrusted()) return nullptr;
    auto app = SISystemWideElement::systemWideElement()->elementForKey(desktop::kAXFocusedApplicationAttribute);
    if (!app) return nullptr;
    auto focused = app->elementForKey(desktop::kAXFocusedWindowAttribute);
    if (!focused) return nullptr;
    auto window = initWithAXElement(focused->axElementRef());
    if (window->isSheet())
        if (auto parent = window->elementForKey(desktop::kAXParentAttribute))
            return initWithAXElement(parent->axElementRef());
    return window;
}

std::vector<std::shared_ptr<SIWindow>> SIWindow::otherWindowsOnSameScreen() const {
    std::vector<std::shared_ptr<SIWindow>> others;
    auto mine = screen();
    for (auto& window : visibleWindows())
        if (!window->isEqual(this) && window->screen() == mine) others.push_back(window);
    return others;
}

std::vector<std::shared_ptr<SIWindow>> SIWindow::otherWindowsOnAllScreens() const {
    std::vector<std::shared_ptr<SIWindow>> others;
    for (auto& window : visibleWindows())
        if (!window->isEqual(this)) others.push_back(window);
    return others;
}

std::vector<std::shared_ptr<SIWindow>> SIWindow::visibleWindowsMostRecentFirst() {
    std::vector<std::shared_ptr<SIWindow>> ordered;
    auto* ws = windowServer();
    auto* ax = accessibility();
    if (!ws || !ax) return ordered;
    for (auto& info : ws->windowList(desktop::kCGWindowListOptionOnScreenOnly | desktop::kCGWindowListExcludeDesktopElements)) {
        // Translucent windows count as visible too.
        if (!(info.alpha > 0.0) || info.layer != 0) continue;
        auto windows = ax->copyAttributeValues(desktop::AXElement::application(info.ownerPid),
                                                desktop::kAXWindowsAttribute, 0, 1000);
        if (!windows) continue;
        for (auto& element : *windows)
            if (ax->windowNumber(element) == info.number) {
                ordered.push_back(initWithAXElement(element));
                break;
            }
    }
    return ordered;
}

std::vector<std::shared_ptr<SIWindow>> SIWindow::allWindowsMostRecentFirst() {
    std::vector<std::shared_ptr<SIWindow>> ordered;
    auto* ws = windowServer();
    if (!ws) return ordered;
    auto all = allWindows();
    for (auto& info : ws->windowList(desktop::kCGWindowListOptionOnScreenOnly | desktop::kCGWindowListExcludeDesktopElements)) {
        if (info.layer != 0 || info.alpha == 0.0) continue;
        auto it = std::find_if(all.begin(), all.end(), [&](auto& w) { return w->win_id() == info.number; });
        if (it != all.end()) ordered.push_back(*it);
    }
    return ordered;
}

// Previews ----------------------------------------------------------------------------

void SIWindow::setPreviewImage(ImagePtr image) {
    willChangeValueForKey("previewImage");
    previewImage_ = std::move(image);
    didChangeValueForKey("previewImage");
}

void SIWindow::updatePreview() {
    if (isWindowMinimized()) return;
    if (captureInFlight_) {
        // One capture at a time per window: a request made meanwhile is served by one
        // more capture once the running one is back, however many requests came.
        captureAgain_ = true;
        return;
    }
    const uint32_t id = windowID();
    if (id == 0) return;
    const desktop::Pid pid = processIdentifier();
    const uint64_t request = ++*previewRequests_;
    captureInFlight_ = true;
    std::weak_ptr<SIWindow> weak = std::static_pointer_cast<SIWindow>(shared_from_this());
    RunLoop::main().runInBackground<ImagePtr>([pid, id]() -> ImagePtr {
                                                  // Whatever happens, an answer comes back, or
                                                  // the window would wait for it for ever.
                                                  try {
                                                      return capture(pid, id, false);
                                                  } catch (const std::exception& e) {
                                                      log("window picture of ", id, " failed: ", e.what());
                                                  } catch (...) {
                                                      log("window picture of ", id, " failed");
                                                  }
                                                  return nullptr;
                                              },
                                              [weak, request](ImagePtr image) {
                                                  auto self = weak.lock();
                                                  if (!self) return;
                                                  self->captureInFlight_ = false;
                                                  // A slower, older capture never replaces a newer one.
                                                  if (image && request >= self->previewPublished_) {
                                                      self->previewPublished_ = request;
                                                      self->setPreviewImage(std::move(image));
                                                      self->willChangeValueForKey("title");
                                                      self->didChangeValueForKey("title");
                                                  }
                                                  if (self->captureAgain_) {
                                                      self->captureAgain_ = false;
                                                      self->updatePreview();
                                                  }
                                              });
}

void SIWindow::keepContents() {
    auto* ws = windowServer();
    if (keepsContents_ || !ws) return;
    keepsContents_ = true;
    if (!ws->keepContents(windowID())) {
        updatePreview();
        return;
    }
    std::weak_ptr<SIWindow> weak = std::static_pointer_cast<SIWindow>(shared_from_this());
    repainted_ = Timer::scheduledTimer(kRepaintDelay, false, [weak] {
        if (auto self = weak.lock()) self->updatePreview();
    });
}

void SIWindow::releaseContents() {
    if (!keepsContents_) return;
    keepsContents_ = false;
    repainted_.reset();
    if (auto* ws = windowServer()) ws->releaseContents(windowID());
}

void SIWindow::minimizedStateChanged() {
    willChangeValueForKey("isWindowMinimized");
    didChangeValueForKey("isWindowMinimized");
}

ImagePtr SIWindow::generatePreviewImage() const { return capture(processIdentifier(), windowID(), isWindowMinimized()); }

ImagePtr SIWindow::generatePreviewImageNew() const {
    uint32_t id = windowID();
    if (id == 0) return nullptr;
    ImagePtr image;
    if (auto* ws = windowServer()) image = ws->captureWindow(id);
    if (!image || !image->isValid()) image = cachedImage(processIdentifier(), id);
    return image;
}

ImagePtr SIWindow::getScreenshotOfWindowId(uint32_t id) const {
    auto* ws = windowServer();
    if (!ws || id == 0) return nullptr;
    auto image = ws->captureWindow(id);
    if (!image || !image->isValid() || (image->size().width <= 1 && image->size().height <= 1)) return nullptr;
    return image;
}

ImagePtr SIWindow::nnImage() const {
    auto* ws = windowServer();
    uint32_t id = windowID();
    if (!ws || id == 0) return nullptr;
    auto image = ws->captureWindow(id);
    return image && image->isValid() ? image : nullptr;
}

// Activation --------------------------------------------------------------------------

bool SIWindow::focusWindow() {
    if (isWindowMinimized()) unMinimize();
    desktop::Pid pid = processIdentifier();
    auto running = RunningApplication::runningApplicationWithProcessIdentifier(pid);
    auto* ax = accessibility();
    auto* ws = windowServer();
    if (running && running->activateWithOptions(NSApplicationActivateIgnoringOtherApps) && ax &&
        ax->setAttributeValue(axElementRef_, desktop::kAXMainAttribute, true) && ws && ws->setFrontProcess(pid, true))
        return true;
    log("window ", windowID(), " could not be focused: it has gone, or its application no longer answers");
    return false;
}

void SIWindow::activateWindow() {
    focusWindow();
    updatePreview();
}

// Minimise and close ------------------------------------------------------------------

bool SIWindow::setWindowProperty(const std::string& attribute, const Value& value) {
    auto* ax = accessibility();
    if (!ax || !value.isNumber()) return false;
    desktop::AXValue v = value.isBool() ? desktop::AXValue(value.boolValue()) : desktop::AXValue(value.doubleValue());
    return ax->setAttributeValue(axElementRef_, attribute, v);
}

bool SIWindow::setWindowMinimized(bool minimized) {
    return setWindowProperty(desktop::kAXMinimizedAttribute, Value(minimized));
}

bool SIWindow::minimize() { return setWindowMinimized(true); }

void SIWindow::unMinimize() {
    setWindowMinimized(false);
    std::weak_ptr<SIWindow> weak = std::static_pointer_cast<SIWindow>(shared_from_this());
    RunLoop::main().after(0.2, [weak] {
        if (auto self = weak.lock()) self->updatePreview();
    });
}

void SIWindow::close() {
    auto button = elementForKey(desktop::kAXCloseButtonAttribute);
    if (!button) return;
    if (auto* ax = accessibility()) ax->performAction(button->axElementRef(), desktop::kAXPressAction);
}

// Maximise ----------------------------------------------------------------------------

bool SIWindow::isMaximized() const {
    Rect f = frame();
    if (RectIsNull(f)) return false;  // a window that is gone fills nothing
    return f == baseFrame(screen());
}

bool SIWindow::isVerticalMaximized() const {
    Rect f = frame();
    if (RectIsNull(f)) return false;
    auto s = screen();
    return f.size.height == (s ? s->visibleFrame().size.height : 0.0);
}

void SIWindow::maximize() {
    if (isWindowMinimized()) unMinimize();
    setFrame(baseFrame(screen()));
}

// Placement ---------------------------------------------------------------------------

Rect SIWindow::resizedFrameForPosition(int position, const ScreenPtr& screen) const {
    Rect b = baseFrame(screen);
    double fx = 0, fy = 0, fw = 1, fh = 1;
    switch (position) {
        case 1: fh = 0.5; break;
        case 2: return centred(b);
        case 3: fw = 0.5; break;
        case 4: fw = 0.3; break;
        case 5: fw = 0.6; break;
        case 6: fy = 0.5; fw = 0.5; fh = 0.5; break;
        case 7: fw = 0.5; fh = 0.5; break;
        case 8: fx = 0.5; fw = 0.5; break;
        case 9: fx = 0.7; fw = 0.3; break;
        case 10: fx = 0.4; fw = 0.6; break;
        case 11: fx = 0.5; fy = 0.5; fw = 0.5; fh = 0.5; break;
        case 12: fx = 0.5; fw = 0.5; fh = 0.5; break;
        case 13: {
            double nan = std::nan("");
            return MakeRect(nan, nan, nan, nan);
        }
        default: break;
    }
    double w = b.size.width, h = b.size.height;
    return MakeRect(b.origin.x + w * fx, b.origin.y + h * fy, w * fw, h * fh);
}

void SIWindow::moveWindowToPosition(int position) { setFrame(resizedFrameForPosition(position, screen())); }

std::map<int, Rect> SIWindow::createActionsDict() {
    return {
        {2001, MakeRect(0, 0, 1.0, 1)}, {2100, MakeRect(0, 0, 0.5, 1)}, {2200, MakeRect(0, 0, 0.3, 1)},
        {2300, MakeRect(0, 0, 0.6, 1)}, {4100, MakeRect(0.5, 0, 0.5, 1)}, {4200, MakeRect(0.7, 0, 0.3, 1)},
        {4300, MakeRect(0.4, 0, 0.6, 1)},
    };
}

void SIWindow::windowAction(int tag) {
    if (tag <= 2000) return;
    // The base is the usable area of the window's screen in the window's own
    // coordinates, so the regions are right on every screen.
    Rect v = baseFrame(screen());
    Rect target;
    if (tag == 3000) {
        target = centred(v);
    } else {
        auto actions = createActionsDict();
        auto it = actions.find(tag);
        if (it == actions.end()) return;
        const Rect& f = it->second;
        target = MakeRect(v.origin.x + v.size.width * f.origin.x, v.origin.y + v.size.height * f.origin.y,
                          v.size.width * f.size.width, v.size.height * f.size.height);
    }
    setFrame(target);
    activateWindow();
}

void SIWindow::moveToScreen(const ScreenPtr& screen) {
    setPosition(screen ? frameWithoutDockOrMenu(*screen).origin : PointZero);
}

// Spaces ------------------------------------------------------------------------------

void SIWindow::moveToSpace(unsigned space) {
    // Spaces are numbered from 1; there is no space 0 and none past 16.
    if (space == 0 || space >= 17) return;
    auto* ws = windowServer();
    if (ws && int(space) <= ws->numberOfSpaces() && ws->moveWindowToSpace(windowID(), int(space) - 1)) return;
    // Without the window manager's help: Control and the space's digit while the window
    // is held by its title bar. Only spaces 1 to 10 have a key of their own.
    if (space > 10) return;
    static constexpr uint16_t kDigitKeys[] = {29, 18, 19, 20, 21, 23, 22, 26, 28, 25};
    moveToSpaceWithEvent({kDigitKeys[space % 10], desktop::kCGEventFlagMaskControl, true});
}

void SIWindow::moveToSpaceWithEvent(const desktop::KeyEvent& keyDown) {
    auto* poster = events();
    if (!poster) return;
    Rect windowFrame = frame();
    if (RectIsNull(windowFrame)) return;  // the window is gone: nothing to hold
    auto zoom = elementForKey(desktop::kAXZoomButtonAttribute);
    Rect zoomFrame = zoom ? zoom->frame() : RectNull;
    Point start = poster->pointerLocation();
    Point grab{(RectIsNull(zoomFrame) ? MinX(windowFrame) : MaxX(zoomFrame)) + 5, MinY(windowFrame) + 5};

    poster->postMouse(desktop::MouseEventType::Moved, grab, 0);
    poster->postMouse(desktop::MouseEventType::LeftDown, grab, 0);
    poster->postKey(keyDown.keyCode, true, keyDown.modifierFlags);
    poster->postKey(keyDown.keyCode, false, 0);
    RunLoop::main().after(0.5, [grab, start] {
        auto* p = events();
        if (!p) return;
        p->postMouse(desktop::MouseEventType::LeftUp, grab, 0);
        p->postMouse(desktop::MouseEventType::Moved, start, 0);
    });
}

// Focus by direction ------------------------------------------------------------------

std::vector<std::shared_ptr<SIWindow>> SIWindow::windowsInDirectionFn(
    const std::function<double(double)>& deviation, const std::function<bool(double, double)>& shouldDisregard) const {
    std::vector<std::shared_ptr<SIWindow>> result;
    auto focused = focusedWindow();
    if (!focused) return result;
    Rect f = focused->frame();
    if (RectIsNull(f)) return result;
    Point centre{MidX(f), MidY(f)};
    std::vector<std::pair<double, std::shared_ptr<SIWindow>>> scored;
    for (auto& candidate : focused->otherWindowsOnAllScreens()) {
        Rect c = candidate->frame();
        if (RectIsNull(c)) continue;
        double dx = MidX(c) - centre.x, dy = MidY(c) - centre.y;
        if (shouldDisregard(dx, dy)) continue;
        double theta = std::atan2(dy, dx);
        double score = std::hypot(dx, dy) / std::cos(deviation(theta) / 2);
        scored.emplace_back(score, candidate);
    }
    std::stable_sort(scored.begin(), scored.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (auto& entry : scored) result.push_back(entry.second);
    return result;
}

std::vector<std::shared_ptr<SIWindow>> SIWindow::windowsToWest() const {
    return windowsInDirectionFn([](double t) { return kPi - std::fabs(t); }, [](double dx, double) { return dx >= 0; });
}

std::vector<std::shared_ptr<SIWindow>> SIWindow::windowsToEast() const {
    return windowsInDirectionFn([](double t) { return -t; }, [](double dx, double) { return dx <= 0; });
}

std::vector<std::shared_ptr<SIWindow>> SIWindow::windowsToNorth() const {
    return windowsInDirectionFn([](double t) { return -kPi / 2 - t; }, [](double, double dy) { return dy >= 0; });
}

std::vector<std::shared_ptr<SIWindow>> SIWindow::windowsToSouth() const {
    return windowsInDirectionFn([](double t) { return kPi / 2 - t; }, [](double, double dy) { return dy <= 0; });
}

bool SIWindow::focusFirstValidWindowIn(const std::vector<std::shared_ptr<SIWindow>>& windows) {
    for (auto& window : windows)
        if (window->focusWindow()) return true;
    return false;
}

bool SIWindow::focusWindowLeft() { return focusFirstValidWindowIn(windowsToWest()); }
bool SIWindow::focusWindowRight() { return focusFirstValidWindowIn(windowsToEast()); }
bool SIWindow::focusWindowUp() { return focusFirstValidWindowIn(windowsToNorth()); }
bool SIWindow::focusWindowDown() { return focusFirstValidWindowIn(windowsToSouth()); }

}  // namespace qs
