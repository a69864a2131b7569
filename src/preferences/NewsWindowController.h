#pragma once
// The what's-new window: the release notes of this version, shown once per
// installation. The application delegate creates it at launch and asks it to show itself
// 2.0 s later.
//
// "whatNewIsPresented" is absent until the window has been shown, then YES; any stored
// value (a NO too) keeps the window from showing again.

#include <memory>
#include <string>

#include "core/ApplicationInterface.h"

class QDialog;

namespace Ui {
class NewsWindowController;
}

namespace qs {

class NewsWindowController : public NewsWindow {
public:
    static constexpr const char* kPresentedKey = "whatNewIsPresented";

    // init: the window comes from the interface file named after the class, when first
    // needed.
    NewsWindowController();
    ~NewsWindowController() override;

    QDialog* window();
    bool isWindowLoaded() const { return window_ != nullptr; }
    // Floating level: the window stays above normal windows.
    void windowDidLoad();

    void showWhatsNew() override;

    // The release notes (Markdown) the program ships for a version; "" with a log line
    // when they are not installed.
    static std::string releaseNotes(const std::string& version);
    // The text the window shows: the notes, or a line saying they are missing.
    static std::string displayedNotes(const std::string& version);

private:
    std::unique_ptr<Ui::NewsWindowController> ui_;
    std::unique_ptr<QDialog> window_;
};

}  // namespace qs
