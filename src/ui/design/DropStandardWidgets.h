#pragma once

#include "ui/design/DropDesign.h"
#include "ui/design/UiEnvironment.h"

#include <QPalette>

#include <functional>

class QStyle;
class QWidget;

namespace brindlewick {

// The standard widgets we keep (line edits, menus, combo boxes, check boxes, scroll bars,
// tooltips) are drawn by our style over Fusion (DropStandardStyle) with our palette of their
// scheme, set on each of them and never on the application: the application palette is the
// desktop's, which the appearance fallback reads.
namespace DropStandardWidgets {

QPalette palette(ColorScheme scheme, bool increasedContrast);
// The style the standard widgets share; owned by the application object.
QStyle* style();
// Draws `widget` with the shared style and the palette of its scheme, and keeps it so while
// the environment changes, the widget moves to another parent or, a pop-up, opens. A combo
// box's list is dressed as a pop-up of the design too.
void adopt(QWidget* widget);
// Runs `apply` now, and again whenever the scheme or contrast `widget` is drawn in may have
// changed: the environment changes, the widget moves to another parent, or refresh() reaches it.
void keep(QWidget* widget, std::function<void()> apply);
// Runs again what keep() was given for every widget in `subtree` (itself included).
void refresh(QWidget* subtree);
// Keeps the text roles of `widget`'s palette, which the labels inside it inherit, at `color`.
void keepForeground(QWidget* widget, DropDesign::ColorFor color);
// Keeps the tooltips' palette and font on the environment's scheme.
void followEnvironment(UiEnvironment& environment);

} // namespace DropStandardWidgets

} // namespace brindlewick
