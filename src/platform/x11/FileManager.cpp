#include "platform/x11/FileManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <chrono>
#include <filesystem>

#include "platform/desktop/UserMessages.h"
#include "platform/foundation/Log.h"
#include "platform/x11/InotifyWatch.h"
#include "platform/x11/X11Workspace.h"

namespace qs::x11 {

namespace {

constexpr const char* kService = "org.freedesktop.FileManager1";
constexpr const char* kPath = "/org/freedesktop/FileManager1";
constexpr int kTimeoutMs = 1500;
// Why nothing was shown when no file manager answers.
constexpr const char* kNoFileManager = "No file manager runs on this desktop, and no program is set to open folders.";
// A failure xdg-open reports later than this may be the opened program's own.
constexpr auto kOpenerVerdictTime = std::chrono::seconds(10);

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

bool FileManagerServices::openWithDefaultHandler(const std::string& pathOrURI, const std::string& whatFailed) {
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return false;
    // The path goes byte for byte, as one argument. xdg-open answers only when it is done:
    // a quick "no method available" (3) or "the action failed" (4) tells the user then.
    const auto started = std::chrono::steady_clock::now();
    return X11Workspace::spawnDetached({opener.toStdString(), pathOrURI}, "", [whatFailed, started](int status) {
        const bool quick = std::chrono::steady_clock::now() - started < kOpenerVerdictTime;
        if (status == 3 || (status == 4 && quick)) {
            log("xdg-open found no program for ", whatFailed, " (status ", status, ")");
            desktop::tellUser({whatFailed, kNoFileManager});
        }
    });
}

bool FileManagerServices::showItems(const std::vector<std::string>& paths) {
    if (paths.empty()) return false;
    std::vector<std::string> uris;
    for (const auto& p : paths) uris.push_back(uriFor(p));
    if (callFileManager("ShowItems", uris)) return true;
    const std::string what = desktop::quotedName(paths.front()) + " could not be shown in a file manager.";
    if (openWithDefaultHandler(containingFolder(paths.front()), what)) return true;
    log("no file manager could show ", paths.front());
    desktop::noteFailureReason(kNoFileManager);
    return false;
}

bool FileManagerServices::showItemProperties(const std::vector<std::string>& paths) {
    if (paths.empty()) return false;
    std::vector<std::string> uris;
    for (const auto& p : paths) uris.push_back(uriFor(p));
    if (callFileManager("ShowItemProperties", uris)) return true;
    const std::string what = "The information of " + desktop::quotedName(paths.front()) + " could not be shown.";
    if (openWithDefaultHandler(containingFolder(paths.front()), what)) return true;
    log("no file manager could show the information of ", paths.front());
    desktop::noteFailureReason(kNoFileManager);
    return false;
}

bool FileManagerServices::showFolder(const std::string& pathOrURI) {
    if (pathOrURI.empty()) return false;
    if (callFileManager("ShowFolders", {uriFor(pathOrURI)})) return true;
    const std::string name = pathOrURI.rfind("trash:", 0) == 0 ? "The Trash" : desktop::quotedName(pathOrURI);
    if (openWithDefaultHandler(pathOrURI, name + " could not be opened.")) return true;
    log("no file manager could open ", pathOrURI, " (none answers as org.freedesktop.FileManager1, and xdg-open is not there)");
    desktop::noteFailureReason(kNoFileManager);
    return false;
}

}  // namespace qs::x11
