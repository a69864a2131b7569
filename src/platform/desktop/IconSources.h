#pragma once
// Where icons come from: the icon theme (by name), icon files (a desktop entry's
// absolute Icon=), and the pictures the program draws itself, the last resort of every
// icon. Each is an ImageSource: loaded when first drawn, at the size drawn, on any
// thread (the icon cache loads them on its workers).

#include <string>
#include <vector>

#include "platform/foundation/Image.h"

namespace qs::desktop {

// The size in points of the deferred icon images made here, and the pixel size they
// decode at when drawn without a size.
inline constexpr int kIconPoints = 128;
// Icon files larger than this many pixels are refused (a 4096 x 4096 picture).
inline constexpr long long kMaxIconPixels = 4096LL * 4096;

// The program's own pictures, drawn at any size.
enum class DrawnIcon { Application, Document, Folder, Missing, Trash, TrashFull, Group, StartMenu };
ImageSourcePtr drawnIconSource(DrawnIcon icon);

// The first of `namesOrPaths` (icon-theme names, or absolute file paths) that the theme
// has and that reads, at the size asked for; else what `fallback` gives. A broken file
// (corrupt, too large, a link loop) is reported and passed over; names the theme lacks
// are reported only when nothing of the list could be used.
ImageSourcePtr themeIconSource(std::vector<std::string> namesOrPaths, ImageSourcePtr fallback);

// The generic icons: an application, a document, a folder, a missing file. From the
// icon theme ("application-x-executable", "text-x-generic", "folder", "image-missing"),
// else drawn.
enum class GenericKind { Application, Document, Folder, Missing };
ImageSourcePtr genericIconSource(GenericKind kind);

// The generic icon of a file by what it is: a desktop entry of an application (also one
// that is not installed), a folder, a missing file, else a document by its MIME type (the type's icon, its generic
// icon, then the generic document). Reads the file system: call it where that may wait
// (the icon cache's workers do).
ImageSourcePtr genericIconSourceForFile(const std::string& path);

// A deferred image of kIconPoints points over the source.
ImagePtr deferredIcon(ImageSourcePtr source);

}  // namespace qs::desktop
