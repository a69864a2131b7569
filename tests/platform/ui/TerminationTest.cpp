// Ending the program: every event loop ends, the nested ones included, and no window can
// keep the program running by turning its close down.
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/ui/Termination.h"

namespace qs {
namespace {

// A window that turns every close down (as a popover whose delegate says no).
class Stubborn : public QWidget {
public:
    int asked = 0;

protected:
    void closeEvent(QCloseEvent* event) override {
        ++asked;
        event->ignore();
    }
};

TEST(Termination, EndsNestedLoopsAndClosesTheWindowsWithoutLettingOneRefuse) {
    Stubborn stubborn;
    stubborn.show();
    QWidget plain;
    plain.show();
    int nested = 0, startedLater = 0;
    QTimer::singleShot(0, [&] {
        // A menu's or a modal dialog's loop runs when the end comes.
        QEventLoop menuLoop;
        QTimer::singleShot(0, [] { Termination::terminate(3); });
        nested = menuLoop.exec();
        // Whatever the code after the menu starts returns at once.
        QEventLoop afterwards;
        startedLater = afterwards.exec();
    });
    // A program that does not end would hang the test: it fails instead.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(10000);
    EXPECT_EQ(QApplication::exec(), 3);
    EXPECT_EQ(nested, 3);
    EXPECT_EQ(startedLater, -1);
    EXPECT_EQ(stubborn.asked, 1) << "every shown window is closed as at any quit";
    EXPECT_FALSE(plain.isVisible());
}

}  // namespace
}  // namespace qs
