#include "preferences/PreferenceControls.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStyleOptionButton>

#include "platform/desktop/Keys.h"
#include "platform/desktop/Shortcut.h"
#include "platform/ui/Beep.h"
#include "platform/ui/Binding.h"

namespace qs {

// ---------------------------------------------------------------------------------
// ColorWell

ColorWell::ColorWell(QWidget* parent) : QPushButton(parent) {
    setMinimumSize(44, 24);
    connect(this, &QPushButton::clicked, this, &ColorWell::activate);
}

ColorWell::~ColorWell() = default;

void ColorWell::setColor(const QColor& color) {
    QColor c = color.isValid() ? color : QColor(Qt::black);
    if (c == color_) return;
    color_ = c;
    update();
    emit colorChanged(color_);
}

void ColorWell::activate() {
    if (!isEnabled()) return;
    if (!panel_) {
        panel_ = new QColorDialog(this);
        panel_->setOptions(QColorDialog::ShowAlphaChannel | QColorDialog::DontUseNativeDialog);
        panel_->setAttribute(Qt::WA_DeleteOnClose);
        panel_->setWindowTitle(tr("Colors"));
        // The well follows the chooser while the user picks; OK keeps the colour, Cancel
        // (or closing the chooser) puts back the one it had when the chooser opened.
        connect(panel_, &QColorDialog::currentColorChanged, this, &ColorWell::setColor);
        connect(panel_, &QDialog::rejected, this, [this] { setColor(colorBeforePanel_); });
        connect(panel_, &QObject::destroyed, this, [this] { panel_ = nullptr; });
        colorBeforePanel_ = color_;
    }
    QSignalBlocker blocker(panel_);
    panel_->setCurrentColor(color_);
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
}

void ColorWell::paintEvent(QPaintEvent* event) {
    QPushButton::paintEvent(event);
    QPainter p(this);
    QRect swatch = rect().adjusted(6, 5, -6, -5);
    // A checkerboard under translucent colours.
    if (color_.alpha() < 255) {
        const int s = 4;
        for (int y = swatch.top(); y <= swatch.bottom(); y += s)
            for (int x = swatch.left(); x <= swatch.right(); x += s)
                p.fillRect(QRect(x, y, s, s).intersected(swatch),
                           ((x - swatch.left()) / s + (y - swatch.top()) / s) % 2 ? Qt::lightGray : Qt::white);
    }
    QColor shown = color_;
    if (!isEnabled()) shown.setAlphaF(shown.alphaF() * 0.4);
    p.fillRect(swatch, shown);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(swatch.adjusted(0, 0, -1, -1));
}

void ColorWell::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled() && panel_) panel_->close();
}

// ---------------------------------------------------------------------------------
// ValueSlider

ValueSlider::ValueSlider(QWidget* parent) : QSlider(parent) {}

void ValueSlider::setValueLabel(QLabel* label, Format format) {
    label_ = label;
    format_ = std::move(format);
    showValue();
}

QString ValueSlider::valueText() const { return format_ ? format_(value()) : QString::number(value()); }

void ValueSlider::sliderChange(SliderChange change) {
    QSlider::sliderChange(change);
    // Every change of the value passes here, whether or not the signals are blocked.
    if (change == SliderValueChange) showValue();
}

void ValueSlider::showValue() {
    if (label_) label_->setText(valueText());
}

// ---------------------------------------------------------------------------------
// SegmentedControl

SegmentedControl::SegmentedControl(QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)), layout_(new QHBoxLayout(this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) emit currentIndexChanged(id);
    });
}

void SegmentedControl::setLabels(const QStringList& labels) {
    int selected = currentIndex();
    for (QAbstractButton* b : group_->buttons()) {
        group_->removeButton(b);
        delete b;
    }
    labels_ = labels;
    for (int i = 0; i < labels.size(); ++i) {
        auto* button = new QPushButton(labels[i], this);
        button->setCheckable(true);
        button->setObjectName(QStringLiteral("segment%1").arg(i));
        group_->addButton(button, i);
        layout_->addWidget(button);
    }
    QSignalBlocker blocker(this);
    setCurrentIndex(selected);
}

int SegmentedControl::currentIndex() const { return group_->checkedButton() ? group_->checkedId() : -1; }

void SegmentedControl::setCurrentIndex(int index) {
    if (index == currentIndex()) return;
    if (QAbstractButton* button = group_->button(index)) {
        button->setChecked(true);  // reports through idToggled
        return;
    }
    if (QAbstractButton* checked = group_->checkedButton()) {
        group_->setExclusive(false);
        checked->setChecked(false);
        group_->setExclusive(true);
        emit currentIndexChanged(-1);
    }
}

void SegmentedControl::clickSegment(int index) {
    if (QAbstractButton* button = group_->button(index)) button->click();
}

QPushButton* SegmentedControl::segmentButton(int index) const {
    return static_cast<QPushButton*>(group_->button(index));
}

// ---------------------------------------------------------------------------------
// Shortcuts

namespace {

struct KeyEntry {
    int qtKey;
    uint16_t keyCode;
    const char* name;  // nullptr: the key's own character
};

// Shifted symbols map to the key that types them on a US layout.
const KeyEntry kKeys[] = {
    {Qt::Key_A, kVK_ANSI_A, "A"}, {Qt::Key_B, kVK_ANSI_B, "B"}, {Qt::Key_C, kVK_ANSI_C, "C"},
    {Qt::Key_D, kVK_ANSI_D, "D"}, {Qt::Key_E, kVK_ANSI_E, "E"}, {Qt::Key_F, kVK_ANSI_F, "F"},
    {Qt::Key_G, kVK_ANSI_G, "G"}, {Qt::Key_H, kVK_ANSI_H, "H"}, {Qt::Key_I, kVK_ANSI_I, "I"},
    {Qt::Key_J, kVK_ANSI_J, "J"}, {Qt::Key_K, kVK_ANSI_K, "K"}, {Qt::Key_L, kVK_ANSI_L, "L"},
    {Qt::Key_M, kVK_ANSI_M, "M"}, {Qt::Key_N, kVK_ANSI_N, "N"}, {Qt::Key_O, kVK_ANSI_O, "O"},
    {Qt::Key_P, kVK_ANSI_P, "P"}, {Qt::Key_Q, kVK_ANSI_Q, "Q"}, {Qt::Key_R, kVK_ANSI_R, "R"},
    {Qt::Key_S, kVK_ANSI_S, "S"}, {Qt::Key_T, kVK_ANSI_T, "T"}, {Qt::Key_U, kVK_ANSI_U, "U"},
    {Qt::Key_V, kVK_ANSI_V, "V"}, {Qt::Key_W, kVK_ANSI_W, "W"}, {Qt::Key_X, kVK_ANSI_X, "X"},
    {Qt::Key_Y, kVK_ANSI_Y, "Y"}, {Qt::Key_Z, kVK_ANSI_Z, "Z"},
    {Qt::Key_0, kVK_ANSI_0, "0"}, {Qt::Key_1, kVK_ANSI_1, "1"}, {Qt::Key_2, kVK_ANSI_2, "2"},
    {Qt::Key_3, kVK_ANSI_3, "3"}, {Qt::Key_4, kVK_ANSI_4, "4"}, {Qt::Key_5, kVK_ANSI_5, "5"},
    {Qt::Key_6, kVK_ANSI_6, "6"}, {Qt::Key_7, kVK_ANSI_7, "7"}, {Qt::Key_8, kVK_ANSI_8, "8"},
    {Qt::Key_9, kVK_ANSI_9, "9"},
    {Qt::Key_ParenRight, kVK_ANSI_0, nullptr}, {Qt::Key_Exclam, kVK_ANSI_1, nullptr},
    {Qt::Key_At, kVK_ANSI_2, nullptr}, {Qt::Key_NumberSign, kVK_ANSI_3, nullptr},
    {Qt::Key_Dollar, kVK_ANSI_4, nullptr}, {Qt::Key_Percent, kVK_ANSI_5, nullptr},
    {Qt::Key_AsciiCircum, kVK_ANSI_6, nullptr}, {Qt::Key_Ampersand, kVK_ANSI_7, nullptr},
    {Qt::Key_Asterisk, kVK_ANSI_8, nullptr}, {Qt::Key_ParenLeft, kVK_ANSI_9, nullptr},
    {Qt::Key_Minus, kVK_ANSI_Minus, "-"}, {Qt::Key_Underscore, kVK_ANSI_Minus, nullptr},
    {Qt::Key_Equal, kVK_ANSI_Equal, "="}, {Qt::Key_Plus, kVK_ANSI_Equal, nullptr},
    {Qt::Key_BracketLeft, kVK_ANSI_LeftBracket, "["}, {Qt::Key_BraceLeft, kVK_ANSI_LeftBracket, nullptr},
    {Qt::Key_BracketRight, kVK_ANSI_RightBracket, "]"}, {Qt::Key_BraceRight, kVK_ANSI_RightBracket, nullptr},
    {Qt::Key_Backslash, kVK_ANSI_Backslash, "\\"}, {Qt::Key_Bar, kVK_ANSI_Backslash, nullptr},
    {Qt::Key_Semicolon, kVK_ANSI_Semicolon, ";"}, {Qt::Key_Colon, kVK_ANSI_Semicolon, nullptr},
    {Qt::Key_Apostrophe, kVK_ANSI_Quote, "'"}, {Qt::Key_QuoteDbl, kVK_ANSI_Quote, nullptr},
    {Qt::Key_Comma, kVK_ANSI_Comma, ","}, {Qt::Key_Less, kVK_ANSI_Comma, nullptr},
    {Qt::Key_Period, kVK_ANSI_Period, "."}, {Qt::Key_Greater, kVK_ANSI_Period, nullptr},
    {Qt::Key_Slash, kVK_ANSI_Slash, "/"}, {Qt::Key_Question, kVK_ANSI_Slash, nullptr},
    {Qt::Key_QuoteLeft, kVK_ANSI_Grave, "`"}, {Qt::Key_AsciiTilde, kVK_ANSI_Grave, nullptr},
    {Qt::Key_Return, kVK_Return, "Return"}, {Qt::Key_Enter, kVK_Return, nullptr},
    {Qt::Key_Tab, kVK_Tab, "Tab"}, {Qt::Key_Backtab, kVK_Tab, nullptr},
    {Qt::Key_Space, kVK_Space, "Space"}, {Qt::Key_Backspace, kVK_Delete, "Backspace"},
    {Qt::Key_Escape, kVK_Escape, "Escape"}, {Qt::Key_Delete, kVK_ForwardDelete, "Delete"},
    {Qt::Key_Home, kVK_Home, "Home"}, {Qt::Key_End, kVK_End, "End"},
    {Qt::Key_PageUp, kVK_PageUp, "Page Up"}, {Qt::Key_PageDown, kVK_PageDown, "Page Down"},
    {Qt::Key_Left, kVK_LeftArrow, "Left"}, {Qt::Key_Right, kVK_RightArrow, "Right"},
    {Qt::Key_Down, kVK_DownArrow, "Down"}, {Qt::Key_Up, kVK_UpArrow, "Up"},
    {Qt::Key_F1, kVK_F1, "F1"}, {Qt::Key_F2, kVK_F2, "F2"}, {Qt::Key_F3, kVK_F3, "F3"},
    {Qt::Key_F4, kVK_F4, "F4"}, {Qt::Key_F5, kVK_F5, "F5"}, {Qt::Key_F6, kVK_F6, "F6"},
    {Qt::Key_F7, kVK_F7, "F7"}, {Qt::Key_F8, kVK_F8, "F8"}, {Qt::Key_F9, kVK_F9, "F9"},
    {Qt::Key_F10, kVK_F10, "F10"}, {Qt::Key_F11, kVK_F11, "F11"}, {Qt::Key_F12, kVK_F12, "F12"},
    {Qt::Key_F13, kVK_F13, "F13"}, {Qt::Key_F14, kVK_F14, "F14"}, {Qt::Key_F15, kVK_F15, "F15"},
    {Qt::Key_F16, kVK_F16, "F16"}, {Qt::Key_F17, kVK_F17, "F17"}, {Qt::Key_F18, kVK_F18, "F18"},
    {Qt::Key_F19, kVK_F19, "F19"}, {Qt::Key_F20, kVK_F20, "F20"},
};

bool isFunctionKey(uint16_t keyCode) {
    for (const auto& k : kKeys)
        if (k.keyCode == keyCode && k.name && k.name[0] == 'F' && k.name[1] >= '1' && k.name[1] <= '9') return true;
    return false;
}

std::string keyName(uint16_t keyCode) {
    for (const auto& k : kKeys)
        if (k.keyCode == keyCode && k.name) return k.name;
    return "Key " + std::to_string(keyCode);
}

constexpr uint64_t kShortcutModifiers =
    NSEventModifierFlagControl | NSEventModifierFlagOption | NSEventModifierFlagCommand;

uint64_t flagsOf(Qt::KeyboardModifiers m) {
    uint64_t flags = 0;
    if (m & Qt::ShiftModifier) flags |= NSEventModifierFlagShift;
    if (m & Qt::ControlModifier) flags |= NSEventModifierFlagControl;
    if (m & Qt::AltModifier) flags |= NSEventModifierFlagOption;
    if (m & Qt::MetaModifier) flags |= NSEventModifierFlagCommand;
    return flags;
}

}  // namespace

std::optional<uint16_t> keyCodeForQtKey(int qtKey) {
    for (const auto& k : kKeys)
        if (k.qtKey == qtKey) return k.keyCode;
    return std::nullopt;
}

std::string shortcutDisplayString(uint16_t keyCode, uint64_t modifierFlags) {
    std::string out;
    if (modifierFlags & NSEventModifierFlagControl) out += "Ctrl+";
    if (modifierFlags & NSEventModifierFlagOption) out += "Alt+";
    if (modifierFlags & NSEventModifierFlagShift) out += "Shift+";
    if (modifierFlags & NSEventModifierFlagCommand) out += "Super+";
    return out + keyName(keyCode);
}

ShortcutRecorder::ShortcutRecorder(QWidget* parent) : QPushButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumWidth(150);
    connect(this, &QPushButton::clicked, this, [this] { setRecording(!recording_); });
    updateTitle();
}

void ShortcutRecorder::setShortcutValue(const QVariant& value) {
    value_ = value;
    updateTitle();
}

void ShortcutRecorder::commit(const QVariant& value) {
    value_ = value;
    recording_ = false;
    updateTitle();
    emit shortcutValueChanged(value_);
}

void ShortcutRecorder::setAssociatedUserDefaultsKey(const std::string& key) {
    key_ = key;
    BindingOptions options;
    options.valueTransformerName = NSKeyedUnarchiveFromDataTransformerName;
    Binding::bind(this, "value", Binding::sharedDefaultsController(), "values." + key, options);
}

void ShortcutRecorder::setRecording(bool recording) {
    recording_ = recording;
    if (recording) setFocus(Qt::OtherFocusReason);
    updateTitle();
}

void ShortcutRecorder::updateTitle() {
    if (recording_) {
        setText(tr("Type Shortcut"));
        return;
    }
    Value v = value_.canConvert<Value>() ? value_.value<Value>() : Value();
    auto shortcut = v.objectAs<Shortcut>();
    setText(shortcut ? QString::fromStdString(shortcutDisplayString(shortcut->keyCode(), shortcut->modifierFlags()))
                     : tr("Record Shortcut"));
}

void ShortcutRecorder::keyPressEvent(QKeyEvent* event) {
    if (!recording_) {
        QPushButton::keyPressEvent(event);
        return;
    }
    const int key = event->key();
    if (key == Qt::Key_Control || key == Qt::Key_Shift || key == Qt::Key_Alt || key == Qt::Key_Meta ||
        key == Qt::Key_Super_L || key == Qt::Key_Super_R || key == Qt::Key_AltGr || key == Qt::Key_unknown) {
        event->accept();
        return;
    }
    uint64_t flags = flagsOf(event->modifiers());
    const bool plain = (flags & kShortcutModifiers) == 0;
    if (plain && key == Qt::Key_Escape) {
        setRecording(false);
    } else if (plain && (key == Qt::Key_Backspace || key == Qt::Key_Delete)) {
        commit(QVariant::fromValue(Value()));
    } else if (auto code = keyCodeForQtKey(key); code && (!plain || isFunctionKey(*code))) {
        commit(QVariant::fromValue(Value(Shortcut::shortcutWithKeyCode(*code, flags))));
    } else {
        NSBeep();
    }
    event->accept();
}

void ShortcutRecorder::focusOutEvent(QFocusEvent* event) {
    if (recording_) setRecording(false);
    QPushButton::focusOutEvent(event);
}

}  // namespace qs
