// The program: a Qt application on the X11 backend whose work starts in the
// application delegate.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>
#include <QSessionManager>
#include <QTimer>

#include "core/AppDelegate.h"
#include "core/ApplicationInterface.h"
#include "core/DockManager.h"
#include "dock_ui/DockWindow.h"
#include "dock_ui/MenuViewController.h"
#include "platform/desktop/MainBundle.h"
#include "platform/desktop/Updater.h"
#include "platform/foundation/QtRunLoop.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/MessageWindow.h"
#include "platform/ui/Termination.h"
#include "platform/x11/LaunchEnvironment.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/XConnection.h"
#include "preferences/AccessController.h"
#include "preferences/AppShell.h"
#include "preferences/ItemInspector.h"
#include "preferences/PreferencesWindowController.h"
#include "preferences/StartMenuPreferences.h"
#include "preferences/WidgetsViewController.h"
#include "tracking/AppMonitoringService.h"

namespace {

// The start menu's edit button opens the preferences layer's start-menu editor.
class StartMenuEditorWindow : public qs::StartMenuEditor {
public:
    void setModel(const std::shared_ptr<qs::MenuModel>& model) override { model_ = model; }
    void showWindow() override { qs::StartMenuPreferences::showEditor(model_); }

private:
    std::shared_ptr<qs::MenuModel> model_;
};

// With QUAYSIDE_STARTUP_TRACE set, the milestones of the start go to standard error,
// in milliseconds since the process began, up to the first paint of a dock panel.
class StartupTrace : public QObject {
public:
    static bool enabled() {
        static const bool on = std::getenv("QUAYSIDE_STARTUP_TRACE") != nullptr;
        return on;
    }
    static void mark(const char* what) {
        if (!enabled()) return;
        timespec now{}, cpu{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        // The main thread's own processor time tells the work apart from waiting (for a
        // busy machine's processors, the disk or the X server).
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        std::fprintf(stderr, "quayside start: %8.1f ms  (main thread cpu %6.1f ms)  %s\n",
                     double(now.tv_sec - processStart().tv_sec) * 1e3 +
                         double(now.tv_nsec - processStart().tv_nsec) / 1e6,
                     double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6, what);
    }
    // The process start, read once from /proc (as CLOCK_MONOTONIC: boot-relative ticks).
    static timespec& processStart() {
        static timespec start = [] {
            timespec t{};
            if (FILE* f = std::fopen("/proc/self/stat", "r")) {
                char buffer[1024] = {};
                size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
                std::fclose(f);
                buffer[n] = 0;
                const char* p = std::strrchr(buffer, ')');
                unsigned long long ticks = 0;
                // Field 22 (starttime); the fields after the name start at field 3.
                for (int field = 3; p && field <= 22; ++field) {
                    p = std::strchr(p + 1, ' ');
                    if (p && field == 22) ticks = std::strtoull(p + 1, nullptr, 10);
                }
                long hz = ::sysconf(_SC_CLK_TCK);
                if (hz > 0) {
                    t.tv_sec = time_t(ticks / (unsigned long long)hz);
                    t.tv_nsec = long((ticks % (unsigned long long)hz) * (1000000000ULL / (unsigned long long)hz));
                }
            }
            return t;
        }();
        return start;
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w && w->isWindow() && w->windowTitle() == QStringLiteral("Quayside")) {
                mark("first paint of a dock panel");
                qApp->removeEventFilter(this);
                deleteLater();
            }
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    StartupTrace::mark("main");
    // The background threads (icon reads, window pictures) do little allocating: an
    // arena of their own each would keep pages that the main one could share.
    mallopt(M_ARENA_MAX, 2);
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr,
                     "quayside: cannot start: DISPLAY is not set. Quayside is a dock for an X11 desktop session; "
                     "run it inside one (or under Xvfb).\n");
        return 1;
    }
    // The X11 backend reads windows and screens over xcb; Qt must draw there too (the
    // programs the dock starts keep the platform they would have chosen).
    qs::x11::LaunchEnvironment::setPrivate("QT_QPA_PLATFORM", "xcb");
    // The panel changes size with every application that comes or goes. With shared
    // memory each size is a new segment (made, attached by the server in a round trip,
    // faulted in page by page, then dropped); the dock's windows are small enough that
    // sending their pixels over the connection costs less.
    qs::x11::LaunchEnvironment::setPrivate("QT_XCB_NO_MITSHM", "1");

    QApplication app(argc, argv);
    StartupTrace::mark("application object made");
    qs::x11::quietToolkitRootProperties();
    // The image format plugins are not loaded ahead: the icons (PNG files) are read by
    // the built-in decoder, and a plugin is loaded when a picture of its kind is read.
    if (StartupTrace::enabled()) app.installEventFilter(new StartupTrace());
    QApplication::setApplicationName(QStringLiteral("Quayside"));
    QApplication::setOrganizationDomain(QStringLiteral("quayside.org"));
    QApplication::setApplicationVersion(QString::fromStdString(qs::MainBundle::shortVersionString()));
    QApplication::setQuitOnLastWindowClosed(false);

    qs::RunLoop::setMain(std::make_shared<qs::QtRunLoop>());
    if (!qs::x11::installX11Backend(qs::MessageWindow::show)) {
        std::fprintf(stderr, "quayside: cannot start: the X display \"%s\" cannot be reached.\n", display);
        return 1;
    }
    StartupTrace::mark("X11 backend installed");
    qs::installDockWindowFactory();
    // The permission and what's-new windows, the about box and the update check's answer.
    qs::installAppShell();
    // The item and group inspectors the dock's menus and group popover open.
    qs::installInspectors();

    auto delegate = qs::AppDelegate::create();
    qs::PreferencesWindowController::setApplicationDelegate(delegate);
    delegate->setPreferencesWindowHook([] { qs::PreferencesWindowController::showPreferences(); });
    std::weak_ptr<qs::AppDelegate> weakDelegate = delegate;
    qs::MenuViewController::setCommands({
        .showPreferences =
            [weakDelegate] {
                if (auto d = weakDelegate.lock()) d->showPreferences();
            },
        .makeEditor = [] { return std::make_shared<StartMenuEditorWindow>(); },
        .terminate = [] { qs::Termination::terminate(); },
        .openDocs =
            [weakDelegate] {
                if (auto d = weakDelegate.lock()) d->openDocs();
            },
    });
    qs::WidgetsViewController::setAccessDialogRunner([] { std::make_shared<qs::AccessController>()->runModal(); });

    // SIGTERM, SIGINT and SIGHUP (the end of the session) quit as "Quit" does.
    if (!qs::Termination::installSignalHandlers()) std::perror("quayside: signal handlers could not be installed");
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [](QSessionManager&) {
        QTimer::singleShot(0, [] { qs::Termination::terminate(); });
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [delegate] { delegate->applicationWillTerminate(); });

    StartupTrace::mark("event loop about to start");
    QTimer::singleShot(0, &app, [delegate] {
        StartupTrace::mark("launch finishing");
        delegate->applicationDidFinishLaunching();
        StartupTrace::mark("launch finished (the dock starts next)");
        // Posted after the dock's start: runs once it has been made.
        qs::RunLoop::main().post([] { StartupTrace::mark("dock started"); });
    });
    int result = app.exec();
    delegate->applicationWillTerminate();  // runs once: a no-op after aboutToQuit
    // The program's own windows go while the application object still exists.
    qs::SUUpdater::sharedUpdater().setUserDriver(nullptr);
    qs::ApplicationInterface::install(nullptr);
    // The preference windows go before the dock they edit.
    qs::PreferencesWindowController::releasePrefsController();
    qs::StartMenuPreferences::releaseSharedEditor();
    // The dock windows go while the application object still exists.
    qs::DockManager::releaseSharedInstance();
    // The window tracking ends while the desktop services it observes are still there.
    qs::AppMonitoringService::releaseSharedInstance();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    qs::x11::uninstallX11Backend();
    return result;
}
