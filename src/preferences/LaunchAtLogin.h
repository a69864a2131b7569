#pragma once
// Launch at login: the program's entry among the session's login items, switched on and
// off by a check box of the General pane bound to "launchAtLogin". On a Linux desktop the
// entry is the XDG autostart entry $XDG_CONFIG_HOME/autostart/org.quayside.Quayside.desktop,
// whose Exec is the running program's absolute path.
//
// The property is read from the folders each time, and observers of "launchAtLogin" are
// told when the folders change from outside (an entry removed by hand, one another
// program wrote), so a bound check box always shows what the session will do.

#include <memory>
#include <optional>
#include <string>

#include "platform/desktop/LoginItems.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/URL.h"

namespace qs {

class LaunchAtLoginController : public Object {
public:
    // The entry's file name in the autostart folder.
    static std::string entryFileName();

    LaunchAtLoginController();
    ~LaunchAtLoginController() override;

    std::string className() const override { return "LaunchAtLoginController"; }

    // The login items (the session's list, watched while this controller lives).
    desktop::LoginItems* loginItems() const { return loginItems_.get(); }

    // The first item that starts the program at `url`; nullopt when either is missing or
    // none does. Items whose program cannot be resolved are skipped.
    std::optional<desktop::LoginItem> findItemWithURL(const URL* url, const desktop::LoginItems* fileList) const;
    bool willLaunchAtLogin(const URL& url) const;
    // On: writes the entry when no item starts the program yet. Off: removes every item
    // that starts it. Otherwise nothing.
    void setLaunchAtLogin(bool enabled, const URL& url);

    // The running program (a file URL of its path).
    URLPtr appURL() const;
    bool launchAtLogin() const;
    void setLaunchAtLogin(bool enabled);

    // "launchAtLogin" for bindings.
    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

private:
    std::unique_ptr<desktop::LoginItems> loginItems_;
};

}  // namespace qs
