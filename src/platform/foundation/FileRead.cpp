#include "platform/foundation/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/foundation/Log.h"

namespace qs::FileRead {

namespace {

Status statusOfErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR: return Status::Missing;
        case EACCES:
        case EPERM: return Status::AccessDenied;
        default: return Status::Failed;
    }
}

std::string kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    return "something else";
}

// Fills status and error; writes the refusals the caller cannot have expected to the log.
int refuse(Status s, std::string text, Status& status, std::string& error) {
    status = s;
    error = std::move(text);
    if (s == Status::NotRegular || s == Status::TooLarge) logOnce(error);
    return -1;
}

int refuseErrno(const std::string& path, int err, Status& status, std::string& error) {
    return refuse(statusOfErrno(err), "cannot open " + path + ": " + std::strerror(err), status, error);
}

bool refuseType(const std::string& path, const struct stat& st, size_t maxBytes, Status& status, std::string& error) {
    if (!S_ISREG(st.st_mode)) {
        refuse(Status::NotRegular, path + " is " + kindOf(st.st_mode) + ", not a regular file; it is not read", status,
               error);
        return true;
    }
    if (uint64_t(st.st_size) > maxBytes) {
        refuse(Status::TooLarge,
               path + " is too large to read (" + std::to_string(st.st_size) + " bytes; the limit is " +
                   std::to_string(maxBytes) + ")",
               status, error);
        return true;
    }
    return false;
}

}  // namespace

const char* describe(Status status) {
    switch (status) {
        case Status::Ok: return "read";
        case Status::Missing: return "missing";
        case Status::AccessDenied: return "permission denied";
        case Status::NotRegular: return "not a regular file";
        case Status::TooLarge: return "too large";
        case Status::Failed: return "cannot be read";
    }
    return "cannot be read";
}

int openFile(const std::string& path, size_t maxBytes, Status& status, std::string& error) {
    status = Status::Failed;
    error.clear();
    // Looked at before it is opened, so that opening has no side effect on a device...
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return refuseErrno(path, errno, status, error);
    if (refuseType(path, st, maxBytes, status, error)) return -1;
    // ...and again through the descriptor, for what was put there in between. Opening
    // without blocking keeps a FIFO swapped in from stalling the open itself.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return refuseErrno(path, errno, status, error);
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        return refuseErrno(path, err, status, error);
    }
    if (refuseType(path, st, maxBytes, status, error)) {
        ::close(fd);
        return -1;
    }
    status = Status::Ok;
    return fd;
}

Result readFile(const std::string& path, size_t maxBytes) {
    Result result;
    int fd = openFile(path, maxBytes, result.status, result.error);
    if (fd < 0) return result;
    struct stat st {};
    size_t expected = ::fstat(fd, &st) == 0 ? size_t(st.st_size) : 0;
    result.bytes.reserve(expected);
    // A file that grows while it is read still stops at the bound (one byte more tells).
    uint8_t buffer[65536];
    for (;;) {
        size_t room = maxBytes + 1 - result.bytes.size();
        ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, room));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            result.bytes.clear();
            result.status = Status::Failed;
            result.error = "cannot read " + path + ": " + std::strerror(err);
            return result;
        }
        if (n == 0) break;
        result.bytes.insert(result.bytes.end(), buffer, buffer + n);
        if (result.bytes.size() > maxBytes) {
            ::close(fd);
            result.bytes.clear();
            refuse(Status::TooLarge,
                   path + " is too large to read (more than " + std::to_string(maxBytes) + " bytes)", result.status,
                   result.error);
            return result;
        }
    }
    ::close(fd);
    result.status = Status::Ok;
    return result;
}

std::string unreadableSuffix() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return std::string(".unreadable-") + buf;
}

std::string keepAside(const std::string& path, std::string* error) {
    namespace fs = std::filesystem;
    const std::string base = path + unreadableSuffix();
    std::string target = base;
    std::error_code ec;
    for (int n = 2; fs::exists(fs::symlink_status(target, ec)); ++n) target = base + "-" + std::to_string(n);
    fs::rename(path, target, ec);
    if (ec) {
        if (error) *error = ec.message();
        return {};
    }
    return target;
}

}  // namespace qs::FileRead
