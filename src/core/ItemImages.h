#pragma once
// The dock's own images ("Group", "Recycle_Bin", "Recycle_Bin_Full", "Spaceship") and
// generic icons for files, folders and applications: from the icon theme, else drawn.
// The same name answers the same image object for the whole run.

#include <string>

#include "platform/foundation/Image.h"

namespace qs {

ImagePtr imageNamed(const std::string& name);

enum class GenericIcon { File, Folder, Application, Missing };
ImagePtr genericIcon(GenericIcon kind);

// An icon-theme name or an absolute path (a desktop entry's Icon=); nullptr when the
// theme has no such icon and no such file exists.
ImagePtr themeIcon(const std::string& nameOrPath, int size = 128);

}  // namespace qs
