// A badge over a private session bus reaches the right cell of a real dock panel: two
// xterms matched to desktop entries of the test's own, a launcher-entry signal for one of
// them (sent by gdbus on a dbus-daemon of the test's own), and the badge read back as red
// pixels in that xterm's cell, both as the cell paints itself and as the X server shows
// it; the other xterm's cell stays clean, a signal that hides the count clears the badge,
// and a badge stays with its cell when the cell before it goes. Skipped without DISPLAY, xterm, dbus-daemon or gdbus.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

#include "core/DockConfiguration.h"
#include "core/DockModel.h"
#include "core/MenuModel.h"
#include "core/ThemeManager.h"
#include "core/TrashModel.h"
#include "dock_ui/CustomBadge.h"
#include "dock_ui/DockCollectionItemCell.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DockWindow.h"
#include "dock_ui/ItemIconCache.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/Screen.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/CollectionView.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11Badges.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/BadgeHelper.h"
#include "tracking/LaunchTracker.h"
#include "tracking/SIAccessibilityElement.h"
#include "platform/x11/X11DockFixture.h"

namespace fs = std::filesystem;

namespace qs::x11 {
namespace {

// Opaque pixels of a colour family in a rectangle of an image.
int countPixels(const QImage& image, const QRect& area, const std::function<bool(QColor)>& wanted) {
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200 && wanted(c)) ++n;
        }
    return n;
}
bool isRed(QColor c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; }

using fixture::onPath;

class X11BadgeCellTest : public fixture::BackendPanelTest {
protected:
    void SetUp() override {
        if (auto why = fixture::skipReason(); !why.empty()) GTEST_SKIP() << why;
        if (!onPath("xterm")) GTEST_SKIP() << "xterm is not installed";
        if (!onPath("dbus-daemon")) GTEST_SKIP() << "dbus-daemon is not installed";
        if (!onPath("gdbus")) GTEST_SKIP() << "gdbus is not installed";
        bus.start();
        if (bus.address.empty()) GTEST_SKIP() << "dbus-daemon could not be started";

        // Two terminals, each matched by its window class to an entry of its own.
        fs::create_directories(env.dataHome() + "/applications");
        for (const char* name : {"One", "Two"})
            std::ofstream(env.dataHome() + "/applications/org.quayside.Badge" + name + ".desktop")
                << "[Desktop Entry]\nType=Application\nName=Badge " << name
                << "\nExec=xterm\nStartupWMClass=QsBadge" << name << "\n";

        BackendPanelTest::SetUp();
        if (setUpFailed()) return;
        badges = std::make_shared<X11Badges>(bus.address);
        ASSERT_TRUE(badges->available());
        desktop::services().badges = badges;

        auto& d = UserDefaults::standardUserDefaults();
        d.setBool(false, "DoNotDisplayRunning");
        d.setBool(false, "WindowPreview");
        d.setBool(true, "ShowAppBadges");
        d.setInteger(0, "BadgesSize");
        BadgeHelper::resetSharedInstanceForTesting();
    }
    void TearDown() override {
        BadgeHelper::resetSharedInstanceForTesting();
        BackendPanelTest::TearDown();
        badges.reset();
        bus.stop();
    }

    // A signal on the private bus, as an application sends it (gdbus writes a{sv}; it
    // speaks to a bus only as --session, so the child's environment names ours).
    int sendUpdate(const std::string& desktopId, const std::string& properties) {
        return fixture::runProgram({"gdbus", "emit", "--session", "--object-path",
                                    "/com/canonical/unity/launcherentry/1", "--signal",
                                    "com.canonical.Unity.LauncherEntry.Update",
                                    "'application://" + desktopId + ".desktop'", properties},
                                   bus.address);
    }

    long indexOfProcess(pid_t pid) {
        const auto& items = model->panelContent();
        for (size_t i = 0; i < items.size(); ++i)
            if (auto app = items[i].objectAs<RunningApplication>(); app && app->processIdentifier() == pid) return long(i);
        return -1;
    }
    DockCollectionItemCell* cellOf(pid_t pid) {
        const long index = indexOfProcess(pid);
        if (index < 0) return nullptr;
        return dynamic_cast<DockCollectionItemCell*>(w->collectionView()->itemAtIndex(size_t(index)));
    }
    // The badge's corner of a cell (its top right quarter).
    static QRect corner(QWidget* v) { return QRect(v->width() / 2, 0, v->width() - v->width() / 2, v->height() / 2); }
    // Red pixels in the badge's corner of a process's cell, as the cell paints itself.
    int paintedRed(pid_t pid) {
        auto* cell = cellOf(pid);
        if (!cell) return -1;
        QWidget* v = cell->view();
        return countPixels(v->grab().toImage(), corner(v), isRed);
    }
    // The same as the X server shows it.
    int shownRed(pid_t pid) {
        auto* cell = cellOf(pid);
        if (!cell) return -1;
        QWidget* v = cell->view();
        const QRect area = corner(v).translated(v->mapToGlobal(QPoint(0, 0)));
        QScreen* screen = QGuiApplication::primaryScreen();
        const QImage shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
        return countPixels(shot, shot.rect(), isRed);
    }
    bool badgeShown(pid_t pid, const std::string& text) {
        auto* cell = cellOf(pid);
        return cell && cell->badgeView() && cell->badgeView()->isVisibleTo(cell->view()) &&
               cell->badgeView()->badgeText() == text;
    }
    bool badgeHidden(pid_t pid) {
        auto* cell = cellOf(pid);
        return cell && cell->badgeView() && !cell->badgeView()->isVisibleTo(cell->view());
    }

    fixture::PrivateBus bus;
    std::shared_ptr<X11Badges> badges;
};

TEST_F(X11BadgeCellTest, ABadgeSentOnTheBusShowsOnItsApplicationsCellOnlyAndClears) {
    model = DockModel::create();
    model->setPanelContent({});
    auto screen = Screen::screens().front();
    w = DockWindow::initWithPanelModel(model, config, screen);
    w->fadeInOnScreen(screen);
    env.loop().advance(0.2);
    ASSERT_TRUE(pumpUntil([&] { return w->isVisible(); }));

    const pid_t one = spawn({"xterm", "-class", "QsBadgeOne", "-geometry", "40x5+200+100"});
    const pid_t two = spawn({"xterm", "-class", "QsBadgeTwo", "-geometry", "40x5+600+100"});
    ASSERT_TRUE(pumpUntil([&] { return cellOf(one) && cellOf(two); }, kWaitMs));
    env.loop().advance(1.0);  // the panel's sort and layout
    pump(300);
    auto appOne = RunningApplication::runningApplicationWithProcessIdentifier(one);
    auto appTwo = RunningApplication::runningApplicationWithProcessIdentifier(two);
    ASSERT_TRUE(appOne && appTwo);
    ASSERT_EQ(appOne->bundleIdentifier(), "org.quayside.BadgeOne");
    ASSERT_EQ(appTwo->bundleIdentifier(), "org.quayside.BadgeTwo");
    // The red of the icons themselves (xterm's own icon has some) in the badge's corner,
    // once they are drawn.
    ASSERT_TRUE(pumpUntil([&] { return ItemIconCache::shared().pendingCount() == 0; }));
    pump(100);
    const int iconRed = paintedRed(one), iconShown = shownRed(one);
    ASSERT_GE(iconRed, 0);
    EXPECT_EQ(paintedRed(two), iconRed);

    auto helper = BadgeHelper::sharedInstance();
    ASSERT_TRUE(helper->isPolling());
    ASSERT_EQ(sendUpdate("org.quayside.BadgeOne", "{'count': <int64 7>, 'count-visible': <true>}"), 0);
    ASSERT_TRUE(pumpUntil([&] { return badges->statusLabel("org.quayside.BadgeOne") == "7"; }));
    env.loop().advance(2.5);  // the next scan
    ASSERT_TRUE(pumpUntil([&] { return badgeShown(one, "7"); })) << "the badge did not reach the cell";
    EXPECT_TRUE(badgeHidden(two));
    EXPECT_TRUE(pumpUntil([&] { return paintedRed(one) > iconRed + 40; })) << paintedRed(one);
    EXPECT_EQ(paintedRed(two), iconRed);
    EXPECT_TRUE(pumpUntil([&] { return shownRed(one) > iconShown + 40; })) << "on the server: " << shownRed(one);
    EXPECT_EQ(shownRed(two), iconShown);
    // Scans that change nothing keep it; a signal that hides the count clears it.
    env.loop().advance(2.5);
    pump(50);
    EXPECT_TRUE(badgeShown(one, "7"));
    ASSERT_EQ(sendUpdate("org.quayside.BadgeOne", "{'count-visible': <false>}"), 0);
    ASSERT_TRUE(pumpUntil([&] { return badges->statusLabel("org.quayside.BadgeOne").empty(); }));
    env.loop().advance(2.5);
    ASSERT_TRUE(pumpUntil([&] { return badgeHidden(one); })) << "the badge was not cleared";
    EXPECT_TRUE(pumpUntil([&] { return paintedRed(one) == iconRed; })) << paintedRed(one);
    EXPECT_TRUE(pumpUntil([&] { return shownRed(one) == iconShown; })) << "on the server: " << shownRed(one);
    EXPECT_EQ(shownRed(two), iconShown);

    // A badge on the later of the two cells, then the earlier one goes: the badge stays
    // with its application's cell as the panel closes up, with no scan in between.
    const bool oneFirst = indexOfProcess(one) < indexOfProcess(two);
    const pid_t earlier = oneFirst ? one : two;
    const pid_t later = oneFirst ? two : one;
    const std::string laterId = oneFirst ? "org.quayside.BadgeTwo" : "org.quayside.BadgeOne";
    ASSERT_EQ(sendUpdate(laterId, "{'count': <int64 3>, 'count-visible': <true>}"), 0);
    ASSERT_TRUE(pumpUntil([&] { return badges->statusLabel(laterId) == "3"; }));
    env.loop().advance(2.5);
    ASSERT_TRUE(pumpUntil([&] { return badgeShown(later, "3"); }));
    EXPECT_TRUE(badgeHidden(earlier));
    const long before = indexOfProcess(later);
    test::signalProcess(earlier, SIGKILL);
    ASSERT_TRUE(pumpUntil([&] { return indexOfProcess(earlier) < 0; }, kWaitMs));
    env.loop().advance(1.0);  // the panel's sort and layout
    pump(300);
    EXPECT_EQ(indexOfProcess(later), before - 1);
    EXPECT_TRUE(badgeShown(later, "3"));
    EXPECT_TRUE(pumpUntil([&] { return paintedRed(later) > iconRed + 40 && shownRed(later) > iconShown + 40; }))
        << paintedRed(later) << " painted, " << shownRed(later) << " on the server";
}

}  // namespace
}  // namespace qs::x11
