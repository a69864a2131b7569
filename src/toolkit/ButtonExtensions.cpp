#include "toolkit/ButtonExtensions.h"

#include <QCheckBox>

namespace qs::NSButton_NTExtensions {
bool isSwitchButton(const QWidget* button) { return qobject_cast<const QCheckBox*>(button) != nullptr; }
}  // namespace qs::NSButton_NTExtensions

namespace qs::NSButtonCell_NTExtensions {
bool isSwitchButtonCell(const QWidget* cell) { return qobject_cast<const QCheckBox*>(cell) != nullptr; }
}  // namespace qs::NSButtonCell_NTExtensions
