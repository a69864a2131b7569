// Drag and drop in the panel offscreen: the reorder rules (modifiers, first and last
// places, the trash), files dropped between items and on items, the hint after a plain
// drag, the drop zones letting plain clicks through, and the trash cell's mouse handling
// and drops into a private freedesktop trash.
#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QDragMoveEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <gtest/gtest.h>

#include "core/DockModel.h"
#include "core/FileSystemNode.h"
#include "core/Separator.h"
#include "core/ThemeManager.h"
#include "core/TrashModel.h"
#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/CollectionViewDelegate.h"
#include "dock_ui/DockCollectionItemCell.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DropCellView.h"
#include "dock_ui/ReorderAlertWindowController.h"
#include "dock_ui/TashDropCellView.h"
#include "dock_ui/TrashCell.h"
#include "tracking/FinderOperations.h"
#include "platform/desktop/FileServices.h"
#include "platform/foundation/IndexSetCoding.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "support/TestEnvironment.h"

#include <QDialog>
#include <QDrag>

namespace qs {
namespace {

namespace fs = std::filesystem;

class Recording : public CellActionsDelegate {
public:
    std::vector<std::string> calls;
    std::vector<URLPtr> files;
    Value filesObject;
    void mouseDown(const Event&) override { calls.push_back("mouseDown"); }
    void mouseDragged(const Event&) override { calls.push_back("mouseDragged"); }
    void mouseUp(const Event&, QWidget*, const Value&, bool up) override {
        calls.push_back(up ? "mouseUp YES" : "mouseUp NO");
    }
    void showPreviewWhithObject(const std::optional<Dictionary>&) override {}
    void mouseStopedWhithDict(const Dictionary&) override {}
    void mouseEnteredWhithDict(const Dictionary& d) override {
        calls.push_back("entered");
        entered = d;
    }
    void mouseExited(const Event&, QWidget*, const Value&) override { calls.push_back("exited"); }
    void prcessFiles(const std::vector<URLPtr>& f, const Value& object) override {
        calls.push_back("files");
        files = f;
        filesObject = object;
    }
    std::shared_ptr<Menu> menuForItemViewWhithObject(const Value&) override {
        calls.push_back("menu");
        return nullptr;
    }
    Dictionary entered;
};

class DragDropTest : public test::IsolatedTest {
protected:
    DragDropTest() {
        ThemeManager::resetSharedInstanceForTesting();
        TrashModel::resetSharedInstanceForTesting();
        sim = sim::installSimBackend();
        actions = std::make_shared<Recording>();
        model = DockModel::create();
        names.clear();
        Array items;
        for (const char* n : {"A", "B", "C", "D"}) {
            auto s = Separator::create();
            names[s.get()] = n;
            items.push_back(Value(s));
        }
        trash = TrashModel::init();
        names[trash.get()] = "T";
        items.push_back(Value(trash));
        model->setPanelContent(items);
        view = std::make_unique<DockCollectionView>();
        view->setCellActionsDelegate(actions);
        auto prototype = std::make_shared<DockCollectionItemCell>();
        prototype->setCellDelegate(actions);
        view->setItemPrototype(prototype);
        view->setMaxNumberOfRows(1);
        view->setMinItemSize(MakeSize(50, 50));
        view->setMaxItemSize(MakeSize(50, 50));
        view->resize(50 * 5, 50);
        view->setContent(model->panelContent());
        delegate = CollectionViewDelegate::initWhitCollectionView(view.get(), model);
        NotificationCenter::defaultCenter().addObserver(this, "saveDocksData", nullptr,
                                                        [this](const Notification&) { ++saves; });
    }
    ~DragDropTest() override {
        NotificationCenter::defaultCenter().removeObserver(this);
        delegate.reset();
        view.reset();
        model.reset();
        TrashModel::resetSharedInstanceForTesting();
        ThemeManager::resetSharedInstanceForTesting();
    }

    std::string order() const {
        std::string s;
        for (const auto& v : model->panelContent()) {
            auto it = names.find(v.object().get());
            s += it != names.end() ? it->second : "?";
        }
        return s;
    }
    // An internal drop of the item at `from` into gap `gap`.
    bool reorder(size_t from, long gap) {
        Pasteboard written;
        delegate->writeItemsAtIndexes(*view, {from}, written);
        std::unique_ptr<QMimeData> data(written.takeMimeData());
        Pasteboard read(data.get());
        DraggingInfo info{read, QPoint(), true};
        return delegate->acceptDrop(*view, info, gap, NSCollectionViewDropBefore);
    }
    std::string touch(const std::string& name) {
        const std::string path = env.root() + "/" + name;
        std::ofstream(path) << name;
        return path;
    }
    static std::unique_ptr<QMimeData> uriList(const std::vector<std::string>& paths) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const auto& p : paths)
            urls.push_back(p.find("://") != std::string::npos ? QUrl(QString::fromStdString(p))
                                                             : QUrl::fromLocalFile(QString::fromStdString(p)));
        data->setUrls(urls);
        return data;
    }

    sim::SimBackend sim;
    std::shared_ptr<Recording> actions;
    std::shared_ptr<DockModel> model;
    std::shared_ptr<TrashModel> trash;
    std::map<const Object*, std::string> names;
    std::unique_ptr<DockCollectionView> view;
    std::shared_ptr<CollectionViewDelegate> delegate;
    int saves = 0;
};

// ---------------------------------------------------------------------------------
// Reordering

TEST_F(DragDropTest, ADragStartsOnlyWithShiftOrOptionAndAPlainOneBringsTheHintOnce) {
    Event e = Event::mouseEvent(NSEventTypeLeftMouseDragged, MakePoint(10, 10));
    sim.desktop->setKeyModifiers(shiftKey);
    EXPECT_TRUE(delegate->canDragItemsAtIndexes(*view, {1}, e));
    sim.desktop->setKeyModifiers(optionKey);
    EXPECT_TRUE(delegate->canDragItemsAtIndexes(*view, {1}, e));
    sim.desktop->setKeyModifiers(controlKey);
    EXPECT_FALSE(delegate->canDragItemsAtIndexes(*view, {1}, e));
    EXPECT_EQ(delegate->alert(), nullptr);
    env.loop().advance(0.29);
    EXPECT_EQ(delegate->alert(), nullptr);
    env.loop().advance(0.02);
    ASSERT_NE(delegate->alert(), nullptr);
    EXPECT_TRUE(delegate->alert()->window()->isVisible());
    delegate->alert()->okclick();
    EXPECT_FALSE(delegate->alert()->window()->isVisible());

    // Any stored value, even NO, keeps it hidden; the check box stores YES.
    UserDefaults::standardUserDefaults().setBool(false, ReorderAlertWindowController::kDoNotShowKey);
    delegate->informDrag();
    EXPECT_FALSE(delegate->alert()->window()->isVisible());
    UserDefaults::standardUserDefaults().removeObjectForKey(ReorderAlertWindowController::kDoNotShowKey);
    delegate->informDrag();
    EXPECT_TRUE(delegate->alert()->window()->isVisible());
    sim.desktop->setKeyModifiers(0);
}

TEST_F(DragDropTest, ADroppedItemLandsInTheGapAndNeverPastTheTrash) {
    // Forward: A into the gap before D.
    EXPECT_TRUE(reorder(0, 3));
    EXPECT_EQ(order(), "BCADT");
    EXPECT_EQ(saves, 1);
    // Backward: D to the first place.
    EXPECT_TRUE(reorder(3, 0));
    EXPECT_EQ(order(), "DBCAT");
    // The last place (after the trash) is just before the trash.
    EXPECT_TRUE(reorder(0, 5));
    EXPECT_EQ(order(), "BCADT");
    // Dropped where it is (either side of itself): nothing moves.
    EXPECT_TRUE(reorder(1, 1));
    EXPECT_TRUE(reorder(1, 2));
    EXPECT_EQ(order(), "BCADT");
    // The trash itself goes where it is dropped.
    EXPECT_TRUE(reorder(4, 0));
    EXPECT_EQ(order(), "TBCAD");
    EXPECT_TRUE(reorder(0, 5));
    EXPECT_EQ(order(), "BCADT");
    // The cells were moved, never rebuilt.
    EXPECT_EQ(view->itemsMade(), 5);
}

TEST_F(DragDropTest, OnlyTheFirstDraggedItemMovesAndForeignOrBrokenDataMovesNothing) {
    Pasteboard written;
    delegate->writeItemsAtIndexes(*view, {2, 3}, written);
    EXPECT_EQ(written.types(), std::vector<std::string>{AppListCollectionViewDataType});
    std::unique_ptr<QMimeData> data(written.takeMimeData());
    EXPECT_TRUE(data->hasFormat("application/x-quayside-AppListCollectionViewDataType"));
    Pasteboard read(data.get());
    EXPECT_TRUE(delegate->acceptDrop(*view, DraggingInfo{read, QPoint(), true}, 0, 1));
    EXPECT_EQ(order(), "CABDT");
    // From another program: refused.
    EXPECT_FALSE(delegate->acceptDrop(*view, DraggingInfo{read, QPoint(), false}, 4, 1));
    // Bytes that are no index set.
    QMimeData junk;
    junk.setData("application/x-quayside-AppListCollectionViewDataType", "not an archive");
    Pasteboard bad(&junk);
    EXPECT_FALSE(delegate->acceptDrop(*view, DraggingInfo{bad, QPoint(), true}, 4, 1));
    EXPECT_EQ(order(), "CABDT");
    EXPECT_TRUE(env.logged("no readable item indexes"));
    // Validation: a move from inside, a copy from elsewhere.
    long index = 2;
    int op = 1;
    EXPECT_EQ(delegate->validateDrop(*view, DraggingInfo{read, QPoint(), true}, index, op), NSDragOperationMove);
    EXPECT_EQ(delegate->validateDrop(*view, DraggingInfo{read, QPoint(), false}, index, op), NSDragOperationCopy);
    EXPECT_EQ(index, 2);
}

// ---------------------------------------------------------------------------------
// Files dropped on the panel

TEST_F(DragDropTest, DroppedFilesBecomeItemsAtTheGapInDragOrder) {
    auto data = uriList({touch("one"), touch("two"), touch("three")});
    Pasteboard pb(data.get());
    EXPECT_TRUE(delegate->acceptDrop(*view, DraggingInfo{pb, QPoint(), false}, 2, 1));
    ASSERT_EQ(model->panelContent().size(), 8u);
    for (size_t i = 0; i < 3; ++i) {
        auto node = model->panelContent()[2 + i].objectAs<FileSystemNode>();
        ASSERT_TRUE(node);
        const std::vector<std::string> expected{"one", "two", "three"};
        EXPECT_EQ(node->path(), env.root() + "/" + expected[i]);
    }
    // Adds are stored with the next save something else causes.
    EXPECT_EQ(saves, 0);
}

TEST_F(DragDropTest, BadFileDropsAreSafe) {
    // A web link only: accepted, nothing changes.
    auto link = uriList({"https://example.org/page"});
    Pasteboard web(link.get());
    EXPECT_FALSE(web.hasType(NSFilenamesPboardType));
    EXPECT_TRUE(delegate->acceptDrop(*view, DraggingInfo{web, QPoint(), false}, 1, 1));
    EXPECT_EQ(model->panelContent().size(), 5u);
    EXPECT_TRUE(env.logged("not local files"));

    // A vanished file is left out; a drop after the trash lands before it.
    auto mixed = uriList({env.root() + "/gone", touch("here"), "sftp://host/x"});
    Pasteboard pb(mixed.get());
    EXPECT_EQ(pb.filenames().size(), 2u);
    EXPECT_TRUE(delegate->acceptDrop(*view, DraggingInfo{pb, QPoint(), false}, 5, 1));
    ASSERT_EQ(model->panelContent().size(), 6u);
    EXPECT_EQ(model->panelContent()[4].objectAs<FileSystemNode>()->path(), env.root() + "/here");
    EXPECT_EQ(model->panelContent()[5].object(), trash);
    EXPECT_TRUE(env.logged("no longer exist"));

    // Thousands of files at once: a bounded number become items.
    std::vector<std::string> many(10000, touch("same"));
    auto lots = uriList(many);
    Pasteboard big(lots.get());
    EXPECT_TRUE(delegate->acceptDrop(*view, DraggingInfo{big, QPoint(), false}, 0, 1));
    EXPECT_EQ(model->panelContent().size(), 6u + CollectionViewDelegate::kMaxDroppedItems);
    EXPECT_TRUE(env.logged("only the first"));
}

// ---------------------------------------------------------------------------------
// The collection view's drop places and drop zones

TEST_F(DragDropTest, DragsOverThePanelFindTheGapOrTheItemUnderThePointer) {
    // Item 1 is a folder (it takes files); the others are separators (they take none).
    const std::string folder = env.root() + "/folder";
    fs::create_directories(folder);
    Array items = model->panelContent();
    items[1] = Value(FileSystemNode::initWithPath(folder));
    names[items[1].object().get()] = "F";
    model->setPanelContent(items);
    view->setContent(model->panelContent());
    view->show();
    auto data = uriList({touch("f")});
    auto send = [&](QEvent::Type type, QPoint at) {
        if (type == QEvent::DragEnter) {
            QDragEnterEvent e(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(view.get(), &e);
            return e.isAccepted() ? e.dropAction() : Qt::IgnoreAction;
        }
        QDragMoveEvent e(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &e);
        return e.isAccepted() ? e.dropAction() : Qt::IgnoreAction;
    };
    // Near the border of items 1 and 2: the gap 2, offered as a copy.
    EXPECT_EQ(send(QEvent::DragEnter, QPoint(102, 25)), Qt::CopyAction);
    EXPECT_EQ(view->proposedDropIndex(), 2);
    ASSERT_TRUE(view->dropIndicator());
    EXPECT_TRUE(view->dropIndicator()->isVisible());
    // The middle of the folder: its drop zone, highlighted, offered as the move it is
    // (the file lies on the folder's file system).
    EXPECT_EQ(send(QEvent::DragMove, QPoint(75, 25)), Qt::MoveAction);
    auto* zone = qobject_cast<DropCellView*>(view->dragRouter().current());
    ASSERT_TRUE(zone);
    EXPECT_TRUE(zone->isDragHighlighted());
    EXPECT_EQ(zone->requestedCursor(), DropCursor::PointingHand);
    EXPECT_EQ(view->proposedDropIndex(), -1);
    // The middle of a separator belongs to the gaps: it takes no files.
    EXPECT_EQ(send(QEvent::DragMove, QPoint(124, 25)), Qt::CopyAction);
    EXPECT_EQ(view->dragRouter().current(), nullptr);
    EXPECT_EQ(view->proposedDropIndex(), 2);
    // The trash takes a drag anywhere on it.
    send(QEvent::DragMove, QPoint(75, 25));
    send(QEvent::DragMove, QPoint(205, 25));
    auto* trashView = qobject_cast<TashDropCellView*>(view->dragRouter().current());
    ASSERT_TRUE(trashView);
    EXPECT_FALSE(zone->isDragHighlighted());
    EXPECT_TRUE(trashView->isDragHighlighted());
    EXPECT_EQ(trashView->requestedCursor(), DropCursor::DragCopy);
    send(QEvent::DragMove, QPoint(210, 25));
    EXPECT_EQ(trashView->requestedCursor(), DropCursor::DisappearingItem);
    QDragLeaveEvent leave;
    QApplication::sendEvent(view.get(), &leave);
    EXPECT_FALSE(trashView->isDragHighlighted());
    EXPECT_EQ(trashView->requestedCursor(), DropCursor::None);

    // A drop between items makes an item there.
    send(QEvent::DragEnter, QPoint(48, 25));
    QDropEvent drop(QPointF(48, 25), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EQ(model->panelContent().size(), 6u);
    EXPECT_EQ(model->panelContent()[1].objectAs<FileSystemNode>()->path(), env.root() + "/f");

    // The vertical panel takes its gaps along y.
    view->setContent(model->panelContent());
    view->setMaxNumberOfRows(0);
    view->setMaxNumberOfColumns(1);
    view->resize(50, 300);
    view->layoutItems();
    EXPECT_EQ(view->dropIndexAtPoint(MakePoint(25, 0)), 0);
    EXPECT_EQ(view->dropIndexAtPoint(MakePoint(25, 74)), 1);
    EXPECT_EQ(view->dropIndexAtPoint(MakePoint(25, 76)), 2);
    EXPECT_EQ(view->dropIndexAtPoint(MakePoint(25, 1000)), 6);
}

TEST_F(DragDropTest, FilesDroppedOnAnItemGoToTheCellActionsWithTheItem) {
    const std::string folder = env.root() + "/folder";
    fs::create_directories(folder);
    model->insertFiles({URL::fileURLWithPath(folder)}, 0);
    view->setContent(model->panelContent());
    auto* cell = dynamic_cast<DockCollectionItemCell*>(view->itemAtIndex(0));
    ASSERT_TRUE(cell);
    auto* zone = qobject_cast<DropCellView*>(cell->dropCell());
    ASSERT_TRUE(zone);
    auto data = uriList({touch("x"), touch("y"), "https://example.org"});
    Pasteboard pb(data.get());
    DraggingInfo info{pb, QPoint(25, 25), false};
    EXPECT_TRUE(zone->performDragOperation(info));
    EXPECT_EQ(info.performedOperation, std::optional<uint64_t>(NSDragOperationMove)) << "the source hears the move";
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"files"}));
    ASSERT_EQ(actions->files.size(), 2u);
    EXPECT_EQ(actions->files[0]->path(), env.root() + "/x");
    EXPECT_EQ(actions->files[1]->path(), env.root() + "/y");
    EXPECT_EQ(actions->filesObject.object(), model->panelContent()[0].object());

    // Files that are in the folder already: nothing is done, the source hears so, and the
    // files still reach the item, which tells the user why.
    actions->calls.clear();
    auto there = uriList({folder + "/inside.txt"});
    std::ofstream(folder + "/inside.txt") << "x";
    Pasteboard inside(there.get());
    DraggingInfo again{inside, QPoint(25, 25), false};
    EXPECT_FALSE(zone->performDragOperation(again));
    EXPECT_EQ(again.performedOperation, std::optional<uint64_t>(NSDragOperationNone));
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"files"}));

    // A source that allows only a copy is not taken up on a move: nothing is done.
    actions->calls.clear();
    DraggingInfo copyOnly{pb, QPoint(25, 25), false, NSDragOperationCopy};
    EXPECT_FALSE(zone->performDragOperation(copyOnly));
    EXPECT_TRUE(actions->calls.empty());
    // Nothing but a link: refused.
    auto link = uriList({"https://example.org"});
    Pasteboard web(link.get());
    EXPECT_FALSE(zone->performDragOperation(DraggingInfo{web, QPoint(25, 25), false}));
    // The zone's ends belong to the gaps.
    zone->resize(50, 50);
    EXPECT_FALSE(zone->acceptsDragAtPoint(QPoint(5, 25)));
    EXPECT_TRUE(zone->acceptsDragAtPoint(QPoint(25, 25)));
    EXPECT_FALSE(zone->acceptsDragAtPoint(QPoint(45, 25)));
}

TEST_F(DragDropTest, PlainClicksPassThroughTheDropZoneToTheCell) {
    view->show();
    auto* cell = dynamic_cast<DockCollectionItemCell*>(view->itemAtIndex(1));
    ASSERT_TRUE(cell && cell->dropCell());
    QWidget* zone = cell->dropCell();
    EXPECT_EQ(zone->geometry(), cell->view()->rect());
    EXPECT_EQ(view->childAt(QPoint(75, 25)), zone);
    const QPointF at(25, 25);
    QMouseEvent down(QEvent::MouseButtonPress, at, zone->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(zone, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, zone->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(zone, &up);
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseDown", "mouseUp NO", "mouseUp YES"}));
}

TEST_F(DragDropTest, ADragOfAnItemAsksOncePerPressAndRunsWithThePrivateType) {
    view->show();
    std::vector<std::string> runs;
    CollectionView::setDragRunnerForTesting([&](QDrag& drag, int actions, int preferred) {
        runs.push_back(drag.mimeData()->formats().join(",").toStdString());
        EXPECT_TRUE(actions & Qt::MoveAction);
        EXPECT_EQ(preferred, int(Qt::MoveAction));
        return int(Qt::MoveAction);
    });
    auto* cell = dynamic_cast<DockCollectionItemCell*>(view->itemAtIndex(2));
    QWidget* v = cell->view();
    auto drag = [&](int x) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 25), v->mapToGlobal(QPointF(x, 25)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(v, &move);
    };
    auto pressAt = [&] {
        QMouseEvent down(QEvent::MouseButtonPress, QPointF(25, 25), v->mapToGlobal(QPointF(25, 25)), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(v, &down);
    };
    // Without a modifier: no drag, one hint.
    sim.desktop->setKeyModifiers(0);
    pressAt();
    for (int x = 26; x < 60; x += 4) drag(x);
    EXPECT_TRUE(runs.empty());
    env.loop().advance(0.5);
    ASSERT_TRUE(delegate->alert());
    // With Shift: one drag carrying the index set of the item.
    sim.desktop->setKeyModifiers(shiftKey);
    pressAt();
    for (int x = 26; x < 60; x += 4) drag(x);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], "application/x-quayside-AppListCollectionViewDataType");
    EXPECT_EQ(view->dragsStarted(), 1);
    sim.desktop->setKeyModifiers(0);
    CollectionView::setDragRunnerForTesting(nullptr);
}

// ---------------------------------------------------------------------------------
// The trash cell

TEST_F(DragDropTest, TheTrashHasItsOwnCellTellingClicksFromDrags) {
    auto* cell = dynamic_cast<TrashCell*>(view->itemAtIndex(4));
    ASSERT_TRUE(cell);
    auto* tv = cell->dropView();
    ASSERT_TRUE(tv);
    EXPECT_EQ(tv->representedObject().object(), trash);
    EXPECT_EQ(tv->cellActionsDelegate(), actions);
    EXPECT_TRUE(tv->acceptDrops() == false);  // drops reach it through the collection view
    EXPECT_EQ(cell->imageView()->parentWidget(), tv);
    EXPECT_TRUE(cell->imageView()->testAttribute(Qt::WA_TransparentForMouseEvents));

    auto ev = [&](int type, uint64_t flags = 0) {
        Event e = Event::mouseEvent(type, MakePoint(10, 10), flags);
        e.window = tv->window();
        return e;
    };
    // Press and release: only the release, as a click; the cell is deselected.
    cell->setSelected(true);
    cell->mouseDown(ev(NSEventTypeLeftMouseDown));
    EXPECT_TRUE(actions->calls.empty());
    cell->mouseUp(ev(NSEventTypeLeftMouseUp));
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseUp YES"}));
    EXPECT_FALSE(cell->isSelected());
    // Press and drag: the press and the drag, once; the release that ends it is no click.
    actions->calls.clear();
    cell->mouseDown(ev(NSEventTypeLeftMouseDown));
    cell->mouseDragged(ev(NSEventTypeLeftMouseDragged));
    cell->mouseDragged(ev(NSEventTypeLeftMouseDragged));
    cell->mouseUp(ev(NSEventTypeLeftMouseUp));
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseDown", "mouseDragged"}));
    // Control: the context menu at once, no wait.
    actions->calls.clear();
    cell->mouseDown(ev(NSEventTypeLeftMouseDown, NSEventModifierFlagControl));
    cell->mouseUp(ev(NSEventTypeLeftMouseUp));
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"menu"}));
    // Entering: at the next turn of the run loop, with the trash and its view.
    actions->calls.clear();
    cell->mouseEntered(ev(NSEventTypeMouseEntered));
    EXPECT_TRUE(actions->calls.empty());
    env.loop().advance(0.0);
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"entered"}));
    EXPECT_EQ(actions->entered["app"].object(), trash);
    cell->mouseExited(ev(NSEventTypeMouseExited));
    EXPECT_EQ(actions->calls.back(), "exited");
}

TEST_F(DragDropTest, FilesDroppedOnTheTrashGoToTheFreedesktopTrash) {
    auto* cell = dynamic_cast<TrashCell*>(view->itemAtIndex(4));
    ASSERT_TRUE(cell);
    const std::string a = touch("report.txt");
    fs::create_directories(env.root() + "/sub");
    std::ofstream(env.root() + "/sub/report.txt") << "second";
    auto data = uriList({a, env.root() + "/sub/report.txt", env.root() + "/vanished"});
    Pasteboard pb(data.get());
    DraggingInfo info{pb, QPoint(), false};
    EXPECT_TRUE(cell->dropView()->performDragOperation(info));
    // A few files on the trash's file system are in it when the source hears "move".
    EXPECT_EQ(info.performedOperation, std::optional<uint64_t>(NSDragOperationMove));
    const std::string trashDir = env.dataHome() + "/Trash";
    EXPECT_EQ(desktop::files::trashDirectory(), trashDir);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(fs::exists(trashDir + "/files/report.txt"));
    EXPECT_TRUE(fs::exists(trashDir + "/files/report 2.txt"));
    auto info1 = desktop::files::readTrashInfo(trashDir + "/info/report.txt.trashinfo");
    ASSERT_TRUE(info1);
    EXPECT_EQ(info1->originalPath, a);
    EXPECT_FALSE(info1->deletionDate.empty());
    auto info2 = desktop::files::readTrashInfo(trashDir + "/info/report 2.txt.trashinfo");
    ASSERT_TRUE(info2);
    EXPECT_EQ(info2->originalPath, env.root() + "/sub/report.txt");
    // The file that had gone is named to the user, with why.
    ASSERT_EQ(sim.messages->shown().size(), 1u);
    EXPECT_EQ(sim.messages->shown().back().text, "\u201cvanished\u201d could not be put into \u201cTrash\u201d.");
    EXPECT_EQ(sim.messages->shown().back().informativeText, "It is no longer there.");
    EXPECT_TRUE(env.logged("not every file dropped on the trash"));

    // A drop of which nothing can go is refused: the source keeps its files and hears so.
    // The trash itself, a file in it, a folder holding it, a file that vanished.
    const std::string kept = touch("kept.txt");
    fs::remove(kept);
    auto none = uriList({trashDir, trashDir + "/files/report.txt", env.dataHome(), kept});
    Pasteboard nonePb(none.get());
    DraggingInfo noneInfo{nonePb, QPoint(), false};
    EXPECT_FALSE(cell->dropView()->performDragOperation(noneInfo));
    EXPECT_EQ(noneInfo.performedOperation, std::optional<uint64_t>(NSDragOperationNone));
    env.loop().waitForBackground();
    env.loop().runPending();
    EXPECT_TRUE(fs::exists(trashDir + "/files/report.txt"));
    EXPECT_TRUE(fs::exists(env.dataHome() + "/Trash/info"));
    ASSERT_EQ(sim.messages->shown().size(), 2u);
    EXPECT_EQ(sim.messages->shown().back().text, "None of the 4 items could be put into \u201cTrash\u201d.");
    const std::string why = sim.messages->shown().back().informativeText;
    EXPECT_NE(why.find("It is already in the Trash."), std::string::npos) << why;
    EXPECT_NE(why.find("The Trash is inside it."), std::string::npos) << why;

    // A large drop goes on in the background, answered as the move it was checked to be.
    std::vector<std::string> many;
    for (size_t i = 0; i <= FileOperations::kTrashNowLimit; ++i) many.push_back(touch("many " + std::to_string(i)));
    auto large = uriList(many);
    Pasteboard largePb(large.get());
    DraggingInfo largeInfo{largePb, QPoint(), false};
    EXPECT_TRUE(cell->dropView()->performDragOperation(largeInfo));
    EXPECT_EQ(largeInfo.performedOperation, std::optional<uint64_t>(NSDragOperationMove));
    env.loop().waitForBackground();
    env.loop().runPending();
    for (const auto& path : many) EXPECT_FALSE(fs::exists(path)) << path;
    EXPECT_EQ(sim.messages->shown().size(), 2u);
}

}  // namespace
}  // namespace qs
