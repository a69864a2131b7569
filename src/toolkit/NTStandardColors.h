#pragma once
// The toolkit's fixed palette: frame, accent and background colours (each made once
// and kept), named colour sets with the standard "NTCS_" set, the control colours that
// follow a window's key state, and shadow presets.

#include <map>
#include <memory>
#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/Shadow.h"

class QWidget;

namespace qs {

class NTStandardColors {
public:
    // The flag means dimmed (an inactive or dimmed window).
    static ColorPtr frameColor(bool dimmed);
    static ColorPtr lightFrameColor(bool dimmed);
    static ColorPtr frameAccentLineColor(bool dimmed);
    static ColorPtr verticalFrameAccentLineColor(bool dimmed);
    static ColorPtr tabBarBackgroundColor(bool dimmed);
    static ColorPtr sourceListBackgroundColor(bool dimmed);
    static ColorPtr shadowColor();
    static ColorPtr blueBackgroundColor();
    static ColorPtr blueBackgroundRowColor();
    static ColorPtr whiteAccentLineColor();
    static ColorPtr windowBackground();

    // The system colour for a selected control, by its window's key state and, when
    // asked, whether the control has the keyboard focus.
    static ColorPtr highlightColorForControl(QWidget* control, bool requireFirstResponder);
    static ColorPtr textColorForControl(QWidget* control, bool requireFirstResponder, bool ignoreDimmed);
};

class NTColorSet {
public:
    using Colors = std::map<std::string, ColorPtr>;

    // The dictionary, made empty on first use.
    Colors& colors();
    void setColors(Colors colors);
    void setColor(ColorPtr color, const std::string& key);
    // nullptr, and the log line "-[NTColorSet colorForKey:] nil:<key>", for a missing key.
    ColorPtr colorForKey(const std::string& key);
    ColorPtr frameColor(bool dimmed);
    ColorPtr blackAccentColor(bool dimmed);

    // A new set holding the standard colours on every call.
    static std::shared_ptr<NTColorSet> standardSet();

private:
    std::unique_ptr<Colors> mColors;
};

namespace NSShadow_NTExtensions {
// The colour is set only when given (else the default shadow colour stays).
ShadowPtr shadowWithColor(const ColorPtr& color, const Size& offset, double blurRadius);
// The colour, offset (0, -1), blur 0.
ShadowPtr defaultShadowWithColor(const ColorPtr& color);
ShadowPtr defaultWhiteShadow();
ShadowPtr defaultLightWhiteShadow();
ShadowPtr defaultDisabledWhiteShadow();
ShadowPtr defaultBlackShadow();
ShadowPtr defaultDarkGrayShadow();
ShadowPtr defaultGrayShadow();
ShadowPtr defaultLightGrayShadow();
}  // namespace NSShadow_NTExtensions

}  // namespace qs
