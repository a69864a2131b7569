#include "platform/ui/Color.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

#include <QGuiApplication>
#include <QPalette>

namespace qs {

namespace {

double clamp01(double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); }

// Archive record: magic "QSCL", version 1, space byte, then four IEEE doubles in
// little-endian order (c0, c1, c2, alpha).
constexpr char kMagic[4] = {'Q', 'S', 'C', 'L'};
constexpr uint8_t kVersion = 1;
constexpr size_t kRecordSize = 4 + 1 + 1 + 4 * 8;

void putDouble(Data& out, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) out.push_back(uint8_t(bits >> (8 * i)));
}

double getDouble(const uint8_t* p) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= uint64_t(p[i]) << (8 * i);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

}  // namespace

Color::Color(Space space, double c0, double c1, double c2, double alpha)
    : space_(space), c0_(clamp01(c0)), c1_(clamp01(c1)), c2_(clamp01(c2)), alpha_(clamp01(alpha)) {
    if (space_ == Space::CalibratedWhite) c1_ = c2_ = 0.0;
}

ColorPtr Color::colorWithCalibratedWhite(double white, double alpha) {
    return std::make_shared<const Color>(Space::CalibratedWhite, white, 0.0, 0.0, alpha);
}

ColorPtr Color::colorWithCalibratedRed(double red, double green, double blue, double alpha) {
    return std::make_shared<const Color>(Space::CalibratedRGB, red, green, blue, alpha);
}

ColorPtr Color::fromQColor(const QColor& color) {
    QColor rgb = color.toRgb();
    return colorWithCalibratedRed(rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF());
}

ColorPtr Color::blackColor() {
    static const ColorPtr c = colorWithCalibratedWhite(0.0, 1.0);
    return c;
}

ColorPtr Color::whiteColor() {
    static const ColorPtr c = colorWithCalibratedWhite(1.0, 1.0);
    return c;
}

ColorPtr Color::clearColor() {
    static const ColorPtr c = colorWithCalibratedWhite(0.0, 0.0);
    return c;
}

namespace {
ColorPtr paletteColor(QPalette::ColorGroup group, QPalette::ColorRole role) {
    return Color::fromQColor(QGuiApplication::palette().color(group, role));
}
}  // namespace

ColorPtr Color::alternateSelectedControlColor() { return paletteColor(QPalette::Active, QPalette::Highlight); }

ColorPtr Color::secondarySelectedControlColor() { return paletteColor(QPalette::Inactive, QPalette::Highlight); }

ColorPtr Color::alternateSelectedControlTextColor() {
    return paletteColor(QPalette::Active, QPalette::HighlightedText);
}

ColorPtr Color::disabledControlTextColor() { return paletteColor(QPalette::Disabled, QPalette::Text); }

bool Color::isEqual(const Object* other) const {
    auto* c = dynamic_cast<const Color*>(other);
    return c && c->space_ == space_ && c->c0_ == c0_ && c->c1_ == c1_ && c->c2_ == c2_ && c->alpha_ == alpha_;
}

uint64_t Color::hash() const {
    std::ostringstream os;
    os << int(space_) << ':' << c0_ << ':' << c1_ << ':' << c2_ << ':' << alpha_;
    return stableHash(os.str());
}

std::string Color::description() const {
    std::ostringstream os;
    if (space_ == Space::CalibratedWhite)
        os << "NSCalibratedWhiteColorSpace " << c0_ << ' ' << alpha_;
    else
        os << "NSCalibratedRGBColorSpace " << c0_ << ' ' << c1_ << ' ' << c2_ << ' ' << alpha_;
    return os.str();
}

double Color::whiteComponent() const {
    if (space_ == Space::CalibratedWhite) return c0_;
    return 0.299 * c0_ + 0.587 * c1_ + 0.114 * c2_;
}

ColorPtr Color::colorWithAlphaComponent(double alpha) const {
    return std::make_shared<const Color>(space_, c0_, c1_, c2_, alpha);
}

QColor Color::toQColor() const {
    return QColor::fromRgbF(float(redComponent()), float(greenComponent()), float(blueComponent()), float(alpha_));
}

Data Color::archivedData() const {
    Data out(kMagic, kMagic + 4);
    out.push_back(kVersion);
    out.push_back(space_ == Space::CalibratedWhite ? 0 : 1);
    for (double v : {c0_, c1_, c2_, alpha_}) putDouble(out, v);
    return out;
}

ColorPtr Color::colorWithArchivedData(const Data& data) {
    if (data.size() != kRecordSize || std::memcmp(data.data(), kMagic, 4) != 0 || data[4] != kVersion ||
        data[5] > 1)
        return nullptr;
    double v[4];
    for (int i = 0; i < 4; ++i) {
        v[i] = getDouble(data.data() + 6 + 8 * i);
        if (!std::isfinite(v[i])) return nullptr;
    }
    Space space = data[5] == 0 ? Space::CalibratedWhite : Space::CalibratedRGB;
    return std::make_shared<const Color>(space, v[0], v[1], v[2], v[3]);
}

}  // namespace qs
