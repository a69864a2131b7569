#include "dock_ui/Tooltip.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextOption>

#include "platform/desktop/Screen.h"

namespace qs {

namespace {

// Text beyond this many UTF-16 units can never show in a screen-high popover 220 points
// wide; leaving it out keeps the layout of an absurd name fast.
constexpr qsizetype kMaxLaidOutLength = 20000;
// The height limit when no screen is known.
constexpr double kHeightWithoutScreen = 1000.0;
const QChar kLineSeparator(0x2028);
const QChar kEllipsis(0x2026);

QTextOption optionFor(const QString& text) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Natural alignment: the start of the text's own direction (the layout aligns
    // visually, so right-to-left text asks for the right).
    const bool rightToLeft = text.isRightToLeft();
    option.setTextDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    option.setAlignment(rightToLeft ? Qt::AlignRight : Qt::AlignLeft);
    return option;
}

}  // namespace

TooltipTextField::TooltipTextField(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
    // A text field's default font.
    setFont(QApplication::font("QLineEdit"));
}

void TooltipTextField::setStringValue(const QString& text) {
    text_ = text;
    QString t = text.left(kMaxLaidOutLength);
    if (t.size() < text.size() && !t.isEmpty() && t.back().isHighSurrogate()) t.chop(1);
    t.replace(QStringLiteral("\r\n"), QString(kLineSeparator));
    t.replace(QChar('\r'), kLineSeparator);
    t.replace(QChar('\n'), kLineSeparator);
    t.replace(QChar(0x2029), kLineSeparator);
    laidOutText_ = t;
    cutShort_ = laidOutText_.size() < text_.size();
    cacheSize_ = QSize(-1, -1);
    update();
}

TooltipTextField::Layout TooltipTextField::layOut(double width, double maxHeight) const {
    Layout l;
    width = std::max(1.0, width);
    l.layout = std::make_unique<QTextLayout>(laidOutText_, font());
    QTextOption option = optionFor(laidOutText_);
    l.layout->setTextOption(option);
    l.layout->beginLayout();
    double y = 0.0;
    while (true) {
        QTextLine line = l.layout->createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        if (l.lines > 0 && y + line.height() > maxHeight + 0.01) {
            l.truncated = true;
            break;
        }
        line.setPosition(QPointF(0.0, y));
        y += line.height();
        ++l.lines;
    }
    l.layout->endLayout();
    l.height = y;
    if (cutShort_ && l.lines > 0) l.truncated = true;

    int full = l.truncated ? l.lines - 1 : l.lines;
    for (int i = 0; i < full; ++i) l.width = std::max(l.width, l.layout->lineAt(i).naturalTextWidth());
    if (l.truncated) {
        // The last shown line carries the rest of the text, cut with an ellipsis.
        QTextLine last = l.layout->lineAt(l.lines - 1);
        QString rest = laidOutText_.mid(last.textStart());
        rest.replace(kLineSeparator, QChar(' '));
        QFontMetricsF metrics(font());
        QString elided = metrics.elidedText(rest, Qt::ElideRight, width);
        if (!elided.endsWith(kEllipsis)) {
            // Everything left fits, but more text was left out: say so.
            elided = metrics.elidedText(rest + kEllipsis + kEllipsis, Qt::ElideRight, width);
            if (!elided.endsWith(kEllipsis)) elided += kEllipsis;
        }
        l.elided = std::make_unique<QTextLayout>(elided, font());
        l.elided->setTextOption(optionFor(laidOutText_));
        l.elided->beginLayout();
        QTextLine line = l.elided->createLine();
        if (line.isValid()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0.0, last.y()));
            l.width = std::max(l.width, line.naturalTextWidth());
        }
        l.elided->endLayout();
    }
    l.width = std::min(l.width, width);
    return l;
}

Size TooltipTextField::sizeThatFits(const Size& limit) const {
    double width = std::isfinite(limit.width) ? limit.width : std::numeric_limits<double>::max();
    double height = std::isfinite(limit.height) ? limit.height : std::numeric_limits<double>::max();
    Layout l = layOut(width, height);
    return MakeSize(std::ceil(l.width), std::ceil(l.height));
}

const TooltipTextField::Layout& TooltipTextField::cachedLayout() const {
    if (cacheSize_ != size()) {
        cache_ = layOut(width(), height());
        cacheSize_ = size();
    }
    return cache_;
}

int TooltipTextField::visibleLineCount() const { return cachedLayout().lines; }

bool TooltipTextField::isTruncated() const { return cachedLayout().truncated; }

void TooltipTextField::paintEvent(QPaintEvent*) {
    const Layout& l = cachedLayout();
    QPainter p(this);
    p.setClipRect(rect());
    p.setPen(palette().color(QPalette::WindowText));
    int full = l.truncated ? l.lines - 1 : l.lines;
    for (int i = 0; i < full; ++i) l.layout->lineAt(i).draw(&p, QPointF(0.0, 0.0));
    if (l.elided && l.elided->lineCount() > 0) l.elided->lineAt(0).draw(&p, QPointF(0.0, 0.0));
}

void TooltipTextField::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        cacheSize_ = QSize(-1, -1);
        update();
    }
    QWidget::changeEvent(event);
}

// ---------------------------------------------------------------------------------

std::shared_ptr<Tooltip> Tooltip::initWithString(const std::optional<std::string>& string, const Rect& rect,
                                                 QWidget* view, RectEdge preferredEdge, bool autoClose) {
    auto tooltip = std::make_shared<Tooltip>();
    tooltip->setUpWithString(string);
    tooltip->showRelativeToRect(rect, view, preferredEdge, autoClose);
    return tooltip;
}

std::shared_ptr<Tooltip> Tooltip::initWithString(const std::optional<std::string>& string) {
    if (!string || string->empty()) return nullptr;
    auto tooltip = std::make_shared<Tooltip>();
    tooltip->setUpWithString(string);
    return tooltip;
}

Tooltip::Tooltip() {
    setAnimates(false);
    // A name never stands over a menu or a popover.
    setGivesWay(true);
}

Tooltip::~Tooltip() {
    for (auto& [loop, id] : pendingHides_)
        if (RunLoop::isLive(loop)) loop->cancel(id);
    // The content goes before the popover's window.
    setContentView(nullptr);
}

void Tooltip::setUpWithString(const std::optional<std::string>& string) {
    tooltip_ = string;
    setAnimates(false);

    auto view = std::make_unique<QWidget>();
    auto* field = new TooltipTextField(view.get());
    field->setStringValue(QString::fromStdString(string.value_or(std::string())));

    // Unlimited height, within reason: never taller than the screen.
    double maxHeight = kHeightWithoutScreen;
    ScreenPtr screen = Screen::mainScreen();
    if (!screen && !Screen::screens().empty()) screen = Screen::screens().front();
    if (screen) maxHeight = Height(screen->visibleFrame()) - 2 * kVerticalInset - Popover::kArrowLength;
    Size fit = field->sizeThatFits(MakeSize(kWrapWidth, maxHeight));

    field->setGeometry(int(kHorizontalInset), int(kVerticalInset), int(fit.width), int(fit.height));
    Size content = MakeSize(fit.width + 2 * kHorizontalInset, fit.height + 2 * kVerticalInset);
    view->resize(int(content.width), int(content.height));
    setContentSize(content);
    setContentView(view.get());
    view_ = std::move(view);  // the previous content, if any, goes now
    field_ = field;
}

void Tooltip::showRelativeToRect(const Rect& rect, QWidget* view, RectEdge preferredEdge, bool autoClose) {
    if (!view || !view->window()->isVisible()) return;
    Popover::showRelativeToRect(rect, view, preferredEdge);
    if (autoClose && isShown()) {
        RunLoop* loop = &RunLoop::main();
        pendingHides_.erase(std::remove_if(pendingHides_.begin(), pendingHides_.end(),
                                           [](auto& p) { return !RunLoop::isLive(p.first) || !p.first->isScheduled(p.second); }),
                            pendingHides_.end());
        pendingHides_.emplace_back(loop, loop->after(kAutoCloseDelay, [this] { hideTooltip(); }));
    }
}

void Tooltip::hideTooltip() { close(); }

}  // namespace qs
