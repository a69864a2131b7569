#include <QPushButton>
#include <QTableView>
#include <filesystem>
#include <fstream>

#include "core/BlacklistItem.h"
#include "core/DockModel.h"
#include "core/FileSystemNode.h"
#include "platform/ui/BindingTableModel.h"
#include "preferences/BlacklistViewController.h"
#include "preferences/PreferencesTestSupport.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

class BlacklistPaneTest : public PreferencesTest {
protected:
    BlacklistPaneTest() {
        pane = BlacklistViewController::create();
        pane->setModel(manager->mainModel());
        view = pane->view();
        pane->viewWillAppear();
    }
    std::string entry(const std::string& id, const std::string& name) {
        fs::path path = fs::path(env.root()) / "apps" / (id + ".desktop");
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=" << id << "\n";
        return path.string();
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const Value& v : manager->mainModel()->blackList()) out.push_back(v.objectAs<BlacklistItem>()->localizedName());
        return out;
    }
    int rows() { return pane->tableView()->model()->rowCount(); }
    std::shared_ptr<BlacklistViewController> pane;
    QWidget* view = nullptr;
};

TEST_F(BlacklistPaneTest, AddingSeveralApplicationsKeepsTheirOrderAndCancelAddsNone) {
    std::vector<std::string> chosen = {entry("alpha", "Alpha"), entry("beta", "Beta"), entry("gamma", "Gamma")};
    int panels = 0;
    OpenPanel* last = nullptr;
    OpenPanel::setRunnerForTesting([&](OpenPanel& panel, QWidget* sheet) {
        ++panels;
        last = &panel;
        EXPECT_EQ(sheet, nullptr);  // not a sheet
        EXPECT_TRUE(panel.canChooseFiles);
        EXPECT_FALSE(panel.canChooseDirectories);
        EXPECT_TRUE(panel.allowsMultipleSelection);
        EXPECT_FALSE(panel.canCreateDirectories);
        panel.finish(panels == 1 ? OpenPanel::NSModalResponseOK : OpenPanel::NSModalResponseCancel, chosen);
    });
    child<QPushButton>(view, "addButton")->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(rows(), 3);
    auto* table = static_cast<BindingTableModel*>(pane->tableView()->model());
    EXPECT_EQ(table->data(table->index(1, 0)).toString(), "Beta");
    EXPECT_EQ(table->data(table->index(1, 1)).toString().toStdString(), chosen[1]);

    pane->addApplication();
    EXPECT_EQ(panels, 2);
    EXPECT_EQ(names().size(), 3u);
}

TEST_F(BlacklistPaneTest, AddStartsInTheFirstApplicationsFolderThatExists) {
    const fs::path user = fs::path(env.root()) / "data-home";
    const fs::path system1 = fs::path(env.root()) / "sys1", system2 = fs::path(env.root()) / "sys2";
    test::ScopedEnv dataHome("XDG_DATA_HOME", user.string());
    test::ScopedEnv dataDirs("XDG_DATA_DIRS", system1.string() + ":" + system2.string());
    std::vector<std::string> started;
    OpenPanel::setRunnerForTesting([&](OpenPanel& panel, QWidget*) {
        started.push_back(panel.directoryURL);
        panel.finish(OpenPanel::NSModalResponseCancel, {});
    });
    fs::create_directories(system2 / "applications");
    pane->addApplication();  // no user folder, the first system one missing: the second
    fs::create_directories(system1 / "applications");
    pane->addApplication();
    fs::create_directories(user / "applications");
    pane->addApplication();  // the user's own, once it exists
    EXPECT_EQ(started, (std::vector<std::string>{(system2 / "applications").string(), (system1 / "applications").string(),
                                                 (user / "applications").string()}));
}

TEST_F(BlacklistPaneTest, RemoveTakesTheFirstSelectedOnly) {
    auto model = manager->mainModel();
    for (const char* n : {"one", "two", "three", "four"})
        model->addToBlackListNode(FileSystemNode::initWithPath(entry(n, n)));
    ASSERT_EQ(rows(), 4);
    pane->removeItem();  // nothing selected
    EXPECT_EQ(names().size(), 4u);

    pane->tableView()->selectionModel()->select(pane->tableView()->model()->index(1, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    pane->tableView()->selectionModel()->select(pane->tableView()->model()->index(3, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(pane->arrayController()->selectionIndexes(), (IndexSet{1, 3}));
    child<QPushButton>(view, "removeButton")->click();
    EXPECT_EQ(names(), (std::vector<std::string>{"one", "three", "four"}));
    EXPECT_EQ(rows(), 3);
}

TEST_F(BlacklistPaneTest, TheTableFollowsTheBlockListAndRestsWhileClosed) {
    auto model = manager->mainModel();
    model->addToBlackListNode(FileSystemNode::initWithPath(entry("x", "X")));
    EXPECT_EQ(rows(), 1);
    pane->viewDidDisappear();
    size_t observing = model->observationCount();
    model->addToBlackListNode(FileSystemNode::initWithPath(entry("y", "Y")));
    EXPECT_EQ(rows(), 1);
    pane->viewWillAppear();
    EXPECT_GT(model->observationCount(), observing);
    EXPECT_EQ(rows(), 2);
}

}  // namespace
}  // namespace qs::test
