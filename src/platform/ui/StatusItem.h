#pragma once
// The status item of the menu bar (NSStatusBar, NSStatusItem), on a Linux desktop: an icon
// in the system tray through QSystemTrayIcon, which speaks StatusNotifierItem over D-Bus
// where a host is registered and uses the XEmbed tray (_NET_SYSTEM_TRAY_S<n>) otherwise.
// Its menu is the menu model, shown as a QMenu rebuilt from the model at each showing;
// a click on the icon opens it, as the right button does.
//
// The icon enters the tray once it has an image. Without a tray the item still exists, with its menu: one log line says so, the program
// goes on, and the icon appears when a tray starts. Releasing the item removes the icon.

#include <memory>

#include "platform/foundation/Image.h"
#include "platform/ui/Menu.h"

class QMenu;
class QSystemTrayIcon;

namespace qs {

inline constexpr double NSVariableStatusItemLength = -1.0;
inline constexpr double NSSquareStatusItemLength = -2.0;

class StatusItem {
public:
    explicit StatusItem(double length);
    ~StatusItem();
    StatusItem(const StatusItem&) = delete;
    StatusItem& operator=(const StatusItem&) = delete;

    double length() const { return length_; }
    const ImagePtr& image() const { return image_; }
    void setImage(ImagePtr image);
    bool highlightMode() const { return highlightMode_; }
    void setHighlightMode(bool highlight) { highlightMode_ = highlight; }
    const MenuPtr& menu() const { return menu_; }
    void setMenu(MenuPtr menu);

    // Whether a tray shows the icon now.
    bool isShownInTray() const;

    // The Qt objects behind the item (nullptr without a Qt application), for the
    // interface's tests.
    QSystemTrayIcon* trayIcon() const;
    QMenu* trayMenu() const;

private:
    // The icon goes into the tray once it has an image.
    void showWhenReady();

    struct Impl;
    double length_;
    ImagePtr image_;
    bool highlightMode_ = false;
    MenuPtr menu_;
    std::unique_ptr<Impl> impl_;
};

class StatusBar {
public:
    static StatusBar& systemStatusBar();

    // A new item in the tray (see above when there is no tray).
    std::shared_ptr<StatusItem> statusItemWithLength(double length);
    // The items that exist now.
    size_t numberOfItems() const;
    // Whether a system tray runs on the desktop now.
    static bool isTrayAvailable();
};

}  // namespace qs
