// The group and folder popovers on a real X server. The dock cell of a group toggles the
// popover on the press: with the popover open, a press on that cell closes it (and where
// Qt hands the closing press on to the cell, that second delivery must not open it
// again). A file dragged out of the folder popover reaches another window as a file URI.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include <xcb/xtest.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <filesystem>
#include <fstream>

#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "dock_ui/FlowCollectionView.h"
#include "dock_ui/FolderViewController.h"
#include "dock_ui/GroupViewController.h"
#include "platform/ui/MenuPresenter.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/XConnection.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"

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
        if (auto why = fixture::skipReason(); !why.empty()) GTEST_SKIP() << why;
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
    bool pumpUntil(F done, int ms = kWaitMs) {
        return fixture::pumpUntil([&] { fixture::turnLoops(*conn, env.loop(), true); }, done, ms, 5);
    }
    void pump(int ms) {
        pumpUntil([] { return false; }, ms);
    }
    void clickCell() {
        QPoint c = cell->mapToGlobal(QPoint(26, 26));
        fixture::fakeMotion(other, c.x(), c.y());
        pump(50);
        fixture::fakeInput(other, XCB_BUTTON_PRESS, 1);
        pump(150);
        fixture::fakeInput(other, XCB_BUTTON_RELEASE, 1);
        pump(150);
    }

    std::shared_ptr<XConnection> conn;
    xcb_connection_t* other = nullptr;
    std::shared_ptr<GroupViewController> controller;
    std::shared_ptr<GroupModel> group;
    std::unique_ptr<QWidget> dock;
    GroupCell* cell = nullptr;
};

// A window that takes dropped files, as a file manager does. What it saw of the drag is
// counted for the thread that moves the pointer.
class DropTarget : public QWidget {
public:
    DropTarget() { setAcceptDrops(true); }
    QByteArray received;
    std::atomic<int> moves{0};

protected:
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (e->mimeData()->hasFormat("text/uri-list")) e->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* e) override {
        e->acceptProposedAction();
        ++moves;
    }
    void dropEvent(QDropEvent* e) override {
        received = e->mimeData()->data("text/uri-list");
        e->acceptProposedAction();
    }
};

TEST_F(X11GroupPopoverTest, AFileDraggedOutOfTheFolderPopoverReachesAnotherWindow) {
    std::string dir = env.root() + "/folder";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/report one.txt") << "x";
    auto folder = FileSystemNode::initWithPath(dir);
    folder->populateChildrenArray();
    auto popover = FolderViewController::init();
    DropTarget target;
    target.setWindowTitle("target");
    target.setGeometry(900, 100, 300, 300);
    target.show();
    ASSERT_TRUE(pumpUntil([&] { return target.isVisible(); }));
    pump(200);
    popover->showFolderViewForFolder(folder, MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY);
    ASSERT_TRUE(pumpUntil([&] { return popover->popover()->window()->isVisible(); }));
    pump(200);
    CollectionViewItem* item = popover->collectionView()->itemAtIndex(0);
    ASSERT_TRUE(item);
    const QPoint from = item->view()->mapToGlobal(QPoint(50, 50));
    const QPoint to = target.mapToGlobal(QPoint(150, 150));

    // The pointer is driven from another thread: the drag runs its own event loop here.
    // The hand moves as a person does, then holds the button over the target until the
    // target has taken the drag twice (the second position is only sent once the answer
    // to the first came back to the source), however slowly this side runs.
    std::atomic<bool> gaveUp{false};
    std::thread hand([&] {
        auto move = [&](QPoint p) {
            xcb_test_fake_input(other, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, XCB_WINDOW_NONE, int16_t(p.x()),
                                int16_t(p.y()), 0);
            xcb_flush(other);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        };
        move(from);
        xcb_test_fake_input(other, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        xcb_flush(other);
        for (int i = 1; i <= 20; ++i) move(from + (to - from) * i / 20);
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        for (int i = 0; target.moves < 2 && std::chrono::steady_clock::now() < end; ++i)
            move(to + QPoint(i % 2, 0));
        gaveUp = target.moves < 2;
        xcb_test_fake_input(other, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
        xcb_flush(other);
    });
    const bool dropped = pumpUntil([&] { return !target.received.isEmpty(); });
    hand.join();
    EXPECT_FALSE(gaveUp) << "the target never took the drag";
    EXPECT_TRUE(dropped);
    EXPECT_EQ(target.received, QByteArray("file://") + QByteArray::fromStdString(dir) + "/report%20one.txt\r\n");
    EXPECT_TRUE(pumpUntil([&] { return !popover->isFolderViesShow(); }));
}

TEST_F(X11GroupPopoverTest, APressOnTheGroupCellTogglesThePopover) {
    clickCell();
    ASSERT_TRUE(pumpUntil([&] { return controller->isShow() && controller->popover()->window()->isVisible(); }))
        << "presses on the cell: " << cell->presses << ", popover shown: " << controller->isShow()
        << ", its window visible: " << controller->popover()->window()->isVisible()
        << ", a menu tracking: " << MenuPresenter::isTracking();
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
