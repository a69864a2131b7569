#include "platform/x11/FileManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <filesystem>

#include "platform/foundation/Log.h"
#include "platform/x11/InotifyWatch.h"
#include "platform/x11/X11Workspace.h"

namespace qs::x11 {

namespace {

constexpr const char* kService = "org.freedesktop.FileManager1";
constexpr const char* kPath = "/org/freedesktop/FileManager1";
constexpr int kTimeoutMs = 1500;

std::string uriFor(const std::string& pathOrURI) {
    if (pathOrURI.find(":/") != std::string::npos && pathOrURI.front() != '/') return pathOrURI;
    return desktop::files::fileURI(pathOrURI);
}

std::string containingFolder(const std::string& path) {
    auto parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "/" : parent;
}

}  // namespace

std::unique_ptr<desktop::FileWatch> FileManagerServices::watchPaths(const std::vector<std::string>& paths,
                                                                    bool subdirectories, double latency,
                                                                    desktop::FileWatchHandler handler) {
    return InotifyWatch::start(paths, subdirectories, latency, std::move(handler));
}

bool FileManagerServices::callFileManager(const std::string& method, const std::vector<std::string>& uris) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    auto* iface = bus.interface();
    if (!iface) return false;
    // A service that is neither running nor activatable is not asked (the call would
    // wait for its time-out).
    bool present = iface->isServiceRegistered(QString::fromLatin1(kService)).value();
    if (!present) {
        auto activatable = iface->activatableServiceNames().value();
        present = activatable.contains(QString::fromLatin1(kService));
    }
    if (!present) return false;
    QStringList list;
    for (const auto& uri : uris) list << QString::fromStdString(uri);
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                                       QString::fromLatin1(kService), QString::fromStdString(method));
    call << list << QString();
    QDBusMessage reply = bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        log("the file manager refused ", method, ": ", reply.errorMessage().toStdString());
        return false;
    }
    return true;
}

bool FileManagerServices::openWithDefaultHandler(const std::string& pathOrURI) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return false;
    // The path goes byte for byte, as one argument.
    return X11Workspace::spawnDetached({opener.toStdString(), pathOrURI}, "");
}

bool FileManagerServices::showItems(const std::vector<std::string>& paths) {
    if (paths.empty()) return false;
    std::vector<std::string> uris;
    for (const auto& p : paths) uris.push_back(uriFor(p));
    if (callFileManager("ShowItems", uris)) return true;
    if (openWithDefaultHandler(containingFolder(paths.front()))) return true;
    log("no file manager could show ", paths.front());
    return false;
}

bool FileManagerServices::showItemProperties(const std::vector<std::string>& paths) {
    if (paths.empty()) return false;
    std::vector<std::string> uris;
    for (const auto& p : paths) uris.push_back(uriFor(p));
    if (callFileManager("ShowItemProperties", uris)) return true;
    if (openWithDefaultHandler(containingFolder(paths.front()))) return true;
    log("no file manager could show the information of ", paths.front());
    return false;
}

bool FileManagerServices::showFolder(const std::string& pathOrURI) {
    if (pathOrURI.empty()) return false;
    if (callFileManager("ShowFolders", {uriFor(pathOrURI)})) return true;
    if (openWithDefaultHandler(pathOrURI)) return true;
    log("no file manager could open ", pathOrURI);
    return false;
}

}  // namespace qs::x11
