// The program: a Qt application on the X11 backend whose work starts in the
// application delegate.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
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
#include "platform/x11/X11Backend.h"
#include "preferences/AccessController.h"
#include "preferences/AppShell.h"
#include "preferences/ItemInspector.h"
#include "preferences/PreferencesWindowController.h"
#include "preferences/StartMenuPreferences.h"
#include "preferences/WidgetsViewController.h"
#include "tracking/AppMonitoringService.h"

namespace {

int signalPipe[2] = {-1, -1};

// Only writes the signal number to the pipe; the main loop does the rest.
void onSignal(int signal) {
    int saved = errno;
    unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

bool installSignalHandlers() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        if (sigaction(s, &action, nullptr) != 0) return false;
    return true;
}

// The start menu's edit button opens the preferences layer's start-menu editor.
class StartMenuEditorWindow : public qs::StartMenuEditor {
public:
    void setModel(const std::shared_ptr<qs::MenuModel>& model) override { model_ = model; }
    void showWindow() override { qs::StartMenuPreferences::showEditor(model_); }

private:
    std::shared_ptr<qs::MenuModel> model_;
};

}  // namespace

int main(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr,
                     "quayside: cannot start: DISPLAY is not set. Quayside is a dock for an X11 desktop session; "
                     "run it inside one (or under Xvfb).\n");
        return 1;
    }
    // The X11 backend reads windows and screens over xcb; Qt must draw there too.
    qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quayside"));
    QApplication::setOrganizationDomain(QStringLiteral("quayside.org"));
    QApplication::setApplicationVersion(QString::fromStdString(qs::MainBundle::shortVersionString()));
    QApplication::setQuitOnLastWindowClosed(false);

    qs::RunLoop::setMain(std::make_shared<qs::QtRunLoop>());
    if (!qs::x11::installX11Backend()) {
        std::fprintf(stderr, "quayside: cannot start: the X display \"%s\" cannot be reached.\n", display);
        return 1;
    }
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
        .terminate = [] { QCoreApplication::quit(); },
    });
    qs::WidgetsViewController::setAccessDialogRunner([] { std::make_shared<qs::AccessController>()->runModal(); });

    // SIGTERM, SIGINT and SIGHUP (the end of the session) quit as "Quit" does.
    if (installSignalHandlers()) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            unsigned char bytes[16];
            while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
            }
            QCoreApplication::quit();
        });
    } else {
        std::perror("quayside: signal handlers could not be installed");
    }
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [](QSessionManager&) {
        QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [delegate] { delegate->applicationWillTerminate(); });

    QTimer::singleShot(0, &app, [delegate] { delegate->applicationDidFinishLaunching(); });
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
