#pragma once
// The session's login items, on a Linux desktop: the XDG autostart entries. A session
// starts, at login, every application entry in $XDG_CONFIG_HOME/autostart (default
// ~/.config/autostart) and in each $XDG_CONFIG_DIRS/autostart (default
// /etc/xdg/autostart), the user's file hiding a system file of the same name; an entry
// with Hidden=true (or X-GNOME-Autostart-enabled=false) starts nothing.
//
// An item is found by the program its Exec line runs, resolved to an absolute path with
// its links undone, so an entry of a program that has since moved is not this program's
// item. Entries that cannot be read, hold no [Desktop Entry] group or run no program
// that can be resolved are skipped (one log line per version of the file) and never
// written over without being kept aside.

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qs::desktop {

class FileWatch;

struct LoginItem {
    // The desktop entry that holds the item.
    std::string file;
    // The program its Exec line runs: absolute, links resolved.
    std::string resolvedPath;
    // Whether the file is the user's (else a system-wide entry).
    bool userEntry = true;
};

class LoginItems {
public:
    LoginItems();
    ~LoginItems();
    LoginItems(const LoginItems&) = delete;
    LoginItems& operator=(const LoginItems&) = delete;

    static std::string userAutostartDirectory();
    static std::vector<std::string> systemAutostartDirectories();

    // The items that start a program at login: the user's entries by file name, then the
    // system's that no user entry of the same name overrides.
    std::vector<LoginItem> snapshot() const;

    // Writes the user's entry `fileName` (e.g. "org.quayside.Quayside.desktop") so that it
    // starts `programPath` at login. An entry already there under that name that cannot
    // be read is kept aside first (<name>.unreadable-<time>); one that starts another
    // program is replaced, with a log line naming it. NO, with a log line, when the
    // folder or the file cannot be written.
    bool insertItem(const std::string& programPath, const std::string& fileName, const std::string& displayName,
                    const std::string& iconName);
    // A user's entry is removed; a system entry is switched off by a user entry of the
    // same name with Hidden=true. NO, with a log line, when that fails.
    bool removeItem(const LoginItem& item);

    // Called on the main run loop when the autostart folders change (from outside too:
    // an entry the user removed by hand, or one another program wrote).
    void setChangeObserver(std::function<void()> observer);

private:
    void rewatch();

    std::function<void()> observer_;
    std::unique_ptr<FileWatch> watch_;
    std::vector<std::string> watched_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The Exec line of a desktop entry that runs `programPath` with no arguments: the path
// quoted where the rules of the desktop entry format ask for it, "%" doubled.
std::string execLineForProgram(const std::string& programPath);
// The arguments of an Exec value (as read from the file, string escapes undone): quoting
// and "%%" undone, field codes left out. Empty for a malformed line (an unclosed quote).
std::vector<std::string> splitExecLine(const std::string& exec);
// The value written to a key file: backslashes doubled, line breaks and tabs escaped.
std::string escapeKeyFileValue(const std::string& value);
// A program name or path as a session would run it: an absolute path made canonical, a
// bare name looked up on $PATH; "" when it resolves to no executable file.
std::string resolveProgramPath(const std::string& program);

}  // namespace qs::desktop
