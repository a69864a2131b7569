#pragma once
// The image well of the inspectors: shows an icon, takes an image file dropped on it
// (text/uri-list, the first file that reads as an image) and, as the user's own change,
// tells the binding of its "image" property, which hands the image to the model.
//
// The well is drawn as a sunken frame; while it is empty it says what it is for (its
// hint, "Drop an image here").
//
// Icons the user picks go through readIconFile: decoded at once (so a file removed or
// replaced later does not change the icon), within the image decoder's limits, and
// scaled down to kMaxIconSide when larger, so a huge picture never bloats the stored
// dock. The inspectors' choose-icon panel is iconOpenPanel.

#include <QMimeData>
#include <QVariant>
#include <memory>
#include <string>

#include "platform/foundation/Image.h"
#include "platform/ui/ImageView.h"

namespace qs {

class OpenPanel;

class CustomIconImageView : public ImageView {
    Q_OBJECT
    // The shown image as a model value (an Image or nil); the property bindings use.
    Q_PROPERTY(QVariant image READ imageValue WRITE setImageValue NOTIFY imageChanged USER true)
public:
    static constexpr int kMaxIconSide = 1024;

    explicit CustomIconImageView(QWidget* parent = nullptr);

    // The words shown in the empty well.
    QString hint() const { return hint_; }
    void setHint(const QString& hint);

    QVariant imageValue() const;
    void setImageValue(const QVariant& value);
    // Puts an image in the well as the user does: imageChanged follows.
    void placeImage(ImagePtr image);

    // Every drag is offered a copy.
    static Qt::DropAction dropActionFor(const QMimeData* data);
    // The image a drop carries: the first local file that reads as an icon; nullptr (and
    // a log line) when none does.
    static ImagePtr imageFromDrop(const QMimeData* data);

    // The icon in a file the user picked; nullptr with a log line when it is no readable
    // image (missing, a folder, too large, broken).
    static ImagePtr readIconFile(const std::string& path);
    // The choose-icon panel both inspectors show: one image file, no folders, links
    // resolved, starting in the user's documents folder when there is one.
    static std::shared_ptr<OpenPanel> iconOpenPanel();

signals:
    void imageChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QString hint_;
};

}  // namespace qs
