#include "platform/ui/Termination.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <vector>

#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

namespace qs::Termination {

namespace {

int signalPipe[2] = {-1, -1};

// Only writes the signal number to the pipe; the main loop does the rest.
void onSignal(int signal) {
    int saved = errno;
    unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

void terminate(int code) {
    // First the loops: a close handler that starts a loop of its own gets it back at once.
    QCoreApplication::exit(code);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    std::vector<QPointer<QWidget>> shown;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) shown.emplace_back(w);
    // A close may delete windows further down the list.
    for (const auto& w : shown)
        if (w && w->isVisible()) w->close();
}

bool installSignalHandlers() {
    auto* app = QCoreApplication::instance();
    if (!app) {
        errno = EINVAL;
        return false;
    }
    if (signalPipe[0] >= 0) return true;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    // The read end is watched by the main thread's dispatcher, which every nested loop
    // of the main thread runs too.
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
        unsigned char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        terminate();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        if (sigaction(s, &action, nullptr) != 0) return false;
    return true;
}

}  // namespace qs::Termination
