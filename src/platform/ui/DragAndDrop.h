#pragma once
// Drag and drop in the platform's shape (NSPasteboard, NSDraggingInfo, dragging
// destinations) over Qt's QDrag/QMimeData, which speak XDND on X11.
//
// Pasteboard types are the platform's names; on the wire:
// - NSFilenamesPboardType: the local files of "text/uri-list" (file:// URLs), in order;
// - NSURLPboardType: any URL of "text/uri-list";
// - any other name is a private type of this program, carried as
//   "application/x-quayside-<name>" with its raw bytes.
//
// A reading pasteboard wraps the QMimeData of a drag (owned by Qt); its types and file
// names are read once and kept, since asking an XDND source for data is a round trip
// to another program.
//
// Drop zones inside a host view (DraggingDestination) do not take Qt's drag events
// themselves: the host routes them (DragRouter), so that the innermost zone under the
// pointer registered for a type of the drag receives it, as the platform does, and the
// zones let plain mouse presses through to the views under them.
//
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPoint>
#include <QPointer>

#include "platform/foundation/Value.h"

class QMimeData;
class QWidget;
class QDropEvent;
class QDragMoveEvent;

namespace qs {

class RunLoop;

inline constexpr const char* NSFilenamesPboardType = "NSFilenamesPboardType";
inline constexpr const char* NSURLPboardType = "NSURLPboardType";

// Drag operations, as the platform numbers them.
enum DragOperation : uint64_t {
    NSDragOperationNone = 0,
    NSDragOperationCopy = 1,
    NSDragOperationLink = 2,
    NSDragOperationGeneric = 4,
    NSDragOperationPrivate = 8,
    NSDragOperationMove = 16,
    NSDragOperationDelete = 32,
    NSDragOperationEvery = ~uint64_t(0),
};

// The MIME type that carries a pasteboard type ("" for the two file and URL types).
std::string mimeTypeForPasteboardType(const std::string& type);

class Pasteboard {
public:
    // A new, empty pasteboard to write a drag into.
    Pasteboard();
    // Reads the data of a drag (not owned; it must outlive the pasteboard).
    explicit Pasteboard(const QMimeData* data);
    ~Pasteboard();
    Pasteboard(const Pasteboard&) = delete;
    Pasteboard& operator=(const Pasteboard&) = delete;

    // The types on offer, private types first, then NSURLPboardType (any URL), then
    // NSFilenamesPboardType (at least one local file).
    const std::vector<std::string>& types() const;
    bool hasType(const std::string& type) const;
    bool hasAnyType(const std::vector<std::string>& types) const;
    // The bytes of a private type; nullopt when the drag has none.
    std::optional<Data> dataForType(const std::string& type) const;
    // NSFilenamesPboardType: the paths of the local files, in drag order. URLs that are
    // not local files are left out (one log line for the lot).
    const std::vector<std::string>& filenames() const;
    // NSURLPboardType: every URL, as text.
    std::vector<std::string> urls() const;

    // Writing: declares the types (clearing what was there), then sets the data of one.
    void declareTypes(const std::vector<std::string>& types);
    bool setData(const Data& data, const std::string& type);
    // Offers the files as "text/uri-list".
    void setFilenames(const std::vector<std::string>& paths);

    const QMimeData* mimeData() const { return data_; }
    // Hands the written data to a drag (the pasteboard stays readable until then).
    QMimeData* takeMimeData();

private:
    void scan() const;

    const QMimeData* data_ = nullptr;
    std::unique_ptr<QMimeData> owned_;
    std::vector<std::string> declared_;
    mutable bool scanned_ = false;
    mutable std::vector<std::string> types_;
    mutable std::vector<std::string> files_;
};

// What a destination learns of a drag: its pasteboard, where the pointer is (in the
// destination's own coordinates, y down), and whether the drag comes from this program.
struct DraggingInfo {
    const Pasteboard& pasteboard;
    QPoint location;
    bool sourceInProgram = false;
    // The operations the source allows.
    uint64_t sourceOperationMask = NSDragOperationEvery;
    // Set by a destination's performDragOperation when the drop did something other than
    // what the hovering drag was offered (nothing, or a copy for a move): what the source
    // is told.
    mutable std::optional<uint64_t> performedOperation = std::nullopt;

    const Pasteboard& draggingPasteboard() const { return pasteboard; }
    bool hasDraggingSource() const { return sourceInProgram; }
};

// Converts between the platform's operations and Qt's drop actions.
int qtDropActionForOperation(uint64_t operation);
uint64_t operationsForQtActions(int actions);

// A view that takes drops routed to it by its host (see the top of this file). Mix it
// into a QWidget subclass.
class DraggingDestination {
public:
    virtual ~DraggingDestination();

    void registerForDraggedTypes(const std::vector<std::string>& types);
    void unregisterDraggedTypes() { types_.clear(); }
    const std::vector<std::string>& registeredDraggedTypes() const { return types_; }

    // Whether the point (the view's coordinates) is part of the drop zone; the whole
    // view unless a subclass narrows it.
    virtual bool acceptsDragAtPoint(const QPoint&) const { return true; }
    // YES: draggingUpdated also arrives while the pointer rests.
    virtual bool wantsPeriodicDraggingUpdates() const { return false; }

    virtual uint64_t draggingEntered(const DraggingInfo&) { return NSDragOperationNone; }
    virtual uint64_t draggingUpdated(const DraggingInfo& info) { return draggingEntered(info); }
    // nullptr when the drag ended over the view (dropped or cancelled there).
    virtual void draggingExited(const DraggingInfo*) {}
    virtual bool prepareForDragOperation(const DraggingInfo&) { return true; }
    virtual bool performDragOperation(const DraggingInfo&) { return false; }

private:
    std::vector<std::string> types_;
};

// Routes the drag events a host view receives to the drop zones among its descendants.
// The host takes the events (setAcceptDrops) and calls these from its own handlers;
// where no zone wants the drag, the host handles it itself.
class DragRouter {
public:
    explicit DragRouter(QWidget* host);
    ~DragRouter();

    // The innermost zone under the point (host coordinates) registered for one of the
    // pasteboard's types and taking the point; nullptr when none.
    QWidget* destinationAt(const QPoint& point, const Pasteboard& pasteboard) const;

    // The drag moved (or entered) to the point: exits the zone it left, enters or updates
    // the one under it. Answers whether a zone has the drag now, and its operation.
    bool moved(const QPoint& point, const Pasteboard& pasteboard, bool sourceInProgram, uint64_t sourceMask,
               uint64_t& operation);
    // The drag left the host, or the host takes it back: the zone is told it exited.
    void left(const Pasteboard* pasteboard, bool sourceInProgram);
    // The drop, when a zone has the drag: prepare, then perform. NO when it refused.
    // `performed` receives the operation the zone says it carried out, when it says one.
    bool drop(const QPoint& point, const Pasteboard& pasteboard, bool sourceInProgram, uint64_t sourceMask,
              std::optional<uint64_t>* performed = nullptr);

    QWidget* current() const { return current_.data(); }
    // Periodic updates sent so far (while a zone that wants them holds the drag).
    int periodicUpdates() const { return periodicUpdates_; }

private:
    void startPeriodic();
    void stopPeriodic();

    QWidget* host_;
    QPointer<QWidget> current_;
    QPoint lastPoint_;
    const Pasteboard* pasteboard_ = nullptr;
    bool sourceInProgram_ = false;
    uint64_t sourceMask_ = NSDragOperationEvery;
    RunLoop* loop_ = nullptr;
    uint64_t timer_ = 0;
    int periodicUpdates_ = 0;
};

}  // namespace qs
