#pragma once
// The dock's own images ("Group", "Recycle_Bin", "Recycle_Bin_Full", "Spaceship") and
// generic icons for files, folders and applications: from the icon theme ("user-trash",
// "user-trash-full", "start-here", "folder", ...), else pictures the program draws.
// The same name answers the same image object for the whole run. The images are
// deferred: nothing is decoded until they are drawn.

#include <string>
#include <vector>

#include "platform/foundation/Image.h"

namespace qs {

ImagePtr imageNamed(const std::string& name);

enum class GenericIcon { File, Folder, Application, Missing };
ImagePtr genericIcon(GenericIcon kind);

// The first of the icon-theme names or absolute paths that the theme has and that
// reads, else the generic icon of the kind; decoded when drawn.
ImagePtr themeIcon(std::vector<std::string> namesOrPaths, GenericIcon fallback);

}  // namespace qs
