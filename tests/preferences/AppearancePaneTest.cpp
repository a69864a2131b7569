#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QPointer>
#include <QPushButton>
#include <QImage>
#include <filesystem>

#include "core/DockConfiguration.h"
#include "platform/ui/Color.h"
#include "preferences/AppearanceViewController.h"
#include "preferences/PreferenceControls.h"
#include "preferences/PreferencesTestSupport.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

class AppearancePaneTest : public PreferencesTest {
protected:
    AppearancePaneTest() {
        pane = AppearanceViewController::create();
        pane->setConfig(manager->mainConfig());
        view = pane->view();
        pane->viewWillAppear();
    }
    std::vector<std::string> themeItems() {
        auto* box = child<QComboBox>(view, "themePopup");
        std::vector<std::string> out;
        for (int i = 0; i < box->count(); ++i) out.push_back(box->itemText(i).toStdString());
        return out;
    }
    static void writePicture(const fs::path& path) {
        fs::create_directories(path.parent_path());
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::darkCyan);
        ASSERT_TRUE(image.save(QString::fromStdString(path.string()), "PNG"));
    }
    std::shared_ptr<AppearanceViewController> pane;
    QWidget* view = nullptr;
};

TEST_F(AppearancePaneTest, TheColourWellIsUsableOnlyForTheColourTheme) {
    EXPECT_EQ(themeItems(), (std::vector<std::string>{"System Light", "System Dark", "Transparent", "Color"}));
    auto* themes = child<QComboBox>(view, "themePopup");
    EXPECT_EQ(themes->currentIndex(), 0);
    EXPECT_FALSE(pane->picker()->isEnabled());

    themes->setCurrentIndex(3);  // the user picks "Color": the well follows at once
    EXPECT_EQ(ThemeManager::sharedInstance()->themeIndex(), 3);
    EXPECT_EQ(defaults().integerForKey("themeIndex"), 3);
    EXPECT_TRUE(pane->picker()->isEnabled());

    ThemeManager::sharedInstance()->setThemeIndex(1);  // changed elsewhere
    EXPECT_EQ(themes->currentIndex(), 1);
    EXPECT_FALSE(pane->picker()->isEnabled());

    // On appearing, the state is read again.
    pane->viewDidDisappear();
    ThemeManager::sharedInstance()->setThemeIndex(3);
    pane->viewWillAppear();
    EXPECT_TRUE(pane->picker()->isEnabled());
}

TEST_F(AppearancePaneTest, ReloadListsANewPictureThemeAfterColor) {
    writePicture(fs::path(env.dataHome()) / "org.quayside.Quayside" / "themes" / "Ocean" / "background.png");
    child<QAbstractButton>(view, "refreshButton")->click();
    auto items = themeItems();
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[4], "Ocean");
    child<QComboBox>(view, "themePopup")->setCurrentIndex(4);
    EXPECT_FALSE(pane->picker()->isEnabled());
    EXPECT_EQ(ThemeManager::sharedInstance()->currenThemeInfo()->themeName(), "Ocean");
}

TEST_F(AppearancePaneTest, ResetBringsBackADeletedResourceTheme) {
    fs::path resources = fs::path(env.root()) / "resources";
    writePicture(resources / "Harbour" / "background.png");
    ThemeManager::setResourceThemesDirectoryForTesting(resources.string());
    child<QAbstractButton>(view, "resetButton")->click();
    auto items = themeItems();
    EXPECT_NE(std::find(items.begin(), items.end(), "Harbour"), items.end());
}

TEST_F(AppearancePaneTest, OpenThemesFolderAsksTheFileManager) {
    child<QAbstractButton>(view, "openThemeFolderButton")->click();
    auto calls = sim.files->calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_NE(calls.back().find("showFolder"), std::string::npos);
    EXPECT_NE(calls.back().find("themes"), std::string::npos);
}

TEST_F(AppearancePaneTest, BackgroundColourAndLookBothWays) {
    ThemeManager::sharedInstance()->setThemeIndex(3);
    ColorWell* well = pane->picker();
    well->setColor(QColor(255, 0, 0));  // as the colour chooser does
    auto stored = Color::colorWithArchivedData(defaults().dataForKey("backgroundColor"));
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->toQColor(), QColor(255, 0, 0));
    EXPECT_EQ(ThemeManager::sharedInstance()->currenThemeInfo()->backgroundColor()->toQColor(), QColor(255, 0, 0));
    defaults().setObject(Value(Color::colorWithCalibratedRed(0, 0, 1, 1)->archivedData()), "backgroundColor");
    EXPECT_EQ(well->color(), QColor(0, 0, 255));

    SegmentedControl* look = pane->appearanceBox();
    ASSERT_EQ(look->segmentCount(), 2);
    EXPECT_EQ(look->segmentButton(0)->text(), "Light");
    EXPECT_EQ(look->segmentButton(1)->text(), "Dark");
    look->clickSegment(1);
    EXPECT_TRUE(defaults().boolForKey("appearanceIndex"));
    defaults().setBool(false, "appearanceIndex");
    EXPECT_EQ(look->currentIndex(), 0);
}

TEST_F(AppearancePaneTest, TheColourChooserHasOkAndCancel) {
    ThemeManager::sharedInstance()->setThemeIndex(3);
    ColorWell* well = pane->picker();
    well->setColor(QColor(255, 0, 0));
    auto stored = [&] {
        auto colour = Color::colorWithArchivedData(defaults().dataForKey("backgroundColor"));
        return colour ? colour->toQColor() : QColor();
    };
    // Opens the chooser, picks a colour in it, then answers with OK or Cancel.
    auto pick = [&](QColor colour, QDialogButtonBox::StandardButton answer) {
        well->activate();
        QPointer<QColorDialog> panel = well->colorPanel();
        auto* box = panel ? panel->findChild<QDialogButtonBox*>() : nullptr;
        QPushButton* button = box ? box->button(answer) : nullptr;
        ASSERT_TRUE(button);
        EXPECT_TRUE(button->isVisibleTo(panel));
        panel->setCurrentColor(colour);
        EXPECT_EQ(well->color(), colour) << "the well follows the chooser as the user picks";
        EXPECT_EQ(stored(), colour);
        button->click();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(panel.isNull() || !panel->isVisible());
    };
    // Cancel puts back the colour the well had when the chooser opened; OK keeps it.
    pick(QColor(0, 0, 255), QDialogButtonBox::Cancel);
    EXPECT_EQ(well->color(), QColor(255, 0, 0));
    EXPECT_EQ(stored(), QColor(255, 0, 0));
    pick(QColor(0, 128, 255), QDialogButtonBox::Ok);
    EXPECT_EQ(well->color(), QColor(0, 128, 255));
    EXPECT_EQ(stored(), QColor(0, 128, 255));

    // Escape is Cancel; the colour before this opening comes back, not an older one.
    well->activate();
    ASSERT_TRUE(well->colorPanel());
    well->colorPanel()->setCurrentColor(QColor(10, 10, 10));
    well->colorPanel()->reject();
    EXPECT_EQ(well->color(), QColor(0, 128, 255));

    // The swatch shows the colour (a pixel test of the well itself).
    const QImage swatch = well->grab().toImage();
    EXPECT_EQ(swatch.pixelColor(swatch.width() / 2, swatch.height() / 2), QColor(0, 128, 255));
}

TEST_F(AppearancePaneTest, CornersShadowAndMarksAreStoredAtOnce) {
    auto config = manager->mainConfig();
    auto* corners = child<QComboBox>(view, "cornerPopup");
    PostCounter saves("saveDocksData");
    size_t made = factory.panels->size();
    corners->setCurrentIndex(1);
    emit corners->activated(1);
    EXPECT_EQ(config->cornerStyle(), 1);
    EXPECT_EQ(saves.count, 1);
    EXPECT_GT(factory.panels->size(), made);  // the dock is rebuilt with the new corners

    auto* shadow = child<QCheckBox>(view, "shadowCheckBox");
    shadow->click();
    EXPECT_TRUE(config->windowCastsShadow());
    EXPECT_EQ(saves.count, 2);
    config->setWindowCastsShadow(false);
    EXPECT_FALSE(shadow->isChecked());

    auto* marks = child<QCheckBox>(view, "indicatorsCheckBox");
    EXPECT_TRUE(marks->isChecked());
    marks->click();
    EXPECT_TRUE(defaults().boolForKey("hideIndicators"));
    EXPECT_EQ(text(marks), "Show a mark under running applications");
}

}  // namespace
}  // namespace qs::test
