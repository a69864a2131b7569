#include "dock_ui/CustomBadge.h"

#include <algorithm>
#include <cmath>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>

#include "platform/foundation/UserDefaults.h"
#include "platform/ui/BezierPath.h"
#include "platform/ui/GraphicsContext.h"

namespace qs {

namespace {

// More characters than any badge can show; longer texts are cut here before they are
// measured or laid out.
constexpr int kMaxShownCharacters = 256;

bool sameColor(const ColorPtr& a, const ColorPtr& b) {
    if (a == b) return true;
    return a && b && a->isEqual(b.get());
}

ColorPtr red() { return Color::colorWithCalibratedRed(1.0, 0.0, 0.0, 1.0); }

// One line of text: line and paragraph breaks and tabs become spaces, other control
// characters go.
QString oneLine(const QString& text) {
    QString out;
    const int n = std::min<int>(int(text.size()), kMaxShownCharacters);
    out.reserve(n);
    for (int i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (u == '\n' || u == '\r' || u == '\t' || u == '\v' || u == '\f' || u == 0x85 || u == 0x2028 ||
            u == 0x2029) {
            out.append(QLatin1Char(' '));
        } else if (u < 0x20 || u == 0x7f) {
            continue;
        } else if (c.isHighSurrogate() && i + 1 == n) {
            break;  // never half a character at the cut
        } else {
            out.append(c);
        }
    }
    return out;
}

}  // namespace

CustomBadge::CustomBadge(QWidget* parent)
    : QWidget(parent),
      badgeTextColor_(Color::whiteColor()),
      badgeInsetColor_(red()),
      badgeFrameColor_(Color::whiteColor()) {
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    resize(int(kBaseSize), int(kBaseSize));
}

CustomBadge* CustomBadge::initWithString(const std::string& text, double scale, bool shining, QWidget* parent) {
    auto* badge = new CustomBadge(parent);
    badge->badgeScaleFactor_ = scale;
    badge->badgeShining_ = shining;
    badge->autoBadgeSizeWithString(text);
    return badge;
}

CustomBadge* CustomBadge::initWithString(const std::string& text, ColorPtr textColor, ColorPtr insetColor, bool frame,
                                         ColorPtr frameColor, double scale, bool shining, QWidget* parent) {
    auto* badge = new CustomBadge(parent);
    badge->badgeTextColor_ = std::move(textColor);
    badge->badgeInsetColor_ = std::move(insetColor);
    badge->badgeFrame_ = frame;
    badge->badgeFrameColor_ = std::move(frameColor);
    badge->badgeScaleFactor_ = scale;
    badge->badgeShining_ = shining;
    badge->autoBadgeSizeWithString(text);
    return badge;
}

CustomBadge* CustomBadge::customBadgeWithString(const std::string& text, QWidget* parent) {
    return initWithString(text, 1.0, true, parent);
}

CustomBadge* CustomBadge::customBadgeWithString(const std::string& text, ColorPtr textColor, ColorPtr insetColor,
                                                bool frame, ColorPtr frameColor, double scale, bool shining,
                                                QWidget* parent) {
    return initWithString(text, std::move(textColor), std::move(insetColor), frame, std::move(frameColor), scale,
                          shining, parent);
}

void CustomBadge::setBadgeText(const std::string& text) {
    if (text == badgeText_) return;
    badgeText_ = text;
    refreshDisplayText();
    update();
}

void CustomBadge::setBadgeTextColor(ColorPtr color) {
    if (sameColor(badgeTextColor_, color)) return;
    badgeTextColor_ = std::move(color);
    update();
}

void CustomBadge::setBadgeInsetColor(ColorPtr color) {
    if (sameColor(badgeInsetColor_, color)) return;
    badgeInsetColor_ = std::move(color);
    update();
}

void CustomBadge::setBadgeFrameColor(ColorPtr color) {
    if (sameColor(badgeFrameColor_, color)) return;
    badgeFrameColor_ = std::move(color);
    update();
}

void CustomBadge::setBadgeFrame(bool frame) {
    if (badgeFrame_ == frame) return;
    badgeFrame_ = frame;
    update();
}

void CustomBadge::setBadgeShining(bool shining) {
    if (badgeShining_ == shining) return;
    badgeShining_ = shining;
    update();
}

void CustomBadge::setBadgeCornerRoundness(double roundness) {
    if (badgeCornerRoundness_ == roundness) return;
    badgeCornerRoundness_ = roundness;
    update();
}

void CustomBadge::setBadgeScaleFactor(double scale) {
    if (badgeScaleFactor_ == scale) return;
    badgeScaleFactor_ = scale;
    update();
}

void CustomBadge::setMaximumBadgeWidth(double width) { maximumWidth_ = std::max(0.0, width); }

double CustomBadge::fontSize() {
    switch (UserDefaults::standardUserDefaults().integerForKey("BadgesSize")) {
        case 2: return 16.0;
        case 1: return 14.0;
        default: return 12.0;
    }
}

double CustomBadge::frameLineWidth() const {
    const double k = badgeScaleFactor_;
    return k > 1.0 ? 2.0 + 0.25 * k : 2.0;
}

double CustomBadge::drawnFontSize() const {
    const double size = fontSize() * badgeScaleFactor_;
    return QString::fromStdString(badgeText_).size() < 2 ? size * 1.2 : size;
}

QFont CustomBadge::badgeFont(double size) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setBold(true);
    font.setPixelSize(std::max(1, int(std::lround(size))));
    return font;
}

void CustomBadge::refreshDisplayText() { display_ = oneLine(QString::fromStdString(badgeText_)); }

void CustomBadge::autoBadgeSizeWithString(const std::string& text) {
    const bool textChanged = text != badgeText_;
    if (textChanged) {
        badgeText_ = text;
        refreshDisplayText();
    }
    const double k = badgeScaleFactor_;
    const double points = fontSize();
    // The same text at the same settings: nothing to measure, nothing to repaint.
    if (!textChanged && sized_ && points == sizedFontSize_ && k == sizedScale_ && maximumWidth_ == sizedLimit_ &&
        size() == sizedSize_)
        return;
    const bool fontChanged = sized_ && points != sizedFontSize_;
    const qsizetype characters = QString::fromStdString(text).size();
    double width = kBaseSize * k;
    if (characters >= 2) {
        const double tw = QFontMetricsF(badgeFont(points)).horizontalAdvance(display_);
        width = (tw + double(characters) + kBaseSize) * k;
    }
    const double height = kBaseSize * k;
    if (maximumWidth_ > 0.0) width = std::min(width, maximumWidth_);
    if (!std::isfinite(width) || width < 0.0) width = 0.0;
    const QSize size(int(std::lround(width)), int(std::lround(height)));
    const bool sizeChanged = size != this->size();
    if (sizeChanged) resize(size);  // a resize repaints by itself
    else if (textChanged || fontChanged) update();
    sized_ = true;
    sizedFontSize_ = points;
    sizedScale_ = k;
    sizedLimit_ = maximumWidth_;
    sizedSize_ = size;
}

void CustomBadge::paintEvent(QPaintEvent*) {
    ++paints_;
    if (width() <= 0 || height() <= 0) return;
    QPainter painter(this);
    GraphicsContextScope scope(&painter, height());
    GraphicsContext& context = scope.context();

    // The shape: four arcs inside a margin of a tenth of the height.
    const double w = width(), h = height();
    const double m = 0.1 * h;
    const double left = m, right = w - m, bottom = m, top = h - m;
    double r = badgeCornerRoundness_ * h;
    r = std::max(0.0, std::min({r, (right - left) / 2.0, (top - bottom) / 2.0}));
    BezierPath shape;
    shape.appendBezierPathWithArcWithCenter(MakePoint(right - r, bottom + r), r, 270.0, 360.0);
    shape.appendBezierPathWithArcWithCenter(MakePoint(right - r, top - r), r, 0.0, 90.0);
    shape.appendBezierPathWithArcWithCenter(MakePoint(left + r, top - r), r, 90.0, 180.0);
    shape.appendBezierPathWithArcWithCenter(MakePoint(left + r, bottom + r), r, 180.0, 270.0);
    shape.closePath();
    const QPainterPath path = shape.toQPainterPath();

    if (badgeInsetColor_) {
        context.saveGState();
        context.setFillColor(badgeInsetColor_);
        context.fillPath(path);
        context.restoreGState();
    }

    if (badgeShining_) {
        context.saveGState();
        context.clipToPath(path);
        QLinearGradient shine(QPointF(0, 0), QPointF(0, top));
        shine.setColorAt(0.0, QColor::fromRgbF(0.92f, 0.92f, 0.92f, 1.0f));
        shine.setColorAt(0.4, QColor::fromRgbF(0.82f, 0.82f, 0.82f, 0.4f));
        if (QPainter* p = context.painter()) p->fillRect(QRectF(0, 0, w, top), shine);
        context.restoreGState();
    }

    if (badgeFrame_ && badgeFrameColor_) {
        context.saveGState();
        context.setStrokeColor(badgeFrameColor_);
        QPen pen;
        pen.setWidthF(frameLineWidth());
        context.strokePath(path, pen);
        context.restoreGState();
    }

    if (!display_.isEmpty() && badgeTextColor_) {
        const QFont font = badgeFont(drawnFontSize());
        const QFontMetricsF metrics(font);
        // Elided when the text is wider than the shape leaves room for.
        const double room = std::max(0.0, right - left - 2.0);
        QString shown = display_;
        double tw = metrics.horizontalAdvance(shown);
        if (tw > room) {
            shown = metrics.elidedText(display_, Qt::ElideRight, room);
            tw = metrics.horizontalAdvance(shown);
        }
        if (!shown.isEmpty()) {
            const double th = metrics.height();
            const double x = w / 2.0 - tw / 2.0;
            const double y = h / 2.0 - th / 2.0;  // the text box's bottom, y up
            QPainter* p = context.painter();
            p->save();
            // Text is laid out y down: flip about the text box.
            p->translate(x, y + th);
            p->scale(1.0, -1.0);
            p->setFont(font);
            p->setPen(badgeTextColor_->toQColor());
            p->drawText(QPointF(0.0, metrics.ascent()), shown);
            p->restore();
        }
    }
}

}  // namespace qs
