#pragma once
// Keeping a dark picture visible on a dark panel: how light a picture is, whether the
// panel's background is dark, and a lightened copy of a dark picture.
//
// The panel's background is dark for the dark system theme; the transparent theme (the
// desktop shows through with a compositing manager, a dark grey stands in without one);
// the colour theme with a dark colour; a picture theme with a dark picture. The light
// system theme is light.
//
// Main thread only.

#include <QImage>

namespace qs {

class ThemeInfo;

namespace BackgroundContrast {

// The mean luminance (0 black ... 1 white) of a picture's pixels, weighted by their
// alpha; -1 when it has no visible pixel.
double meanLuminance(const QImage& image);
// A picture or background below this luminance counts as dark.
inline constexpr double kDark = 0.3;
bool isDark(const QImage& image);

bool isDarkBackground(const ThemeInfo* theme);
// The current theme's.
bool isDockBackgroundDark();

// The picture with its colours inverted and its alpha kept: a black glyph turns white.
QImage lightened(const QImage& image);

}  // namespace BackgroundContrast
}  // namespace qs
