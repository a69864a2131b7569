#include "toolkit/NTStandardColors.h"

#include <QWidget>

#include "platform/foundation/Log.h"
#include "platform/ui/WindowAttributes.h"
#include "toolkit/WindowUtilities.h"

namespace qs {

namespace {

ColorPtr white(double w, double a) { return Color::colorWithCalibratedWhite(w, a); }
ColorPtr rgb(double r, double g, double b) { return Color::colorWithCalibratedRed(r, g, b, 1.0); }

// One colour per flag value, made on its first request and kept (safe from any thread).
// Every call site passes lambdas of its own types, so each has its own two colours.
template <class MakeNo, class MakeYes>
ColorPtr perFlag(bool flag, MakeNo no, MakeYes yes) {
    if (flag) {
        static const ColorPtr made = yes();
        return made;
    }
    static const ColorPtr made = no();
    return made;
}

template <class Make>
ColorPtr once(Make make) {
    static const ColorPtr made = make();
    return made;
}

bool isFirstResponder(QWidget* control) {
    return control && WindowAttributes::firstResponder(control->window()) == control;
}

}  // namespace

ColorPtr NTStandardColors::frameColor(bool dimmed) {
    return perFlag(dimmed, [] { return white(0.3, 1.0); }, [] { return white(0.55, 1.0); });
}

ColorPtr NTStandardColors::lightFrameColor(bool dimmed) {
    return perFlag(dimmed, [] { return white(0.42, 1.0); }, [] { return white(0.7, 1.0); });
}

ColorPtr NTStandardColors::frameAccentLineColor(bool dimmed) {
    return perFlag(dimmed, [] { return white(1.0, 0.26); }, [] { return white(1.0, 0.05); });
}

ColorPtr NTStandardColors::verticalFrameAccentLineColor(bool dimmed) {
    return perFlag(dimmed, [] { return white(1.0, 0.1); }, [] { return white(1.0, 0.05); });
}

ColorPtr NTStandardColors::tabBarBackgroundColor(bool dimmed) {
    return perFlag(dimmed, [] { return white(0.47, 1.0); }, [] { return white(0.75, 1.0); });
}

ColorPtr NTStandardColors::sourceListBackgroundColor(bool dimmed) {
    return perFlag(dimmed, [] { return rgb(0.82, 0.843, 0.886); }, [] { return rgb(0.91, 0.91, 0.91); });
}

ColorPtr NTStandardColors::shadowColor() { return once([] { return white(0.6, 1.0); }); }

ColorPtr NTStandardColors::blueBackgroundColor() { return once([] { return rgb(0.898, 0.925, 0.973); }); }

ColorPtr NTStandardColors::blueBackgroundRowColor() { return once([] { return rgb(0.808, 0.867, 0.976); }); }

ColorPtr NTStandardColors::whiteAccentLineColor() { return once([] { return white(1.0, 0.5); }); }

ColorPtr NTStandardColors::windowBackground() { return once([] { return white(0.9, 1.0); }); }

ColorPtr NTStandardColors::highlightColorForControl(QWidget* control, bool requireFirstResponder) {
    QWidget* window = control ? control->window() : nullptr;
    if (NSWindow_Utilities::dimControlsKey(window)) return Color::secondarySelectedControlColor();
    if (requireFirstResponder)
        return isFirstResponder(control) ? Color::alternateSelectedControlColor()
                                         : Color::secondarySelectedControlColor();
    return Color::alternateSelectedControlColor();
}

ColorPtr NTStandardColors::textColorForControl(QWidget* control, bool requireFirstResponder, bool ignoreDimmed) {
    QWidget* window = control ? control->window() : nullptr;
    if (ignoreDimmed || !NSWindow_Utilities::dimControlsKey(window)) {
        if (requireFirstResponder)
            return isFirstResponder(control) ? Color::alternateSelectedControlTextColor()
                                             : Color::disabledControlTextColor();
        return Color::alternateSelectedControlTextColor();
    }
    return Color::disabledControlTextColor();
}

// ---------------------------------------------------------------------------------

NTColorSet::Colors& NTColorSet::colors() {
    if (!mColors) mColors = std::make_unique<Colors>();
    return *mColors;
}

void NTColorSet::setColors(Colors colors) { mColors = std::make_unique<Colors>(std::move(colors)); }

void NTColorSet::setColor(ColorPtr color, const std::string& key) { colors()[key] = std::move(color); }

ColorPtr NTColorSet::colorForKey(const std::string& key) {
    auto& all = colors();
    auto it = all.find(key);
    if (it == all.end() || !it->second) {
        log("-[", "NTColorSet", " ", "colorForKey:", "] nil:", key);
        return nullptr;
    }
    return it->second;
}

ColorPtr NTColorSet::frameColor(bool dimmed) { return colorForKey(dimmed ? "NTCS_frame_dimmed" : "NTCS_frame"); }

ColorPtr NTColorSet::blackAccentColor(bool dimmed) {
    return colorForKey(dimmed ? "NTCS_blackAccent_dimmed" : "NTCS_blackAccent");
}

std::shared_ptr<NTColorSet> NTColorSet::standardSet() {
    auto set = std::make_shared<NTColorSet>();
    set->setColor(white(0.0, 0.8), "NTCS_text");
    set->setColor(white(0.0, 0.75), "NTCS_unselectedText");
    set->setColor(white(0.3, 1.0), "kNTCS_disabledText");
    set->setColor(white(0.0, 0.9), "NTCS_blackImage");
    set->setColor(white(0.1, 1.0), "NTCS_mouseOverText");
    set->setColor(Color::blackColor()->colorWithAlphaComponent(0.1), "NTCS_mouseOverBackground");
    set->setColor(Color::colorWithCalibratedRed(0.3, 0.6, 0.8, 1.0), "NTCS_mouseOverControl");
    set->setColor(NTStandardColors::frameColor(false), "NTCS_frame");
    set->setColor(NTStandardColors::frameColor(true), "NTCS_frame_dimmed");
    set->setColor(NTStandardColors::frameAccentLineColor(false), "NTCS_whiteAccent");
    set->setColor(white(1.0, 0.1), "NTCS_lightWhiteAccent");
    set->setColor(white(0.35, 1.0), "NTCS_blackAccent");
    set->setColor(white(0.55, 1.0), "NTCS_blackAccent_dimmed");
    set->setColor(white(0.0, 1.0), "NTCS_black");
    set->setColor(white(1.0, 1.0), "NTCS_white");
    return set;
}

// ---------------------------------------------------------------------------------

namespace NSShadow_NTExtensions {

ShadowPtr shadowWithColor(const ColorPtr& color, const Size& offset, double blurRadius) {
    auto shadow = std::make_shared<Shadow>();
    shadow->setShadowOffset(offset);
    shadow->setShadowBlurRadius(blurRadius);
    if (color) shadow->setShadowColor(color);
    return shadow;
}

ShadowPtr defaultShadowWithColor(const ColorPtr& color) { return shadowWithColor(color, {0, -1}, 0); }

ShadowPtr defaultWhiteShadow() { return defaultShadowWithColor(white(1.0, 1.0)); }
ShadowPtr defaultLightWhiteShadow() { return defaultShadowWithColor(white(1.0, 0.55)); }
ShadowPtr defaultDisabledWhiteShadow() { return defaultShadowWithColor(white(1.0, 0.6)); }
ShadowPtr defaultBlackShadow() { return defaultShadowWithColor(Color::blackColor()->colorWithAlphaComponent(0.8)); }
ShadowPtr defaultDarkGrayShadow() { return defaultShadowWithColor(Color::blackColor()->colorWithAlphaComponent(0.6)); }
ShadowPtr defaultGrayShadow() { return defaultShadowWithColor(Color::blackColor()->colorWithAlphaComponent(0.3)); }
ShadowPtr defaultLightGrayShadow() {
    return defaultShadowWithColor(Color::blackColor()->colorWithAlphaComponent(0.2));
}

}  // namespace NSShadow_NTExtensions

}  // namespace qs
