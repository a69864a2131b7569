#pragma once
// NSButton(NTExtensions) and NSButtonCell(NTExtensions): whether a button is a check box.
// A Qt check box is the platform's switch button; any other widget, or none, is not.

class QWidget;

namespace qs::NSButton_NTExtensions {
bool isSwitchButton(const QWidget* button);
}  // namespace qs::NSButton_NTExtensions

namespace qs::NSButtonCell_NTExtensions {
bool isSwitchButtonCell(const QWidget* cell);
}  // namespace qs::NSButtonCell_NTExtensions
