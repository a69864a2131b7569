#pragma once
// The platform's behind-window material view (NSVisualEffectView), as far as a Linux
// desktop has one: the view paints the material's tint, translucent when a compositing
// manager runs (the window then asks for the background behind it to be blurred) and
// opaque otherwise. Blending mode, material and state are kept with their platform
// numbers. The view follows the rounded corners its owner sets.

#include <QWidget>

namespace qs {

class VisualEffectView : public QWidget {
    Q_OBJECT

public:
    enum BlendingMode { BehindWindow = 0, WithinWindow = 1 };
    enum Material { Light = 1, Dark = 2 };
    enum State { FollowsWindowActiveState = 0, Active = 1, Inactive = 2 };

    explicit VisualEffectView(QWidget* parent = nullptr);

    int blendingMode() const { return blendingMode_; }
    void setBlendingMode(int mode) { blendingMode_ = mode; }
    int material() const { return material_; }
    void setMaterial(int material);
    int state() const { return state_; }
    void setState(int state);
    // Translucent tint (with a compositing manager) or opaque.
    bool translucent() const { return translucent_; }
    void setTranslucent(bool translucent);
    void setCornerRadius(double radius);
    // The colour the material paints.
    QColor tint() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int blendingMode_ = BehindWindow;
    int material_ = Dark;
    int state_ = Active;
    bool translucent_ = false;
    double radius_ = 0.0;
};

}  // namespace qs
