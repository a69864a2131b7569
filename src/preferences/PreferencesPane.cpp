#include "preferences/PreferencesPane.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "platform/ui/Binding.h"

namespace qs {

std::string localizedString(const char* key) {
    return QCoreApplication::translate("Quayside", key).toStdString();
}

PreferencesPane::~PreferencesPane() {
    // A view that no window took is the pane's own.
    if (view_ && !view_->parent() && QCoreApplication::instance()) delete view_.data();
}

QWidget* PreferencesPane::view() {
    if (!view_) {
        view_ = loadView();
        if (!view_) return nullptr;
        std::map<std::string, ObjectPtr> objects = interfaceObjects();
        objects["owner"] = shared_from_this();
        Binding::bindInterface(view_.data(), objects);
        viewDidLoad();
    }
    return view_.data();
}

void PreferencesPane::viewWillAppear() {
    if (view_) Binding::setBindingsActive(view_.data(), true);
}

void PreferencesPane::viewDidDisappear() {
    if (view_) Binding::setBindingsActive(view_.data(), false);
}

namespace {

QPixmap drawing(const char* name, int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QString what = QString::fromLatin1(name);
    const qreal s = side;
    if (what == "widget") {
        // Four rounded tiles.
        const QColor colors[] = {QColor(70, 140, 230), QColor(240, 170, 40), QColor(90, 190, 100),
                                 QColor(220, 80, 90)};
        qreal t = s * 0.42, gap = s * 0.08, o = (s - 2 * t - gap) / 2;
        for (int i = 0; i < 4; ++i) {
            QRectF r(o + (i % 2) * (t + gap), o + (i / 2) * (t + gap), t, t);
            p.setPen(Qt::NoPen);
            p.setBrush(colors[i]);
            p.drawRoundedRect(r, t * 0.25, t * 0.25);
        }
    } else if (what == "ExcludedApps") {
        // A circle crossed out.
        QPen pen(QColor(200, 50, 50), s * 0.11);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        QRectF r(s * 0.12, s * 0.12, s * 0.76, s * 0.76);
        p.drawEllipse(r);
        p.drawLine(QPointF(s * 0.25, s * 0.75), QPointF(s * 0.75, s * 0.25));
    } else if (what == "color") {
        const QColor colors[] = {Qt::red, QColor(255, 160, 0), Qt::yellow, Qt::green, Qt::cyan, Qt::blue,
                                 Qt::magenta};
        QRectF r(s * 0.1, s * 0.1, s * 0.8, s * 0.8);
        for (int i = 0; i < 7; ++i) {
            p.setPen(Qt::NoPen);
            p.setBrush(colors[i]);
            p.drawPie(r, int(i * 360.0 / 7 * 16), int(360.0 / 7 * 16) + 8);
        }
    } else {
        // A gear ("general", "advanced"): a toothed wheel.
        QColor c = what == "advanced" ? QColor(90, 90, 100) : QColor(120, 120, 130);
        p.translate(s / 2, s / 2);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.rotate(i * 45.0);
            p.drawRect(QRectF(-s * 0.07, -s * 0.46, s * 0.14, s * 0.2));
            p.restore();
        }
        QPainterPath ring;
        ring.addEllipse(QPointF(0, 0), s * 0.32, s * 0.32);
        ring.addEllipse(QPointF(0, 0), s * 0.13, s * 0.13);
        ring.setFillRule(Qt::OddEvenFill);
        p.drawPath(ring);
    }
    return pixmap;
}

}  // namespace

QIcon toolbarImage(const char* themeName, const char* drawingName) {
    if (themeName && *themeName) {
        QIcon themed = QIcon::fromTheme(QString::fromLatin1(themeName));
        if (!themed.isNull()) return themed;
    }
    QIcon icon;
    for (int side : {16, 24, 32, 48}) icon.addPixmap(drawing(drawingName, side));
    return icon;
}

}  // namespace qs
