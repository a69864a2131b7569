// The group popover: its size rule, the search, the cells and their menu, opening an
// item, adding items through the open panel and by drops (saved), the inspector hook,
// the keyboard, and the press that closes the popover not opening it again.
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QUrl>

#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "dock_ui/GroupViewCell.h"
#include "dock_ui/GroupViewController.h"
#include "dock_ui/SearchPredicate.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/CollectionView.h"
#include "PopoverTestSupport.h"

namespace qs {
namespace {

class GroupPopover : public test::PopoverTestBase {
protected:
    void SetUp() override {
        PopoverTestBase::SetUp();
        controller = GroupViewController::init();
        group = std::make_shared<GroupModel>();
    }
    void TearDown() override {
        controller.reset();
        PopoverTestBase::TearDown();
    }
    // A group of files named as given, made on disk.
    void fill(const std::vector<std::string>& names) {
        Array items;
        for (const auto& name : names) items.push_back(Value(FileSystemNode::initWithPath(makeFile(name))));
        group->setItems(items);
    }
    void fillCount(size_t n) {
        std::vector<std::string> names;
        for (size_t i = 0; i < n; ++i) names.push_back("file" + std::to_string(i) + ".txt");
        fill(names);
    }
    void show() { controller->showGrouViewForGroup(group, MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY); }
    size_t arranged() const { return controller->arrayController()->arrangedObjects().size(); }
    QWidget* window() const { return controller->popover()->window(); }

    std::shared_ptr<GroupViewController> controller;
    std::shared_ptr<GroupModel> group;
};

TEST_F(GroupPopover, ContentSizeFollowsTheRule) {
    struct Case {
        size_t n;
        Size size;
    } cases[] = {
        {0, {340, 156}},   // never narrower than three cells
        {2, {340, 156}},   // one short row is one cell high
        {8, {840, 156}},   // one row of 800
        {10, {940, 256}},  // 9 columns, 2 rows
        {100, {940, 956}},  // 12 rows, capped at 900
    };
    for (const Case& c : cases) {
        fillCount(c.n);
        controller->setModel(group);
        EXPECT_EQ(controller->calculateContentSize(), c.size) << c.n << " items";
    }
    EXPECT_EQ(controller->collectionView()->minItemSize(), MakeSize(100, 100));
    EXPECT_EQ(controller->collectionView()->maxItemSize(), MakeSize(100, 100));

    // Another cell size; 0 is the default; nonsense is refused with a line.
    auto& defaults = UserDefaults::standardUserDefaults();
    defaults.setInteger(80, "cellHeight");
    fillCount(5);
    EXPECT_EQ(controller->getCellSize(), MakeSize(80, 80));
    EXPECT_EQ(controller->calculateContentSize(), MakeSize(440, 136));
    defaults.setInteger(0, "cellHeight");
    EXPECT_EQ(controller->getCellSize(), MakeSize(100, 100));
    defaults.setInteger(-30, "cellHeight");
    EXPECT_EQ(controller->getCellSize(), MakeSize(100, 100));
    EXPECT_TRUE(env.logged("\"cellHeight\" -30 is negative"));
    // Wider than the grid may be: one whole column of 900, never a division by zero.
    defaults.setInteger(5000, "cellHeight");
    fillCount(3);
    Size s = controller->calculateContentSize();
    EXPECT_TRUE(std::isfinite(s.width) && std::isfinite(s.height));
    EXPECT_EQ(s, MakeSize(3 * 900 + 40, 900 + 56));
}

TEST_F(GroupPopover, ShowsTheGroupTransientWithTheSearchFieldFocused) {
    fill({"a.txt", "b.txt", "c.txt", "d.txt"});
    EXPECT_FALSE(controller->isShow());
    show();
    ASSERT_TRUE(controller->isShow());
    Popover* p = controller->popover();
    EXPECT_EQ(p->behavior(), NSPopoverBehaviorTransient);
    EXPECT_FALSE(p->animates());
    EXPECT_EQ(p->contentView(), controller->view());
    EXPECT_EQ(p->contentSize(), MakeSize(440, 156));
    EXPECT_EQ(controller->view()->size(), QSize(440, 156));
    EXPECT_EQ(window()->windowType(), Qt::Popup);
    EXPECT_EQ(controller->view()->focusWidget(), controller->searchField());
    EXPECT_EQ(controller->model(), group);
    EXPECT_EQ(controller->predicateTemplate(), "(name contains[cd] $searchString)");

    // One cell per item, laid out in one row of 100-point cells inside the margins.
    CollectionView* grid = controller->collectionView();
    ASSERT_EQ(grid->numberOfItems(), 4u);
    EXPECT_EQ(grid->itemSize(), MakeSize(100, 100));
    EXPECT_EQ(grid->size(), QSize(400, 100));
    EXPECT_EQ(grid->mapTo(controller->view(), QPoint(0, 0)).x(), 20);
    auto* first = controller->cellAtIndex(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->cellView()->node()->displayName(), "a.txt");
    EXPECT_EQ(first->cellView()->textField()->stringValue(), "a.txt");
    EXPECT_EQ(first->controller(), controller);
    EXPECT_EQ(first->cellView()->controller(), controller);

    // Another group reuses the popover and switches the model.
    auto other = std::make_shared<GroupModel>();
    other->setItems({Value(FileSystemNode::initWithPath(makeFile("z.txt")))});
    controller->showGrouViewForGroup(other, MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY);
    EXPECT_EQ(controller->model(), other);
    EXPECT_EQ(grid->numberOfItems(), 1u);
    controller->closePreview();
    EXPECT_FALSE(controller->isShow());
}

TEST_F(GroupPopover, SearchFiltersByNameIgnoringCaseAndAccents) {
    fill({"café.txt", "tea.txt", "Cafeteria menu.pdf"});
    show();
    QLineEdit* field = controller->searchField();
    field->setText("CAFE");
    EXPECT_EQ(arranged(), 2u);
    EXPECT_EQ(controller->collectionView()->numberOfItems(), 2u);
    field->setText("ETER");  // anywhere in the name
    EXPECT_EQ(arranged(), 1u);
    field->setText("txt");  // the name is the file name without its extension
    EXPECT_EQ(arranged(), 0u);
    field->setText("");
    EXPECT_EQ(arranged(), 3u);

    // Absurd searches: control characters and ten thousand characters find nothing,
    // quickly, and clearing brings everything back.
    field->setText(QString("\x01\x02\t\n") + QChar(0));
    EXPECT_EQ(arranged(), 0u);
    field->setText(QString(10000, QChar('a')));
    EXPECT_EQ(arranged(), 0u);
    field->clear();
    EXPECT_EQ(arranged(), 3u);
    // The size follows the group, not the search.
    EXPECT_EQ(controller->popover()->contentSize(), MakeSize(340, 156));
}

TEST_F(GroupPopover, ApplicationsAreFoundByTheirShownName) {
    // An application's file name is its desktop-file id; its shown name is the entry's.
    std::string entry = makeFile("org.example.Editor.desktop");
    std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Quill Writer\nExec=quill\n";
    auto node = FileSystemNode::initWithPath(entry);
    EXPECT_TRUE(SearchPredicate("quill").evaluateWithObject(Value(node)));
    EXPECT_TRUE(SearchPredicate("editor").evaluateWithObject(Value(node)));
    EXPECT_FALSE(SearchPredicate("desktop").evaluateWithObject(Value(node)));
    // A search never spans the two names.
    EXPECT_FALSE(SearchPredicate("editorquill").evaluateWithObject(Value(node)));
    EXPECT_FALSE(SearchPredicate("x").evaluateWithObject(Value()));
}

TEST_F(GroupPopover, ChangesOfTheGroupResizeTheShownPopover) {
    fillCount(2);
    show();
    EXPECT_EQ(controller->popover()->contentSize(), MakeSize(340, 156));
    for (int i = 0; i < 8; ++i) group->addObject(FileSystemNode::initWithPath(makeFile("more " + std::to_string(i))));
    EXPECT_EQ(controller->collectionView()->numberOfItems(), 10u);
    EXPECT_EQ(controller->popover()->contentSize(), MakeSize(940, 256));
    EXPECT_EQ(controller->view()->size(), QSize(940, 256));
    group->removeObject(group->items().front().object());
    EXPECT_EQ(controller->popover()->contentSize(), MakeSize(940, 156));

    // Many items: the grid scrolls inside the height cap, the scroll bar taking its room
    // from the margin so that the nine columns stay.
    for (int i = 0; i < 100; ++i) group->addObject(FileSystemNode::initWithPath(makeFile("many " + std::to_string(i))));
    EXPECT_EQ(controller->popover()->contentSize(), MakeSize(940, 956));
    QScrollArea* area = controller->scrollArea();
    EXPECT_EQ(controller->collectionView()->size(), QSize(900, 13 * 100));
    EXPECT_EQ(area->viewport()->width(), 900);
    EXPECT_GT(area->verticalScrollBar()->maximum(), 0);
}

TEST_F(GroupPopover, CellsOpenTheirItemAndSelect) {
    fill({"a.txt", "b.txt"});
    show();
    auto* second = controller->cellAtIndex(1);
    ASSERT_TRUE(second);
    const std::string path = second->cellView()->selectedFilePath();
    sim.desktop->clearRecords();
    sendPress(second->cellView(), QPoint(50, 50));
    // The press opens the item (clickAction: with itself) and the popover gets out of the way.
    EXPECT_EQ(simCalls("openURL file://" + path), 1u);
    EXPECT_FALSE(controller->isShow());
    EXPECT_TRUE(second->isSelected());
    QColor selected = second->cellView()->layerBackgroundColor();
    EXPECT_EQ(selected.rgb() & 0xffffff, 0u);
    EXPECT_FLOAT_EQ(float(selected.alphaF()), 0.2f);
    EXPECT_EQ(controller->arrayController()->selectionIndexes(), IndexSet{1});
    sendRelease(second->cellView(), QPoint(50, 50));  // the release does nothing
    EXPECT_EQ(simCalls("openURL"), 1u);

    // Deselected: clear again.
    controller->collectionView()->setSelectionIndexes({0});
    EXPECT_EQ(second->cellView()->layerBackgroundColor().alpha(), 0);
    EXPECT_EQ(controller->cellAtIndex(0)->cellView()->layerBackgroundColor().alphaF(), selected.alphaF());
}

TEST_F(GroupPopover, TheCellMenuListsItsEntriesAndActsOnItsOwnFile) {
    fill({"a.txt", "b.txt"});
    const std::string b = folder + "/b.txt";
    sim.desktop->setApplicationsForFile(b, "/apps/org.example.Viewer.desktop",
                                        std::vector<std::string>{"/apps/org.example.Viewer.desktop",
                                                                 "/apps/kde/org.example.Editor.desktop"});
    show();
    GroupCellView* view = controller->cellAtIndex(1)->cellView();
    MenuPtr menu = view->menuForEvent(Event::mouseEvent(NSEventTypeRightMouseDown, MakePoint(10, 10)));
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->title(), "menu");
    EXPECT_FALSE(menu->autoenablesItems());
    std::vector<std::string> titles;
    for (const auto& item : menu->items()) titles.push_back(item->isSeparatorItem() ? "-" : item->title());
    EXPECT_EQ(titles, (std::vector<std::string>{"Open", "-", "Remove", "-", "Open With", "-", "Get Info",
                                                "Show in Finder"}));
    EXPECT_EQ(menu->itemAtIndex(0)->target(), view);
    EXPECT_EQ(menu->itemAtIndex(0)->actionSelector(), "openFile:");

    // "Open With" lists the applications of this cell's own file.
    MenuPtr openWith = menu->itemWithTitle("Open With")->submenu();
    ASSERT_TRUE(openWith);
    ASSERT_GE(openWith->numberOfItems(), 3u);
    EXPECT_EQ(openWith->itemAtIndex(0)->toolTip(), "/apps/org.example.Viewer.desktop");
    sim.desktop->clearRecords();
    ASSERT_TRUE(openWith->itemAtIndex(0)->performAction());
    // The application by its id, the file's path untouched.
    EXPECT_EQ(simCalls("openFile " + b + " with org.example.Viewer"), 1u);
    EXPECT_EQ(applicationNameForOpenWithItem(*openWith->itemAtIndex(2)), "org.example.Editor");

    show();
    sim.desktop->clearRecords();
    menu->performActionForItemAtIndex(0);  // Open
    EXPECT_EQ(simCalls("openFile " + b), 1u);
    EXPECT_FALSE(controller->isShow());

    menu->itemWithTitle("Show in Finder")->performAction();
    menu->itemWithTitle("Get Info")->performAction();
    auto calls = sim.files->calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "showItems " + b), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "showItemProperties " + b), calls.end());

    // "Remove" takes the item out of the group (not off the disk) and saves.
    show();
    test::PostCounter saves("saveDocksData");
    menu->itemWithTitle("Remove")->performAction();
    EXPECT_EQ(group->items().size(), 1u);
    EXPECT_EQ(saves.count, 1);
    EXPECT_TRUE(std::filesystem::exists(b));
    EXPECT_EQ(controller->collectionView()->numberOfItems(), 1u);
    EXPECT_TRUE(controller->isShow());
}

TEST_F(GroupPopover, TheOpenPanelAddsInOrderAndLeavesThePopoverTransient) {
    fill({"a.txt"});
    show();
    test::PostCounter saves("saveDocksData");
    controller->addButton()->click();
    QFileDialog* panel = controller->openPanel();
    ASSERT_TRUE(panel);
    EXPECT_FALSE(panel->isModal());
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(controller->popover()->behavior(), NSPopoverBehaviorApplicationDefined);
    EXPECT_TRUE(controller->isShow());

    // Cancelled: nothing changes, the popover is transient again.
    panel->reject();
    EXPECT_EQ(controller->openPanel(), nullptr);
    EXPECT_EQ(group->items().size(), 1u);
    EXPECT_EQ(saves.count, 0);
    EXPECT_EQ(controller->popover()->behavior(), NSPopoverBehaviorTransient);

    // OK: one file item per chosen path, in the panel's order, a folder included; a link
    // is followed to what it points at; each is saved.
    std::string x = makeFile("x.txt"), y = makeFile("y.txt");
    std::string dir = folder + "/sub";
    std::filesystem::create_directories(dir);
    std::string link = folder + "/link";
    std::filesystem::create_symlink(x, link);
    controller->addItems();
    controller->addItemsPanelDidEnd(1, {y, dir, link, folder + "/a.txt"});
    ASSERT_EQ(group->items().size(), 4u);
    auto path = [&](size_t i) { return std::dynamic_pointer_cast<FileSystemNode>(group->items()[i].object())->path(); };
    EXPECT_EQ(path(1), y);
    EXPECT_EQ(path(2), dir);
    EXPECT_EQ(path(3), x);
    EXPECT_EQ(saves.count, 4);  // the member already there is saved too, as the group does
    EXPECT_EQ(controller->openPanel(), nullptr);
    EXPECT_EQ(controller->popover()->behavior(), NSPopoverBehaviorTransient);
    EXPECT_EQ(controller->popover()->contentSize(), MakeSize(440, 156));
}

TEST_F(GroupPopover, DroppedFilesJoinTheGroupAndAreSaved) {
    fill({"a.txt"});
    show();
    test::PostCounter saves("saveDocksData");
    QMimeData data;
    std::string weird = makeFile("line\nbreak.txt");
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(makeFile("b.txt"))),
                  QUrl("https://example.org/c.txt"), QUrl::fromLocalFile(QString::fromStdString(weird))});
    EXPECT_TRUE(GroupViewController::canAcceptDrop(&data));
    EXPECT_TRUE(controller->performDrop(&data));
    ASSERT_EQ(group->items().size(), 3u);
    EXPECT_EQ(std::dynamic_pointer_cast<FileSystemNode>(group->items()[2].object())->path(), weird);
    EXPECT_EQ(saves.count, 2);
    EXPECT_EQ(controller->collectionView()->numberOfItems(), 3u);

    QMimeData remote;
    remote.setUrls({QUrl("https://example.org/c.txt")});
    EXPECT_FALSE(GroupViewController::canAcceptDrop(&remote));
    EXPECT_FALSE(controller->performDrop(&remote));
    EXPECT_TRUE(env.logged("only files on this computer"));
    EXPECT_EQ(group->items().size(), 3u);
}

TEST_F(GroupPopover, OptionsGoToTheInspectorTheCellActionsGive) {
    show();
    controller->optionsButton()->click();
    EXPECT_TRUE(env.logged("the group inspector is not available"));
    std::shared_ptr<GroupModel> shown;
    controller->setGroupInspectorHandler([&](const std::shared_ptr<GroupModel>& g) { shown = g; });
    controller->optionsButton()->click();
    EXPECT_EQ(shown, group);
}

TEST_F(GroupPopover, KeyboardMovesTheSelectionAndOpens) {
    fillCount(12);  // 9 columns, 2 rows
    show();
    QLineEdit* field = controller->searchField();
    CollectionView* grid = controller->collectionView();
    key(field, Qt::Key_Down);
    EXPECT_EQ(grid->selectionIndexes(), IndexSet{0});
    EXPECT_TRUE(grid->hasFocus() || controller->view()->focusWidget() == grid);
    key(grid, Qt::Key_Right);
    key(grid, Qt::Key_Right);
    EXPECT_EQ(grid->selectionIndexes(), IndexSet{2});
    key(grid, Qt::Key_Down);
    EXPECT_EQ(grid->selectionIndexes(), IndexSet{11});  // the last one below
    key(grid, Qt::Key_Left);
    key(grid, Qt::Key_Up);
    EXPECT_EQ(grid->selectionIndexes(), IndexSet{1});
    key(grid, Qt::Key_Up);  // from the first row back to the search field
    EXPECT_EQ(controller->view()->focusWidget(), field);
    key(grid, Qt::Key_End);
    EXPECT_EQ(grid->selectionIndexes(), IndexSet{11});

    const std::string path = controller->cellAtIndex(11)->cellView()->selectedFilePath();
    sim.desktop->clearRecords();
    key(grid, Qt::Key_Return);
    EXPECT_EQ(simCalls("openURL file://" + path), 1u);
    EXPECT_FALSE(controller->isShow());

    // Return in the search field opens the first item the search left.
    show();
    grid->setSelectionIndexes({});
    field->setText("file7");
    EXPECT_EQ(arranged(), 1u);
    sim.desktop->clearRecords();
    key(field, Qt::Key_Return);
    EXPECT_EQ(simCalls("openURL file://" + folder + "/file7.txt"), 1u);
}

TEST_F(GroupPopover, ThePressThatClosesItDoesNotOpenItAgain) {
    fill({"a.txt"});
    show();
    QWidget* w = window();
    // A press outside the popover (on the group's dock cell) closes it; the same press,
    // handed on to the cell, asks for the popover again and is refused while it lasts.
    sendPress(w, QPoint(-40, w->height() + 20));
    EXPECT_FALSE(controller->isShow());
    show();
    EXPECT_FALSE(controller->isShow());
    // Another group asked for by that press does open.
    auto other = std::make_shared<GroupModel>();
    controller->showGrouViewForGroup(other, MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY);
    EXPECT_TRUE(controller->isShow());
    controller->closePreview();
    sendRelease(cell, QPoint(5, 5));
    // The next press opens it as usual.
    sendPress(cell, QPoint(5, 5));
    show();
    EXPECT_TRUE(controller->isShow());
    sendRelease(cell, QPoint(5, 5));

    // Escape closes it without any press: a later show opens it at once.
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window(), &esc);
    EXPECT_FALSE(controller->isShow());
    show();
    EXPECT_TRUE(controller->isShow());
    controller->closePreview();
}

TEST_F(GroupPopover, CopyMakesAFreshController) {
    fill({"a.txt"});
    show();
    auto copy = controller->copyWithZone();
    ASSERT_TRUE(copy);
    EXPECT_NE(copy, controller);
    EXPECT_EQ(copy->model(), nullptr);
    EXPECT_FALSE(copy->isShow());
    EXPECT_EQ(copy->popover()->behavior(), NSPopoverBehaviorTransient);
    // A cell's copy takes over its controller and nothing else.
    auto cellCopy = std::dynamic_pointer_cast<GroupViewCell>(controller->cellAtIndex(0)->copy());
    ASSERT_TRUE(cellCopy);
    EXPECT_EQ(cellCopy->controller(), controller);
    EXPECT_TRUE(cellCopy->representedObject().isNil());
    EXPECT_FALSE(cellCopy->isViewLoaded());
}

}  // namespace
}  // namespace qs
