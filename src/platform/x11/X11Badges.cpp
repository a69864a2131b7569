#include "platform/x11/X11Badges.h"

#include <limits>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QVariantMap>

#include "platform/foundation/Log.h"

namespace qs::x11 {

namespace {

constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";
constexpr const char* kMember = "Update";

std::optional<int64_t> integerOf(const QVariant& v) {
    switch (v.metaType().id()) {
        case QMetaType::UChar:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
            return v.toLongLong();
        case QMetaType::ULongLong: {
            qulonglong u = v.toULongLong();
            return u > qulonglong(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                                       : int64_t(u);
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

bool decodeLauncherEntryUpdate(const QDBusMessage& message, std::string& appUri, desktop::LauncherEntryUpdate& update) {
    if (message.signature() != QLatin1String("sa{sv}")) return false;
    const QList<QVariant> args = message.arguments();
    if (args.size() != 2 || args[0].metaType().id() != QMetaType::QString) return false;

    QVariantMap properties;
    if (args[1].metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument arg = args[1].value<QDBusArgument>();
        if (arg.currentSignature() != QLatin1String("a{sv}")) return false;
        arg >> properties;
    } else if (args[1].metaType().id() == QMetaType::QVariantMap) {
        properties = args[1].toMap();
    } else {
        return false;
    }

    appUri = args[0].toString().toStdString();
    update = {};
    if (auto it = properties.constFind(QStringLiteral("count")); it != properties.constEnd())
        update.count = integerOf(*it);
    if (auto it = properties.constFind(QStringLiteral("count-visible")); it != properties.constEnd())
        if (it->metaType().id() == QMetaType::Bool) update.countVisible = it->toBool();
    return true;
}

// Receives the signals (the bus delivers to a slot of a QObject on the main thread).
class X11Badges::Receiver : public QObject {
    Q_OBJECT
public:
    explicit Receiver(X11Badges* owner) : owner_(owner) {}
public slots:
    void update(const QDBusMessage& message) { owner_->handle(message); }

private:
    X11Badges* owner_;
};

X11Badges::X11Badges(const std::string& busAddress) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!busAddress.empty()) {
        static int serial = 0;
        connectionName_ = QStringLiteral("quayside-badges-%1").arg(++serial);
        bus = QDBusConnection::connectToBus(QString::fromStdString(busAddress), connectionName_);
        ownConnection_ = true;
    }
    if (!bus.isConnected()) {
        log("no session bus: other applications' badges cannot be read, every badge stays empty");
        store_.setAvailable(false);
        return;
    }
    receiver_ = new Receiver(this);
    // Any sender, any object path: applications pick their own paths.
    if (!bus.connect(QString(), QString(), kInterface, kMember, receiver_, SLOT(update(QDBusMessage)))) {
        log("cannot listen to launcher-entry signals on the session bus: every badge stays empty");
        store_.setAvailable(false);
        delete receiver_;
        receiver_ = nullptr;
    }
}

X11Badges::~X11Badges() {
    QDBusConnection bus = ownConnection_ ? QDBusConnection(connectionName_) : QDBusConnection::sessionBus();
    if (receiver_) {
        bus.disconnect(QString(), QString(), kInterface, kMember, receiver_, SLOT(update(QDBusMessage)));
        delete receiver_;
    }
    if (ownConnection_) QDBusConnection::disconnectFromBus(connectionName_);
}

void X11Badges::handle(const QDBusMessage& message) {
    ++received_;
    std::string uri;
    desktop::LauncherEntryUpdate update;
    if (decodeLauncherEntryUpdate(message, uri, update) && desktop::LauncherEntryBadges::desktopIdFromURI(uri)) {
        store_.update(uri, update);  // may carry only what we do not show ("progress", "urgent")
        return;
    }
    ++ignored_;
    // One line, not one per signal: a misbehaving sender may repeat itself.
    if (!loggedMalformed_) {
        loggedMalformed_ = true;
        log("ignoring a malformed launcher-entry signal from ", message.service().toStdString(), " (signature \"",
            message.signature().toStdString(), "\"); further ones are ignored silently");
    }
}

}  // namespace qs::x11

#include "X11Badges.moc"
