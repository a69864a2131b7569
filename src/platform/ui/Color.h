#pragma once
// A colour (the platform's NSColor): calibrated white or calibrated RGB components in
// 0...1 with an alpha. Colours are shared objects, so code that caches a colour hands
// out the same object each time (identity is observable, as with the platform's).
//
// archivedData / colorWithArchivedData are the form a colour takes inside the user
// defaults (the Appearance pane's colour well writes it): a small binary record that
// round-trips every component exactly.

#include <memory>
#include <optional>
#include <string>

#include <QColor>

#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

namespace qs {

class Color;
using ColorPtr = std::shared_ptr<const Color>;

class Color : public Object {
public:
    enum class Space { CalibratedWhite, CalibratedRGB };

    static ColorPtr colorWithCalibratedWhite(double white, double alpha);
    static ColorPtr colorWithCalibratedRed(double red, double green, double blue, double alpha);
    static ColorPtr fromQColor(const QColor& color);
    // The platform's named colours.
    static ColorPtr blackColor();
    static ColorPtr whiteColor();
    static ColorPtr clearColor();
    // The system's control colours, from the application palette: selected controls in
    // a key window (alternate), in a window that is not key (secondary), the text on a
    // selected control, and disabled text.
    static ColorPtr alternateSelectedControlColor();
    static ColorPtr secondarySelectedControlColor();
    static ColorPtr alternateSelectedControlTextColor();
    static ColorPtr disabledControlTextColor();

    Color(Space space, double c0, double c1, double c2, double alpha);

    std::string className() const override { return "NSColor"; }
    std::vector<std::string> classHierarchy() const override { return {"NSColor", "NSObject"}; }
    bool isEqual(const Object* other) const override;
    uint64_t hash() const override;
    std::string description() const override;

    Space colorSpace() const { return space_; }
    // White colours answer their grey level for each of red, green and blue.
    double redComponent() const { return c0_; }
    double greenComponent() const { return space_ == Space::CalibratedWhite ? c0_ : c1_; }
    double blueComponent() const { return space_ == Space::CalibratedWhite ? c0_ : c2_; }
    double whiteComponent() const;  // the grey level; the luminance of an RGB colour
    double alphaComponent() const { return alpha_; }
    ColorPtr colorWithAlphaComponent(double alpha) const;

    QColor toQColor() const;

    // Makes the colour the current graphics context's fill and stroke colour / fill
    // colour / stroke colour. Without a current context nothing happens.
    void set() const;
    void setFill() const;
    void setStroke() const;

    Data archivedData() const;
    // nullptr when the data is not a colour record (callers choose their fallback).
    static ColorPtr colorWithArchivedData(const Data& data);

private:
    Space space_;
    double c0_, c1_, c2_, alpha_;
};

}  // namespace qs
