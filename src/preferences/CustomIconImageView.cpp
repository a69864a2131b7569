#include "preferences/CustomIconImageView.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>
#include <QPainter>
#include <QStandardPaths>
#include <QUrl>

#include "platform/foundation/Log.h"
#include "platform/ui/Binding.h"
#include "platform/ui/OpenPanel.h"

namespace qs {

CustomIconImageView::CustomIconImageView(QWidget* parent)
    : ImageView(parent), hint_(QCoreApplication::translate("Quayside", "Drop an image here")) {
    setAcceptDrops(true);
    setImageFrameStyle(ImageFrameStyle::GrayBezel);
    setImageScaling(ImageScaling::ProportionallyUpOrDown);
}

void CustomIconImageView::setHint(const QString& hint) {
    hint_ = hint;
    update();
}

void CustomIconImageView::paintEvent(QPaintEvent* event) {
    ImageView::paintEvent(event);
    if (image() || hint_.isEmpty()) return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, hint_);
}

QVariant CustomIconImageView::imageValue() const {
    return QVariant::fromValue(image() ? Value(image()) : Value());
}

void CustomIconImageView::setImageValue(const QVariant& value) {
    ImagePtr shown;
    if (value.metaType() == QMetaType::fromType<Value>()) shown = value.value<Value>().objectAs<Image>();
    if (shown == image()) return;
    setImage(std::move(shown));
    emit imageChanged();
}

void CustomIconImageView::placeImage(ImagePtr image) {
    setImage(std::move(image));
    emit imageChanged();
}

ImagePtr CustomIconImageView::readIconFile(const std::string& path) {
    std::string whyNot;
    QImage pixels = Image::readFileForSize(path, kMaxIconSide, Image::kMaxDecodePixels, whyNot);
    if (pixels.isNull()) {
        log("the icon \"", path, "\" cannot be used: ", whyNot.empty() ? "it is not an image" : whyNot);
        return nullptr;
    }
    // The reader may already have decoded a large picture at a reduced size.
    QSize original = QImageReader(QString::fromStdString(path)).size();
    if (!original.isValid()) original = pixels.size();
    if (pixels.width() > kMaxIconSide || pixels.height() > kMaxIconSide)
        pixels = pixels.scaled(kMaxIconSide, kMaxIconSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (original.width() > kMaxIconSide || original.height() > kMaxIconSide)
        log("the icon \"", path, "\" (", original.width(), " x ", original.height(), " pixels) is scaled down to ",
            pixels.width(), " x ", pixels.height());
    return std::make_shared<Image>(std::move(pixels));
}

std::shared_ptr<OpenPanel> CustomIconImageView::iconOpenPanel() {
    auto panel = OpenPanel::openPanel();
    panel->canChooseFiles = true;
    panel->canChooseDirectories = false;
    panel->allowsMultipleSelection = false;
    panel->resolvesAliases = true;
    const QStringList documents = QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents.first()).isDir()) panel->directoryURL = documents.first().toStdString();
    panel->nameFilters = {"Images (*.png *.jpg *.jpeg *.gif *.bmp *.ico *.icns)"};
    return panel;
}

Qt::DropAction CustomIconImageView::dropActionFor(const QMimeData*) { return Qt::CopyAction; }

ImagePtr CustomIconImageView::imageFromDrop(const QMimeData* data) {
    if (!data || !data->hasUrls()) {
        log("the drop on the icon well holds no file; the icon is unchanged");
        return nullptr;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        if (ImagePtr image = readIconFile(url.toLocalFile().toStdString())) return image;
    }
    log("no file dropped on the icon well is an image; the icon is unchanged");
    return nullptr;
}

void CustomIconImageView::dragEnterEvent(QDragEnterEvent* event) {
    event->setDropAction(dropActionFor(event->mimeData()));
    event->accept();
}

void CustomIconImageView::dragMoveEvent(QDragMoveEvent* event) {
    event->setDropAction(dropActionFor(event->mimeData()));
    event->accept();
}

void CustomIconImageView::dropEvent(QDropEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (ImagePtr image = imageFromDrop(event->mimeData())) placeImage(std::move(image));
}

}  // namespace qs
