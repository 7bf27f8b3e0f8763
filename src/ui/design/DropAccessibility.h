#pragma once

#include <QString>

class QWidget;

namespace brindlewick {

// How a control is named for people, assistive technology and the layout diagnostics.
namespace DropAccessibility {

// The property that holds a widget's layout-diagnostics name.
inline constexpr char layoutProperty[] = "brindlewick.layout";

// The identifier ("reader.close") becomes the object name, the label the accessible name,
// the help text the help (setHelp()); an empty label or help text is left unset.
void describe(QWidget* widget, const QString& identifier, const QString& label, const QString& help = {});
// The help text of `widget`, the one way every view sets one: the tooltip shows it exactly as
// written, wrapped to the tooltip's width; assistive technology reads it as the description,
// as plain text (Qt would hand on the tooltip's markup). A description set apart from the
// help (the choice a filter shows, say) is kept. The tooltip also shows while the window is
// not the active one: the drop panel never becomes active. An empty text clears the help.
void setHelp(QWidget* widget, const QString& text);
// A tooltip that shows `text` exactly as written. Qt renders a tooltip that looks like
// markup as rich text, so every text from content or the service goes through here.
QString plainTooltip(const QString& text);
// Names `widget` for the layout diagnostics ("layout.navigation.saved").
void recordLayout(QWidget* widget, const QString& name);

} // namespace DropAccessibility

} // namespace brindlewick
