#pragma once
// A notification badge: a rounded, filled shape with an optional glossy shine and an
// optional outline, and a short text centred in it. The badge sizes itself from its
// text, its scale factor and the user's badge size ("BadgesSize").
//
// Geometry is the view's own: 25 x 25 at scale 1, wider for texts of two characters and
// more. A badge given a width limit (the cell it sits in) never grows past it; a text
// that does not fit is elided. Whatever the text holds (line breaks, control or
// direction characters, thousands of characters), it is drawn on one line.

#include <string>

#include <QFont>
#include <QString>
#include <QWidget>

#include "platform/ui/Color.h"

namespace qs {

class CustomBadge : public QWidget {
    Q_OBJECT

public:
    // Base side of the badge at scale 1, in points.
    static constexpr double kBaseSize = 25.0;

    // The badge an interface file makes: 25 x 25, no text, white text, white outline
    // drawn, red fill, roundness 0.4, scale 1, no shine.
    explicit CustomBadge(QWidget* parent = nullptr);

    // initWithString:withScale:withShining:
    static CustomBadge* initWithString(const std::string& text, double scale, bool shining, QWidget* parent = nullptr);
    // initWithString:withStringColor:withInsetColor:withBadgeFrame:withBadgeFrameColor:withScale:withShining:
    static CustomBadge* initWithString(const std::string& text, ColorPtr textColor, ColorPtr insetColor, bool frame,
                                       ColorPtr frameColor, double scale, bool shining, QWidget* parent = nullptr);
    // customBadgeWithString: (scale 1.0, shine on)
    static CustomBadge* customBadgeWithString(const std::string& text, QWidget* parent = nullptr);
    // customBadgeWithString:withStringColor:withInsetColor:withBadgeFrame:withBadgeFrameColor:withScale:withShining:
    static CustomBadge* customBadgeWithString(const std::string& text, ColorPtr textColor, ColorPtr insetColor,
                                              bool frame, ColorPtr frameColor, double scale, bool shining,
                                              QWidget* parent = nullptr);

    const std::string& badgeText() const { return badgeText_; }
    void setBadgeText(const std::string& text);
    const ColorPtr& badgeTextColor() const { return badgeTextColor_; }
    void setBadgeTextColor(ColorPtr color);
    const ColorPtr& badgeInsetColor() const { return badgeInsetColor_; }
    void setBadgeInsetColor(ColorPtr color);
    const ColorPtr& badgeFrameColor() const { return badgeFrameColor_; }
    void setBadgeFrameColor(ColorPtr color);
    bool badgeFrame() const { return badgeFrame_; }
    void setBadgeFrame(bool frame);
    bool badgeShining() const { return badgeShining_; }
    void setBadgeShining(bool shining);
    double badgeCornerRoundness() const { return badgeCornerRoundness_; }
    void setBadgeCornerRoundness(double roundness);
    double badgeScaleFactor() const { return badgeScaleFactor_; }
    void setBadgeScaleFactor(double scale);

    // Resizes the badge for the text (keeping its top-left corner) and stores the text.
    // Nothing is repainted when neither the text nor the size changed.
    void autoBadgeSizeWithString(const std::string& text);

    // The text size before scaling, from the integer user default "BadgesSize":
    // 2 gives 16, 1 gives 14, anything else 12.
    static double fontSize();
    // The outline's width at the current scale.
    double frameLineWidth() const;
    // The size of the drawn text: fontSize x scale, a fifth larger for fewer than two
    // characters.
    double drawnFontSize() const;
    // The bold system font of a size in points (one point to a pixel).
    static QFont badgeFont(double size);

    // The widest the badge may be (0: no limit). Applied by the next sizing.
    double maximumBadgeWidth() const { return maximumWidth_; }
    void setMaximumBadgeWidth(double width);

    // The text as drawn: one line, control characters taken out, at most a bounded
    // number of characters (the badge could not show more).
    const QString& displayText() const { return display_; }

    // Paint events received (for measurements and tests).
    int paintCount() const { return paints_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshDisplayText();

    std::string badgeText_;
    ColorPtr badgeTextColor_;
    ColorPtr badgeInsetColor_;
    ColorPtr badgeFrameColor_;
    bool badgeFrame_ = true;
    bool badgeShining_ = false;
    double badgeCornerRoundness_ = 0.4;
    double badgeScaleFactor_ = 1.0;
    double maximumWidth_ = 0.0;
    QString display_;
    // What the last sizing was made for.
    bool sized_ = false;
    double sizedFontSize_ = 0.0;
    double sizedScale_ = 0.0;
    double sizedLimit_ = 0.0;
    QSize sizedSize_;
    int paints_ = 0;
};

}  // namespace qs
