#pragma once
// The program as an application bundle: its identifier, the absolute path of the running
// program, its version (from the build) and the folders of the resources that ship with
// it: picture themes, release notes, images and documents.
//
// Resources sit beside the program in the build tree (<program folder>/resources/<kind>)
// and, once installed, in the data folder relative to the program
// (<prefix>/bin/quayside finds <prefix>/share/quayside/<kind>; documents are in
// <prefix>/share/doc/quayside), so an installed program finds its own resources wherever
// the prefix is.

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Image.h"

namespace qs::MainBundle {

// "org.quayside.Quayside".
const std::string& bundleIdentifier();
// "Quayside".
const std::string& bundleName();
// The version the program was built as ("0.1").
const std::string& shortVersionString();

// The running program, absolute and with its links resolved; "" when it cannot be told.
std::string executablePath();
std::string programDirectory();
// Tests: stands in another program path (nullopt: the running program again).
void setExecutablePathForTesting(std::optional<std::string> path);

// The resource kinds.
inline constexpr const char* kReleaseNotes = "release-notes";
inline constexpr const char* kImages = "images";
inline constexpr const char* kDocuments = "doc";
inline constexpr const char* kThemes = "themes";

// The folders where a program in `programDirectory` looks for resources of `kind`, in
// order.
std::vector<std::string> resourceDirectoryCandidates(const std::string& kind, const std::string& programDirectory);
// The first of those folders that exists; "" (with a log line, once per kind) when none does.
std::string resourceDirectory(const std::string& kind);
std::string resourceDirectory(const std::string& kind, const std::string& programDirectory);
// The file `name` in the folder of `kind`; "" when it does not exist.
std::string pathForResource(const std::string& name, const std::string& kind);

// An image that ships with the program ("status_icon" is images/status_icon.svg or .png),
// rendered `pixels` wide and high; nullptr (with a log line) when it is missing or
// cannot be decoded.
ImagePtr imageForResource(const std::string& name, int pixels = 64);

}  // namespace qs::MainBundle
