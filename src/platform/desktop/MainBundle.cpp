#include "platform/desktop/MainBundle.h"

#include <QCoreApplication>
#include <QImageReader>
#include <filesystem>
#include <mutex>
#include <set>

#include "platform/foundation/Log.h"

#ifndef QUAYSIDE_VERSION
#define QUAYSIDE_VERSION "0.0"
#endif
#ifndef QUAYSIDE_RELATIVE_DATADIR
#define QUAYSIDE_RELATIVE_DATADIR "../share"
#endif

namespace fs = std::filesystem;

namespace qs::MainBundle {

namespace {

std::mutex& mutex() {
    static std::mutex m;
    return m;
}

std::optional<std::string>& executableOverride() {
    static std::optional<std::string> path;
    return path;
}

std::string canonical(const std::string& path) {
    std::error_code ec;
    fs::path c = fs::weakly_canonical(path, ec);
    return ec ? fs::path(path).lexically_normal().string() : c.string();
}

}  // namespace

const std::string& bundleIdentifier() {
    static const std::string id = "org.quayside.Quayside";
    return id;
}

const std::string& bundleName() {
    static const std::string name = "Quayside";
    return name;
}

const std::string& shortVersionString() {
    static const std::string version = QUAYSIDE_VERSION;
    return version;
}

std::string executablePath() {
    {
        std::lock_guard lock(mutex());
        if (executableOverride()) return *executableOverride();
    }
    if (QCoreApplication::instance()) {
        QString path = QCoreApplication::applicationFilePath();
        if (!path.isEmpty()) return canonical(path.toStdString());
    }
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

std::string programDirectory() {
    std::string exe = executablePath();
    return exe.empty() ? std::string() : fs::path(exe).parent_path().string();
}

void setExecutablePathForTesting(std::optional<std::string> path) {
    std::lock_guard lock(mutex());
    executableOverride() = std::move(path);
}

std::vector<std::string> resourceDirectoryCandidates(const std::string& kind, const std::string& programDirectory) {
    if (programDirectory.empty()) return {};
    const fs::path dir(programDirectory);
    const fs::path data = dir / QUAYSIDE_RELATIVE_DATADIR;
    std::vector<fs::path> candidates{dir / "resources" / kind};
    if (kind == kDocuments)
        candidates.push_back(data / "doc" / "quayside");
    else
        candidates.push_back(data / "quayside" / kind);
    std::vector<std::string> out;
    for (const auto& c : candidates) out.push_back(c.lexically_normal().string());
    return out;
}

std::string resourceDirectory(const std::string& kind, const std::string& programDirectory) {
    std::error_code ec;
    for (const auto& candidate : resourceDirectoryCandidates(kind, programDirectory))
        if (fs::is_directory(candidate, ec)) return candidate;
    return {};
}

std::string resourceDirectory(const std::string& kind) {
    const std::string program = programDirectory();
    std::string found = resourceDirectory(kind, program);
    if (found.empty()) {
        static std::set<std::string> told;
        std::lock_guard lock(mutex());
        if (told.insert(kind).second)
            log("the program's resources of kind \"", kind, "\" were not found beside it (",
                program.empty() ? "unknown folder" : program, ")");
    }
    return found;
}

std::string pathForResource(const std::string& name, const std::string& kind) {
    std::string dir = resourceDirectory(kind);
    if (dir.empty() || name.empty() || name.find('/') != std::string::npos) return {};
    fs::path path = fs::path(dir) / name;
    std::error_code ec;
    return fs::is_regular_file(path, ec) ? path.string() : std::string();
}

ImagePtr imageForResource(const std::string& name, int pixels) {
    std::string path;
    for (const char* extension : {".svg", ".png"}) {
        path = pathForResource(name + extension, kImages);
        if (!path.empty()) break;
    }
    if (path.empty()) {
        log("the image \"", name, "\" is not among the program's images");
        return nullptr;
    }
    QImageReader reader(QString::fromStdString(path));
    if (pixels > 0) reader.setScaledSize(QSize(pixels, pixels));
    QImage image = reader.read();
    if (image.isNull()) {
        log("the image ", path, " cannot be read: ", reader.errorString().toStdString());
        return nullptr;
    }
    return std::make_shared<Image>(std::move(image));
}

}  // namespace qs::MainBundle
