#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/ui/EventQueue.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

class Recorder : public QWidget {
public:
    std::vector<QEvent::Type> received;

protected:
    void mousePressEvent(QMouseEvent*) override { received.push_back(QEvent::MouseButtonPress); }
    void mouseReleaseEvent(QMouseEvent*) override { received.push_back(QEvent::MouseButtonRelease); }
    void mouseMoveEvent(QMouseEvent*) override { received.push_back(QEvent::MouseMove); }
};

QMouseEvent* release(QPointF pos) {
    return new QMouseEvent(QEvent::MouseButtonRelease, pos, pos, pos, Qt::LeftButton, Qt::NoButton, {});
}
QMouseEvent* drag(QPointF pos) {
    return new QMouseEvent(QEvent::MouseMove, pos, pos, pos, Qt::NoButton, Qt::LeftButton, {});
}

class QtEventQueueTest : public test::IsolatedTest {
protected:
    void SetUp() override {
        view.resize(100, 80);
        // Nothing left over from earlier tests.
        QCoreApplication::processEvents();
        view.received.clear();
    }
    Recorder view;
    QtEventQueue queue;
};

TEST_F(QtEventQueueTest, ALookedAtEventStaysFirstInLineForItsWidget) {
    QCoreApplication::postEvent(&view, release({10, 20}));
    auto e = queue.nextEvent(NSEventMaskLeftMouseUp | NSEventMaskLeftMouseDragged, 1.0, false);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->type, NSEventTypeLeftMouseUp);
    EXPECT_DOUBLE_EQ(e->locationInWindow.x, 10);
    EXPECT_DOUBLE_EQ(e->locationInWindow.y, 60);
    EXPECT_TRUE(view.received.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(view.received, std::vector<QEvent::Type>{QEvent::MouseButtonRelease});
}

TEST_F(QtEventQueueTest, ATakenEventNeverReachesItsWidgetAndOthersPass) {
    QCoreApplication::postEvent(&view, drag({30, 30}));
    QCoreApplication::postEvent(&view, release({30, 30}));
    auto e = queue.nextEvent(NSEventMaskLeftMouseDragged, kDistantPast, true);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->type, NSEventTypeLeftMouseDragged);
    QCoreApplication::processEvents();
    EXPECT_EQ(view.received, std::vector<QEvent::Type>{QEvent::MouseButtonRelease});
}

TEST_F(QtEventQueueTest, NothingBeforeTheDeadlineIsNoEvent) {
    EXPECT_FALSE(queue.nextEvent(NSEventMaskLeftMouseUp, kDistantPast, true));
    EXPECT_FALSE(queue.nextEvent(NSEventMaskLeftMouseUp, 0.05, true));
}

}  // namespace
}  // namespace qs
