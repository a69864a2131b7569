#include "platform/desktop/Permissions.h"

#include <cstdlib>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/desktop/FileServices.h"

namespace qs::desktop {

namespace {

enum class Kind { Missing, Folder, Other };

Kind kindOf(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return Kind::Missing;
    return S_ISDIR(st.st_mode) ? Kind::Folder : Kind::Other;
}

// Readable, writable and searchable by this process's effective ids.
bool usableFolder(const std::string& path) {
    return kindOf(path) == Kind::Folder && ::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK | X_OK, AT_EACCESS) == 0;
}

std::string parentOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

}  // namespace

bool userFoldersAccessible(const std::string& home, const std::string& trash) {
    if (home.empty() || !usableFolder(home)) return false;
    if (trash.empty()) return false;
    switch (kindOf(trash)) {
        case Kind::Other:
            return false;
        case Kind::Missing: {
            // Made on first use: the nearest folder that exists must take it.
            std::string up = parentOf(trash);
            while (kindOf(up) == Kind::Missing && up != "/" && up != ".") up = parentOf(up);
            return kindOf(up) == Kind::Folder &&
                   ::faccessat(AT_FDCWD, up.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
        }
        case Kind::Folder:
            break;
    }
    if (!usableFolder(trash)) return false;
    for (const char* sub : {"/files", "/info"}) {
        std::string path = trash + sub;
        if (kindOf(path) != Kind::Missing && !usableFolder(path)) return false;
    }
    return true;
}

bool userFoldersAccessible() { return userFoldersAccessible(homeFolder(), files::trashDirectory()); }

}  // namespace qs::desktop
