#include "toolkit/WindowPlacement.h"

#include <algorithm>

#include <QWidget>

#include "platform/desktop/MenuBar.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowGeometry.h"

namespace qs::NSWindow_Utilities {

bool hasIndent(const QWidget* window) {
    if (auto* rule = dynamic_cast<const IndentRule*>(window)) return rule->hasIndent();
    return UserDefaults::standardUserDefaults().boolForKey("Indent");
}

double width(const QWidget* window) { return WindowGeometry::frame(window).size.width; }

double height(const QWidget* window) { return WindowGeometry::frame(window).size.height; }

void setWidth(QWidget* window, double width) {
    Rect f = WindowGeometry::frame(window);
    f.size.width = width;
    WindowGeometry::setFrame(window, f, true);
}

void setHeight(QWidget* window, double height) {
    Rect f = WindowGeometry::frame(window);
    if (height == f.size.height) return;
    f.size.height = height;
    WindowGeometry::setFrame(window, f, true);
}

PlacementInput placementInputOn(const ScreenPtr& screen) {
    PlacementInput in;
    if (!screen) {
        in.hasScreen = false;
        return in;
    }
    const Rect frame = screen->frame(), visible = screen->visibleFrame();
    in.screen = frame.size;
    in.visible = visible.size;
    if (!RectIsEmpty(visible) && RectContainsRect(frame, visible)) {
        in.reservedLeft = MinX(visible) - MinX(frame);
        in.reservedRight = MaxX(frame) - MaxX(visible);
        in.reservedBottom = MinY(visible) - MinY(frame);
        in.reservedTop = MaxY(frame) - MaxY(visible);
    }
    return in;
}

Rect placedFrame(Edge edge, Alignment alignment, const PlacementInput& in) {
    const Size& S = in.screen;
    const Size& V = in.visible;
    const Size& F = in.window;
    const double I = in.indent ? kIndent : 0.0;
    const double sideBar = std::max(in.menuBarVisible ? kMenuBarSideAllowance : 0.0, in.reservedTop);
    const double topBar = std::max(in.menuBarVisible ? kMenuBarTopAllowance : 0.0, in.reservedTop);
    const double left = in.reservedLeft, right = in.reservedRight, bottom = in.reservedBottom;

    Rect r = MakeRect(0, 0, F.width, F.height);
    switch (edge) {
    case Edge::Left:
    case Edge::Right:
        r.origin.x = edge == Edge::Left ? left + I : S.width - F.width - I - right;
        switch (alignment) {
        case Alignment::Start: r.origin.y = S.height - F.height - sideBar; break;
        case Alignment::Center: r.origin.y = V.height * 0.5 - F.height * 0.5; break;
        case Alignment::End: r.origin.y = bottom; break;
        case Alignment::Fill:
            r.origin.y = bottom;
            if (in.hasScreen) r.size.height = S.height - sideBar - bottom;
            break;
        }
        break;
    case Edge::Bottom:
    case Edge::Top:
        r.origin.y = edge == Edge::Bottom ? bottom + I : S.height - F.height - topBar;
        switch (alignment) {
        case Alignment::Start: r.origin.x = left; break;
        case Alignment::Center: r.origin.x = S.width * 0.5 - F.width * 0.5; break;
        case Alignment::End: r.origin.x = S.width - F.width - right; break;
        case Alignment::Fill:
            r.origin.x = left;
            if (in.hasScreen) r.size.width = S.width - left - right;
            break;
        }
        break;
    }
    return r;
}

namespace {

void place(QWidget* window, Edge edge, Alignment alignment) {
    PlacementInput in = placementInputOn(WindowGeometry::screen(window));
    in.window = WindowGeometry::frame(window).size;
    // A top window takes no indent, so its rule is not even asked.
    in.indent = edge != Edge::Top && hasIndent(window);
    in.menuBarVisible = MenuBar::menuBarVisible();
    WindowGeometry::setFrame(window, placedFrame(edge, alignment, in), true);
}

}  // namespace

void alignLeftStart(QWidget* w) { place(w, Edge::Left, Alignment::Start); }
void alignLeftCenter(QWidget* w) { place(w, Edge::Left, Alignment::Center); }
void alignLeftEnd(QWidget* w) { place(w, Edge::Left, Alignment::End); }
void alignLeftAndFill(QWidget* w) { place(w, Edge::Left, Alignment::Fill); }
void alignRightStart(QWidget* w) { place(w, Edge::Right, Alignment::Start); }
void alignRightCenter(QWidget* w) { place(w, Edge::Right, Alignment::Center); }
void alignRightEnd(QWidget* w) { place(w, Edge::Right, Alignment::End); }
void alignRightAndFill(QWidget* w) { place(w, Edge::Right, Alignment::Fill); }
void alignBottomStart(QWidget* w) { place(w, Edge::Bottom, Alignment::Start); }
void alignBottomCenter(QWidget* w) { place(w, Edge::Bottom, Alignment::Center); }
void alignBottomEnd(QWidget* w) { place(w, Edge::Bottom, Alignment::End); }
void alignBottomAndFill(QWidget* w) { place(w, Edge::Bottom, Alignment::Fill); }
void alignTopStart(QWidget* w) { place(w, Edge::Top, Alignment::Start); }
void alignTopCenter(QWidget* w) { place(w, Edge::Top, Alignment::Center); }
void alignTopEnd(QWidget* w) { place(w, Edge::Top, Alignment::End); }
void alignTopAndFill(QWidget* w) { place(w, Edge::Top, Alignment::Fill); }

}  // namespace qs::NSWindow_Utilities
