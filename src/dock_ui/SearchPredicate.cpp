#include "dock_ui/SearchPredicate.h"

#include "platform/foundation/Object.h"

namespace qs {

namespace {
// Between the two names of a key: no file or application name holds a NUL.
const QChar kSeparator(u'\0');
}  // namespace

SearchPredicate::SearchPredicate(const QString& searchString) : search_(searchString), folded_(fold(searchString)) {}

SearchPredicate::SearchPredicate(const std::string& searchString)
    : SearchPredicate(QString::fromStdString(searchString)) {}

QString SearchPredicate::fold(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (QChar c : decomposed) {
        const auto category = c.category();
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
            category == QChar::Mark_Enclosing)
            continue;
        out.append(c);
    }
    return out.toCaseFolded();
}

bool SearchPredicate::matches(const QString& text) const { return matchesFolded(fold(text)); }

bool SearchPredicate::matchesFolded(const QString& foldedText) const {
    // Each name of a key on its own, so that a search never spans two names; a search
    // longer than a name cannot be in it (no scan at all).
    qsizetype start = 0;
    while (start <= foldedText.size()) {
        qsizetype end = foldedText.indexOf(kSeparator, start);
        if (end < 0) end = foldedText.size();
        const QStringView part = QStringView(foldedText).mid(start, end - start);
        if (folded_.size() <= part.size() && part.contains(folded_)) return true;
        start = end + 1;
    }
    return false;
}

namespace {
QString nameOf(const Object& object, const char* key) {
    Value v = object.valueForKey(key);
    return v.isString() ? QString::fromStdString(*v.string()) : QString();
}
}  // namespace

QString SearchPredicate::searchKeyForObject(const Value& value) {
    auto object = value.object();
    if (!object) return {};
    const QString name = nameOf(*object, "name");
    const QString shown = nameOf(*object, "localizedName");
    QString key = fold(name);
    // The shown name of a file is its name with the extension, which the name search
    // already covers; only a different name (an application's) is added.
    if (!shown.isEmpty() && !shown.startsWith(name)) key += kSeparator + fold(shown);
    return key;
}

bool SearchPredicate::evaluateWithObject(const Value& object) const {
    const QString key = searchKeyForObject(object);
    return !key.isEmpty() && matchesFolded(key);
}

}  // namespace qs
