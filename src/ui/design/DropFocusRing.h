#pragma once

#include <Qt>

namespace brindlewick {

// When a control shows its focus ring: for focus the keyboard brought (Tab, Backtab or a
// shortcut), never for focus a mouse press brought. Qt also names Tab as the reason when the
// focused control is hidden or disabled and focus moves on to the next one (a click on
// "Get started" that turns the page): that is no keystroke, and shows no ring.
namespace DropFocusRing {

// Starts following how focus leaves controls (once per process; the controls that draw a
// ring call it when they are made).
void watchFocus();
// Whether the focus that arrived last was handed on by a control just hidden or disabled.
bool handedOn();
// Whether focus that arrives now, for `reason`, shows the ring.
bool keyboardBrought(Qt::FocusReason reason);

} // namespace DropFocusRing

} // namespace brindlewick
