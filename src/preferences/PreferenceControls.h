#pragma once
// Controls the preference panes use that Qt does not have:
//
// - ColorWell: a swatch of a colour; a click opens the colour chooser, whose changes the
//   well takes at once (its "value" binding is the colour). The chooser has OK, which
//   keeps the colour, and Cancel, which puts back the colour the well had when it opened
//   (as closing the chooser and Escape do).
// - ValueSlider: a slider that shows its value in a label beside it; the label follows
//   every change of the value, the user's and the model's (a binding's update too).
// - SegmentedControl: a row of exclusive segments (its "selectedIndex" binding is the
//   selected segment); the labels come from the interface file ("labels").
// - ShortcutRecorder: shows a keyboard shortcut and records a new one: a click starts
//   recording, the next key pressed with Control, Alt or Super (a function key alone
//   also counts) becomes the shortcut, Escape cancels, Backspace or Delete clears it. Its
//   "value" binding is the shortcut (a Shortcut object, nil when cleared);
//   setAssociatedUserDefaultsKey binds it to a defaults key holding the shortcut's
//   keyed archive, the form the shortcut binder reads.

#include <QColor>
#include <QPushButton>
#include <QSlider>
#include <QStringList>
#include <QVariant>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QButtonGroup;
class QColorDialog;
class QHBoxLayout;
class QKeyEvent;
class QLabel;

namespace qs {

class ColorWell : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged USER true)
public:
    explicit ColorWell(QWidget* parent = nullptr);
    ~ColorWell() override;

    QColor color() const { return color_; }
    void setColor(const QColor& color);
    // The colour chooser opened by a click (nullptr while none is open).
    QColorDialog* colorPanel() const { return panel_; }
    // Opens the chooser (what a click does).
    void activate();

signals:
    void colorChanged(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QColor color_ = Qt::black;
    QColor colorBeforePanel_ = Qt::black;
    QColorDialog* panel_ = nullptr;
};

class ValueSlider : public QSlider {
    Q_OBJECT
public:
    using Format = std::function<QString(int)>;
    explicit ValueSlider(QWidget* parent = nullptr);

    // The label that shows the value, and how the value reads (the number alone when no
    // format is given).
    void setValueLabel(QLabel* label, Format format = {});
    QLabel* valueLabel() const { return label_; }
    QString valueText() const;

protected:
    void sliderChange(SliderChange change) override;

private:
    void showValue();

    QLabel* label_ = nullptr;
    Format format_;
};

class SegmentedControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int currentIndex READ currentIndex WRITE setCurrentIndex NOTIFY currentIndexChanged USER true)
    Q_PROPERTY(QStringList labels READ labels WRITE setLabels)
public:
    explicit SegmentedControl(QWidget* parent = nullptr);

    QStringList labels() const { return labels_; }
    void setLabels(const QStringList& labels);
    int segmentCount() const { return int(labels_.size()); }
    // -1 when no segment is selected.
    int currentIndex() const;
    void setCurrentIndex(int index);
    // As a click on the segment does.
    void clickSegment(int index);
    QPushButton* segmentButton(int index) const;

signals:
    void currentIndexChanged(int index);

private:
    QStringList labels_;
    QButtonGroup* group_;
    QHBoxLayout* layout_;
};

// Maps a Qt key to the platform's ANSI key code; nullopt for keys a shortcut cannot use.
std::optional<uint16_t> keyCodeForQtKey(int qtKey);
// "Ctrl+Super+H": the modifiers (Control, Alt, Shift, Super) and the key's name.
std::string shortcutDisplayString(uint16_t keyCode, uint64_t modifierFlags);

class ShortcutRecorder : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QVariant shortcutValue READ shortcutValue WRITE setShortcutValue NOTIFY shortcutValueChanged USER true)
public:
    explicit ShortcutRecorder(QWidget* parent = nullptr);

    // The shortcut shown: a Value holding a Shortcut, or nil.
    QVariant shortcutValue() const { return value_; }
    void setShortcutValue(const QVariant& value);
    // Ties the recorder to a defaults key (the keyed archive of a shortcut).
    void setAssociatedUserDefaultsKey(const std::string& key);
    const std::string& associatedUserDefaultsKey() const { return key_; }

    bool isRecording() const { return recording_; }
    void setRecording(bool recording);

signals:
    void shortcutValueChanged(const QVariant& value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void updateTitle();
    void commit(const QVariant& value);

    QVariant value_;
    std::string key_;
    bool recording_ = false;
};

}  // namespace qs
