#include <cmath>
#include <limits>

#include <QApplication>
#include <QPainter>

#include <QEventLoop>
#include <QTimer>
#include <QPointer>
#include <QWindow>

#include <gtest/gtest.h>

#include "core/DockTestSupport.h"
#include "core/Separator.h"
#include "core/ThemeManager.h"
#include "dock_ui/CellActionsDelegate.h"
#include "dock_ui/DockCollectionView.h"
#include "dock_ui/DockContentView.h"
#include "dock_ui/DockCollectionItemCell.h"
#include "dock_ui/DockWindow.h"
#include "dock_ui/TrashCell.h"
#include "dock_ui/CollectionViewDelegate.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimPanelWindows.h"
#include "platform/ui/VisualEffectView.h"
#include "platform/ui/WindowGeometry.h"

namespace qs::test {
namespace {

namespace NU = NSWindow_Utilities;

class Panel : public DockTest {
protected:
    Panel() {
        ThemeManager::resetSharedInstanceForTesting();
        ThemeManager::setResourceThemesDirectoryForTesting(std::string());
        model = DockModel::create();
        model->setPanelContent({});
        config = DockConfiguration::create();
        config->setPosition(1);
        config->setAligment(0);
        config->setIconSize(64);
    }
    ~Panel() override {
        if (w) {
            w->orderOut();
            w->close();
            w.reset();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ThemeManager::resetSharedInstanceForTesting();
        ThemeManager::setResourceThemesDirectoryForTesting(std::nullopt);
    }
    void fill(size_t n) {
        Array items;
        for (size_t i = 0; i < n; ++i) items.push_back(Value(Separator::create()));
        model->setPanelContent(items);
    }
    void open(ScreenPtr screen = nullptr) {
        if (!screen) screen = a;
        w = DockWindow::initWithPanelModel(model, config, screen);
        w->fadeInOnScreen(screen);
        env.loop().advance(0.2);
    }
    // The pointer at a platform point (y up) of the first screen.
    void pointerAt(double x, double y) { sim.desktop->setPointer(MakePoint(x, 900 - y)); }
    int themeOfType(int type) {
        auto& list = ThemeManager::sharedInstance()->themeList();
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i]->themeType() == type) return int(i);
        return -1;
    }

    std::shared_ptr<DockModel> model;
    std::shared_ptr<DockConfiguration> config;
    std::shared_ptr<DockWindow> w;
};

TEST_F(Panel, CellSizeFollowsTheItemCountAndTheEdge) {
    fill(30);
    open();
    EXPECT_TRUE(w->isVisiblePanel());
    EXPECT_DOUBLE_EQ(w->alphaValue(), 1.0);
    EXPECT_EQ(w->frame(), MakeRect(0, 0, 1440, 48));
    EXPECT_EQ(w->collectionView()->itemSize(), MakeSize(48, 48));
    EXPECT_EQ(w->maxItemsHightForCount(30, 64), 48);

    fill(20);
    EXPECT_EQ(w->frame(), MakeRect(0, 0, 1280, 64));
    EXPECT_EQ(w->collectionView()->itemAtIndex(19)->view()->geometry(), QRect(19 * 64, 0, 64, 64));

    fill(0);  // an empty dock is one cell long
    EXPECT_EQ(w->frame(), MakeRect(0, 0, 64, 64));

    // Cells that do not fit shrink alike to whole points inside the edge (1440 / 31 is
    // 46.45: 46, not 47, which would make the panel 1457 long), and grow back.
    for (size_t n : {size_t(23), size_t(31), size_t(40), size_t(97)}) {
        fill(n);
        EXPECT_LE(w->frame().size.width, 1440) << n;
        EXPECT_EQ(w->frame().size.width, double(n) * w->frame().size.height) << n;
        EXPECT_GE(w->frame().size.width, 1440 - double(n)) << n << ": as long as the whole points allow";
    }
    fill(31);
    EXPECT_EQ(w->frame(), MakeRect(0, 0, 31 * 46, 46));
    fill(22);
    EXPECT_EQ(w->frame(), MakeRect(0, 0, 22 * 64, 64));
    config->setPosition(0);  // along a side: the screen's height is the edge
    fill(20);
    EXPECT_EQ(w->frame().size, MakeSize(45, 900));
    config->setPosition(1);

    fill(3);
    config->setIconSize(63.7f);
    EXPECT_EQ(w->frame(), MakeRect(0, 0, 189, 63));
    config->setPosition(0);
    EXPECT_EQ(w->frame().size, MakeSize(63, 189));
    EXPECT_EQ(w->collectionView()->maxNumberOfColumns(), 1u);
    EXPECT_EQ(w->collectionView()->itemAtIndex(2)->view()->geometry(), QRect(0, 126, 63, 63));
}

TEST_F(Panel, UnusableIconSizesAndScreensGiveASafePanel) {
    fill(5);
    open();
    for (float bad : {0.0f, -12.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        config->setIconSize(bad);
        Rect f = w->frame();
        EXPECT_EQ(f.size, MakeSize(5 * 52, 52)) << bad;
    }
    EXPECT_TRUE(env.logged("cannot be laid out"));
    config->setIconSize(10000);  // shrinks to the edge; a cell never outgrows the screen
    EXPECT_EQ(w->frame(), MakeRect(0, 0, 1440, 288));
    fill(0);
    EXPECT_EQ(w->frame().size, MakeSize(900, 900));

    // A screen of one pixel, then no screen at all, then a screen again.
    fill(4);
    config->setIconSize(64);
    a->setFrame(MakeRect(0, 0, 1, 1));
    sim.screens->postScreenParametersChanged();
    EXPECT_GE(w->frame().size.width, 1);
    EXPECT_GE(w->frame().size.height, 1);
    sim.screens->setScreens({});
    sim.screens->postScreenParametersChanged();
    EXPECT_GE(w->frame().size.width, 1);
    a->setFrame(MakeRect(0, 0, 1440, 900));
    sim.screens->setScreens({a});
    sim.screens->postScreenParametersChanged();
    EXPECT_EQ(w->frame(), MakeRect(0, 0, 256, 64));
}

TEST_F(Panel, EveryEdgeAndAlignmentIsPlacedByThePlacementRule) {
    fill(4);
    open();
    for (int16_t pos = 0; pos < 4; ++pos) {
        for (int16_t al = 0; al < 4; ++al) {
            config->setPosition(pos);
            config->setAligment(al);
            NU::PlacementInput in;
            in.screen = MakeSize(1440, 900);
            in.visible = MakeSize(1440, 900);
            in.window = (pos == 0 || pos == 2) ? MakeSize(64, 256) : MakeSize(256, 64);
            Rect expected = NU::placedFrame(NU::Edge(pos), NU::Alignment(al), in);
            EXPECT_EQ(w->frame(), expected) << pos << "/" << al;
            EXPECT_EQ(w->cornerRadius(), al == 3 ? 0.0 : 6.0);
        }
    }
    config->setAligment(1);
    config->setCornerStyle(7);
    w->applyAligmnet();
    EXPECT_EQ(w->cornerRadius(), 20.0);
    EXPECT_EQ(w->dockContentView()->cornerRadius(), 20.0);
}

TEST_F(Panel, APanelOnAScreenOffTheOriginIsMovedByItsOrigin) {
    addB();
    fill(2);
    config->setAligment(0);
    open(b);
    EXPECT_EQ(w->frame(), MakeRect(1440, 0, 128, 64));
    // Left edge with the indent: the local placement (6, ...) is moved even when it
    // happens to equal the screen's origin.
    b->setFrame(MakeRect(6, 900, 800, 600));
    defaults().setBool(true, "Indent");
    config->setPosition(0);
    EXPECT_EQ(w->frame().origin.x, 12);
    EXPECT_GE(w->frame().origin.y, 900);
}

TEST_F(Panel, FramesForMaximisedWindows) {
    fill(0);
    open();
    EXPECT_EQ(w->maxFrameForMaximize(), MakeRect(0, 0, 1440, 900 - 64 - 1));
    EXPECT_EQ(w->maxFrameForVerticalMaximizeFrame(MakeRect(10, 20, 800, 600)), MakeRect(10, 20, 800, 900 - 64 - 8));
    defaults().setBool(true, "Indent");
    EXPECT_EQ(w->maxFrameForMaximize(), MakeRect(0, 0, 1440, 900 - 64 - 1 - 8));
    config->setPosition(2);
    EXPECT_EQ(w->maxFrameForMaximize(), MakeRect(0, 0, 1440 - 64 - 1 - 8, 900));
    config->setPosition(3);
    EXPECT_EQ(w->maxFrameForMaximize(), MakeRect(0, 64, 1440, 900 - 64));
    EXPECT_EQ(w->maxFrameForVerticalMaximizeFrame(MakeRect(10, 20, 800, 600)), RectZero);
}

TEST_F(Panel, CellsAreMadeOncePerItemAndKeptAcrossModelChanges) {
    fill(10);
    open();
    auto* view = w->collectionView();
    EXPECT_EQ(view->itemsMade(), 10);
    std::vector<CollectionViewItem*> before;
    for (size_t i = 0; i < 10; ++i) before.push_back(view->itemAtIndex(i));
    Array items = model->panelContent();
    items.insert(items.begin() + 3, Value(Separator::create()));
    model->setPanelContent(items);
    EXPECT_EQ(view->itemsMade(), 11);
    EXPECT_EQ(view->itemAtIndex(4), before[3]);
    EXPECT_EQ(w->frame().size.width, 11 * 64);

    // An item replaced in place: one cell made, no resize.
    Rect frame = w->frame();
    items[0] = Value(Separator::create());
    model->setPanelContent(items);
    EXPECT_EQ(view->itemsMade(), 12);
    EXPECT_EQ(w->frame(), frame);

    // The trash gets a cell of its own kind with the panel's delegate.
    model->addTrash();
    auto* trash = dynamic_cast<TrashCell*>(view->itemAtIndex(view->numberOfItems() - 1));
    ASSERT_TRUE(trash);
    EXPECT_EQ(trash->cellActionsDelegate(), w->cellActionsDelegate());
    // The panel's drag-and-drop delegate is the collection view's.
    EXPECT_EQ(view->delegate(), w->dragAndDropDelegate());
    EXPECT_EQ(w->cellActionsDelegate()->docWindow(), w.get());
}

TEST_F(Panel, AutoHideFadesWithThePollAndTheDelays) {
    fill(4);
    open();
    pointerAt(700, 450);
    defaults().setBool(true, "HideQuayside");
    // The setting hides at once when nothing holds the panel.
    EXPECT_DOUBLE_EQ(w->alphaValue(), 0.9);
    env.loop().advance(0.15);
    EXPECT_GT(w->alphaValue(), 0.1);
    EXPECT_LT(w->alphaValue(), 0.9);
    env.loop().advance(0.2);
    EXPECT_EQ(w->alphaValue(), 0.0);
    EXPECT_FALSE(w->isFadingOut());
    EXPECT_TRUE(w->isAutoHidden());
    EXPECT_FALSE(w->isVisible());  // unmapped: it takes no clicks
    EXPECT_EQ(w->maxFrameForMaximize(), MakeRect(0, 0, 1440, 900));

    // "autoHideDelay1" 15: the show follows 0.5 s after the poll finds the pointer in
    // the strip, and only one show waits however many ticks pass.
    defaults().setInteger(15, "autoHideDelay1");
    EXPECT_TRUE(w->isPolling());
    pointerAt(300, 5);
    env.loop().advance(0.3);
    EXPECT_EQ(w->pendingShows(), 1);
    env.loop().advance(0.3);
    EXPECT_EQ(w->pendingShows(), 1);
    EXPECT_EQ(w->alphaValue(), 0.0);
    env.loop().advance(0.25);
    EXPECT_GT(w->alphaValue(), 0.0);
    env.loop().advance(0.1);
    EXPECT_EQ(w->alphaValue(), 1.0);
    EXPECT_TRUE(w->isVisible());

    // Pointer over the panel: it stays; away: it hides at the next tick.
    pointerAt(30, 30);
    env.loop().advance(0.6);
    EXPECT_EQ(w->alphaValue(), 1.0);
    pointerAt(700, 450);
    env.loop().advance(0.7);
    EXPECT_EQ(w->alphaValue(), 0.0);

    // A show waiting while the pointer leaves the strip is dropped.
    pointerAt(300, 5);
    env.loop().advance(0.3);
    EXPECT_EQ(w->pendingShows(), 1);
    pointerAt(700, 450);
    env.loop().advance(0.3);
    EXPECT_EQ(w->pendingShows(), 0);
    env.loop().advance(1.0);
    EXPECT_EQ(w->alphaValue(), 0.0);

    // "autoHideDelay1" 5: at once.
    defaults().setInteger(5, "autoHideDelay1");
    EXPECT_EQ(w->autohideDelay(), -0.5);
    pointerAt(300, 5);
    env.loop().advance(0.3);
    env.loop().advance(0.0);
    EXPECT_GT(w->alphaValue(), 0.0);

    // Off: the poll stops and the panel shows.
    pointerAt(700, 450);
    env.loop().advance(1.0);
    EXPECT_EQ(w->alphaValue(), 0.0);
    defaults().setBool(false, "HideQuayside");
    EXPECT_FALSE(w->isPolling());
    env.loop().advance(0.2);
    EXPECT_EQ(w->alphaValue(), 1.0);
    size_t timers = env.loop().timerCount();
    env.loop().advance(60);
    EXPECT_LE(env.loop().timerCount(), timers);  // nothing polls or fades any more
}

TEST_F(Panel, OnePollPerPanelAndTheFirstPollStartsAfterTwoSeconds) {
    defaults().setBool(true, "HideQuayside");
    fill(2);
    pointerAt(30, 30);  // over the panel
    open();
    EXPECT_FALSE(w->isPolling());
    env.loop().advance(2.0);
    EXPECT_TRUE(w->isPolling());
    size_t timers = env.loop().timerCount();
    w->startMonitoringAutohide();
    w->startMonitoringAutohide();
    EXPECT_EQ(env.loop().timerCount(), timers);
    // hideDock alone: refused mid-fade and over the panel.
    EXPECT_EQ(w->alphaValue(), 1.0);
    w->hideDock();
    EXPECT_EQ(w->alphaValue(), 1.0);
    pointerAt(700, 450);
    w->hideDock();
    EXPECT_DOUBLE_EQ(w->alphaValue(), 0.9);
    env.loop().advance(0.1);
    double mid = w->alphaValue();
    w->hideDock();
    EXPECT_EQ(w->alphaValue(), mid);
    // A fade-in during a fade-out only stores the screen.
    w->fadeInOnScreen(a);
    EXPECT_TRUE(w->isFadingOut());
    env.loop().advance(0.3);
    EXPECT_EQ(w->alphaValue(), 0.0);
}

TEST_F(Panel, RunningIndicatorsFollowTheEdgeOfTheDock) {
    RunningApplication::Info info;
    info.pid = 4242;
    info.localizedName = "Editor";
    auto app = std::make_shared<RunningApplication>(info);
    model->setPanelContent({Value(app), Value(Separator::create())});
    open();
    auto* cell = dynamic_cast<DockCollectionItemCell*>(w->collectionView()->itemAtIndex(0));
    ASSERT_TRUE(cell && cell->indicator());
    auto mark = [&] { return cell->indicator()->geometry(); };
    const int side = w->collectionView()->itemAtIndex(0)->view()->width();
    EXPECT_GE(mark().top(), side - 8) << "under the icon of a bottom dock";
    config->setPosition(0);
    EXPECT_LE(mark().right(), 7) << "at the outer side of a left dock's cell";
    EXPECT_GT(mark().height(), mark().width());
    config->setPosition(2);
    EXPECT_GE(mark().left(), side - 7) << "at the outer side of a right dock's cell";
    config->setPosition(3);
    EXPECT_GE(mark().top(), side - 8);
}

TEST_F(Panel, ObservationsEndWithThePanel) {
    fill(2);
    size_t modelObservations = model->observationCount();
    size_t configObservations = config->observationCount();
    open();
    EXPECT_GT(model->observationCount(), modelObservations);
    w->orderOut();
    EXPECT_EQ(model->observationCount(), modelObservations);
    EXPECT_EQ(config->observationCount(), configObservations);
    EXPECT_FALSE(w->isPolling());
    // Settings and notifications reach it no more.
    defaults().setBool(true, "HideQuayside");
    NotificationCenter::defaultCenter().postNotificationName("WindowPreviewClosed");
    env.loop().advance(3.0);
    EXPECT_FALSE(w->isPolling());
}

TEST_F(Panel, AppearanceFollowsTheTheme) {
    fill(3);
    open();
    auto themes = ThemeManager::sharedInstance();
    VisualEffectView* effect = w->visualEffectView();
    ASSERT_TRUE(effect);
    themes->setThemeIndex(int16_t(themeOfType(ThemeInfo::SystemLight)));
    EXPECT_EQ(effect->parentWidget(), w->contentView());
    EXPECT_EQ(effect->state(), VisualEffectView::Active);
    EXPECT_EQ(effect->material(), VisualEffectView::Light);

    themes->setThemeIndex(int16_t(themeOfType(ThemeInfo::ColorTheme)));
    EXPECT_EQ(effect->parentWidget(), nullptr);
    EXPECT_EQ(effect->state(), VisualEffectView::Inactive);
    EXPECT_EQ(w->appearance(), NSAppearanceNameVibrantLight);
    defaults().setBool(true, "appearanceIndex");
    EXPECT_EQ(w->appearance(), NSAppearanceNameVibrantDark);

    themes->setThemeIndex(int16_t(themeOfType(ThemeInfo::SystemDark)));
    EXPECT_EQ(w->visualEffectView(), effect);  // the same view, back below the cells
    EXPECT_EQ(effect->parentWidget(), w->contentView());
    auto siblings = w->contentView()->children();
    EXPECT_LT(siblings.indexOf(effect), siblings.indexOf(w->collectionView()));
    EXPECT_EQ(effect->material(), VisualEffectView::Dark);

    themes->setThemeIndex(int16_t(themeOfType(ThemeInfo::Transparent)));
    EXPECT_EQ(effect->parentWidget(), nullptr);
    EXPECT_EQ(w->appearance(), NSAppearanceNameVibrantDark);  // unchanged

    config->setWindowCastsShadow(true);
    EXPECT_TRUE(w->hasShadow());
    config->setWindowCastsShadow(false);
    EXPECT_FALSE(w->hasShadow());
    config->setPanelLevel(1);
    EXPECT_EQ(w->level(), 3);
    config->setPanelLevel(0);
    EXPECT_EQ(w->level(), 101);
}

TEST_F(Panel, ColourAndPictureThemesDrawTheBackground) {
    fill(4);
    config->setPosition(1);
    open();
    auto themes = ThemeManager::sharedInstance();
    // A picture: top half red, bottom half blue.
    QImage picture(40, 20, QImage::Format_ARGB32);
    picture.fill(Qt::blue);
    QPainter(&picture).fillRect(0, 0, 40, 10, Qt::red);
    auto theme = std::make_shared<ThemeInfo>();
    theme->setThemeType(ThemeInfo::PictureTheme);
    theme->setThemeName("Test");
    theme->setBackgroundImage(std::make_shared<Image>(picture));
    themes->addTheme(theme);
    themes->setThemeIndex(int16_t(themes->themeList().size() - 1));
    QImage shot = w->dockContentView()->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(shot.width() / 2, 8)), QColor(Qt::red));
    EXPECT_EQ(QColor(shot.pixel(shot.width() / 2, shot.height() - 8)), QColor(Qt::blue));

    // A left dock turns the picture: with the flag its top edge goes to the left edge
    // (then mirrored top to bottom, as the flip draws it).
    config->setPosition(0);
    theme->setBackwardImageRotation(true);
    w->dockContentView()->update();
    shot = w->dockContentView()->grab().toImage();
    QColor left(shot.pixel(8, shot.height() / 2)), right(shot.pixel(shot.width() - 8, shot.height() / 2));
    EXPECT_NE(left, right);
    EXPECT_TRUE((left == QColor(Qt::red) && right == QColor(Qt::blue)) ||
                (left == QColor(Qt::blue) && right == QColor(Qt::red)));
}

// The panel keeps the space along its edge clear while "ReserveSpace" is on and auto-hide
// off, follows every change of edge and frame at once, gives the space back otherwise,
// and stands clear of what other panels keep on its screen.
TEST_F(Panel, TheSpaceAlongItsEdgeFollowsTheSettingsAndOtherPanels) {
    auto panels = std::make_shared<sim::SimPanelWindows>();
    desktop::PanelWindows::install(panels);
    auto& defaults = UserDefaults::standardUserDefaults();
    defaults.setBool(true, "ReserveSpace");
    fill(3);
    open();
    const uint64_t id = uint64_t(w->winId());
    auto reserved = [&] { return panels->reserved.count(id) ? panels->reserved[id] : std::nullopt; };
    ASSERT_TRUE(reserved());
    EXPECT_EQ(*reserved(), (desktop::ReservedSpace{1, MakeRect(0, 0, 192, 64)}));

    config->setPosition(3);
    ASSERT_TRUE(reserved());
    EXPECT_EQ(*reserved(), (desktop::ReservedSpace{3, MakeRect(0, 836, 192, 64)}));
    // Another panel keeps 24 points along the top: the dock moves below it.
    a->setVisibleFrame(MakeRect(0, 0, 1440, 876));
    sim.screens->postScreenParametersChanged();
    EXPECT_EQ(w->frame(), MakeRect(0, 812, 192, 64));
    ASSERT_TRUE(reserved());
    EXPECT_EQ(reserved()->panel, w->frame());

    defaults.setBool(false, "ReserveSpace");
    EXPECT_FALSE(reserved());
    defaults.setBool(true, "ReserveSpace");
    EXPECT_TRUE(reserved());
    // Auto-hide: the space stays while the panel fades and goes once it has hidden, so
    // that maximised windows grow into it only then; it is not kept again while the
    // panel shows at the pointer.
    defaults.setBool(true, "HideQuayside");
    EXPECT_TRUE(reserved());
    env.loop().advance(1.0);
    ASSERT_TRUE(w->isAutoHidden());
    EXPECT_FALSE(reserved());
    w->showDock();
    env.loop().advance(0.15);  // shown (0.1 s), before the next auto-hide poll
    EXPECT_EQ(w->alphaValue(), 1.0);
    EXPECT_FALSE(reserved());
    defaults.setBool(false, "HideQuayside");
    EXPECT_TRUE(reserved());
    w->orderOut();
    EXPECT_FALSE(reserved());
    desktop::PanelWindows::install(nullptr);
}

TEST_F(Panel, CompositingAsksForBlurAndTheWindowSystemIsTold) {
    sim.compositing->setRunning(true);
    auto panels = std::make_shared<sim::SimPanelWindows>();
    desktop::PanelWindows::install(panels);
    fill(2);
    ThemeManager::sharedInstance()->setThemeIndex(int16_t(themeOfType(ThemeInfo::SystemDark)));
    open();
    EXPECT_TRUE(w->isComposited());
    EXPECT_TRUE(w->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(w->testAttribute(Qt::WA_X11NetWmWindowTypeDock));
    ASSERT_FALSE(panels->calls.empty());
    EXPECT_EQ(panels->calls.front().rfind("prepare", 0), 0u);
    EXPECT_TRUE(panels->blurred[uint64_t(w->winId())]);
    ThemeManager::sharedInstance()->setThemeIndex(int16_t(themeOfType(ThemeInfo::ColorTheme)));
    EXPECT_FALSE(panels->blurred[uint64_t(w->winId())]);
    desktop::PanelWindows::install(nullptr);
}

TEST_F(Panel, WithACompositingManagerThePanelCastsAShadowAroundItselfWhenAsked) {
    sim.compositing->setRunning(true);
    auto panels = std::make_shared<sim::SimPanelWindows>();
    desktop::PanelWindows::install(panels);
    fill(3);
    open();
    EXPECT_FALSE(w->shadowWindow() && w->shadowWindow()->isVisible());
    config->setWindowCastsShadow(true);
    PanelShadow* shadow = w->shadowWindow();
    ASSERT_TRUE(shadow);
    EXPECT_TRUE(shadow->isVisible());
    const int m = PanelShadow::margin();
    EXPECT_EQ(shadow->geometry(), w->geometry().adjusted(-m, -m, m, m));
    // A dock window, like the panel, that takes no input.
    EXPECT_TRUE(shadow->testAttribute(Qt::WA_X11NetWmWindowTypeDock));
    EXPECT_TRUE(shadow->windowFlags() & Qt::WindowTransparentForInput);
    EXPECT_TRUE(std::find(panels->calls.begin(), panels->calls.end(),
                          "prepare " + std::to_string(uint64_t(shadow->winId())) + " above") != panels->calls.end());
    // Dark just outside the panel, nothing under it.
    const QImage drawn = shadow->grab().toImage();
    EXPECT_EQ(qAlpha(drawn.pixel(drawn.width() / 2, drawn.height() / 2)), 0);
    EXPECT_GT(qAlpha(drawn.pixel(drawn.width() / 2, m - 2)), 40);
    EXPECT_EQ(qAlpha(drawn.pixel(0, 0)), 0);

    // It follows the panel: a new size, the auto-hide, the setting.
    fill(6);
    EXPECT_EQ(shadow->geometry(), w->geometry().adjusted(-m, -m, m, m));
    defaults().setBool(true, "HideQuayside");
    env.loop().advance(0.5);
    ASSERT_TRUE(w->isAutoHidden());
    EXPECT_FALSE(shadow->isVisible());
    defaults().setBool(false, "HideQuayside");
    env.loop().advance(0.5);
    EXPECT_TRUE(shadow->isVisible());
    config->setWindowCastsShadow(false);
    EXPECT_FALSE(shadow->isVisible());
    desktop::PanelWindows::install(nullptr);
}

TEST_F(Panel, TheShadowStandsAroundThePanelWhateverMovedEitherWindow) {
    sim.compositing->setRunning(true);
    auto panels = std::make_shared<sim::SimPanelWindows>();
    desktop::PanelWindows::install(panels);
    fill(3);
    config->setWindowCastsShadow(true);
    open();
    PanelShadow* shadow = w->shadowWindow();
    ASSERT_TRUE(shadow && shadow->isVisible());
    const int m = PanelShadow::margin();
    auto around = [&] { return w->geometry().adjusted(-m, -m, m, m); };
    auto settled = [&] {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
            env.loop().runPending();
        }
    };
    settled();
    ASSERT_EQ(shadow->geometry(), around());

    // The window system reports the shadow where it was asked to stand before (a late
    // report), or its window manager moved it: it asks for its place again.
    shadow->windowHandle()->setPosition(around().topLeft() - QPoint(0, 119));
    settled();
    EXPECT_EQ(shadow->geometry(), around());

    // The panel's window placed by the window system rather than by the panel: the
    // shadow follows the window's report.
    w->windowHandle()->setPosition(w->geometry().topLeft() - QPoint(0, 40));
    settled();
    EXPECT_EQ(shadow->geometry(), around());

    // A window manager that keeps putting the shadow elsewhere is not fought for ever:
    // after a few requests the shadow stays where it is put.
    for (int i = 0; i < 10; ++i) {
        shadow->windowHandle()->setPosition(QPoint(0, 0));
        settled();
    }
    EXPECT_EQ(shadow->geometry().topLeft(), QPoint(0, 0));
    desktop::PanelWindows::install(nullptr);
}

TEST_F(Panel, APanelDroppedWhileALoopOfItsOwnRunsGoesOnlyOnceThatLoopHasEnded) {
    // As when the screens change while a cell's context menu runs its loop inside the
    // panel's event handler: the panel leaves the screen at once, and is deleted only
    // once the program is back in its main loop.
    fill(2);
    open();
    QPointer<DockWindow> raw = w.get();
    bool aliveInside = false, shownInside = true;
    QEventLoop main, menu;
    QTimer::singleShot(0, &main, [&] {
        QTimer::singleShot(0, &menu, [&] {
            w.reset();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            aliveInside = !raw.isNull();
            shownInside = raw && raw->isVisible();
            menu.quit();
        });
        menu.exec();
        QTimer::singleShot(300, &main, [&] { main.quit(); });
    });
    main.exec();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(aliveInside);
    EXPECT_FALSE(shownInside);
    EXPECT_TRUE(raw.isNull());
}

TEST_F(Panel, WithoutACompositingManagerThereIsNoShadowToCast) {
    config->setWindowCastsShadow(true);
    fill(2);
    open();
    EXPECT_TRUE(w->hasShadow());
    EXPECT_EQ(w->shadowWindow(), nullptr);
}

}  // namespace
}  // namespace qs::test

namespace qs::test {
namespace {

TEST_F(Panel, TheManagersHotkeyTogglesAutoHideAndPanelsFollowTheScreens) {
    installDockWindowFactory();
    auto manager = start();
    env.loop().advance(0.3);
    ASSERT_EQ(manager->panelControllers().size(), 1u);
    auto panel = std::dynamic_pointer_cast<DockWindow>(manager->panelControllers()[0]->window());
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->alphaValue(), 1.0);
    pointerAt(700, 450);
    ASSERT_TRUE(sim.hotkeys->press(4, 0x140000));  // Control+Command+H
    EXPECT_TRUE(defaults().boolForKey("HideQuayside"));
    env.loop().advance(0.4);
    EXPECT_TRUE(panel->isAutoHidden());
    ASSERT_TRUE(sim.hotkeys->press(4, 0x140000));
    env.loop().advance(0.2);
    EXPECT_EQ(panel->alphaValue(), 1.0);
    EXPECT_FALSE(panel->isPolling());

    // Every screen removed, then one added back: no panel without a screen, one after.
    sim.screens->setScreens({});
    sim.screens->postScreenParametersChanged();
    env.loop().advance(0.3);
    EXPECT_TRUE(manager->panelControllers().empty());
    sim.screens->setScreens({a});
    sim.screens->postScreenParametersChanged();
    env.loop().advance(0.3);
    ASSERT_EQ(manager->panelControllers().size(), 1u);
    auto again = std::dynamic_pointer_cast<DockWindow>(manager->panelControllers()[0]->window());
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->isVisiblePanel());
    Rect f = again->frame();
    EXPECT_FALSE(RectIsNull(RectIntersection(f, a->frame())));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// An idle panel does no work: no timer of its own, no repaint of a cell.
TEST_F(Panel, AnIdlePanelRepaintsNothing) {
    fill(6);
    open();
    w->show();
    QCoreApplication::processEvents();
    auto* cell = dynamic_cast<DockCollectionItemCell*>(w->collectionView()->itemAtIndex(2));
    ASSERT_TRUE(cell);
    auto paintCount = [cell] {
        return cell->itemView()->paintCount() + cell->imageView()->paintCount() + cell->indicator()->paintCount() +
               cell->badgeView()->paintCount();
    };
    int paints = paintCount();
    int contentPaints = w->dockContentView()->paintCount();
    size_t timers = env.loop().timerCount();
    env.loop().advance(30);
    QCoreApplication::processEvents();
    EXPECT_EQ(paintCount(), paints);
    EXPECT_EQ(w->dockContentView()->paintCount(), contentPaints);
    EXPECT_LE(env.loop().timerCount(), timers);
}

}  // namespace
}  // namespace qs::test
