#pragma once
// The search of the popovers' grids: the template "(name contains[cd] $searchString)"
// with the search field's text substituted, a substring test on an item's name that
// ignores case and diacritics ("CAFE" finds "café").
//
// Both sides are folded the same way (canonical decomposition, combining marks dropped,
// case folded), so a caller that filters many items folds each name once and keeps it
// (fold), then tests the folded names (matchesFolded).

#include <string>

#include <QString>

#include "platform/foundation/Value.h"

namespace qs {

class SearchPredicate {
public:
    static constexpr const char* kTemplate = "(name contains[cd] $searchString)";
    static constexpr const char* kVariable = "searchString";

    // The template with the variable set (predicateWithSubstitutionVariables:).
    explicit SearchPredicate(const QString& searchString);
    explicit SearchPredicate(const std::string& searchString);
    explicit SearchPredicate(const char* searchString) : SearchPredicate(QString::fromUtf8(searchString)) {}

    // The form both sides are compared in.
    static QString fold(const QString& text);

    const QString& searchString() const { return search_; }
    bool matches(const QString& text) const;
    // A text folded by fold, or a key of searchKeyForObject.
    bool matchesFolded(const QString& foldedText) const;
    // The object's "name"; for an item whose shown name differs from its file name (an
    // application's desktop entry), its "localizedName" too. Objects without a name
    // never match.
    bool evaluateWithObject(const Value& object) const;
    // The folded text an object is searched by (its names, apart).
    static QString searchKeyForObject(const Value& object);

private:
    QString search_;
    QString folded_;
};

}  // namespace qs
