#include "platform/x11/X11UserMessages.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include "platform/desktop/MainBundle.h"
#include "platform/foundation/Log.h"

namespace qs::x11 {

namespace {
constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";

QDBusConnection busAt(const std::string& address) {
    if (address.empty()) return QDBusConnection::sessionBus();
    return QDBusConnection::connectToBus(QString::fromStdString(address),
                                         QStringLiteral("quayside-user-messages ") + QString::fromStdString(address));
}

}  // namespace

X11UserMessages::X11UserMessages(Window window, std::string busAddress)
    : window_(std::move(window)), busAddress_(std::move(busAddress)) {}

bool X11UserMessages::notificationServiceAvailable() const {
    QDBusConnection bus = busAt(busAddress_);
    if (!bus.isConnected() || !bus.interface()) return false;
    const QString service = QString::fromLatin1(kService);
    if (bus.interface()->isServiceRegistered(service).value()) return true;
    return bus.interface()->activatableServiceNames().value().contains(service);
}

void X11UserMessages::show(const desktop::UserMessage& message) {
    if (!notificationServiceAvailable()) {
        if (window_) window_(message);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                                       QString::fromLatin1(kService), QStringLiteral("Notify"));
    call << QString::fromStdString(MainBundle::bundleName()) << uint(0) << QStringLiteral("dialog-warning")
         << QString::fromStdString(message.text) << QString::fromStdString(message.informativeText) << QStringList()
         << QVariantMap{{QStringLiteral("urgency"), QVariant::fromValue(uchar(1))}} << int(-1);
    // Not waited for: a service that refuses (or never answers in time) leaves the
    // message to the window.
    auto* watcher = new QDBusPendingCallWatcher(busAt(busAddress_).asyncCall(call, 3000));
    Window window = window_;
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [window, message](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            log("the notification service refused a message (", reply.error().message().toStdString(),
                "); it is shown in a window");
            if (window) window(message);
        }
        w->deleteLater();
    });
}

}  // namespace qs::x11
