#pragma once
// Badges of an X11 desktop: the com.canonical.Unity.LauncherEntry "Update" signals on the
// session bus, kept per desktop id in a LauncherEntryBadges store. Listening costs
// nothing while no application signals (one match rule on the bus); each signal is one
// bounded map update. Without a session bus: one log line, and every label is empty.

#include <memory>
#include <string>

#include <QList>
#include <QString>
#include <QVariant>

#include "platform/desktop/Badges.h"

class QDBusMessage;

namespace qs::x11 {

// Decodes the arguments of one "Update" signal (signature "sa{sv}"). NO for anything else:
// another signature, an unreadable dictionary. Properties of the wrong type are left out
// of `update` ("count" must be an integer, "count-visible" a boolean).
bool decodeLauncherEntryUpdate(const QDBusMessage& message, std::string& appUri, desktop::LauncherEntryUpdate& update);

class X11Badges : public desktop::BadgeSource {
public:
    // Listens on the session bus, or on the bus at `busAddress` when one is given.
    explicit X11Badges(const std::string& busAddress = "");
    ~X11Badges() override;
    X11Badges(const X11Badges&) = delete;
    X11Badges& operator=(const X11Badges&) = delete;

    bool available() override { return store_.available(); }
    std::string statusLabel(const std::string& desktopId) override { return store_.statusLabel(desktopId); }

    desktop::LauncherEntryBadges& store() { return store_; }
    // Signals received, and those ignored as malformed (for tests).
    int received() const { return received_; }
    int ignored() const { return ignored_; }

private:
    class Receiver;
    void handle(const QDBusMessage& message);

    desktop::LauncherEntryBadges store_;
    Receiver* receiver_ = nullptr;
    QString connectionName_;
    bool ownConnection_ = false;
    int received_ = 0;
    int ignored_ = 0;
    bool loggedMalformed_ = false;
};

}  // namespace qs::x11
