#include "tracking/SIScreenPointConversion.h"

#include "platform/desktop/Desktop.h"
#include "platform/desktop/SyntheticEvents.h"

namespace qs::NSScreen_PointConversion {

namespace {
double originHeight(const std::vector<ScreenPtr>& screens) {
    return screens.empty() ? 0.0 : screens.front()->frame().size.height;
}

// The platform's unflipped mouse-in-rectangle test: the left and top edges are inside,
// the right and bottom edges are not.
bool mouseInRect(const Point& p, const Rect& r) {
    return p.x >= MinX(r) && p.x < MaxX(r) && p.y > MinY(r) && p.y <= MaxY(r);
}

long indexOf(const std::vector<ScreenPtr>& screens, const Screen& screen) {
    for (size_t i = 0; i < screens.size(); ++i)
        if (screens[i].get() == &screen) return long(i);
    return -1;
}
}  // namespace

ScreenPtr originScreen() {
    for (auto& screen : Screen::screens())
        if (screen->frame().origin == PointZero) return screen;
    return nullptr;
}

Rect convertToAccessibility(const Rect& r) {
    double h0 = originHeight(Screen::screens());
    return MakeRect(r.origin.x, h0 - r.size.height - r.origin.y, r.size.width, r.size.height);
}

Rect frameIncludingDockAndMenu(const Screen& screen) { return convertToAccessibility(screen.frame()); }

Rect frameWithoutDockOrMenu(const Screen& screen) { return convertToAccessibility(screen.visibleFrame()); }

ScreenPtr currentScreenForMouseLocation() {
    auto screens = Screen::screens();
    auto& events = desktop::services().events;
    if (!events || screens.empty()) return nullptr;
    // The pointer comes in accessibility coordinates; the test is in the platform's.
    Point ax = events->pointerLocation();
    Point p{ax.x, originHeight(screens) - ax.y};
    for (auto& screen : screens)
        if (mouseInRect(p, screen->frame())) return screen;
    return nullptr;
}

ScreenPtr nextScreen(const Screen& screen) {
    auto screens = Screen::screens();
    long i = indexOf(screens, screen);
    if (i < 0) return nullptr;
    return screens[size_t(i + 1) % screens.size()];
}

ScreenPtr previousScreen(const Screen& screen) {
    auto screens = Screen::screens();
    long i = indexOf(screens, screen);
    if (i < 0) return nullptr;
    return screens[i == 0 ? screens.size() - 1 : size_t(i - 1)];
}

Point flipPoint(const Screen& screen, const Point& point) {
    return {point.x, screen.frame().size.height - point.y};
}

Point convertPointToScreenCoordinates(const Screen& screen, const Point& point) {
    // Offsets from the screen's origin, at single precision. (Differences of absolute
    // values would be wrong for screens left of or below the origin.)
    Rect f = screen.frame();
    float x = float(point.x) - float(f.origin.x);
    float y = float(point.y) - float(f.origin.y);
    return {double(x), double(y)};
}

bool rotateTo(const Screen& screen, double) {
    int under = 0;
    for (auto& other : Screen::screens())
        if (RectIntersectsRect(other->frame(), screen.frame())) ++under;
    return under == 1;
}

}  // namespace qs::NSScreen_PointConversion
