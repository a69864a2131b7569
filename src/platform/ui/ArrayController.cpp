#include "platform/ui/ArrayController.h"

#include <algorithm>

#include "platform/foundation/Log.h"

namespace qs {

bool sameElement(const Value& a, const Value& b) {
    if (a.isObject() || b.isObject()) return a.isObject() && b.isObject() && a.object() == b.object();
    return a == b;
}

ArrayController::~ArrayController() { boundObservation_.invalidate(); }

Value ArrayController::valueForKey(const std::string& key) const {
    if (key == "content") return Value(content_);
    if (key == "arrangedObjects") return Value(arranged_);
    if (key == "selectionIndexes") {
        Array a;
        for (size_t i : selection_) a.push_back(Value(uint64_t(i)));
        return Value(a);
    }
    if (key == "selectedObjects") return Value(selectedObjects());
    return Object::valueForKey(key);
}

void ArrayController::setValueForKey(const Value& value, const std::string& key) {
    if (key == "content" || key == "contentArray") {
        setContent(value.array() ? *value.array() : Array{});
    } else if (key == "selectionIndexes") {
        IndexSet s;
        if (const Array* a = value.array())
            for (const auto& v : *a)
                if (v.integerValue() >= 0) s.push_back(size_t(v.integerValue()));
        setSelectionIndexes(std::move(s));
    } else {
        Object::setValueForKey(value, key);
    }
}

void ArrayController::bind(const std::string& binding, const ObjectPtr& observable, const std::string& keyPath) {
    if (binding != "contentArray") {
        log("ArrayController: no binding named " + binding);
        return;
    }
    unbind(binding);
    if (!observable) return;
    boundObject_ = observable;
    boundKeyPath_ = keyPath;
    boundObservation_ = observable->observe(keyPath, KeyValueObservingOptionNew,
                                            [this](const KeyValueChange&) { contentChanged(); });
    contentChanged();
}

void ArrayController::unbind(const std::string& binding) {
    if (binding != "contentArray") return;
    boundObservation_.invalidate();
    boundObject_.reset();
    boundKeyPath_.clear();
}

bool ArrayController::isBound(const std::string& binding) const {
    return binding == "contentArray" && boundObservation_.isValid();
}

void ArrayController::contentChanged() {
    auto object = boundObject_.lock();
    if (!object) return;
    Value v = object->valueForKeyPath(boundKeyPath_);
    setContent(v.array() ? *v.array() : Array{});
}

void ArrayController::setContent(Array content) {
    willChangeValueForKey("content");
    content_ = std::move(content);
    didChangeValueForKey("content");
    rearrangeObjects();
}

void ArrayController::setFilterPredicate(std::function<bool(const Value&)> predicate) {
    filter_ = std::move(predicate);
    rearrangeObjects();
}

void ArrayController::rearrangeObjects() {
    Array next;
    next.reserve(content_.size());
    for (const auto& v : content_)
        if (!filter_ || filter_(v)) next.push_back(v);

    bool same = next.size() == arranged_.size() &&
                std::equal(next.begin(), next.end(), arranged_.begin(), sameElement);
    if (same) return;

    // The selection follows its objects.
    Array selected = selectedObjects();
    IndexSet newSelection;
    for (const auto& object : selected) {
        for (size_t i = 0; i < next.size(); ++i) {
            if (sameElement(next[i], object)) {
                if (std::find(newSelection.begin(), newSelection.end(), i) == newSelection.end())
                    newSelection.push_back(i);
                break;
            }
        }
    }
    std::sort(newSelection.begin(), newSelection.end());
    if (newSelection.empty() && avoidsEmptySelection_ && !next.empty()) newSelection.push_back(0);

    willChangeValueForKey("arrangedObjects");
    arranged_ = std::move(next);
    ++arrangeCount_;
    didChangeValueForKey("arrangedObjects");
    if (newSelection != selection_) {
        willChangeValueForKey("selectionIndexes");
        selection_ = std::move(newSelection);
        didChangeValueForKey("selectionIndexes");
    }
}

bool ArrayController::setSelectionIndexes(IndexSet indexes) {
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    indexes.erase(std::remove_if(indexes.begin(), indexes.end(), [&](size_t i) { return i >= arranged_.size(); }),
                  indexes.end());
    if (indexes.empty() && avoidsEmptySelection_ && !arranged_.empty()) indexes.push_back(0);
    if (indexes == selection_) return false;
    willChangeValueForKey("selectionIndexes");
    selection_ = std::move(indexes);
    didChangeValueForKey("selectionIndexes");
    return true;
}

Array ArrayController::selectedObjects() const {
    Array out;
    for (size_t i : selection_)
        if (i < arranged_.size()) out.push_back(arranged_[i]);
    return out;
}

}  // namespace qs
