// Writes a dock of N items into the defaults of $XDG_CONFIG_HOME (for measurements and
// the user journeys): the start menu, N - 2 file items of the given paths (repeated when
// there are fewer), and the trash; with --cast-shadow, also a dock configuration whose
// panel casts a shadow. Usage: quayside_seed_dock [--cast-shadow] N [PATH...]
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
    const bool castShadow = argc > 1 && std::string(argv[1]) == "--cast-shadow";
    if (castShadow) {
        --argc;
        ++argv;
    }
    const long n = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
    if (n < 2 || (n > 2 && argc < 3)) {
        std::fprintf(stderr, "usage: quayside_seed_dock [--cast-shadow] N [PATH...]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    auto sim = qs::sim::installSimBackend(true);
    auto& defaults = qs::UserDefaults::standardUserDefaults();
    defaults.setBool(true, "enableStartMenu");
    defaults.setBool(true, "enableTrash");
    auto model = qs::DockModel::create();
    std::vector<qs::URLPtr> urls;
    for (long i = 0; i < n - 2; ++i) urls.push_back(qs::URL::fileURLWithPath(argv[2 + i % (argc - 2)]));
    model->insertFiles(urls, model->hasStartMenu() ? 1 : 0);
    defaults.setObject(qs::Value(qs::KeyedArchiver::archivedDataWithRootObject(qs::Value(model))), "MainDockModelKey");
    if (castShadow) {
        auto configuration = qs::DockConfiguration::create();
        configuration->setWindowCastsShadow(true);
        defaults.setObject(qs::Value(qs::KeyedArchiver::archivedDataWithRootObject(qs::Value(configuration))),
                           "MainDockConfigKey");
    }
    defaults.synchronize();
    std::printf("%zu items\n", model->panelContent().size());
    return 0;
}
