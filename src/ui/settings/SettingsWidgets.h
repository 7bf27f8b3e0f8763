#pragma once

#include <QString>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QWidget;

namespace brindlewick {

// The standard controls of the settings page, set in the page's font and drawn like the
// other standard widgets of the window.
namespace SettingsWidgets {

QCheckBox* checkBox(const QString& text, const QString& name);
QComboBox* comboBox(const QString& name, const QString& label);
// `label` at the leading edge and `control` (if any) after it, then a stretch.
QHBoxLayout* labelledRow(const QString& label, QWidget* control);
// A label and a value at the trailing edge, in the callout size; the value is plain text.
QHBoxLayout* valueRow(const QString& label, QLabel* value);

} // namespace SettingsWidgets

} // namespace brindlewick
