#pragma once
// Reading whole files in tests and their fixtures. A file may vanish or fail between
// being listed and being read (a /proc entry whose process ends, a file another process
// replaces); the read then answers what it could, never throws.

#include <filesystem>
#include <optional>
#include <string>

namespace qs::test {

// The whole contents of the file, or nullopt when it cannot be opened or a read fails.
std::optional<std::string> readFile(const std::filesystem::path& path);

// The whole contents of the file, empty when it cannot be read.
inline std::string readFileOrEmpty(const std::filesystem::path& path) { return readFile(path).value_or(std::string()); }

}  // namespace qs::test
