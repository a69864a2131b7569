#include "platform/ui/MessageWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include "platform/desktop/MainBundle.h"

namespace qs {

namespace {

std::vector<QPointer<QMessageBox>>& windows() {
    static std::vector<QPointer<QMessageBox>> list;
    return list;
}

}  // namespace

std::vector<QMessageBox*> MessageWindow::shown() {
    std::vector<QMessageBox*> out;
    auto& list = windows();
    std::erase_if(list, [](const QPointer<QMessageBox>& w) { return !w || !w->isVisible(); });
    for (auto& w : list) out.push_back(w.data());
    return out;
}

void MessageWindow::show(const desktop::UserMessage& message) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    const QString text = QString::fromStdString(message.text);
    const QString why = QString::fromStdString(message.informativeText);
    for (QMessageBox* box : shown()) {
        if (box->text() == text && box->informativeText() == why) {
            box->raise();
            box->activateWindow();
            return;
        }
    }
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromStdString(MainBundle::bundleName()), text,
                                QMessageBox::Ok);
    box->setObjectName(QStringLiteral("UserMessage"));
    box->setInformativeText(why);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    windows().push_back(box);
    box->show();
    box->raise();
    box->activateWindow();
}

}  // namespace qs
