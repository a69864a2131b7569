#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "core/FileSystemNode.h"
#include "platform/foundation/IndexSetCoding.h"
#include "preferences/PreferencesTestSupport.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

class StartMenuEditorTest : public PreferencesTest {
protected:
    StartMenuEditorTest() {
        menu = MenuModel::init();
        while (!menu->modelContent().empty()) menu->removeItemFromModelContentAtIndex(0);
        for (const char* n : {"1", "2", "3", "4", "5"}) menu->addItemToModelContent(node(n));
        editor = StartMenuPreferences::init();
        editor->setModel(menu);
        editor->showWindow();
    }
    FileSystemNodePtr node(const std::string& name) { return FileSystemNode::initWithPath(file(name)); }
    std::string file(const std::string& name) {
        fs::path path = fs::path(env.root()) / "files" / name;
        fs::create_directories(path.parent_path());
        if (!fs::exists(path)) std::ofstream(path) << name;
        return path.string();
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const auto& n : menu->modelContent()) out.push_back(n->displayName());
        return out;
    }
    // Drags the rows and drops them above `row`.
    bool move(IndexSet rows, int row) {
        QMimeData data;
        EXPECT_TRUE(editor->tableViewWriteRowsWithIndexes(rows, &data));
        EXPECT_EQ(data.formats(), QStringList{kAppListTableViewDataType});
        int target = -1;
        EXPECT_EQ(editor->tableViewValidateDrop(&data, true, row, &target), NSDragOperationMove);
        EXPECT_EQ(target, row);
        return editor->tableViewAcceptDrop(&data, target);
    }
    std::shared_ptr<MenuModel> menu;
    std::shared_ptr<StartMenuPreferences> editor;
};

using Names = std::vector<std::string>;

TEST_F(StartMenuEditorTest, RowsMoveAboveTheRowTheyAreDroppedOn) {
    EXPECT_EQ(editor->tableView()->model()->rowCount(), 5);
    PostCounter saves("saveDocksData");
    EXPECT_TRUE(move({0}, 3));
    EXPECT_EQ(names(), (Names{"2", "3", "1", "4", "5"}));
    EXPECT_EQ(saves.count, 2);  // taken out, put back
    EXPECT_TRUE(move({4}, 0));
    EXPECT_EQ(names(), (Names{"5", "2", "3", "1", "4"}));
    EXPECT_EQ(editor->tableView()->model()->data(editor->tableView()->model()->index(0, 0)).toString(), "5");
}

TEST_F(StartMenuEditorTest, RowsOnBothSidesOfTheDropKeepEveryEntry) {
    EXPECT_TRUE(move({0, 4}, 1));
    EXPECT_EQ(names(), (Names{"1", "5", "2", "3", "4"}));
    EXPECT_TRUE(move({1, 3}, 3));
    EXPECT_EQ(names(), (Names{"1", "2", "5", "3", "4"}));
    EXPECT_TRUE(move({0, 1, 2, 3, 4}, 5));
    EXPECT_EQ(names(), (Names{"1", "2", "5", "3", "4"}));
}

TEST_F(StartMenuEditorTest, FilesDroppedFromOutsideGoAboveTheRowInReverse) {
    for (int i = 2; i >= 0; --i) menu->removeItemFromModelContentAtIndex(i + 2);
    ASSERT_EQ(names(), (Names{"1", "2"}));
    menu->inserItemToModelContent(node("x"), 0);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file("a"))),
                  QUrl::fromLocalFile(QString::fromStdString(file("b"))), QUrl("https://example.org/page")});
    int target = -1;
    EXPECT_EQ(editor->tableViewValidateDrop(&data, false, 1, &target), NSDragOperationEvery);
    EXPECT_TRUE(editor->tableViewAcceptDrop(&data, 1));
    EXPECT_EQ(names(), (Names{"x", "b", "a", "1", "2"}));

    // A file already listed is added again by a drop.
    QMimeData again;
    again.setUrls({QUrl::fromLocalFile(QString::fromStdString(file("x")))});
    EXPECT_TRUE(editor->tableViewAcceptDrop(&again, 5));
    EXPECT_EQ(names(), (Names{"x", "b", "a", "1", "2", "x"}));

    // Moving one of the two copies moves that one only.
    auto first = menu->modelContent()[0];
    auto second = menu->modelContent()[5];
    EXPECT_TRUE(move({5}, 1));
    EXPECT_EQ(names(), (Names{"x", "x", "b", "a", "1", "2"}));
    EXPECT_EQ(menu->modelContent()[0], first);
    EXPECT_EQ(menu->modelContent()[1], second);
}

TEST_F(StartMenuEditorTest, ADropOnTheTableIsACopyFromOutsideAndAMoveFromItself) {
    auto* table = editor->tableView();
    table->resize(400, 300);
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(QString::fromStdString(file("dropped")))});
    QPoint bottom(10, table->viewport()->height() - 2);  // below the last row
    QDragEnterEvent enter(bottom, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(bottom, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    EXPECT_EQ(names().back(), "dropped");
    delete data;

    QMimeData nothing;
    nothing.setText("plain text");
    EXPECT_FALSE(editor->tableViewAcceptDrop(&nothing, 0));
}

TEST_F(StartMenuEditorTest, MalformedRowDragsChangeNothing) {
    QMimeData garbage;
    garbage.setData(kAppListTableViewDataType, QByteArray("not an archive"));
    EXPECT_FALSE(editor->tableViewAcceptDrop(&garbage, 0));
    EXPECT_TRUE(env.logged("no readable rows"));

    QMimeData outside;
    Data archive = archivedIndexSet({7, 9});
    outside.setData(kAppListTableViewDataType, QByteArray(reinterpret_cast<const char*>(archive.data()), int(archive.size())));
    EXPECT_FALSE(editor->tableViewAcceptDrop(&outside, 0));
    EXPECT_EQ(names(), (Names{"1", "2", "3", "4", "5"}));
}

TEST_F(StartMenuEditorTest, AddingThroughThePanelSkipsEntriesAlreadyThere) {
    std::vector<std::string> chosen = {file("3"), file("new")};
    QWidget* sheetOn = nullptr;
    OpenPanel::setRunnerForTesting([&](OpenPanel& panel, QWidget* sheet) {
        sheetOn = sheet;
        EXPECT_TRUE(panel.canChooseFiles);
        EXPECT_TRUE(panel.canChooseDirectories);
        EXPECT_TRUE(panel.allowsMultipleSelection);
        EXPECT_TRUE(panel.resolvesAliases);
        panel.finish(OpenPanel::NSModalResponseOK, chosen);
    });
    PostCounter saves("saveDocksData");
    child<QPushButton>(editor->window(), "addButton")->click();
    EXPECT_EQ(sheetOn, editor->window());
    EXPECT_EQ(names(), (Names{"1", "2", "3", "4", "5", "new"}));
    EXPECT_EQ(saves.count, 2);  // one per chosen file, added or not
}

TEST_F(StartMenuEditorTest, RemovingTakesTheSelectedEntryOrNothing) {
    PostCounter saves("saveDocksData");
    editor->removeItem();
    EXPECT_EQ(saves.count, 0);
    EXPECT_EQ(names().size(), 5u);

    menu->addItemToModelContent(node("1"));  // already there: unchanged
    QMimeData copy;
    copy.setUrls({QUrl::fromLocalFile(QString::fromStdString(file("1")))});
    editor->tableViewAcceptDrop(&copy, 5);  // a second "1" at the end
    ASSERT_EQ(names(), (Names{"1", "2", "3", "4", "5", "1"}));
    editor->tableView()->selectRow(5);
    child<QPushButton>(editor->window(), "removeButton")->click();
    EXPECT_EQ(names(), (Names{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(menu->modelContent().front()->displayName(), "1");
}

TEST_F(StartMenuEditorTest, AClosedEditorRestsAndCatchesUp) {
    size_t observing = menu->observationCount();
    editor->window()->close();
    EXPECT_LT(menu->observationCount(), observing);
    menu->addItemToModelContent(node("late"));
    EXPECT_EQ(editor->tableView()->model()->rowCount(), 5);
    editor->showWindow();
    EXPECT_EQ(editor->tableView()->model()->rowCount(), 6);
}

TEST_F(StartMenuEditorTest, TheSharedEditorIsMadeOnceAndTakesTheModel) {
    StartMenuPreferences::showEditor(menu);
    auto shared = StartMenuPreferences::sharedEditor();
    StartMenuPreferences::showEditor(menu);
    EXPECT_EQ(StartMenuPreferences::sharedEditor(), shared);
    EXPECT_EQ(shared->model(), menu);
    EXPECT_TRUE(shared->window()->isVisible());
    EXPECT_EQ(shared->window()->windowTitle(), "Start Menu");
}

}  // namespace
}  // namespace qs::test
