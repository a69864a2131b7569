// The start menu's model: sample entries, edits, archive, and the applications list read
// from private XDG application folders.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDir>
#include <QStandardPaths>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "core/ItemImages.h"
#include "core/MenuModel.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/sim/SimBackend.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old, had_ = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

class StartMenuModelTest : public IsolatedTest {
protected:
    void SetUp() override {
        MenuModel::resetSharedInstanceForTesting();
        backend = sim::installSimBackend(false);
        userApps = env.dataHome() + "/applications";
        systemApps = env.root() + "/system/applications";
        fs::create_directories(userApps);
        fs::create_directories(systemApps);
        // The user's folders as user-dirs names them.
        userDirs({{"DESKTOP", env.root() + "/Desk"}, {"DOCUMENTS", env.root() + "/Docs"},
                  {"DOWNLOAD", env.root() + "/Down"}});
        for (const char* folder : {"/Desk", "/Docs", "/Down"}) fs::create_directories(env.root() + folder);
        NotificationCenter::defaultCenter().addObserver(this, "saveDocksData", nullptr,
                                                        [this](const Notification&) { ++saves; });
    }
    void TearDown() override {
        NotificationCenter::defaultCenter().removeObserver(this);
        MenuModel::resetSharedInstanceForTesting();
    }
    void userDirs(const std::vector<std::pair<std::string, std::string>>& dirs) {
        fs::create_directories(env.configHome());
        std::ofstream out(env.configHome() + "/user-dirs.dirs");
        for (const auto& [name, path] : dirs) out << "XDG_" << name << "_DIR=\"" << path << "\"\n";
    }
    void entry(const std::string& folder, const std::string& file, const std::string& body) {
        std::ofstream(folder + "/" + file) << body;
    }
    static std::string app(const std::string& name, const std::string& extra = "") {
        return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=true\n" + extra;
    }
    std::vector<std::string> appNames(const MenuModel& menu) {
        std::vector<std::string> names;
        for (const auto& node : menu.appsArray()) names.push_back(node->localizedName());
        return names;
    }
    // Lets the background listing finish and its result reach the main thread.
    void settle() {
        env.loop().waitForBackground();
        env.loop().runPending();
    }

    ScopedEnv dataDirs{"XDG_DATA_DIRS", env.root() + "/system"};
    ScopedEnv desktopName{"XDG_CURRENT_DESKTOP", "GNOME"};
    sim::SimBackend backend;
    std::string userApps, systemApps;
    int saves = 0;
};

TEST_F(StartMenuModelTest, AFreshMenuShowsTheEightSampleEntriesWithoutSaving) {
    auto menu = MenuModel::init();
    settle();
    ASSERT_EQ(menu->modelContent().size(), 8u);
    const auto& items = menu->modelContent();
    EXPECT_EQ(items[0]->URL()->path(), QDir::homePath().toStdString());
    EXPECT_EQ(items[1]->path(), QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString());
    EXPECT_EQ(items[4]->path(), userApps);
    EXPECT_EQ(items[5]->URL()->absoluteString(), "file:///usr/share/applications/org.gnome.Calculator.desktop");
    EXPECT_EQ(items[7]->URL()->lastPathComponent(), "org.gnome.Contacts.desktop");
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(menu, MenuModel::init());
    EXPECT_EQ(menu->name(), "Start Menu");
}

TEST_F(StartMenuModelTest, TheSampleEntriesAreWhatThisMachineHas) {
    // The desktop is the home folder, the documents folder does not exist.
    userDirs({{"DESKTOP", "$HOME"}, {"DOCUMENTS", env.root() + "/Nowhere"}, {"DOWNLOAD", env.root() + "/Down"}});
    // A calculator and a contacts application are installed (found by their categories,
    // whatever their ids); the only calendar is hidden from menus.
    entry(systemApps, "galculator.desktop", app("Galculator", "Categories=Utility;Calculator;\n"));
    entry(systemApps, "hidden-cal.desktop", app("Hidden Calendar", "Categories=Office;Calendar;\nNoDisplay=true\n"));
    entry(systemApps, "org.example.People.desktop", app("People", "Categories=Office;ContactManagement;\n"));
    for (auto [file, name, categories, hidden] :
         {std::tuple{"galculator.desktop", "Galculator", "Calculator", false},
          std::tuple{"hidden-cal.desktop", "Hidden Calendar", "Calendar", true},
          std::tuple{"org.example.People.desktop", "People", "ContactManagement", false}}) {
        desktop::DesktopEntry e;
        e.id = fs::path(file).stem().string();
        e.path = systemApps + "/" + file;
        e.name = name;
        e.categories = {categories};
        e.noDisplay = hidden;
        backend.desktop->addDesktopEntry(e);
    }
    fs::remove_all(userApps);  // no folder of the user's own: the system's is the place

    auto menu = MenuModel::init();
    settle();
    std::vector<std::string> paths, names;
    for (const auto& item : menu->modelContent()) {
        paths.push_back(item->path());
        names.push_back(item->localizedName());
    }
    EXPECT_EQ(paths, (std::vector<std::string>{QDir::homePath().toStdString(), env.root() + "/Down", systemApps,
                                               systemApps + "/galculator.desktop",
                                               "/usr/share/applications/org.gnome.Calendar.desktop",
                                               systemApps + "/org.example.People.desktop"}));
    // No raw id: the missing calendar shows the application's name.
    EXPECT_EQ(names[3], "Galculator");
    EXPECT_EQ(names[4], "Calendar");
    EXPECT_EQ(names[5], "People");
    EXPECT_TRUE(menu->modelContent()[4]->isMissingApplication());
    EXPECT_FALSE(menu->modelContent()[3]->isMissingApplication());
    for (const auto& name : names) EXPECT_EQ(name.find(".desktop"), std::string::npos) << name;
}

TEST_F(StartMenuModelTest, EditsPostASaveWhetherOrNotTheyChangeAnything) {
    auto menu = MenuModel::init();
    settle();
    auto home = menu->modelContent()[0];
    saves = 0;
    menu->addItemToModelContent(FileSystemNode::initWithPath(home->path()));
    EXPECT_EQ(menu->modelContent().size(), 8u) << "already an entry";
    EXPECT_EQ(saves, 1);
    auto extra = FileSystemNode::initWithPath(env.root() + "/extra");
    menu->inserItemToModelContent(extra, 9);
    EXPECT_EQ(menu->modelContent().size(), 8u) << "beyond the end";
    menu->inserItemToModelContent(extra, 8);
    EXPECT_EQ(menu->modelContent().back(), extra) << "at the end is allowed";
    menu->inserItemToModelContent(home, 0);
    EXPECT_EQ(menu->modelContent().size(), 10u) << "inserting has no duplicate test";
    menu->removeItemFromModelContent(FileSystemNode::initWithPath(env.root() + "/never"));
    EXPECT_EQ(saves, 5);
    int changes = 0;
    auto observation = menu->observe("modelContent", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++changes; });
    menu->removeItemFromModelContent(extra);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(menu->modelContent().size(), 9u);
}

TEST_F(StartMenuModelTest, ArchivesRestoreEntriesAndFallBackToSamples) {
    auto menu = MenuModel::init();
    settle();
    while (menu->modelContent().size() > 1) menu->removeItemFromModelContent(menu->modelContent().back());
    Data kept = KeyedArchiver::archivedDataWithRootObject(Value(menu));
    while (!menu->modelContent().empty()) menu->removeItemFromModelContent(menu->modelContent().back());
    Data emptied = KeyedArchiver::archivedDataWithRootObject(Value(menu));

    MenuModel::resetSharedInstanceForTesting();
    saves = 0;
    auto back = KeyedUnarchiver::unarchiveObjectWithData(kept).objectAs<MenuModel>();
    settle();
    ASSERT_TRUE(back);
    ASSERT_EQ(back->modelContent().size(), 1u);
    EXPECT_EQ(back->modelContent()[0]->path(), QDir::homePath().toStdString());
    EXPECT_EQ(back->icon(), imageNamed("Spaceship")) << "no custom icon in the archive";
    EXPECT_EQ(saves, 1) << "setCustomIcon with nil saves once";

    auto again = KeyedUnarchiver::unarchiveObjectWithData(emptied).objectAs<MenuModel>();
    EXPECT_EQ(again, back);
    EXPECT_EQ(again->modelContent().size(), 8u) << "empty entries bring the samples back";
}

TEST_F(StartMenuModelTest, ACustomIconFromTheArchiveIsShown) {
    auto menu = MenuModel::init();
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(Qt::yellow);
    menu->setCustomIcon(std::make_shared<Image>(image));
    Data data = KeyedArchiver::archivedDataWithRootObject(Value(menu));
    MenuModel::resetSharedInstanceForTesting();
    auto back = KeyedUnarchiver::unarchiveObjectWithData(data).objectAs<MenuModel>();
    ASSERT_TRUE(back && back->customIcon());
    EXPECT_EQ(back->icon()->qimage().pixelColor(1, 1), QColor(Qt::yellow));
    EXPECT_TRUE(back->isEqual(MenuModel::init().get()));
    EXPECT_FALSE(back->isEqual(back->modelContent()[0].get()));
}

TEST_F(StartMenuModelTest, TheApplicationsListHonoursTheMenuKeysAndSurvivesBadEntries) {
    entry(userApps, "editor.desktop", app("Editor"));
    entry(systemApps, "terminal.desktop", app("Terminal"));
    entry(systemApps, "item 10.desktop", app("item 10"));
    entry(systemApps, "item 2.desktop", app("Item 2"));
    entry(systemApps, "hidden-by-user.desktop", app("Should Not Show"));
    entry(userApps, "hidden-by-user.desktop", app("Gone", "Hidden=true\n"));
    entry(systemApps, "nodisplay.desktop", app("No Display", "NoDisplay=true\n"));
    entry(systemApps, "kde.desktop", app("KDE Only", "OnlyShowIn=KDE;\n"));
    entry(systemApps, "notgnome.desktop", app("Not GNOME", "NotShowIn=GNOME;\n"));
    entry(systemApps, "gnome.desktop", app("GNOME Only", "OnlyShowIn=XFCE;GNOME;\n"));
    entry(systemApps, "link.desktop", "[Desktop Entry]\nType=Link\nName=Web\nURL=http://x\n");
    entry(systemApps, "broken.desktop", "\x01\x02 no group at all\n");
    entry(systemApps, "noname.desktop", "[Desktop Entry]\nType=Application\nExec=true\n");
    entry(systemApps, "readme.txt", "not an entry");
    auto menu = MenuModel::init();
    settle();
    auto names = appNames(*menu);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Editor"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Terminal"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "GNOME Only"), 1);
    for (const char* hidden : {"Should Not Show", "Gone", "No Display", "KDE Only", "Not GNOME", "Web", "readme"})
        EXPECT_EQ(std::count(names.begin(), names.end(), hidden), 0) << hidden;
    auto two = std::find(names.begin(), names.end(), "Item 2"), ten = std::find(names.begin(), names.end(), "item 10");
    ASSERT_NE(two, names.end());
    ASSERT_NE(ten, names.end());
    EXPECT_LT(two, ten) << "numbers compare by value, case ignored";
}

TEST_F(StartMenuModelTest, TheApplicationsListFollowsItsFolders) {
    entry(systemApps, "first.desktop", app("First"));
    auto menu = MenuModel::init();
    settle();
    ASSERT_EQ(appNames(*menu), std::vector<std::string>{"First"});
    // Decoding into the shared instance runs loadApps again.
    ASSERT_EQ(KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(Value(menu)))
                  .objectAs<MenuModel>(),
              menu);
    settle();
    EXPECT_EQ(backend.files->liveWatchCount(), 1u);
    ASSERT_FALSE(backend.files->watchedPaths().empty());
    const auto watched = backend.files->watchedPaths().back();
    EXPECT_NE(std::find(watched.begin(), watched.end(), systemApps), watched.end())
        << "every XDG applications folder is watched";
    int changes = 0;
    auto observation = menu->observe("appsArray", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++changes; });
    entry(systemApps, "second.desktop", app("Second"));
    EXPECT_EQ(backend.files->deliverEvents({{systemApps + "/second.desktop", desktop::FileEventItemCreated}}), 1u);
    env.loop().runPending();
    settle();
    EXPECT_EQ(appNames(*menu), (std::vector<std::string>{"First", "Second"}));
    EXPECT_EQ(changes, 1) << "one reload per change, however often the model was decoded";
}

TEST_F(StartMenuModelTest, AUserApplicationsFolderMadeAfterTheStartIsFollowed) {
    // A fresh account: no applications folder of the user's own yet.
    fs::remove_all(userApps);
    entry(systemApps, "first.desktop", app("First"));
    auto menu = MenuModel::init();
    settle();
    ASSERT_EQ(appNames(*menu), std::vector<std::string>{"First"});
    auto watched = backend.files->watchedPaths().back();
    EXPECT_NE(std::find(watched.begin(), watched.end(), env.dataHome()), watched.end())
        << "the missing folder is watched from the folder above it";
    int changes = 0;
    auto observation = menu->observe("appsArray", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++changes; });

    // Other files beside it change nothing.
    std::ofstream(env.dataHome() + "/recently-used.xbel") << "x";
    EXPECT_EQ(backend.files->deliverEvents({{env.dataHome() + "/recently-used.xbel", desktop::FileEventItemCreated}}),
              1u);
    env.loop().runPending();
    settle();
    EXPECT_EQ(changes, 0);

    // The folder appears with a program in it: listed, and watched from now on.
    fs::create_directories(userApps);
    entry(userApps, "editor.desktop", app("Editor"));
    backend.files->deliverEvents({{userApps, desktop::FileEventItemCreated | desktop::FileEventItemIsDir}});
    env.loop().runPending();
    settle();
    EXPECT_EQ(appNames(*menu), (std::vector<std::string>{"Editor", "First"}));
    watched = backend.files->watchedPaths().back();
    EXPECT_NE(std::find(watched.begin(), watched.end(), userApps), watched.end());
    EXPECT_EQ(backend.files->liveWatchCount(), 1u) << "the first watch ended";

    entry(userApps, "mail.desktop", app("Mail"));
    EXPECT_EQ(backend.files->deliverEvents({{userApps + "/mail.desktop", desktop::FileEventItemCreated}}), 1u);
    env.loop().runPending();
    settle();
    EXPECT_EQ(appNames(*menu), (std::vector<std::string>{"Editor", "First", "Mail"}));
}

TEST_F(StartMenuModelTest, OnlyFoldersOfApplicationsReloadTheList) {
    auto menu = MenuModel::init();
    settle();
    entry(systemApps, "late.desktop", app("Late"));
    auto other = FileSystemNode::initWithPath(env.root());
    NotificationCenter::defaultCenter().postNotificationName("PopulateChildrenArray", Value(other));
    EXPECT_TRUE(appNames(*menu).empty()) << "an unrelated folder changes nothing";
    fs::create_directories(env.root() + "/home/Applications");
    auto own = FileSystemNode::initWithPath(env.root() + "/home/Applications");
    NotificationCenter::defaultCenter().postNotificationName("PopulateChildrenArray", Value(own));
    EXPECT_EQ(appNames(*menu), std::vector<std::string>{"Late"}) << "a user's own Applications folder counts";
    NotificationCenter::defaultCenter().postNotificationName("PopulateChildrenArray", Value("not a node"));
}

}  // namespace
}  // namespace qs::test
