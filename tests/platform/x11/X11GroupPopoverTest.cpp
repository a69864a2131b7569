// The group popover on a real X server: the dock cell of a group toggles the popover on
// the press. With the popover open, a press on that cell closes it, and Qt hands the
// closing press on to the cell; that second delivery must not open the popover again.
#include <chrono>
#include <cstdlib>
#include <thread>

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include <xcb/xtest.h>

#include "core/GroupModel.h"
#include "dock_ui/GroupViewController.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"

namespace qs::x11 {
namespace {

// A dock cell that does what the cell actions do with a group on the press.
class GroupCell : public QWidget {
public:
    GroupCell(QWidget* parent, std::shared_ptr<GroupViewController> controller, std::shared_ptr<GroupModel> group)
        : QWidget(parent), controller_(std::move(controller)), group_(std::move(group)) {}
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override {
        ++presses;
        if (controller_->isShow())
            controller_->closePreview();
        else
            controller_->showGrouViewForGroup(group_, MakeRect(0, 0, width(), height()), this, NSRectEdgeMinY);
    }

private:
    std::shared_ptr<GroupViewController> controller_;
    std::shared_ptr<GroupModel> group_;
};

class X11GroupPopoverTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "DISPLAY is not set";
        if (QGuiApplication::platformName() != QStringLiteral("xcb")) GTEST_SKIP() << "Qt does not run on xcb";
        ASSERT_TRUE(installX11Backend());
        conn = XConnection::shared();
        other = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(other));
        controller = GroupViewController::init();
        group = std::make_shared<GroupModel>();
        dock = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        dock->setGeometry(300, 500, 240, 60);
        cell = new GroupCell(dock.get(), controller, group);
        cell->setGeometry(100, 4, 52, 52);
        dock->show();
        pumpUntil([&] { return dock->isVisible() && cell->isVisible(); });
        pump(300);
    }
    void TearDown() override {
        controller.reset();
        dock.reset();
        QCoreApplication::processEvents();
        if (other) xcb_disconnect(other);
        uninstallX11Backend();
    }

    template <class F>
    bool pumpUntil(F done, int ms = 2000) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            conn->processPendingEvents();
            QCoreApplication::processEvents();
            QGuiApplication::sync();
            env.loop().runPending();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    }
    void pump(int ms) {
        pumpUntil([] { return false; }, ms);
    }
    void clickCell() {
        QPoint c = cell->mapToGlobal(QPoint(26, 26));
        xcb_test_fake_input(other, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, XCB_WINDOW_NONE, int16_t(c.x()), int16_t(c.y()), 0);
        xcb_flush(other);
        pump(50);
        xcb_test_fake_input(other, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        xcb_flush(other);
        pump(150);
        xcb_test_fake_input(other, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        xcb_flush(other);
        pump(150);
    }

    std::shared_ptr<XConnection> conn;
    xcb_connection_t* other = nullptr;
    std::shared_ptr<GroupViewController> controller;
    std::shared_ptr<GroupModel> group;
    std::unique_ptr<QWidget> dock;
    GroupCell* cell = nullptr;
};

TEST_F(X11GroupPopoverTest, APressOnTheGroupCellTogglesThePopover) {
    clickCell();
    ASSERT_TRUE(pumpUntil([&] { return controller->isShow() && controller->popover()->window()->isVisible(); }));
    const int before = cell->presses;

    // The press closes the popover; the same press reaching the cell leaves it closed.
    clickCell();
    pump(300);
    EXPECT_FALSE(controller->isShow());
    EXPECT_FALSE(controller->popover()->window()->isVisible());
    // Whether or not Qt handed the press on, the popover did not come back.
    EXPECT_LE(cell->presses, before + 1);

    // The next click opens it again.
    clickCell();
    EXPECT_TRUE(pumpUntil([&] { return controller->isShow(); }));
    controller->closePreview();
}

}  // namespace
}  // namespace qs::x11
