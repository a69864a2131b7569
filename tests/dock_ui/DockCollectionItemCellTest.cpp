// The dock item cell offscreen: what it sends the cell actions for presses, releases,
// right clicks, drags, hovers and drops; the running indicator and the badge read back as
// pixels; the launch bounce's heights on the manual clock; and the paints it saves.
#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTimer>
#include <gtest/gtest.h>

#include "core/DockConfiguration.h"
#include "core/FileSystemNode.h"
#include "core/GroupModel.h"
#include "core/MenuModel.h"
#include "core/Separator.h"
#include "core/ThemeManager.h"
#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/CustomBadge.h"
#include "dock_ui/DockCollectionItemCell.h"
#include "dock_ui/IconTestSupport.h"
#include "dock_ui/ItemIconCache.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/Color.h"
#include "platform/ui/FlatButton.h"
#include "platform/ui/Menu.h"
#include "platform/ui/ViewObject.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

// Every call the cell makes, in order.
class RecordingActions : public CellActionsDelegate {
public:
    std::vector<std::string> calls;
    std::vector<std::optional<Dictionary>> previews;
    std::vector<Dictionary> stops;
    std::vector<URLPtr> files;
    Value filesObject;
    MenuPtr menu;

    void mouseDown(const Event&) override { calls.push_back("mouseDown"); }
    void mouseDragged(const Event&) override { calls.push_back("mouseDragged"); }
    void mouseUp(const Event&, QWidget*, const Value&, bool isKeyUp) override {
        calls.push_back(isKeyUp ? "mouseUp YES" : "mouseUp NO");
    }
    void showPreviewWhithObject(const std::optional<Dictionary>& d) override {
        calls.push_back(d ? "preview" : "preview nil");
        previews.push_back(d);
    }
    void mouseStopedWhithDict(const Dictionary& d) override {
        calls.push_back("stopped");
        stops.push_back(d);
    }
    void prcessFiles(const std::vector<URLPtr>& f, const Value& object) override {
        calls.push_back("files");
        files = f;
        filesObject = object;
    }
    std::shared_ptr<Menu> menuForItemViewWhithObject(const Value&) override {
        calls.push_back("menu");
        return menu;
    }
};

RunningApplicationPtr application(int pid, bool finishedLaunching = true) {
    RunningApplication::Info info;
    info.pid = pid;
    info.localizedName = "App " + std::to_string(pid);
    auto app = std::make_shared<RunningApplication>(info);
    app->setFinishedLaunching(finishedLaunching);
    return app;
}

void postBadge(const Value& object) { NotificationCenter::defaultCenter().postNotificationName("changeBadge", object); }
Value badge(int pid, std::optional<std::string> text) {
    Dictionary d{{"app_pid", Value(pid)}};
    if (text) d["badgeText"] = Value(*text);
    return Value(d);
}

// Opaque pixels of a colour family in a rectangle of an image.
int countPixels(const QImage& image, const QRect& area, const std::function<bool(QColor)>& wanted) {
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200 && wanted(c)) ++n;
        }
    return n;
}
bool isBlack(QColor c) { return c.red() < 40 && c.green() < 40 && c.blue() < 40; }
bool isWhite(QColor c) { return c.red() > 215 && c.green() > 215 && c.blue() > 215; }
bool isRed(QColor c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; }

class DockCellTest : public test::IsolatedTest {
protected:
    DockCellTest() {
        ThemeManager::resetSharedInstanceForTesting();
        sim = sim::installSimBackend();
        actions = std::make_shared<RecordingActions>();
        prototype = std::make_shared<DockCollectionItemCell>();
        prototype->setCellDelegate(actions);
        UserDefaults::standardUserDefaults().setBool(true, "ShowAppBadges");
        setThemeType(0);
        env.loop().advance(10.0);  // the defaults written
    }
    ~DockCellTest() override { ThemeManager::resetSharedInstanceForTesting(); }

    void setThemeType(int type) {
        if (auto theme = ThemeManager::sharedInstance()->currenThemeInfo()) theme->setThemeType(type);
    }

    // A cell as the collection view makes one: a copy of the prototype given the object.
    std::shared_ptr<DockCollectionItemCell> cellFor(const Value& object, int side = 64) {
        auto cell = std::static_pointer_cast<DockCollectionItemCell>(prototype->copy());
        cell->setRepresentedObject(object);
        resizeView(cell->view(), side);
        return cell;
    }

    // Resizes a view that is not shown, delivering the resize at once (as showing it
    // would).
    static void resizeView(QWidget* view, int side) {
        const QSize old = view->size();
        view->resize(side, side);
        QResizeEvent e(view->size(), old);
        QApplication::sendEvent(view, &e);
    }

    Event press(QWidget* view, uint64_t flags = 0, int type = NSEventTypeLeftMouseDown) {
        Event e = Event::mouseEvent(type, MakePoint(20, 20), flags);
        e.window = view->window();
        return e;
    }

    std::string writeFile(const std::string& name, const std::string& contents) {
        const std::string path = env.root() + "/" + name;
        std::ofstream(path) << contents;
        return path;
    }
    std::string applicationEntry() {
        return writeFile("editor.desktop", "[Desktop Entry]\nType=Application\nName=Editor\nExec=true\n");
    }

    sim::SimBackend sim;
    std::shared_ptr<RecordingActions> actions;
    std::shared_ptr<DockCollectionItemCell> prototype;
};

// Closes whatever pop-up menu opens next, noting its entries.
void closeNextMenu(std::vector<std::string>& shown) {
    QTimer::singleShot(0, [&shown] {
        if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (auto* a : popup->actions()) shown.push_back(a->text().toStdString());
            popup->close();
        }
    });
}

// Lets every pending update be painted.
void settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// ---------------------------------------------------------------------------------
// Mouse

TEST_F(DockCellTest, ClicksGoToTheCellActionsAsPressAndRelease) {
    auto cell = cellFor(Value(application(100)));
    QWidget* v = cell->view();
    cell->mouseDown(press(v));
    cell->mouseUp(press(v, 0, NSEventTypeLeftMouseUp));
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseDown", "mouseUp NO", "mouseUp YES"}));

    // Shift starts a reorder drag: the actions hear of the press only, and not of its
    // release either.
    actions->calls.clear();
    sim.desktop->setKeyModifiers(shiftKey);
    cell->mouseDown(press(v, NSEventModifierFlagShift));
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseDown"}));
    cell->mouseUp(press(v, NSEventModifierFlagShift, NSEventTypeLeftMouseUp));
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseDown"}));
    sim.desktop->setKeyModifiers(0);

    // Real Qt events reach the same handlers through the view.
    actions->calls.clear();
    QMouseEvent down(QEvent::MouseButtonPress, QPointF(10, 10), v->mapToGlobal(QPointF(10, 10)), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(10, 10), v->mapToGlobal(QPointF(10, 10)), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(v, &up);
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseDown", "mouseUp NO", "mouseUp YES"}));

    // A drag goes to the actions after the collection view has seen it.
    actions->calls.clear();
    cell->mouseDragged(press(v, 0, NSEventTypeLeftMouseDragged));
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseDragged"}));
}

TEST_F(DockCellTest, APressThatTurnsIntoADragHandsOverNoRelease) {
    auto cell = cellFor(Value(application(100)));
    QWidget* v = cell->view();
    auto at = [&](double x, double y, int type) {
        Event e = press(v, 0, type);
        e.locationInWindow = MakePoint(x, y);
        return e;
    };
    const double far = QApplication::startDragDistance();
    // Past the drag threshold (in any direction): the release is the end of a drag.
    for (Point to : {MakePoint(20 + far, 20), MakePoint(20, 20 - far), MakePoint(20 - far / 2, 20 + far / 2)}) {
        actions->calls.clear();
        cell->mouseDown(at(20, 20, NSEventTypeLeftMouseDown));
        cell->mouseDragged(at(to.x, to.y, NSEventTypeLeftMouseDragged));
        cell->mouseDragged(at(20, 20, NSEventTypeLeftMouseDragged));  // back where it began
        cell->mouseUp(at(20, 20, NSEventTypeLeftMouseUp));
        EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseDown", "mouseUp NO", "mouseDragged", "mouseDragged"}))
            << to.x << "," << to.y;
    }
    // A hand that trembles a little still clicks.
    actions->calls.clear();
    cell->mouseDown(at(20, 20, NSEventTypeLeftMouseDown));
    cell->mouseDragged(at(21, 19, NSEventTypeLeftMouseDragged));
    cell->mouseUp(at(21, 19, NSEventTypeLeftMouseUp));
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseDown", "mouseUp NO", "mouseDragged", "mouseUp YES"}));
    // A release with no press before it (the press went to a menu or another window) is
    // no click.
    actions->calls.clear();
    cell->mouseUp(at(20, 20, NSEventTypeLeftMouseUp));
    EXPECT_TRUE(actions->calls.empty());
}

TEST_F(DockCellTest, CommandClickOpensTheContextMenu) {
    actions->menu = std::make_shared<Menu>("");
    actions->menu->addItemWithTitle("Remove from Dock");
    auto cell = cellFor(Value(FileSystemNode::initWithPath(writeFile("notes.txt", "x"))));
    std::vector<std::string> shown;
    closeNextMenu(shown);
    // Command is Super: a Qt press with the Meta modifier.
    QWidget* v = cell->view();
    QMouseEvent down(QEvent::MouseButtonPress, QPointF(10, 10), v->mapToGlobal(QPointF(10, 10)), Qt::LeftButton,
                     Qt::LeftButton, Qt::MetaModifier);
    QApplication::sendEvent(v, &down);
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseDown", "menu"}));
    EXPECT_EQ(shown, (std::vector<std::string>{"Remove from Dock"}));

    // A right click too; an item without a menu shows nothing.
    actions->calls.clear();
    shown.clear();
    closeNextMenu(shown);
    cell->rightMouseDown(press(v, 0, NSEventTypeRightMouseDown));
    EXPECT_EQ(shown, (std::vector<std::string>{"Remove from Dock"}));
    actions->menu = nullptr;
    actions->calls.clear();
    cell->rightMouseDown(press(v, 0, NSEventTypeRightMouseDown));
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"menu"}));
}

TEST_F(DockCellTest, ExpandFoldersOpensFoldersAndGroupsInPlaceOfTheirMenu) {
    UserDefaults::standardUserDefaults().setBool(true, "ExpandFolders");
    actions->menu = std::make_shared<Menu>("");
    actions->menu->addItemWithTitle("Options");
    std::filesystem::create_directories(env.root() + "/Documents");
    for (const Value& item : {Value(FileSystemNode::initWithPath(env.root() + "/Documents")), Value(GroupModel::create())}) {
        auto cell = cellFor(item);
        EXPECT_TRUE(cell->isGroupOrFolder());
        actions->calls.clear();
        cell->mouseDown(press(cell->view(), NSEventModifierFlagCommand));
        cell->rightMouseDown(press(cell->view(), 0, NSEventTypeRightMouseDown));
        EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseDown", "mouseUp NO", "mouseUp NO"}));
    }

    // A kept application is no folder: its menu stays reachable (to remove it, say).
    auto app = cellFor(Value(FileSystemNode::initWithPath(applicationEntry())));
    EXPECT_FALSE(app->isGroupOrFolder());
    std::vector<std::string> shown;
    closeNextMenu(shown);
    actions->calls.clear();
    app->rightMouseDown(press(app->view(), 0, NSEventTypeRightMouseDown));
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"menu"}));
    EXPECT_EQ(shown, (std::vector<std::string>{"Options"}));

    // Off, a folder's Command+click is its menu again.
    UserDefaults::standardUserDefaults().setBool(false, "ExpandFolders");
    auto folder = cellFor(Value(FileSystemNode::initWithPath(env.root() + "/Documents")));
    shown.clear();
    closeNextMenu(shown);
    actions->calls.clear();
    folder->mouseDown(press(folder->view(), NSEventModifierFlagCommand));
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"mouseDown", "menu"}));
}

TEST_F(DockCellTest, HoverAndTheStopNotice) {
    auto app = application(100);
    auto cell = cellFor(Value(app));
    QWidget* v = cell->view();
    cell->mouseEntered(press(v, 0, NSEventTypeMouseEntered));
    ASSERT_EQ(actions->previews.size(), 1u);
    ASSERT_TRUE(actions->previews[0].has_value());
    EXPECT_EQ((*actions->previews[0])["app"].object(), app);
    EXPECT_EQ(viewOfValue((*actions->previews[0])["view"]), v);

    // Moves keep one timer; the notice comes 0.2 s after the last move, once.
    const size_t timersBefore = env.loop().timerCount();
    for (int i = 0; i < 5; ++i) {
        cell->mouseMoved(press(v, 0, NSEventTypeMouseMoved));
        EXPECT_LE(env.loop().timerCount(), timersBefore + 1);
        env.loop().advance(0.05);
    }
    // The last move was at 0.20: nothing at 0.39, the notice at 0.40.
    env.loop().advance(0.14);
    EXPECT_TRUE(actions->stops.empty());
    env.loop().advance(0.011);
    ASSERT_EQ(actions->stops.size(), 1u);
    EXPECT_EQ(actions->stops[0]["app"].object(), app);
    EXPECT_EQ(viewOfValue(actions->stops[0]["view"]), v);
    env.loop().advance(1.0);
    EXPECT_EQ(actions->stops.size(), 1u);

    // Leaving does not cancel a pending notice.
    cell->mouseMoved(press(v, 0, NSEventTypeMouseMoved));
    cell->mouseExited(press(v, 0, NSEventTypeMouseExited));
    EXPECT_FALSE(actions->previews.back().has_value());
    env.loop().advance(0.2);
    EXPECT_EQ(actions->stops.size(), 2u);
}

TEST_F(DockCellTest, DroppedFilesGoToTheCellActionsWithTheItem) {
    auto folder = FileSystemNode::initWithPath(env.root());
    auto cell = cellFor(Value(folder));
    auto zone = new QWidget;
    cell->setDropCell(zone);
    EXPECT_EQ(zone->parentWidget(), cell->view());
    EXPECT_EQ(zone->geometry(), cell->view()->rect());
    std::vector<URLPtr> dropped{URL::fileURLWithPath("/tmp/a"), URL::fileURLWithPath("/tmp/b")};
    cell->dropZone(zone, dropped);
    EXPECT_EQ(actions->calls, (std::vector<std::string>{"files"}));
    EXPECT_EQ(actions->files, dropped);
    EXPECT_EQ(actions->filesObject.object(), folder);
}

TEST_F(DockCellTest, TheCollectionViewMakesCellsFromThePrototype) {
    CollectionView view;
    view.setItemPrototype(prototype);
    view.setMinItemSize(MakeSize(64, 64));
    view.setMaxItemSize(MakeSize(64, 64));
    view.resize(64 * 3, 64);
    view.setContent(Array{Value(application(1)), Value(Separator::create()), Value(GroupModel::create())});
    ASSERT_EQ(view.numberOfItems(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        auto* cell = dynamic_cast<DockCollectionItemCell*>(view.itemAtIndex(i));
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->cellDelegate(), actions);
        EXPECT_EQ(cell->view()->size(), QSize(64, 64));
        EXPECT_EQ(cell->itemView()->representedObject(), view.content()[i]);
    }
    // Only the running application shows an indicator.
    EXPECT_TRUE(static_cast<DockCollectionItemCell*>(view.itemAtIndex(0))->indicator()->isVisibleTo(view.itemAtIndex(0)->view()));
    EXPECT_FALSE(static_cast<DockCollectionItemCell*>(view.itemAtIndex(1))->indicator()->isVisibleTo(view.itemAtIndex(1)->view()));
}

// ---------------------------------------------------------------------------------
// Running indicator

TEST_F(DockCellTest, TheIndicatorSitsBesideTheIconTowardTheScreenEdge) {
    auto config = DockConfiguration::create();
    actions->setConfig(config);
    auto running = cellFor(Value(application(100)));
    QWidget* view = running->view();
    const QRect icon = running->imageView()->geometry();
    const QRect bottom(0, 56, 64, 8), left(0, 0, 7, 64), right(57, 0, 7, 64);
    auto pixels = [&](const QRect& area) { return countPixels(view->grab().toImage(), area, isBlack); };

    struct Case {
        int position;
        QRect where;
        bool upright;
    };
    for (const Case& c : {Case{1, bottom, false}, Case{0, left, true}, Case{2, right, true}, Case{3, bottom, false}}) {
        SCOPED_TRACE(c.position);
        config->setPosition(int16_t(c.position));
        running->dockPositionDidChange();
        const QRect mark = running->indicator()->geometry();
        EXPECT_TRUE(view->rect().contains(mark)) << "inside its own cell, never between two";
        EXPECT_FALSE(mark.intersects(icon)) << "beside the icon, not over it";
        EXPECT_EQ(mark.height() > mark.width(), c.upright);
        EXPECT_GT(pixels(c.where), 20);
        for (const QRect& other : {bottom, left, right})
            if (other != c.where) EXPECT_EQ(pixels(other), 0);
        if (c.upright) EXPECT_LE(std::abs(mark.center().y() - icon.center().y()), 1) << "level with the icon";
        else EXPECT_LE(std::abs(mark.center().x() - icon.center().x()), 1) << "under the icon";
    }
}

TEST_F(DockCellTest, TheIndicatorShowsOnlyForRunningItems) {
    const QRect indicatorArea(20, 56, 24, 8);  // around the bottom centre of a 64-point cell
    auto running = cellFor(Value(application(100)));
    auto group = cellFor(Value(GroupModel::create()));
    auto separator = cellFor(Value(Separator::create()));
    EXPECT_GT(countPixels(running->view()->grab().toImage(), indicatorArea, isBlack), 20);
    EXPECT_EQ(countPixels(group->view()->grab().toImage(), indicatorArea, isBlack), 0);
    EXPECT_EQ(countPixels(separator->view()->grab().toImage(), indicatorArea, isBlack), 0);

    // A kept application's file item shows it while the application runs.
    const std::string entry = applicationEntry();
    auto kept = cellFor(Value(FileSystemNode::initWithPath(entry)));
    EXPECT_EQ(countPixels(kept->view()->grab().toImage(), indicatorArea, isBlack), 0);
    RunningApplication::Info info;
    info.pid = 300;
    info.localizedName = "Editor";
    info.bundlePath = entry;
    sim.desktop->addApplication(info);
    env.loop().runPending();
    EXPECT_GT(countPixels(kept->view()->grab().toImage(), indicatorArea, isBlack), 20);
    sim.desktop->terminateApplication(300);
    env.loop().runPending();
    EXPECT_EQ(countPixels(kept->view()->grab().toImage(), indicatorArea, isBlack), 0);

    // "hideIndicators" hides every indicator at once, and brings them back.
    UserDefaults::standardUserDefaults().setBool(true, "hideIndicators");
    EXPECT_EQ(countPixels(running->view()->grab().toImage(), indicatorArea, isBlack), 0);
    UserDefaults::standardUserDefaults().setBool(false, "hideIndicators");
    EXPECT_GT(countPixels(running->view()->grab().toImage(), indicatorArea, isBlack), 20);

    // Black on themes of type 0, white on the others.
    setThemeType(3);
    running->viewWillLayout();
    QImage image = running->view()->grab().toImage();
    EXPECT_EQ(countPixels(image, indicatorArea, isBlack), 0);
    EXPECT_GT(countPixels(image, indicatorArea, isWhite), 20);
    // A theme chosen later is followed too.
    setThemeType(0);
    NotificationCenter::defaultCenter().postNotificationName("ThemeIndex");
    EXPECT_GT(countPixels(running->view()->grab().toImage(), indicatorArea, isBlack), 20);
    EXPECT_EQ(running->indicator()->cornerRadius(), 4.0);
    EXPECT_TRUE(running->indicator()->isMomentary());
}

// ---------------------------------------------------------------------------------
// Badge

TEST_F(DockCellTest, TheBadgeFollowsChangeBadgeForItsProcess) {
    const QRect corner(40, 0, 24, 24);
    auto cell = cellFor(Value(application(123)));
    auto group = cellFor(Value(GroupModel::create()));
    CustomBadge* b = cell->badgeView();
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(cell->isBadgesActive());
    EXPECT_EQ(countPixels(cell->view()->grab().toImage(), corner, isRed), 0);

    postBadge(badge(123, "5"));
    EXPECT_TRUE(b->isVisibleTo(cell->view()));
    EXPECT_EQ(b->size(), QSize(15, 15));
    EXPECT_EQ(b->geometry().topRight(), QPoint(63, 0));
    EXPECT_GT(countPixels(cell->view()->grab().toImage(), corner, isRed), 40);
    EXPECT_FALSE(group->badgeView()->isVisibleTo(group->view()));

    // Another process's badge leaves it alone; a missing text and an empty one hide it.
    postBadge(badge(124, "9"));
    EXPECT_TRUE(b->isVisibleTo(cell->view()));
    EXPECT_EQ(b->badgeText(), "5");
    postBadge(badge(123, std::nullopt));
    EXPECT_FALSE(b->isVisibleTo(cell->view()));
    postBadge(badge(123, "12"));
    EXPECT_TRUE(b->isVisibleTo(cell->view()));
    EXPECT_GT(b->width(), 15);
    postBadge(badge(123, ""));
    EXPECT_FALSE(b->isVisibleTo(cell->view()));
    EXPECT_EQ(countPixels(cell->view()->grab().toImage(), corner, isRed), 0);

    // Switched off: every "changeBadge" hides it; a nil object clears it too.
    postBadge(badge(123, "3"));
    UserDefaults::standardUserDefaults().setBool(false, "ShowAppBadges");
    postBadge(badge(123, "3"));
    EXPECT_FALSE(cell->isBadgesActive());
    EXPECT_FALSE(b->isVisibleTo(cell->view()));
    UserDefaults::standardUserDefaults().setBool(true, "ShowAppBadges");
    postBadge(badge(123, "3"));
    EXPECT_TRUE(b->isVisibleTo(cell->view()));
    postBadge(Value());
    EXPECT_FALSE(b->isVisibleTo(cell->view()));
}

TEST_F(DockCellTest, AnyBadgeTextStaysInsideTheCellOnOneLine) {
    auto cell = cellFor(Value(application(123)));
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "12\n\xE2\x80\x8F" "34\t\xD7\x90" "5";  // line breaks, RLM, Hebrew
    text.resize(10000);  // may cut a character in half
    postBadge(badge(123, text));
    CustomBadge* b = cell->badgeView();
    EXPECT_TRUE(b->isVisibleTo(cell->view()));
    EXPECT_EQ(b->height(), 15);
    EXPECT_LE(b->width(), 64);
    EXPECT_TRUE(cell->view()->rect().contains(b->geometry()));
    EXPECT_FALSE(b->displayText().contains(QLatin1Char('\n')));
    EXPECT_FALSE(b->displayText().contains(QLatin1Char('\t')));
    QImage image = cell->view()->grab().toImage();
    EXPECT_FALSE(image.isNull());
    EXPECT_GT(countPixels(image, QRect(0, 0, 64, 16), isRed), 100);

    // A narrower cell narrows the badge.
    resizeView(cell->view(), 40);
    EXPECT_LE(b->width(), 40);
    EXPECT_EQ(b->geometry().right(), 39);
}

TEST_F(DockCellTest, IdenticalBadgesRepaintNothing) {
    auto cell = cellFor(Value(application(123)));
    QWidget* v = cell->view();
    v->show();
    settle();
    postBadge(badge(123, "7"));
    settle();
    auto paints = [&] {
        return cell->itemView()->paintCount() + cell->badgeView()->paintCount() + cell->indicator()->paintCount() +
               cell->imageView()->paintCount();
    };
    const int before = paints();
    for (int i = 0; i < 10; ++i) {
        postBadge(badge(123, "7"));
        postBadge(badge(124, "1"));
        postBadge(badge(200, ""));
        settle();
    }
    EXPECT_EQ(paints(), before);
    UserDefaults::standardUserDefaults().setBool(false, "hideIndicators");  // no change either
    cell->viewWillLayout();
    settle();
    EXPECT_EQ(paints(), before);

    postBadge(badge(123, "8"));
    settle();
    EXPECT_GT(paints(), before);

    // A new badge size shows at the next notice, even where the size stays square.
    const int badgePaints = cell->badgeView()->paintCount();
    UserDefaults::standardUserDefaults().setInteger(2, "BadgesSize");
    postBadge(badge(123, "8"));
    settle();
    EXPECT_EQ(cell->badgeView()->size(), QSize(15, 15));
    EXPECT_GT(cell->badgeView()->paintCount(), badgePaints);
    v->hide();
}

// ---------------------------------------------------------------------------------
// Launch bounce

TEST_F(DockCellTest, ALaunchingApplicationBouncesFourCycles) {
    auto app = application(100, false);
    auto cell = cellFor(Value(app));
    auto& loop = env.loop();
    const QWidget* icon = cell->imageView();
    EXPECT_EQ(icon->size(), QSize(50, 50));
    EXPECT_EQ(cell->iconOriginY(), 9.0);
    EXPECT_EQ(DockCollectionItemCell::bounceCounter(), 1);

    loop.advance(0.15);
    EXPECT_GT(cell->iconOriginY(), 9.0);
    EXPECT_LT(cell->iconOriginY(), 14.0);
    loop.advance(0.15);  // 0.3
    EXPECT_DOUBLE_EQ(cell->iconOriginY(), 14.0);
    EXPECT_EQ(icon->y(), 0);  // 64 - 14 - 50, in the view's y-down pixels
    loop.advance(0.2);  // 0.5
    EXPECT_DOUBLE_EQ(cell->iconOriginY(), 9.0);
    EXPECT_EQ(icon->y(), 5);
    loop.advance(0.29);  // 0.79: resting
    EXPECT_DOUBLE_EQ(cell->iconOriginY(), 9.0);
    loop.advance(0.01 + 0.3);  // 1.1: the second cycle's top
    EXPECT_DOUBLE_EQ(cell->iconOriginY(), 14.0);
    EXPECT_EQ(DockCollectionItemCell::bounceCounter(), 2);

    // Four cycles in all: the fourth reaches its top at 2.7 and ends at 3.2.
    loop.advance(1.6);  // 2.7
    EXPECT_DOUBLE_EQ(cell->iconOriginY(), 14.0);
    EXPECT_EQ(DockCollectionItemCell::bounceCounter(), 4);
    loop.advance(0.5);  // 3.2
    EXPECT_FALSE(cell->isBouncing());
    loop.advance(0.3);
    EXPECT_DOUBLE_EQ(cell->iconOriginY(), 9.0);
    EXPECT_EQ(loop.timerCount(), 0u);
}

TEST_F(DockCellTest, FinishingDuringACycleEndsTheBounceAfterIt) {
    auto app = application(100, false);
    auto cell = cellFor(Value(app));
    auto& loop = env.loop();
    loop.advance(0.4);
    app->setFinishedLaunching(true);
    loop.advance(0.1);  // 0.5: the cycle goes on down
    EXPECT_DOUBLE_EQ(cell->iconOriginY(), 9.0);
    loop.advance(0.6);  // 1.1: no second cycle
    EXPECT_DOUBLE_EQ(cell->iconOriginY(), 9.0);
    EXPECT_FALSE(cell->isBouncing());
    EXPECT_EQ(DockCollectionItemCell::bounceCounter(), 1);

    // A finished application never bounces.
    auto still = cellFor(Value(application(101)));
    EXPECT_FALSE(still->isBouncing());
    loop.advance(0.3);
    EXPECT_DOUBLE_EQ(still->iconOriginY(), 9.0);
}

TEST_F(DockCellTest, ANewApplicationCellResetsTheSharedCounter) {
    auto first = cellFor(Value(application(100, false)));
    auto& loop = env.loop();
    loop.advance(2.3);  // three cycles
    EXPECT_EQ(DockCollectionItemCell::bounceCounter(), 3);
    auto other = cellFor(Value(application(101)));  // finished: resets, does not bounce
    EXPECT_EQ(DockCollectionItemCell::bounceCounter(), 0);
    // The first goes on past the four cycles it would have had: its fourth ends at 3.2,
    // and it is still bouncing at 3.5.
    loop.advance(1.2);  // 3.5
    EXPECT_TRUE(first->isBouncing());
    EXPECT_DOUBLE_EQ(first->iconOriginY(), 14.0);
    EXPECT_FALSE(other->isBouncing());
}

TEST_F(DockCellTest, ABounceEndsWithItsObject) {
    auto app = application(100, false);
    auto cell = cellFor(Value(app));
    auto& loop = env.loop();
    loop.advance(0.2);
    cell->setRepresentedObject(Value(Separator::create()));
    EXPECT_DOUBLE_EQ(cell->iconOriginY(), 9.0);
    EXPECT_FALSE(cell->isBouncing());
    EXPECT_EQ(loop.timerCount(), 0u);
    loop.advance(2.0);
    EXPECT_DOUBLE_EQ(cell->iconOriginY(), 9.0);

    // A cell dropped mid-bounce and mid-hover leaves no timer and no observation behind:
    // nothing calls it afterwards.
    auto& controller = UserDefaultsController::sharedUserDefaultsController();
    const size_t observations = controller.observationCount();
    const size_t observers = NotificationCenter::defaultCenter().observerCount();
    auto gone = cellFor(Value(application(102, false)));
    EXPECT_GT(controller.observationCount(), observations);
    gone->mouseMoved(press(gone->view(), 0, NSEventTypeMouseMoved));
    loop.advance(0.1);
    gone.reset();
    EXPECT_EQ(loop.timerCount(), 0u);
    EXPECT_EQ(controller.observationCount(), observations);
    EXPECT_EQ(NotificationCenter::defaultCenter().observerCount(), observers);
    UserDefaults::standardUserDefaults().setBool(true, "hideIndicators");
    postBadge(badge(102, "1"));
    loop.advance(1.0);
    EXPECT_TRUE(actions->stops.empty());
}

// ---------------------------------------------------------------------------------
// Icon

// A panel lays its cells out at a provisional size before its own: the icon is asked for
// once the layout has settled, at the size the cell keeps, not decoded for every size it
// passed through (a dock of thousands of items would decode thousands of large icons).
TEST_F(DockCellTest, ACellLaidOutAtSeveralSizesInOneTurnAsksForItsIconOnceAtTheLast) {
    auto group = GroupModel::create();
    QImage green(256, 256, QImage::Format_ARGB32_Premultiplied);
    green.fill(Qt::green);
    group->setIcon(std::make_shared<Image>(green));
    auto& cache = ItemIconCache::shared();
    const size_t jobs = cache.jobCount();
    auto cell = cellFor(Value(group), 480);
    resizeView(cell->view(), 64);
    test::settleIcons(env.loop());
    EXPECT_EQ(cache.jobCount(), jobs + 1) << "one icon decoded, at the size kept";
    const QImage shot = cell->view()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(32, 30), QColor(Qt::green));
}

TEST_F(DockCellTest, TheStartMenusDarkIconStaysVisibleOnDarkThemes) {
    // A black glyph on a clear ground, as the icon theme's start-menu icon is.
    auto glyph = [](QColor colour) {
        QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QRectF(4, 4, 40, 40));
        return std::make_shared<Image>(image);
    };
    MenuModel::resetSharedInstanceForTesting();
    auto menu = MenuModel::init();
    menu->setCustomIcon(glyph(Qt::black));
    auto cell = cellFor(Value(menu));
    auto group = GroupModel::create();
    group->setIcon(glyph(Qt::black));
    auto other = cellFor(Value(group));
    test::settleIcons(env.loop());
    const QRect iconArea(7, 5, 50, 50);
    auto light = [](QColor c) { return c.red() > 200 && c.green() > 200 && c.blue() > 200; };
    auto countIn = [&](const std::shared_ptr<DockCollectionItemCell>& c, const std::function<bool(QColor)>& f) {
        return countPixels(c->view()->grab().toImage(), iconArea, f);
    };
    auto choose = [&](int type) {
        setThemeType(type);
        NotificationCenter::defaultCenter().postNotificationName("ThemeIndex");
    };
    auto& defaults = UserDefaults::standardUserDefaults();
    auto setBackground = [&](double grey) {
        defaults.setObject(Value(Color::colorWithCalibratedRed(grey, grey, grey, 1.0)->archivedData()),
                           "backgroundColor");
    };

    choose(ThemeInfo::SystemLight);
    EXPECT_GT(countIn(cell, isBlack), 800) << "dark on the light theme, as it is";
    EXPECT_EQ(countIn(cell, light), 0);
    struct Case {
        const char* name;
        int type;
    };
    for (const Case& c : {Case{"System Dark", ThemeInfo::SystemDark}, Case{"Transparent", ThemeInfo::Transparent},
                          Case{"Color", ThemeInfo::ColorTheme}}) {
        SCOPED_TRACE(c.name);
        choose(c.type);
        EXPECT_GT(countIn(cell, light), 800) << "drawn light on the dark background";
        EXPECT_EQ(countIn(cell, isBlack), 0);
        EXPECT_GT(countIn(other, isBlack), 800) << "other items keep their own colours";
    }
    // The colour theme follows the user's colour, changed while shown too.
    setBackground(0.95);
    EXPECT_GT(countIn(cell, isBlack), 800);
    setBackground(0.1);
    EXPECT_GT(countIn(cell, light), 800);
    defaults.removeObjectForKey("backgroundColor");

    // A picture theme by its picture: a night sky is dark, a beach is not.
    auto picture = [](QColor colour) {
        QImage image(200, 40, QImage::Format_ARGB32);
        image.fill(colour);
        return std::make_shared<Image>(image);
    };
    auto theme = ThemeManager::sharedInstance()->currenThemeInfo();
    theme->setBackgroundImage(picture(QColor(10, 20, 50)));
    choose(ThemeInfo::PictureTheme);
    EXPECT_GT(countIn(cell, light), 800) << "Night";
    theme->setBackgroundImage(picture(QColor(240, 220, 180)));
    choose(ThemeInfo::PictureTheme);
    EXPECT_GT(countIn(cell, isBlack), 800) << "a light picture";
    theme->setBackgroundImage(nullptr);

    // An icon that is not dark is drawn as it is on a dark theme.
    choose(ThemeInfo::SystemDark);
    menu->setCustomIcon(glyph(QColor(230, 90, 60)));
    test::settleIcons(env.loop());
    auto orange = [](QColor c) { return c.red() > 200 && c.green() > 60 && c.green() < 120 && c.blue() < 90; };
    EXPECT_GT(countIn(cell, orange), 800);
    choose(ThemeInfo::SystemLight);
    MenuModel::resetSharedInstanceForTesting();
}

TEST_F(DockCellTest, TheIconIsDrawnAndFollowsTheItem) {
    auto group = GroupModel::create();
    QImage green(32, 32, QImage::Format_ARGB32_Premultiplied);
    green.fill(Qt::green);
    group->setIcon(std::make_shared<Image>(green));
    auto cell = cellFor(Value(group));
    // Icons arrive from the cache's background jobs.
    auto settle = [this] { test::settleIcons(env.loop()); };
    settle();
    QImage shot = cell->view()->grab().toImage();
    const QRect iconArea(7, 5, 50, 50);
    auto isGreen = [](QColor c) { return c.green() > 200 && c.red() < 60 && c.blue() < 60; };
    EXPECT_GT(countPixels(shot, iconArea, isGreen), 2000);

    QImage blue(32, 32, QImage::Format_ARGB32_Premultiplied);
    blue.fill(Qt::blue);
    group->setIcon(std::make_shared<Image>(blue));
    settle();
    shot = cell->view()->grab().toImage();
    auto isBlue = [](QColor c) { return c.blue() > 200 && c.red() < 60 && c.green() < 60; };
    EXPECT_EQ(countPixels(shot, iconArea, isGreen), 0);
    EXPECT_GT(countPixels(shot, iconArea, isBlue), 2000);
}

}  // namespace
}  // namespace qs
