#pragma once

#include <QString>

class QWidget;

namespace brindlewick {

// How a control is named for people, assistive technology and the layout diagnostics.
namespace DropAccessibility {

// The property that holds a widget's layout-diagnostics name.
inline constexpr char layoutProperty[] = "brindlewick.layout";

// The identifier ("reader.close") becomes the object name, the label the accessible name,
// the help text the tooltip, as plain text; an empty label or help text is left unset.
void describe(QWidget* widget, const QString& identifier, const QString& label, const QString& help = {});
// A tooltip that shows `text` exactly as written. Qt renders a tooltip that looks like
// markup as rich text, so every text from content or the service goes through here.
QString plainTooltip(const QString& text);
// Names `widget` for the layout diagnostics ("layout.navigation.saved").
void recordLayout(QWidget* widget, const QString& name);

} // namespace DropAccessibility

} // namespace brindlewick
