#pragma once
// A fixture with the in-memory desktop installed and no screens.

#include <memory>

#include "platform/sim/SimBackend.h"
#include "support/TestEnvironment.h"

namespace qs::test {

class TrackingTest : public IsolatedTest {
protected:
    void SetUp() override {
        backend = sim::installSimBackend(false);
        desk = backend.desktop;
    }

    std::shared_ptr<sim::SimScreen> addScreen(const Rect& frame, const Rect& visible) {
        auto screen = sim::SimScreen::make(frame, "Sim", &visible);
        auto list = backend.screens->simScreens();
        list.push_back(screen);
        backend.screens->setScreens(list);
        return screen;
    }
    std::shared_ptr<sim::SimScreen> addScreen(const Rect& frame) { return addScreen(frame, frame); }
    void run() { env.loop().runPending(); }

    sim::SimBackend backend;
    std::shared_ptr<sim::SimDesktop> desk;
};

}  // namespace qs::test
