// The permission window: its rows from the permission checks, the 2.0 s poll (also in a
// modal run) that stops once everything is granted or the window closes however it is
// closed, the requests, the contact mail, the terminal command and the switch the start
// reads.
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <gtest/gtest.h>

#include "preferences/AccessController.h"
#include "preferences/AppShellFixture.h"
#include "tracking/AccessHelper.h"

namespace qs::test {
namespace {

class AccessWindowTest : public AppShellTest {
protected:
    std::shared_ptr<AccessController> open() {
        auto ac = std::make_shared<AccessController>();
        ac->setLevel(8);
        ac->orderFront();
        return ac;
    }
    static std::string title(QPushButton* b) { return b->text().toStdString(); }
    static bool centred(QWidget* w) {
        QRect area = w->screen()->availableGeometry();
        QRect frame = w->frameGeometry();
        return std::abs(frame.center().x() - area.center().x()) <= 1 &&
               std::abs(frame.center().y() - area.center().y()) <= 1;
    }
};

TEST_F(AccessWindowTest, EverythingGrantedAtLoadShowsThreeGrantedRowsWithoutAPoll) {
    sim.permissions->forceFullDiskAccessStatus(desktop::PermissionStatusAuthorized);
    auto ac = open();
    ASSERT_TRUE(ac->isWindowLoaded());
    EXPECT_EQ(ac->window()->objectName(), "AccessController") << "loaded from its interface file";
    EXPECT_FALSE(ac->timer());
    for (auto [button, light] : {std::pair{ac->screenBtn(), ac->screenStatus()},
                                 std::pair{ac->accesibilityBtn(), ac->accesibilityStatus()},
                                 std::pair{ac->fullDiskBtn(), ac->fullDiskStatus()}}) {
        EXPECT_EQ(title(button), "Access Granted");
        EXPECT_EQ(AccessController::statusImageName(light), "NSImageNameStatusAvailable");
        ASSERT_TRUE(light->pixmap().toImage().pixelColor(7, 7).green() > 150);
    }
    EXPECT_TRUE(centred(ac->window())) << ac->window()->frameGeometry().x() << "," << ac->window()->frameGeometry().y()
                                       << " " << ac->window()->frameGeometry().width() << "x"
                                       << ac->window()->frameGeometry().height() << " in "
                                       << ac->window()->screen()->availableGeometry().width();
    EXPECT_TRUE(ac->isVisible());
    EXPECT_TRUE(ac->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << "level 8 stays above";
}

TEST_F(AccessWindowTest, APermissionGrantedWhileOpenTurnsItsRowWithinTwoSeconds) {
    sim.permissions->forceFullDiskAccessStatus(desktop::PermissionStatusDenied);
    sim.permissions->setTrusted(false);
    auto ac = open();
    EXPECT_EQ(title(ac->screenBtn()), "Access Granted");
    EXPECT_EQ(title(ac->accesibilityBtn()), "Request Access");
    EXPECT_EQ(AccessController::statusImageName(ac->accesibilityStatus()), "NSImageNameStatusPartiallyAvailable");
    EXPECT_EQ(title(ac->fullDiskBtn()), "Request Access");
    ASSERT_TRUE(ac->timer());
    EXPECT_EQ(ac->timer()->timeInterval(), 2.0);

    sim.permissions->setTrusted(true);
    env.loop().advance(1.9);
    EXPECT_EQ(title(ac->accesibilityBtn()), "Request Access");
    env.loop().advance(0.1);
    EXPECT_EQ(title(ac->accesibilityBtn()), "Access Granted");
    EXPECT_TRUE(ac->timer()) << "full disk access is still missing";

    ac->window()->move(0, 0);
    sim.permissions->forceFullDiskAccessStatus(desktop::PermissionStatusAuthorized);
    env.loop().advance(2.0);
    EXPECT_EQ(title(ac->fullDiskBtn()), "Access Granted");
    EXPECT_FALSE(ac->timer()) << "the poll stops once everything is granted";
    EXPECT_TRUE(centred(ac->window())) << "and the window is centred once more";
    int queries = sim.permissions->trustQueries();
    env.loop().advance(10.0);
    EXPECT_EQ(sim.permissions->trustQueries(), queries);
}

TEST_F(AccessWindowTest, EveryCloseStopsThePoll) {
    sim.permissions->setTrusted(false);
    auto ac = open();
    ASSERT_TRUE(ac->timer());
    // The title bar's close button.
    ac->window()->close();
    EXPECT_FALSE(ac->isVisible());
    EXPECT_FALSE(ac->timer());
    int queries = sim.permissions->trustQueries();
    env.loop().advance(10.0);
    EXPECT_EQ(sim.permissions->trustQueries(), queries);

    auto other = open();
    ASSERT_TRUE(other->timer());
    other->closeWindow();
    EXPECT_FALSE(other->isVisible());
    EXPECT_FALSE(other->timer());

    // A window dropped while polling leaves no poll behind.
    auto dropped = open();
    dropped.reset();
    env.loop().advance(4.0);
}

TEST_F(AccessWindowTest, ModalRunStillPollsAndAnyCloseEndsIt) {
    sim.permissions->setTrusted(false);
    auto ac = std::make_shared<AccessController>();
    std::string seenDuringRun;
    QTimer::singleShot(0, [&] {
        sim.permissions->setTrusted(true);
        env.loop().advance(2.0);
        seenDuringRun = ac->accesibilityBtn()->text().toStdString();
        EXPECT_TRUE(ac->window()->isModal());
        // The title bar's close ends the modal session.
        ac->window()->close();
    });
    ac->runModal();
    EXPECT_EQ(seenDuringRun, "Access Granted");
    EXPECT_FALSE(ac->isVisible());

    sim.permissions->setTrusted(false);
    auto again = std::make_shared<AccessController>();
    QTimer::singleShot(0, [&] { again->closeWindow(); });
    again->runModal();
    EXPECT_FALSE(again->isVisible());
    EXPECT_FALSE(again->timer());
}

TEST_F(AccessWindowTest, RequestsMoveTheWindowAsideAndAskTheDesktop) {
    sim.permissions->forceFullDiskAccessStatus(desktop::PermissionStatusDenied);
    auto ac = open();
    QRect area = ac->window()->screen()->availableGeometry();
    auto lowerRight = [&] {
        QRect f = ac->window()->frameGeometry();
        return f.right() == area.right() && f.bottom() == area.bottom();
    };
    ac->screenBtn()->click();
    EXPECT_TRUE(lowerRight());
    EXPECT_EQ(sim.permissions->screenRecordingRequests(), 1);

    ac->moveToCenter();
    int prompts = sim.permissions->prompts();
    ac->accesibilityBtn()->click();
    EXPECT_TRUE(lowerRight());
    EXPECT_EQ(sim.permissions->prompts(), prompts + 1);

    ac->moveToCenter();
    PostCounter trashAccess("TrashAccess");
    ac->fullDiskBtn()->click();
    EXPECT_TRUE(lowerRight());
    EXPECT_EQ(sim.permissions->fullDiskAccessRequests(), 1);
    EXPECT_EQ(trashAccess.count, 0) << "the answer comes later";
    sim.permissions->forceFullDiskAccessStatus(desktop::PermissionStatusAuthorized);
    env.loop().runPending();
    EXPECT_EQ(trashAccess.count, 1);
    EXPECT_EQ(title(ac->fullDiskBtn()), "Access Granted");
}

TEST_F(AccessWindowTest, ContactOpensAMailWithTheSubjectEncoded) {
    EXPECT_EQ(AccessController::contactURLString(), "mailto:?Subject=Quayside%202:Feedback/Problem");
    auto ac = open();
    int activations = shell->activations;
    ac->contact();
    EXPECT_EQ(shell->activations, activations + 1);
    auto calls = sim.desktop->calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "openURL mailto:?Subject=Quayside%202:Feedback/Problem"), calls.end());
}

TEST_F(AccessWindowTest, TheTerminalCommandGoesToTheClipboard) {
    auto ac = open();
    ASSERT_FALSE(ac->terminalField()->text().isEmpty());
    EXPECT_TRUE(ac->terminalField()->isReadOnly());
    QGuiApplication::clipboard()->setText("something else");
    ac->window()->findChild<QPushButton*>("copyBtn")->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), ac->terminalField()->text());
    EXPECT_NE(ac->terminalField()->text().indexOf("Trash/files"), -1);
}

TEST_F(AccessWindowTest, TheSwitchStoresAccessDoNotShowBothWays) {
    auto ac = open();
    auto* box = ac->window()->findChild<QCheckBox*>("dontShowCheck");
    ASSERT_TRUE(box);
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(defaults().valueForKey("AccessDoNotShow").isNil()) << "loading writes nothing";
    box->click();
    EXPECT_EQ(defaults().objectForKey("AccessDoNotShow"), Value(true)) << "YES: the start shows the window";
    EXPECT_EQ(readFileOrEmpty(defaults().filePath()).find("AccessDoNotShow") != std::string::npos, true) << "synchronized";
    defaults().setBool(false, "AccessDoNotShow");
    EXPECT_FALSE(box->isChecked());
}

TEST_F(AccessWindowTest, TheStartOpensItWhenAskedAndAPermissionIsMissing) {
    defaults().setBool(true, "AccessDoNotShow");
    sim.permissions->setScreenRecordingGranted(false);
    delegate->StartViewControllerDisappear();
    auto ac = std::dynamic_pointer_cast<AccessController>(delegate->ac());
    ASSERT_TRUE(ac);
    EXPECT_TRUE(ac->isVisible());
    EXPECT_EQ(ac->level(), 8);
    EXPECT_EQ(title(ac->screenBtn()), "Request Access");
    EXPECT_FALSE(AppMonitoringService::hasSharedInstance());
}

}  // namespace
}  // namespace qs::test
