#pragma once
// A shadow (the platform's NSShadow): a colour, an offset and a blur radius. Setting a
// shadow makes every later fill, stroke and image drawn in the current graphics state
// cast it, until the state is restored or another shadow is set.
//
// The offset is in points with y up: (0, -1) casts the shadow one point below the
// shape on screen, whatever the context's flip. The blur radius is the reach of the
// blur in points (a Gaussian of standard deviation radius / 2); 0 casts a sharp copy.

#include <memory>

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Object.h"
#include "platform/ui/Color.h"

namespace qs {

class Shadow : public Object {
public:
    // The colour a new shadow has: black at one third alpha.
    static ColorPtr defaultShadowColor();

    Shadow() : color_(defaultShadowColor()) {}

    std::string className() const override { return "NSShadow"; }
    std::vector<std::string> classHierarchy() const override { return {"NSShadow", "NSObject"}; }

    const ColorPtr& shadowColor() const { return color_; }
    void setShadowColor(ColorPtr color) { color_ = std::move(color); }
    Size shadowOffset() const { return offset_; }
    void setShadowOffset(const Size& offset) { offset_ = offset; }
    double shadowBlurRadius() const { return blur_; }
    void setShadowBlurRadius(double radius) { blur_ = radius; }

    // Makes the shadow part of the current graphics state (a copy of its values: later
    // changes to this object do not reach the state).
    void set() const;

private:
    ColorPtr color_;
    Size offset_;
    double blur_ = 0.0;
};

using ShadowPtr = std::shared_ptr<Shadow>;

}  // namespace qs
