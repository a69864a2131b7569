// The item and group inspectors: the choose-icon panel and the well carry an image to the
// item or group, reset takes it back, bad files change nothing, names are kept sane, and
// an inspector that goes away mid-edit loses nothing.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "core/CustomIconsHelper.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/ItemImages.h"
#include "core/RunningApplicationPersistent.h"
#include "dock_ui/Inspectors.h"
#include "dock_ui/ItemIconCache.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "preferences/CustomIconImageView.h"
#include "preferences/GroupInspector.h"
#include "preferences/ItemInspector.h"
#include "preferences/PreferencesTestSupport.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

class InspectorsTest : public PreferencesTest {
protected:
    InspectorsTest() {
        CustomIconsHelper::resetSharedInstanceForTesting();
        NotificationCenter::defaultCenter().addObserver(this, "saveDocksData", nullptr,
                                                        [this](const Notification&) { ++saves; });
    }
    ~InspectorsTest() override {
        NotificationCenter::defaultCenter().removeObserver(this);
        Inspectors::setItemInspectorMaker(nullptr);
        Inspectors::setGroupInspectorMaker(nullptr);
        CustomIconsHelper::resetSharedInstanceForTesting();
    }

    std::string png(const std::string& name, int w, int h, QColor color = Qt::red) {
        QImage image(w, h, QImage::Format_ARGB32);
        image.fill(color);
        std::string path = env.root() + "/" + name;
        EXPECT_TRUE(image.save(QString::fromStdString(path), "PNG"));
        return path;
    }
    std::string textFile(const std::string& name) {
        std::string path = env.root() + "/" + name;
        std::ofstream(path) << "not an image at all\n";
        return path;
    }
    std::shared_ptr<FileSystemNode> fileItem() {
        std::string path = env.root() + "/document.txt";
        std::ofstream(path) << "hello";
        return FileSystemNode::initWithURL(URL::fileURLWithPath(path));
    }
    // Answers the next choose-icon panels with OK and the path, or Cancel for "".
    void answerPanelsWith(std::string path) {
        OpenPanel::setRunnerForTesting([this, path](OpenPanel& panel, QWidget* sheet) {
            ++panels;
            lastSheet = sheet;
            lastFilters = panel.nameFilters;
            EXPECT_TRUE(panel.canChooseFiles);
            EXPECT_FALSE(panel.canChooseDirectories);
            EXPECT_FALSE(panel.allowsMultipleSelection);
            EXPECT_TRUE(panel.resolvesAliases);
            if (path.empty())
                panel.finish(OpenPanel::NSModalResponseCancel, {});
            else
                panel.finish(OpenPanel::NSModalResponseOK, {path});
        });
    }
    static QColor pixel(const ImagePtr& image) {
        return image ? QColor(image->qimage().pixel(0, 0)) : QColor();
    }
    static void drop(QWidget* well, const std::vector<std::string>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(well, &enter);
        EXPECT_TRUE(enter.isAccepted());
        EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(well, &event);
        EXPECT_TRUE(event.isAccepted());
    }

    int saves = 0;
    int panels = 0;
    QWidget* lastSheet = nullptr;
    std::vector<std::string> lastFilters;
};

TEST_F(InspectorsTest, AChosenIconBecomesTheItemsStoredIconAndResetTakesItAway) {
    installInspectors();
    auto made = Inspectors::makeItemInspector();
    auto inspector = std::dynamic_pointer_cast<ItemInspector>(made);
    ASSERT_TRUE(inspector);
    auto item = fileItem();
    int iconChanges = 0;
    auto observation = item->observe("icon", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++iconChanges; });
    inspector->setModel(Value(item));
    inspector->orderFront();
    EXPECT_TRUE(inspector->window()->isVisible());
    EXPECT_EQ(inspector->window()->objectName().toStdString(), "ItemInspector");

    // Cancel: nothing changes.
    answerPanelsWith("");
    child<QPushButton>(inspector->window(), "loadIconButton")->click();
    EXPECT_EQ(panels, 1);
    EXPECT_EQ(lastSheet, inspector->window());
    EXPECT_EQ(lastFilters, std::vector<std::string>{"Images (*.png *.jpg *.jpeg *.gif *.bmp *.ico *.icns)"});
    EXPECT_EQ(iconChanges, 0);
    EXPECT_FALSE(item->customIcon());

    // OK with a picture: the well shows it, the item has it, the store has it, "icon" told.
    const std::string picture = png("blue.png", 64, 64, Qt::blue);
    answerPanelsWith(picture);
    child<QPushButton>(inspector->window(), "loadIconButton")->click();
    ASSERT_TRUE(item->customIcon());
    EXPECT_EQ(pixel(item->customIcon()), QColor(Qt::blue));
    EXPECT_EQ(inspector->imageView()->image(), item->customIcon());
    EXPECT_EQ(item->icon(), item->customIcon());
    EXPECT_EQ(iconChanges, 1);
    EXPECT_EQ(CustomIconsHelper::sharedInstance().count(), 1u);
    EXPECT_TRUE(UserDefaults::standardUserDefaults().objectForKey("customIconsData").data());

    // The picture removed afterwards: the icon was read at once and is still stored whole.
    fs::remove(picture);
    CustomIconsHelper::resetSharedInstanceForTesting();
    ASSERT_TRUE(item->customIcon()) << "the stored icon did not survive a reload";
    EXPECT_EQ(pixel(item->customIcon()), QColor(Qt::blue));

    // Reset: the regular icon, an empty well, the store entry gone.
    child<QPushButton>(inspector->window(), "resetButton")->click();
    EXPECT_FALSE(item->customIcon());
    EXPECT_FALSE(inspector->imageView()->image());
    EXPECT_EQ(CustomIconsHelper::sharedInstance().count(), 0u);
    EXPECT_GE(iconChanges, 2);
}

TEST_F(InspectorsTest, TheEmptyWellShowsAsAWellAndTheWindowNamesItsItem) {
    auto inspector = ItemInspector::create();
    auto item = fileItem();
    inspector->setModel(Value(item));
    inspector->orderFront();
    QWidget* window = inspector->window();
    window->resize(window->sizeHint());
    QApplication::processEvents();

    // The item is named above the well and in the title.
    auto* label = child<QLabel>(window, "itemLabel");
    ASSERT_TRUE(label);
    EXPECT_TRUE(label->isVisible());
    EXPECT_NE(text(label).find("document.txt"), std::string::npos) << text(label);
    EXPECT_NE(window->windowTitle().toStdString().find("document.txt"), std::string::npos);
    EXPECT_NE(window->windowTitle().toStdString().find("Custom Icon"), std::string::npos);

    // Empty: a sunken frame darker than the window, and the hint inside it.
    CustomIconImageView* well = inspector->imageView();
    ASSERT_TRUE(well);
    EXPECT_FALSE(well->image());
    const QColor background = window->palette().color(QPalette::Window);
    QImage empty = well->grab().toImage();
    const int w = empty.width(), h = empty.height();
    EXPECT_LT(qGray(empty.pixel(w / 2, 6)), qGray(background.rgb()) - 8) << "the well is sunken, not the window";
    EXPECT_LT(qGray(empty.pixel(1, h / 2)), qGray(empty.pixel(w / 2, 6))) << "a darker rim";
    const QRect middle(12, h / 3, w - 24, h / 3);
    const QColor wellFill = empty.pixelColor(w / 2, 6);
    EXPECT_GT(pixelsUnlike(empty, middle, wellFill), 30) << "the hint is written in the well";
    EXPECT_EQ(well->hint().toStdString(), "Drop an image here");

    // With an icon the hint gives way to it; the frame stays.
    QImage blue(64, 64, QImage::Format_ARGB32);
    blue.fill(Qt::blue);
    well->placeImage(std::make_shared<Image>(blue));
    QImage filled = well->grab().toImage();
    EXPECT_EQ(filled.pixelColor(w / 2, h / 2), QColor(Qt::blue));
    EXPECT_LT(qGray(filled.pixel(1, h / 2)), qGray(background.rgb()));

    // Another item: the window says so.
    auto other = FileSystemNode::initWithURL(URL::fileURLWithPath(png("photo.png", 4, 4)));
    inspector->setModel(Value(other));
    EXPECT_NE(text(label).find("photo.png"), std::string::npos) << text(label);
    EXPECT_NE(window->windowTitle().toStdString().find("photo.png"), std::string::npos);
}

TEST_F(InspectorsTest, TheDockCellsIconCacheServesTheNewIconAtOnce) {
    ItemIconCache cache;
    auto load = [&](const ObjectPtr& item) {
        QImage got;
        QImage now = cache.iconForItem(item, 32, nullptr, [&](const QImage& image) { got = image; });
        for (int i = 0; i < 20 && now.isNull() && got.isNull(); ++i) {
            env.loop().waitForBackground();
            env.loop().runPending();
        }
        return now.isNull() ? got : now;
    };
    auto item = fileItem();
    QImage before = load(item);
    ASSERT_FALSE(before.isNull());
    auto inspector = ItemInspector::create();
    inspector->setModel(Value(item));
    inspector->orderFront();
    answerPanelsWith(png("cell.png", 64, 64, Qt::blue));
    inspector->loadIcon();
    QImage after = load(item);
    ASSERT_FALSE(after.isNull());
    EXPECT_EQ(QColor(after.pixel(after.width() / 2, after.height() / 2)), QColor(Qt::blue));
    inspector->resetAction();
    QImage reset = load(item);
    EXPECT_EQ(reset.size(), before.size());
    EXPECT_NE(QColor(reset.pixel(reset.width() / 2, reset.height() / 2)), QColor(Qt::blue));
}

TEST_F(InspectorsTest, FilesThatAreNoUsableImageChangeNothingAndHugeOnesAreScaledDown) {
    auto inspector = ItemInspector::create();
    auto item = fileItem();
    inspector->setModel(Value(item));
    inspector->orderFront();
    answerPanelsWith(png("green.png", 32, 32, Qt::green));
    inspector->loadIcon();
    ASSERT_TRUE(item->customIcon());

    // Not an image, a missing file, a folder, a header announcing more than the decoder takes.
    std::string tooLarge = png("wide.png", Image::kMaxDecodeSide + 1, 1);
    for (const std::string& bad : {textFile("notes.png"), env.root() + "/gone.png", env.root(), tooLarge}) {
        answerPanelsWith(bad);
        inspector->loadIcon();
        EXPECT_EQ(pixel(item->customIcon()), QColor(Qt::green)) << bad;
        EXPECT_EQ(inspector->imageView()->image(), item->customIcon()) << bad;
    }
    EXPECT_TRUE(env.logged("cannot be used"));

    // A large picture is kept at a sane size.
    answerPanelsWith(png("large.png", 4000, 2000, Qt::yellow));
    inspector->loadIcon();
    ASSERT_TRUE(item->customIcon());
    EXPECT_EQ(item->customIcon()->qimage().size(), QSize(1024, 512));
    EXPECT_TRUE(env.logged("scaled down"));

    // Every type the panel offers reads, the platform's own icon format too.
    // (Qt writes no GIF: a 1 x 1 one is written by hand.)
    const std::string gif = env.root() + "/icon.gif";
    std::ofstream(gif, std::ios::binary) << std::string(
        "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00"
        "\x02\x02\x44\x01\x00;",
        35);
    answerPanelsWith(gif);
    inspector->loadIcon();
    ASSERT_TRUE(item->customIcon());
    EXPECT_EQ(item->customIcon()->qimage().size(), QSize(1, 1));
    for (const char* format : {"jpg", "bmp", "ico", "icns"}) {
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(Qt::white);
        const std::string path = env.root() + "/icon." + format;
        if (!image.save(QString::fromStdString(path), format)) {
            ADD_FAILURE() << "no writer for " << format << " (qt6-image-formats-plugins)";
            continue;
        }
        answerPanelsWith(path);
        inspector->loadIcon();
        ASSERT_TRUE(item->customIcon()) << format;
        EXPECT_EQ(item->customIcon()->qimage().size(), QSize(32, 32)) << format;
    }
}

TEST_F(InspectorsTest, AnImageFileDroppedOnTheWellBecomesTheIcon) {
    auto inspector = ItemInspector::create();
    auto item = fileItem();
    inspector->setModel(Value(item));
    inspector->orderFront();
    QWidget* well = inspector->imageView();
    // The first file that is an image wins; files that are not images are passed over.
    drop(well, {textFile("readme.txt"), png("dropped.png", 16, 16, Qt::magenta), png("other.png", 16, 16)});
    ASSERT_TRUE(item->customIcon());
    EXPECT_EQ(pixel(item->customIcon()), QColor(Qt::magenta));
    // A drop with no image keeps the icon.
    drop(well, {textFile("only-text.txt")});
    EXPECT_EQ(pixel(item->customIcon()), QColor(Qt::magenta));
    EXPECT_TRUE(env.logged("no file dropped on the icon well is an image"));
}

TEST_F(InspectorsTest, ARunningApplicationGetsAndLosesItsIconAndItsBundlesFileItemShowsIt) {
    const std::string entry = env.root() + "/editor.desktop";
    std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Editor\nExec=editor\n";
    RunningApplication::Info info;
    info.pid = 4242;
    info.bundleIdentifier = "editor.desktop";
    info.bundlePath = entry;
    info.localizedName = "Editor";
    auto app = std::make_shared<RunningApplication>(info);
    int iconChanges = 0;
    auto observation = app->observe("icon", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++iconChanges; });

    auto inspector = ItemInspector::create();
    inspector->setModel(Value(app));
    inspector->orderFront();
    answerPanelsWith(png("app.png", 16, 16, Qt::darkBlue));
    inspector->loadIcon();
    EXPECT_EQ(pixel(Persistent::customIcon(*app)), QColor(Qt::darkBlue));
    EXPECT_EQ(Persistent::icon(*app), Persistent::customIcon(*app));
    EXPECT_EQ(iconChanges, 1);
    // The file item of the application's bundle shares the icon (after a quit, it stays).
    auto node = FileSystemNode::initWithURL(URL::fileURLWithPath(entry));
    EXPECT_EQ(pixel(node->customIcon()), QColor(Qt::darkBlue));

    child<QPushButton>(inspector->window(), "resetButton")->click();
    EXPECT_FALSE(Persistent::customIcon(*app));
    EXPECT_FALSE(node->customIcon());
    EXPECT_FALSE(inspector->imageView()->image());
    EXPECT_EQ(iconChanges, 2);
}

TEST_F(InspectorsTest, ItemsWithoutCustomIconsOnlyGetTheirWellEmptied) {
    auto inspector = ItemInspector::create();
    auto group = GroupModel::create();
    inspector->setModel(Value(group));
    inspector->orderFront();
    ImagePtr before = group->icon();
    answerPanelsWith(png("icon.png", 8, 8));
    inspector->loadIcon();
    EXPECT_EQ(group->icon(), before);
    EXPECT_FALSE(inspector->imageView()->image());
    EXPECT_TRUE(env.logged("takes no custom icon"));
    inspector->resetAction();
    EXPECT_EQ(group->icon(), before);
    EXPECT_EQ(CustomIconsHelper::sharedInstance().count(), 0u);
}

TEST_F(InspectorsTest, TheGroupInspectorEditsNameAndIconThroughTheSavingSetters) {
    installInspectors();
    auto inspector = std::dynamic_pointer_cast<GroupInspector>(Inspectors::makeGroupInspector());
    ASSERT_TRUE(inspector);
    auto group = GroupModel::create();
    group->setName("Tools");
    inspector->setModel(Value(group));
    inspector->orderFront();
    GroupNameField* field = inspector->nameField();
    EXPECT_EQ(field->text().toStdString(), "Tools");
    EXPECT_EQ(inspector->imageView()->image(), group->icon());

    // Typing does not save at every key; ending the edit does, once.
    saves = 0;
    field->setFocus();
    field->selectAll();
    field->insert("Work");
    EXPECT_EQ(group->name(), "Tools");
    EXPECT_EQ(saves, 0);
    emit field->editingFinished();
    EXPECT_EQ(group->name(), "Work");
    EXPECT_EQ(saves, 1);

    // A rename from elsewhere shows in the field.
    group->setName("Elsewhere");
    EXPECT_EQ(field->text().toStdString(), "Elsewhere");

    // Icon: chosen (one save), a bad file (no change), reset to "Group" (one save).
    saves = 0;
    answerPanelsWith(png("group.png", 48, 48, Qt::cyan));
    child<QPushButton>(inspector->window(), "loadIconButton")->click();
    EXPECT_EQ(pixel(group->icon()), QColor(Qt::cyan));
    EXPECT_EQ(inspector->imageView()->image(), group->icon());
    EXPECT_EQ(saves, 1);
    answerPanelsWith(textFile("broken.png"));
    inspector->loadIcon();
    EXPECT_EQ(pixel(group->icon()), QColor(Qt::cyan));
    EXPECT_EQ(saves, 1);
    child<QPushButton>(inspector->window(), "resetIconButton")->click();
    EXPECT_EQ(group->icon(), imageNamed("Group"));
    EXPECT_EQ(saves, 2);

    // An image dropped on the group's well becomes its icon.
    drop(inspector->imageView(), {png("dropped-group.png", 8, 8, Qt::darkGreen)});
    EXPECT_EQ(pixel(group->icon()), QColor(Qt::darkGreen));
}

TEST_F(InspectorsTest, GroupNamesAreOneSaneLineAndAnEmptyOneIsRefused) {
    auto inspector = GroupInspector::create();
    auto group = GroupModel::create();
    group->setName("Tools");
    inspector->setModel(Value(group));
    inspector->orderFront();
    GroupNameField* field = inspector->nameField();
    auto type = [&](const QString& text) {
        field->setText(text);
        field->setModified(true);
        field->commit();
    };

    saves = 0;
    type("   ");
    EXPECT_EQ(group->name(), "Tools");
    EXPECT_EQ(field->text().toStdString(), "Tools") << "the field shows the kept name again";
    EXPECT_EQ(saves, 0);
    EXPECT_TRUE(env.logged("a group needs a name"));

    type("Line one\nline two\r\n\tend ");
    EXPECT_EQ(group->name(), "Line one line two   end");

    type(QString(10000, u'x'));
    EXPECT_EQ(group->name().size(), GroupInspector::kMaxNameLength);
    EXPECT_EQ(field->text().size(), qsizetype(GroupInspector::kMaxNameLength));
    EXPECT_TRUE(env.logged("is cut to"));

    // Not cut inside a character outside the basic plane.
    QString emoji;
    for (int i = 0; i < 200; ++i) emoji += QString::fromUtf8("\xF0\x9F\x93\x81");  // 400 UTF-16 units
    type(emoji);
    EXPECT_TRUE(QString::fromStdString(group->name()).isValidUtf16());
    EXPECT_EQ(QString::fromStdString(group->name()).size() % 2, 0);
}

TEST_F(InspectorsTest, AnInspectorThatGoesMidEditLosesNothingAndAnswersNoLatePanel) {
    auto group = GroupModel::create();
    group->setName("Before");
    std::shared_ptr<OpenPanel> pending;
    {
        auto inspector = GroupInspector::create();
        inspector->setModel(Value(group));
        inspector->orderFront();
        inspector->nameField()->setText("Typed but not finished");
        inspector->nameField()->setModified(true);
        OpenPanel::setRunnerForTesting([&](OpenPanel& panel, QWidget*) {
            pending = std::static_pointer_cast<OpenPanel>(panel.shared_from_this());
        });
        inspector->loadIcon();
        ASSERT_TRUE(pending);
        // The dock that opened it is rebuilt: the inspector goes.
    }
    EXPECT_EQ(group->name(), "Typed but not finished");
    EXPECT_TRUE(env.logged("the name is kept"));
    ImagePtr icon = group->icon();
    pending->finish(OpenPanel::NSModalResponseOK, {png("late.png", 8, 8)});
    EXPECT_EQ(group->icon(), icon);

    // The same for the item inspector's panel.
    auto item = fileItem();
    {
        auto inspector = ItemInspector::create();
        inspector->setModel(Value(item));
        inspector->loadIcon();
    }
    pending->finish(OpenPanel::NSModalResponseOK, {png("late2.png", 8, 8)});
    EXPECT_FALSE(item->customIcon());
}

TEST_F(InspectorsTest, AnOpenInspectorKeepsWorkingOnTheDocksItemsWhenThePanelsAreRebuilt) {
    auto group = GroupModel::create();
    group->setName("Before");
    auto model = manager->mainModel();
    model->addItem(group);
    auto inspector = GroupInspector::create();
    inspector->setModel(Value(group));
    inspector->orderFront();
    // A screen change: the panels are made again around the same model.
    manager->recreateWindows();
    inspector->nameField()->setText("After");
    inspector->nameField()->setModified(true);
    inspector->nameField()->commit();
    answerPanelsWith(png("rebuilt.png", 8, 8, Qt::darkRed));
    inspector->loadIcon();
    bool found = false;
    for (const Value& v : model->panelContent())
        if (auto g = v.objectAs<GroupModel>(); g && g->name() == "After") {
            found = true;
            EXPECT_EQ(pixel(g->icon()), QColor(Qt::darkRed));
        }
    EXPECT_TRUE(found) << "the edit did not reach the dock's own group";
    // And it is stored: the archive read back holds the new name.
    manager->saveDocksData();
    DockManager::releaseSharedInstance();
    manager = start();
    found = false;
    for (const Value& v : manager->mainModel()->panelContent())
        if (auto g = v.objectAs<GroupModel>(); g && g->name() == "After") found = true;
    EXPECT_TRUE(found) << "the renamed group was not stored";
}

TEST_F(InspectorsTest, AClosedInspectorObservesNothing) {
    const size_t timersBefore = env.loop().timerCount();
    auto inspector = GroupInspector::create();
    auto group = GroupModel::create();
    inspector->setModel(Value(group));
    inspector->orderFront();
    auto bindings = Binding::bindingsIn(inspector->window());
    ASSERT_EQ(bindings.size(), 2u);
    for (Binding* b : bindings) EXPECT_TRUE(b->isActive());
    inspector->nameField()->setText("Closing");
    inspector->nameField()->setModified(true);
    inspector->window()->close();
    EXPECT_EQ(group->name(), "Closing") << "closing the window ends the edit";
    EXPECT_FALSE(inspector->window()->isVisible());
    for (Binding* b : Binding::bindingsIn(inspector->window())) EXPECT_FALSE(b->isActive());
    EXPECT_EQ(env.loop().timerCount(), timersBefore) << "the closed inspector left a timer running";
    // Reopened: it shows the group as it is now.
    group->setName("Later");
    inspector->orderFront();
    EXPECT_EQ(inspector->nameField()->text().toStdString(), "Later");
}

}  // namespace
}  // namespace qs::test
