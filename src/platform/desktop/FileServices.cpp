#include "platform/desktop/FileServices.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QImageReader>
#include <QMimeDatabase>
#include <QUrl>
#include <QXmlStreamReader>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/desktop/Desktop.h"
#include "platform/foundation/FileRead.h"
#include "platform/foundation/Log.h"

namespace fs = std::filesystem;

namespace qs::desktop {

FileServices* fileServices() { return services().files.get(); }

namespace files {

namespace {

std::string dataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/share";
}

std::string cacheHome() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.cache";
}

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// rename(2) that never replaces an existing destination.
bool renameNoReplace(const std::string& from, const std::string& to, int& err) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    err = errno;
    if (err != EINVAL && err != ENOSYS) return false;
#endif
    if (exists(to)) {
        err = EEXIST;
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    err = errno;
    return false;
}

std::function<void(const std::string&)>& beforeCopyHook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

// Copies `from` to a hidden partial name beside `to`, then renames it into place; on
// any failure the partial copy is removed.
bool copyInto(const std::string& from, const std::string& to, std::string& error) {
    if (beforeCopyHook()) beforeCopyHook()(from);
    fs::path target(to);
    std::string partial = (target.parent_path() / ("." + target.filename().string() + ".partial-" +
                                                   std::to_string(::getpid()) + "-" + std::to_string(std::rand())))
                              .string();
    std::error_code ec;
    fs::copy(from, partial, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) {
        error = "cannot copy " + from + ": " + ec.message();
        fs::remove_all(partial, ec);
        return false;
    }
    int err = 0;
    if (!renameNoReplace(partial, to, err)) {
        error = "cannot place " + to + ": " + std::strerror(err);
        fs::remove_all(partial, ec);
        return false;
    }
    return true;
}

// Whether the item is the folder or lies somewhere inside it.
bool isInside(const fs::path& item, const fs::path& folder) {
    std::error_code ec;
    fs::path a = fs::weakly_canonical(item, ec), b = fs::weakly_canonical(folder, ec);
    auto ai = a.begin(), bi = b.begin();
    for (; ai != a.end() && bi != b.end(); ++ai, ++bi)
        if (*ai != *bi) return false;
    return bi == b.end();
}

// Whether the item (and, for a folder, everything in it) could be removed: every folder
// that loses an entry must be writable.
bool removable(const fs::path& item, std::string& error) {
    auto writable = [](const fs::path& dir) { return ::access(dir.c_str(), W_OK | X_OK) == 0; };
    fs::path parent = item.parent_path();
    if (!writable(parent)) {
        error = "its folder " + parent.string() + " cannot be changed (read-only)";
        return false;
    }
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(item, ec))) return true;
    if (!writable(item)) {
        error = "the folder cannot be emptied (read-only)";
        return false;
    }
    for (auto it = fs::recursive_directory_iterator(item, fs::directory_options::none, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec) && !writable(it->path())) {
            error = it->path().string() + " cannot be emptied (read-only)";
            return false;
        }
    }
    if (ec) {
        error = "its contents cannot be read: " + ec.message();
        return false;
    }
    return true;
}

template <class Op>
FileOperationResult forEachItem(const std::vector<std::string>& paths, const std::string& folder, const char* what,
                                Op op) {
    FileOperationResult result;
    result.ok = true;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        result.ok = false;
        result.error = std::string("cannot ") + what + " into " + folder + ": not a folder";
        log(result.error);
        return result;
    }
    for (const auto& path : paths) {
        std::string error;
        std::string placed;
        if (!exists(path))
            error = std::string("cannot ") + what + " " + path + ": it does not exist";
        else
            placed = op(path, error);
        if (!error.empty()) {
            log(error);
            if (result.ok) result.error = error;
            result.ok = false;
            continue;
        }
        result.created.push_back(placed);
    }
    return result;
}

std::string percentDecode(const std::string& s, bool& ok) {
    std::string out;
    ok = true;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size() || !std::isxdigit((unsigned char)s[i + 1]) || !std::isxdigit((unsigned char)s[i + 2])) {
            ok = false;
            return {};
        }
        out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return out;
}

std::string percentEncodePath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-_.~!$&'()*+,;=:@", c))
            out += char(c);
        else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string localTimestamp() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

}  // namespace

bool isSameOrInside(const std::string& folder, const std::string& item) { return isInside(folder, item); }

void setBeforeCopyHookForTesting(std::function<void(const std::string& from)> hook) {
    beforeCopyHook() = std::move(hook);
}

std::string uniqueDestination(const std::string& folder, const std::string& name) {
    fs::path base(folder);
    if (!exists((base / name).string())) return (base / name).string();
    fs::path n(name);
    std::string stem = n.stem().string(), ext = n.extension().string();
    if (stem.empty()) stem = name, ext.clear();  // ".hidden" has no extension
    for (int i = 2;; ++i) {
        std::string candidate = (base / (stem + " " + std::to_string(i) + ext)).string();
        if (!exists(candidate)) return candidate;
    }
}

FileOperationResult copyItems(const std::vector<std::string>& paths, const std::string& folder) {
    return forEachItem(paths, folder, "copy", [&](const std::string& path, std::string& error) {
        std::string to = uniqueDestination(folder, fs::path(path).filename().string());
        if (fs::is_directory(path) && isInside(folder, path)) {
            error = "cannot copy " + path + " into itself";
            return std::string();
        }
        return copyInto(path, to, error) ? to : std::string();
    });
}

FileOperationResult moveItems(const std::vector<std::string>& paths, const std::string& folder) {
    return forEachItem(paths, folder, "move", [&](const std::string& path, std::string& error) {
        std::error_code ec;
        if (fs::equivalent(fs::path(path).parent_path(), folder, ec)) return path;  // already there
        if (isInside(folder, path)) {
            error = "cannot move " + path + " into itself";
            return std::string();
        }
        std::string to = uniqueDestination(folder, fs::path(path).filename().string());
        int err = 0;
        if (renameNoReplace(path, to, err)) return to;
        if (err != EXDEV) {
            error = "cannot move " + path + ": " + std::strerror(err);
            return std::string();
        }
        // Another file system: copy completely, then remove the original (nothing is
        // copied unless the original can be removed afterwards).
        std::string why;
        if (!removable(path, why)) {
            error = "cannot move " + path + ": " + why;
            return std::string();
        }
        if (!copyInto(path, to, error)) return std::string();
        fs::remove_all(path, ec);
        std::error_code ec2;
        if (ec && exists(path) && !fs::is_directory(fs::symlink_status(path, ec2))) {
            fs::remove_all(to, ec2);
            error = "cannot move " + path + ": the original could not be removed";
            return std::string();
        }
        if (ec) log("moved ", path, " to ", to, " but could not remove all of the original: ", ec.message());
        return to;
    });
}

FileOperationResult aliasItems(const std::vector<std::string>& paths, const std::string& folder) {
    return forEachItem(paths, folder, "alias", [&](const std::string& path, std::string& error) {
        std::error_code ec;
        fs::path target = fs::absolute(path, ec);
        std::string to = uniqueDestination(folder, target.filename().string());
        fs::create_symlink(target, to, ec);
        if (ec) {
            error = "cannot make an alias of " + path + ": " + ec.message();
            return std::string();
        }
        return to;
    });
}

std::string trashDirectory() { return dataHome() + "/Trash"; }
std::string trashFilesDirectory() { return trashDirectory() + "/files"; }

FileOperationResult moveToTrash(const std::vector<std::string>& paths) {
    FileOperationResult result;
    result.ok = true;
    const fs::path trash = trashDirectory(), filesDir = trash / "files", infoDir = trash / "info";
    std::error_code ec;
    fs::create_directories(filesDir, ec);
    fs::create_directories(infoDir, ec);
    ::chmod(trash.c_str(), 0700);
    auto fail = [&](const std::string& error) {
        log(error);
        if (result.ok) result.error = error;
        result.ok = false;
    };
    for (const auto& given : paths) {
        fs::path path = fs::absolute(given, ec);
        if (!exists(path)) {
            fail("cannot move " + given + " to the trash: it does not exist");
            continue;
        }
        if (isInside(path, trash)) {
            fail("cannot move " + given + " to the trash: it is in the trash");
            continue;
        }
        if (isInside(trash, path)) {
            fail("cannot move " + given + " to the trash: the trash is inside it");
            continue;
        }
        // Reserve a name by creating its .trashinfo exclusively (the freedesktop trash layout's
        // order: the info file first, then the file).
        std::string name = path.filename().string(), infoPath, filePath;
        int fd = -1;
        // A name is free when neither files/<name> nor info/<name>.trashinfo exists (an
        // orphaned info file still holds its name).
        fs::path n(name);
        std::string stem = n.stem().string(), ext = n.extension().string();
        if (stem.empty()) stem = name, ext.clear();
        for (int attempt = 1; attempt <= 10000 && fd < 0; ++attempt) {
            std::string candidate = attempt == 1 ? name : stem + " " + std::to_string(attempt) + ext;
            infoPath = (infoDir / (candidate + ".trashinfo")).string();
            filePath = (filesDir / candidate).string();
            if (exists(filePath)) continue;
            fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd < 0) {
            fail("cannot move " + given + " to the trash: cannot write its information file");
            continue;
        }
        std::string info = "[Trash Info]\nPath=" + percentEncodePath(path.lexically_normal().string()) +
                           "\nDeletionDate=" + localTimestamp() + "\n";
        bool written = ::write(fd, info.data(), info.size()) == ssize_t(info.size());
        ::close(fd);
        if (!written) {
            ::unlink(infoPath.c_str());
            fail("cannot move " + given + " to the trash: cannot write its information file");
            continue;
        }
        int err = 0;
        bool moved = renameNoReplace(path.string(), filePath, err);
        std::string error;
        if (!moved && err == EXDEV) {
            // Another file system: copy completely, then remove the original. Nothing is
            // copied unless the original can be removed afterwards.
            if (!removable(path, error)) {
                moved = false;
            } else if ((moved = copyInto(path.string(), filePath, error))) {
                fs::remove_all(path, ec);
                std::error_code ec2;
                if (ec && exists(path)) {
                    if (!fs::is_directory(fs::symlink_status(path, ec2))) {
                        // The original is whole: take the copy back out of the trash.
                        fs::remove_all(filePath, ec2);
                        moved = false;
                        error = "the original could not be removed";
                    } else {
                        // Part of the folder is gone: keep the whole copy in the trash.
                        log("moved ", given, " to the trash as a copy, but part of the original could not be removed");
                    }
                }
            }
        } else if (!moved) {
            error = std::strerror(err);
        }
        if (!moved) {
            ::unlink(infoPath.c_str());
            fail("cannot move " + given + " to the trash: " + error);
            continue;
        }
        result.created.push_back(filePath);
    }
    return result;
}

FileOperationResult emptyTrash() {
    FileOperationResult result;
    result.ok = true;
    const fs::path trash = trashDirectory();
    for (const char* sub : {"files", "info"}) {
        std::error_code ec;
        fs::directory_iterator it(trash / sub, ec), end;
        if (ec) continue;  // nothing there
        for (; it != end; it.increment(ec)) {
            if (ec) break;
            std::error_code rm;
            fs::remove_all(it->path(), rm);
            if (rm) {
                std::string error = "cannot empty the trash: " + it->path().string() + ": " + rm.message();
                log(error);
                if (result.ok) result.error = error;
                result.ok = false;
            }
        }
    }
    std::error_code ec;
    fs::remove(trash / "directorysizes", ec);
    return result;
}

bool trashHasItems() {
    std::error_code ec;
    fs::directory_iterator it(trashFilesDirectory(), ec);
    return !ec && it != fs::directory_iterator();
}

std::optional<TrashInfo> readTrashInfo(const std::string& infoPath) {
    // A trash information file holds one path (at most 4096 bytes, three times that
    // percent-encoded) and a date.
    constexpr size_t kMaxTrashInfoBytes = 64 * 1024;
    FileRead::Result file = FileRead::readFile(infoPath, kMaxTrashInfoBytes);
    if (!file.ok()) {
        log("cannot read the trash information file ", infoPath, ": ", file.error);
        return std::nullopt;
    }
    std::istringstream in(file.text());
    std::string line;
    bool inGroup = false, sawGroup = false;
    TrashInfo info;
    bool hasPath = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inGroup = line == "[Trash Info]";
            sawGroup = sawGroup || inGroup;
            continue;
        }
        if (!inGroup) continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "Path" && !hasPath) {
            bool ok = false;
            info.originalPath = percentDecode(value, ok);
            hasPath = ok && !info.originalPath.empty();
        } else if (key == "DeletionDate") {
            info.deletionDate = value;
        }
    }
    if (!sawGroup || !hasPath) {
        log("the trash information file ", infoPath, " is malformed");
        return std::nullopt;
    }
    return info;
}

std::string fileURI(const std::string& path) {
    const QByteArray bytes = QByteArray::fromStdString(path);
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() == bytes)
        return QUrl::fromLocalFile(text).toString(QUrl::FullyEncoded).toStdString();
    // A name that is not UTF-8 keeps its own bytes, percent-encoded, rather than turning
    // into replacement characters (which would name another file).
    return "file://" + bytes.toPercentEncoding("/!$&'()*+,;=:@~").toStdString();
}

namespace {
// A tEXt entry of a PNG file, read from the chunks before the pixel data (where
// thumbnailers write them) without decoding anything; "" when absent. Qt's readers
// cannot tell keys with colons ("Thumb::MTime") apart before decoding.
std::string pngTextBeforePixels(const QString& file, const std::string& key) {
    std::string whyNot;
    std::unique_ptr<QFile> in = Image::openFile(QFile::encodeName(file).toStdString(), whyNot);
    if (!in) return {};
    const QByteArray head = in->read(64 * 1024);
    if (head.size() < 8 || !head.startsWith("\x89PNG\r\n\x1a\n")) return {};
    qsizetype at = 8;
    while (at + 8 <= head.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(head.constData() + at);
        const uint32_t length = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
        const QByteArray type = head.mid(at + 4, 4);
        if (type == "IDAT" || type == "IEND" || length > uint32_t(head.size())) break;
        if (at + 8 + qsizetype(length) > head.size()) break;
        if (type == "tEXt") {
            const QByteArray body = head.mid(at + 8, length);
            const qsizetype nul = body.indexOf('\0');
            if (nul > 0 && body.left(nul).toStdString() == key) return body.mid(nul + 1).toStdString();
        }
        at += 12 + qsizetype(length);
    }
    return {};
}
}  // namespace

ImagePtr thumbnailForFile(const std::string& path, int max) {
    // Only headers are read here; the pixels are decoded when the icon is drawn.
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || max <= 0) return nullptr;
    const QByteArray md5 =
        QCryptographicHash::hash(QByteArray::fromStdString(fileURI(path)), QCryptographicHash::Md5).toHex();
    const std::string base = cacheHome() + "/thumbnails/";
    for (const char* size : {"x-large", "large", "normal"}) {
        QString file = QString::fromStdString(base + size + "/") + QString::fromLatin1(md5) + ".png";
        if (!QFile::exists(file)) continue;
        // A thumbnail is valid only for the version of the file it was made of.
        const QString mtime = QString::fromStdString(pngTextBeforePixels(file, "Thumb::MTime"));
        if (!mtime.isEmpty() && mtime.toLongLong() != (long long)st.st_mtime) continue;
        if (auto image = Image::imageWithContentsOfFileDeferred(file.toStdString(), max)) return image;
    }
    QMimeDatabase db;
    QMimeType type = db.mimeTypeForFile(QString::fromStdString(path));
    if (!type.name().startsWith("image/")) return nullptr;
    return Image::imageWithContentsOfFileDeferred(path, max);
}

namespace {
// The parsed recently-used list, read again only when the file changes.
struct RecentList {
    std::mutex mutex;
    std::string file;
    long long mtime = -1;
    std::map<std::string, double> lastUse;  // file URI -> seconds since 1970
};

double parseDate(const QString& text) {
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    return t.isValid() ? t.toMSecsSinceEpoch() / 1000.0 : 0.0;
}
}  // namespace

std::optional<Date> lastUsedDate(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    static RecentList recent;
    const std::string uri = fileURI(path);
    {
        std::lock_guard lock(recent.mutex);
        std::string file = dataHome() + "/recently-used.xbel";
        struct stat xs {};
        long long mtime = ::stat(file.c_str(), &xs) == 0 ? (long long)xs.st_mtim.tv_sec * 1000000000LL + xs.st_mtim.tv_nsec : -2;
        if (file != recent.file || mtime != recent.mtime) {
            recent.file = file;
            recent.mtime = mtime;
            recent.lastUse.clear();
            // The list of recently used files grows with use; a long one is a few MiB.
            constexpr size_t kMaxRecentlyUsedBytes = size_t(32) << 20;
            FileRead::Result f = mtime >= 0 ? FileRead::readFile(file, kMaxRecentlyUsedBytes) : FileRead::Result{};
            if (f.ok()) {
                QXmlStreamReader xml(QByteArray(reinterpret_cast<const char*>(f.bytes.data()), qsizetype(f.bytes.size())));
                while (!xml.atEnd()) {
                    if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("bookmark"))
                        continue;
                    auto a = xml.attributes();
                    double when = std::max({parseDate(a.value("visited").toString()),
                                            parseDate(a.value("modified").toString()),
                                            parseDate(a.value("added").toString())});
                    std::string href = QUrl(a.value("href").toString()).toString(QUrl::FullyEncoded).toStdString();
                    double& slot = recent.lastUse[href];
                    slot = std::max(slot, when);
                }
                if (xml.hasError())
                    log("the recently-used list ", file, " is malformed (", xml.errorString().toStdString(),
                        "); the part before the fault is used");
            }
        }
        auto it = recent.lastUse.find(uri);
        if (it != recent.lastUse.end() && it->second > 0) return Date{it->second};
    }
    return Date{double(st.st_atim.tv_sec) + st.st_atim.tv_nsec / 1e9};
}

}  // namespace files

}  // namespace qs::desktop
