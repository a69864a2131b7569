// Drag and drop in a real dock panel on Xvfb with openbox, driven by XTest: a Shift-drag
// reorders two cells over XDND and the stored archive shows the new order after the
// save; a file dragged from a small widget of the test (an XDND source offering
// text/uri-list) onto the trash cell lands in $XDG_DATA_HOME/Trash/files with its
// .trashinfo. Skipped without DISPLAY.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

#include "core/DockManager.h"
#include "core/DockModel.h"
#include "core/FileSystemNode.h"
#include "core/MenuModel.h"
#include "core/ThemeManager.h"
#include "core/TrashModel.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DockWindow.h"
#include "dock_ui/TashDropCellView.h"
#include "dock_ui/TrashCell.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/FileServices.h"
#include "platform/desktop/Keys.h"
#include "platform/desktop/PanelWindows.h"
#include "platform/desktop/SyntheticEvents.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/X11Compositing.h"
#include "platform/x11/X11Events.h"
#include "platform/x11/X11PanelWindows.h"
#include "platform/x11/X11Screens.h"
#include "platform/x11/XConnection.h"
#include "support/Files.h"
#include "support/TestEnvironment.h"
#include "platform/x11/X11DockFixture.h"
#include "tracking/AppMonitoringService.h"
#include "tracking/Displays.h"
#include "tracking/SIAccessibilityElement.h"

namespace qs::x11 {
namespace {

namespace fs = std::filesystem;

// A small XDND source: a press and a drag on it start a QDrag offering its files.
class FileSource : public QWidget {
public:
    std::vector<std::string> paths;
    int result = -1;

protected:
    void mousePressEvent(QMouseEvent* e) override { pressed_ = e->button() == Qt::LeftButton; }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!pressed_ || !(e->buttons() & Qt::LeftButton)) return;
        pressed_ = false;
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const auto& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
        data->setUrls(urls);
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        result = int(drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction));
    }

private:
    bool pressed_ = false;
};

class X11DragDropTest : public qs::test::IsolatedTest {
protected:
    void SetUp() override {
        if (auto why = fixture::skipReason(); !why.empty()) GTEST_SKIP() << why;
        conn = XConnection::open();
        ASSERT_TRUE(conn);
        events = std::make_shared<X11Events>(conn);
        fixture::installPanelServices(conn, events);
        if (!SIUniversalAccessHelper::isAccessibilityTrusted()) GTEST_SKIP() << "no EWMH window manager";
        ThemeManager::resetSharedInstanceForTesting();
        ThemeManager::setResourceThemesDirectoryForTesting(std::string());
        auto& defaults = UserDefaults::standardUserDefaults();
        defaults.setBool(false, "enableStartMenu");
        defaults.setBool(true, "DoNotDisplayRunning");
        defaults.setBool(true, "DoNotShowReorderAlert");
        installDockWindowFactory();
        manager = DockManager::sharedInstance();
        ASSERT_FALSE(manager->panelControllers().empty());
        for (const char* name : {"alpha.qstest", "beta.qstest", "gamma.qstest"}) {
            const std::string path = env.root() + "/" + name;
            std::ofstream(path) << name;
            files.push_back(path);
        }
        Array items;
        for (const auto& f : files) items.push_back(Value(FileSystemNode::initWithPath(f)));
        items.push_back(Value(TrashModel::init()));
        manager->mainModel()->setPanelContent(items);
        env.loop().advance(0.2);
        panel = findPanel();
        ASSERT_TRUE(panel);
        ASSERT_TRUE(pumpUntil([&] { return panel->isVisible() && panel->collectionView()->numberOfItems() == 4; }));
        pump(200);
    }
    void TearDown() override {
        if (conn) {
            events->postMouse(desktop::MouseEventType::LeftUp, pointer(), 0);
            events->postMouse(desktop::MouseEventType::Moved, pointer(), 0);
        }
        panel.reset();
        DockManager::resetSharedInstanceForTesting();
        DockManager::setWindowFactory(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Displays::resetSharedInstanceForTesting();
        AppMonitoringService::resetSharedInstanceForTesting();
        TrashModel::resetSharedInstanceForTesting();
        MenuModel::resetSharedInstanceForTesting();
        ThemeManager::resetSharedInstanceForTesting();
        ThemeManager::setResourceThemesDirectoryForTesting(std::nullopt);
        fixture::uninstallPanelServices();
    }

    std::shared_ptr<DockWindow> findPanel() {
        for (const auto& c : manager->panelControllers())
            if (auto w = std::dynamic_pointer_cast<DockWindow>(c->window())) return w;
        return nullptr;
    }
    void pump(int ms) { pumpUntil([] { return false; }, ms); }
    template <class F>
    bool pumpUntil(F done, int ms = kWaitMs) {
        return fixture::pumpUntil([&] { fixture::turnLoops(*conn, env.loop()); }, done, ms, 5);
    }
    Point pointer() const { return at_; }
    // The centre of a cell (or a point inside it), in root coordinates.
    QPoint cellPoint(size_t index, double fx = 0.5) {
        DockCollectionView* cv = panel->collectionView();
        Rect f = cv->frameForItemAtIndex(index);
        return cv->mapToGlobal(QPoint(int(f.origin.x + f.size.width * fx), int(f.origin.y + f.size.height / 2)));
    }
    // Runs the steps one after another, each `stepMs` after the last, from Qt timers, so
    // that they also run inside the nested loop of a drag; answers when all ran.
    // Runs the steps one by one, stepMs apart, while the loops turn. The timers belong to
    // this call: a script that did not finish runs no step after it (its steps point
    // into the test).
    bool script(std::vector<std::function<void()>> steps, int stepMs = 40) {
        QObject owner;
        size_t next = 0;
        std::function<void()> run = [&] {
            if (next >= steps.size()) return;
            steps[next++]();
            QTimer::singleShot(stepMs, &owner, run);
        };
        QTimer::singleShot(0, &owner, run);
        return pumpUntil([&] { return next >= steps.size(); }, 15000);
    }
    void post(desktop::MouseEventType type, QPoint p, uint64_t flags) {
        at_ = MakePoint(p.x(), p.y());
        events->postMouse(type, at_, flags);
    }
    // Moves from a to b in small steps with the flags held.
    std::vector<std::function<void()>> path(QPoint a, QPoint b, uint64_t flags, int steps = 12) {
        std::vector<std::function<void()>> out;
        for (int i = 1; i <= steps; ++i) {
            QPoint p = a + (b - a) * i / steps;
            out.push_back([this, p, flags] { post(desktop::MouseEventType::Moved, p, flags); });
        }
        return out;
    }
    std::vector<std::string> storedOrder() {
        auto& defaults = UserDefaults::standardUserDefaults();
        auto plist = PropertyList::readFile(defaults.filePath());
        std::vector<std::string> out;
        if (!plist || !plist->dictionary()) return out;
        auto it = plist->dictionary()->find("MainDockModelKey");
        if (it == plist->dictionary()->end() || !it->second.data()) return out;
        auto stored = KeyedUnarchiver::unarchiveObjectWithData(*it->second.data()).objectAs<DockModel>();
        if (!stored) return out;
        for (const auto& v : stored->panelContent())
            if (auto node = v.objectAs<FileSystemNode>()) out.push_back(fs::path(node->path()).filename().string());
        return out;
    }
    std::vector<std::string> liveOrder() {
        std::vector<std::string> out;
        for (const auto& v : manager->mainModel()->panelContent())
            if (auto node = v.objectAs<FileSystemNode>()) out.push_back(fs::path(node->path()).filename().string());
            else if (v.object()) out.push_back(v.object()->className());
        return out;
    }

    std::shared_ptr<XConnection> conn;
    std::shared_ptr<X11Events> events;
    std::shared_ptr<DockManager> manager;
    std::shared_ptr<DockWindow> panel;
    std::vector<std::string> files;
    Point at_ = MakePoint(0, 0);
};

TEST_F(X11DragDropTest, AShiftDragReordersTwoCellsAndTheStoredArchiveFollows) {
    const uint64_t shift = desktop::kCGEventFlagMaskShift;
    const QPoint from = cellPoint(0), to = cellPoint(2, 0.95);
    std::vector<std::function<void()>> steps;
    steps.push_back([&] { post(desktop::MouseEventType::Moved, from, shift); });
    steps.push_back([&] { post(desktop::MouseEventType::LeftDown, from, shift); });
    for (auto& s : path(from, to, shift)) steps.push_back(s);
    steps.push_back([] {});
    steps.push_back([&] { post(desktop::MouseEventType::LeftUp, to, shift); });
    steps.push_back([&] { post(desktop::MouseEventType::Moved, to, 0); });
    ASSERT_TRUE(script(steps));
    ASSERT_TRUE(pumpUntil([&] { return liveOrder().front() != "alpha.qstest"; }))
        << "drags started: " << panel->collectionView()->dragsStarted();
    EXPECT_EQ(liveOrder(), (std::vector<std::string>{"beta.qstest", "gamma.qstest", "alpha.qstest", "TrashModel"}));
    EXPECT_EQ(storedOrder(), (std::vector<std::string>{"beta.qstest", "gamma.qstest", "alpha.qstest"}));
    // The cells were moved, not made again.
    EXPECT_EQ(panel->collectionView()->itemsMade(), 4);
    // No file was opened by the press and release of the drag.
    for (const auto& f : files) EXPECT_TRUE(fs::exists(f));
}

TEST_F(X11DragDropTest, ADragCancelledWithEscapeOrDroppedOffThePanelChangesNothing) {
    const uint64_t shift = desktop::kCGEventFlagMaskShift;
    const std::vector<std::string> before = liveOrder();
    // Escape during the drag.
    const QPoint from = cellPoint(0), to = cellPoint(2, 0.95);
    std::vector<std::function<void()>> steps;
    steps.push_back([&] { post(desktop::MouseEventType::Moved, from, shift); });
    steps.push_back([&] { post(desktop::MouseEventType::LeftDown, from, shift); });
    for (auto& s : path(from, to, shift)) steps.push_back(s);
    steps.push_back([&] { events->postKey(kVK_Escape, true, shift); });
    steps.push_back([] {});  // a key held as long as a quick tap
    steps.push_back([] {});
    steps.push_back([&] { events->postKey(kVK_Escape, false, shift); });
    steps.push_back([&] { post(desktop::MouseEventType::LeftUp, to, shift); });
    steps.push_back([&] { post(desktop::MouseEventType::Moved, to, 0); });
    ASSERT_TRUE(script(steps));
    pump(300);
    EXPECT_EQ(liveOrder(), before);
    // Dropped far away from the panel: the item stays where it was.
    const QPoint away = QPoint(from.x(), 150);
    steps.clear();
    steps.push_back([&] { post(desktop::MouseEventType::Moved, from, shift); });
    steps.push_back([&] { post(desktop::MouseEventType::LeftDown, from, shift); });
    for (auto& s : path(from, away, shift)) steps.push_back(s);
    steps.push_back([&] { post(desktop::MouseEventType::LeftUp, away, shift); });
    steps.push_back([&] { post(desktop::MouseEventType::Moved, away, 0); });
    ASSERT_TRUE(script(steps));
    pump(300);
    EXPECT_GE(panel->collectionView()->dragsStarted(), 1);
    EXPECT_EQ(liveOrder(), before);
    EXPECT_EQ(panel->collectionView()->dropIndicator() && panel->collectionView()->dropIndicator()->isVisible(), false);
}

TEST_F(X11DragDropTest, AFileDraggedOntoTheTrashCellGoesToTheTrash) {
    const std::string victim = env.root() + "/old notes.txt";
    std::ofstream(victim) << "old";
    FileSource source;
    source.paths = {victim};
    source.setWindowTitle("drag source");
    source.resize(120, 80);
    source.move(40, 40);
    source.show();
    ASSERT_TRUE(pumpUntil([&] { return source.isVisible(); }));
    pump(300);
    const QPoint start = source.mapToGlobal(QPoint(60, 40));
    const QPoint trash = cellPoint(3);
    auto* cell = dynamic_cast<TrashCell*>(panel->collectionView()->itemAtIndex(3));
    ASSERT_TRUE(cell);
    bool highlighted = false;
    std::vector<std::function<void()>> steps;
    steps.push_back([&] { post(desktop::MouseEventType::Moved, start, 0); });
    steps.push_back([&] { post(desktop::MouseEventType::LeftDown, start, 0); });
    for (auto& s : path(start, trash, 0, 16)) steps.push_back(s);
    steps.push_back([&] { post(desktop::MouseEventType::Moved, trash + QPoint(1, 0), 0); });
    steps.push_back([&] { highlighted = cell->dropView()->isDragHighlighted(); });
    steps.push_back([&] { post(desktop::MouseEventType::LeftUp, trash + QPoint(1, 0), 0); });
    ASSERT_TRUE(script(steps));
    const std::string trashDir = env.dataHome() + "/Trash";
    ASSERT_TRUE(pumpUntil([&] { return fs::exists(trashDir + "/files/old notes.txt"); }));
    EXPECT_TRUE(highlighted);
    EXPECT_FALSE(cell->dropView()->isDragHighlighted());
    EXPECT_FALSE(fs::exists(victim));
    auto info = desktop::files::readTrashInfo(trashDir + "/info/old notes.txt.trashinfo");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->originalPath, victim);
    const std::string text = test::readFileOrEmpty(trashDir + "/info/old notes.txt.trashinfo");
    EXPECT_NE(text.find("Path=" + env.root() + "/old%20notes.txt"), std::string::npos) << text;
    EXPECT_NE(text.find("DeletionDate="), std::string::npos);
    // The dock kept its items.
    EXPECT_EQ(manager->mainModel()->panelContent().size(), 4u);
}

}  // namespace
}  // namespace qs::x11
