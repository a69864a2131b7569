#pragma once
// What the group and folder popover tests share: a simulated desktop with a bottom dock
// panel holding one cell to anchor popovers at, files in the test's private folder,
// synthetic presses and keys, and a counter of posted notifications.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/desktop/Desktop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/sim/SimBackend.h"
#include "support/TestEnvironment.h"

namespace qs::test {

class PostCounter {
public:
    explicit PostCounter(const std::string& name) {
        NotificationCenter::defaultCenter().addObserver(this, name, nullptr,
                                                        [this](const Notification&) { ++count; });
    }
    ~PostCounter() { NotificationCenter::defaultCenter().removeObserver(this); }
    int count = 0;
};

class PopoverTestBase : public IsolatedTest {
protected:
    void SetUp() override {
        sim = sim::installSimBackend();  // 1440 x 900
        panel = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        panel->setGeometry(600, 900 - 52, 240, 52);  // a bottom dock
        cell = new QWidget(panel.get());
        cell->setGeometry(100, 0, 52, 52);
        panel->show();
        folder = env.root() + "/files";
        std::filesystem::create_directories(folder);
    }
    void TearDown() override {
        panel.reset();
        QCoreApplication::processEvents();
        desktop::install({});
    }

    std::string makeFile(const std::string& name, const std::string& in = "") {
        std::string dir = in.empty() ? folder : in;
        std::filesystem::create_directories(dir);
        std::string path = dir + "/" + name;
        std::ofstream(path) << "x";
        return path;
    }
    static void sendPress(QWidget* w, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QMouseEvent e(QEvent::MouseButtonPress, at, w->mapToGlobal(at), button, button, {});
        QApplication::sendEvent(w, &e);
    }
    static void sendRelease(QWidget* w, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QMouseEvent e(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), button, Qt::NoButton, {});
        QApplication::sendEvent(w, &e);
    }
    static void sendMove(QWidget* w, QPoint at, Qt::MouseButtons buttons = Qt::LeftButton) {
        QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, buttons, {});
        QApplication::sendEvent(w, &e);
    }
    static void click(QWidget* w, QPoint at) {
        sendPress(w, at);
        sendRelease(w, at);
    }
    static void key(QWidget* w, int k, const QString& text = {}) {
        QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier, text);
        QApplication::sendEvent(w, &e);
    }
    size_t simCalls(const std::string& prefix) const { return sim.desktop->callCount(prefix); }

    sim::SimBackend sim;
    std::unique_ptr<QWidget> panel;
    QWidget* cell = nullptr;
    std::string folder;
};

}  // namespace qs::test
