#include "platform/sim/SimBackend.h"

#include "platform/desktop/Desktop.h"

namespace qs::sim {

SimBackend installSimBackend(bool withDefaultScreen) {
    SimBackend sim;
    sim.screens = std::make_shared<SimScreens>();
    sim.hotkeys = std::make_shared<SimHotkeys>();
    sim.desktop = std::make_shared<SimDesktop>();
    sim.files = std::make_shared<SimFiles>();
    sim.badges = std::make_shared<SimBadges>();
    sim.displays = std::make_shared<SimDisplays>();
    sim.permissions = std::make_shared<SimPermissions>();
    sim.compositing = std::make_shared<SimCompositing>();
    sim.messages = std::make_shared<SimMessages>();
    if (withDefaultScreen) sim.screens->addScreen(MakeRect(0, 0, 1440, 900), "Built-in Display");

    desktop::Services services;
    services.screens = sim.screens;
    services.hotkeys = sim.hotkeys;
    services.accessibility = sim.desktop;
    services.windowServer = sim.desktop;
    services.events = sim.desktop;
    services.workspace = sim.desktop;
    services.files = sim.files;
    services.badges = sim.badges;
    services.displays = sim.displays;
    services.permissions = sim.permissions;
    services.compositing = sim.compositing;
    services.messages = sim.messages;
    desktop::install(std::move(services));
    return sim;
}

}  // namespace qs::sim
