#pragma once

#include <QAccessible>
#include <QString>

#include <functional>

class QWidget;

namespace brindlewick {

// What assistive technology hears of a painted widget beyond its name: its role, whether it
// is in the accessibility tree at all, whether it reads as one element, and whether it is
// modal. Each call records the wish on the widget; one interface, installed the first time
// any of these is called, answers for every widget of ours that has no more specific one.
// Our buttons always get it, so that their accessible action is a real click and the list of
// choices one opens is read inside it.
namespace AccessibleRole {

// Makes our interfaces answer from now on; every call below does it too. Called once the
// application exists, before any window is built.
void install();
// Reports `widget` as `role`: QAccessible::Heading for a title, QAccessible::PageTab for a
// row that selects a page (its check reads as the selection).
void set(QWidget* widget, QAccessible::Role role);
// Takes `widget`, with all it holds, out of the tree (a decoration, or content that something
// modal covers) or puts it back. On a change the tree is told: the widget stops or starts
// showing and its parent's children change.
void setHidden(QWidget* widget, bool hidden = true);
bool isHidden(const QWidget* widget);
// Leaves `widget` itself out of the tree while what it holds stands in its place: a layer
// that only dims or places what is on it.
void setTransparent(QWidget* widget);
// Makes `widget` one element read as `name`, with nothing of what it holds in the tree; an
// empty name leaves the children in the tree again (a notice that shows a button, say).
void combine(QWidget* widget, const QString& name);
// The modal state: while `widget` is shown nothing beside it can be reached.
void setModal(QWidget* widget);
// Makes `standIn` read as `control` (its role, name, description and state) while it holds the
// keyboard focus in the control's place, the control waiting, disabled, for its work: it reads
// as focused, unavailable and busy, and offers no action.
void standFor(QWidget* standIn, QWidget* control);
// The selected state of a selectable control (the lit row of a list), told to the tree on a
// change.
void setSelected(QWidget* widget, bool selected);
// What assistive technology's press action does on `widget`: a combined element that stands
// for a link opens it. Runs after the request has been answered. Empty: no action.
void setPress(QWidget* widget, std::function<void()> press);
// Where `widget` comes among its siblings for assistive technology, whatever their stacking
// order: siblings of a higher priority are read first, those of equal priority (0 unless set)
// in their stacking order. A layer that floats above another yet is read before it.
void setSortPriority(QWidget* widget, int priority);

} // namespace AccessibleRole

} // namespace brindlewick
