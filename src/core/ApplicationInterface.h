#pragma once
// The application's own windows and commands as the application delegate uses them: the
// permission window, the what's-new window, the about panel, activation and quitting.
// They are widgets of the interface; the core knows only this interface, which the
// interface installs at start (tests install a recording fake). With nothing installed
// the delegate logs what it could not show and goes on.

#include <memory>

namespace qs {

// The permission window (its controller lives in the interface).
class AccessWindow {
public:
    virtual ~AccessWindow() = default;
    virtual int level() const = 0;
    // 3 floating, 8 modal panel: both keep the window above normal windows.
    virtual void setLevel(int level) = 0;
    // Loads the window when needed, shows it, raises it and gives it the focus.
    virtual void orderFront() = 0;
    virtual bool isVisible() const = 0;
    // Stops its poll and orders it out.
    virtual void closeWindow() = 0;
};

// The what's-new window.
class NewsWindow {
public:
    virtual ~NewsWindow() = default;
    // Shows the window when the news of this version have not been shown yet.
    virtual void showWhatsNew() = 0;
};

class ApplicationInterface {
public:
    virtual ~ApplicationInterface() = default;

    virtual std::shared_ptr<AccessWindow> makeAccessController() = 0;
    virtual std::shared_ptr<NewsWindow> makeNewsWindowController() = 0;
    // The program's about box: name, version, licence.
    virtual void orderFrontStandardAboutPanel() = 0;
    // Brings the program's front window forward and gives it the focus.
    virtual void activateIgnoringOtherApps() = 0;
    // Ends the program as every quit does (the termination steps run).
    virtual void terminate() = 0;

    static void install(std::shared_ptr<ApplicationInterface> application);
    // nullptr before anything is installed.
    static ApplicationInterface* installed();
};

}  // namespace qs
