// The folder popover: its size rule and search field, the search, the downloads folder
// newest first, a grid that makes only the cells in sight, following the folder while
// shown (a new file, the folder removed), bad folders and names, opening, the cell menu,
// dragging a file out, the folder itself in the file manager, and the keyboard.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <QDrag>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QToolButton>

#include "support/CpuStopwatch.h"
#include "core/FileSystemNode.h"
#include "dock_ui/FlowCollectionView.h"
#include "dock_ui/IconTestSupport.h"
#include "dock_ui/FolderItemCell.h"
#include "dock_ui/FolderViewController.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ImageView.h"
#include "PopoverTestSupport.h"

namespace qs {
namespace {

class FolderPopover : public test::PopoverTestBase {
protected:
    void SetUp() override {
        PopoverTestBase::SetUp();
        controller = FolderViewController::init();
    }
    void TearDown() override {
        controller.reset();
        PopoverTestBase::TearDown();
    }
    // A folder of n files "file0.txt" ... listed as the dock lists it.
    FileSystemNodePtr folderOf(size_t n, const std::string& name = "box") {
        std::string dir = env.root() + "/" + name;
        std::filesystem::create_directories(dir);
        for (size_t i = 0; i < n; ++i) makeFile("file" + std::to_string(i) + ".txt", dir);
        auto node = FileSystemNode::initWithPath(dir);
        node->populateChildrenArray();
        return node;
    }
    void show(const FileSystemNodePtr& node) {
        controller->showFolderViewForFolder(node, MakeRect(0, 0, 52, 52), cell, NSRectEdgeMinY);
    }
    // Background listings done and their results delivered.
    void settle() {
        env.loop().runPending();
        env.loop().waitForBackground();
        env.loop().runPending();
    }
    FolderItemCell* cellAt(size_t index) const {
        return dynamic_cast<FolderItemCell*>(controller->collectionView()->itemAtIndex(index));
    }
    std::string nameAt(size_t index) const {
        auto node = std::dynamic_pointer_cast<FileSystemNode>(controller->itemsArray().at(index).object());
        return node ? node->displayName() : "";
    }

    std::shared_ptr<FolderViewController> controller;
};

TEST_F(FolderPopover, ContentSizeAndSearchFieldFollowTheRule) {
    struct Case {
        size_t n;
        Size size;
        bool search;
    } cases[] = {
        {0, {226, 178}, false},
        {5, {626, 178}, false},
        {10, {926, 278}, true},   // 8 columns, 2 rows
        {60, {926, 678}, true},   // 8 rows, capped at 600
    };
    for (const Case& c : cases) {
        auto node = folderOf(c.n, "sizes" + std::to_string(c.n));
        show(node);
        EXPECT_EQ(controller->popover()->contentSize(), c.size) << c.n << " children";
        EXPECT_EQ(controller->view()->size(), QSize(int(c.size.width), int(c.size.height)));
        EXPECT_EQ(controller->searchField()->isVisible(), c.search) << c.n;
        EXPECT_EQ(controller->searchField()->isEnabled(), c.search) << c.n;
        EXPECT_EQ(controller->collectionView()->numberOfItems(), c.n);
    }
    FlowCollectionView* grid = controller->collectionView();
    EXPECT_EQ(grid->collectionViewLayout().itemSize, MakeSize(100, 100));
    EXPECT_EQ(grid->collectionViewLayout().sectionInset, (EdgeInsets{10, 20, 10, 20}));
    EXPECT_EQ(grid->collectionViewLayout().minimumInteritemSpacing, 10);
    EXPECT_EQ(grid->collectionViewLayout().minimumLineSpacing, 10);
    EXPECT_EQ(grid->minItemSize(), MakeSize(100, 100));
    EXPECT_EQ(grid->maxItemSize(), MakeSize(100, 100));

    // A cell wider than the grid may be: one column, no division by zero.
    UserDefaults::standardUserDefaults().setInteger(1000, "cellHeight");
    Size s = controller->calculateContentSize();
    EXPECT_EQ(s, MakeSize(800 + 126, 600 + 78));
}

TEST_F(FolderPopover, ShowsTransientWithItsCellsAndFocus) {
    auto node = folderOf(10);
    show(node);
    ASSERT_TRUE(controller->isFolderViesShow());
    Popover* p = controller->popover();
    EXPECT_EQ(p->behavior(), NSPopoverBehaviorTransient);
    EXPECT_FALSE(p->animates());
    EXPECT_EQ(p->window()->windowType(), Qt::Popup);
    EXPECT_EQ(controller->view()->focusWidget(), controller->searchField());
    EXPECT_EQ(controller->model(), node);
    EXPECT_EQ(controller->predicateTemplate(), "(name contains[cd] $searchString)");
    // In the folder's order (numbers by value); the first row of eight cells.
    EXPECT_EQ(nameAt(0), "file0.txt");
    EXPECT_EQ(nameAt(2), "file2.txt");
    EXPECT_EQ(nameAt(9), "file9.txt");
    FlowCollectionView* grid = controller->collectionView();
    EXPECT_EQ(grid->numberOfColumns(), 8u);
    FolderItemCell* second = cellAt(1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->cellView()->textField()->stringValue(), "file1.txt");
    EXPECT_EQ(second->view()->size(), QSize(100, 100));
    EXPECT_EQ(second->cellView()->selectedFilePath(), node->path() + "/file1.txt");
    EXPECT_EQ(second->controller(), controller);

    // Icons come a moment later, without holding up the first frame.
    EXPECT_FALSE(second->cellView()->iconLoaded());
    env.loop().runPending();
    test::settleIcons(env.loop());
    EXPECT_TRUE(second->cellView()->iconLoaded());
    EXPECT_TRUE(second->cellView()->imageView()->image());

    // The data source answers nothing for a null path.
    EXPECT_EQ(controller->collectionViewItemForRepresentedObjectAtIndexPath(*grid, nullptr), nullptr);
    EXPECT_EQ(controller->collectionViewNumberOfItemsInSection(*grid, 0), 10u);
}

TEST_F(FolderPopover, SearchNarrowsTheGridAndKeepsTheSize) {
    auto node = folderOf(10);
    makeFile("Résumé.pdf", node->path());
    node->populateChildrenArray();
    show(node);
    const Size size = controller->popover()->contentSize();
    controller->searchField()->setText("RESUME");
    EXPECT_EQ(controller->itemsArray().size(), 1u);
    EXPECT_EQ(controller->collectionView()->numberOfItems(), 1u);
    EXPECT_EQ(nameAt(0), "Résumé.pdf");
    // The rule counts all children: same size, the search field still there.
    EXPECT_EQ(controller->popover()->contentSize(), size);
    EXPECT_TRUE(controller->searchField()->isVisible());
    controller->searchField()->setText("file1");
    EXPECT_EQ(controller->itemsArray().size(), 1u);
    controller->searchField()->clear();
    EXPECT_EQ(controller->itemsArray().size(), 11u);

    // Absurd searches find nothing and stay quick.
    test::CpuStopwatch t;  // CPU time: a loaded machine's waits do not count
    controller->searchField()->setText(QString(10000, QChar('z')));
    controller->searchField()->setText(QString::fromUtf8("\x01\x02\x1b\n\t"));
    EXPECT_EQ(controller->itemsArray().size(), 0u);
    EXPECT_LT(t.elapsedMs(), 500);

    // Shown again for another folder: the search starts empty.
    auto other = folderOf(3, "other");
    controller->searchField()->setText("file");
    show(other);
    EXPECT_TRUE(controller->searchField()->text().isEmpty());
    EXPECT_EQ(controller->itemsArray().size(), 3u);
}

TEST_F(FolderPopover, TheDownloadsFolderListsTheNewestFirst) {
    // The user's download folder, under another name (as in another language).
    std::string downloads = env.root() + "/Téléchargements";
    std::filesystem::create_directories(downloads);
    std::ofstream(env.configHome() + "/user-dirs.dirs") << "XDG_DOWNLOAD_DIR=\"" << downloads << "\"\n";
    for (const char* name : {"b.txt", "c.txt", "a.txt"}) {
        makeFile(name, downloads);
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    auto node = FileSystemNode::initWithPath(downloads);
    node->populateChildrenArray();
    ASSERT_TRUE(FolderViewController::isDownloadsFolder(*node));
    show(node);
    EXPECT_EQ(nameAt(0), "a.txt");
    EXPECT_EQ(nameAt(1), "c.txt");
    EXPECT_EQ(nameAt(2), "b.txt");
    // The folder's own list keeps its order.
    auto first = std::dynamic_pointer_cast<FileSystemNode>(node->childrenArray().front().object());
    EXPECT_EQ(first->displayName(), "a.txt");
    EXPECT_EQ(std::dynamic_pointer_cast<FileSystemNode>(node->childrenArray().back().object())->displayName(), "c.txt");

    // A folder named "Downloads" elsewhere too; any other folder keeps its order.
    auto named = folderOf(0, "Downloads");
    EXPECT_TRUE(FolderViewController::isDownloadsFolder(*named));
    EXPECT_FALSE(FolderViewController::isDownloadsFolder(*folderOf(0, "Documents")));
}

TEST_F(FolderPopover, OnlyTheCellsInSightAreMadeAndTheyAreReused) {
    auto node = folderOf(2000, "many");
    show(node);
    FlowCollectionView* grid = controller->collectionView();
    EXPECT_EQ(grid->numberOfItems(), 2000u);
    EXPECT_LE(grid->visibleItemCount(), 8u * 7u);
    const size_t made = grid->itemsMade();
    EXPECT_LE(made, 8u * 7u);
    // Scrolled to the end: the last file is in sight, made from cells that left.
    QScrollBar* bar = grid->verticalScrollBar();
    bar->setValue(bar->maximum());
    ASSERT_TRUE(cellAt(1999));
    EXPECT_EQ(cellAt(1999)->cellView()->textField()->stringValue(), "file1999.txt");
    EXPECT_EQ(cellAt(0), nullptr);
    EXPECT_LE(grid->itemsMade(), made + 16);
    const Rect last = grid->frameForItemAtIndex(1999);
    EXPECT_EQ(cellAt(1999)->view()->geometry().top(), int(last.origin.y) - bar->value());
    EXPECT_LE(cellAt(1999)->view()->geometry().bottom(), grid->viewport()->height());
}

TEST_F(FolderPopover, AHundredThousandEntriesOpenAtOnceAndSearchQuickly) {
    // The listing as the folder item would publish it (the files themselves are not
    // needed: nothing is read from the disk for a cell that is not in sight).
    std::string dir = env.root() + "/huge";
    std::filesystem::create_directories(dir);
    Array children;
    children.reserve(100000);
    for (int i = 0; i < 100000; ++i)
        children.push_back(Value(FileSystemNode::initWithURL(URL::fileURLWithPath(dir + "/entry" + std::to_string(i)))));
    auto node = FileSystemNode::initWithPath(dir);
    node->setChildrenArray(children);
    test::CpuStopwatch t;  // CPU time: a loaded machine's waits do not count
    show(node);
    controller->view()->window()->grab();  // laid out and painted
    EXPECT_LT(t.elapsedMs(), 3000);  // a generous bound: a loaded machine, no hang
    FlowCollectionView* grid = controller->collectionView();
    EXPECT_EQ(grid->numberOfItems(), 100000u);
    EXPECT_LE(grid->itemsMade(), 8u * 7u);
    EXPECT_EQ(controller->popover()->contentSize(), MakeSize(926, 678));

    t.restart();
    controller->searchField()->setText("entry99999");
    controller->searchField()->setText("ENTRY9999");
    EXPECT_EQ(controller->itemsArray().size(), 11u);  // entry9999, entry99990 ... entry99999
    EXPECT_LT(t.elapsedMs(), 5000);
    controller->searchField()->clear();
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    EXPECT_TRUE(grid->itemAtIndex(99999));
    EXPECT_LE(grid->itemsMade(), 8u * 7u + 16);
}

TEST_F(FolderPopover, FollowsTheFolderWhileShown) {
    auto node = folderOf(3, "live");
    node->watchChanges();
    show(node);
    FlowCollectionView* grid = controller->collectionView();
    ASSERT_EQ(grid->numberOfItems(), 3u);
    key(grid, Qt::Key_Right);  // selects the first
    key(grid, Qt::Key_Right);
    ASSERT_EQ(grid->selectedIndex(), std::optional<size_t>(1));

    // A new file: the watch relists the folder, the grid follows and keeps the selection.
    std::string added = makeFile("file00.txt", node->path());
    sim.files->deliverEvents({{added, desktop::FileEventItemCreated}});
    settle();
    EXPECT_EQ(grid->numberOfItems(), 4u);
    EXPECT_EQ(nameAt(grid->selectedIndex().value()), "file1.txt");

    // The folder removed while shown: an empty popover, a line in the log, no crash.
    std::filesystem::remove_all(node->path());
    sim.files->deliverEvents({{node->path(), desktop::FileEventRootChanged}});
    settle();
    EXPECT_TRUE(controller->isFolderViesShow());
    EXPECT_EQ(grid->numberOfItems(), 0u);
    EXPECT_EQ(controller->popover()->contentSize(), MakeSize(226, 178));
    EXPECT_TRUE(env.logged("cannot list the folder"));
}

TEST_F(FolderPopover, AFolderNobodyListedIsListedOffTheMainThread) {
    std::string dir = env.root() + "/fresh";
    for (int i = 0; i < 4; ++i) makeFile("f" + std::to_string(i), dir);
    auto node = FileSystemNode::initWithPath(dir);
    show(node);
    EXPECT_TRUE(controller->isFolderViesShow());
    EXPECT_EQ(controller->collectionView()->numberOfItems(), 0u);
    settle();
    EXPECT_EQ(controller->collectionView()->numberOfItems(), 4u);
    EXPECT_EQ(controller->popover()->contentSize(), MakeSize(526, 178));
    EXPECT_TRUE(node->isWatching());
}

TEST_F(FolderPopover, BadFoldersAndNamesAreShownSafely) {
    // Not a folder at all (as unreadable as it gets, even for root): empty, logged.
    std::string notAFolder = makeFile("plain");
    auto bad = FileSystemNode::initWithURL(URL::fileURLWithPath(notAFolder, true));
    bad->populateChildrenArray();
    show(bad);
    EXPECT_EQ(controller->popover()->contentSize(), MakeSize(226, 178));
    settle();
    EXPECT_TRUE(env.logged("cannot list the folder"));
    if (::geteuid() != 0) {
        std::string locked = env.root() + "/locked";
        std::filesystem::create_directories(locked);
        makeFile("secret", locked);
        ::chmod(locked.c_str(), 0);
        auto node = FileSystemNode::initWithPath(locked);
        node->populateChildrenArray();
        show(node);
        EXPECT_EQ(controller->collectionView()->numberOfItems(), 0u);
        ::chmod(locked.c_str(), 0755);
    }

    // A thousand-character name and one with line breaks: at most two lines, no breaks.
    std::string dir = env.root() + "/names";
    std::string longName(250, 'x');  // as long as a file name gets on most file systems
    makeFile(longName, dir);
    makeFile("two\nlines\rand\ttabs", dir);
    auto node = FileSystemNode::initWithPath(dir);
    node->populateChildrenArray();
    show(node);
    env.loop().runPending();
    for (size_t i = 0; i < 2; ++i) {
        CellTextField* field = cellAt(i)->cellView()->textField();
        QStringList lines = field->visibleLines();
        EXPECT_LE(lines.size(), 2) << i;
        for (const QString& line : lines) EXPECT_FALSE(line.contains('\n') || line.contains('\r'));
        EXPECT_FALSE(field->shownText().contains('\n'));
    }
    settle();
    CellTextField field;
    field.resize(88, 40);
    field.setStringValue(QString(1000, QChar('y')) + "\nend");
    EXPECT_LE(field.shownText().size(), CellTextField::kMaxShownCharacters);
    EXPECT_EQ(field.visibleLines().size(), 2);
    EXPECT_TRUE(field.visibleLines().back().endsWith(QChar(0x2026)));
}

TEST_F(FolderPopover, AClickOpensTheFileAndTheMenuActsOnIt) {
    auto node = folderOf(3);
    show(node);
    FolderItemCell* c = cellAt(2);
    ASSERT_TRUE(c);
    const std::string path = c->cellView()->selectedFilePath();
    sim.desktop->clearRecords();
    sendPress(c->view(), QPoint(50, 50));
    EXPECT_TRUE(c->isSelected());
    EXPECT_FLOAT_EQ(float(c->cellView()->layerBackgroundColor().alphaF()), 0.2f);
    EXPECT_EQ(simCalls("openURL"), 0u);  // a press may still become a drag
    sendRelease(c->view(), QPoint(50, 50));
    EXPECT_EQ(simCalls("openURL file://" + path), 1u);
    EXPECT_FALSE(controller->isFolderViesShow());

    show(node);
    MenuPtr menu = cellAt(0)->cellView()->menuForEvent(Event::mouseEvent(NSEventTypeRightMouseDown, MakePoint(5, 5)));
    std::vector<std::string> titles;
    for (const auto& item : menu->items()) titles.push_back(item->isSeparatorItem() ? "-" : item->title());
    EXPECT_EQ(titles, (std::vector<std::string>{"Open", "Open With", "-", "Get Info", "Show in Finder"}));
    EXPECT_EQ(menu->title(), "menu");
    EXPECT_FALSE(menu->autoenablesItems());
    ASSERT_TRUE(menu->itemWithTitle("Open With")->submenu());
    sim.desktop->clearRecords();
    menu->itemWithTitle("Open")->performAction();
    EXPECT_EQ(simCalls("openFile " + node->path() + "/file0.txt"), 1u);
}

TEST_F(FolderPopover, DraggingACellCarriesTheFileOut) {
    auto node = folderOf(2);
    std::string odd = makeFile("odd name\n%.txt", node->path());
    node->populateChildrenArray();
    show(node);
    QByteArray carried;
    bool shownDuringDrag = true;
    controller->setDragPerformer([&](QDrag& drag) {
        carried = drag.mimeData()->data("text/uri-list");
        shownDuringDrag = controller->isFolderViesShow();
    });
    FolderItemCell* c = cellAt(2);
    ASSERT_TRUE(c);
    ASSERT_EQ(c->cellView()->selectedFilePath(), odd);
    sim.desktop->clearRecords();
    sendPress(c->view(), QPoint(20, 20));
    sendMove(c->view(), QPoint(21, 21));  // not far enough
    EXPECT_TRUE(carried.isEmpty());
    sendMove(c->view(), QPoint(60, 70));
    EXPECT_EQ(carried, QByteArray("file://") + QByteArray::fromStdString(node->path()) + "/odd%20name%0A%25.txt\r\n");
    EXPECT_FALSE(shownDuringDrag);  // out of the way of the drop target
    sendRelease(c->view(), QPoint(60, 70));
    EXPECT_EQ(simCalls("openURL"), 0u);  // a drag opens nothing

    // Several files, one URI a line.
    std::unique_ptr<QMimeData> data(FolderViewController::mimeDataForNodes(
        {FileSystemNode::initWithPath("/a b"), nullptr, FileSystemNode::initWithPath("/c")}));
    EXPECT_EQ(data->data("text/uri-list"), QByteArray("file:///a%20b\r\nfile:///c\r\n"));
    EXPECT_EQ(data->urls().size(), 2);
}

TEST_F(FolderPopover, TheButtonOpensTheFolderItself) {
    auto node = folderOf(1);
    show(node);
    sim.desktop->clearRecords();
    controller->openInFinderButton()->click();
    EXPECT_EQ(simCalls("openFile " + node->path()), 1u);
    EXPECT_FALSE(controller->isFolderViesShow());
}

TEST_F(FolderPopover, KeyboardMovesTheSelectionAndOpens) {
    auto node = folderOf(20);
    show(node);
    QLineEdit* field = controller->searchField();
    FlowCollectionView* grid = controller->collectionView();
    key(field, Qt::Key_Down);
    EXPECT_EQ(grid->selectedIndex(), std::optional<size_t>(0));
    key(grid, Qt::Key_Down);
    EXPECT_EQ(grid->selectedIndex(), std::optional<size_t>(8));
    key(grid, Qt::Key_Right);
    EXPECT_EQ(grid->selectedIndex(), std::optional<size_t>(9));
    key(grid, Qt::Key_End);
    EXPECT_EQ(grid->selectedIndex(), std::optional<size_t>(19));
    key(grid, Qt::Key_Home);
    key(grid, Qt::Key_Up);  // from the first row back to the search field
    EXPECT_EQ(controller->view()->focusWidget(), field);

    key(grid, Qt::Key_End);
    const std::string path = node->path() + "/" + nameAt(19);
    sim.desktop->clearRecords();
    key(grid, Qt::Key_Return);
    EXPECT_EQ(simCalls("openURL file://" + path), 1u);
    EXPECT_FALSE(controller->isFolderViesShow());

    // Return in the search field opens the first file the search left.
    show(node);
    field->setText("file17");
    sim.desktop->clearRecords();
    key(field, Qt::Key_Return);
    EXPECT_EQ(simCalls("openURL file://" + node->path() + "/file17.txt"), 1u);
}

TEST_F(FolderPopover, ShowingTheSameFolderAgainKeepsItOpen) {
    // The dock shows the popover on the press and again on the release of one click.
    auto node = folderOf(12);
    show(node);
    controller->searchField()->setText("file1");
    show(node);
    EXPECT_TRUE(controller->isFolderViesShow());
    EXPECT_EQ(controller->searchField()->text(), "file1");
    EXPECT_EQ(controller->itemsArray().size(), 3u);  // file1, file10, file11
}

}  // namespace
}  // namespace qs
