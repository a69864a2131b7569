#include <QApplication>
#include <QEvent>
#include <QThreadPool>
#include <gtest/gtest.h>

namespace {

// What one test leaves in Qt's queues (window-system events such as an activation or a
// focus change, posted events, widgets deleted later) is handled when the test ends, not
// inside the next test, where it would reach that test's windows (a pop-up closing at
// once because another window became active) and make the result depend on the order.
class DrainQtEvents : public ::testing::EmptyTestEventListener {
public:
    void OnTestEnd(const ::testing::TestInfo&) override { drain(); }
    void OnTestProgramStart(const ::testing::UnitTest&) override { drain(); }

    static void drain() {
        if (!QCoreApplication::instance()) return;
        // Work a test handed to Qt's thread pool ends with the test (the answers it posts
        // back are handled below), and the pool's idle workers, kept for half a minute,
        // go too. A death test forks this program, and a fork copies no other thread: a
        // lock one of them held would stay held in the child, and the child's leak check,
        // blind to their memory, would report it as lost.
        QThreadPool::globalInstance()->waitForDone();
        // Requests still on their way to the window system come back first (xcb).
        if (QGuiApplication::platformName() == QLatin1String("xcb")) QGuiApplication::sync();
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
    }
};

}  // namespace

// Tests run with QT_QPA_PLATFORM=offscreen (set by CTest); a QApplication exists so
// that images, fonts, screens and widgets are available.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The X11 test programs ask for the xcb platform; without a display every one of their
    // tests skips, and the program still needs a platform that starts.
    const bool wantsXcb = qgetenv("QT_QPA_PLATFORM") == "xcb";
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || (wantsXcb && qEnvironmentVariableIsEmpty("DISPLAY")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new DrainQtEvents);
    return RUN_ALL_TESTS();
}
