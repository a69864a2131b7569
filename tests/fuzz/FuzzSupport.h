#pragma once
// What every fuzz target shares: a private set of XDG folders, a manual main run loop
// (nothing runs by itself between inputs) and, for the targets that decode the dock,
// the in-memory desktop. Log lines go to standard error; run the targets with
// -close_fd_mask=2 to keep them quiet (scripts/fuzz.sh does).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/foundation/Value.h"

namespace qs::fuzz {

// Makes the folders and the run loop once per process; answers the private root.
inline const std::string& environment() {
    static const std::string root = [] {
        std::string templ = (std::filesystem::temp_directory_path() / "quayside-fuzz-XXXXXX").string();
        char* made = mkdtemp(templ.data());
        std::string dir = made ? made : templ;
        for (const char* sub : {"/config", "/data", "/cache"}) std::filesystem::create_directories(dir + sub);
        setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        RunLoop::setMain(std::make_shared<ManualRunLoop>());
        UserDefaults::resetForTesting();
        return dir;
    }();
    return root;
}

inline Data bytesOf(const uint8_t* data, size_t size) { return Data(data, data + size); }

// Stops the process the way a sanitizer finding does, naming what was broken, so that
// libFuzzer keeps the input.
[[noreturn]] inline void broken(const char* what) {
    fprintf(stderr, "fuzz invariant broken: %s\n", what);
    abort();
}

}  // namespace qs::fuzz
