#pragma once

#include <QMargins>

#include <functional>

class QWidget;

namespace brindlewick {

// Room at the edges of a widget's parent for what a widget draws beyond its layout item (a
// painted button's shadow). Layouts place such a widget by its shape and let the rest overlap
// its neighbours; where the widget's cell reaches the parent's edge, though, that rest would
// lie outside the parent and be cut off, unless the layouts' margins on the way leave room.
namespace LayoutEdgeRoom {

// For each side, how much of `wanted` is not covered by the layout margins between `widget`'s
// cell and that edge of its parent; zero where the cell does not reach the edge (something of
// the layout lies between) or the widget is in no layout of its parent.
QMargins missing(const QWidget* widget, const QMargins& wanted);

// Calls `changed` whenever missing() may have changed: the widget is polished, shown or moved
// to another parent, or its parent lays out again.
void follow(QWidget* widget, std::function<void()> changed);

} // namespace LayoutEdgeRoom

} // namespace brindlewick
