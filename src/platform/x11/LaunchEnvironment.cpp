#include "platform/x11/LaunchEnvironment.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace qs::x11::LaunchEnvironment {

namespace {

// The variables set for this program only, with the value each had before (none: it was
// not set).
std::map<std::string, std::optional<std::string>>& privateVariables() {
    static std::map<std::string, std::optional<std::string>> variables;
    return variables;
}

bool isFolder(const char* path) {
    struct stat st {};
    return path && *path && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool privateByName(const std::string& name) {
    return name.rfind("QUAYSIDE_", 0) == 0 || name == "DESKTOP_STARTUP_ID" || name == "XDG_ACTIVATION_TOKEN";
}

}  // namespace

void setPrivate(const char* name, const char* value) {
    auto& variables = privateVariables();
    if (!variables.count(name)) {
        const char* before = std::getenv(name);
        variables[name] = before ? std::optional<std::string>(before) : std::nullopt;
    }
    ::setenv(name, value, 1);
}

std::vector<std::string> forChild(const std::string& folder) {
    const auto& variables = privateVariables();
    std::vector<std::string> out;
    for (char** e = environ; e && *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (!eq) continue;
        std::string name(*e, size_t(eq - *e));
        if (privateByName(name) || variables.count(name) || name == "PWD") continue;
        out.emplace_back(*e);
    }
    out.push_back("PWD=" + folder);
    for (const auto& [name, before] : variables)
        if (before) out.push_back(name + "=" + *before);
    return out;
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (isFolder(home)) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && isFolder(pw->pw_dir)) return pw->pw_dir;
    return "/";
}

}  // namespace qs::x11::LaunchEnvironment
