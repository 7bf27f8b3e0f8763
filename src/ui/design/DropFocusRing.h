#pragma once

#include "ui/design/UiEnvironment.h"

#include <QColor>
#include <Qt>

class QPainter;
class QPainterPath;

namespace brindlewick {

// When a control shows its focus ring: for focus the keyboard brought (Tab, Backtab or a
// shortcut), never for focus a mouse press brought. Qt also names Tab as the reason when the
// focused control is hidden or disabled and focus moves on to the next one: after a click
// (on "Get started", which turns the page) that is no keystroke and shows no ring; after a
// key (Space on the same button) the reader is on the keyboard, and the ring follows.
namespace DropFocusRing {

// Starts following how focus leaves controls (once per process; the controls that draw a
// ring call it when they are made).
void watchFocus();
// Whether the focus that arrived last was handed on by a control just hidden or disabled.
bool handedOn();
// Why the focus that arrived last came (told to the application's focus-change followers,
// which hear of a change after its focus-in).
Qt::FocusReason latestReason();
// Whether the reader's latest press was a key's rather than a mouse button's.
bool keyboardInUse();
// Whether focus that arrives now, for `reason`, shows the ring.
bool keyboardBrought(Qt::FocusReason reason);

// The ring itself: a line 2 points wide in the scheme's strongest colour (ink, or paper in the
// dark). Its outer edge lies 3 points outside the shape it rings where the control keeps room
// for it; a control with no room around its shape (a menu row) draws it on its inner edge.
constexpr qreal lineWidth = 2;
constexpr qreal outset = 3;
QColor color(ColorScheme scheme);
// Strokes the ring along `centreLine` (the path its line is centred on) in `color`.
void stroke(QPainter& painter, const QPainterPath& centreLine, const QColor& color);

} // namespace DropFocusRing

} // namespace brindlewick
