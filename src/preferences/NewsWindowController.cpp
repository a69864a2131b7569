#include "preferences/NewsWindowController.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTextBrowser>
#include <sstream>

#include "platform/desktop/MainBundle.h"
#include "platform/foundation/FileRead.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "ui_NewsWindowController.h"

namespace qs {

NewsWindowController::NewsWindowController() = default;
NewsWindowController::~NewsWindowController() = default;

std::string NewsWindowController::releaseNotes(const std::string& version) {
    const std::string name = version + ".md";
    std::string path = MainBundle::pathForResource(name, MainBundle::kReleaseNotes);
    if (path.empty()) {
        log("the release notes of version ", version, " are not installed with the program");
        return {};
    }
    // Release notes are a page or two of text.
    constexpr size_t kMaxReleaseNotesBytes = size_t(1) << 20;
    FileRead::Result file = FileRead::readFile(path, kMaxReleaseNotesBytes);
    if (!file.ok()) {
        log("the release notes cannot be read: ", file.error);
        return {};
    }
    return file.text();
}

std::string NewsWindowController::displayedNotes(const std::string& version) {
    std::string notes = releaseNotes(version);
    if (!notes.empty()) return notes;
    return "The release notes of Quayside " + version + " are not installed with this copy of the program.";
}

QDialog* NewsWindowController::window() {
    if (window_) return window_.get();
    window_ = std::make_unique<QDialog>();
    ui_ = std::make_unique<Ui::NewsWindowController>();
    ui_->setupUi(window_.get());
    const std::string& version = MainBundle::shortVersionString();
    ui_->versionLabel->setText(QStringLiteral("Version %1").arg(QString::fromStdString(version)));
    if (ImagePtr icon = MainBundle::imageForResource("quayside", 64))
        ui_->iconLabel->setPixmap(QPixmap::fromImage(icon->qimage()));
    ui_->notesView->setMarkdown(QString::fromStdString(displayedNotes(version)));
    windowDidLoad();
    return window_.get();
}

void NewsWindowController::windowDidLoad() { window_->setWindowFlag(Qt::WindowStaysOnTopHint, true); }

void NewsWindowController::showWhatsNew() {
    auto& defaults = UserDefaults::standardUserDefaults();
    // Only an absent key shows the window: any stored value, YES or NO, keeps it away.
    if (!defaults.valueForKey(kPresentedKey).isNil()) return;
    defaults.setBool(true, kPresentedKey);
    defaults.synchronize();

    QDialog* w = window();
    w->show();
    w->raise();
    // Centred on its screen.
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect area = screen->availableGeometry();
        QSize frame = w->frameGeometry().size();
        w->move(area.x() + (area.width() - frame.width()) / 2, area.y() + (area.height() - frame.height()) / 2);
    }
}

}  // namespace qs
