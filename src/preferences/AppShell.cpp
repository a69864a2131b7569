#include "preferences/AppShell.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include "platform/desktop/MainBundle.h"
#include "platform/ui/AppWindows.h"
#include "platform/ui/Termination.h"
#include "preferences/AccessController.h"
#include "preferences/NewsWindowController.h"

namespace qs {

namespace {

QMessageBox* makeBox(const QString& title) {
    auto* box = new QMessageBox();
    box->setWindowTitle(title);
    box->setStandardButtons(QMessageBox::Ok);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    return box;
}

void bringForward(QWidget* w) {
    w->show();
    w->raise();
    w->activateWindow();
}

}  // namespace

struct AppShell::Panels {
    QPointer<QMessageBox> about;
    QPointer<QMessageBox> updateCheck;
    ~Panels() {
        delete about.data();
        delete updateCheck.data();
    }
};

AppShell::AppShell() : panels_(std::make_unique<Panels>()) {}
AppShell::~AppShell() = default;

std::shared_ptr<AccessWindow> AppShell::makeAccessController() { return std::make_shared<AccessController>(); }

std::shared_ptr<NewsWindow> AppShell::makeNewsWindowController() { return std::make_shared<NewsWindowController>(); }

std::string AppShell::aboutText() {
    return "<h3>" + MainBundle::bundleName() + "</h3>" + "<p>Version " + MainBundle::shortVersionString() + "</p>" +
           "<p>A dock for Linux X11 desktops.</p>" + "<p>Copyright &copy; the Quayside authors. All rights reserved.</p>";
}

void AppShell::orderFrontStandardAboutPanel() {
    if (!panels_->about) {
        QMessageBox* box = makeBox(QStringLiteral("About %1").arg(QString::fromStdString(MainBundle::bundleName())));
        box->setTextFormat(Qt::RichText);
        box->setText(QString::fromStdString(aboutText()));
        if (ImagePtr icon = MainBundle::imageForResource("quayside", 64))
            box->setIconPixmap(QPixmap::fromImage(icon->qimage()));
        panels_->about = box;
    }
    bringForward(panels_->about);
}

void AppShell::showUpdateCheckResult(const SUUpdateCheckResult& result) {
    if (!panels_->updateCheck) panels_->updateCheck = makeBox(QString::fromStdString(result.title));
    QMessageBox* box = panels_->updateCheck;
    box->setWindowTitle(QString::fromStdString(result.title));
    box->setIcon(QMessageBox::Information);
    box->setText(QString::fromStdString(result.message));
    bringForward(box);
}

void AppShell::activateIgnoringOtherApps() {
    for (QWidget* w : AppWindows::orderedWindows()) {
        if (!w->isVisible() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip) continue;
        if (w->testAttribute(Qt::WA_X11DoNotAcceptFocus) || w->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus))
            continue;
        w->raise();
        w->activateWindow();
        return;
    }
}

void AppShell::terminate() { Termination::terminate(); }

QMessageBox* AppShell::aboutPanel() const { return panels_->about; }
QMessageBox* AppShell::updateCheckPanel() const { return panels_->updateCheck; }

std::shared_ptr<AppShell> installAppShell() {
    auto shell = std::make_shared<AppShell>();
    ApplicationInterface::install(shell);
    SUUpdater::sharedUpdater().setUserDriver(shell);
    return shell;
}

}  // namespace qs
