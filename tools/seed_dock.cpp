// Writes a dock of N items into the defaults of $XDG_CONFIG_HOME (for measurements):
// the start menu, N - 2 file items of the given paths (repeated when there are fewer),
// and the trash. Usage: quayside_seed_dock N PATH...
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QGuiApplication>

#include "core/DockModel.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/sim/SimBackend.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s N PATH...\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    auto sim = qs::sim::installSimBackend(true);
    const long n = std::strtol(argv[1], nullptr, 10);
    auto& defaults = qs::UserDefaults::standardUserDefaults();
    defaults.setBool(true, "enableStartMenu");
    defaults.setBool(true, "enableTrash");
    auto model = qs::DockModel::create();
    std::vector<qs::URLPtr> urls;
    for (long i = 0; i < n - 2; ++i) urls.push_back(qs::URL::fileURLWithPath(argv[2 + i % (argc - 2)]));
    model->insertFiles(urls, model->hasStartMenu() ? 1 : 0);
    defaults.setObject(qs::Value(qs::KeyedArchiver::archivedDataWithRootObject(qs::Value(model))), "MainDockModelKey");
    defaults.synchronize();
    std::printf("%zu items\n", model->panelContent().size());
    return 0;
}
