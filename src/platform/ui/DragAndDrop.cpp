#include "platform/ui/DragAndDrop.h"

#include <algorithm>

#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"

namespace qs {

namespace {

constexpr const char* kUriList = "text/uri-list";
constexpr const char* kPrivatePrefix = "application/x-quayside-";
// While a zone that wants them holds a resting drag, updates come this often.
constexpr double kPeriodicInterval = 0.1;

DraggingDestination* asDestination(QWidget* w) { return dynamic_cast<DraggingDestination*>(w); }

}  // namespace

std::string mimeTypeForPasteboardType(const std::string& type) {
    if (type == NSFilenamesPboardType || type == NSURLPboardType) return "";
    return kPrivatePrefix + type;
}

// ---------------------------------------------------------------------------------
// Pasteboard

Pasteboard::Pasteboard() : owned_(std::make_unique<QMimeData>()) { data_ = owned_.get(); }

Pasteboard::Pasteboard(const QMimeData* data) : data_(data) {}

Pasteboard::~Pasteboard() = default;

void Pasteboard::scan() const {
    if (scanned_) return;
    scanned_ = true;
    types_.clear();
    files_.clear();
    if (!data_) return;
    const QStringList formats = data_->formats();
    const QString prefix = QString::fromLatin1(kPrivatePrefix);
    for (const QString& f : formats)
        if (f.startsWith(prefix)) types_.push_back(f.mid(prefix.size()).toStdString());
    if (!data_->hasUrls()) return;
    const QList<QUrl> urls = data_->urls();
    if (urls.isEmpty()) return;
    types_.push_back(NSURLPboardType);
    size_t remote = 0;
    files_.reserve(size_t(urls.size()));
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files_.push_back(url.toLocalFile().toStdString());
        else
            ++remote;
    }
    if (remote) log("a drag offers ", remote, " address(es) that are not local files; they are not taken as files");
    if (!files_.empty()) types_.push_back(NSFilenamesPboardType);
}

const std::vector<std::string>& Pasteboard::types() const {
    scan();
    return types_;
}

bool Pasteboard::hasType(const std::string& type) const {
    const auto& t = types();
    return std::find(t.begin(), t.end(), type) != t.end();
}

bool Pasteboard::hasAnyType(const std::vector<std::string>& types) const {
    for (const auto& t : types)
        if (hasType(t)) return true;
    return false;
}

std::optional<Data> Pasteboard::dataForType(const std::string& type) const {
    const std::string mime = mimeTypeForPasteboardType(type);
    if (!data_ || mime.empty() || !data_->hasFormat(QString::fromStdString(mime))) return std::nullopt;
    const QByteArray bytes = data_->data(QString::fromStdString(mime));
    return Data(bytes.begin(), bytes.end());
}

const std::vector<std::string>& Pasteboard::filenames() const {
    scan();
    return files_;
}

std::vector<std::string> Pasteboard::urls() const {
    std::vector<std::string> out;
    if (!data_ || !data_->hasUrls()) return out;
    for (const QUrl& url : data_->urls()) out.push_back(url.toString().toStdString());
    return out;
}

void Pasteboard::declareTypes(const std::vector<std::string>& types) {
    if (!owned_) return;
    owned_ = std::make_unique<QMimeData>();
    data_ = owned_.get();
    declared_ = types;
    scanned_ = false;
}

bool Pasteboard::setData(const Data& data, const std::string& type) {
    if (!owned_) return false;
    if (std::find(declared_.begin(), declared_.end(), type) == declared_.end()) {
        log("a pasteboard was given data of the undeclared type ", type);
        return false;
    }
    const std::string mime = mimeTypeForPasteboardType(type);
    if (mime.empty()) return false;
    owned_->setData(QString::fromStdString(mime),
                    QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size())));
    scanned_ = false;
    return true;
}

void Pasteboard::setFilenames(const std::vector<std::string>& paths) {
    if (!owned_) return;
    QList<QUrl> urls;
    for (const auto& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
    owned_->setUrls(urls);
    scanned_ = false;
}

QMimeData* Pasteboard::takeMimeData() {
    scan();  // the types stay readable afterwards
    return owned_.release();
}

// ---------------------------------------------------------------------------------
// Operations

int qtDropActionForOperation(uint64_t operation) {
    if (operation == NSDragOperationNone) return Qt::IgnoreAction;
    if (operation & NSDragOperationMove) return Qt::MoveAction;
    if (operation & NSDragOperationCopy) return Qt::CopyAction;
    if (operation & (NSDragOperationLink | NSDragOperationGeneric)) return Qt::LinkAction;
    return Qt::IgnoreAction;
}

uint64_t operationsForQtActions(int actions) {
    uint64_t ops = NSDragOperationNone;
    if (actions & Qt::CopyAction) ops |= NSDragOperationCopy;
    if (actions & Qt::MoveAction) ops |= NSDragOperationMove | NSDragOperationGeneric;
    if (actions & Qt::LinkAction) ops |= NSDragOperationLink;
    return ops;
}

// ---------------------------------------------------------------------------------
// Destinations

DraggingDestination::~DraggingDestination() = default;

void DraggingDestination::registerForDraggedTypes(const std::vector<std::string>& types) {
    for (const auto& t : types)
        if (std::find(types_.begin(), types_.end(), t) == types_.end()) types_.push_back(t);
}

DragRouter::DragRouter(QWidget* host) : host_(host) {}

DragRouter::~DragRouter() { stopPeriodic(); }

QWidget* DragRouter::destinationAt(const QPoint& point, const Pasteboard& pasteboard) const {
    QWidget* w = host_->childAt(point);
    for (; w && w != host_; w = w->parentWidget()) {
        DraggingDestination* d = asDestination(w);
        if (!d || !w->isVisible()) continue;
        if (!pasteboard.hasAnyType(d->registeredDraggedTypes())) continue;
        if (!d->acceptsDragAtPoint(w->mapFrom(host_, point))) continue;
        return w;
    }
    return nullptr;
}

bool DragRouter::moved(const QPoint& point, const Pasteboard& pasteboard, bool sourceInProgram, uint64_t sourceMask,
                       uint64_t& operation) {
    operation = NSDragOperationNone;
    QWidget* target = destinationAt(point, pasteboard);
    pasteboard_ = &pasteboard;
    sourceInProgram_ = sourceInProgram;
    sourceMask_ = sourceMask;
    lastPoint_ = point;
    if (current_ && current_ != target) left(&pasteboard, sourceInProgram);
    if (!target) return false;
    DraggingDestination* d = asDestination(target);
    DraggingInfo info{pasteboard, target->mapFrom(host_, point), sourceInProgram, sourceMask};
    if (current_ != target) {
        current_ = target;
        operation = d->draggingEntered(info);
        if (d->wantsPeriodicDraggingUpdates()) startPeriodic();
    } else {
        operation = d->draggingUpdated(info);
    }
    return true;
}

void DragRouter::left(const Pasteboard* pasteboard, bool sourceInProgram) {
    stopPeriodic();
    QPointer<QWidget> was = current_;
    current_ = nullptr;
    if (!was) return;
    if (pasteboard) {
        DraggingInfo info{*pasteboard, was->mapFrom(host_, lastPoint_), sourceInProgram, sourceMask_};
        asDestination(was)->draggingExited(&info);
    } else {
        asDestination(was)->draggingExited(nullptr);
    }
    pasteboard_ = nullptr;
}

bool DragRouter::drop(const QPoint& point, const Pasteboard& pasteboard, bool sourceInProgram, uint64_t sourceMask,
                      std::optional<uint64_t>* performed) {
    stopPeriodic();
    QPointer<QWidget> target = current_;
    current_ = nullptr;
    pasteboard_ = nullptr;
    if (!target) return false;
    DraggingDestination* d = asDestination(target);
    DraggingInfo info{pasteboard, target->mapFrom(host_, point), sourceInProgram, sourceMask};
    if (!d->prepareForDragOperation(info)) {
        d->draggingExited(nullptr);
        return false;
    }
    const bool done = d->performDragOperation(info);
    if (performed) *performed = info.performedOperation;
    return done;
}

void DragRouter::startPeriodic() {
    stopPeriodic();
    loop_ = &RunLoop::main();
    timer_ = loop_->every(kPeriodicInterval, [this] {
        if (!current_ || !pasteboard_) {
            stopPeriodic();
            return;
        }
        ++periodicUpdates_;
        DraggingInfo info{*pasteboard_, current_->mapFrom(host_, lastPoint_), sourceInProgram_, sourceMask_};
        asDestination(current_)->draggingUpdated(info);
    });
}

void DragRouter::stopPeriodic() {
    if (timer_ && loop_ && RunLoop::isLive(loop_)) loop_->cancel(timer_);
    timer_ = 0;
    loop_ = nullptr;
}

}  // namespace qs
