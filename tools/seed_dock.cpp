// Writes a dock of N items into the defaults of $XDG_CONFIG_HOME (for measurements and
// the journeys): the start menu, N - 2 file items of the given paths (repeated when there
// are fewer), and the trash; with --position, a dock configuration on that edge (0 left,
// 1 bottom, 2 right, 3 top), the other settings at their defaults; with --cast-shadow, a
// dock configuration whose panel casts a shadow.
// Usage: quayside_seed_dock [--cast-shadow] [--position P] [N PATH...]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QGuiApplication>

#include "core/DockConfiguration.h"
#include "core/DockModel.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    bool castShadow = false;
    if (!args.empty() && args[0] == "--cast-shadow") {
        castShadow = true;
        args.erase(args.begin());
    }
    long position = -1;
    if (args.size() >= 2 && args[0] == "--position") {
        position = std::strtol(args[1].c_str(), nullptr, 10);
        args.erase(args.begin(), args.begin() + 2);
    }
    if ((args.empty() && position < 0 && !castShadow) || args.size() == 1 || position > 3) {
        std::fprintf(stderr, "usage: %s [--cast-shadow] [--position P] [N PATH...]\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    auto sim = qs::sim::installSimBackend(true);
    auto& defaults = qs::UserDefaults::standardUserDefaults();
    if (position >= 0 || castShadow) {
        auto configuration = qs::DockConfiguration::create();
        if (position >= 0) configuration->setPosition(int16_t(position));
        configuration->setWindowCastsShadow(castShadow);
        defaults.setObject(qs::Value(qs::KeyedArchiver::archivedDataWithRootObject(qs::Value(configuration))),
                           "MainDockConfigKey");
    }
    if (!args.empty()) {
        const long n = std::strtol(args[0].c_str(), nullptr, 10);
        defaults.setBool(true, "enableStartMenu");
        defaults.setBool(true, "enableTrash");
        auto model = qs::DockModel::create();
        std::vector<qs::URLPtr> urls;
        const size_t paths = args.size() - 1;
        for (long i = 0; i < n - 2; ++i) urls.push_back(qs::URL::fileURLWithPath(args[1 + size_t(i) % paths]));
        model->insertFiles(urls, model->hasStartMenu() ? 1 : 0);
        defaults.setObject(qs::Value(qs::KeyedArchiver::archivedDataWithRootObject(qs::Value(model))),
                           "MainDockModelKey");
        std::printf("%zu items\n", model->panelContent().size());
    }
    defaults.synchronize();
    return 0;
}
