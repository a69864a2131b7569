#pragma once
// What the cells of the group and folder popovers have in common: the view of one file
// (its icon above its name, a rounded background while selected) and the file actions
// of its context menu ("Open", "Open With", "Get Info", "Show in Finder").
//
// The icon is filled in lazily: a cell shows its name at once and asks for its icon a
// moment later through the item icon cache, a few cells per turn of the run loop, so
// that a grid of many cells appears at once and scrolls without waiting for icons.
//
// Names are shown on at most two lines, line breaks and other control characters as
// spaces, the end elided.

#include <functional>
#include <memory>
#include <string>

#include <QColor>
#include <QImage>
#include <QWidget>

#include "core/FileSystemNode.h"
#include "platform/foundation/Value.h"
#include "platform/ui/Event.h"
#include "platform/ui/Menu.h"

namespace qs {

class ImageView;

// The cell's text field: a borderless, transparent label of at most two centred lines.
class CellTextField : public QWidget {
public:
    static constexpr int kMaxLines = 2;
    // Longer names are cut before they are laid out (the rest could never show).
    static constexpr int kMaxShownCharacters = 512;

    explicit CellTextField(QWidget* parent = nullptr);
    QString stringValue() const { return text_; }
    void setStringValue(const QString& text);
    // The text as drawn: control characters as spaces, cut to kMaxShownCharacters.
    QString shownText() const { return shown_; }
    // The lines as laid out at the current width (the last one elided when cut).
    QStringList visibleLines() const;
    static int heightForLines(const QFont& font, int lines);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QString shown_;
};

class FileCellView : public QWidget {
public:
    // The background while selected: black at 0.2 (single precision), corners of 6.
    static constexpr float kSelectedAlpha = 0.2f;
    static constexpr double kCornerRadius = 6.0;

    explicit FileCellView(QWidget* parent = nullptr);
    ~FileCellView() override;

    const Value& representedObject() const { return representedObject_; }
    // Stores the object as representedObject and, when it is a file item, as node; shows
    // its name and asks for its icon.
    virtual void setRepresentedObject(const Value& object);
    const FileSystemNodePtr& node() const { return node_; }
    // The path of the node's URL ("" without a node).
    std::string selectedFilePath() const;

    ImageView* imageView() const { return imageView_; }
    CellTextField* textField() const { return textField_; }

    // The layer's background (transparent when clear) and corner radius.
    QColor layerBackgroundColor() const { return background_; }
    void setLayerBackgroundColor(const QColor& color);
    double layerCornerRadius() const { return kCornerRadius; }

    // The context menu of the cell (menuForEvent:), built afresh for each right click.
    virtual MenuPtr menuForEvent(const Event& event) = 0;

    // Menu actions, each working on the file as it is when chosen.
    void openFile(MenuItem& sender);
    void openWithSelected(MenuItem& sender);
    void getInfo(MenuItem& sender);
    void showInFinder(MenuItem& sender);

    // Called after an action hands the user to another application (a file opened, the
    // file manager asked), so that the popover can get out of the way.
    void setOpenedHandler(std::function<void()> handler) { opened_ = std::move(handler); }
    void notifyOpened();

    // The icon request for the current size and node; the lazy loader calls it.
    void loadIcon();
    bool iconLoaded() const { return iconPixels_ > 0; }
    // The pixel size of the icon asked for now (0 when the view has no room for one).
    int iconPixelSize() const;

    // The entries every file menu shares, in the menus' order.
    MenuItemPtr makeOpenItem();
    MenuItemPtr makeOpenWithItem();
    MenuItemPtr makeGetInfoItem();
    MenuItemPtr makeShowInFinderItem();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutSubviews();
    void requestIcon();
    void setIconImage(const QImage& image, int pixels);

    Value representedObject_;
    FileSystemNodePtr node_;
    ImageView* imageView_ = nullptr;
    CellTextField* textField_ = nullptr;
    QColor background_ = Qt::transparent;
    std::function<void()> opened_;
    int iconPixels_ = 0;       // the pixel size of the icon shown, 0: none yet
    bool iconQueued_ = false;
    uint64_t generation_ = 0;  // counts the objects shown, so late icons are dropped
};

// The application named by an "Open With" entry: its tool tip (the application's path)
// reduced to the last path component without its extension.
std::string applicationNameForOpenWithItem(const MenuItem& item);

}  // namespace qs
