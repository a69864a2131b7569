#pragma once
// An array controller (the platform's NSArrayController): it holds a content array,
// usually bound to a key path of an observable object ("contentArray" bound to a
// model's "panelContent"), and offers the arranged objects (the content passed through
// an optional filter) and a selection, both observable under "arrangedObjects" and
// "selectionIndexes".
//
// Arranging: a change of the bound content arranges at once; rearrangeObjects arranges
// again (after the filter changed, or to be sure). "arrangedObjects" is announced only
// when the arrangement differs from the last one, element by element (objects by
// identity), so observers such as a collection view do no work for an arrangement that
// did not change. The selection is kept by object: after a new arrangement the
// selected objects that are still arranged stay selected at their new indexes.
//
// Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Object.h"

namespace qs {

using IndexSet = std::vector<size_t>;  // ascending, no duplicates

class ArrayController : public Object {
public:
    static std::shared_ptr<ArrayController> create() { return std::make_shared<ArrayController>(); }
    ArrayController() = default;
    ~ArrayController() override;

    std::string className() const override { return "NSArrayController"; }
    // "content", "arrangedObjects", "selectionIndexes" (an array of integers),
    // "selectedObjects".
    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

    // Binds "contentArray" to a key path of an observable object: the content follows
    // every change of it from now on. Only "contentArray" can be bound; binding again
    // replaces the previous binding. The object is held weakly.
    void bind(const std::string& binding, const ObjectPtr& observable, const std::string& keyPath);
    void unbind(const std::string& binding);
    bool isBound(const std::string& binding) const;

    const Array& content() const { return content_; }
    void setContent(Array content);

    const Array& arrangedObjects() const { return arranged_; }
    void rearrangeObjects();
    // Objects for which it answers NO are left out of the arrangement; nullptr: none.
    void setFilterPredicate(std::function<bool(const Value&)> predicate);

    const IndexSet& selectionIndexes() const { return selection_; }
    // Indexes outside the arranged objects are dropped. NO when nothing changed.
    bool setSelectionIndexes(IndexSet indexes);
    Array selectedObjects() const;
    // With avoidsEmptySelection, an arrangement that leaves nothing selected selects its
    // first object (off by default).
    bool avoidsEmptySelection() const { return avoidsEmptySelection_; }
    void setAvoidsEmptySelection(bool avoid) { avoidsEmptySelection_ = avoid; }

    // How many times "arrangedObjects" was announced (for tests and measurements).
    int arrangeCount() const { return arrangeCount_; }

private:
    void contentChanged();

    Array content_;
    Array arranged_;
    IndexSet selection_;
    std::function<bool(const Value&)> filter_;
    bool avoidsEmptySelection_ = false;
    int arrangeCount_ = 0;
    std::weak_ptr<Object> boundObject_;
    std::string boundKeyPath_;
    KeyValueObservation boundObservation_;
};

using ArrayControllerPtr = std::shared_ptr<ArrayController>;

// Whether two values are the same element: objects by identity, plain values by value.
bool sameElement(const Value& a, const Value& b);

}  // namespace qs
