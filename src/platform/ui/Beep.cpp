#include "platform/ui/Beep.h"

#include <mutex>

#include <QApplication>

namespace qs {

namespace {
std::mutex& beepMutex() {
    static std::mutex m;
    return m;
}
std::function<void()>& beepHandler() {
    static std::function<void()> handler;
    return handler;
}
}  // namespace

void NSBeep() {
    std::function<void()> handler;
    {
        std::lock_guard lock(beepMutex());
        handler = beepHandler();
    }
    if (handler) {
        handler();
        return;
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
}

void setBeepHandler(std::function<void()> handler) {
    std::lock_guard lock(beepMutex());
    beepHandler() = std::move(handler);
}

}  // namespace qs
