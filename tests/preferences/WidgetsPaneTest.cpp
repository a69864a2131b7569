#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>

#include "core/DockModel.h"
#include "platform/desktop/Permissions.h"
#include "preferences/PreferencesTestSupport.h"
#include "preferences/WidgetsViewController.h"

namespace qs::test {
namespace {

class WidgetsPaneTest : public PreferencesTest {
protected:
    void open() {
        pane = WidgetsViewController::create();
        view = pane->view();
        pane->viewWillAppear();
    }
    std::shared_ptr<WidgetsViewController> pane;
    QWidget* view = nullptr;
};

TEST_F(WidgetsPaneTest, CheckBoxesEditTheirSettingsBothWays) {
    open();
    const std::pair<const char*, const char*> cases[] = {
        {"startMenuCheckBox", "enableStartMenu"}, {"trashCheckBox", "enableTrash"},
        {"badgesCheckBox", "ShowAppBadges"},      {"previewCheckBox", "WindowPreview"},
        {"controlsCheckBox", "WindowControls"},   {"tooltipsCheckBox", "Tooltips"},
        {"thumbnailsCheckBox", "ShowThumbnails"},
    };
    for (const auto& [name, key] : cases) {
        SCOPED_TRACE(name);
        auto* box = child<QCheckBox>(view, name);
        ASSERT_NE(box, nullptr);
        defaults().setBool(true, key);
        EXPECT_TRUE(box->isChecked());
        box->click();
        EXPECT_EQ(defaults().objectForKey(key), Value(false));
        defaults().setBool(true, key);
        EXPECT_TRUE(box->isChecked());
    }
    EXPECT_EQ(text(child<QCheckBox>(view, "trashCheckBox")), "Show the trash");
    EXPECT_EQ(text(child<QCheckBox>(view, "startMenuCheckBox")), "Show the start menu");

    defaults().setBool(false, "WindowPreview");
    EXPECT_FALSE(child<QCheckBox>(view, "controlsCheckBox")->isEnabled());

    auto* size = child<QSpinBox>(view, "cellHeightSpinBox");
    defaults().setInteger(100, "cellHeight");
    EXPECT_EQ(size->value(), 100);
    size->setValue(250);
    EXPECT_EQ(defaults().objectForKey("cellHeight"), Value(250));
}

TEST_F(WidgetsPaneTest, TheTrashAndStartMenuSwitchesReachTheDock) {
    open();
    auto model = manager->mainModel();
    defaults().setBool(true, "enableTrash");
    ASSERT_TRUE(model->hasTrash());
    child<QCheckBox>(view, "trashCheckBox")->click();
    EXPECT_FALSE(model->hasTrash());
    child<QCheckBox>(view, "trashCheckBox")->click();
    EXPECT_TRUE(model->hasTrash());
    child<QCheckBox>(view, "startMenuCheckBox")->click();
    EXPECT_EQ(model->hasStartMenu(), defaults().boolForKey("enableStartMenu"));
}

TEST_F(WidgetsPaneTest, FullDiskAccessLineAndButtonShowOnlyWhileItIsMissing) {
    sim.permissions->forceFullDiskAccessStatus(desktop::PermissionStatusAuthorized);
    open();
    EXPECT_TRUE(pane->accessBtn()->isHidden());
    EXPECT_FALSE(pane->accessBtn()->isEnabled());
    EXPECT_TRUE(pane->accessLabel()->isHidden());

    sim.permissions->forceFullDiskAccessStatus(desktop::PermissionStatusDenied);
    pane->setStatus();
    EXPECT_FALSE(pane->accessBtn()->isHidden());
    EXPECT_TRUE(pane->accessBtn()->isEnabled());
    EXPECT_FALSE(pane->accessLabel()->isHidden());

    // The permission window's session ends with the access granted.
    int runs = 0;
    WidgetsViewController::setAccessDialogRunner([&] {
        ++runs;
        sim.permissions->forceFullDiskAccessStatus(desktop::PermissionStatusAuthorized);
    });
    PostCounter trashAccess("TrashAccess");
    pane->accessBtn()->click();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(trashAccess.count, 1);
    EXPECT_TRUE(pane->accessBtn()->isHidden());
    EXPECT_TRUE(pane->accessLabel()->isHidden());
}

TEST_F(WidgetsPaneTest, WithoutAPermissionWindowTheStateIsReadAgain) {
    sim.permissions->forceFullDiskAccessStatus(desktop::PermissionStatusDenied);
    open();
    PostCounter trashAccess("TrashAccess");
    pane->showAccessDialog();
    EXPECT_TRUE(env.logged("permission window is not available"));
    EXPECT_EQ(trashAccess.count, 1);
    EXPECT_FALSE(pane->accessBtn()->isHidden());
}

}  // namespace
}  // namespace qs::test
