#include "platform/ui/Shadow.h"

#include "platform/ui/GraphicsContext.h"

namespace qs {

ColorPtr Shadow::defaultShadowColor() {
    static const ColorPtr colour = Color::colorWithCalibratedWhite(0.0, 1.0 / 3.0);
    return colour;
}

void Shadow::set() const {
    auto* context = GraphicsContext::currentContext();
    if (!context) return;
    GraphicsContext::ShadowState state;
    state.color = color_ ? color_->toQColor() : QColor(0, 0, 0, 0);
    state.offset = offset_;
    state.blurRadius = std::max(0.0, blur_);
    context->setShadow(state);
}

}  // namespace qs
