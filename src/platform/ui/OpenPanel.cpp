#include "platform/ui/OpenPanel.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

namespace qs {

namespace {

OpenPanel::Runner& runner() {
    static OpenPanel::Runner r;
    return r;
}

// Qt's own dialog choosing files and folders alike: Open takes a selected folder as a
// choice rather than entering it.
class FilesAndFoldersDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

protected:
    void accept() override {
        QStringList chosen = selectedFiles();
        bool allExist = !chosen.isEmpty();
        for (const QString& path : chosen)
            if (!QFileInfo::exists(path)) allExist = false;
        if (allExist) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

}  // namespace

std::shared_ptr<OpenPanel> OpenPanel::openPanel() { return std::shared_ptr<OpenPanel>(new OpenPanel()); }

OpenPanel::~OpenPanel() {
    if (dialog_) dialog_->deleteLater();
}

void OpenPanel::setRunnerForTesting(Runner r) { runner() = std::move(r); }

void OpenPanel::beginWithCompletionHandler(std::function<void(int)> handler) { begin(nullptr, std::move(handler)); }

void OpenPanel::beginSheetModalForWindow(QWidget* window, std::function<void(int)> handler) {
    begin(window, std::move(handler));
}

void OpenPanel::begin(QWidget* window, std::function<void(int)> handler) {
    handler_ = std::move(handler);
    finished_ = false;
    urls_.clear();
    keepAlive_ = shared_from_this();
    if (runner()) {
        runner()(*this, window);
        return;
    }
    const bool both = canChooseFiles && canChooseDirectories;
    QFileDialog* dialog = both ? new FilesAndFoldersDialog(window) : new QFileDialog(window);
    dialog_ = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    if (!title.empty()) dialog->setWindowTitle(QString::fromStdString(title));
    if (!directoryURL.empty()) dialog->setDirectory(QString::fromStdString(directoryURL));
    QFileDialog::Options options;
    if (both) options |= QFileDialog::DontUseNativeDialog;
    if (!canCreateDirectories) options |= QFileDialog::ReadOnly;
    dialog->setOptions(options);
    if (!canChooseFiles && canChooseDirectories) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly, true);
    } else {
        dialog->setFileMode(allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    if (!nameFilters.empty()) {
        QStringList filters;
        for (const auto& f : nameFilters) filters << QString::fromStdString(f);
        dialog->setNameFilters(filters);
    }
    dialog->setWindowModality(window ? Qt::WindowModal : Qt::NonModal);
    std::weak_ptr<OpenPanel> weak = keepAlive_;
    QObject::connect(dialog, &QDialog::finished, dialog, [weak, dialog](int result) {
        auto self = weak.lock();
        if (!self) return;
        std::vector<std::string> paths;
        if (result == QDialog::Accepted)
            for (const QString& p : dialog->selectedFiles()) paths.push_back(p.toStdString());
        self->finish(result == QDialog::Accepted ? NSModalResponseOK : NSModalResponseCancel, paths);
    });
    dialog->open();
    dialog->raise();
    dialog->activateWindow();
}

void OpenPanel::finish(int response, const std::vector<std::string>& paths) {
    if (finished_) return;
    finished_ = true;
    urls_.clear();
    if (response == NSModalResponseOK) {
        for (const std::string& path : paths) {
            QString p = QString::fromStdString(path);
            QFileInfo info(p);
            if (resolvesAliases && info.isSymLink()) {
                QString target = info.canonicalFilePath();
                if (!target.isEmpty()) {
                    p = target;
                    info = QFileInfo(p);
                }
            }
            urls_.push_back(URL::fileURLWithPath(p.toStdString(), info.isDir()));
        }
    }
    auto handler = std::move(handler_);
    handler_ = nullptr;
    auto hold = std::move(keepAlive_);
    if (handler) handler(response);
}

void OpenPanel::close() {
    if (dialog_) {
        QFileDialog* d = dialog_.data();
        dialog_.clear();
        d->hide();
        d->deleteLater();
    }
}

bool OpenPanel::isVisible() const { return dialog_ && dialog_->isVisible(); }

}  // namespace qs
