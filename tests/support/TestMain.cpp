#include <QApplication>
#include <QEvent>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

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
        // Requests still on their way to the window system come back first (xcb).
        if (QGuiApplication::platformName() == QLatin1String("xcb")) QGuiApplication::sync();
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
    }
};

// A test that runs far longer than any test should (a hang) ends the program with its
// name and, where gdb is installed, every thread's stack, instead of leaving CTest to kill
// a silent program at its own time-out. QUAYSIDE_TEST_WATCHDOG sets the seconds (0: off).
class Watchdog : public ::testing::EmptyTestEventListener {
public:
    explicit Watchdog(int seconds) : seconds_(seconds) {
        thread_ = std::thread([this] { run(); });
    }
    ~Watchdog() override {
        {
            std::lock_guard lock(m_);
            quit_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void OnTestStart(const ::testing::TestInfo& info) override {
        std::lock_guard lock(m_);
        name_ = std::string(info.test_suite_name()) + "." + info.name();
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds_);
        running_ = true;
        cv_.notify_all();
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        std::lock_guard lock(m_);
        running_ = false;
        cv_.notify_all();
    }

private:
    void run() {
        std::unique_lock lock(m_);
        for (;;) {
            if (quit_) return;
            if (!running_) {
                cv_.wait(lock);
                continue;
            }
            const auto deadline = deadline_;
            if (cv_.wait_until(lock, deadline) == std::cv_status::timeout && running_ && deadline_ == deadline &&
                !quit_) {
                std::fprintf(stderr, "\n[ WATCHDOG ] %s has run for %d s: it hangs; every thread's stack follows\n",
                             name_.c_str(), seconds_);
                std::fflush(stderr);
                const std::string cmd = "command -v gdb > /dev/null 2>&1 && gdb -p " + std::to_string(::getpid()) +
                                        " -batch -ex 'thread apply all bt' 1>&2";
                if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "[ WATCHDOG ] (no gdb for the stacks)\n");
                std::abort();
            }
        }
    }

    const int seconds_;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    std::string name_;
    std::chrono::steady_clock::time_point deadline_{};
    bool running_ = false;
    bool quit_ = false;
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
    auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
    listeners.Append(new DrainQtEvents);
    // Well inside CTest's 600 s per program.
    const int watchdog = qEnvironmentVariableIsSet("QUAYSIDE_TEST_WATCHDOG")
                             ? qEnvironmentVariableIntValue("QUAYSIDE_TEST_WATCHDOG")
                             : 300;
    if (watchdog > 0) listeners.Append(new Watchdog(watchdog));
    return RUN_ALL_TESTS();
}
