#include <QApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include "core/DockTestSupport.h"
#include "dock_ui/DockWindow.h"

namespace qs::test {
namespace {

void spinEventLoop(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

using DockWindowPanel = DockTest;

TEST_F(DockWindowPanel, BottomPanelFadesInAndAnswersTheMaximiseFrames) {
    ASSERT_TRUE(qobject_cast<QApplication*>(QCoreApplication::instance()));
    auto config = DockConfiguration::create();
    auto w = DockWindow::initWithPanelModel(nullptr, config, a);
    EXPECT_TRUE(w->testAttribute(Qt::WA_X11NetWmWindowTypeDock));
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w->alphaValue(), 0.0);
    EXPECT_FALSE(w->screen());

    w->fadeInOnScreen(a);
    EXPECT_EQ(w->screen(), a);
    EXPECT_LT(w->alphaValue(), 1.0);
    spinEventLoop(400);
    EXPECT_DOUBLE_EQ(w->alphaValue(), 1.0);

    // An empty dock is one 52-point cell at the bottom-left of the 1440 x 900 screen.
    EXPECT_EQ(w->frame(), MakeRect(0, 0, 52, 52));
    EXPECT_EQ(w->geometry(), QRect(0, 900 - 52, 52, 52));  // Qt's y runs down
    EXPECT_EQ(w->maxFrameForMaximize(), MakeRect(0, 0, 1440, 900 - 52 - 1));
    EXPECT_EQ(w->maxFrameForVerticalMaximizeFrame(MakeRect(10, 20, 800, 600)), MakeRect(10, 20, 800, 900 - 52 - 8));
    defaults().setBool(true, "Indent");
    EXPECT_EQ(w->maxFrameForMaximize(), MakeRect(0, 0, 1440, 900 - 52 - 1 - 8));

    config->setPosition(0);  // a left dock: no vertical frame
    EXPECT_EQ(w->maxFrameForVerticalMaximizeFrame(MakeRect(10, 20, 800, 600)), RectZero);
    EXPECT_EQ(w->maxFrameForMaximize(), MakeRect(52 + 1 + 8, 0, 1440 - 52 - 1 - 8, 900));

    w->orderOut();
    EXPECT_EQ(w->alphaValue(), 0.0);
    w->close();
}

}  // namespace
}  // namespace qs::test
